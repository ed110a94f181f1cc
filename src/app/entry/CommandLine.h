// The native command's options, read into one request. Everything a user
// can get wrong is found here, before the emulated machine is set up: an
// unknown option, an option without its value, a value out of range and a
// combination of modes that does not go together all throw TUsageError.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/emul/Machine.h"
#include "platform/os/WinApi.h"

namespace entry {

struct TUsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct TWindowsVersion {
    os::DWORD Major, Minor, Build;
    std::u16string ServicePack;
};

struct TCommandLine {
    std::vector<std::string> Machines;  // in the order given: later files win
    std::map<char16_t, std::filesystem::path> Drives;
    std::optional<std::string> Save;
    // The wizard: --auto, --details, --undo.
    bool Automatic = false, Details = false, Undo = false;
    // The modes without it.
    bool ScanOnly = false, ListBackups = false;
    std::optional<std::string> Report, Restore;
    bool Debug = false;
    emul::Arch Arch = emul::Arch::Windows64;
    os::LANGID UiLanguage = 1033;
    TWindowsVersion Version{6, 1, 7601, u"Service Pack 1"};
    std::optional<std::filesystem::path> Offline;
    std::optional<std::u16string> User;
    // --windows or --arch was given: an offline drive says what it is itself.
    bool Shaped = false;

    // A mode without the wizard.
    bool Unattended() const { return ScanOnly || ListBackups || Restore || Report; }
};

// `args`: the options, without the program's own name.
TCommandLine ParseCommandLine(const std::vector<std::string>& args);

// What the program itself is started with: `program`, then the switches
// that ask for what the options asked for.
std::vector<std::u16string> ProgramArguments(const TCommandLine& line, const std::u16string& program);

}  // namespace entry
