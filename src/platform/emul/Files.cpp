// Files and folders of the emulated machine, stored in host folders. Host
// permissions do not restrict the tests (they may run as root), so the
// Windows attributes that matter (read-only, hidden, system) live in a side
// table and are enforced here.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "platform/Text.h"
#include "platform/emul/PathResolver.h"
#include "platform/emul/SeamCalls.h"
#include "platform/emul/SystemInternal.h"

namespace emul {
namespace fs = std::filesystem;
using detail::KernelObject;
using detail::ResolvedPath;
using detail::ResolvePath;

namespace {

constexpr os::DWORD kFileReadData = 0x1;
constexpr os::DWORD kFileWriteData = 0x2;
constexpr os::DWORD kGenericAll = 0x10000000;
constexpr os::DWORD kDeleteAccess = 0x00010000;
constexpr os::DWORD kNoMoreFiles = 18;
constexpr os::DWORD kNotSameDevice = 17;
constexpr os::DWORD kDiskFull = 112;
constexpr os::DWORD kDirNotEmpty = 145;
constexpr os::DWORD kDirectory = 267;
constexpr os::DWORD kGenFailure = 31;
constexpr os::DWORD kBackupSemantics = 0x02000000;
constexpr os::DWORD kMoveCopyAllowed = 0x2;
constexpr os::DWORD kStoredAttributes = os::FILE_ATTRIBUTE_READONLY | os::FILE_ATTRIBUTE_HIDDEN |
                                        os::FILE_ATTRIBUTE_SYSTEM | os::FILE_ATTRIBUTE_ARCHIVE;

struct FileObject;

struct FileState {
    std::mutex mutex;
    // Attributes set through SetFileAttributesW, by host path. A file with no
    // entry shows ARCHIVE, as a freshly written file does on Windows.
    std::map<std::string, os::DWORD> attributes;
    // Files held open by "another program".
    std::set<std::string> locked;
    // Handles open per file, for the sharing rules.
    std::map<std::string, std::vector<FileObject*>> open;
};

FileState& State() {
    static FileState state;
    return state;
}

struct FileObject : KernelObject {
    FileObject() : KernelObject(Kind::File) {}
    ~FileObject() override {
        if (fd >= 0) ::close(fd);
        auto& state = State();
        std::lock_guard lock(state.mutex);
        auto it = state.open.find(key);
        if (it == state.open.end()) return;
        std::erase(it->second, this);
        if (it->second.empty()) state.open.erase(it);
    }
    int fd = -1;
    bool canRead = false;
    bool canWrite = false;
    bool canDelete = false;
    os::DWORD share = 0;
    std::string key;
};

struct FindObject : KernelObject {
    FindObject() : KernelObject(Kind::Find) {}
    std::vector<os::WIN32_FIND_DATAW> entries;
    std::size_t next = 0;
};

bool Fail(os::DWORD error) {
    os::SetLastError(error);
    return false;
}

os::DWORD ErrnoToWin32(int error) {
    switch (error) {
        case ENOENT: return os::ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return os::ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS: return os::ERROR_ACCESS_DENIED;
        case EEXIST: return os::ERROR_FILE_EXISTS;
        case ENOTEMPTY: return kDirNotEmpty;
        case ENOSPC: return kDiskFull;
        case EXDEV: return kNotSameDevice;
        case ENAMETOOLONG: return os::ERROR_INVALID_NAME;
        default: return kGenFailure;
    }
}

// Resolves and reports the failure; `mustExist` turns a missing last
// component into ERROR_FILE_NOT_FOUND.
bool Resolve(std::u16string_view path, ResolvedPath& out, bool mustExist,
             detail::Wildcards wildcards = detail::Wildcards::Reject) {
    out = ResolvePath(path, detail::RedirectionActive(), wildcards);
    if (out.error) return Fail(out.error);
    if (mustExist && !out.exists) return Fail(os::ERROR_FILE_NOT_FOUND);
    return true;
}

bool IsDirectory(const fs::path& host) {
    std::error_code ec;
    return fs::is_directory(host, ec);
}

bool IsLink(const fs::path& host) {
    std::error_code ec;
    return fs::is_symlink(fs::symlink_status(host, ec));
}

// Caller holds the state lock.
// `known` is the entry's own status when the caller has just read it.
os::DWORD AttributesLocked(FileState& state, const fs::path& host, fs::file_status known = {}) {
    std::error_code ec;
    auto own = known.type() != fs::file_type::none ? known : fs::symlink_status(host, ec);
    bool link = fs::is_symlink(own);
    auto target = link ? fs::status(host, ec) : own;
    bool dir = fs::is_directory(target);
    auto it = state.attributes.find(detail::HostKey(host));
    os::DWORD attributes = it != state.attributes.end() ? it->second : (dir ? 0 : os::FILE_ATTRIBUTE_ARCHIVE);
    if (!link && (own.permissions() & fs::perms::owner_write) == fs::perms::none)
        attributes |= os::FILE_ATTRIBUTE_READONLY;
    attributes &= kStoredAttributes;
    if (dir) attributes |= os::FILE_ATTRIBUTE_DIRECTORY;
    // Like Windows, a link reports itself, not its target.
    if (link) attributes |= os::FILE_ATTRIBUTE_REPARSE_POINT;
    return attributes ? attributes : os::FILE_ATTRIBUTE_NORMAL;
}

os::DWORD Attributes(const fs::path& host, fs::file_status known = {}) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    return AttributesLocked(state, host, known);
}

// Would opening `key` with this access and sharing clash with a handle
// already open? Caller holds the state lock.
bool SharingConflict(FileState& state, const std::string& key, bool read, bool write, bool del, os::DWORD share) {
    if (state.locked.count(key)) return true;
    auto it = state.open.find(key);
    if (it == state.open.end()) return false;
    for (auto* other : it->second) {
        if ((read && !(other->share & os::FILE_SHARE_READ)) || (write && !(other->share & os::FILE_SHARE_WRITE)) ||
            (del && !(other->share & os::FILE_SHARE_DELETE)))
            return true;
        if ((other->canRead && !(share & os::FILE_SHARE_READ)) ||
            (other->canWrite && !(share & os::FILE_SHARE_WRITE)) ||
            (other->canDelete && !(share & os::FILE_SHARE_DELETE)))
            return true;
    }
    return false;
}

bool InUse(const fs::path& host, bool read, bool write, bool del) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    return SharingConflict(state, detail::HostKey(host), read, write, del,
                           os::FILE_SHARE_READ | os::FILE_SHARE_WRITE | os::FILE_SHARE_DELETE);
}

