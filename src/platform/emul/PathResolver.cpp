#include "platform/emul/PathResolver.h"

#include <sys/stat.h>
#include <time.h>

#include <array>
#include <map>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/Text.h"
#include "platform/emul/SeamCalls.h"
#include "platform/emul/SystemInternal.h"

namespace emul {
namespace fs = std::filesystem;

namespace {

constexpr os::DWORD kErrorBadNetName = 67;

struct Drive {
    fs::path host;
    bool notReady = false;
};

struct DriveMap {
    std::mutex mutex;
    std::map<char16_t, Drive> drives;
};

DriveMap& Drives() {
    static DriveMap map;
    return map;
}

char16_t DriveLetter(char16_t c) {
    if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 32);
    return c;
}

bool IsLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool IsInvalidChar(char16_t c) {
    return c < 32 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|';
}

bool HasWildcard(std::u16string_view s) { return s.find_first_of(u"*?") != std::u16string_view::npos; }

// Subfolders of System32 that the redirector leaves alone on Windows 7.
bool ExemptFromRedirection(const std::vector<std::u16string>& parts) {
    if (parts.size() < 3) return false;
    static constexpr std::array<std::u16string_view, 5> kExempt = {u"catroot", u"catroot2", u"driverstore",
                                                                   u"logfiles", u"spool"};
    for (auto name : kExempt)
        if (text::EqualNoCase(parts[2], name)) return true;
    return parts.size() >= 4 && text::EqualNoCase(parts[2], u"drivers") && text::EqualNoCase(parts[3], u"etc");
}

void Redirect(std::vector<std::u16string>& parts) {
    if (parts.size() < 2 || !text::EqualNoCase(parts[0], u"windows")) return;
    if (text::EqualNoCase(parts[1], u"system32")) {
        if (!ExemptFromRedirection(parts)) parts[1] = u"SysWOW64";
    } else if (text::EqualNoCase(parts[1], u"sysnative")) {
        parts[1] = u"system32";
    }
}

// A host folder's names by their case-folded Windows spelling, so that a
// name the host does not spell exactly costs one look at the folder's
// status instead of a listing of thousands of entries (the registry names
// the same few folders in every other path). A listing is used again only
// while the folder's identity and change times are those it was read at,
// and only if it was read well after the folder's entries last changed: a
// change within the file system's timestamp tick leaves the times as they
// were, so a listing of a folder changed just now is never kept.
class FolderListings {
public:
    enum class Answer { Found, Absent, Unknown };

    // From a listing kept of the folder whose status `state` was just read:
    // the entry for `name`, its exact spelling first, else the one that
    // matches without case. Unknown when no listing of the folder as it is
    // now is kept; then nothing is read.
    Answer Kept(const fs::path& folder, const struct stat& state, std::u16string_view name, std::string& found) {
        std::lock_guard lock(mutex_);
        auto it = listings_.find(folder.native());
        if (it == listings_.end() || !SameState(it->second.state, state)) return Answer::Unknown;
        auto exact = detail::HostName(name).native();
        if (it->second.exact.contains(exact)) {
            found = std::move(exact);
            return Answer::Found;
        }
        return Lookup(it->second, text::UpCase(name), found) ? Answer::Found : Answer::Absent;
    }

    // Whether the folder holds `name` without case; `found` is its host name.
    // Nullopt: the folder cannot be read.
    std::optional<bool> Find(const fs::path& folder, std::u16string_view name, std::string& found) {
        struct stat before {};
        if (::stat(folder.c_str(), &before) != 0) return std::nullopt;
        auto key = text::UpCase(name);
        {
            std::lock_guard lock(mutex_);
            auto it = listings_.find(folder.native());
            if (it != listings_.end() && SameState(it->second.state, before)) return Lookup(it->second, key, found);
        }
        timespec readAt{};
        ::clock_gettime(CLOCK_REALTIME, &readAt);
        Listing listing;
        listing.state = before;
        std::error_code ec;
        fs::directory_iterator it(folder, ec), end;
        if (ec) return std::nullopt;
        for (; !ec && it != end; it.increment(ec)) {
            auto host = it->path().filename().native();
            listing.exact.insert(host);
            auto [slot, added] = listing.names.try_emplace(text::UpCase(detail::WindowsName(host)), host);
            // Names that differ only in case, which Windows never holds:
            // the first in byte order, whatever order the host lists them in.
            if (!added && host < slot->second) slot->second = host;
        }
        if (ec) return std::nullopt;
        bool result = Lookup(listing, key, found);
        struct stat after {};
        if (::stat(folder.c_str(), &after) == 0 && SameState(before, after) && OldEnough(after, readAt)) {
            std::lock_guard lock(mutex_);
            if (listings_.size() >= kMaxFolders) listings_.clear();
            listings_[folder.native()] = std::move(listing);
        }
        return result;
    }

private:
    static constexpr std::size_t kMaxFolders = 256;
    // Far coarser than any host file system's timestamp tick.
    static constexpr time_t kSettledSeconds = 2;

