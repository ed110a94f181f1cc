// A worker thread object: created suspended, started once, optionally freed
// by itself when its body returns, and able to hand calls to the UI thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <thread>

#include "ui/Synchronize.h"

namespace ui {

class TWorkerThread {
public:
    // Uses the UI thread's registered target (MainSyncTarget); throws
    // ESynchronizeError when none is registered, so a worker can never run
    // its handlers on its own thread by mistake.
    TWorkerThread();
    explicit TWorkerThread(std::shared_ptr<TSyncTarget> target);
    // Waits for the body of a started thread that does not free itself. A
    // subclass whose body uses its own members calls WaitFor in its
    // destructor: by the time this one runs, those members are gone.
    virtual ~TWorkerThread();
    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;

    // Runs Execute on a new thread; once only. A free-on-terminate object
    // must not be touched by its creator after Start: it may already be gone.
    void Start();
    // Read by Start: a later change has no effect on a running thread.
    void SetFreeOnTerminate(bool value) { freeOnTerminate_ = value; }
    bool FreeOnTerminate() const { return freeOnTerminate_; }
    bool Started() const { return started_; }
    // Waits until the body of a started thread that does not free itself
    // has returned; does nothing otherwise or on the worker itself.
    void WaitFor();

    // Worker threads whose body has not yet finished (including the object's
    // own destruction when it frees itself). Lets tests and shutdown wait
    // until no worker touches shared state any more.
    static std::size_t LiveCount();
    static bool WaitUntilNoneLive(std::chrono::milliseconds timeout);

protected:
    // The body. An exception escaping it is swallowed: it must not end the
    // process from a worker thread.
    virtual void Execute() = 0;
    // Runs `call` on the UI thread and waits for it (see TSyncTarget).
    void Synchronize(const std::function<void()>& call);

private:
    static void ThreadMain(TWorkerThread* self, bool freeOnTerminate);

    std::shared_ptr<TSyncTarget> target_;
    std::thread thread_;
    bool freeOnTerminate_ = false;
    bool started_ = false;
};

}  // namespace ui
