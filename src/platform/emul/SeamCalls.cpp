#include "platform/emul/SeamCalls.h"

#include <atomic>
#include <mutex>
#include <string>
#include <unordered_set>

#include "platform/Text.h"

namespace emul {
namespace {

std::array<std::atomic<std::uint64_t>, kSeamCallKinds> gCalls{};
std::atomic<bool> gRecording{false};

struct ProbedPaths {
    std::mutex mutex;
    std::unordered_set<std::u16string> paths;
};
ProbedPaths& Probed() {
    static ProbedPaths probed;
    return probed;
}

}  // namespace

std::string_view SeamCallName(SeamCall call) {
    static constexpr std::string_view kNames[] = {
        "RegOpenKeyEx",  "RegCreateKeyEx", "RegCloseKey",       "RegQueryInfoKey",
        "RegQueryValueEx", "RegEnumKeyEx", "RegEnumValue",      "registry writes",
        "GetFileAttributes", "FindFirstFile", "CreateFile",     "GetDriveType",
    };
    static_assert(std::size(kNames) == kSeamCallKinds);
    return kNames[static_cast<std::size_t>(call)];
}

std::uint64_t SeamCallCounts::Registry() const {
    std::uint64_t sum = 0;
    for (auto call = SeamCall::RegOpen; call <= SeamCall::RegWrite;
         call = static_cast<SeamCall>(static_cast<std::size_t>(call) + 1))
        sum += (*this)[call];
    return sum;
}

std::uint64_t SeamCallCounts::PathProbes() const {
    return (*this)[SeamCall::FileAttributes] + (*this)[SeamCall::FindFirst] + (*this)[SeamCall::FileOpen];
}

std::uint64_t SeamCallCounts::Total() const {
    std::uint64_t sum = 0;
    for (auto n : calls) sum += n;
    return sum;
}

SeamCallCounts operator-(const SeamCallCounts& a, const SeamCallCounts& b) {
    SeamCallCounts d;
    for (std::size_t i = 0; i < kSeamCallKinds; ++i) d.calls[i] = a.calls[i] - b.calls[i];
    return d;
}

void CountSeamCall(SeamCall call) {
    gCalls[static_cast<std::size_t>(call)].fetch_add(1, std::memory_order_relaxed);
}

SeamCallCounts SeamCalls() {
    SeamCallCounts counts;
    for (std::size_t i = 0; i < kSeamCallKinds; ++i) counts.calls[i] = gCalls[i].load(std::memory_order_relaxed);
    return counts;
}

void ResetSeamCalls() {
    for (auto& n : gCalls) n.store(0, std::memory_order_relaxed);
    RecordProbedPaths(false);
}

void RecordProbedPaths(bool on) {
    auto& probed = Probed();
    std::lock_guard lock(probed.mutex);
    probed.paths.clear();
    gRecording = on;
}

void RecordProbedPath(const char16_t* path) {
    if (!path || !gRecording.load(std::memory_order_relaxed)) return;
    auto upper = text::UpCase(std::u16string_view(path));
    auto& probed = Probed();
    std::lock_guard lock(probed.mutex);
    probed.paths.insert(std::move(upper));
}

std::size_t DistinctProbedPaths() {
    auto& probed = Probed();
    std::lock_guard lock(probed.mutex);
    return probed.paths.size();
}

}  // namespace emul
