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

std::vector<std::string> ShippedFileNames() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(TALLOWMEND_LANG_DIR))
        if (entry.path().extension() == ".lng") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace langtest
