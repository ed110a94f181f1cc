#include "TestDrive.h"

#include <hivex.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

namespace offline_test {
namespace {

void Check(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error("test drive: " + what);
}

std::u16string Utf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string Sz(const std::string& text) {
    std::u16string wide = Utf16(text);
    wide.push_back(0);
    return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
}

struct THiveWriter {
    hive_h* h;
    explicit THiveWriter(const fs::path& file) : h(hivex_open(file.c_str(), HIVEX_OPEN_WRITE)) {
        Check(h != nullptr, "cannot open " + file.string());
    }
    ~THiveWriter() { hivex_close(h); }
    hive_node_h Key(const std::string& path) {
        hive_node_h node = hivex_root(h);
        std::size_t from = 0;
        while (from <= path.size()) {
            std::size_t slash = path.find('\\', from);
            std::string name = path.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
            hive_node_h child = hivex_node_get_child(h, node, name.c_str());
            if (!child) child = hivex_node_add_child(h, node, name.c_str());
            Check(child != 0, "cannot add " + path);
            node = child;
            if (slash == std::string::npos) break;
            from = slash + 1;
        }
        return node;
    }
    void Set(const std::string& key, const std::string& name, hive_type type, const std::string& bytes) {
        hive_set_value v{const_cast<char*>(name.c_str()), type, bytes.size(), const_cast<char*>(bytes.data())};
        Check(hivex_node_set_value(h, Key(key), &v, 0) == 0, "cannot set " + key + "\\" + name);
    }
    void Commit(const fs::path& file) { Check(hivex_commit(h, file.c_str(), 0) == 0, "cannot write " + file.string()); }
};

void Touch(const fs::path& file) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << "x";
}

std::string Hex(const unsigned char* p, std::size_t n) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

std::uint32_t Le32(const std::string& b, std::size_t at) {
    if (at + 4 > b.size()) return 0xFFFFFFFF;
    const auto* p = reinterpret_cast<const unsigned char*>(b.data() + at);
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

}  // namespace

fs::path SharedHives() {
    const char* from = std::getenv("TALLOWMEND_HIVES");
    return from ? fs::path(from) : fs::path(TALLOWMEND_SHARED_HIVES);
}

void Decompress(const std::string& name, const fs::path& to) {
    fs::create_directories(to.parent_path());
    std::string command = "xz -dc '" + (SharedHives() / (name + ".xz")).string() + "' > '" + to.string() + "'";
    Check(std::system(command.c_str()) == 0, "cannot decompress " + name);
}

TTempDir::TTempDir() {
    std::string pattern = (fs::temp_directory_path() / "tallowmend-offline-test-XXXXXX").string();
    Check(::mkdtemp(pattern.data()) != nullptr, "no temporary folder");
    path = pattern;
}

TTempDir::~TTempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
}

