// A large, plausible 64-bit Windows 7 machine for the scan benchmark: vendor
// trees under Software in both registry views and in two user hives, COM
// classes, type libraries, file types, uninstall entries, installer
// products and the flat lists the location scanners read. About one path in
// twenty names a file that is gone; the rest name files on drive D:, a host
// folder of the emulated machine.
#pragma once

#include <cstddef>
#include <filesystem>

namespace bench {

struct MachineSize {
    std::size_t keys = 1'000'000;
};

struct MachineFacts {
    std::size_t keys = 0;    // keys in the registry afterwards, standard keys included
    std::size_t values = 0;  // values likewise
    std::size_t pathValues = 0;
    std::size_t deadPaths = 0;
    std::size_t files = 0;  // files laid out on the drive
};

// Resets the emulated machine, maps C: and D: below `hostFolder` (which
// must exist and be empty) and fills the registry.
MachineFacts BuildSyntheticMachine(const std::filesystem::path& hostFolder, MachineSize size);

}  // namespace bench