void ForgetAttributes(const fs::path& host) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.attributes.erase(detail::HostKey(host));
}

void MoveAttributes(const fs::path& from, const fs::path& to) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    auto node = state.attributes.extract(detail::HostKey(from));
    state.attributes.erase(detail::HostKey(to));
    if (node) {
        node.key() = detail::HostKey(to);
        state.attributes.insert(std::move(node));
    }
}

os::FILETIME ToFileTime(fs::file_time_type time) {
    auto sys = std::chrono::file_clock::to_sys(time);
    auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(sys.time_since_epoch()).count() / 100;
    // 100-ns intervals since 1601-01-01.
    auto value = static_cast<std::uint64_t>(ticks + 116444736000000000LL);
    return os::FILETIME{static_cast<os::DWORD>(value), static_cast<os::DWORD>(value >> 32)};
}

os::WIN32_FIND_DATAW FindData(const fs::path& host, std::u16string_view name) {
    os::WIN32_FIND_DATAW data{};
    data.dwFileAttributes = Attributes(host);
    std::error_code ec;
    auto time = fs::last_write_time(host, ec);
    if (!ec) data.ftCreationTime = data.ftLastAccessTime = data.ftLastWriteTime = ToFileTime(time);
    if (!(data.dwFileAttributes & os::FILE_ATTRIBUTE_DIRECTORY)) {
        auto size = fs::file_size(host, ec);
        if (!ec) {
            data.nFileSizeLow = static_cast<os::DWORD>(size);
            data.nFileSizeHigh = static_cast<os::DWORD>(static_cast<std::uint64_t>(size) >> 32);
        }
    }
    auto length = std::min<std::size_t>(name.size(), os::MAX_PATH - 1);
    name.copy(data.cFileName, length);
    return data;
}

