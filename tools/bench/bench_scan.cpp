// The whole registry scan, as the wizard runs it on 64-bit Windows (the
// scan manager with its seventeen scanners, two passes), against a bare walk
// of the same synthetic machine through the same seam: every key and value
// enumerated and read, nothing judged. Prints times, their ratio, keys per
// second and memory; judges nothing by time.
//
//   bench_scan [--keys N] [--check] [--per-scanner]
//   bench_scan --hive FILE [--at KEY] [--check] [--per-scanner]
//
// --hive reads a real hive file (decompressed) through libhivex into an
// otherwise empty 64-bit machine, at HKLM\SOFTWARE unless --at names
// another raw key (HKLM\SYSTEM, HKU\S-1-5-21-1-2-3-1001, ...), and prints
// the time and memory of that load before the walk and the scan.
//
// --per-scanner also times each scanner alone in each view, on this thread
// and without a manager, to show where the time of the scan goes.
// --check fails (exit 1) when the walk does not see exactly what the
// registry holds or the scan finds nothing: a smoke run for CTest.
#include <sys/resource.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "SyntheticMachine.h"
#include "offline/Hive.h"
#include "offline/HiveLoad.h"
#include "platform/Text.h"
#include "findings/CleanerRegKeyProduct.h"
#include "findings/CleanerScanProduct.h"
#include "platform/Handle.h"
#include "platform/KeyCache.h"
#include "platform/RegistryAccess.h"
#include "platform/Wow64.h"
#include "platform/emul/Machine.h"
#include "platform/emul/SeamCalls.h"
#include "platform/os/WinApi.h"
#include "scan/PathChecks.h"
#include "scan/ScanManager.h"
#include "scanners/AddRemoveScannerUnit.h"
#include "scanners/AutorunsScannerUnit.h"
#include "scanners/BHOScannerUnit.h"
#include "scanners/BuiltInScanners.h"
#include "scanners/COMActiveXScannerUnit.h"
#include "scanners/ContextMenuScannerUnit.h"
#include "scanners/FileAssociationsScannerUnit.h"
#include "scanners/FileExtensionsScannerUnit.h"
#include "scanners/FontsScannerUnit.h"
#include "scanners/HKCUScannerUnit.h"
#include "scanners/HKLMScannerUnit.h"
#include "scanners/HKUScannerUnit.h"
#include "scanners/HelpFilePathesScannerUnit.h"
#include "scanners/HistoryScannerUnit.h"
#include "scanners/SharedDllsScannerUnit.h"
#include "scanners/ShellExtensionsScannerUnit.h"
#include "scanners/StartMenuScannerUnit.h"
#include "scanners/ToolbarButtonsScannerUnit.h"
#include "ui/headless/HeadlessLoop.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::size_t keys = 1'000'000;
    bool check = false;
    bool perScanner = false;
    std::string hive;
    std::u16string at = u"HKEY_LOCAL_MACHINE\\SOFTWARE";
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--keys" && i + 1 < argc) {
            char* end = nullptr;
            unsigned long long keys = std::strtoull(argv[++i], &end, 10);
            if (!end || *end || keys < 1000 || keys > 50'000'000) {
                std::fprintf(stderr, "--keys wants a number from 1000 to 50000000\n");
                return false;
            }
            options.keys = static_cast<std::size_t>(keys);
        } else if (arg == "--check") {
            options.check = true;
        } else if (arg == "--hive" && i + 1 < argc) {
            options.hive = argv[++i];
        } else if (arg == "--at" && i + 1 < argc) {
            options.at = text::FromUtf8(argv[++i]);
        } else if (arg == "--per-scanner") {
            options.perScanner = true;
        } else {
            std::fprintf(stderr, "usage: %s [--keys N | --hive FILE [--at KEY]] [--check] [--per-scanner]\n", argv[0]);
            return false;
        }
    }
    return true;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// CPU time of all threads: on a machine shared with other work the wall
