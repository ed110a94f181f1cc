// Handing a call from a worker thread to the UI thread. The worker blocks
// until the UI thread has run the call, so handlers run one at a time on the
// UI thread and need no locks. The UI thread never waits for a worker.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>

namespace ui {

// The call could not be handed over: the UI side has shut down (or none
// is registered). The call did not run.
class ESynchronizeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The receiving end on one thread (the UI thread), served by that thread's
// message loop.
class TSyncTarget {
public:
    virtual ~TSyncTarget() = default;

    // Runs `call` on the target's thread and returns once it has run. An
    // exception the call raised is rethrown here, in the caller's thread.
    // Called on the target's own thread, the call runs at once (waiting for
    // itself would never end). ESynchronizeError when the target has shut
    // down before the call ran.
    virtual void Synchronize(const std::function<void()>& call) = 0;

    // Queues `call` for the target's thread and returns at once; dropped
    // when the target shuts down first.
    virtual void Post(std::function<void()> call) = 0;

    // Whether the calling thread is the one serving this target.
    virtual bool IsOwnerThread() const = 0;
};

// The target of the program's UI thread, registered by the message loop
// that runs there; null when none is. Worker threads created without an
// explicit target use it.
std::shared_ptr<TSyncTarget> MainSyncTarget();
void SetMainSyncTarget(std::shared_ptr<TSyncTarget> target);

}  // namespace ui