    struct Listing {
        struct stat state {};
        std::unordered_set<std::string> exact;
        std::unordered_map<std::u16string, std::string> names;
    };
    static bool Same(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }
    static bool SameState(const struct stat& a, const struct stat& b) {
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino && Same(a.st_mtim, b.st_mtim) && Same(a.st_ctim, b.st_ctim);
    }
    // Only the entries' time: adding, removing or renaming an entry always
    // sets it to the present, whatever it was set to before.
    static bool OldEnough(const struct stat& s, const timespec& readAt) {
        return s.st_mtim.tv_sec + kSettledSeconds < readAt.tv_sec;
    }
    static bool Lookup(const Listing& listing, const std::u16string& key, std::string& found) {
        auto it = listing.names.find(key);
        if (it == listing.names.end()) return false;
        found = it->second;
        return true;
    }

    std::mutex mutex_;
    std::unordered_map<std::string, Listing> listings_;
};

FolderListings& Listings() {
    static FolderListings listings;
    return listings;
}

// The host entry for `name` in `folder`: the exact spelling when present,
// otherwise the entry that matches without case. A host folder may hold
// names that differ only in case, which Windows never does; of those the
// one first in byte order is taken, so that every lookup of every spelling
// lands on the same entry whatever order the host lists them in.
bool FindEntry(const fs::path& folder, std::u16string_view name, fs::path& found) {
    std::error_code ec;
    auto exact = folder / detail::HostName(name);
    if (fs::exists(fs::symlink_status(exact, ec))) {
        found = exact;
        return true;
    }
    std::string host;
    if (Listings().Find(folder, name, host).value_or(false)) {
        found = folder / host;
        return true;
    }
    return false;
}

// The folder a relative name starts from: the program's folder, as when
// the program is started from Explorer.
std::u16string CurrentDirectory() {
    char16_t buffer[os::MAX_PATH];
    auto n = os::GetModuleFileNameW(nullptr, buffer, os::MAX_PATH);
    std::u16string module(buffer, n);
    auto slash = module.rfind(u'\\');
    return slash == std::u16string::npos ? std::u16string(u"C:\\") : module.substr(0, slash + 1);
}

}  // namespace

