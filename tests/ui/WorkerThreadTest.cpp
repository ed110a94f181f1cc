// The worker thread object: suspended until Start, freeing itself when
// asked, and a body that cannot take the process down.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "ui/WorkerThread.h"
#include "ui/headless/HeadlessLoop.h"

namespace ui {
namespace {

using namespace std::chrono_literals;

class ProbeThread : public TWorkerThread {
public:
    ProbeThread(std::shared_ptr<TSyncTarget> target, std::function<void(ProbeThread&)> body,
                std::atomic<bool>* destroyed = nullptr)
        : TWorkerThread(std::move(target)), body_(std::move(body)), destroyed_(destroyed) {}
    ~ProbeThread() override {
        WaitFor();
        if (destroyed_) *destroyed_ = true;
    }
    using TWorkerThread::Synchronize;

protected:
    void Execute() override { body_(*this); }

private:
    std::function<void(ProbeThread&)> body_;
    std::atomic<bool>* destroyed_;
};

class WorkerThreadTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(TWorkerThread::WaitUntilNoneLive(10s)); }
    THeadlessLoop loop;
};

TEST_F(WorkerThreadTest, NothingRunsBeforeStart) {
    std::atomic<bool> ran{false};
    {
        ProbeThread thread(loop.Target(), [&](ProbeThread&) { ran = true; });
        std::this_thread::sleep_for(30ms);
        EXPECT_FALSE(ran);
        EXPECT_FALSE(thread.Started());
    }  // destroying a thread that never started is fine
    EXPECT_FALSE(ran);
    EXPECT_EQ(TWorkerThread::LiveCount(), 0u);
}

TEST_F(WorkerThreadTest, FreeOnTerminateDestroysTheObjectOnItsOwnThreadAfterTheBody) {
    std::atomic<bool> destroyed{false};
    std::atomic<bool> destroyedDuringBody{true};
    auto* thread = new ProbeThread(
        loop.Target(), [&](ProbeThread& self) { self.Synchronize([&] { destroyedDuringBody = destroyed.load(); }); },
        &destroyed);
    thread->SetFreeOnTerminate(true);
    thread->Start();
    EXPECT_TRUE(loop.RunUntil([&] { return destroyed.load(); }, 10s));
    EXPECT_FALSE(destroyedDuringBody);
}

TEST_F(WorkerThreadTest, OwnedThreadIsJoinedByItsDestructorAndSwallowsErrors) {
    std::atomic<bool> finished{false};
    {
        ProbeThread thread(loop.Target(), [&](ProbeThread&) {
            std::this_thread::sleep_for(20ms);
            finished = true;
            throw std::runtime_error("escapes the body");
        });
        thread.Start();
        thread.Start();  // a second Start is ignored
    }
    EXPECT_TRUE(finished);
}

class BareThread : public TWorkerThread {
protected:
    void Execute() override {}
};

TEST(WorkerThreadTarget, WithoutARegisteredUiThreadCreationFails) {
    SetMainSyncTarget(nullptr);
    EXPECT_THROW(BareThread(), ESynchronizeError);
    THeadlessLoop loop;
    loop.RegisterAsMain();
    EXPECT_NO_THROW(BareThread());
}

}  // namespace
}  // namespace ui