bool CopyResolved(const ResolvedPath& source, const ResolvedPath& target, bool failIfExists) {
    if (IsDirectory(source.host)) return Fail(os::ERROR_ACCESS_DENIED);
    if (InUse(source.host, true, false, false)) return Fail(os::ERROR_SHARING_VIOLATION);
    if (target.exists) {
        if (failIfExists) return Fail(os::ERROR_FILE_EXISTS);
        auto attributes = Attributes(target.host);
        if (attributes & (os::FILE_ATTRIBUTE_DIRECTORY | os::FILE_ATTRIBUTE_READONLY))
            return Fail(os::ERROR_ACCESS_DENIED);
        if (InUse(target.host, false, true, false)) return Fail(os::ERROR_SHARING_VIOLATION);
    }
    if (detail::HostKey(source.host) == detail::HostKey(target.host)) return Fail(os::ERROR_SHARING_VIOLATION);
    std::error_code ec;
    fs::copy_file(source.host, target.host, fs::copy_options::overwrite_existing, ec);
    if (ec) return Fail(ErrnoToWin32(ec.value()));
    // The copy carries the source's attributes, read-only included.
    auto& state = State();
    std::lock_guard lock(state.mutex);
    auto attributes = AttributesLocked(state, source.host) & kStoredAttributes;
    state.attributes[detail::HostKey(target.host)] = attributes;
    return true;
}

}  // namespace

namespace detail {

void ResetFiles() {
    ResetDrives();
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.attributes.clear();
    state.locked.clear();
}

bool CopyFileAs(std::u16string_view source, std::u16string_view target, bool failIfExists, bool redirect) {
    auto from = ResolvePath(source, redirect);
    if (from.error) return Fail(from.error);
    if (!from.exists) return Fail(os::ERROR_FILE_NOT_FOUND);
    auto to = ResolvePath(target, redirect);
    if (to.error) return Fail(to.error);
    return CopyResolved(from, to, failIfExists);
}

}  // namespace detail

void SetFileLocked(std::u16string_view windowsPath, bool locked) {
    auto resolved = ResolvePath(windowsPath, false);
    if (resolved.error) return;
    auto& state = State();
    std::lock_guard lock(state.mutex);
    if (locked)
        state.locked.insert(detail::HostKey(resolved.host));
    else
        state.locked.erase(detail::HostKey(resolved.host));
}

void MapStandardSystemDrive(const fs::path& hostFolder) {
    // Spelled as Windows spells them; a folder the host already holds in
    // another case is used as it is, never doubled.
    static constexpr std::u16string_view kFolders[] = {
        u"Windows\\System32",
        u"Windows\\SysWOW64",
        u"Windows\\Fonts",
        u"Windows\\Temp",
        u"Program Files\\Common Files",
        u"Program Files (x86)\\Common Files",
        u"ProgramData\\Microsoft\\Windows\\Start Menu\\Programs",
        u"Users\\root\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs",
        u"Users\\root\\AppData\\Local",
        u"Users\\root\\Temp",
    };
    std::error_code ec;
    fs::create_directories(hostFolder, ec);
    MapDrive(u'C', hostFolder);
    for (auto folder : kFolders) {
        std::u16string path = u"C:";
        for (std::size_t start = 0; start <= folder.size();) {
            auto end = std::min(folder.find(u'\\', start), folder.size());
            path += u'\\';
            path += folder.substr(start, end - start);
            auto resolved = ResolvePath(path, false);
            if (!resolved.error && !resolved.exists) fs::create_directory(resolved.host, ec);
            start = end + 1;
        }
    }
}

}  // namespace emul

namespace os {
using emul::detail::ResolvedPath;
namespace fs = std::filesystem;

DWORD GetFileAttributesW(LPCWSTR path) {
    emul::CountSeamCall(emul::SeamCall::FileAttributes);
    emul::RecordProbedPath(path);
    ResolvedPath r;
    if (!path) return emul::Fail(ERROR_INVALID_PARAMETER), INVALID_FILE_ATTRIBUTES;
    if (!emul::Resolve(path, r, true)) return INVALID_FILE_ATTRIBUTES;
    auto attributes = emul::Attributes(r.host, r.status);
    if (r.trailingSeparator && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_FILE_ATTRIBUTES;
    }
    return attributes;
}

BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes) {
    ResolvedPath r;
    if (!path) return emul::Fail(ERROR_INVALID_PARAMETER);
    if (!emul::Resolve(path, r, true)) return FALSE;
    auto& state = emul::State();
    std::lock_guard lock(state.mutex);
    state.attributes[emul::detail::HostKey(r.host)] = attributes & emul::kStoredAttributes;
    if (!(attributes & FILE_ATTRIBUTE_READONLY) && !emul::IsLink(r.host)) {
        // A host file without write permission reads as read-only; clearing
        // the attribute has to clear that too.
        std::error_code ec;
        fs::permissions(r.host, fs::perms::owner_write, fs::perm_options::add, ec);
    }
    return TRUE;
}

HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data) {
    emul::CountSeamCall(emul::SeamCall::FindFirst);
    emul::RecordProbedPath(pattern);
    ResolvedPath r;
    if (!pattern || !data) return emul::Fail(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
    if (!emul::Resolve(pattern, r, false, emul::detail::Wildcards::AllowInLast)) return INVALID_HANDLE_VALUE;
    auto find = std::make_shared<emul::FindObject>();
    if (!r.pattern.empty()) {
        if (!r.isRoot) {
            // Windows lists the folder itself and its parent first, except
            // at the root of a drive.
            if (emul::detail::MatchesPattern(u".", r.pattern)) find->entries.push_back(emul::FindData(r.host, u"."));
            if (emul::detail::MatchesPattern(u"..", r.pattern))
                find->entries.push_back(emul::FindData(r.host.parent_path(), u".."));
        }
        std::vector<std::pair<std::u16string, fs::path>> matches;
        std::error_code ec;
        for (fs::directory_iterator it(r.host, ec), end; !ec && it != end; it.increment(ec)) {
            auto name = emul::detail::WindowsName(it->path().filename());
            if (emul::detail::MatchesPattern(name, r.pattern)) matches.emplace_back(std::move(name), it->path());
        }
        // NTFS returns names in its upper-cased order.
        std::sort(matches.begin(), matches.end(),
                  [](const auto& a, const auto& b) { return text::CompareNoCase(a.first, b.first) < 0; });
        for (auto& [name, host] : matches) find->entries.push_back(emul::FindData(host, name));
    } else if (r.exists && !r.isRoot && !r.trailingSeparator) {
        find->entries.push_back(emul::FindData(r.host, emul::detail::WindowsName(r.host.filename())));
    }
    if (find->entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *data = find->entries[0];
    find->next = 1;
    return emul::detail::AddHandle(std::move(find));
}

BOOL FindNextFileW(HANDLE handle, WIN32_FIND_DATAW* data) {
    auto object = emul::detail::FindHandle(handle, emul::KernelObject::Kind::Find);
    if (!object) return emul::Fail(ERROR_INVALID_HANDLE);
    auto& find = static_cast<emul::FindObject&>(*object);
    if (find.next >= find.entries.size()) return emul::Fail(emul::kNoMoreFiles);
    *data = find.entries[find.next++];
    return TRUE;
}

BOOL FindClose(HANDLE handle) {
    if (!emul::detail::RemoveHandle(handle, emul::KernelObject::Kind::Find)) return emul::Fail(ERROR_INVALID_HANDLE);
    return TRUE;
}

BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES) {
    ResolvedPath r;
    if (!path) return emul::Fail(ERROR_PATH_NOT_FOUND);
    if (!emul::Resolve(path, r, false)) return FALSE;
    if (r.exists) return emul::Fail(ERROR_ALREADY_EXISTS);
    std::error_code ec;
    if (!fs::create_directory(r.host, ec)) return emul::Fail(ec ? emul::ErrnoToWin32(ec.value()) : ERROR_ALREADY_EXISTS);
    emul::ForgetAttributes(r.host);
    return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR path) {
    ResolvedPath r;
    if (!path) return emul::Fail(ERROR_PATH_NOT_FOUND);
    if (!emul::Resolve(path, r, true)) return FALSE;
    if (r.isRoot) return emul::Fail(ERROR_ACCESS_DENIED);
    auto attributes = emul::Attributes(r.host);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return emul::Fail(emul::kDirectory);
    if (attributes & FILE_ATTRIBUTE_READONLY) return emul::Fail(ERROR_ACCESS_DENIED);
    std::error_code ec;
    if (emul::IsLink(r.host)) {
        // Removing a linked folder removes the link, never the target's content.
        fs::remove(r.host, ec);
    } else {
        if (!fs::is_empty(r.host, ec)) return emul::Fail(emul::kDirNotEmpty);
        fs::remove(r.host, ec);
    }
    if (ec) return emul::Fail(emul::ErrnoToWin32(ec.value()));
    emul::ForgetAttributes(r.host);
    return TRUE;
}

BOOL DeleteFileW(LPCWSTR path) {
    ResolvedPath r;
    if (!path) return emul::Fail(ERROR_PATH_NOT_FOUND);
    if (!emul::Resolve(path, r, true)) return FALSE;
    auto attributes = emul::Attributes(r.host);
    bool link = attributes & FILE_ATTRIBUTE_REPARSE_POINT;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !link) return emul::Fail(ERROR_ACCESS_DENIED);
    if (attributes & FILE_ATTRIBUTE_READONLY) return emul::Fail(ERROR_ACCESS_DENIED);
    if (emul::InUse(r.host, false, false, true)) return emul::Fail(ERROR_SHARING_VIOLATION);
    std::error_code ec;
    fs::remove(r.host, ec);
    if (ec) return emul::Fail(emul::ErrnoToWin32(ec.value()));
    emul::ForgetAttributes(r.host);
    return TRUE;
}

