// A grouping of scanner findings. The found event carries one, but no
// concrete category exists: the argument is always null.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "findings/CleanerScanProduct.h"

namespace findings {

class TCategory {
public:
    explicit TCategory(std::u16string Name) : FName(std::move(Name)) {}
    // Destroys the findings in list order.
    virtual ~TCategory();
    TCategory(const TCategory&) = delete;
    TCategory& operator=(const TCategory&) = delete;

    virtual std::u16string OptionsName() const = 0;
    virtual bool Belong(const TCleanerScanProduct* Result) const = 0;
    virtual int GetIcon() const = 0;

    const std::u16string& Name() const { return FName; }
    void Add(std::unique_ptr<TCleanerScanProduct> Result) { FResults.push_back(std::move(Result)); }
    std::size_t Count() const { return FResults.size(); }

private:
    std::vector<std::unique_ptr<TCleanerScanProduct>> FResults;
    std::u16string FName;
};

}  // namespace findings
