#include "offline/WriteBack.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>

#include "offline/Hive.h"
#include "offline/HiveLoad.h"
#include "platform/Text.h"

namespace fs = std::filesystem;

namespace offline {
namespace {

// Whether a file can be made in the folder, asked of the file system
// itself: a root user passes every permission check, a read-only mount
// still refuses.
std::string ProbeWritable(const fs::path& folder) {
    struct statvfs info {};
    if (::statvfs(folder.c_str(), &info) == 0 && (info.f_flag & ST_RDONLY))
        return folder.string() + ": the drive is mounted read-only";
    fs::path probe = folder / (".tallowmend-probe-" + std::to_string(::getpid()));
    int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return folder.string() + ": cannot write there (" + std::strerror(errno) + ")";
    ::close(fd);
    ::unlink(probe.c_str());
    return {};
}

bool Hibernated(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    char head[4] = {};
    if (!in.read(head, 4)) return false;
    std::string magic(head, 4);
    for (auto& c : magic) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // A clean shutdown leaves the file zeroed; these name a saved system.
    return magic == "hibr" || magic == "wake" || magic == "rstr";
}

void SyncFile(const fs::path& file) {
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

std::string Stamp() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y%m%d-%H%M%S", &tm);
    return buffer;
}

struct TPending {
    const THiveMount* mount;
    fs::path next;  // the new hive beside the original
};

// Removes the new files of an attempt that did not finish.
struct TCleanup {
    std::vector<TPending>* pending;
    bool done = false;
    ~TCleanup() {
        if (done) return;
        std::error_code ec;
        for (const auto& p : *pending) fs::remove(p.next, ec);
    }
};

}  // namespace

fs::path BackupRoot(const fs::path& drive) { return drive / "TallowmendBackup"; }

std::vector<std::string> WriteRefusals(const TOfflineMachine& machine) {
    std::vector<std::string> why;
    for (const auto& m : machine.Mounts()) {
        THiveState state = InspectHive(m.file);
        if (state.sequencesDiffer)
            why.push_back(m.file.string() + ": the hive was not closed cleanly (its base block's sequence numbers " +
                          std::to_string(state.primarySequence) + " and " + std::to_string(state.secondarySequence) +
                          " differ); start that Windows and shut it down normally first");
        else if (!state.newerLog.empty())
            why.push_back(m.file.string() + ": its transaction log " + state.newerLog.filename().string() +
                          " holds changes the hive lacks; start that Windows and shut it down normally first");
    }
    std::string readOnly = ProbeWritable(machine.Mounts().front().file.parent_path());
    if (!readOnly.empty()) why.push_back(readOnly);
    fs::path hiberfil = FindOnDrive(machine.Drive(), u"hiberfil.sys");
    if (!hiberfil.empty() && Hibernated(hiberfil))
        why.push_back(hiberfil.string() +
                      ": Windows on this drive is hibernated or was shut down with fast start-up, and would undo "
                      "the repair when it resumes; shut it down fully (shutdown /s /t 0) first");
    return why;
}

TWriteResult WriteBack(const TOfflineMachine& machine) {
    TWriteResult result;
    std::vector<TPending> pending;
    TCleanup cleanup{&pending};
    std::vector<std::pair<const THiveMount*, std::unique_ptr<THive>>> changed;
    for (const auto& m : machine.Mounts()) {
        auto hive = std::make_unique<THive>(m.file, THive::Mode::Write);
        THiveChanges changes = CompareHive(*hive, m.machine, m.key, m.loaderKeys);
        if (changes.Empty()) continue;
        ApplyChanges(*hive, m.machine, m.key, changes);
        changed.emplace_back(&m, std::move(hive));
    }
    if (changed.empty()) return result;

    fs::path folder = BackupRoot(machine.Drive()) / Stamp();
    for (int n = 2; fs::exists(folder); ++n) folder = BackupRoot(machine.Drive()) / (Stamp() + "-" + std::to_string(n));
    for (auto& [mount, hive] : changed) {
        fs::path copy = folder / fs::relative(mount->file, machine.Drive());
        fs::create_directories(copy.parent_path());
        fs::copy_file(mount->file, copy);
        SyncFile(copy);
        fs::path next = mount->file;
        next += ".tallowmend-new";
        pending.push_back({mount, next});
        hive->CommitTo(next);
        SyncFile(next);
        THive check(next, THive::Mode::Read);  // throws when libhivex cannot read its own output
        check.Root();
    }
    for (const auto& p : pending) {
        fs::rename(p.next, p.mount->file);
        result.written.push_back(p.mount->onDrive);
    }
    SyncFile(machine.Mounts().front().file.parent_path());
    cleanup.done = true;
    result.backupFolder = folder;
    return result;
}

}  // namespace offline
