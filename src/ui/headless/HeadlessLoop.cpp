#include "ui/headless/HeadlessLoop.h"

#include <algorithm>

namespace ui {

THeadlessLoop::THeadlessLoop() : queue_(std::make_shared<TSyncQueue>()) {}

THeadlessLoop::~THeadlessLoop() {
    queue_->Shutdown();
    if (registered_ && MainSyncTarget() == queue_) SetMainSyncTarget(nullptr);
}

void THeadlessLoop::RegisterAsMain() {
    SetMainSyncTarget(queue_);
    registered_ = true;
}

void THeadlessLoop::Run() {
    // A Quit that came before Run still ends it: the request is consumed
    // on the way out, not on the way in.
    while (!quit_) {
        queue_->RunPending();
        if (quit_) break;
        queue_->WaitForCalls(std::chrono::steady_clock::now() + std::chrono::seconds(1));
    }
    quit_ = false;
}

void THeadlessLoop::Quit() {
    quit_ = true;
    queue_->Interrupt();
}

bool THeadlessLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        queue_->RunPending();
        if (done()) return true;
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        // Conditions that change without a call (a worker's own state) are
        // looked at again at least every few milliseconds.
        queue_->WaitForCalls(std::min(deadline, now + std::chrono::milliseconds(5)));
    }
}

}  // namespace ui
