// The Win32 subset Tallowmend calls, declared once with Win32 names and
// semantics. In the win32 build these forward to the real API
// (platform/win32); in the native build they are served by the emulated
// machine (platform/emul). Program code includes this header, never
// <windows.h>, so both builds compile the same source.
//
// Strings are UTF-16 as char16_t. wchar_t is 16-bit only on Windows, so the
// forwarders cast at the boundary and nothing else has to care.
#pragma once

#include <cstddef>
#include <cstdint>

// Our constants share names with <windows.h> macros; once those macros exist
// this header cannot be parsed. Include it first in the few files that need
// both (platform/win32, ui/win32).
#if defined(_WINDOWS_) || defined(_WINDEF_) || defined(_MINWINDEF_)
#error "include platform/os/WinApi.h before <windows.h>"
#endif

// Tag types shared with <windows.h> (STRICT handles), so the forwarders can
// pass handles through without casts.
struct HKEY__;
struct HINSTANCE__;
struct HWND__;
struct HRSRC__;

namespace os {

#ifdef _WIN32
using DWORD = unsigned long;
using LONG = long;
using ULONG = unsigned long;
#define OS_WINAPI __stdcall
#else
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
#define OS_WINAPI
#endif

using BOOL = int;
using BYTE = unsigned char;
using WORD = unsigned short;
using UINT = unsigned int;
using WCHAR = char16_t;
using LPCWSTR = const char16_t*;
using LPWSTR = char16_t*;
using LPCSTR = const char*;
using LPSTR = char*;
using ULONG_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using LANGID = WORD;
using LCID = DWORD;
using LCTYPE = DWORD;
using LSTATUS = LONG;
using REGSAM = DWORD;
using SECURITY_INFORMATION = DWORD;
using PSECURITY_DESCRIPTOR = void*;
using LPSECURITY_ATTRIBUTES = void*;

using HANDLE = void*;
using HKEY = HKEY__*;
using HMODULE = HINSTANCE__*;
using HINSTANCE = HINSTANCE__*;
using HWND = HWND__*;
using HRSRC = HRSRC__*;
using HGLOBAL = void*;
using FARPROC = LONG_PTR(OS_WINAPI*)();

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

// ---------------------------------------------------------------- errors
constexpr LONG ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_NOT_READY = 21;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_BAD_PATHNAME = 161;
constexpr DWORD ERROR_CALL_NOT_IMPLEMENTED = 120;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
constexpr DWORD ERROR_BADKEY = 1010;
constexpr DWORD ERROR_CANTOPEN = 1011;
constexpr DWORD ERROR_CANTREAD = 1012;
constexpr DWORD ERROR_CANTWRITE = 1013;
constexpr DWORD ERROR_REGISTRY_IO_FAILED = 1016;
constexpr DWORD ERROR_KEY_DELETED = 1018;
constexpr DWORD ERROR_NOACCESS = 998;
constexpr DWORD ERROR_BADDB = 1009;
constexpr DWORD ERROR_NOT_ALL_ASSIGNED = 1300;
constexpr DWORD ERROR_NO_SUCH_PRIVILEGE = 1313;
constexpr DWORD ERROR_PRIVILEGE_NOT_HELD = 1314;
constexpr DWORD ERROR_INVALID_SECURITY_DESCR = 1338;
constexpr DWORD ERROR_NOT_SAME_DEVICE = 17;
constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_BAD_NETPATH = 53;
constexpr DWORD ERROR_BAD_NET_NAME = 67;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_DIRECTORY = 267;
constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;
constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;

// ---------------------------------------------------------------- registry
// Predefined roots carry the sign-extended 32-bit values, as on Windows.
inline HKEY PredefinedKey(std::uint32_t value) {
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<std::int32_t>(value))));
}
// The 32-bit value of a predefined root (0x80000000 ...), whatever the pointer width.
inline std::uint32_t KeyValue32(HKEY key) {
    return static_cast<std::uint32_t>(reinterpret_cast<ULONG_PTR>(key));
}
inline const HKEY HKEY_CLASSES_ROOT = PredefinedKey(0x80000000u);
inline const HKEY HKEY_CURRENT_USER = PredefinedKey(0x80000001u);
inline const HKEY HKEY_LOCAL_MACHINE = PredefinedKey(0x80000002u);
inline const HKEY HKEY_USERS = PredefinedKey(0x80000003u);
inline const HKEY HKEY_PERFORMANCE_DATA = PredefinedKey(0x80000004u);
inline const HKEY HKEY_CURRENT_CONFIG = PredefinedKey(0x80000005u);
inline const HKEY HKEY_DYN_DATA = PredefinedKey(0x80000006u);

