// The message loop of the headless UI (native build, tests, the Linux demo):
// runs on the thread that created it and serves the calls that workers hand
// over. Tests drive it step by step; the demo runs it until Quit.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

#include "ui/SyncQueue.h"

namespace ui {

class THeadlessLoop {
public:
    THeadlessLoop();
    // Shuts the queue down: workers still waiting fail their calls with
    // ESynchronizeError instead of waiting forever. Unregisters itself as
    // the main target if it registered.
    ~THeadlessLoop();
    THeadlessLoop(const THeadlessLoop&) = delete;
    THeadlessLoop& operator=(const THeadlessLoop&) = delete;

    std::shared_ptr<TSyncTarget> Target() const { return queue_; }
    // Makes this loop the UI thread's target for workers made without one.
    void RegisterAsMain();

    // Runs what is waiting; the number of calls run.
    std::size_t ProcessMessages() { return queue_->RunPending(); }
    // Serves calls until Quit (from a served call or any thread).
    void Run();
    void Quit();
    // Serves calls until `done` answers true (checked after every round) or
    // the time is up; the last answer of `done`.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

private:
    std::shared_ptr<TSyncQueue> queue_;
    bool registered_ = false;
    std::atomic<bool> quit_{false};
};

}  // namespace ui
