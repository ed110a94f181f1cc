#include "LanguagesTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/Text.h"

namespace langtest {

std::string ReadShipped(const char* file) {
    std::ifstream in(std::string(TALLOWMEND_LANG_DIR) + "/" + file, std::ios::binary);
    EXPECT_TRUE(in) << file;
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::u16string& path, const std::string& bytes) {
    os::HANDLE h = os::CreateFileW(path.c_str(), os::GENERIC_WRITE, 0, nullptr, os::CREATE_ALWAYS,
                                   os::FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, os::INVALID_HANDLE_VALUE) << text::ToUtf8(path);
    os::DWORD written = 0;
    os::WriteFile(h, bytes.data(), static_cast<os::DWORD>(bytes.size()), &written, nullptr);
    os::CloseHandle(h);
    ASSERT_EQ(written, bytes.size());
}

std::vector<std::string> ShippedFileNames() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(TALLOWMEND_LANG_DIR))
        if (entry.path().extension() == ".lng") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace langtest
