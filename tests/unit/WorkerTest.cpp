// Workers that are given up on, and the lock that survives them.
#include <gtest/gtest.h>

#include <atomic>

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
