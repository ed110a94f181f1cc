// The scan manager with scripted scanners: passes and their views, the
// progress throttle, failing scanners, Stop, delivery on the UI thread, and
// a second scan started while the first one runs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/RegistryAccess.h"
#include "platform/Text.h"
#include "platform/Wow64.h"
#include "scan/ScanManager.h"
#include "support/SeamTest.h"
#include "ui/headless/HeadlessLoop.h"
#ifndef _WIN32
#include "platform/emul/Machine.h"
#endif

namespace scan {
namespace {

using namespace std::chrono_literals;

std::atomic<int> g_liveFindings{0};

class TagFinding : public findings::TCleanerScanProduct {
public:
    explicit TagFinding(std::u16string tag) : TCleanerScanProduct(std::move(tag), platform::RegView::Current()) {
        ++g_liveFindings;
    }
    ~TagFinding() override { --g_liveFindings; }
    void Solve(backups::TBackupsManager*) override {}
    std::u16string GetDescription() const override { return FReason; }
};

// A gate a scanner can wait at until the test opens it.
class Latch {
public:
    void Open() {
        std::lock_guard lock(m_);
        open_ = true;
        cv_.notify_all();
    }
    void Wait() {
        std::unique_lock lock(m_);
        cv_.wait(lock, [&] { return open_; });
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool open_ = false;
};

class ScriptScanner : public TScanner {
public:
    using Body = std::function<void(ScriptScanner&)>;
    explicit ScriptScanner(Body body, std::atomic<int>* destroyed = nullptr)
        : body_(std::move(body)), destroyed_(destroyed) {}
    ~ScriptScanner() override {
        if (destroyed_) ++*destroyed_;
    }
    void Scan() override { body_(*this); }

    void Find(const std::u16string& tag) { ResultFound(std::make_unique<TagFinding>(tag)); }
    using TScanner::Aborted;
    using TScanner::Progress;

private:
    Body body_;
    std::atomic<int>* destroyed_;
};

// What reached the owner, in order; touched on the UI thread only.
struct Delivered {
    std::vector<std::string> events;
    std::vector<std::string> progress;
    bool completed = false;
    bool offUiThread = false;
    bool categoryGiven = false;
};

class ScanManagerTest : public testsupport::SeamTest {
protected:
    void SetUp() override {
        SeamTest::SetUp();
        platform::InitWindows64();
    }
    void TearDown() override {
        // A worker left running would touch the next test's machine.
        EXPECT_TRUE(ui::TWorkerThread::WaitUntilNoneLive(30s)) << "a scan outlived its test";
        EXPECT_EQ(platform::RegistryViewFlag.load(), 0);
        EXPECT_EQ(g_liveFindings.load(), 0) << "a finding was neither handed over nor released";
        SeamTest::TearDown();
    }

    // Made on the UI thread (this one), wired to `out`, not yet started.
    TScanManager* NewManager(Delivered& out, std::vector<ScriptScanner::Body> bodies, std::string label = "") {
        auto* manager = new TScanManager(loop.Target());
        auto ui = std::this_thread::get_id();
        manager->SetFoundEvent([&out, ui, label](std::unique_ptr<findings::TCleanerScanProduct> p,
                                                 findings::TCategory* category) {
            out.offUiThread |= std::this_thread::get_id() != ui;
            out.categoryGiven |= category != nullptr;
            out.events.push_back(label + text::ToUtf8(p->GetDescription()));
        });
        manager->SetProgressEvent([&out, ui](const std::u16string& text) {
            out.offUiThread |= std::this_thread::get_id() != ui;
            out.progress.push_back(text::ToUtf8(text));
        });
        manager->SetCompletedEvent([&out, ui, label] {
            out.offUiThread |= std::this_thread::get_id() != ui;
            out.events.push_back(label + "completed");
            out.completed = true;
        });
        manager->SetScannerFactory([bodies = std::move(bodies)] {
            std::vector<std::unique_ptr<TScanner>> list;
            for (auto& body : bodies) list.push_back(std::make_unique<ScriptScanner>(body));
            return list;
        });
        return manager;
    }

    void RunToCompletion(Delivered& out, std::vector<ScriptScanner::Body> bodies) {
        NewManager(out, std::move(bodies))->Start();
        ASSERT_TRUE(loop.RunUntil([&] { return out.completed; }, 60s));
    }

