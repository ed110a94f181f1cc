#include "app/entry/OfflineRun.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include <nlohmann/json.hpp>

#include "app/Unattended.h"
#include "offline/Hive.h"
#include "offline/OfflineMachine.h"
#include "offline/WriteBack.h"
#include "platform/Text.h"
#include "platform/emul/Machine.h"

namespace fs = std::filesystem;

namespace entry {
namespace {

std::string U8(std::u16string_view s) { return text::ToUtf8(s); }

fs::path ExecutableFolder() {
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : self.parent_path();
}

// The program's folder for this run: the language files, and room for the
// log and journal. It holds no copy of rundll32, so the fix step puts none
// onto the drive: the copies are of other Windows versions than the one
// there may be.
struct TProgramFolder {
    fs::path path = fs::temp_directory_path() / ("tallowmend-offline-" + std::to_string(::getpid()));
    TProgramFolder() {
        fs::remove_all(path);
        fs::create_directories(path);
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(ExecutableFolder(), ec))
            if (entry.path().extension() == ".lng") fs::copy_file(entry.path(), path / entry.path().filename(), ec);
    }
    ~TProgramFolder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

// Adds the hive file of each finding to the report the run wrote.
bool NameHives(const std::string& file, const offline::TOfflineMachine& machine) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Ordered, so the fields keep the report's own layout.
    auto doc = nlohmann::ordered_json::parse(bytes, nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) return false;
    if (doc.contains("findings") && doc["findings"].is_array()) {
        for (auto& f : doc["findings"]) {
            if (!f.contains("root") || !f["root"].is_string() || !f.contains("key") || !f["key"].is_string()) continue;
            std::u16string view = f.contains("view") && f["view"].is_string()
                                      ? text::FromUtf8(f["view"].get<std::string>())
                                      : std::u16string();
            std::u16string hive = machine.HiveOf(text::FromUtf8(f["root"].get<std::string>()),
                                                 text::FromUtf8(f["key"].get<std::string>()), view);
            f["hive"] = hive.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(U8(hive));
        }
    }
    fs::path next = file + ".new";
    {
        std::ofstream out(next, std::ios::binary | std::ios::trunc);
        out << doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
        if (!out) return false;
    }
    std::error_code ec;
    fs::rename(next, file, ec);
    return !ec;
}

}  // namespace

int RunOffline(const TOfflineRequest& request, std::vector<std::u16string> args, const TRunProgram& run) {
    std::unique_ptr<offline::TOfflineMachine> machine;
    try {
        machine = std::make_unique<offline::TOfflineMachine>(
            offline::TOfflineMachine({request.drive, request.user, request.others}));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tallowmend: %s\n", e.what());
        return app::kExitError;
    }
    emul::SetUILanguage(request.uiLanguage);
    const auto& facts = machine->Facts();
    std::printf("Offline: Windows %u.%u.%u %s on %s, user %s (%s)\n", facts.major, facts.minor, facts.build,
                facts.windows64 ? "x64" : "x86", request.drive.c_str(), U8(machine->User().name).c_str(),
                U8(machine->User().sid).c_str());
    for (const auto& m : machine->Mounts())
        std::printf("  %s%s  %s\n", m.machine ? "HKEY_LOCAL_MACHINE\\" : "HKEY_USERS\\", U8(m.key).c_str(),
                    U8(m.onDrive).c_str());

    auto refusals = offline::WriteRefusals(*machine);
    for (const auto& why : refusals)
        std::fprintf(stderr, "tallowmend: %s%s\n", request.scanOnly ? "" : "cannot repair: ", why.c_str());
    if (!refusals.empty() && !request.scanOnly) {
        std::fprintf(stderr, "tallowmend: nothing was changed on %s\n", request.drive.c_str());
        return app::kExitError;
    }

    TProgramFolder folder;
    emul::MapDrive(u'P', folder.path);
    args[0] = u"P:\\tallowmend.exe";
    emul::SetModuleFileName(args[0]);
    int status = run(args, folder.path);

    if (request.report && !NameHives(*request.report, *machine)) {
        std::fprintf(stderr, "tallowmend: cannot add the hive files to the report %s\n", request.report->c_str());
        status = app::kExitError;
    }
    if (request.scanOnly) return status;
    try {
        auto written = offline::WriteBack(*machine);
        if (written.written.empty()) {
            std::printf("No hive file was changed.\n");
        } else {
            std::printf("Changed hive files (the originals are in %s):\n", written.backupFolder.c_str());
            for (const auto& hive : written.written) std::printf("  %s\n", U8(hive).c_str());
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tallowmend: the repairs were not written, every hive file is as it was: %s\n",
                     e.what());
        return app::kExitError;
    }
    return status;
}

}  // namespace entry