TTestDrive::TTestDrive(const TDriveLayout& layout) {
    // Removed with the drive, or here when building it fails half way.
    TTempDir made;
    root_ = made.path;
    bool win = layout.spelling == Spelling::Windows;
    config_ = root_ / (win ? "Windows/System32/config" : "WINDOWS/system32/CONFIG");
    names_ = {{"SOFTWARE", win ? "SOFTWARE" : "software"}, {"SYSTEM", win ? "SYSTEM" : "System"},
              {"DEFAULT", win ? "DEFAULT" : "default"}};
    alice_ = root_ / (win ? "Users/Alice" : "users/alice");
    fs::create_directories(root_ / (win ? "Windows/SysWOW64" : "windows/syswow64"));

    Decompress("SYSTEM", System());
    Decompress("NTUSER.DAT", config_ / names_["DEFAULT"]);
    Decompress("NTUSER.DAT", UserHive());
    Decompress("UsrClass.dat", ClassesHive());
    // The shared copy was taken from a running system in the middle of a
    // write (its sequence numbers differ); a drive to repair has clean hives.
    SetSequences(ClassesHive(), 256, 256);

    // The shared data holds no SOFTWARE hive; the Software tree saved from a
    // user hive stands in, given what Windows keeps there about itself.
    fs::path partial = root_ / "partial";
    Decompress("ntuser_software_partial", partial);
    {
        THiveWriter w(partial);
        const std::string nt = "Microsoft\\Windows NT\\CurrentVersion";
        w.Set(nt, "CurrentVersion", hive_t_REG_SZ, Sz("6.1"));
        w.Set(nt, "CurrentBuildNumber", hive_t_REG_SZ, Sz("7601"));
        w.Set(nt, "CSDVersion", hive_t_REG_SZ, Sz("Service Pack 1"));
        w.Set(nt, "SystemRoot", hive_t_REG_SZ, Sz("C:\\Windows"));
        w.Set(nt + "\\ProfileList", "ProgramData", hive_t_REG_EXPAND_SZ, Sz("%SystemDrive%\\ProgramData"));
        w.Set(nt + "\\ProfileList\\S-1-5-18", "ProfileImagePath", hive_t_REG_EXPAND_SZ,
              Sz("%systemroot%\\system32\\config\\systemprofile"));
        w.Set(nt + "\\ProfileList\\S-1-5-21-111-222-333-1001", "ProfileImagePath", hive_t_REG_EXPAND_SZ,
              Sz("%SystemDrive%\\Users\\Alice"));
        if (layout.secondUser)
            w.Set(nt + "\\ProfileList\\S-1-5-21-111-222-333-1002", "ProfileImagePath", hive_t_REG_EXPAND_SZ,
                  Sz("C:\\Users\\Bob"));
        const std::string cv = "Microsoft\\Windows\\CurrentVersion";
        w.Set(cv, "ProgramFilesDir", hive_t_REG_SZ, Sz("C:\\Program Files"));
        w.Set(cv, "ProgramFilesDir (x86)", hive_t_REG_SZ, Sz("C:\\Program Files (x86)"));
        // One start-up entry whose program is there, one whose program is gone.
        w.Set(cv + "\\Run", "TestPresent", hive_t_REG_SZ, Sz("C:\\Program Files\\Present\\app.exe"));
        w.Set(cv + "\\Run", "TestGone", hive_t_REG_SZ, Sz("C:\\Program Files\\Gone\\gone.exe"));
        if (layout.userFileType) {
            const std::string type = std::string("Classes\\") + kUserFileType;
            w.Set(type + "\\DefaultIcon", "", hive_t_REG_SZ, Sz("C:\\Program Files\\Present\\app.exe,0"));
            w.Set(type + "\\shell\\open\\command", "", hive_t_REG_SZ, Sz("\"C:\\Program Files\\Present\\app.exe\" \"%1\""));
        }
        w.Commit(Software());
    }
    if (layout.userFileType) {
        THiveWriter w(ClassesHive());
        w.Set(std::string(kUserFileType) + "\\DefaultIcon", "", hive_t_REG_SZ, Sz("C:\\Program Files\\GoneType\\type.ico"));
        w.Commit(ClassesHive());
    }
    fs::remove(partial);
    Touch(root_ / (win ? "Program Files/Present/app.exe" : "PROGRAM FILES/present/APP.EXE"));
    if (layout.secondUser && layout.bobHive) Decompress("NTUSER_with_winscp.DAT", root_ / (win ? "Users/Bob" : "users/BOB") / "NTUSER.DAT");
    if (layout.secondUser && !layout.bobHive) fs::create_directories(root_ / (win ? "Users/Bob" : "users/BOB"));
    made.path.clear();
}

TTestDrive::~TTestDrive() {
    std::error_code ec;
    fs::remove_all(root_, ec);
}

fs::path TTestDrive::ClassesHive() const {
    bool win = names_.at("SOFTWARE") == "SOFTWARE";
    return alice_ / (win ? "AppData/Local/Microsoft/Windows/UsrClass.dat" : "appdata/local/microsoft/WINDOWS/usrclass.DAT");
}

