// Workers that are given up on, and the lock that survives them.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/Cancellation.h"
#include "platform/Clock.h"
#include "platform/Worker.h"

namespace qnl {
namespace {

using namespace std::chrono_literals;

TEST(Worker, RunsItsBodyWithItsOwnStopToken) {
    std::atomic<bool> sawStop{false};
    auto worker = Worker::Start([&] {
        RealClock clock;
        // A long sleep that the stop request cuts short.
        sawStop = !clock.SleepMs(60000);
    });
    EXPECT_FALSE(worker->WaitFinished(20ms));
    worker->RequestStop();
    EXPECT_TRUE(worker->WaitFinished(5s));
    EXPECT_TRUE(sawStop);
}

TEST(Worker, AbandonedWorkerFinishesOnItsOwnAndKeepsItsState) {
    auto flag = std::make_shared<std::atomic<bool>>(false);
    {
        auto worker = Worker::Start([flag] {
            while (!StopRequested()) std::this_thread::sleep_for(1ms);
            std::this_thread::sleep_for(20ms);
            *flag = true;
        });
        worker->Abandon();
    }
    for (int i = 0; i < 500 && !*flag; ++i) std::this_thread::sleep_for(2ms);
    EXPECT_TRUE(*flag);
}

TEST(RecoverableLock, RevokedHolderDoesNotBlockTheNextAndItsReleaseIsIgnored) {
    RecoverableLock lock;
    const auto lost = lock.Acquire();
    ASSERT_NE(lost, 0u);
    // A waiter gives up when its stop token is requested.
    std::stop_source source;
    std::atomic<RecoverableLock::Ticket> got{1};
    std::thread waiter([&] {
        StopTokenScope scope(source.get_token());
        got = lock.Acquire();
    });
    std::this_thread::sleep_for(10ms);
    source.request_stop();
    waiter.join();
    EXPECT_EQ(got.load(), 0u);

    lock.Revoke(lost);
    const auto next = lock.Acquire();
    ASSERT_NE(next, 0u);
    lock.Release(lost);  // the lost holder comes back late: ignored
    EXPECT_TRUE(lock.Held());
    lock.Release(next);
    EXPECT_FALSE(lock.Held());
}

}  // namespace
}  // namespace qnl

namespace qnl {
namespace {

using namespace std::chrono_literals;

TEST(RecoverableLock, AStoppedCallerNeverTakesTheLockEvenWhenItIsFree) {
    RecoverableLock lock;
    std::stop_source source;
    source.request_stop();
    StopTokenScope scope(source.get_token());
    EXPECT_EQ(lock.Acquire(), 0u);
    EXPECT_FALSE(lock.Held());
}

// The erase of waiting boards: a waiter that is stopped while the holder is revoked at the same
// moment must not come out of its wait holding the lock.
TEST(RecoverableLock, AWaiterStoppedAsTheHolderIsRevokedStaysWithoutTheLock) {
    for (int round = 0; round < 200; ++round) {
        RecoverableLock lock;
        const auto holder = lock.Acquire();
        std::stop_source source;
        std::atomic<bool> waiting{false};
        std::atomic<RecoverableLock::Ticket> got{1};
        std::thread waiter([&] {
            StopTokenScope scope(source.get_token());
            waiting = true;
            got = lock.Acquire();
        });
        while (!waiting) std::this_thread::yield();
        source.request_stop();
        lock.Revoke(holder);
        waiter.join();
        ASSERT_EQ(got.load(), 0u) << "round " << round;
        ASSERT_FALSE(lock.Held());
    }
}

TEST(ReportGate, TheVerdictAndTheWorkersLastReportExcludeEachOther) {
    ReportGate given;
    EXPECT_TRUE(given.Write([] {}));
    bool verdictWritten = false;
    EXPECT_TRUE(given.GiveUp([&] { verdictWritten = true; }));
    EXPECT_TRUE(verdictWritten);
    bool late = false;
    EXPECT_FALSE(given.Write([&] { late = true; }));
    EXPECT_FALSE(late);
    EXPECT_FALSE(given.Finish());
    EXPECT_FALSE(given.Finished());

    ReportGate finished;
    EXPECT_TRUE(finished.Finish());
    EXPECT_FALSE(finished.GiveUp([] { ADD_FAILURE() << "verdict on a finished worker"; }));
    EXPECT_FALSE(finished.Closed());
}

// A worker that ignores its stop request and wakes after its supervisor gave up on it writes
// nothing, keeps no lock and does not count as finished.
TEST(WorkerGroup, AGivenUpWorkerThatWakesLaterWritesNothingAndKeepsNoLock) {
    RealClock clock(0.001);  // the 200 s limit passes in 0.2 s
    RecoverableLock lock;
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    std::mutex writtenMutex;
    std::vector<std::string> written;
    const auto write = [&](const std::string& text) {
        std::lock_guard lk(writtenMutex);
        written.push_back(text);
    };
    std::atomic<int> tookLockAfterRelease{0};
    std::atomic<bool> holding{false};
    {
        WorkerGroup group(clock);
        group.Start(0, [&] {
            RecoverableLockGuard guard(lock);
            GatedWrite([&] { write("first"); });
            holding = true;
            std::unique_lock lk(m);
            cv.wait(lk, [&] { return release; });  // deaf to its stop request
            lk.unlock();
            GatedWrite([&] { write("late PASS"); });
        });
        while (!holding) std::this_thread::yield();
        group.Start(1, [&] {
            // Waits for the lock that host 0 holds until it is given up on.
            RecoverableLockGuard guard(lock);
            if (guard.Owns()) ++tookLockAfterRelease;
            GatedWrite([&] { write("host 1"); });
        });
        EXPECT_FALSE(group.Wait(200000, 200));
        const auto givenUp = group.GiveUpUnfinished(
            [&](std::size_t host) { write("FAIL " + std::to_string(host)); });
        EXPECT_EQ(givenUp, (std::vector<std::size_t>{0, 1}));
        EXPECT_FALSE(lock.Held());  // revoked from host 0
        {
            std::lock_guard lk(m);
            release = true;
        }
        cv.notify_all();
        EXPECT_TRUE(group.StopAndWait(5s));
        EXPECT_FALSE(group.Finished(0));
        EXPECT_FALSE(group.Finished(1));
    }
    EXPECT_EQ(written, (std::vector<std::string>{"first", "FAIL 0", "FAIL 1"}));
    EXPECT_EQ(tookLockAfterRelease.load(), 0);
    EXPECT_FALSE(lock.Held());
}

TEST(WorkerGroup, AnExceptionInAWorkerIsReportedThroughItsGateAndEndsIt) {
    RealClock clock(0.001);
    WorkerGroup group(clock);
    std::atomic<bool> reported{false};
    group.Start(
        3, [] { throw std::runtime_error("boom"); }, [&] { reported = true; });
    EXPECT_TRUE(group.Wait(200000, 200));
    EXPECT_TRUE(reported);
    EXPECT_TRUE(group.Finished(3));
}

}  // namespace
}  // namespace qnl