BOOL CopyFileW(LPCWSTR existing, LPCWSTR target, BOOL failIfExists) {
    if (!existing || !target) return emul::Fail(ERROR_INVALID_PARAMETER);
    return emul::detail::CopyFileAs(existing, target, failIfExists, emul::detail::RedirectionActive());
}

BOOL MoveFileExW(LPCWSTR existing, LPCWSTR target, DWORD flags) {
    ResolvedPath from, to;
    if (!existing || !target) return emul::Fail(ERROR_INVALID_PARAMETER);
    if (!emul::Resolve(existing, from, true)) return FALSE;
    if (!emul::Resolve(target, to, false)) return FALSE;
    bool sameEntry = emul::detail::HostKey(from.host) == emul::detail::HostKey(to.host);
    if (to.exists && !sameEntry) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING)) return emul::Fail(ERROR_ALREADY_EXISTS);
        auto attributes = emul::Attributes(to.host);
        if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return emul::Fail(ERROR_ACCESS_DENIED);
        if (emul::InUse(to.host, false, false, true)) return emul::Fail(ERROR_SHARING_VIOLATION);
    }
    if (emul::InUse(from.host, false, false, true)) return emul::Fail(ERROR_SHARING_VIOLATION);
    if (from.drive != to.drive && !(flags & emul::kMoveCopyAllowed)) return emul::Fail(emul::kNotSameDevice);
    std::error_code ec;
    fs::rename(from.host, to.host, ec);
    if (ec && ec.value() == EXDEV && !emul::IsDirectory(from.host)) {
        ec.clear();
        fs::copy_file(from.host, to.host, fs::copy_options::overwrite_existing, ec);
        if (!ec) fs::remove(from.host, ec);
    }
    if (ec) return emul::Fail(emul::ErrnoToWin32(ec.value()));
    emul::MoveAttributes(from.host, to.host);
    return TRUE;
}

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD flags,
                   HANDLE) {
    emul::CountSeamCall(emul::SeamCall::FileOpen);
    ResolvedPath r;
    if (!path) return emul::Fail(ERROR_PATH_NOT_FOUND), INVALID_HANDLE_VALUE;
    if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING)
        return emul::Fail(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;
    if (!emul::Resolve(path, r, false)) return INVALID_HANDLE_VALUE;
    bool read = access & (GENERIC_READ | emul::kFileReadData | emul::kGenericAll);
    bool write = access & (GENERIC_WRITE | emul::kFileWriteData | emul::kGenericAll);
    bool append = (access & FILE_APPEND_DATA) && !write;
    bool del = access & emul::kDeleteAccess;
    if (disposition == TRUNCATE_EXISTING && !write) return emul::Fail(ERROR_INVALID_PARAMETER), INVALID_HANDLE_VALUE;

    auto object = std::make_shared<emul::FileObject>();
    object->canRead = read;
    object->canWrite = write || append;
    object->canDelete = del;
    object->share = share;
    bool existed = r.exists;
    if (existed) {
        if (disposition == CREATE_NEW) return emul::Fail(ERROR_FILE_EXISTS), INVALID_HANDLE_VALUE;
        auto attributes = emul::Attributes(r.host);
        bool dir = attributes & FILE_ATTRIBUTE_DIRECTORY;
        if (dir && (!(flags & emul::kBackupSemantics) || disposition == CREATE_ALWAYS ||
                    disposition == TRUNCATE_EXISTING))
            return emul::Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
        bool truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
        if ((attributes & FILE_ATTRIBUTE_READONLY) && (write || append || truncates || del))
            return emul::Fail(ERROR_ACCESS_DENIED), INVALID_HANDLE_VALUE;
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !fs::exists(r.host))
            return emul::Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
        if (dir) {
            object->key = emul::detail::HostKey(r.host);
            SetLastError(disposition == OPEN_ALWAYS ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
            return emul::detail::AddHandle(std::move(object));
        }
    } else if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
        return emul::Fail(ERROR_FILE_NOT_FOUND), INVALID_HANDLE_VALUE;
    } else if (r.trailingSeparator || r.isRoot) {
        return emul::Fail(ERROR_INVALID_NAME), INVALID_HANDLE_VALUE;
    }

    int mode = (read && (write || append)) ? O_RDWR : (write || append) ? O_WRONLY : O_RDONLY;
    if (append) mode |= O_APPEND;
    switch (disposition) {
        case CREATE_NEW: mode |= O_CREAT | O_EXCL; break;
        case CREATE_ALWAYS: mode |= O_CREAT | O_TRUNC; break;
        case OPEN_ALWAYS: mode |= O_CREAT; break;
        case TRUNCATE_EXISTING: mode |= O_TRUNC; break;
        default: break;
    }
    // Truncating needs a writable descriptor even for a query-only handle.
    if ((mode & O_TRUNC) && (mode & O_ACCMODE) == O_RDONLY) mode = (mode & ~O_ACCMODE) | O_WRONLY;

    auto& state = emul::State();
    {
        std::lock_guard lock(state.mutex);
        auto key = emul::detail::HostKey(r.host);
        if (emul::SharingConflict(state, key, read, write || append, del, share))
            return emul::Fail(ERROR_SHARING_VIOLATION), INVALID_HANDLE_VALUE;
        object->fd = ::open(r.host.c_str(), mode | O_CLOEXEC, 0666);
        if (object->fd < 0) return emul::Fail(emul::ErrnoToWin32(errno)), INVALID_HANDLE_VALUE;
        object->key = key;
        state.open[key].push_back(object.get());
        if (!existed) state.attributes.erase(key);
    }
    bool reportsExisting = existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
    auto handle = emul::detail::AddHandle(std::move(object));
    SetLastError(reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* bytesRead, void*) {
    auto object = emul::detail::FindHandle(file, emul::KernelObject::Kind::File);
    if (!object) return emul::Fail(ERROR_INVALID_HANDLE);
    auto& f = static_cast<emul::FileObject&>(*object);
    if (bytesRead) *bytesRead = 0;
    if (!f.canRead || f.fd < 0) return emul::Fail(ERROR_ACCESS_DENIED);
    DWORD total = 0;
    auto* out = static_cast<char*>(buffer);
    while (total < bytes) {
        auto n = ::read(f.fd, out + total, bytes - total);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return emul::Fail(emul::ErrnoToWin32(errno));
        if (n == 0) break;
        total += static_cast<DWORD>(n);
    }
    if (bytesRead) *bytesRead = total;
    return TRUE;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* bytesWritten, void*) {
    auto object = emul::detail::FindHandle(file, emul::KernelObject::Kind::File);
    if (!object) return emul::Fail(ERROR_INVALID_HANDLE);
    auto& f = static_cast<emul::FileObject&>(*object);
    if (bytesWritten) *bytesWritten = 0;
    if (!f.canWrite || f.fd < 0) return emul::Fail(ERROR_ACCESS_DENIED);
    // One write call per request: with O_APPEND the host places each
    // request whole at the end, which concurrent loggers rely on.
    DWORD total = 0;
    auto* in = static_cast<const char*>(buffer);
    while (total < bytes) {
        auto n = ::write(f.fd, in + total, bytes - total);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return emul::Fail(emul::ErrnoToWin32(errno));
        total += static_cast<DWORD>(n);
    }
    if (bytesWritten) *bytesWritten = total;
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
    auto object = emul::detail::FindHandle(file, emul::KernelObject::Kind::File);
    if (!object) return emul::Fail(ERROR_INVALID_HANDLE);
    auto& f = static_cast<emul::FileObject&>(*object);
    if (!f.canWrite || f.fd < 0) return emul::Fail(ERROR_ACCESS_DENIED);
    ::fsync(f.fd);
    return TRUE;
}

DWORD GetFileSize(HANDLE file, DWORD* high) {
    auto object = emul::detail::FindHandle(file, emul::KernelObject::Kind::File);
    if (!object) return emul::Fail(ERROR_INVALID_HANDLE), INVALID_FILE_SIZE;
    auto& f = static_cast<emul::FileObject&>(*object);
    struct stat st{};
    if (f.fd < 0 || ::fstat(f.fd, &st) != 0) {
        if (high) *high = 0;
        SetLastError(ERROR_SUCCESS);
        return 0;
    }
    auto size = static_cast<std::uint64_t>(st.st_size);
    if (high) *high = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

}  // namespace os
