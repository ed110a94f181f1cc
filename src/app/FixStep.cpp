#include "app/FixStep.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "platform/Handle.h"
#include "runtime/AppFolders.h"
#include "scan/Regex.h"

namespace app {

TRundllVersion ClassifyWindowsVersion(const os::OSVERSIONINFOEXW& info) {
    if (info.dwPlatformId != os::VER_PLATFORM_WIN32_NT) return TRundllVersion::None;
    if (info.dwMajorVersion == 5 && info.dwMinorVersion == 1) return TRundllVersion::WindowsXP;
    if (info.dwMajorVersion == 6 && info.wProductType == os::VER_NT_WORKSTATION) {
        if (info.dwMinorVersion == 0) return TRundllVersion::WindowsVista;
        if (info.dwMinorVersion == 1) return TRundllVersion::Windows7;
    }
    return TRundllVersion::None;
}

TRundllVersion CurrentRundllVersion() {
    os::OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!os::GetVersionExW(&info)) return TRundllVersion::None;
    return ClassifyWindowsVersion(info);
}

std::u16string RundllSourceName(TRundllVersion version) {
    switch (version) {
        case TRundllVersion::WindowsXP: return u"rxp.dat";
        case TRundllVersion::WindowsVista: return u"rv.dat";
        case TRundllVersion::Windows7: return u"r7.dat";
        case TRundllVersion::None: break;
    }
    return {};
}

std::u16string ProgramFolder() {
    std::u16string path = runtime::ExecutablePath();
    auto slash = path.find_last_of(u"\\/");
    return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
}

std::u16string RundllTargetPath() {
    std::array<char16_t, 300> buffer{};
#ifdef _WIN64
    // The product is a 32-bit process, which 64-bit Windows sends to the
    // 32-bit system folder; the 64-bit test build must replace that same
    // file, never the 64-bit system's own rundll32.
    os::UINT n = os::GetSystemWow64DirectoryW(buffer.data(), static_cast<os::UINT>(buffer.size()));
#else
    os::UINT n = os::GetSystemDirectoryW(buffer.data(), static_cast<os::UINT>(buffer.size()));
#endif
    if (n == 0 || n >= buffer.size()) return u"\\rundll32.exe";
    return std::u16string(buffer.data(), n) + u"\\rundll32.exe";
}

std::u16string RundllCopyCommand(const std::u16string& source, const std::u16string& target) {
    return u"cmd /c \"copy /y \"" + source + u"\" " + target + u"\"";
}

namespace {

std::uint32_t ReadLE(const unsigned char* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

}  // namespace

bool IsI386ExecutableImage(const std::u16string& path) {
    std::array<unsigned char, 4096> head{};
    os::DWORD got = 0;
    {
        platform::FileHandle file(os::CreateFileW(path.c_str(), os::GENERIC_READ, os::FILE_SHARE_READ, nullptr,
                                                  os::OPEN_EXISTING, os::FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        // Real images keep their headers within the first page; a header
        // placed further out is treated as a damaged file.
        if (!os::ReadFile(file.get(), head.data(), static_cast<os::DWORD>(head.size()), &got, nullptr)) return false;
    }
    if ( got < 64 || head[0] != 'M' || head[1] != 'Z') return false;
    std::uint32_t pe = ReadLE(head.data() + 0x3C, 4);
    if (pe < 64 || pe > got - 6) return false;
    return std::memcmp(head.data() + pe, "PE\0\0", 4) == 0 && ReadLE(head.data() + pe + 4, 2) == 0x014C;
}

void RestoreRundll32() {
    TRundllVersion version = CurrentRundllVersion();
    if (version == TRundllVersion::None) return;
    std::u16string source = ProgramFolder() + RundllSourceName(version);
    std::u16string target = RundllTargetPath();
    if (!IsI386ExecutableImage(source)) return;
    if (version == TRundllVersion::WindowsXP) {
        os::CopyFileW(source.c_str(), target.c_str(), 0);
    } else {
        std::string command = scan::TAnsiText(RundllCopyCommand(source, target)).Bytes();
        os::WinExec(command.c_str(), os::SW_HIDE);
    }
}

}  // namespace app