// clock also counts the waits for a core at every hand-over to the UI
// thread, so both are printed.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Stopwatch {
    Clock::time_point wall = Clock::now();
    double cpu = CpuSeconds();
    double Wall() const { return Seconds(Clock::now() - wall); }
    double Cpu() const { return CpuSeconds() - cpu; }
};
double MiB(double kib) { return kib / 1024.0; }

// High-water mark of the resident set, in KiB.
double PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss);
}

double ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1024.0;
}

// A folder for the emulated drives, removed with its contents at the end.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tallowmend-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

struct WalkCounts {
    std::size_t keys = 0;
    std::size_t values = 0;
    std::size_t dataBytes = 0;
};

// Reads every value (name, type and data) and descends into every subkey
// through handles, as cheaply as the seam allows. Links are opened as links,
// so every raw key is seen exactly once.
class BareWalk {
public:
    WalkCounts Run() {
        counts_ = {};
        for (os::HKEY root : {os::HKEY_LOCAL_MACHINE, os::HKEY_USERS, os::HKEY_CURRENT_CONFIG}) {
            platform::KeyHandle key;
            if (os::RegOpenKeyExW(root, u"", 0, os::KEY_READ | os::KEY_WOW64_64KEY, key.put()) != os::ERROR_SUCCESS) {
                key.release();
                continue;
            }
            Walk(key.get());
        }
        return counts_;
    }

private:
    void Walk(os::HKEY key) {
        ++counts_.keys;
        os::DWORD maxSubKey = 0, maxValueName = 0, maxData = 0;
        os::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &maxSubKey, nullptr, nullptr, &maxValueName,
                             &maxData, nullptr, nullptr);
        Fit(name_, std::max(maxSubKey, maxValueName) + 1);
        Fit(data_, maxData);
        for (os::DWORD i = 0;;) {
            auto chars = static_cast<os::DWORD>(name_.size());
            auto bytes = static_cast<os::DWORD>(data_.size());
            os::DWORD type = 0;
            auto rc = os::RegEnumValueW(key, i, name_.data(), &chars, nullptr, &type, data_.data(), &bytes);
            if (rc == static_cast<os::LSTATUS>(os::ERROR_MORE_DATA)) {
                Fit(name_, name_.size() * 2);
                Fit(data_, std::max<std::size_t>(bytes, data_.size() * 2));
                continue;
            }
            if (rc != os::ERROR_SUCCESS) break;
            ++counts_.values;
            counts_.dataBytes += bytes;
            ++i;
        }
        for (os::DWORD i = 0;; ++i) {
            auto chars = static_cast<os::DWORD>(name_.size());
            if (os::RegEnumKeyExW(key, i, name_.data(), &chars, nullptr, nullptr, nullptr, nullptr) != os::ERROR_SUCCESS)
                break;
            platform::KeyHandle child;
            if (os::RegOpenKeyExW(key, name_.data(), os::REG_OPTION_OPEN_LINK, os::KEY_READ | os::KEY_WOW64_64KEY,
                                  child.put()) != os::ERROR_SUCCESS) {
                child.release();
                continue;
            }
            Walk(child.get());
        }
    }

    template <typename T>
    static void Fit(std::vector<T>& buffer, std::size_t size) {
        if (buffer.size() < size) buffer.resize(size);
    }

    WalkCounts counts_;
    std::vector<char16_t> name_ = std::vector<char16_t>(256);
    std::vector<os::BYTE> data_ = std::vector<os::BYTE>(1024);
};

struct ScanResult {
    std::vector<std::unique_ptr<findings::TCleanerScanProduct>> findings;
    std::size_t progressTexts = 0;
    bool completed = false;
};

