// The part of a sync target that every message loop shares: the queue of
// handed-over calls, the waiting callers and shutting down. A loop supplies
// how its thread is woken (a condition for the headless loop, a posted
// window message for the Win32 one) and runs RunPending on its thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "ui/Synchronize.h"

namespace ui {

class TSyncQueue final : public TSyncTarget {
public:
    // `wake` is called, with the queue's lock held, whenever a call has
    // been queued; it must not block and must not call back into the queue.
    // The owner thread is the calling thread.
    explicit TSyncQueue(std::function<void()> wake = {});
    ~TSyncQueue() override;
    TSyncQueue(const TSyncQueue&) = delete;
    TSyncQueue& operator=(const TSyncQueue&) = delete;

    void Synchronize(const std::function<void()>& call) override;
    void Post(std::function<void()> call) override;
    bool IsOwnerThread() const override;

    // On the owner thread: runs the calls queued so far, oldest first, and
    // returns how many ran. A call queued while these run waits for the next
    // round, so one busy worker cannot starve the loop.
    std::size_t RunPending();
    // On the owner thread: waits until a call is queued, Interrupt is called
    // or the time is up; true when calls are waiting.
    bool WaitForCalls(std::chrono::steady_clock::time_point deadline);
    // Ends one WaitForCalls early (from any thread).
    void Interrupt();

    // Refuses every further call and fails the waiting ones with
    // ESynchronizeError; their callers go on without them having run.
    void Shutdown();
    bool IsShutDown() const;

private:
    struct Item {
        std::function<void()> call;
        bool waited = false;  // a Synchronize caller blocks on it
        bool done = false;
        bool abandoned = false;
        std::exception_ptr error;
        // done or abandoned, readable without the lock while the caller spins
        std::atomic<bool> settled{false};
    };

    std::function<void()> wake_;
    const std::thread::id owner_;
    mutable std::mutex mutex_;
    std::condition_variable callerCv_;  // callers waiting for their item
    std::condition_variable ownerCv_;   // the owner waiting for work
    std::deque<std::shared_ptr<Item>> items_;
    bool shutDown_ = false;
    bool interrupted_ = false;
    // Calls are queued, readable without the lock while the owner spins.
    std::atomic<bool> queued_{false};
};

}  // namespace ui
