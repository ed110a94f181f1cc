// Environment, system information, shell and resources: the real API.
#include "platform/win32/Cast.h"

#include <shlobj.h>
#include <shellapi.h>

namespace os {
using win32::W;

static_assert(sizeof(::SYSTEMTIME) == sizeof(os::SYSTEMTIME));

DWORD ExpandEnvironmentStringsW(LPCWSTR source, LPWSTR dest, DWORD destChars) {
    return ::ExpandEnvironmentStringsW(W(source), W(dest), destChars);
}
UINT GetSystemDirectoryW(LPWSTR buffer, UINT chars) { return ::GetSystemDirectoryW(W(buffer), chars); }
UINT GetSystemWow64DirectoryW(LPWSTR buffer, UINT chars) { return ::GetSystemWow64DirectoryW(W(buffer), chars); }
UINT GetWindowsDirectoryW(LPWSTR buffer, UINT chars) { return ::GetWindowsDirectoryW(W(buffer), chars); }
int GetLocaleInfoW(LCID locale, LCTYPE type, LPWSTR data, int chars) {
    return ::GetLocaleInfoW(locale, type, W(data), chars);
}
UINT GetACP() { return ::GetACP(); }
LANGID GetUserDefaultUILanguage() { return ::GetUserDefaultUILanguage(); }

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideChars, LPSTR multi, int multiBytes,
                        LPCSTR defaultChar, BOOL* usedDefault) {
    return ::WideCharToMultiByte(codePage, flags, W(wide), wideChars, multi, multiBytes, defaultChar, usedDefault);
}
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multi, int multiBytes, LPWSTR wide, int wideChars) {
    return ::MultiByteToWideChar(codePage, flags, multi, multiBytes, W(wide), wideChars);
}
DWORD FormatMessageW(DWORD flags, const void* source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                     DWORD chars, void* arguments) {
    return ::FormatMessageW(flags, source, messageId, languageId, W(buffer), chars,
                            static_cast<va_list*>(arguments));
}
void GetLocalTime(SYSTEMTIME* time) { ::GetLocalTime(reinterpret_cast<::SYSTEMTIME*>(time)); }

HRESULT SHGetFolderPathW(HWND owner, int folder, HANDLE token, DWORD flags, LPWSTR path) {
    return ::SHGetFolderPathW(owner, folder, token, flags, W(path));
}
HINSTANCE ShellExecuteW(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory, int show) {
    return ::ShellExecuteW(owner, W(verb), W(file), W(parameters), W(directory), show);
}

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
    return ::FindResourceW(module, W(name), W(type));
}
HGLOBAL LoadResource(HMODULE module, HRSRC resource) { return ::LoadResource(module, resource); }
void* LockResource(HGLOBAL data) { return ::LockResource(data); }
DWORD SizeofResource(HMODULE module, HRSRC resource) { return ::SizeofResource(module, resource); }

}  // namespace os
