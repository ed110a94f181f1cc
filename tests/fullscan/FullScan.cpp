#include "fullscan/FullScan.h"

#include <algorithm>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "findings/CleanerScanProduct.h"
#include "platform/Text.h"
#include "platform/Wow64.h"
#include "scan/ScanManager.h"
#include "scanners/BuiltInScanners.h"
#include "ui/headless/HeadlessLoop.h"

namespace fullscan {
namespace {

std::string Line(const findings::TCleanerScanProduct& product) {
    std::string line = product.View().bits == os::KEY_WOW64_64KEY ? "64 " : "32 ";
    line += text::ToUtf8(product.GetDescription());
    if (!product.Reason().empty()) line += " -- " + text::ToUtf8(product.Reason());
    return line;
}

}  // namespace

ScanResult RunFullScan(std::chrono::seconds timeout) {
    platform::InitWindows64();
    ScanResult result;
    ui::THeadlessLoop loop;
    loop.RegisterAsMain();
    auto* manager = new scan::TScanManager();
    manager->SetScannerFactory(scanners::BuiltInScanners);
    manager->SetFoundEvent([&result](std::unique_ptr<findings::TCleanerScanProduct> product, findings::TCategory*) {
        result.lines.push_back(Line(*product));
        result.products.push_back(std::move(product));
    });
    manager->SetProgressEvent([](const std::u16string&) {});
    manager->SetCompletedEvent([&result] { result.completed = true; });
    manager->Start();
    loop.RunUntil([&result] { return result.completed; }, timeout);
    return result;
}

bool CensusLine::HoldsFor(const std::string& side) const {
    for (const auto& s : sides)
        if (s == "all" || s == side) return true;
    return false;
}

std::vector<CensusLine> ReadCensus(const std::string& path) {
    std::vector<CensusLine> census;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::string line;
    const std::string bar = " | ";
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        // Descriptions may hold the separator; sides and verdict never do.
        auto first = line.find(bar), last = line.rfind(bar);
        if (first == std::string::npos || first == last) throw std::runtime_error("not SIDES | FINDING | VERDICT: " + line);
        CensusLine entry;
        std::string sides = line.substr(0, first);
        for (std::size_t start = 0; start <= sides.size();) {
            auto comma = std::min(sides.find(',', start), sides.size());
            entry.sides.push_back(sides.substr(start, comma - start));
            start = comma + 1;
        }
        entry.finding = line.substr(first + bar.size(), last - first - bar.size());
        entry.verdict = line.substr(last + bar.size());
        census.push_back(std::move(entry));
    }
    return census;
}

std::vector<std::string> CensusFindings(const std::vector<CensusLine>& census, const std::string& side) {
    std::vector<std::string> findings;
    for (const auto& line : census)
        if (line.HoldsFor(side)) findings.push_back(line.finding);
    return findings;
}

}  // namespace fullscan