// One scan as the wizard starts it: a self-freeing manager, its deliveries
// served by a message loop on this thread, findings kept by the owner.
void RunScan(ScanResult& result) {
    ui::THeadlessLoop loop;
    auto* manager = new scan::TScanManager(loop.Target());
    manager->SetScannerFactory(scanners::BuiltInScanners);
    manager->SetFoundEvent([&](std::unique_ptr<findings::TCleanerScanProduct> product, findings::TCategory*) {
        result.findings.push_back(std::move(product));
    });
    manager->SetProgressEvent([&](const std::u16string&) { ++result.progressTexts; });
    manager->SetCompletedEvent([&] { result.completed = true; });
    manager->Start();
    loop.RunUntil([&] { return result.completed; }, std::chrono::hours(4));
    ui::TWorkerThread::WaitUntilNoneLive(std::chrono::seconds(60));
}

template <typename T>
std::pair<const char*, std::unique_ptr<scan::TScanner>> Named(const char* name) {
    return {name, std::make_unique<T>()};
}

// Each scanner alone, in the manager's order, once per view: CPU seconds
// and findings (released at once).
void TimeEachScanner() {
    std::vector<std::pair<const char*, std::unique_ptr<scan::TScanner>>> scanners;
    scanners.push_back(Named<scanners::THKLMScanner>("HKLM software"));
    scanners.push_back(Named<scanners::THKCUScanner>("HKCU software"));
    scanners.push_back(Named<scanners::THKUScanner>("HKU software"));
    scanners.push_back(Named<scanners::TFileExtensionsScanner>("file extensions"));
    scanners.push_back(Named<scanners::TFileAssociationsScanner>("file associations"));
    scanners.push_back(Named<scanners::THistoryScanner>("history"));
    scanners.push_back(Named<scanners::TShellExtensionsScanner>("shell extensions"));
    scanners.push_back(Named<scanners::TSharedDllsScanner>("shared libraries"));
    scanners.push_back(Named<scanners::THelpFilePathesScanner>("help files"));
    scanners.push_back(Named<scanners::TCOMActiveXScanner>("COM classes"));
    scanners.push_back(Named<scanners::TAutorunsScanner>("start-up entries"));
    scanners.push_back(Named<scanners::TContextMenuScanner>("context menus"));
    scanners.push_back(Named<scanners::TToolbarButtonsScanner>("toolbar buttons"));
    scanners.push_back(Named<scanners::TBHOScanner>("browser helpers"));
    scanners.push_back(Named<scanners::TStartMenuScanner>("start menu"));
    scanners.push_back(Named<scanners::TAddRemoveScanner>("uninstall entries"));
    scanners.push_back(Named<scanners::TFontsScanner>("fonts"));
    std::printf("per scanner  CPU s (findings) registry calls, path probes   64-bit view                          "
                "32-bit view\n");
    for (auto& [name, scanner] : scanners) {
        std::size_t found = 0;
        scanner->SetResultFoundEvent([&](std::unique_ptr<findings::TCleanerScanProduct>) { ++found; });
        std::printf("  %-18s", name);
        for (os::REGSAM view : {os::KEY_WOW64_64KEY, os::REGSAM{0}}) {
            found = 0;
            platform::RegistryViewFlag = static_cast<std::int32_t>(view);
            double cpu = CpuSeconds();
            const auto before = emul::SeamCalls();
            // As under the manager.
            platform::TKeyCacheScope keyHandles;
            scan::TPathMemoScope paths;
            try {
                scanner->Scan();
            } catch (...) {
            }
            const auto calls = emul::SeamCalls() - before;
            std::printf("   %8.3f (%7zu) %10llu, %8llu", CpuSeconds() - cpu, found,
                        static_cast<unsigned long long>(calls.Registry()),
                        static_cast<unsigned long long>(calls.PathProbes()));
        }
        platform::RegistryViewFlag = 0;
        std::printf("\n");
    }
}

std::string Grouped(std::size_t n);

double Per(std::uint64_t n, std::size_t d) { return d ? static_cast<double>(n) / static_cast<double>(d) : 0.0; }

