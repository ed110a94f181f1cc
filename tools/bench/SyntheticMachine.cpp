#include "SyntheticMachine.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>

#include "platform/Handle.h"
#include "platform/Text.h"
#include "platform/emul/Machine.h"
#include "platform/os/WinApi.h"

namespace bench {
namespace {

// Shares of the key budget, in percent. The vendor trees dominate, as they
// do on a machine with years of software on it.
constexpr std::size_t kVendorMachine64 = 20, kVendorMachine32 = 16, kVendorUser = 16, kVendorOtherUser = 10;
constexpr std::size_t kClassesNative = 8, kClassesWow = 6;
constexpr std::size_t kFileTypes = 12;
constexpr std::size_t kTypeLibs = 4;
constexpr std::size_t kUninstall = 3;
constexpr std::size_t kFileExts = 2;
constexpr std::size_t kInstaller = 2;

constexpr std::size_t kProductsPerVendor = 25;
constexpr std::size_t kProductsPerFolder = 10;
constexpr const char* kFileNames[] = {"app.exe", "core.dll", "plugin.dll", "data.dat"};
enum FileKind { kApp, kCore, kPlugin, kData };

constexpr const char16_t* kOtherUserSid = u"S-1-5-21-0-0-0-1001";
constexpr const char16_t* kUninstallKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr const char16_t* kUninstallKeyWow = u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::u16string Format(const char* format, std::size_t a, std::size_t b = 0) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, format, a, b);
    return text::FromAscii(buffer);
}

std::u16string Guid(std::size_t i, std::size_t family) {
    return Format("{%08zX-5EED-4000-8000-%012zX}", family, i);
}

// Every path a value names. One in twenty is gone: its folder was never
// laid out.
class Paths {
public:
    explicit Paths(std::size_t folders) : folders_(folders) {}

    std::u16string File(FileKind kind, std::size_t seed) {
        if (NextIsDead()) return Format("D:\\Apps\\Removed%05zu\\", seed % 100000) + text::FromAscii(kFileNames[kind]);
        return FolderOf(seed) + u"\\" + text::FromAscii(kFileNames[kind]);
    }
    std::u16string Folder(std::size_t seed) {
        if (NextIsDead()) return Format("D:\\Apps\\Removed%05zu", seed % 100000);
        return FolderOf(seed);
    }
    // An existing file, for lists whose names must be unique: `index` below
    // LiveFileCount() names each file once.
    std::u16string LiveFile(std::size_t index) const {
        return FolderOf(index / 4) + u"\\" + text::FromAscii(kFileNames[index % 4]);
    }
    std::u16string DeadFile(std::size_t index) const { return Format("D:\\Apps\\Removed%05zu\\gone%zu.dll", index, index); }

    std::size_t LiveFileCount() const { return folders_ * kProductsPerFolder * 4; }
    std::size_t VendorFolders() const { return folders_; }
    std::size_t Named() const { return named_; }
    std::size_t Dead() const { return dead_; }
    // Lists that name unique files count theirs here.
    void Count(bool dead) {
        ++named_;
        if (dead) ++dead_;
    }

private:
    bool NextIsDead() {
        ++named_;
        // Scrambled, so that no kind of entry always lands on (or off) the
        // dead twentieth however many paths each entry names.
        std::uint64_t mixed = named_ * 0x9E3779B97F4A7C15ull;
        bool dead = (mixed >> 40) % 20 == 0;
        if (dead) ++dead_;
        return dead;
    }
    std::u16string FolderOf(std::size_t seed) const {
        std::size_t folder = seed % (folders_ * kProductsPerFolder);
        return Format("D:\\Apps\\Vendor%03zu\\Product%zu", folder / kProductsPerFolder, folder % kProductsPerFolder);
    }

    std::size_t folders_;
    std::size_t named_ = 0;
    std::size_t dead_ = 0;
};

