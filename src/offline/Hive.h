// A registry hive file read and written through libhivex: one owner for
// the library's handle, and the checks a hive must pass before anything is
// written to it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct hive_h;

namespace offline {

// A hive that cannot be read, written or trusted; the text names the file.
struct THiveError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class THive {
public:
    enum class Mode { Read, Write };
    // Throws THiveError naming the file when libhivex refuses it.
    THive(const std::filesystem::path& file, Mode mode);
    ~THive();
    THive(const THive&) = delete;
    THive& operator=(const THive&) = delete;

    hive_h* get() const { return handle_.get(); }
    const std::filesystem::path& File() const { return file_; }
    std::size_t Root() const;

    // Children and values of a node, in the order the hive keeps them.
    std::vector<std::size_t> Children(std::size_t node) const;
    std::vector<std::size_t> Values(std::size_t node) const;
    std::u16string NodeName(std::size_t node) const;
    std::u16string ValueName(std::size_t value) const;
    // Type and the exact bytes, whatever the type.
    std::uint32_t ValueBytes(std::size_t value, std::string& bytes) const;
    // The child named so (without case), or 0.
    std::size_t Child(std::size_t node, std::u16string_view name) const;

    // Writes the whole hive to `file` (a new file, not the one opened).
    void CommitTo(const std::filesystem::path& file);

private:
    struct Close {
        void operator()(hive_h* h) const;
    };
    std::filesystem::path file_;
    std::unique_ptr<hive_h, Close> handle_;
};

// What the base block and the transaction logs beside a hive say.
struct THiveState {
    bool readable = false;          // a base block ("regf") was there
    std::uint32_t primarySequence = 0, secondarySequence = 0;
    bool sequencesDiffer = false;   // written, but the write did not finish
    std::filesystem::path newerLog; // a .LOG1/.LOG2 holding data the hive lacks
    bool Dirty() const { return sequencesDiffer || !newerLog.empty(); }
};
THiveState InspectHive(const std::filesystem::path& file);

}  // namespace offline
