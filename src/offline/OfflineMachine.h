// A Windows system drive seen from Linux: its hive files found and read into
// the emulated machine as that Windows would have them loaded, and the
// registry changes of a run written back into those files.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace offline {

// A drive that cannot be used as asked; the text says why and names the file.
struct TOfflineError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// One hive file and where it sits in the registry.
struct THiveMount {
    std::filesystem::path file;  // on the host
    std::u16string onDrive;      // as Windows names it: C:\Windows\System32\config\SOFTWARE
    bool machine = true;         // below HKEY_LOCAL_MACHINE, else HKEY_USERS
    std::u16string key;          // SOFTWARE, SYSTEM, .DEFAULT, a SID, a SID_Classes
    // Keys the emulated machine holds below the mount that the file does
    // not (laid out by the loader, never written back), upper-cased paths.
    std::vector<std::u16string> loaderKeys;
};

struct TProfile {
    std::u16string sid;
    std::u16string name;    // the profile folder's name
    std::u16string folder;  // C:\Users\Name
    bool ordinary = false;  // a person's account (S-1-5-21-...), not a service's
    std::filesystem::path userHive, classesHive;  // empty when not on the drive
};

struct TOfflineOptions {
    std::filesystem::path drive;                       // mapped as C:
    std::optional<std::u16string> user;                // --user
    std::map<char16_t, std::filesystem::path> others;  // --drive X=DIR
};

struct TWindowsFacts {
    unsigned major = 0, minor = 0, build = 0, productType = 1;
    std::u16string servicePack;
    bool windows64 = false;
};

class TOfflineMachine {
public:
    // Resets the emulated machine and loads it from the drive. Throws
    // TOfflineError (or THiveError) with a message naming the file at fault.
    explicit TOfflineMachine(TOfflineOptions options);

    const std::vector<THiveMount>& Mounts() const { return mounts_; }
    const std::vector<TProfile>& Profiles() const { return profiles_; }
    const TProfile& User() const { return profiles_[user_]; }
    const TWindowsFacts& Facts() const { return facts_; }
    const std::filesystem::path& Drive() const { return options_.drive; }

    // The hive file (as Windows names it) that holds a key the program named
    // by root and path, in the view a report names ("64-bit", "32-bit",
    // "both" or "default"); empty when no loaded hive does.
    std::u16string HiveOf(std::u16string_view root, std::u16string_view key, std::u16string_view view = {}) const;

private:
    void FindHives();
    void ReadFacts();
    void LoadHives();
    void LinkKeys();
    void SetEnvironment();

    TOfflineOptions options_;
    std::vector<THiveMount> mounts_;
    std::vector<TProfile> profiles_;
    std::size_t user_ = 0;
    TWindowsFacts facts_;
    std::u16string controlSet_;
};

// A host path below the drive for a Windows path on drive C:, spelled as the
// host holds it (names compared without case); empty when it is not there.
std::filesystem::path FindOnDrive(const std::filesystem::path& drive, std::u16string_view windowsPath);

}  // namespace offline