// Writes through the seam as a 64-bit program would, so raw paths
// ("SOFTWARE\Wow6432Node\...") name exactly the keys they spell.
class Writer {
public:
    void Key(os::HKEY root, const std::u16string& path) {
        if (os::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, os::KEY_ALL_ACCESS | os::KEY_WOW64_64KEY, nullptr,
                                key_.put(), nullptr) != os::ERROR_SUCCESS) {
            key_.release();
            throw std::runtime_error("cannot create " + text::ToUtf8(path));
        }
    }
    void Sz(const char16_t* name, const std::u16string& data, os::DWORD type = os::REG_SZ) {
        Set(name, type, data.c_str(), (data.size() + 1) * sizeof(char16_t));
    }
    void Dword(const char16_t* name, os::DWORD data) { Set(name, os::REG_DWORD, &data, sizeof data); }
    void Binary(const char16_t* name, std::size_t bytes) {
        static const os::BYTE kBytes[16] = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0};
        Set(name, os::REG_BINARY, kBytes, std::min(bytes, sizeof kBytes));
    }

private:
    void Set(const char16_t* name, os::DWORD type, const void* data, std::size_t bytes) {
        if (os::RegSetValueExW(key_.get(), name, 0, type, static_cast<const os::BYTE*>(data),
                               static_cast<os::DWORD>(bytes)) != os::ERROR_SUCCESS)
            throw std::runtime_error("cannot set a value");
    }

    platform::KeyHandle key_;
};

void LayOutFiles(const std::filesystem::path& drive, const Paths& paths) {
    for (std::size_t v = 0; v < paths.VendorFolders(); ++v) {
        char vendor[32];
        std::snprintf(vendor, sizeof vendor, "Vendor%03zu", v);
        for (std::size_t p = 0; p < kProductsPerFolder; ++p) {
            auto folder = drive / "Apps" / vendor / ("Product" + std::to_string(p));
            std::filesystem::create_directories(folder);
            for (const char* name : kFileNames) std::ofstream(folder / name) << "x";
        }
    }
}

class Builder {
public:
    Builder(std::size_t keys, std::size_t folders) : keys_(keys), paths_(folders) {}

