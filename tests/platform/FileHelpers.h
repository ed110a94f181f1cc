// Small file helpers over the seam for the conformance tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/os/WinApi.h"

namespace platformtest {

inline void WriteText(const std::u16string& path, std::string_view content) {
    auto h = os::CreateFileW(path.c_str(), os::GENERIC_WRITE, 0, nullptr, os::CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, os::INVALID_HANDLE_VALUE) << "error " << os::GetLastError();
    os::DWORD written = 0;
    EXPECT_TRUE(os::WriteFile(h, content.data(), static_cast<os::DWORD>(content.size()), &written, nullptr));
    EXPECT_EQ(written, content.size());
    os::CloseHandle(h);
}

inline std::string ReadText(const std::u16string& path) {
    auto h = os::CreateFileW(path.c_str(), os::GENERIC_READ, os::FILE_SHARE_READ | os::FILE_SHARE_WRITE, nullptr,
                             os::OPEN_EXISTING, 0, nullptr);
    if (h == os::INVALID_HANDLE_VALUE) return "<cannot open: " + std::to_string(os::GetLastError()) + ">";
    std::string out;
    char buffer[4096];
    os::DWORD n = 0;
    while (os::ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0) out.append(buffer, n);
    os::CloseHandle(h);
    return out;
}

inline std::vector<os::WIN32_FIND_DATAW> ListData(const std::u16string& pattern) {
    std::vector<os::WIN32_FIND_DATAW> entries;
    os::WIN32_FIND_DATAW data{};
    auto find = os::FindFirstFileW(pattern.c_str(), &data);
    if (find == os::INVALID_HANDLE_VALUE) return entries;
    do entries.push_back(data);
    while (os::FindNextFileW(find, &data));
    EXPECT_EQ(os::GetLastError(), os::ERROR_NO_MORE_FILES);
    os::FindClose(find);
    return entries;
}

inline std::vector<std::u16string> List(const std::u16string& pattern) {
    std::vector<std::u16string> names;
    for (const auto& entry : ListData(pattern)) names.emplace_back(entry.cFileName);
    return names;
}

inline bool Exists(const std::u16string& path) {
    return os::GetFileAttributesW(path.c_str()) != os::INVALID_FILE_ATTRIBUTES;
}

}  // namespace platformtest
