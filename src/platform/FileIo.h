// Whole files through the seam: read one into memory, and replace one so
// that a reader sees either the old bytes or the new, never half of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "platform/os/WinApi.h"

namespace platform {

// Which step of a file operation failed, and the system's error code for it
// (read before the handle was closed, so closing cannot overwrite it).
struct FileResult {
    enum Step { Done, Open, Read, TooLarge, Write, Replace };
    Step step = Done;
    os::DWORD error = 0;
    explicit operator bool() const { return step == Done; }
};

// Reads all of `path` into `bytes`. A file longer than `maxBytes` stops with
// TooLarge. On any failure `bytes` keeps what was read before it.
FileResult ReadWholeFile(const std::u16string& path, std::vector<std::uint8_t>& bytes,
                         std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

// Writes `bytes` to `path` + ".tmp", flushes it to the disk and moves it over
// `path` in one step. On failure the temporary file is deleted and `path` is
// as it was. Open is the step that creates the temporary file.
FileResult WriteFileAtomically(const std::u16string& path, const void* bytes, std::size_t size);

}  // namespace platform