    void Build() {
        VendorTrees(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\", Share(kVendorMachine64), 0);
        VendorTrees(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\", Share(kVendorMachine32), 1);
        VendorTrees(os::HKEY_CURRENT_USER, u"Software\\", Share(kVendorUser), 2);
        VendorTrees(os::HKEY_USERS, std::u16string(kOtherUserSid) + u"\\Software\\", Share(kVendorOtherUser), 3);
        classesNative_ = Classes(u"SOFTWARE\\Classes\\CLSID\\", Share(kClassesNative), 1);
        // Where Windows 7 keeps the classes of the 32-bit view.
        Classes(u"SOFTWARE\\Classes\\Wow6432Node\\CLSID\\", Share(kClassesWow), 2);
        FileTypes(Share(kFileTypes));
        TypeLibs(Share(kTypeLibs));
        Uninstall(kUninstallKey, Share(kUninstall) * 2 / 3);
        Uninstall(kUninstallKeyWow, Share(kUninstall) / 3);
        FileExts(Share(kFileExts));
        InstallerProducts(Share(kInstaller));
        FlatLists();
    }

    const Paths& paths() const { return paths_; }

private:
    std::size_t Share(std::size_t percent) const { return keys_ * percent / 100; }

    // Vendor\Product with Settings and two plugins: five keys and nineteen
    // values a product; every fortieth keeps an empty leftover subtree.
    void VendorTrees(os::HKEY root, const std::u16string& software, std::size_t keys, std::size_t hive) {
        std::size_t made = 0;
        for (std::size_t n = 0; made < keys; ++n) {
            std::size_t vendor = n / kProductsPerVendor;
            std::u16string base = software + Format("Vendor%05zu-%zu", vendor, hive) +
                                  Format("\\Product %03zu", n % kProductsPerVendor);
            std::size_t seed = n * 7 + hive;
            w_.Key(root, base);
            w_.Sz(u"", Format("Product %zu of vendor %zu", n, vendor));
            w_.Sz(u"InstallDir", paths_.Folder(seed));
            w_.Sz(u"Version", Format("2.%zu.%zu", n % 10, n % 1000));
            w_.Dword(u"Flags", static_cast<os::DWORD>(n));
            w_.Dword(u"Language", 1033);
            if (n % 4 == 0)
                w_.Sz(u"Executable", u"\"" + paths_.File(kApp, seed) + u"\" /background");
            else
                w_.Sz(u"Executable", paths_.File(kApp, seed));
            w_.Sz(u"Publisher", Format("Vendor %zu Ltd.", vendor));
            w_.Key(root, base + u"\\Settings");
            w_.Sz(u"DataFile", paths_.File(kData, seed));
            w_.Binary(u"LastRun", 8);
            w_.Sz(u"Mode", u"normal");
            w_.Dword(u"Count", static_cast<os::DWORD>(n % 97));
            w_.Sz(u"Window", u"0,0,800,600");
            w_.Sz(u"Theme", u"classic");
            w_.Key(root, base + u"\\Plugins");
            for (int p = 0; p < 2; ++p) {
                w_.Key(root, base + Format("\\Plugins\\Plugin%zu", static_cast<std::size_t>(p)));
                w_.Sz(u"Module", paths_.File(kPlugin, seed + static_cast<std::size_t>(p)));
                w_.Dword(u"Enabled", 1);
                w_.Sz(u"Name", Format("Plugin %zu", static_cast<std::size_t>(p)));
            }
            made += 5 + (n % kProductsPerVendor == 0 ? 1 : 0);
            if (n % 40 == 39) {
                w_.Key(root, base + u"\\Obsolete\\Cache");
                made += 2;
            }
        }
    }

    // A class with its in-process server and program identifier: three keys.
    std::size_t Classes(const std::u16string& clsidKey, std::size_t keys, std::size_t family) {
        std::size_t count = keys / 3;
        for (std::size_t i = 0; i < count; ++i) {
            std::u16string base = clsidKey + Guid(i, family);
            w_.Key(os::HKEY_LOCAL_MACHINE, base);
            w_.Sz(u"", Format("Synthetic class %zu", i));
            w_.Key(os::HKEY_LOCAL_MACHINE, base + u"\\InprocServer32");
            w_.Sz(u"", paths_.File(kCore, i * 3 + family));
            w_.Sz(u"ThreadingModel", u"Apartment");
            w_.Key(os::HKEY_LOCAL_MACHINE, base + u"\\ProgID");
            w_.Sz(u"", Format("Synthetic.Class.%zu", i));
        }
        return count;
    }

    // An extension and its type with icon and open command: six keys.
    void FileTypes(std::size_t keys) {
        for (std::size_t i = 0; i < keys / 6; ++i) {
            std::u16string type = Format("synthfile.%05zu", i);
            w_.Key(os::HKEY_LOCAL_MACHINE, Format("SOFTWARE\\Classes\\.x%05zu", i));
            w_.Sz(u"", type);
            w_.Sz(u"Content Type", u"application/x-synthetic");
            w_.Sz(u"PerceivedType", u"document");
            w_.Key(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\" + type);
            w_.Sz(u"", u"Synthetic file");
            w_.Sz(u"FriendlyTypeName", u"Synthetic");
            w_.Key(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\" + type + u"\\DefaultIcon");
            w_.Sz(u"", paths_.File(kApp, i) + u",0");
            w_.Key(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\" + type + u"\\shell\\open");
            w_.Sz(u"", u"&Open");
            w_.Key(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\" + type + u"\\shell\\open\\command");
            w_.Sz(u"", u"\"" + paths_.File(kApp, i) + u"\" \"%1\"");
        }
    }

    // A library version with its help folder and file: five keys.
    void TypeLibs(std::size_t keys) {
        for (std::size_t i = 0; i < keys / 5; ++i) {
            std::u16string base = u"SOFTWARE\\Classes\\TypeLib\\" + Guid(i, 7) + u"\\1.0";
            w_.Key(os::HKEY_LOCAL_MACHINE, base);
            w_.Sz(u"", Format("Synthetic type library %zu", i));
            w_.Key(os::HKEY_LOCAL_MACHINE, base + u"\\HELPDIR");
            w_.Sz(u"", paths_.Folder(i));
            w_.Key(os::HKEY_LOCAL_MACHINE, base + u"\\0\\win32");
            w_.Sz(u"", paths_.File(kCore, i));
        }
    }

    void Uninstall(const std::u16string& key, std::size_t keys) {
        for (std::size_t i = 0; i < keys; ++i) {
            w_.Key(os::HKEY_LOCAL_MACHINE, key + Format("Synthetic%06zu", i));
            w_.Sz(u"DisplayName", Format("Synthetic program %zu", i));
            w_.Sz(u"InstallLocation", paths_.Folder(i * 5));
            w_.Sz(u"UninstallString", u"\"" + paths_.File(kApp, i * 5) + u"\" /uninstall");
            w_.Sz(u"DisplayVersion", u"1.0");
            w_.Dword(u"EstimatedSize", 2048);
            w_.Sz(u"Publisher", u"Synthetic");
        }
    }

    // The shell's per-user settings of an extension: four keys; every
    // thirtieth choice was emptied.
    void FileExts(std::size_t keys) {
        const std::u16string fileExts = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";
        for (std::size_t i = 0; i < keys / 4; ++i) {
            std::u16string base = fileExts + Format(".x%05zu", i);
            w_.Key(os::HKEY_CURRENT_USER, base + u"\\OpenWithList");
            w_.Sz(u"a", u"app.exe");
            w_.Sz(u"MRUList", u"a");
            w_.Key(os::HKEY_CURRENT_USER, base + u"\\OpenWithProgids");
            w_.Binary(Format("synthfile.%05zu", i).c_str(), 0);
            w_.Key(os::HKEY_CURRENT_USER, base + u"\\UserChoice");
            if (i % 30 != 29) w_.Sz(u"Progid", Format("synthfile.%05zu", i));
        }
    }

    void InstallerProducts(std::size_t keys) {
        for (std::size_t i = 0; i < keys / 2; ++i) {
            std::u16string base = u"SOFTWARE\\Classes\\Installer\\Products\\" + Format("%016zX5EED%012zX", i, i);
            w_.Key(os::HKEY_LOCAL_MACHINE, base);
            w_.Sz(u"ProductName", Format("Synthetic product %zu", i));
            w_.Sz(u"PackageCode", Guid(i, 9));
            w_.Dword(u"Language", 1033);
            w_.Key(os::HKEY_LOCAL_MACHINE, base + u"\\SourceList");
            w_.Sz(u"PackageName", u"setup.msi");
            w_.Sz(u"LastUsedSource", paths_.Folder(i * 3));
        }
    }

    // Lists of values in a handful of keys: start-up entries, shared-library
    // counts, help files, fonts, approved extensions, browser add-ons, the
    // shell's name cache and program-use history.
    void FlatLists() {
        const std::size_t scale = std::max<std::size_t>(keys_ / 2000, 4);
        for (const auto& [root, key] : {
                 std::pair{os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"},
                 std::pair{os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"},
                 std::pair{os::HKEY_CURRENT_USER, u"Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
             }) {
            w_.Key(root, key);
            // Unquoted, as many installers write them: a quoted command is
            // never judged.
            for (std::size_t i = 0; i < 30; ++i)
                w_.Sz(Format("Synthetic%zu", i).c_str(), paths_.File(kApp, i) + u" /tray");
        }

        const std::size_t live = paths_.LiveFileCount();
        const std::size_t dead = live / 19;  // one in twenty names of the list
        auto uniquePaths = [&](auto&& each) {
            for (std::size_t i = 0; i < live + dead; ++i) {
                bool gone = i % 20 == 19;
                paths_.Count(gone);
                each(gone ? paths_.DeadFile(i) : paths_.LiveFile(i - i / 20));
            }
        };
        w_.Key(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls");
        uniquePaths([&](const std::u16string& path) { w_.Dword(path.c_str(), 1); });
        w_.Key(os::HKEY_CURRENT_USER, u"Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\Shell\\MuiCache");
        uniquePaths([&](const std::u16string& path) { w_.Sz(path.c_str(), u"Synthetic program"); });
        w_.Key(os::HKEY_CURRENT_USER,
               u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist\\" + Guid(0, 11) + u"\\Count");
        uniquePaths([&](const std::u16string& path) {
            std::u16string rot(path);
            for (auto& c : rot) {
                if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(u'A' + (c - u'A' + 13) % 26);
                else if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(u'a' + (c - u'a' + 13) % 26);
            }
            w_.Binary(rot.c_str(), 16);
        });

        w_.Key(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\Help");
        for (std::size_t i = 0; i < scale; ++i) w_.Sz(Format("synth%05zu.hlp", i).c_str(), paths_.Folder(i));
        w_.Key(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts");
        for (std::size_t i = 0; i < scale; ++i) {
            auto name = Format("Synthetic Font %zu (TrueType)", i);
            if (i % 10 == 0)
                w_.Sz(name.c_str(), paths_.File(kData, i));
            else
                w_.Sz(name.c_str(), Format("synth%zu.ttf", i));
        }

        const std::size_t classes = std::min(scale, classesNative_);
        w_.Key(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved");
        for (std::size_t i = 0; i < classes; ++i) w_.Sz(Guid(i, 1).c_str(), u"Synthetic extension");
        const std::size_t addOns = std::min<std::size_t>(20, classesNative_);
        for (std::size_t i = 0; i < addOns; ++i) {
            w_.Key(os::HKEY_LOCAL_MACHINE,
                   u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\" + Guid(i, 1));
            w_.Sz(u"NoExplorer", u"1");
        }
        w_.Key(os::HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar");
        for (std::size_t i = 0; i < addOns; ++i) w_.Binary(Guid(i, 1).c_str(), 0);
        for (std::size_t i = 0; i < 20; ++i) {
            w_.Key(os::HKEY_CURRENT_USER, Format("Software\\Microsoft\\Internet Explorer\\MenuExt\\Synthetic %zu", i));
            w_.Sz(u"", paths_.File(kPlugin, i));
            w_.Dword(u"Contexts", 1);
        }
        const std::u16string order =
            u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu2\\Programs\\";
        for (std::size_t i = 0; i < 50; ++i) {
            w_.Key(os::HKEY_CURRENT_USER, order + Format("Synthetic Folder %zu", i));
            w_.Binary(u"Order", 16);
        }
    }

    std::size_t keys_;
    Paths paths_;
    Writer w_;
    std::size_t classesNative_ = 0;
};

}  // namespace

MachineFacts BuildSyntheticMachine(const std::filesystem::path& hostFolder, MachineSize size) {
    emul::Reset();
    emul::MapStandardSystemDrive(hostFolder / "c");
    const std::filesystem::path drive = hostFolder / "d";
    std::filesystem::create_directories(drive);
    emul::MapDrive(u'D', drive);

    // Most start-menu order entries name folders that are there.
    char16_t programsFolder[os::MAX_PATH + 1] = {};
    os::SHGetFolderPathW(nullptr, os::CSIDL_PROGRAMS, nullptr, 0, programsFolder);
    const std::filesystem::path programs = emul::HostPath(programsFolder);
    for (std::size_t i = 0; i < 50; ++i)
        if (i % 20 != 19) std::filesystem::create_directories(programs / ("Synthetic Folder " + std::to_string(i)));

    Builder builder(size.keys, std::clamp<std::size_t>(size.keys / 5000, 4, 200));
    LayOutFiles(drive, builder.paths());
    builder.Build();

    MachineFacts facts;
    facts.keys = emul::KeyCount();
    facts.values = emul::ValueCount();
    facts.pathValues = builder.paths().Named();
    facts.deadPaths = builder.paths().Dead();
    facts.files = builder.paths().LiveFileCount();
    return facts;
}

}  // namespace bench
