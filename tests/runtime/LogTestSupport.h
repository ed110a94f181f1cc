// Shared by the logger tests: a fixture whose data folder is the test's
// scratch folder, and file helpers that go through the seam.
#pragma once

#include <string>
#include <vector>

#include "runtime/AppFolders.h"
#include "runtime/Logger.h"
#include "support/SeamTest.h"

namespace apptest {

class LogTest : public testsupport::SeamTest {
protected:
    void SetUp() override {
        SeamTest::SetUp();
        runtime::SetDataFolder(ScratchFolder());
        runtime::InitLogging(u"-debug", {});
    }
    void TearDown() override {
        runtime::InitLogging(u"-debug", {});  // off again for whoever runs next
        SeamTest::TearDown();
    }

    static void TurnOn() { runtime::InitLogging(u"-debug", {u"prog", u"-debug"}); }

    static bool Exists(const std::u16string& path) {
        return os::GetFileAttributesW(path.c_str()) != os::INVALID_FILE_ATTRIBUTES;
    }

    static std::string ReadAll(const std::u16string& path) {
        auto file = os::CreateFileW(path.c_str(), os::GENERIC_READ, os::FILE_SHARE_READ | os::FILE_SHARE_WRITE, nullptr,
                                    os::OPEN_EXISTING, os::FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == os::INVALID_HANDLE_VALUE) return "<missing>";
        std::string data;
        char buffer[4096];
        os::DWORD got = 0;
        while (os::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) data.append(buffer, got);
        os::CloseHandle(file);
        return data;
    }

    static void WriteAll(const std::u16string& path, const std::string& data) {
        auto file = os::CreateFileW(path.c_str(), os::GENERIC_WRITE, 0, nullptr, os::CREATE_ALWAYS,
                                    os::FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, os::INVALID_HANDLE_VALUE);
        os::DWORD written = 0;
        os::WriteFile(file, data.data(), static_cast<os::DWORD>(data.size()), &written, nullptr);
        os::CloseHandle(file);
    }

    static std::vector<std::string> Lines(const std::string& data) {
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (auto end = data.find("\r\n"); end != std::string::npos; end = data.find("\r\n", start)) {
            lines.push_back(data.substr(start, end - start));
            start = end + 2;
        }
        if (start < data.size()) lines.push_back(data.substr(start) + "<no CR LF>");
        return lines;
    }
};

}  // namespace apptest
