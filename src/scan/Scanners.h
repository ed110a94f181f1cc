// The base of every registry scanner: the outlets to its owner (a finding
// was made, progress text, should the walk stop), the path judgement, and
// the registry walkers that make findings as they go.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "findings/CleanerScanProduct.h"
#include "platform/RegistryAccess.h"
#include "platform/os/WinApi.h"
#include "scan/PathChecks.h"

namespace scan {

// A COM class and its server: the class key's default value, and the
// default value of LocalServer32 (preferred) or InprocServer32.
struct TActiveXInfo {
    std::u16string Name;
    std::u16string Path;
};

// The receiver takes ownership of the finding.
using TResultFoundEvent = std::function<void(std::unique_ptr<findings::TCleanerScanProduct> ScanProduct)>;
using TProgressEvent = std::function<void(const std::u16string& ProgressText)>;
// True asks the walk to stop.
using TAbortEvent = std::function<bool()>;

class TScanner {
public:
    TScanner();
    virtual ~TScanner();
    TScanner(const TScanner&) = delete;
    TScanner& operator=(const TScanner&) = delete;

    // Scans the scanner's registry area under the current RegistryViewFlag.
    virtual void Scan() = 0;

    // Set by the owner before Scan; an event left unset does nothing (and
    // an unset abort event never asks to stop).
    void SetResultFoundEvent(TResultFoundEvent event) { FResultFoundEvent = std::move(event); }
    void SetProgressEvent(TProgressEvent event) { FProgressEvent = std::move(event); }
    void SetAbortEvent(TAbortEvent event) { FAbortEvent = std::move(event); }

    // True when the text begins with a drive path whose file or folder does
    // not exist.
    bool IsPathInvalid(std::u16string_view text) const { return FJudge.IsPathInvalid(text); }
    // The same for a text read from the key: below HKEY_USERS\<hive> its
    // per-user variables are that user's.
    bool IsPathInvalidAt(os::HKEY root, const std::u16string& key, std::u16string_view text);

    // False, with both fields empty, when HKEY_CLASSES_ROOT\CLSID\<clsid>
    // does not exist; `clsid` is written with its braces.
    bool GetActivexInfoByCLSID(const std::u16string& clsid, TActiveXInfo& info) const;

    // Checks every value of the key: a name that is a missing path is
    // reported with an empty reason; string data (REG_SZ, REG_EXPAND_SZ)
    // that is a missing path is reported with "Invalid_data_". Reports no
    // progress and never stops early.
    void ScanValues(os::HKEY root, const std::u16string& key);

    // Walks the key and everything below it, checking values, and reports
    // the topmost key of every subtree that holds no value at all, provided
    // that the parent's flag is set when the key's walk ends. Sets
    // `parentHasValues` when this subtree holds a value. A key whose subtree
    // was not walked to the end (stopped by the abort event, a child walk
    // failed, a key below could not be read) is never reported empty: the
    // part not seen may hold values, and deleting the key would delete them
    // too. A key that cannot be read is never reported empty itself.
    void ScanKeyTree(os::HKEY root, const std::u16string& key, bool& parentHasValues);

    // Walks the key and everything below it, checking values only.
    void ScanSubKeys(os::HKEY root, const std::u16string& key);

    // Whether the key holds at least one value; false when it cannot be read.
    bool KeyHasValues(os::HKEY root, const std::u16string& key) const;

protected:
    // For the concrete scanners' own findings and checks.
    void ResultFound(std::unique_ptr<findings::TCleanerScanProduct> product);
    void Progress(const std::u16string& text);
    bool Aborted() const { return FAbortEvent && FAbortEvent(); }

    const TRegex& WindowsPathRegEx() const { return FJudge.WindowsPathRegEx(); }
    const TRegex& ExtractQuoutedRegEx() const { return FJudge.ExtractQuoutedRegEx(); }
    const TRegex& DeleteBottomPartRegEx() const { return FJudge.DeleteBottomPartRegEx(); }

private:
    // Whether the key holds a value.
    bool ScanValuesOfReadableKey(os::HKEY root, const std::u16string& key);
    // The same, a value at a time: for a key whose values do not all read
    // in one pass (one too large to hold, say), so that the rest are still
    // judged and a key with values is never taken for an empty one.
    bool ScanValuesOneByOne(os::HKEY root, const std::u16string& key);
    // A value whose name is a missing path; reported when it is.
    bool ReportedByName(os::HKEY root, const std::u16string& key, std::u16string_view name);
    // A value whose text is a missing path.
    void CheckText(os::HKEY root, const std::u16string& key, std::u16string_view name, std::u16string_view data);
    // ScanKeyTree's recursion; false when the subtree was not walked whole.
    bool WalkKeyTree(os::HKEY root, const std::u16string& key, bool& parentHasValues);
    void ProgressForKey(os::HKEY root, const std::u16string& key);

    TResultFoundEvent FResultFoundEvent;
    TProgressEvent FProgressEvent;
    TAbortEvent FAbortEvent;
    TPathJudge FJudge;
    // The users of the hives walked so far, read once per scanner: a scan
    // visits thousands of keys of each.
    std::map<std::u16string, TUserVariables> FOwners;
    // The values of the key being judged, read into the same storage key
    // after key.
    platform::TRegValues FValues;
    // Every key of a walk reports its path and few are ever shown: the
    // text is put together in storage kept from key to key.
    os::HKEY FProgressRoot = nullptr;
    std::u16string FProgressPrefix;
    std::u16string FProgressText;
};

}  // namespace scan