std::vector<fs::path> TTestDrive::Hives() const {
    return {Software(), System(), config_ / names_.at("DEFAULT"), UserHive(), ClassesHive()};
}

std::map<std::string, std::string> DumpHive(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    hive_h* h = hivex_open(file.c_str(), 0);
    Check(h != nullptr, "cannot read " + file.string());
    std::map<std::string, std::string> out;
    // Node handles are the file offsets of their cells; class names and
    // security cells are named relative to the first bin (0x1000).
    auto walk = [&](auto&& self, hive_node_h node, const std::string& path) -> void {
        std::uint32_t sk = Le32(raw, node + 48), cls = Le32(raw, node + 52);
        std::size_t classLength = node + 80 <= raw.size()
                                      ? std::size_t(static_cast<unsigned char>(raw[node + 78])) |
                                            std::size_t(static_cast<unsigned char>(raw[node + 79])) << 8
                                      : 0;
        std::string security = "-", className = "-";
        if (sk != 0xFFFFFFFF && 0x1000 + sk + 28 <= raw.size()) {
            std::uint32_t length = Le32(raw, 0x1000 + sk + 20);
            if (0x1000 + sk + 24 + length <= raw.size())
                security = Hex(reinterpret_cast<const unsigned char*>(raw.data()) + 0x1000 + sk + 24, length);
        }
        if (cls != 0xFFFFFFFF && classLength && 0x1000 + cls + 4 + classLength <= raw.size())
            className = Hex(reinterpret_cast<const unsigned char*>(raw.data()) + 0x1000 + cls + 4, classLength);
        out["K " + path] = "class=" + className + " sd=" + security;
        hive_value_h* values = hivex_node_values(h, node);
        for (hive_value_h* v = values; v && *v; ++v) {
            char* name = hivex_value_key(h, *v);
            hive_type type{};
            std::size_t length = 0;
            char* data = hivex_value_value(h, *v, &type, &length);
            out["V " + path + " : " + name] =
                std::to_string(type) + " " + Hex(reinterpret_cast<const unsigned char*>(data), length);
            std::free(name);
            std::free(data);
        }
        std::free(values);
        hive_node_h* children = hivex_node_children(h, node);
        for (hive_node_h* c = children; c && *c; ++c) {
            char* name = hivex_node_name(h, *c);
            std::string upper = name;
            for (auto& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            self(self, *c, path + "\\" + upper);
            std::free(name);
        }
        std::free(children);
    };
    walk(walk, hivex_root(h), "");
    hivex_close(h);
    return out;
}

void SetSequences(const fs::path& hive, std::uint32_t primary, std::uint32_t secondary) {
    std::fstream io(hive, std::ios::binary | std::ios::in | std::ios::out);
    unsigned char block[512];
    Check(static_cast<bool>(io.read(reinterpret_cast<char*>(block), sizeof block)), "cannot read " + hive.string());
    auto put = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) block[at + i] = static_cast<unsigned char>(v >> (8 * i));
    };
    put(4, primary);
    put(8, secondary);
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < 0x1FC; at += 4)
        sum ^= std::uint32_t(block[at]) | std::uint32_t(block[at + 1]) << 8 | std::uint32_t(block[at + 2]) << 16 |
               std::uint32_t(block[at + 3]) << 24;
    put(0x1FC, sum);
    io.seekp(0);
    Check(static_cast<bool>(io.write(reinterpret_cast<const char*>(block), sizeof block)), "cannot write " + hive.string());
}

TCounts CountHive(const fs::path& file) {
    hive_h* h = hivex_open(file.c_str(), 0);
    Check(h != nullptr, "cannot read " + file.string());
    TCounts counts;
    auto walk = [&](auto&& self, hive_node_h node) -> void {
        ++counts.keys;
        counts.values += hivex_node_nr_values(h, node);
        hive_node_h* children = hivex_node_children(h, node);
        for (hive_node_h* c = children; c && *c; ++c) self(self, *c);
        std::free(children);
    };
    walk(walk, hivex_root(h));
    hivex_close(h);
    return counts;
}

}  // namespace offline_test