namespace detail {

std::u16string WindowsName(const fs::path& hostName) { return text::FromUtf8(hostName.string()); }
fs::path HostName(std::u16string_view windowsName) { return fs::path(text::ToUtf8(windowsName)); }

std::string HostKey(const fs::path& host) { return host.lexically_normal().string(); }

bool MatchesPattern(std::u16string_view name, std::u16string_view pattern) {
    if (pattern == u"*.*") pattern = u"*";
    // Iterative match with one backtrack point for the last star.
    std::size_t n = 0, p = 0, starP = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || text::UpCase(pattern[p]) == text::UpCase(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

ResolvedPath ResolvePath(std::u16string_view windowsPath, bool redirect, Wildcards wildcards) {
    ResolvedPath out;
    std::u16string path(windowsPath);
    for (auto& c : path)
        if (c == u'/') c = u'\\';
    if (path.empty()) {
        out.error = os::ERROR_PATH_NOT_FOUND;
        return out;
    }
    if (path.starts_with(u"\\\\?\\")) {
        path.erase(0, 4);
        if (path.size() >= 4 && text::EqualNoCase(path.substr(0, 4), u"UNC\\")) {
            out.error = kErrorBadNetName;
            return out;
        }
    }
    if (path.starts_with(u"\\\\")) {
        out.error = path.starts_with(u"\\\\.\\") ? os::ERROR_FILE_NOT_FOUND : kErrorBadNetName;
        return out;
    }

    std::u16string rest;
    if (path.size() >= 2 && path[1] == u':' && IsLetter(path[0])) {
        out.drive = DriveLetter(path[0]);
        rest = path.substr(2);
        if (!rest.starts_with(u'\\')) {
            auto cwd = CurrentDirectory();
            rest = (DriveLetter(cwd[0]) == out.drive ? cwd.substr(2) : std::u16string(u"\\")) + rest;
        }
    } else {
        auto cwd = CurrentDirectory();
        out.drive = DriveLetter(cwd[0]);
        rest = path.starts_with(u'\\') ? path : cwd.substr(2) + path;
    }

    std::vector<std::u16string> parts;
    std::size_t start = 0;
    while (start <= rest.size()) {
        auto end = rest.find(u'\\', start);
        if (end == std::u16string::npos) end = rest.size();
        auto part = rest.substr(start, end - start);
        if (part == u"..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != u".") {
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    out.trailingSeparator = rest.ends_with(u'\\') && !parts.empty();
    // Windows drops trailing dots and spaces of the last component.
    if (!parts.empty() && !out.trailingSeparator) {
        auto& last = parts.back();
        while (!last.empty() && (last.back() == u'.' || last.back() == u' ')) last.pop_back();
        if (last.empty()) parts.pop_back();
    }
    for (std::size_t i = 0; i < parts.size(); ++i) {
        bool isLast = i + 1 == parts.size();
        for (auto c : parts[i]) {
            bool wild = c == u'*' || c == u'?';
            if (IsInvalidChar(c) || (wild && !(isLast && wildcards == Wildcards::AllowInLast))) {
                out.error = os::ERROR_INVALID_NAME;
                return out;
            }
        }
    }

    fs::path current;
    {
        auto& map = Drives();
        std::lock_guard lock(map.mutex);
        auto it = map.drives.find(out.drive);
        if (it == map.drives.end()) {
            out.error = os::ERROR_PATH_NOT_FOUND;
            return out;
        }
        if (it->second.notReady) {
            out.error = os::ERROR_NOT_READY;
            return out;
        }
        current = it->second.host;
    }
    if (redirect && out.drive == u'C') Redirect(parts);

    if (!parts.empty() && wildcards == Wildcards::AllowInLast && HasWildcard(parts.back())) {
        out.pattern = parts.back();
        parts.pop_back();
        out.trailingSeparator = false;
    }
    out.isRoot = parts.empty();
    std::error_code ec;
    // Most names are spelled as the host spells them. One look at the whole
    // path answers those; only a miss pays for the walk below, which lists
    // folders to match a component without case.
    fs::path exact = current;
    if (!parts.empty()) {
        for (const auto& part : parts) exact /= HostName(part);
        auto status = fs::symlink_status(exact, ec);
        if (fs::exists(status) && (out.pattern.empty() || fs::is_directory(exact, ec))) {
            out.host = std::move(exact);
            out.exists = true;
            out.status = status;
            return out;
        }
    }
    // Below a drive folder that is gone nothing exists (the path above
    // would have shown it otherwise). The status of each folder on the way
    // also tells whether a listing kept of it still holds.
    struct stat folder {};
    std::size_t first = 0;
    // A missing file in a folder spelt as the host spells it, the commonest
    // miss, needs only that folder's status: every name above it matched
    // exactly, which is the entry the walk below would take too.
    if (parts.size() >= 2) {
        fs::path parent = exact.parent_path();
        if (::stat(parent.c_str(), &folder) == 0 && S_ISDIR(folder.st_mode)) {
            current = std::move(parent);
            first = parts.size() - 1;
        }
    }
    if (first == 0 && (::stat(current.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))) {
        out.error = os::ERROR_PATH_NOT_FOUND;
        return out;
    }
    for (std::size_t i = first; i < parts.size(); ++i) {
        fs::path found;
        bool isLast = i + 1 == parts.size();
        std::string kept;
        auto answer = Listings().Kept(current, folder, parts[i], kept);
        bool there = answer == FolderListings::Answer::Found;
        if (there) found = current / kept;
        if (answer == FolderListings::Answer::Unknown) there = FindEntry(current, parts[i], found);
        if (!there) {
            if (!isLast || !out.pattern.empty()) {
                out.error = os::ERROR_PATH_NOT_FOUND;
                return out;
            }
            out.host = current / HostName(parts[i]);
            return out;
        }
        if (!isLast && (::stat(found.c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))) {
            out.error = os::ERROR_PATH_NOT_FOUND;
            return out;
        }
        current = found;
    }
    if (!out.pattern.empty() && !fs::is_directory(current, ec)) {
        out.error = os::ERROR_PATH_NOT_FOUND;
        return out;
    }
    out.host = current;
    out.exists = true;
    return out;
}

}  // namespace detail

void MapDrive(char16_t letter, const fs::path& hostFolder) {
    auto& map = Drives();
    std::lock_guard lock(map.mutex);
    map.drives[DriveLetter(letter)] = Drive{hostFolder, false};
}

void SetDriveNotReady(char16_t letter, bool notReady) {
    auto& map = Drives();
    std::lock_guard lock(map.mutex);
    // A drive that is not ready need not have a folder behind it (an empty
    // card reader or DVD drive).
    map.drives[DriveLetter(letter)].notReady = notReady;
}

namespace detail {
void ResetDrives() {
    auto& map = Drives();
    std::lock_guard lock(map.mutex);
    map.drives.clear();
}
}  // namespace detail

}  // namespace emul

namespace os {

UINT GetDriveTypeW(LPCWSTR rootPath) {
    emul::CountSeamCall(emul::SeamCall::DriveType);
    // A drive's root ("X:\\", or "X:"); the current drive when null.
    std::u16string root = rootPath ? std::u16string(rootPath) : emul::CurrentDirectory().substr(0, 3);
    if (root.size() == 2) root += u'\\';
    if (root.size() != 3 || root[1] != u':' || root[2] != u'\\' || !emul::IsLetter(root[0])) return DRIVE_NO_ROOT_DIR;
    auto& map = emul::Drives();
    std::lock_guard lock(map.mutex);
    auto it = map.drives.find(emul::DriveLetter(root[0]));
    if (it == map.drives.end()) return DRIVE_NO_ROOT_DIR;
    // A drive that is not ready is one whose media is out: a disc drive.
    return it->second.notReady ? DRIVE_CDROM : DRIVE_FIXED;
}

}  // namespace os

namespace emul {

fs::path HostPath(std::u16string_view windowsPath) {
    auto resolved = detail::ResolvePath(windowsPath, false);
    return resolved.error ? fs::path() : resolved.host;
}

}  // namespace emul
