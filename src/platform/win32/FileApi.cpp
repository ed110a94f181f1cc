// File part of the seam: the real kernel32 functions.
#include "platform/win32/Cast.h"

namespace os {
using win32::W;

static_assert(sizeof(::WIN32_FIND_DATAW) == sizeof(os::WIN32_FIND_DATAW));

DWORD GetFileAttributesW(LPCWSTR path) { return ::GetFileAttributesW(W(path)); }
BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes) { return ::SetFileAttributesW(W(path), attributes); }

HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data) {
    return ::FindFirstFileW(W(pattern), reinterpret_cast<::WIN32_FIND_DATAW*>(data));
}
BOOL FindNextFileW(HANDLE find, WIN32_FIND_DATAW* data) {
    return ::FindNextFileW(find, reinterpret_cast<::WIN32_FIND_DATAW*>(data));
}
BOOL FindClose(HANDLE find) { return ::FindClose(find); }

BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES sa) {
    return ::CreateDirectoryW(W(path), static_cast<::LPSECURITY_ATTRIBUTES>(sa));
}
BOOL RemoveDirectoryW(LPCWSTR path) { return ::RemoveDirectoryW(W(path)); }
BOOL DeleteFileW(LPCWSTR path) { return ::DeleteFileW(W(path)); }
BOOL CopyFileW(LPCWSTR existing, LPCWSTR target, BOOL failIfExists) {
    return ::CopyFileW(W(existing), W(target), failIfExists);
}
BOOL MoveFileExW(LPCWSTR existing, LPCWSTR target, DWORD flags) {
    return ::MoveFileExW(W(existing), W(target), flags);
}

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                   DWORD flags, HANDLE templateFile) {
    return ::CreateFileW(W(path), access, share, static_cast<::LPSECURITY_ATTRIBUTES>(sa), disposition, flags,
                         templateFile);
}
BOOL ReadFile(HANDLE file, void* buffer, DWORD bytes, DWORD* bytesRead, void* overlapped) {
    return ::ReadFile(file, buffer, bytes, bytesRead, static_cast<::LPOVERLAPPED>(overlapped));
}
BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytes, DWORD* bytesWritten, void* overlapped) {
    return ::WriteFile(file, buffer, bytes, bytesWritten, static_cast<::LPOVERLAPPED>(overlapped));
}
BOOL FlushFileBuffers(HANDLE file) { return ::FlushFileBuffers(file); }
DWORD GetFileSize(HANDLE file, DWORD* high) { return ::GetFileSize(file, high); }
UINT GetDriveTypeW(LPCWSTR rootPath) { return ::GetDriveTypeW(W(rootPath)); }

}  // namespace os
