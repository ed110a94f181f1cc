#include "platform/FileIo.h"

#include <algorithm>

#include "platform/Handle.h"

namespace platform {

FileResult ReadWholeFile(const std::u16string& path, std::vector<std::uint8_t>& bytes, std::size_t maxBytes) {
    FileHandle file(os::CreateFileW(path.c_str(), os::GENERIC_READ, os::FILE_SHARE_READ, nullptr, os::OPEN_EXISTING,
                                    os::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return {FileResult::Open, os::GetLastError()};
    std::uint8_t chunk[16 * 1024];
    for (;;) {
        os::DWORD got = 0;
        if (!os::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr))
            return {FileResult::Read, os::GetLastError()};
        if (got == 0) return {};
        if (got > maxBytes || bytes.size() > maxBytes - got) return {FileResult::TooLarge, 0};
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
}

FileResult WriteFileAtomically(const std::u16string& path, const void* bytes, std::size_t size) {
    auto temp = path + u".tmp";
    // The temporary file is deleted only once closed: an open file cannot go.
    auto abandon = [&](FileResult::Step step, os::DWORD error) {
        os::DeleteFileW(temp.c_str());
        return FileResult{step, error};
    };
    {
        FileHandle file(os::CreateFileW(temp.c_str(), os::GENERIC_WRITE, 0, nullptr, os::CREATE_ALWAYS,
                                        os::FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return abandon(FileResult::Open, os::GetLastError());
        auto* data = static_cast<const std::uint8_t*>(bytes);
        for (std::size_t done = 0; done < size;) {
            os::DWORD written = 0;
            auto chunk = static_cast<os::DWORD>(std::min<std::size_t>(size - done, 1u << 20));
            if (!os::WriteFile(file.get(), data + done, chunk, &written, nullptr) || written == 0) {
                auto error = os::GetLastError();
                file.Close();
                return abandon(FileResult::Write, error);
            }
            done += written;
        }
        if (!os::FlushFileBuffers(file.get())) {
            auto error = os::GetLastError();
            file.Close();
            return abandon(FileResult::Write, error);
        }
        // Data the system still held may fail to reach the disk only here.
        if (!file.Close()) return abandon(FileResult::Write, os::GetLastError());
    }
    if (!os::MoveFileExW(temp.c_str(), path.c_str(), os::MOVEFILE_REPLACE_EXISTING | os::MOVEFILE_WRITE_THROUGH))
        return abandon(FileResult::Replace, os::GetLastError());
    return {};
}

}  // namespace platform
