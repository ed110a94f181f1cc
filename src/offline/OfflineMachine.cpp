#include "offline/OfflineMachine.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>

#include "offline/Hive.h"
#include "offline/HiveLoad.h"
#include "platform/Text.h"
#include "platform/emul/EmulRegistry.h"
#include "platform/emul/Machine.h"
#include "platform/emul/RegistryInternal.h"

namespace fs = std::filesystem;

namespace offline {
namespace {

constexpr std::u16string_view kConfig = u"C:\\Windows\\System32\\config\\";

std::string U8(std::u16string_view s) { return text::ToUtf8(s); }

std::vector<std::u16string> Split(std::u16string_view path) {
    std::vector<std::u16string> names;
    for (auto name : emul::reg::SplitPath(path))
        if (!name.empty()) names.emplace_back(name);
    return names;
}

// UTF-16 text of a string value, without the terminating NULs.
std::u16string AsText(const std::string& bytes) {
    std::u16string out(bytes.size() / 2, u'\0');
    std::memcpy(out.data(), bytes.data(), out.size() * 2);
    while (!out.empty() && out.back() == 0) out.pop_back();
    return out;
}

std::size_t NodeAt(const THive& hive, std::u16string_view path) {
    std::size_t node = hive.Root();
    for (const auto& name : Split(path))
        if (!(node = hive.Child(node, name))) return 0;
    return node;
}

std::optional<std::string> ValueOf(const THive& hive, std::size_t node, std::u16string_view name,
                                   std::uint32_t* type = nullptr) {
    if (!node) return std::nullopt;
    for (std::size_t value : hive.Values(node)) {
        if (!text::EqualNoCase(hive.ValueName(value), name)) continue;
        std::string bytes;
        std::uint32_t t = hive.ValueBytes(value, bytes);
        if (type) *type = t;
        return bytes;
    }
    return std::nullopt;
}

std::u16string TextOf(const THive& hive, std::size_t node, std::u16string_view name) {
    auto bytes = ValueOf(hive, node, name);
    return bytes ? AsText(*bytes) : std::u16string();
}

std::optional<std::uint32_t> DwordOf(const THive& hive, std::size_t node, std::u16string_view name) {
    std::uint32_t type = 0;
    auto bytes = ValueOf(hive, node, name, &type);
    if (!bytes || type != 4 || bytes->size() < 4) return std::nullopt;
    std::uint32_t v;
    std::memcpy(&v, bytes->data(), 4);
    return v;
}

// %NAME% replaced from `vars`; unknown names stay as written, as Windows
// leaves them.
std::u16string Expand(std::u16string_view in, const std::map<std::u16string, std::u16string>& vars) {
    std::u16string out;
    for (std::size_t i = 0; i < in.size();) {
        auto close = in[i] == u'%' ? in.find(u'%', i + 1) : std::u16string_view::npos;
        if (close == std::u16string_view::npos) {
            out += in[i++];
            continue;
        }
        auto it = vars.find(text::UpCase(in.substr(i + 1, close - i - 1)));
        if (it == vars.end()) {
            out += in.substr(i, close - i);
            i = close;
            continue;
        }
        out += it->second;
        i = close + 1;
    }
    return out;
}

// The file's name on drive C:, spelled as the drive holds it.
std::u16string OnDrive(const fs::path& drive, const fs::path& file) {
    std::u16string name = u"C:\\" + text::FromUtf8(fs::relative(file, drive).string());
    std::replace(name.begin(), name.end(), u'/', u'\\');
    return name;
}

std::u16string LastName(std::u16string_view path) {
    auto slash = path.find_last_of(u'\\');
    return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

fs::path FindOnDrive(const fs::path& drive, std::u16string_view windowsPath) {
    if (windowsPath.size() >= 2 && windowsPath[1] == u':') {
        if (text::UpCase(windowsPath[0]) != u'C') return {};
        windowsPath.remove_prefix(2);
    }
    fs::path at = drive;
    std::error_code ec;
    for (const auto& name : Split(windowsPath)) {
        fs::path found;
        auto want = text::UpCase(name);
        for (const auto& entry : fs::directory_iterator(at, ec)) {
            if (text::UpCase(text::FromUtf8(entry.path().filename().string())) == want) {
                found = entry.path();
                break;
            }
        }
        if (found.empty()) return {};
        at = found;
    }
    return at;
}

TOfflineMachine::TOfflineMachine(TOfflineOptions options) : options_(std::move(options)) {
    std::error_code ec;
    if (!fs::is_directory(options_.drive, ec)) throw TOfflineError(options_.drive.string() + ": not a folder");
    emul::Reset();
    FindHives();
    ReadFacts();
    emul::SetArch(facts_.windows64 ? emul::Arch::Windows64 : emul::Arch::Windows32);
    emul::SetVersion(facts_.major, facts_.minor, facts_.build, static_cast<os::BYTE>(facts_.productType),
                     facts_.servicePack);
    emul::SetCurrentUserSid(User().sid);
    LoadHives();
    LinkKeys();
    emul::MapDrive(u'C', options_.drive);
    // A path on a drive nobody handed in is not judged: its files may well
    // be there.
    for (char16_t letter = u'D'; letter <= u'Z'; ++letter) {
        auto other = options_.others.find(letter);
        if (other != options_.others.end())
            emul::MapDrive(letter, other->second);
        else
            emul::SetDriveNotReady(letter, true);
    }
    SetEnvironment();
}

void TOfflineMachine::FindHives() {
    const auto& drive = options_.drive;
    for (const char16_t* name : {u"SOFTWARE", u"SYSTEM", u"DEFAULT"}) {
        std::u16string onDrive = std::u16string(kConfig) + name;
        fs::path file = FindOnDrive(drive, onDrive);
        if (file.empty()) {
            if (FindOnDrive(drive, u"Windows\\System32").empty())
                throw TOfflineError(drive.string() + ": not a Windows system drive (no Windows\\System32 folder)");
            throw TOfflineError((drive / "Windows/System32/config" / U8(name)).string() +
                                ": the registry hive is missing");
        }
        THiveMount mount;
        mount.file = file;
        mount.onDrive = OnDrive(drive, file);
        mount.machine = std::u16string_view(name) != u"DEFAULT";
        mount.key = mount.machine ? name : u".DEFAULT";
        mounts_.push_back(std::move(mount));
    }

    THive software(mounts_[0].file, THive::Mode::Read);
    std::size_t list = NodeAt(software, u"Microsoft\\Windows NT\\CurrentVersion\\ProfileList");
    if (!list) throw TOfflineError(mounts_[0].file.string() + ": holds no list of user profiles (ProfileList)");
    std::map<std::u16string, std::u16string> vars{{u"SYSTEMDRIVE", u"C:"}, {u"SYSTEMROOT", u"C:\\Windows"}};
    for (std::size_t node : software.Children(list)) {
        TProfile profile;
        profile.sid = software.NodeName(node);
        profile.folder = Expand(TextOf(software, node, u"ProfileImagePath"), vars);
        if (profile.folder.empty()) continue;
        profile.name = LastName(profile.folder);
        profile.ordinary = profile.sid.rfind(u"S-1-5-21-", 0) == 0;
        profile.userHive = FindOnDrive(drive, profile.folder + u"\\NTUSER.DAT");
        for (const char16_t* below : {u"\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat",
                                      u"\\Local Settings\\Application Data\\Microsoft\\Windows\\UsrClass.dat"}) {
            if (profile.classesHive.empty()) profile.classesHive = FindOnDrive(drive, profile.folder + below);
        }
        profiles_.push_back(std::move(profile));
    }

    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < profiles_.size(); ++i) {
        const auto& p = profiles_[i];
        if (options_.user ? (text::EqualNoCase(p.name, *options_.user) || text::EqualNoCase(p.sid, *options_.user))
                          : (p.ordinary && !p.userHive.empty()))
            candidates.push_back(i);
    }
    if (candidates.empty()) {
        std::string names;
        for (const auto& p : profiles_)
            if (p.ordinary) names += (names.empty() ? "" : ", ") + U8(p.name);
        if (options_.user)
            throw TOfflineError("no user profile named " + U8(*options_.user) + " on " + drive.string() +
                                (names.empty() ? "" : " (profiles: " + names + ")"));
        throw TOfflineError("no user profile with its hive (NTUSER.DAT) on " + drive.string());
    }
    if (candidates.size() > 1) {
        std::string names;
        for (std::size_t i : candidates) names += "\n  " + U8(profiles_[i].name) + "  (" + U8(profiles_[i].sid) + ")";
        throw TOfflineError("several user profiles on " + drive.string() + "; choose one with --user NAME:" + names);
    }
    user_ = candidates.front();
    if (User().userHive.empty())
        throw TOfflineError((drive / "").string() + U8(User().folder.substr(3)) + "\\NTUSER.DAT" +
                            ": the user's registry hive is missing");

    for (const auto& p : profiles_) {
        if (p.userHive.empty()) continue;
        THiveMount user;
        user.file = p.userHive;
        user.onDrive = OnDrive(drive, p.userHive);
        user.machine = false;
        user.key = p.sid;
        mounts_.push_back(std::move(user));
        if (p.classesHive.empty()) continue;
        THiveMount classes;
        classes.file = p.classesHive;
        classes.onDrive = OnDrive(drive, p.classesHive);
        classes.machine = false;
        classes.key = p.sid + u"_Classes";
        mounts_.push_back(std::move(classes));
    }
}

void TOfflineMachine::ReadFacts() {
    THive software(mounts_[0].file, THive::Mode::Read);
    THive system(mounts_[1].file, THive::Mode::Read);
    std::size_t current = NodeAt(software, u"Microsoft\\Windows NT\\CurrentVersion");
    if (auto major = DwordOf(software, current, u"CurrentMajorVersionNumber")) {
        facts_.major = *major;
        facts_.minor = DwordOf(software, current, u"CurrentMinorVersionNumber").value_or(0);
    } else {
        std::string version = U8(TextOf(software, current, u"CurrentVersion"));
        if (std::sscanf(version.c_str(), "%u.%u", &facts_.major, &facts_.minor) != 2)
            throw TOfflineError(mounts_[0].file.string() + ": names no Windows version (CurrentVersion)");
    }
    std::u16string build = TextOf(software, current, u"CurrentBuildNumber");
    if (build.empty()) build = TextOf(software, current, u"CurrentBuild");
    facts_.build = static_cast<unsigned>(std::strtoul(U8(build).c_str(), nullptr, 10));
    facts_.servicePack = TextOf(software, current, u"CSDVersion");

    auto selected = DwordOf(system, NodeAt(system, u"Select"), u"Current");
    if (!selected) throw TOfflineError(mounts_[1].file.string() + ": names no current control set (Select\\Current)");
    char name[32];
    std::snprintf(name, sizeof name, "ControlSet%03u", *selected);
    controlSet_ = text::FromAscii(name);
    if (!NodeAt(system, controlSet_))
        throw TOfflineError(mounts_[1].file.string() + ": the current control set " + name + " is missing");
    std::u16string type = TextOf(system, NodeAt(system, controlSet_ + u"\\Control\\ProductOptions"), u"ProductType");
    facts_.productType = text::EqualNoCase(type, u"LanmanNT") ? 2 : text::EqualNoCase(type, u"ServerNT") ? 3 : 1;
    facts_.windows64 = NodeAt(software, u"Wow6432Node") != 0 || !FindOnDrive(options_.drive, u"Windows\\SysWOW64").empty();
}

void TOfflineMachine::LoadHives() {
    for (auto& mount : mounts_) {
        THive hive(mount.file, THive::Mode::Read);
        mount.loaderKeys = LoadHive(hive, mount.machine, mount.key).loaderKeys;
    }
}

// What a running Windows adds while it loads the hives: the link to the
// current control set and each user's link to their classes.
void TOfflineMachine::LinkKeys() {
    namespace reg = emul::reg;
    auto& store = reg::TheStore();
    std::unique_lock lock(store.mutex);
    auto link = [&](reg::Node* parent, std::u16string_view name, std::u16string target) {
        // A key of that name in the hive file stays what it is: replacing
        // it would delete it from the file at the next write.
        if (store.Child(parent, name)) return;
        reg::Node* node = store.AddChild(parent, name);
        node->flags |= reg::kLink | reg::kVolatile;
        store.SetValue(node, u"SymbolicLinkValue", os::REG_LINK, reinterpret_cast<const os::BYTE*>(target.data()),
                       target.size() * 2);
    };
    reg::Node* system = store.Child(&store.machine, u"SYSTEM");
    if (reg::Node* stale = store.Child(system, u"CurrentControlSet")) {
        // Laid out by the emulator for an empty machine; a hive file never
        // holds this key.
        bool fromHive = false;
        for (const auto& m : mounts_)
            if (m.key == u"SYSTEM")
                fromHive = std::find(m.loaderKeys.begin(), m.loaderKeys.end(), u"CURRENTCONTROLSET") == m.loaderKeys.end();
        if (!fromHive) store.Remove(stale);
    }
    link(system, u"CurrentControlSet", u"\\REGISTRY\\MACHINE\\SYSTEM\\" + controlSet_);
    for (const auto& p : profiles_) {
        if (p.userHive.empty() || p.classesHive.empty()) continue;
        reg::Node* user = store.Child(&store.users, p.sid);
        reg::Node* software = user ? store.Child(user, u"Software") : nullptr;
        if (software) link(software, u"Classes", u"\\REGISTRY\\USER\\" + p.sid + u"_Classes");
    }
}

void TOfflineMachine::SetEnvironment() {
    THive software(mounts_[0].file, THive::Mode::Read);
    THive system(mounts_[1].file, THive::Mode::Read);
    std::map<std::u16string, std::u16string> vars{{u"SYSTEMDRIVE", u"C:"}};
    std::vector<std::pair<std::u16string, std::u16string>> set;
    auto put = [&](std::u16string name, std::u16string value) {
        vars[text::UpCase(name)] = value;
        set.emplace_back(std::move(name), std::move(value));
    };
    std::size_t nt = NodeAt(software, u"Microsoft\\Windows NT\\CurrentVersion");
    std::u16string root = TextOf(software, nt, u"SystemRoot");
    if (root.empty()) root = u"C:\\Windows";
    put(u"SystemDrive", u"C:");
    put(u"SystemRoot", root);
    put(u"windir", root);

    // The 32-bit process's program folders: on 64-bit Windows the (x86) ones.
    std::size_t cv = NodeAt(software, u"Microsoft\\Windows\\CurrentVersion");
    auto folder = [&](std::u16string_view name, std::u16string fallback) {
        std::u16string v = Expand(TextOf(software, cv, name), vars);
        return v.empty() ? fallback : v;
    };
    std::u16string programs = folder(u"ProgramFilesDir", u"C:\\Program Files");
    std::u16string common = folder(u"CommonFilesDir", programs + u"\\Common Files");
    if (facts_.windows64) {
        std::u16string programs86 = folder(u"ProgramFilesDir (x86)", u"C:\\Program Files (x86)");
        std::u16string common86 = folder(u"CommonFilesDir (x86)", programs86 + u"\\Common Files");
        put(u"ProgramFiles", programs86);
        put(u"ProgramFiles(x86)", programs86);
        put(u"ProgramW6432", programs);
        put(u"CommonProgramFiles", common86);
        put(u"CommonProgramFiles(x86)", common86);
        put(u"CommonProgramW6432", common);
    } else {
        put(u"ProgramFiles", programs);
        put(u"CommonProgramFiles", common);
    }

    std::size_t list = NodeAt(software, u"Microsoft\\Windows NT\\CurrentVersion\\ProfileList");
    std::u16string programData = Expand(TextOf(software, list, u"ProgramData"), vars);
    if (programData.empty()) programData = Expand(TextOf(software, list, u"AllUsersProfile"), vars);
    if (!programData.empty()) {
        put(u"ALLUSERSPROFILE", programData);
        put(u"ProgramData", programData);
    }
    std::u16string publicFolder = Expand(TextOf(software, list, u"Public"), vars);
    if (!publicFolder.empty()) put(u"PUBLIC", publicFolder);

    // The system's own variables, then the user's: later ones win, as in a
    // new process's block.
    std::size_t env = NodeAt(system, controlSet_ + u"\\Control\\Session Manager\\Environment");
    auto copyKey = [&](const THive& hive, std::size_t node) {
        if (!node) return;
        for (std::size_t value : hive.Values(node)) {
            std::string bytes;
            std::uint32_t type = hive.ValueBytes(value, bytes);
            if (type != os::REG_SZ && type != os::REG_EXPAND_SZ) continue;
            std::u16string name = hive.ValueName(value);
            // A 32-bit process is told its own architecture.
            if (text::EqualNoCase(name, u"PROCESSOR_ARCHITECTURE")) continue;
            put(name, type == os::REG_EXPAND_SZ ? Expand(AsText(bytes), vars) : AsText(bytes));
        }
    };
    copyKey(system, env);

    const TProfile& user = User();
    bool xp = facts_.major < 6;
    std::u16string roaming = user.folder + (xp ? u"\\Application Data" : u"\\AppData\\Roaming");
    std::u16string local = user.folder + (xp ? u"\\Local Settings\\Application Data" : u"\\AppData\\Local");
    put(u"USERPROFILE", user.folder);
    put(u"HOMEDRIVE", u"C:");
    put(u"HOMEPATH", user.folder.substr(2));
    put(u"USERNAME", user.name);
    put(u"APPDATA", roaming);
    put(u"LOCALAPPDATA", local);
    put(u"TEMP", local + u"\\Temp");
    put(u"TMP", local + u"\\Temp");
    THive userHive(user.userHive, THive::Mode::Read);
    copyKey(userHive, NodeAt(userHive, u"Environment"));
    for (const auto& [name, value] : set) emul::SetEnv(name, value);

    // The user's shell folders, where the start-up and Start Menu scanners look.
    std::size_t shell = NodeAt(userHive, u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders");
    struct Folder {
        int csidl;
        const char16_t* value;
        std::u16string fallback;
    };
    const Folder folders[] = {
        {0x02, u"Programs", roaming + u"\\Microsoft\\Windows\\Start Menu\\Programs"},
        {0x05, u"Personal", user.folder + u"\\Documents"},
        {0x07, u"Startup", roaming + u"\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"},
        {0x0B, u"Start Menu", roaming + u"\\Microsoft\\Windows\\Start Menu"},
        {0x1A, u"AppData", roaming},
        {0x1C, u"Local AppData", local},
    };
    for (const auto& f : folders) {
        std::u16string path = Expand(TextOf(userHive, shell, f.value), vars);
        emul::SetShellFolder(f.csidl, path.empty() ? f.fallback : path);
    }
    emul::SetShellFolder(0x28, user.folder);
}

std::u16string TOfflineMachine::HiveOf(std::u16string_view root, std::u16string_view key,
                                       std::u16string_view view) const {
    auto names = Split(key);
    auto upper = [](std::u16string_view s) { return text::UpCase(s); };
    bool machine;
    std::u16string first;
    if (root == u"HKEY_LOCAL_MACHINE") {
        machine = true;
        first = names.empty() ? u"" : upper(names[0]);
    } else if (root == u"HKEY_CLASSES_ROOT") {
        // The user's classes hide a machine key of the same name: the key
        // lives where HKEY_CLASSES_ROOT opens it. One that no longer opens
        // (a repair removed it) was the machine's, since the user's hive,
        // that the repair left alone, did not hold it either.
        os::REGSAM sam = view == u"32-bit"                   ? os::KEY_WOW64_32KEY
                         : view == u"64-bit" || view == u"both" ? os::KEY_WOW64_64KEY
                                                                : 0;
        std::u16string place = emul::ClassesKeyName(key, sam);
        auto slash = place.find(u'\\');
        if (slash != std::u16string::npos)
            return HiveOf(std::u16string_view(place).substr(0, slash), std::u16string_view(place).substr(slash + 1));
        machine = true;
        first = u"SOFTWARE";
    } else if (root == u"HKEY_USERS") {
        machine = false;
        first = names.empty() ? u"" : upper(names[0]);
    } else if (root == u"HKEY_CURRENT_USER") {
        machine = false;
        // The user's classes live in a hive of their own, linked in.
        bool classes = names.size() >= 2 && upper(names[0]) == u"SOFTWARE" && upper(names[1]) == u"CLASSES";
        first = upper(User().sid + (classes ? u"_Classes" : u""));
    } else {
        return {};
    }
    if (root == u"HKEY_USERS" && names.size() >= 3 && upper(names[1]) == u"SOFTWARE" && upper(names[2]) == u"CLASSES")
        first += u"_CLASSES";
    // A user without a classes hive keeps the key in their own hive.
    for (const std::u16string& want : {first, first.ends_with(u"_CLASSES") ? first.substr(0, first.size() - 8) : first})
        for (const auto& m : mounts_)
            if (m.machine == machine && upper(m.key) == want) return m.onDrive;
    return {};
}

}  // namespace offline
