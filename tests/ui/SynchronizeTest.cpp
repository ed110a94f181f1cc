// Handing calls from workers to the thread that owns a loop: the call runs
// there, the worker waits for it, errors travel back, and nothing hangs when
// the loop goes away first.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "ui/WorkerThread.h"
#include "ui/headless/HeadlessLoop.h"

namespace ui {
namespace {

using namespace std::chrono_literals;

class SyncTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(TWorkerThread::WaitUntilNoneLive(10s)) << "a worker outlived its test"; }

    THeadlessLoop loop;
};

TEST_F(SyncTest, CallRunsOnTheLoopThreadAndTheWorkerWaitsForIt) {
    const auto loopThread = std::this_thread::get_id();
    std::thread::id ranOn;
    int seenAfterReturn = 0;
    int value = 0;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        loop.Target()->Synchronize([&] {
            ranOn = std::this_thread::get_id();
            std::this_thread::sleep_for(20ms);  // a slow handler must still be waited for
            value = 42;
        });
        seenAfterReturn = value;
        done = true;
    });
    EXPECT_TRUE(loop.RunUntil([&] { return done.load(); }, 10s));
    worker.join();
    EXPECT_EQ(ranOn, loopThread);
    EXPECT_EQ(seenAfterReturn, 42);
}

TEST_F(SyncTest, ErrorOfTheCallIsRethrownInTheWorker) {
    std::atomic<bool> done{false};
    std::string caught;
    std::thread worker([&] {
        try {
            loop.Target()->Synchronize([] { throw std::out_of_range("handler failed"); });
        } catch (const std::out_of_range& e) {
            caught = e.what();
        }
        done = true;
    });
    EXPECT_TRUE(loop.RunUntil([&] { return done.load(); }, 10s));
    worker.join();
    EXPECT_EQ(caught, "handler failed");
}

TEST_F(SyncTest, OnTheLoopThreadTheCallRunsAtOnce) {
    bool ran = false;
    loop.Target()->Synchronize([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_EQ(loop.ProcessMessages(), 0u);
}

TEST_F(SyncTest, ManyWorkersEachCallRunsOnceAndInTheWorkersOrder) {
    constexpr int kWorkers = 4, kCalls = 500;
    std::vector<std::vector<int>> seen(kWorkers);  // touched on the loop thread only
    std::atomic<int> finished{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&, w] {
            for (int i = 0; i < kCalls; ++i) loop.Target()->Synchronize([&, w, i] { seen[w].push_back(i); });
            ++finished;
        });
    }
    EXPECT_TRUE(loop.RunUntil([&] { return finished == kWorkers; }, 30s));
    for (auto& t : workers) t.join();
    for (int w = 0; w < kWorkers; ++w) {
        ASSERT_EQ(seen[w].size(), static_cast<std::size_t>(kCalls));
        for (int i = 0; i < kCalls; ++i) ASSERT_EQ(seen[w][i], i);
    }
}

TEST(SyncShutdown, WaitingAndLaterCallersFailInsteadOfHanging) {
    auto loop = std::make_unique<THeadlessLoop>();
    auto target = loop->Target();
    std::atomic<bool> queued{false};
    std::atomic<int> failures{0};
    bool ran = false;
    std::thread worker([&] {
        queued = true;
        try {
            target->Synchronize([&] { ran = true; });
        } catch (const ESynchronizeError&) {
            ++failures;
        }
        try {
            target->Synchronize([&] { ran = true; });
        } catch (const ESynchronizeError&) {
            ++failures;
        }
    });
    while (!queued) std::this_thread::yield();
    std::this_thread::sleep_for(20ms);
    loop.reset();  // never served
    worker.join();
    EXPECT_EQ(failures, 2);
    EXPECT_FALSE(ran);
}

TEST_F(SyncTest, PostedCallsRunInOrderWithoutWaitingAndAreDroppedAfterShutdown) {
    std::vector<int> order;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i) loop.Target()->Post([&order, i] { order.push_back(i); });
        loop.Target()->Post([] { throw std::runtime_error("nobody to report to"); });
        loop.Target()->Post([&] { loop.Quit(); });
    });
    worker.join();  // returned without the loop having run anything
    EXPECT_TRUE(order.empty());
    loop.Run();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));

    auto other = std::make_unique<THeadlessLoop>();
    auto target = other->Target();
    other.reset();
    bool ran = false;
    target->Post([&] { ran = true; });
    EXPECT_FALSE(ran);
}

TEST_F(SyncTest, QuitFromAnotherThreadEndsRunEvenWhenItCameFirst) {
    std::thread([&] { loop.Quit(); }).join();
    loop.Run();  // returns at once instead of waiting forever
    std::thread later([&] {
        std::this_thread::sleep_for(20ms);
        loop.Quit();
    });
    loop.Run();
    later.join();
}

TEST(SyncRegistration, MainTargetFollowsTheRegisteringLoop) {
    {
        THeadlessLoop loop;
        loop.RegisterAsMain();
        EXPECT_EQ(MainSyncTarget(), loop.Target());
    }
    EXPECT_EQ(MainSyncTarget(), nullptr);
}

}  // namespace
}  // namespace ui
