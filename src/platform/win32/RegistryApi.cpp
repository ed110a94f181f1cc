// Registry part of the seam: the real advapi32 functions.
#include "platform/win32/Cast.h"

namespace os {
using win32::W;

static_assert(sizeof(::FILETIME) == sizeof(os::FILETIME));

LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM sam, HKEY* result) {
    return ::RegOpenKeyExW(key, W(subKey), options, sam, result);
}

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR cls, DWORD options, REGSAM sam,
                        LPSECURITY_ATTRIBUTES sa, HKEY* result, DWORD* disposition) {
    return ::RegCreateKeyExW(key, W(subKey), reserved, W(cls), options, sam,
                             static_cast<::LPSECURITY_ATTRIBUTES>(sa), result, disposition);
}

LSTATUS RegCloseKey(HKEY key) { return ::RegCloseKey(key); }

LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, DWORD* nameChars, DWORD* reserved, LPWSTR cls,
                      DWORD* clsChars, void* lastWriteTime) {
    return ::RegEnumKeyExW(key, index, W(name), nameChars, reserved, W(cls), clsChars,
                           static_cast<::PFILETIME>(lastWriteTime));
}

LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, DWORD* nameChars, DWORD* reserved, DWORD* type,
                      BYTE* data, DWORD* dataBytes) {
    return ::RegEnumValueW(key, index, W(name), nameChars, reserved, type, data, dataBytes);
}

LSTATUS RegQueryInfoKeyW(HKEY key, LPWSTR cls, DWORD* clsChars, DWORD* reserved, DWORD* subKeys,
                         DWORD* maxSubKeyLen, DWORD* maxClassLen, DWORD* values, DWORD* maxValueNameLen,
                         DWORD* maxValueLen, DWORD* securityDescriptorBytes, void* lastWriteTime) {
    return ::RegQueryInfoKeyW(key, W(cls), clsChars, reserved, subKeys, maxSubKeyLen, maxClassLen, values,
                              maxValueNameLen, maxValueLen, securityDescriptorBytes,
                              static_cast<::PFILETIME>(lastWriteTime));
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataBytes) {
    return ::RegQueryValueExW(key, W(valueName), reserved, type, data, dataBytes);
}

LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD dataBytes) {
    return ::RegSetValueExW(key, W(valueName), reserved, type, data, dataBytes);
}

LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey) { return ::RegDeleteKeyW(key, W(subKey)); }

namespace {
// RegDeleteKeyExW is missing from advapi32 before Vista and 64-bit XP: look
// it up, so the program still loads on 32-bit XP.
using RegDeleteKeyExWFn = LONG(WINAPI*)(::HKEY, const wchar_t*, ::REGSAM, ::DWORD);

RegDeleteKeyExWFn DeleteKeyEx() {
    static const RegDeleteKeyExWFn fn = [] {
        auto advapi = ::GetModuleHandleW(L"advapi32.dll");
        return advapi ? reinterpret_cast<RegDeleteKeyExWFn>(
                            reinterpret_cast<void*>(::GetProcAddress(advapi, "RegDeleteKeyExW")))
                      : nullptr;
    }();
    return fn;
}
}  // namespace

LSTATUS RegDeleteKeyExW(HKEY key, LPCWSTR subKey, REGSAM sam, DWORD reserved) {
    auto fn = DeleteKeyEx();
    if (!fn) return static_cast<LSTATUS>(ERROR_CALL_NOT_IMPLEMENTED);
    return fn(key, W(subKey), sam, reserved);
}

LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName) { return ::RegDeleteValueW(key, W(valueName)); }

LSTATUS RegGetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd, DWORD* sdBytes) {
    return ::RegGetKeySecurity(key, info, sd, sdBytes);
}

LSTATUS RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR sd) {
    return ::RegSetKeySecurity(key, info, sd);
}

LSTATUS RegSaveKeyW(HKEY key, LPCWSTR file, LPSECURITY_ATTRIBUTES sa) {
    return ::RegSaveKeyW(key, W(file), static_cast<::LPSECURITY_ATTRIBUTES>(sa));
}

LSTATUS RegRestoreKeyW(HKEY key, LPCWSTR file, DWORD flags) { return ::RegRestoreKeyW(key, W(file), flags); }

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR sd, DWORD revision) {
    return ::InitializeSecurityDescriptor(sd, revision);
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, BOOL daclPresent, void* dacl, BOOL daclDefaulted) {
    return ::SetSecurityDescriptorDacl(sd, daclPresent, static_cast<::PACL>(dacl), daclDefaulted);
}

}  // namespace os
