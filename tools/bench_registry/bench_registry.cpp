// A million keys with four values each, built through the seam, then looked
// up by name and walked the way the scanners walk. Reports the counts and
// the resident memory the registry added.
#include <benchmark/benchmark.h>

#include <fstream>
#include <random>
#include <string>

#include "platform/Text.h"
#include "platform/emul/Machine.h"
#include "platform/os/WinApi.h"

namespace {

constexpr int kVendors = 1000;
constexpr int kKeysPerVendor = 1000;

std::u16string KeyPath(int vendor, int key) {
    return text::FromAscii("Software\\Vendor" + std::to_string(vendor) + "\\Product " + std::to_string(key));
}

double ResidentMiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * 4096.0 / (1024.0 * 1024.0);
}

bool g_built = false;

void Build(benchmark::State& state) {
    for (auto _ : state) {
        emul::Reset();
        double before = ResidentMiB();
        for (int v = 0; v < kVendors; ++v) {
            for (int k = 0; k < kKeysPerVendor; ++k) {
                os::HKEY key = nullptr;
                auto path = KeyPath(v, k);
                os::RegCreateKeyExW(os::HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, os::KEY_ALL_ACCESS, nullptr,
                                    &key, nullptr);
                std::u16string data = u"C:\\Program Files\\Vendor\\product.exe";
                auto bytes = static_cast<os::DWORD>((data.size() + 1) * 2);
                os::DWORD number = static_cast<os::DWORD>(k);
                os::RegSetValueExW(key, u"", 0, os::REG_SZ, reinterpret_cast<const os::BYTE*>(data.c_str()), bytes);
                os::RegSetValueExW(key, u"InstallLocation", 0, os::REG_SZ,
                                   reinterpret_cast<const os::BYTE*>(data.c_str()), bytes);
                os::RegSetValueExW(key, u"Version", 0, os::REG_DWORD, reinterpret_cast<const os::BYTE*>(&number), 4);
                os::RegSetValueExW(key, u"Flags", 0, os::REG_BINARY, reinterpret_cast<const os::BYTE*>(&number), 4);
                os::RegCloseKey(key);
            }
        }
        state.counters["keys"] = static_cast<double>(emul::KeyCount());
        state.counters["values"] = static_cast<double>(emul::ValueCount());
        state.counters["MiB"] = ResidentMiB() - before;
    }
    g_built = true;
}
BENCHMARK(Build)->Iterations(1)->Unit(benchmark::kSecond);

void LookupByName(benchmark::State& state) {
    if (!g_built) {
        state.SkipWithError("needs Build");
        return;
    }
    std::mt19937 random(42);
    std::uniform_int_distribution<int> vendor(0, kVendors - 1), product(0, kKeysPerVendor - 1);
    for (auto _ : state) {
        auto path = KeyPath(vendor(random), product(random));
        os::HKEY key = nullptr;
        if (os::RegOpenKeyExW(os::HKEY_CURRENT_USER, path.c_str(), 0, os::KEY_READ, &key) != os::ERROR_SUCCESS) {
            state.SkipWithError("missing key");
            return;
        }
        os::DWORD bytes = 0;
        os::RegQueryValueExW(key, u"version", nullptr, nullptr, nullptr, &bytes);
        os::RegCloseKey(key);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(LookupByName);

// Enumerate every subkey and value of every vendor by index, as a scan does.
void WalkEverything(benchmark::State& state) {
    if (!g_built) {
        state.SkipWithError("needs Build");
        return;
    }
    for (auto _ : state) {
        std::size_t keys = 0, values = 0;
        os::HKEY software = nullptr;
        os::RegOpenKeyExW(os::HKEY_CURRENT_USER, u"Software", 0, os::KEY_READ, &software);
        char16_t name[256];
        for (os::DWORD v = 0;; ++v) {
            os::DWORD chars = 256;
            if (os::RegEnumKeyExW(software, v, name, &chars, nullptr, nullptr, nullptr, nullptr)) break;
            os::HKEY vendor = nullptr;
            os::RegOpenKeyExW(software, name, 0, os::KEY_READ, &vendor);
            for (os::DWORD k = 0;; ++k) {
                chars = 256;
                if (os::RegEnumKeyExW(vendor, k, name, &chars, nullptr, nullptr, nullptr, nullptr)) break;
                os::HKEY product = nullptr;
                os::RegOpenKeyExW(vendor, name, 0, os::KEY_READ, &product);
                ++keys;
                for (os::DWORD i = 0;; ++i) {
                    char16_t valueName[64];
                    os::DWORD valueChars = 64;
                    if (os::RegEnumValueW(product, i, valueName, &valueChars, nullptr, nullptr, nullptr, nullptr))
                        break;
                    ++values;
                }
                os::RegCloseKey(product);
            }
            os::RegCloseKey(vendor);
        }
        os::RegCloseKey(software);
        state.counters["keys"] = static_cast<double>(keys);
        state.counters["values"] = static_cast<double>(values);
    }
}
BENCHMARK(WalkEverything)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