    // The views of the passes on this machine, as RegistryViewFlag values.
    static std::vector<int> Passes() {
        if (platform::IsWindows64()) return {0x100, 0};
        return {0};
    }

    ui::THeadlessLoop loop;
};

ScriptScanner::Body FindsWithView(const char* name) {
    return [name](ScriptScanner& s) {
        s.Find(text::FromUtf8(std::string(name) + "@" + std::to_string(platform::RegistryViewFlag.load())));
    };
}

TEST_F(ScanManagerTest, EveryScannerRunsOncePerViewInOrderAndCompletionComesLast) {
    platform::InitWindows64();
    Delivered out;
    RunToCompletion(out, {FindsWithView("A"), FindsWithView("B")});
    std::vector<std::string> expected;
    for (int view : Passes()) {
        expected.push_back("A@" + std::to_string(view));
        expected.push_back("B@" + std::to_string(view));
    }
    expected.push_back("completed");
    EXPECT_EQ(out.events, expected);
    EXPECT_FALSE(out.offUiThread) << "a handler ran off the UI thread";
    EXPECT_FALSE(out.categoryGiven);
}

#ifndef _WIN32
TEST_F(ScanManagerTest, OnA32BitMachineThereIsOnePassInTheDefaultView) {
    emul::SetArch(emul::Arch::Windows32);
    platform::InitWindows64();
    Delivered out;
    std::atomic<bool> otherView{false};
    RunToCompletion(out, {[&](ScriptScanner& s) {
                              if (platform::RegistryViewFlag.load() != 0) otherView = true;
                              s.Find(u"only");
                          }});
    EXPECT_EQ(out.events, (std::vector<std::string>{"only", "completed"}));
    EXPECT_FALSE(otherView);
    emul::Reset();
    platform::InitWindows64();
}
#endif

TEST_F(ScanManagerTest, FailingScannerLosesOnlyItsOwnPass) {
    platform::InitWindows64();
    Delivered out;
    RunToCompletion(out, {[](ScriptScanner& s) {
                              s.Find(u"before");
                              throw std::runtime_error("scanner failed");
                          },
                          [](ScriptScanner& s) { s.Find(u"next"); }});
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < Passes().size(); ++i) {
        expected.push_back("before");
        expected.push_back("next");
    }
    expected.push_back("completed");
    EXPECT_EQ(out.events, expected);
}

TEST_F(ScanManagerTest, FindingsRefusedByAFailingHandlerAreReleasedAndTheScanGoesOn) {
    Delivered out;
    auto* manager = NewManager(out, {[](ScriptScanner& s) { s.Find(u"x"); }, [](ScriptScanner& s) { s.Find(u"y"); }});
    manager->SetFoundEvent([&out](std::unique_ptr<findings::TCleanerScanProduct> p, findings::TCategory*) {
        out.events.push_back(text::ToUtf8(p->GetDescription()));
        throw std::runtime_error("handler failed");
    });
    manager->Start();
    ASSERT_TRUE(loop.RunUntil([&] { return out.completed; }, 60s));
    EXPECT_EQ(out.events.back(), "completed");
    EXPECT_EQ(out.events.size(), 2 * Passes().size() + 1);
}

struct ThrottleCase {
    int scanners;
    int textsEach;
    // "scanner:index", both 1-based; on 32-bit Windows (one pass) and on
    // 64-bit Windows (the same scanners twice).
    std::vector<std::string> onePass;
    std::vector<std::string> twoPasses;
};

class Throttle : public ScanManagerTest, public ::testing::WithParamInterface<ThrottleCase> {};

// The counter is one per manager and runs on across scanners and passes:
// the 81st, 162nd, ... text overall is delivered.
TEST_P(Throttle, EveryEightyFirstTextReachesTheOwner) {
    const auto& c = GetParam();
    std::vector<ScriptScanner::Body> bodies;
    for (int s = 1; s <= c.scanners; ++s)
        bodies.push_back([s, n = c.textsEach](ScriptScanner& self) {
            for (int i = 1; i <= n; ++i) self.Progress(text::FromUtf8(std::to_string(s) + ":" + std::to_string(i)));
        });
    Delivered out;
    RunToCompletion(out, bodies);
    EXPECT_EQ(out.progress, Passes().size() == 2 ? c.twoPasses : c.onePass);
#ifndef _WIN32
    // The same scanners on 32-bit Windows: one pass.
    emul::SetArch(emul::Arch::Windows32);
    platform::InitWindows64();
    Delivered single;
    RunToCompletion(single, bodies);
    EXPECT_EQ(single.progress, c.onePass);
    emul::Reset();
    platform::InitWindows64();
#endif
}

INSTANTIATE_TEST_SUITE_P(
    Counts, Throttle,
    ::testing::Values(ThrottleCase{1, 80, {}, {"1:1"}}, ThrottleCase{1, 81, {"1:81"}, {"1:81", "1:81"}},
                      ThrottleCase{1, 161, {"1:81"}, {"1:81", "1:1", "1:82"}},
                      ThrottleCase{1, 162, {"1:81", "1:162"}, {"1:81", "1:162", "1:81", "1:162"}},
                      ThrottleCase{3, 60, {"2:21", "3:42"}, {"2:21", "3:42", "2:3", "3:24"}}));

TEST_F(ScanManagerTest, StopBeforeStartIsLost) {
    Delivered out;
    std::atomic<int> abortAnswers{0};
    auto* manager = NewManager(out, {[&](ScriptScanner& s) { abortAnswers += s.Aborted() ? 1 : 0; }});
    manager->Stop();
    manager->Start();
    ASSERT_TRUE(loop.RunUntil([&] { return out.completed; }, 60s));
    EXPECT_EQ(abortAnswers, 0);
}

TEST_F(ScanManagerTest, StopCutsWalksButEveryScannerAndPassStillRuns) {
    platform::InitWindows64();
    Delivered out;
    Latch stopped;
    std::atomic<bool> firstCall{true};
    auto* manager = NewManager(out, {[&](ScriptScanner& s) {
                                         if (firstCall.exchange(false)) {
                                             s.Find(u"running");
                                             stopped.Wait();
                                         }
                                         s.Find(s.Aborted() ? u"A stopped" : u"A goes on");
                                     },
                                     [](ScriptScanner& s) { s.Find(s.Aborted() ? u"B stopped" : u"B goes on"); }});
    manager->Start();
    // The first finding proves the worker is inside the first scanner.
    ASSERT_TRUE(loop.RunUntil([&] { return !out.events.empty(); }, 60s));
    manager->Stop();
    stopped.Open();
    ASSERT_TRUE(loop.RunUntil([&] { return out.completed; }, 60s));
    std::vector<std::string> expected{"running"};
    for (std::size_t i = 0; i < Passes().size(); ++i) {
        expected.push_back("A stopped");
        expected.push_back("B stopped");
    }
    expected.push_back("completed");
    EXPECT_EQ(out.events, expected);
}

TEST_F(ScanManagerTest, ScannersGoWithTheManagerAfterTheCompletion) {
    Delivered out;
    std::atomic<int> destroyed{0};
    std::atomic<int> destroyedAtCompletion{-1};
    auto* manager = new TScanManager(loop.Target());
    manager->SetScannerFactory([&] {
        std::vector<std::unique_ptr<TScanner>> list;
        for (int i = 0; i < 3; ++i) list.push_back(std::make_unique<ScriptScanner>([](ScriptScanner&) {}, &destroyed));
        return list;
    });
    manager->SetCompletedEvent([&] {
        destroyedAtCompletion = destroyed.load();
        out.completed = true;
    });
    manager->Start();
    ASSERT_TRUE(loop.RunUntil([&] { return out.completed; }, 60s));
    ASSERT_TRUE(ui::TWorkerThread::WaitUntilNoneLive(30s));
    EXPECT_EQ(destroyedAtCompletion, 0);
    EXPECT_EQ(destroyed, 3);
}

TEST_F(ScanManagerTest, ASecondScanWaitsForTheFirstWithoutBlockingTheUiThread) {
    platform::InitWindows64();
    Delivered first, second;
    Latch release;
    std::atomic<bool> secondScanned{false};
    std::atomic<bool> secondSawOtherScanRunning{false};
    std::atomic<bool> firstRunning{false};
    NewManager(first,
               {[&](ScriptScanner& s) {
                   firstRunning = true;
                   s.Find(u"1");
                   release.Wait();  // opened only after the second scan has started
                   s.Find(u"2");
                   firstRunning = false;
               }},
               "first ")
        ->Start();
    ASSERT_TRUE(loop.RunUntil([&] { return !first.events.empty(); }, 60s));

    NewManager(second,
               {[&](ScriptScanner& s) {
                   if (firstRunning) secondSawOtherScanRunning = true;
                   secondScanned = true;
                   s.Find(u"x");
               }},
               "second ")
        ->Start();
    // The UI thread keeps serving while the second scan waits its turn.
    loop.RunUntil([] { return false; }, 100ms);
    EXPECT_FALSE(secondScanned) << "the second scan ran while the first one held the view";
    release.Open();
    ASSERT_TRUE(loop.RunUntil([&] { return second.completed; }, 60s));
    EXPECT_TRUE(first.completed);
    EXPECT_FALSE(secondSawOtherScanRunning);

    // Every event of the first scan, its completion included, came before
    // any of the second's (one Delivered each, so compare through a merge).
    std::vector<std::string> firstExpected;
    for (std::size_t i = 0; i < Passes().size(); ++i) {
        firstExpected.push_back("first 1");
        firstExpected.push_back("first 2");
    }
    firstExpected.push_back("first completed");
    EXPECT_EQ(first.events, firstExpected);
    EXPECT_EQ(second.events.back(), "second completed");
}

TEST_F(ScanManagerTest, EventsOfQueuedScansArriveScanAfterScan) {
    Delivered all;
    constexpr int kScans = 4;
    int completions = 0;
    for (int i = 0; i < kScans; ++i) {
        auto* m = NewManager(all, {[](ScriptScanner& s) {
                                 s.Find(u"a");
                                 std::this_thread::sleep_for(2ms);
                                 s.Find(u"b");
                             }},
                             std::to_string(i) + " ");
        m->SetCompletedEvent([&all, &completions, i] {
            all.events.push_back(std::to_string(i) + " completed");
            ++completions;
        });
        m->Start();
    }
    ASSERT_TRUE(loop.RunUntil([&] { return completions == kScans; }, 60s));
    std::vector<std::string> expected;
    for (int i = 0; i < kScans; ++i) {
        for (std::size_t p = 0; p < Passes().size(); ++p) {
            expected.push_back(std::to_string(i) + " a");
            expected.push_back(std::to_string(i) + " b");
        }
        expected.push_back(std::to_string(i) + " completed");
    }
    EXPECT_EQ(all.events, expected);
}

TEST_F(ScanManagerTest, StopWhileWaitingForTheTurnCounts) {
    Delivered first, second;
    Latch release;
    auto* a = NewManager(first, {[&](ScriptScanner& s) {
                             s.Find(u"1");
                             release.Wait();
                         }});
    a->Start();
    ASSERT_TRUE(loop.RunUntil([&] { return !first.events.empty(); }, 60s));
    auto* b = NewManager(second, {[](ScriptScanner& s) { s.Find(s.Aborted() ? u"stopped" : u"ran"); }});
    b->Start();
    loop.RunUntil([] { return false; }, 30ms);
    b->Stop();
    release.Open();
    ASSERT_TRUE(loop.RunUntil([&] { return second.completed; }, 60s));
    EXPECT_EQ(second.events.front(), "stopped");
}

TEST_F(ScanManagerTest, AUiThreadThatGoesAwayNeitherHangsTheWorkerNorLeaksFindings) {
    auto ownLoop = std::make_unique<ui::THeadlessLoop>();
    std::atomic<int> found{0};
    Latch reported;
    auto* manager = new TScanManager(ownLoop->Target());
    manager->SetFoundEvent([&](std::unique_ptr<findings::TCleanerScanProduct>, findings::TCategory*) { ++found; });
    manager->SetScannerFactory([&] {
        std::vector<std::unique_ptr<TScanner>> list;
        list.push_back(std::make_unique<ScriptScanner>([&](ScriptScanner& s) {
            reported.Open();
            for (int i = 0; i < 50; ++i) s.Find(u"never served");
        }));
        return list;
    });
    manager->Start();
    reported.Wait();
    std::this_thread::sleep_for(10ms);
    ownLoop.reset();
    EXPECT_TRUE(ui::TWorkerThread::WaitUntilNoneLive(30s));
    EXPECT_EQ(found, 0);
}

}  // namespace
}  // namespace scan