// DELETE itself is a macro of <windows.h>.
constexpr REGSAM DELETE_ACCESS = 0x00010000;
constexpr REGSAM READ_CONTROL = 0x00020000;
constexpr REGSAM WRITE_DAC = 0x00040000;
constexpr REGSAM WRITE_OWNER = 0x00080000;
constexpr REGSAM MAXIMUM_ALLOWED = 0x02000000;
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_LINK = 6;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_RESOURCE_LIST = 8;
constexpr DWORD REG_FULL_RESOURCE_DESCRIPTOR = 9;
constexpr DWORD REG_RESOURCE_REQUIREMENTS_LIST = 10;
constexpr DWORD REG_QWORD = 11;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_OPTION_VOLATILE = 1;
constexpr DWORD REG_OPTION_CREATE_LINK = 2;
constexpr DWORD REG_OPTION_BACKUP_RESTORE = 4;
constexpr DWORD REG_OPTION_OPEN_LINK = 8;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;
constexpr DWORD REG_FORCE_RESTORE = 8;

constexpr SECURITY_INFORMATION OWNER_SECURITY_INFORMATION = 1;
constexpr SECURITY_INFORMATION GROUP_SECURITY_INFORMATION = 2;
constexpr SECURITY_INFORMATION DACL_SECURITY_INFORMATION = 4;
constexpr DWORD SECURITY_DESCRIPTOR_REVISION = 1;
// Size of an absolute security descriptor: 20 bytes in the 32-bit program,
// 40 in a 64-bit test build, where its four pointers are twice as wide and
// 20 bytes would let InitializeSecurityDescriptor write past the buffer.
constexpr DWORD SECURITY_DESCRIPTOR_MIN_LENGTH = static_cast<DWORD>(4 + 4 * sizeof(void*));

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM sam, HKEY* result);
LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR cls, DWORD options, REGSAM sam,
                        LPSECURITY_ATTRIBUTES sa, HKEY* result, DWORD* disposition);
LSTATUS RegCloseKey(HKEY key);
LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameChars, DWORD* reserved, LPWSTR cls,
                      DWORD* clsChars, void* lastWriteTime);
LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameChars, DWORD* reserved, DWORD* type,
                      BYTE* data, DWORD* dataBytes);
LSTATUS RegQueryInfoKeyW(HKEY key, LPWSTR cls, DWORD* clsChars, DWORD* reserved, DWORD* subKeys,
                         DWORD* maxSubKeyLen, DWORD* maxClassLen, DWORD* values, DWORD* maxValueNameLen,
                         DWORD* maxValueLen, DWORD* securityDescriptorBytes, void* lastWriteTime);
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataBytes);
LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD dataBytes);
LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey);
// Resolved at run time on Windows (absent before Vista x64 / XP x64); a
// failed lookup answers ERROR_CALL_NOT_IMPLEMENTED.
LSTATUS RegDeleteKeyExW(HKEY key, LPCWSTR subKey, REGSAM sam, DWORD reserved);
LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName);
LSTATUS RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd, DWORD* sdBytes);
LSTATUS RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd);
LSTATUS RegSaveKeyW(HKEY key, LPCWSTR file, LPSECURITY_ATTRIBUTES sa);
LSTATUS RegRestoreKeyW(HKEY key, LPCWSTR file, DWORD flags);
BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR sd, DWORD revision);
BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL daclPresent, void* dacl, BOOL daclDefaulted);

// ---------------------------------------------------------------- token
constexpr DWORD TOKEN_ADJUST_PRIVILEGES = 0x0020;
constexpr DWORD TOKEN_QUERY = 0x0008;
constexpr DWORD SE_PRIVILEGE_ENABLED_BY_DEFAULT = 0x1;
constexpr DWORD SE_PRIVILEGE_ENABLED = 0x2;

struct LUID {
    DWORD LowPart;
    LONG HighPart;
};
struct LUID_AND_ATTRIBUTES {
    LUID Luid;
    DWORD Attributes;
};
struct TOKEN_PRIVILEGES {
    DWORD PrivilegeCount;
    LUID_AND_ATTRIBUTES Privileges[1];
};

HANDLE GetCurrentProcess();
DWORD GetCurrentProcessId();
BOOL OpenProcessToken(HANDLE process, DWORD access, HANDLE* token);
BOOL LookupPrivilegeValueW(LPCWSTR system, LPCWSTR name, LUID* luid);
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState, DWORD bufferBytes,
                           TOKEN_PRIVILEGES* previousState, DWORD* returnBytes);
BOOL CloseHandle(HANDLE handle);

// ---------------------------------------------------------------- process
using IsWow64ProcessFn = BOOL(OS_WINAPI*)(HANDLE process, BOOL* wow64);

struct OSVERSIONINFOEXW {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
};
constexpr BYTE VER_NT_WORKSTATION = 1;
constexpr BYTE VER_NT_DOMAIN_CONTROLLER = 2;
constexpr BYTE VER_NT_SERVER = 3;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

constexpr UINT SW_HIDE = 0;
constexpr UINT SW_SHOWNORMAL = 1;

