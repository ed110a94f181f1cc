#include "ui/SyncQueue.h"

#include <utility>
#include <vector>

namespace ui {

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
    ownerCv_.notify_all();
    if (wake_) wake_();
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
    ownerCv_.notify_all();
    if (wake_) wake_();
}

std::size_t TSyncQueue::RunPending() {
    std::deque<std::shared_ptr<Item>> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(items_);
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
        callerCv_.notify_all();
    }
    std::lock_guard lock(mutex_);
    callerCv_.notify_all();
    return ran;
}

bool TSyncQueue::WaitForCalls(std::chrono::steady_clock::time_point deadline) {
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
    for (auto& item : items_) item->abandoned = true;
    items_.clear();
    callerCv_.notify_all();
    ownerCv_.notify_all();
}

bool TSyncQueue::IsShutDown() const {
    std::lock_guard lock(mutex_);
    return shutDown_;
}

}  // namespace ui
