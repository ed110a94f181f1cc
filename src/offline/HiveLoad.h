// Moving a hive's keys and values between its file and the emulated
// machine's registry.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "offline/Hive.h"

namespace offline {

struct TLoaded {
    std::size_t keys = 0, values = 0;  // read from the file, its root key counted
    // Keys already in the emulated machine below the mount that the file
    // lacks (upper-cased paths below the mount).
    std::vector<std::u16string> loaderKeys;
};

// Reads the whole hive into HKEY_LOCAL_MACHINE\<key> or HKEY_USERS\<key>,
// beside what is there. Throws THiveError naming the file when a part of it
// cannot be read.
TLoaded LoadHive(const THive& hive, bool machine, std::u16string_view key);

// What the emulated machine holds below a mount that its hive file does
// not, and the reverse. Links and volatile keys belong to no file and are
// left out; so are the loader's own keys.
struct THiveChanges {
    std::vector<std::size_t> deletedKeys;       // hive nodes whose key is gone
    // Hive nodes whose values differ, with their paths below the mount.
    std::vector<std::pair<std::size_t, std::u16string>> changedValues;
    std::vector<std::u16string> addedKeys;      // paths below the mount, parents first
    bool Empty() const { return deletedKeys.empty() && changedValues.empty() && addedKeys.empty(); }
    std::size_t Count() const { return deletedKeys.size() + changedValues.size() + addedKeys.size(); }
};
THiveChanges CompareHive(const THive& hive, bool machine, std::u16string_view key,
                         const std::vector<std::u16string>& loaderKeys);

// Makes the hive (opened for writing) hold what the emulated machine holds
// below the mount; the caller commits it.
void ApplyChanges(THive& hive, bool machine, std::u16string_view key, const THiveChanges& changes);

}  // namespace offline