HMODULE GetModuleHandleW(LPCWSTR moduleName);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
DWORD GetVersion();
BOOL GetVersionExW(OSVERSIONINFOEXW* info);
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD chars);
UINT WinExec(LPCSTR commandLine, UINT show);
BOOL Wow64DisableWow64FsRedirection(void** oldValue);
BOOL Wow64RevertWow64FsRedirection(void* oldValue);
DWORD GetLastError();
void SetLastError(DWORD error);

// ---------------------------------------------------------------- memory
constexpr DWORD HEAP_ZERO_MEMORY = 0x8;
HANDLE GetProcessHeap();
void* HeapAlloc(HANDLE heap, DWORD flags, std::size_t bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, void* mem);

// ---------------------------------------------------------------- files
constexpr DWORD MAX_PATH = 260;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x2;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x4;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_APPEND_DATA = 0x0004;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;
constexpr DWORD FILE_FLAG_WRITE_THROUGH = 0x80000000;
// Needed to open a folder as a handle (existence checks of linked folders).
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;
constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
constexpr DWORD MOVEFILE_WRITE_THROUGH = 0x8;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
};

DWORD GetFileAttributesW(LPCWSTR path);
BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes);
HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data);
BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data);
BOOL FindClose(HANDLE find);
BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES sa);
BOOL RemoveDirectoryW(LPCWSTR path);
BOOL DeleteFileW(LPCWSTR path);
BOOL CopyFileW(LPCWSTR existing, LPCWSTR target, BOOL failIfExists);
BOOL MoveFileExW(LPCWSTR existing, LPCWSTR target, DWORD flags);
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
BOOL ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* bytesRead, void* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* bytesWritten, void* overlapped);
BOOL FlushFileBuffers(HANDLE file);
DWORD GetFileSize(HANDLE file, DWORD* high);

// Drive types; DRIVE_NO_ROOT_DIR for a letter the machine does not have.
constexpr UINT DRIVE_UNKNOWN = 0;
constexpr UINT DRIVE_NO_ROOT_DIR = 1;
constexpr UINT DRIVE_REMOVABLE = 2;
constexpr UINT DRIVE_FIXED = 3;
constexpr UINT DRIVE_REMOTE = 4;
constexpr UINT DRIVE_CDROM = 5;
UINT GetDriveTypeW(LPCWSTR rootPath);

// ---------------------------------------------------------------- system
constexpr UINT CP_ACP = 0;
constexpr UINT CP_UTF8 = 65001;
constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x400;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x8;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x200;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;
constexpr LCID LOCALE_USER_DEFAULT = 0x400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x800;
constexpr LCTYPE LOCALE_IDEFAULTANSICODEPAGE = 0x1004;
constexpr LCTYPE LOCALE_SDATE = 0x1D;
constexpr LCTYPE LOCALE_STIME = 0x1E;
constexpr LCTYPE LOCALE_SSHORTDATE = 0x1F;
constexpr LCTYPE LOCALE_STIMEFORMAT = 0x1003;

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

DWORD ExpandEnvironmentStringsW(LPCWSTR source, LPWSTR dest, DWORD destChars);
UINT GetSystemDirectoryW(LPWSTR buffer, UINT chars);
UINT GetSystemWow64DirectoryW(LPWSTR buffer, UINT chars);
UINT GetWindowsDirectoryW(LPWSTR buffer, UINT chars);
int GetLocaleInfoW(LCID locale, LCTYPE type, LPWSTR data, int chars);
// The language the user chose for the system's menus and dialogs.
LANGID GetUserDefaultUILanguage();
UINT GetACP();
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideChars, LPSTR multi, int multiBytes,
                        LPCSTR defaultChar, BOOL* usedDefault);
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multi, int multiBytes, LPWSTR wide, int wideChars);
DWORD FormatMessageW(DWORD flags, const void* source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                     DWORD chars, void* arguments);
void GetLocalTime(SYSTEMTIME* time);

// ---------------------------------------------------------------- shell
constexpr int CSIDL_PROGRAMS = 0x0002;
constexpr int CSIDL_FONTS = 0x0014;
constexpr int CSIDL_COMMON_PROGRAMS = 0x0017;
constexpr DWORD SHGFP_TYPE_CURRENT = 0;
using HRESULT = LONG;
constexpr HRESULT S_OK = 0;

HRESULT SHGetFolderPathW(HWND owner, int folder, HANDLE token, DWORD flags, LPWSTR path);
HINSTANCE ShellExecuteW(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory, int show);

// ---------------------------------------------------------------- resources
// RT_RCDATA is MAKEINTRESOURCE(10); pass it as the type.
inline LPCWSTR const RT_RCDATA = reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(10));
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
void* LockResource(HGLOBAL data);
DWORD SizeofResource(HMODULE module, HRSRC resource);

}  // namespace os
