// Reading and planting journal files through the seam, for the journal and
// finding tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/os/WinApi.h"

namespace journaltest {

inline std::string ReadBytes(const std::u16string& path) {
    std::string bytes;
    auto file = os::CreateFileW(path.c_str(), os::GENERIC_READ, os::FILE_SHARE_READ, nullptr, os::OPEN_EXISTING,
                                os::FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == os::INVALID_HANDLE_VALUE) return bytes;
    char chunk[4096];
    os::DWORD got = 0;
    while (os::ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    os::CloseHandle(file);
    return bytes;
}

inline bool WriteBytes(const std::u16string& path, const std::string& bytes) {
    auto file = os::CreateFileW(path.c_str(), os::GENERIC_WRITE, 0, nullptr, os::CREATE_ALWAYS,
                                os::FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == os::INVALID_HANDLE_VALUE) return false;
    os::DWORD done = 0;
    bool ok = os::WriteFile(file, bytes.data(), static_cast<os::DWORD>(bytes.size()), &done, nullptr);
    os::CloseHandle(file);
    return ok && done == bytes.size();
}

inline bool Exists(const std::u16string& path) {
    return os::GetFileAttributesW(path.c_str()) != os::INVALID_FILE_ATTRIBUTES;
}

}  // namespace journaltest
