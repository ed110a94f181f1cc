#include "support/SeamTest.h"

#include <atomic>
#include <filesystem>
#include <string>

#include "platform/RegKey.h"
#include "platform/Text.h"
#ifndef _WIN32
#include <unistd.h>

#include "platform/emul/Machine.h"
#endif

namespace testsupport {
namespace {

std::u16string UniqueName() {
    static std::atomic<unsigned> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "test";
    for (auto& c : name)
        if (c == '/' || c == '\\') c = '_';
    // Process id keeps parallel ctest runs of the same test apart.
    auto pid = static_cast<unsigned long>(os::GetCurrentProcessId());
    return text::FromUtf8(name + "-" + std::to_string(pid) + "-" + std::to_string(counter++));
}

#ifndef _WIN32
std::filesystem::path g_hostDrive;

// ctest starts one process per test, so a drive left behind by each would pile up in /tmp run after run.
struct THostDriveCleanup {
    ~THostDriveCleanup() {
        if (g_hostDrive.empty()) return;
        std::error_code ec;
        std::filesystem::remove_all(g_hostDrive, ec);
    }
} g_hostDriveCleanup;
#endif

}  // namespace

bool OnWine() {
    static const bool wine = [] {
        auto ntdll = os::GetModuleHandleW(u"ntdll.dll");
        return ntdll && os::GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}

bool ProcessIsWow64() {
    auto kernel = os::GetModuleHandleW(u"kernel32.dll");
    auto fn = kernel ? reinterpret_cast<os::IsWow64ProcessFn>(
                         reinterpret_cast<void*>(os::GetProcAddress(kernel, "IsWow64Process"))) : nullptr;
    os::BOOL wow64 = os::FALSE;
    return fn && fn(os::GetCurrentProcess(), &wow64) && wow64;
}

bool Native() {
#ifdef _WIN32
    return false;
#else
    return true;
#endif
}

void DeleteTree(os::HKEY root, const std::u16string& path, os::REGSAM view) {
    platform::DeleteKeyTree(root, path, os::KEY_READ | os::DELETE_ACCESS, platform::DeleteOrder::EveryChild,
                            platform::RegView(view));
}

void RemoveFolderTree(const std::u16string& path) {
    os::WIN32_FIND_DATAW data{};
    auto pattern = path + u"\\*";
    auto find = os::FindFirstFileW(pattern.c_str(), &data);
    if (find != os::INVALID_HANDLE_VALUE) {
        do {
            std::u16string name(data.cFileName);
            if (name == u"." || name == u"..") continue;
            auto child = path + u"\\" + name;
            if (data.dwFileAttributes & os::FILE_ATTRIBUTE_DIRECTORY) {
                RemoveFolderTree(child);
            } else {
                os::SetFileAttributesW(child.c_str(), os::FILE_ATTRIBUTE_NORMAL);
                os::DeleteFileW(child.c_str());
            }
        } while (os::FindNextFileW(find, &data));
        os::FindClose(find);
    }
    os::RemoveDirectoryW(path.c_str());
}

std::u16string AbsentDrive() {
    for (char16_t letter = u'Y'; letter >= u'D'; --letter) {
        const char16_t root[] = {letter, u':', u'\\', 0};
        if (os::GetDriveTypeW(root) == os::DRIVE_NO_ROOT_DIR) return std::u16string(1, letter) + u":";
    }
    return {};
}

#ifndef _WIN32
void CopyIntoDrive(const std::string& hostFolder, const std::u16string& windowsFolder) {
    namespace fs = std::filesystem;
    const fs::path from(hostFolder);
    for (auto it = fs::recursive_directory_iterator(from); it != fs::recursive_directory_iterator(); ++it) {
        auto relative = text::FromUtf8(it->path().lexically_relative(from).string());
        for (auto& c : relative)
            if (c == u'/') c = u'\\';
        const fs::path target = emul::HostPath(windowsFolder + u"\\" + relative);
        ASSERT_FALSE(target.empty()) << text::ToUtf8(relative);
        if (it->is_directory())
            fs::create_directories(target);
        else
            fs::copy_file(it->path(), target, fs::copy_options::overwrite_existing);
    }
}
#endif

void SeamTest::SetUp() {
#ifndef _WIN32
    emul::Reset();
    if (g_hostDrive.empty()) {
        auto base = std::filesystem::temp_directory_path() / ("tallowmend-c-" + std::to_string(::getpid()));
        g_hostDrive = base;
    }
    std::error_code ec;
    std::filesystem::remove_all(g_hostDrive, ec);
    std::filesystem::create_directories(g_hostDrive);
    emul::MapStandardSystemDrive(g_hostDrive);
    emul::SetModuleFileName(u"C:\\Tallowmend\\tallowmend.exe");
#endif
    auto unique = UniqueName();
    scratchKey_ = u"Software\\TallowmendTests\\" + unique;
    machineKey_ = u"SOFTWARE\\TallowmendTests\\" + unique;
    folder_ = u"C:\\tallowmend-tests\\" + unique;

    platform::RegKey key;
    ASSERT_EQ(key.Create(os::HKEY_CURRENT_USER, scratchKey_, os::KEY_ALL_ACCESS, platform::RegView()),
              os::ERROR_SUCCESS);
    os::CreateDirectoryW(u"C:\\tallowmend-tests", nullptr);
    RemoveFolderTree(folder_);
    ASSERT_TRUE(os::CreateDirectoryW(folder_.c_str(), nullptr)) << "cannot create " << text::ToUtf8(folder_);
}

void SeamTest::TearDown() {
    DeleteTree(os::HKEY_CURRENT_USER, scratchKey_, 0);
    DeleteTree(os::HKEY_LOCAL_MACHINE, machineKey_, os::KEY_WOW64_64KEY);
    DeleteTree(os::HKEY_LOCAL_MACHINE, machineKey_, os::KEY_WOW64_32KEY);
    RemoveFolderTree(folder_);
#ifndef _WIN32
    EXPECT_EQ(emul::OpenKeyHandleCount(), 0u) << "a registry key handle was left open";
#endif
}

void WriteFile(const std::u16string& path, const std::string& bytes) {
    os::HANDLE h = os::CreateFileW(path.c_str(), os::GENERIC_WRITE, 0, nullptr, os::CREATE_ALWAYS,
                                   os::FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, os::INVALID_HANDLE_VALUE) << text::ToUtf8(path);
    os::DWORD written = 0;
    os::WriteFile(h, bytes.data(), static_cast<os::DWORD>(bytes.size()), &written, nullptr);
    os::CloseHandle(h);
    ASSERT_EQ(written, bytes.size()) << text::ToUtf8(path);
}

}  // namespace testsupport
