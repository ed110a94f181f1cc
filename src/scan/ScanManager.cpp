#include "scan/ScanManager.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/KeyCache.h"
#include "platform/RegistryAccess.h"
#include "platform/ScopeGuard.h"
#include "platform/Wow64.h"
#include "scan/PathChecks.h"

namespace scan {
namespace {

// The order in which started managers get to run their passes.
class TScanTurns {
public:
    void Enqueue(const void* who) {
        std::lock_guard lock(mutex_);
        queue_.push_back(who);
    }
    void WaitTurn(const void* who) {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [&] { return !queue_.empty() && queue_.front() == who; });
    }
    void Leave(const void* who) {
        std::lock_guard lock(mutex_);
        auto it = std::find(queue_.begin(), queue_.end(), who);
        if (it != queue_.end()) queue_.erase(it);
        cv_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<const void*> queue_;
};

TScanTurns& Turns() {
    // Never destroyed: a worker still leaving its turn when the program ends
    // must not find the queue already torn down by the static destructors.
    static TScanTurns* const turns = new TScanTurns();
    return *turns;
}

// Every 81st progress text reaches the owner: the worker waits for each
// delivery, and the label cannot show more anyway.
constexpr std::int32_t kProgressSkip = 80;

}  // namespace

TScanManager::TScanManager() { SetFreeOnTerminate(true); }

TScanManager::TScanManager(std::shared_ptr<ui::TSyncTarget> target) : TWorkerThread(std::move(target)) {
    SetFreeOnTerminate(true);
}

TScanManager::~TScanManager() = default;

void TScanManager::Start() {
    CreateScanners();
    Turns().Enqueue(this);
    try {
        TWorkerThread::Start();
    } catch (...) {
        Turns().Leave(this);
        throw;
    }
}

void TScanManager::CreateScanners() {
    // The factory's order is the order of the findings within each pass.
    std::vector<std::unique_ptr<TScanner>> made;
    if (FScannerFactory) made = FScannerFactory();
    for (auto& scanner : made) {
        if (!scanner) continue;
        scanner->SetProgressEvent([this](const std::u16string& text) { ScannerProgress(text); });
        scanner->SetResultFoundEvent(
            [this](std::unique_ptr<findings::TCleanerScanProduct> product) { ScannerResultFound(std::move(product)); });
        scanner->SetAbortEvent([this] { return ScannerAbort(); });
        AddScanner(std::move(scanner));
    }
}

void TScanManager::AddScanner(std::unique_ptr<TScanner> scanner) { FScanners.push_back(std::move(scanner)); }

void TScanManager::Execute() {
    FScanning = true;
    try {
        Turns().WaitTurn(this);
        RunPasses();
    } catch (...) {
        // Completion is delivered on every path.
    }
    FScanning = false;
    try {
        Synchronize([this] { DoCompleted(); });
    } catch (...) {
    }
    Turns().Leave(this);
}

void TScanManager::RunPasses() {
    // This thread's reads share key handles, and its judgements what they
    // learnt about paths, until the scan ends.
    platform::TKeyCacheScope keyHandles;
    TPathMemoScope paths;
    auto defaultViewAfterwards = platform::OnScopeExit([] { platform::RegistryViewFlag = 0; });
    if (platform::IsWindows64()) {
        platform::RegistryViewFlag = static_cast<std::int32_t>(os::KEY_WOW64_64KEY);
        RunScanners();
    }
    platform::RegistryViewFlag = 0;
    RunScanners();
}

void TScanManager::RunScanners() {
    for (auto& scanner : FScanners) {
        try {
            scanner->Scan();
        } catch (...) {
            // A failing scanner loses the rest of its pass, nothing more.
        }
    }
}

void TScanManager::ScannerProgress(const std::u16string& text) {
    if (FProgressDelay < kProgressSkip) {
        ++FProgressDelay;
        return;
    }
    FProgressText = text;
    Synchronize([this] { DoProgress(); });
    FProgressDelay = 0;
}

void TScanManager::ScannerResultFound(std::unique_ptr<findings::TCleanerScanProduct> product) {
    FScanProduct = std::move(product);
    struct ReleaseUndelivered {
        std::unique_ptr<findings::TCleanerScanProduct>& slot;
        ~ReleaseUndelivered() { slot.reset(); }
    } release{FScanProduct};
    Synchronize([this] { DoFound(); });
}

void TScanManager::DoProgress() {
    if (FProgressEvent) FProgressEvent(FProgressText);
}

void TScanManager::DoFound() {
    auto product = std::move(FScanProduct);
    if (FFoundEvent) FFoundEvent(std::move(product), nullptr);
}

void TScanManager::DoCompleted() {
    if (FCompletedEvent) FCompletedEvent();
}

}  // namespace scan
