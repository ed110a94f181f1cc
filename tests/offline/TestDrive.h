// Windows drives assembled from the shared real hives, for the offline
// tests: a temporary folder laid out as drive C:, and complete dumps of hive
// files read back through libhivex.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace offline_test {

// Folder names as Windows writes them, or in other cases (a drive mounted
// from Linux shows whatever case is on the disk).
enum class Spelling { Windows, Other };
inline void PrintTo(Spelling s, std::ostream* os) { *os << (s == Spelling::Windows ? "Windows' case" : "other case"); }

struct TDriveLayout {
    Spelling spelling = Spelling::Windows;
    bool secondUser = false;   // a second ordinary profile, Bob, with its own hive
    bool bobHive = true;       // Bob's NTUSER.DAT is there
    // A file type both in the machine's classes (its icon there) and in
    // Alice's UsrClass.dat (its icon gone): kUserFileType.
    bool userFileType = false;
};

inline constexpr char kUserFileType[] = "tallowmend.testtype";

class TTestDrive {
public:
    explicit TTestDrive(const TDriveLayout& layout = {});
    ~TTestDrive();
    TTestDrive(const TTestDrive&) = delete;
    TTestDrive& operator=(const TTestDrive&) = delete;

    const std::filesystem::path& Root() const { return root_; }
    // Host path of a file of the drive, as this drive spells it.
    std::filesystem::path Software() const { return config_ / names_.at("SOFTWARE"); }
    std::filesystem::path System() const { return config_ / names_.at("SYSTEM"); }
    std::filesystem::path UserHive() const { return alice_ / "NTUSER.DAT"; }
    std::filesystem::path ClassesHive() const;
    std::filesystem::path Config() const { return config_; }
    // Every hive file of the drive.
    std::vector<std::filesystem::path> Hives() const;

private:
    std::filesystem::path root_, config_, alice_;
    std::map<std::string, std::string> names_;
};

// The shared hive decompressed to `to`; the folder of the shared files.
void Decompress(const std::string& name, const std::filesystem::path& to);
std::filesystem::path SharedHives();

// One line per key (path, class name, security descriptor) and per value
// (path, name, type, bytes), everything in hex where it is not text.
std::map<std::string, std::string> DumpHive(const std::filesystem::path& file);

// Writes the base block's two sequence numbers and its checksum, as a
// write that Windows did not finish leaves them.
void SetSequences(const std::filesystem::path& hive, std::uint32_t primary, std::uint32_t secondary);

// Keys and values libhivex reads from the file (the root key counted).
struct TCounts {
    std::size_t keys = 0, values = 0;
};
TCounts CountHive(const std::filesystem::path& file);

// A fresh scratch folder, removed with the object.
struct TTempDir {
    std::filesystem::path path;
    TTempDir();
    ~TTempDir();
};

}  // namespace offline_test
