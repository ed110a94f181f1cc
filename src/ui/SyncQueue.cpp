#include "ui/SyncQueue.h"

#include <utility>
#include <vector>

namespace ui {
namespace {

// A handed-over call is usually back within microseconds, sooner than the
// system wakes a sleeping thread. Both sides look for a while before they
// sleep, so a worker reporting many findings and the loop serving it trade
// them without a wake-up round trip each. Not on one processor, where
// looking would only hold up the thread being waited for.
constexpr auto kCallerLooks = std::chrono::microseconds(100);
constexpr auto kOwnerLooks = std::chrono::microseconds(100);

void CpuRelax() {
#if defined(__i386__) || defined(__x86_64__)
    __builtin_ia32_pause();
#endif
}

template <typename Ready>
void LookFor(std::chrono::microseconds budget, Ready ready) {
    static const bool several = std::thread::hardware_concurrency() > 1;
    if (!several) return;
    const auto until = std::chrono::steady_clock::now() + budget;
    for (unsigned i = 1; !ready(); ++i) {
        CpuRelax();
        if (i % 64 == 0 && std::chrono::steady_clock::now() >= until) return;
    }
}

}  // namespace

TSyncQueue::TSyncQueue(std::function<void()> wake) : wake_(std::move(wake)), owner_(std::this_thread::get_id()) {}

TSyncQueue::~TSyncQueue() { Shutdown(); }

bool TSyncQueue::IsOwnerThread() const { return std::this_thread::get_id() == owner_; }

void TSyncQueue::Synchronize(const std::function<void()>& call) {
    if (IsOwnerThread()) {
        call();
        return;
    }
    auto item = std::make_shared<Item>();
    item->call = call;
    item->waited = true;
    std::unique_lock lock(mutex_);
    if (shutDown_) throw ESynchronizeError("the UI thread no longer serves synchronized calls");
    items_.push_back(item);
    queued_.store(true, std::memory_order_release);
    ownerCv_.notify_all();
    if (wake_) wake_();
    lock.unlock();
    LookFor(kCallerLooks, [&] { return item->settled.load(std::memory_order_acquire); });
    lock.lock();
    callerCv_.wait(lock, [&] { return item->done || item->abandoned; });
    if (item->abandoned) throw ESynchronizeError("the UI thread shut down before the call ran");
    if (item->error) std::rethrow_exception(item->error);
}

void TSyncQueue::Post(std::function<void()> call) {
    auto item = std::make_shared<Item>();
    item->call = std::move(call);
    std::lock_guard lock(mutex_);
    if (shutDown_) return;
    items_.push_back(std::move(item));
    queued_.store(true, std::memory_order_release);
    ownerCv_.notify_all();
    if (wake_) wake_();
}

std::size_t TSyncQueue::RunPending() {
    std::deque<std::shared_ptr<Item>> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(items_);
        queued_.store(false, std::memory_order_relaxed);
    }
    std::size_t ran = 0;
    while (!batch.empty()) {
        auto item = std::move(batch.front());
        batch.pop_front();
        {
            std::lock_guard lock(mutex_);
            // Shut down by an earlier call of this batch: the rest never run.
            if (shutDown_) {
                item->abandoned = true;
                item->settled.store(true, std::memory_order_release);
                callerCv_.notify_all();
                continue;
            }
        }
        std::exception_ptr error;
        try {
            item->call();
        } catch (...) {
            // A posted call has nobody to report to; a synchronized one
            // hands its error back to the waiting worker.
            error = std::current_exception();
        }
        ++ran;
        std::lock_guard lock(mutex_);
        item->error = item->waited ? error : nullptr;
        item->done = true;
        item->settled.store(true, std::memory_order_release);
        callerCv_.notify_all();
    }
    std::lock_guard lock(mutex_);
    callerCv_.notify_all();
    return ran;
}

bool TSyncQueue::WaitForCalls(std::chrono::steady_clock::time_point deadline) {
    LookFor(kOwnerLooks, [&] { return queued_.load(std::memory_order_acquire); });
    std::unique_lock lock(mutex_);
    ownerCv_.wait_until(lock, deadline, [&] { return !items_.empty() || interrupted_ || shutDown_; });
    interrupted_ = false;
    return !items_.empty();
}

void TSyncQueue::Interrupt() {
    std::lock_guard lock(mutex_);
    interrupted_ = true;
    ownerCv_.notify_all();
}

void TSyncQueue::Shutdown() {
    std::lock_guard lock(mutex_);
    shutDown_ = true;
    for (auto& item : items_) {
        item->abandoned = true;
        item->settled.store(true, std::memory_order_release);
    }
    items_.clear();
    queued_.store(false, std::memory_order_relaxed);
    callerCv_.notify_all();
    ownerCv_.notify_all();
}

bool TSyncQueue::IsShutDown() const {
    std::lock_guard lock(mutex_);
    return shutDown_;
}

}  // namespace ui