// What one run asked of the seam: per key of the registry, per value, path
// probes per value, and the distinct paths among them.
void PrintCalls(const char* what, const emul::SeamCallCounts& calls, std::size_t keys, std::size_t values,
                std::size_t distinctPaths) {
    std::printf("seam calls   %-5s %s calls (%s registry, %s path probes): %.2f per visited key, %.2f per value, "
                "%.3f path probes per value, %s distinct paths probed\n",
                what, Grouped(calls.Total()).c_str(), Grouped(calls.Registry()).c_str(),
                Grouped(calls.PathProbes()).c_str(), Per(calls.Total(), keys), Per(calls.Total(), values),
                Per(calls.PathProbes(), values), Grouped(distinctPaths).c_str());
}

void PrintCallsByFunction(const emul::SeamCallCounts& walk, const emul::SeamCallCounts& scan) {
    std::printf("by function  %-18s %14s %14s\n", "", "walk", "scan");
    for (std::size_t i = 0; i < emul::kSeamCallKinds; ++i) {
        auto call = static_cast<emul::SeamCall>(i);
        std::printf("             %-18s %14s %14s\n", std::string(emul::SeamCallName(call)).c_str(),
                    Grouped(walk[call]).c_str(), Grouped(scan[call]).c_str());
    }
}

// An empty 64-bit machine with drive C: below the folder and the hive file
// at the raw key `at`: the load's time and memory printed.
bench::MachineFacts LoadRealHive(const std::filesystem::path& folder, const Options& options) {
    emul::Reset();
    emul::MapStandardSystemDrive(folder);
    std::u16string at = options.at;
    bool machine = true;
    const std::pair<std::u16string_view, bool> roots[] = {
        {u"HKEY_LOCAL_MACHINE\\", true}, {u"HKLM\\", true}, {u"HKEY_USERS\\", false}, {u"HKU\\", false}};
    for (const auto& [prefix, isMachine] : roots) {
        if (text::UpCase(at).rfind(text::UpCase(prefix), 0) == 0) {
            machine = isMachine;
            at = at.substr(prefix.size());
            break;
        }
    }
    const double residentBefore = ResidentKiB();
    Stopwatch clock;
    offline::TLoaded loaded;
    double mapped = 0;
    {
        offline::THive hive(options.hive, offline::THive::Mode::Read);
        loaded = offline::LoadHive(hive, machine, at);
        mapped = ResidentKiB();
    }
    const double wall = clock.Wall(), cpu = clock.Cpu();
    // The file is mapped while it is read; what stays is the registry's.
    std::printf("hive load    %.3f s (CPU %.3f s): %s keys, %s values from %s at %s; resident +%.1f MiB while "
                "reading, +%.1f MiB held\n",
                wall, cpu, Grouped(loaded.keys).c_str(), Grouped(loaded.values).c_str(), options.hive.c_str(),
                text::ToUtf8(options.at).c_str(), MiB(mapped - residentBefore), MiB(ResidentKiB() - residentBefore));
    bench::MachineFacts facts;
    facts.keys = emul::KeyCount();
    facts.values = emul::ValueCount();
    return facts;
}

