#include "ui/WorkerThread.h"

#include <condition_variable>
#include <mutex>
#include <utility>

namespace ui {
namespace {

std::mutex g_liveMutex;
std::condition_variable g_liveCv;
std::size_t g_live = 0;

void AddLive() {
    std::lock_guard lock(g_liveMutex);
    ++g_live;
}

void RemoveLive() {
    std::lock_guard lock(g_liveMutex);
    --g_live;
    g_liveCv.notify_all();
}

std::shared_ptr<TSyncTarget> RequireMainTarget() {
    auto target = MainSyncTarget();
    if (!target) throw ESynchronizeError("no UI thread serves synchronized calls");
    return target;
}

}  // namespace

TWorkerThread::TWorkerThread() : target_(RequireMainTarget()) {}

TWorkerThread::TWorkerThread(std::shared_ptr<TSyncTarget> target) : target_(std::move(target)) {
    if (!target_) throw ESynchronizeError("no UI thread serves synchronized calls");
}

TWorkerThread::~TWorkerThread() { WaitFor(); }

void TWorkerThread::WaitFor() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TWorkerThread::Start() {
    if (started_) return;
    started_ = true;
    const bool freeOnTerminate = freeOnTerminate_;
    AddLive();
    std::thread thread;
    try {
        thread = std::thread(&TWorkerThread::ThreadMain, this, freeOnTerminate);
    } catch (...) {
        started_ = false;
        RemoveLive();
        throw;
    }
    // A thread that deletes its own object may have done so already: from
    // here on `this` is not touched, and nobody joins the thread.
    if (freeOnTerminate)
        thread.detach();
    else
        thread_ = std::move(thread);
}

void TWorkerThread::ThreadMain(TWorkerThread* self, bool freeOnTerminate) {
    try {
        self->Execute();
    } catch (...) {
    }
    if (freeOnTerminate) delete self;
    RemoveLive();
}

void TWorkerThread::Synchronize(const std::function<void()>& call) { target_->Synchronize(call); }

std::size_t TWorkerThread::LiveCount() {
    std::lock_guard lock(g_liveMutex);
    return g_live;
}

bool TWorkerThread::WaitUntilNoneLive(std::chrono::milliseconds timeout) {
    std::unique_lock lock(g_liveMutex);
    return g_liveCv.wait_for(lock, timeout, [] { return g_live == 0; });
}

}  // namespace ui
