// Entry point of the native build: the same main routine over the emulated
// machine. Host-side options set up that machine and are not passed on:
//   --drive-c DIR     host folder that is drive C: (default: $TALLOWMEND_DRIVE_C,
//                     else ./tallowmend-machine; the standard Windows
//                     folders are added where missing)
//   --registry FILE   .reg file loaded before start (repeatable)
//   --arch 32|64      32-bit Windows, or 64-bit Windows with a WOW64 process
// Everything else (for instance -debug) reaches the program. Arguments are
// taken as UTF-8.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/MainRoutine.h"
#include "platform/Text.h"
#include "platform/emul/Machine.h"

namespace {

std::u16string DecodeRegFile(const std::string& bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string text;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        return text;
    }
    std::string_view view(bytes);
    if (view.size() >= 3 && view.substr(0, 3) == "\xEF\xBB\xBF") view.remove_prefix(3);
    return text::FromUtf8(view);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "tallowmend: %s\n", message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path drive;
    if (const char* env = std::getenv("TALLOWMEND_DRIVE_C")) drive = env;
    std::vector<std::string> registries;
    emul::Arch arch = emul::Arch::Windows64;
    std::vector<std::u16string> args;

    for (int i = 0; i < argc; ++i) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        if (i > 0 && a == "--drive-c" && hasValue) {
            drive = argv[++i];
        } else if (i > 0 && a == "--registry" && hasValue) {
            registries.emplace_back(argv[++i]);
        } else if (i > 0 && a == "--arch" && hasValue) {
            std::string v = argv[++i];
            if (v != "32" && v != "64") return Fail("--arch takes 32 or 64");
            arch = v == "32" ? emul::Arch::Windows32 : emul::Arch::Windows64;
        } else {
            args.push_back(text::FromUtf8(a));
        }
    }
    if (drive.empty()) drive = std::filesystem::current_path() / "tallowmend-machine";

    try {
        emul::Reset();
        emul::SetArch(arch);
        // Idempotent: an existing machine folder keeps its files.
        emul::MapStandardSystemDrive(drive);
        for (const auto& file : registries) {
            std::ifstream in(file, std::ios::binary);
            if (!in) return Fail("cannot read " + file);
            std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            emul::LoadRegText(DecodeRegFile(bytes));
        }
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    return app::MainRoutine(args);
}