std::string Grouped(std::size_t n) {
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) return 2;
    try {
        TempFolder folder;
        Stopwatch buildClock;
        auto facts = options.hive.empty() ? bench::BuildSyntheticMachine(folder.path(), bench::MachineSize{options.keys})
                                          : LoadRealHive(folder.path(), options);
        const double built = buildClock.Wall();
        platform::InitWindows64();
        if (options.hive.empty())
            std::printf("machine      %s keys, %s values, %s paths named (%s gone), %s files on D:, built in %.2f s\n",
                        Grouped(facts.keys).c_str(), Grouped(facts.values).c_str(), Grouped(facts.pathValues).c_str(),
                        Grouped(facts.deadPaths).c_str(), Grouped(facts.files).c_str(), built);

        BareWalk walk;
        emul::RecordProbedPaths(true);
        const auto walkCallsBefore = emul::SeamCalls();
        Stopwatch walkClock;
        auto counts = walk.Run();
        const double walkWall = walkClock.Wall(), walkCpu = walkClock.Cpu();
        const auto walkCalls = emul::SeamCalls() - walkCallsBefore;
        const std::size_t walkPaths = emul::DistinctProbedPaths();
        // The three roots walked are not keys the store counts.
        const std::size_t walkedKeys = counts.keys >= 3 ? counts.keys - 3 : 0;
        std::printf("bare walk    %.3f s (CPU %.3f s): %s keys, %s values, %s data bytes; %.0f keys/s\n", walkWall,
                    walkCpu, Grouped(walkedKeys).c_str(), Grouped(counts.values).c_str(),
                    Grouped(counts.dataBytes).c_str(), static_cast<double>(walkedKeys) / walkWall);

        const double residentBefore = ResidentKiB();
        const double peakBefore = PeakKiB();
        ScanResult scan;
        emul::RecordProbedPaths(true);
        const auto scanCallsBefore = emul::SeamCalls();
        Stopwatch scanClock;
        RunScan(scan);
        const double scanWall = scanClock.Wall(), scanCpu = scanClock.Cpu();
        const auto scanCalls = emul::SeamCalls() - scanCallsBefore;
        const std::size_t scanPaths = emul::DistinctProbedPaths();
        emul::RecordProbedPaths(false);
        const double residentAfter = ResidentKiB();
        const double peakAfter = PeakKiB();

        std::size_t keyFindings = 0;
        for (const auto& f : scan.findings)
            if (dynamic_cast<const findings::TCleanerRegKeyProduct*>(f.get())) ++keyFindings;
        std::printf("full scan    %.3f s (CPU %.3f s): 2 passes, 17 scanners, %s findings (%s keys, %s values), %s "
                    "progress texts; %.0f keys/s\n",
                    scanWall, scanCpu, Grouped(scan.findings.size()).c_str(), Grouped(keyFindings).c_str(),
                    Grouped(scan.findings.size() - keyFindings).c_str(), Grouped(scan.progressTexts).c_str(),
                    static_cast<double>(facts.keys) / scanWall);
        std::printf("ratio        %.2f wall, %.2f CPU (full scan / bare walk; target at most 5 by the clock)\n", scanWall / walkWall,
                    scanCpu / walkCpu);
        std::printf("memory       resident %.1f MiB before the scan, %.1f MiB after; peak %.1f MiB before, "
                    "%.1f MiB after (+%.1f MiB, %.0f bytes per finding held)\n",
                    MiB(residentBefore), MiB(residentAfter), MiB(peakBefore), MiB(peakAfter),
                    MiB(peakAfter - peakBefore),
                    scan.findings.empty() ? 0.0
                                          : (peakAfter - peakBefore) * 1024.0 / static_cast<double>(scan.findings.size()));

        // Both per key the registry holds: the walk visits each once, the
        // scan those of the areas its scanners read.
        PrintCalls("walk", walkCalls, walkedKeys, counts.values, walkPaths);
        PrintCalls("scan", scanCalls, walkedKeys, counts.values, scanPaths);
        PrintCallsByFunction(walkCalls, scanCalls);
        const double walkPerKey = Per(walkCalls.Total(), walkedKeys), scanPerKey = Per(scanCalls.Total(), walkedKeys);
        std::printf("calls per visited key: walk %.2f scan %.2f ratio %.2f\n", walkPerKey, scanPerKey,
                    walkPerKey > 0 ? scanPerKey / walkPerKey : 0.0);
        std::printf("wall ratio: %.2f\n", scanWall / walkWall);

        if (options.perScanner) TimeEachScanner();

        if (options.check) {
            bool ok = true;
            if (walkedKeys != facts.keys || counts.values != facts.values) {
                std::fprintf(stderr, "check: the walk saw %zu keys and %zu values, the registry holds %zu and %zu\n",
                             walkedKeys, counts.values, facts.keys, facts.values);
                ok = false;
            }
            if (!scan.completed || scan.findings.empty()) {
                std::fprintf(stderr, "check: the scan %s\n", scan.completed ? "found nothing" : "did not complete");
                ok = false;
            }
            if (!ok) return 1;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_scan: %s\n", e.what());
        return 1;
    }
    return 0;
}
