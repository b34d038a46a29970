// The port check on device changes: which events start it, coalescing, and the window lock
// that makes a check wait for the end of a run.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/Worker.h"
#include "porttest/PortCheck.h"
#include "qnlio/ChipIdTable.h"

namespace qnl::test {
namespace {

using namespace std::chrono_literals;

// A check that blocks until released, counting how many ran at once.
struct GatedCheck {
    std::mutex mutex;
    std::condition_variable cv;
    bool open = false;
    int started = 0;
    int inside = 0;
    int mostInside = 0;

    void operator()() {
        std::unique_lock lock(mutex);
        ++started;
        mostInside = std::max(mostInside, ++inside);
        cv.notify_all();
        cv.wait(lock, [&] { return open; });
        --inside;
    }
    bool WaitStarted(int n) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, 5s, [&] { return started >= n; });
    }
    void Open() {
        std::lock_guard lock(mutex);
        open = true;
        cv.notify_all();
    }
};

DeviceChangeEvent Event(std::uint16_t vendor, std::uint16_t product,
                        DeviceChangeEvent::Kind kind = DeviceChangeEvent::Kind::Arrival) {
    DeviceChangeEvent e;
    e.kind = kind;
    e.vendorId = vendor;
    e.productId = product;
    return e;
}

TEST(PortCheckTest, OnlyTheMakersDeviceStartsACheck) {
    HardwareSession hardware;
    std::atomic<int> checks{0};
    PortCheck check(hardware, [&] { ++checks; });
    check.OnDeviceChange(Event(0x0BDA, 0x0411));
    check.OnDeviceChange(Event(kMakerUsbVendorId, 0x0411));
    check.OnDeviceChange(Event(0x0BDA, kMakerUsbProductId));
    EXPECT_TRUE(check.WaitIdle(5s));
    EXPECT_EQ(checks, 0);
    check.OnDeviceChange(Event(kMakerUsbVendorId, kMakerUsbProductId));
    EXPECT_TRUE(check.WaitIdle(5s));
    EXPECT_EQ(checks, 1);
    check.OnDeviceChange(
        Event(kMakerUsbVendorId, kMakerUsbProductId, DeviceChangeEvent::Kind::Removal));
    EXPECT_TRUE(check.WaitIdle(5s));
    EXPECT_EQ(checks, 2);
}

TEST(PortCheckTest, ABurstOfEventsRunsOneCheckAndKeepsOnePending) {
    HardwareSession hardware;
    GatedCheck gated;
    PortCheck check(hardware, [&] { gated(); });
    for (int i = 0; i < 5; ++i) check.OnDeviceChange(Event(kMakerUsbVendorId, kMakerUsbProductId));
    ASSERT_TRUE(gated.WaitStarted(1));
    EXPECT_TRUE(check.Running());
    EXPECT_TRUE(check.Pending());
    gated.Open();
    ASSERT_TRUE(check.WaitIdle(5s));
    EXPECT_EQ(check.ChecksRun(), 2u);  // the running one and the one pending, not five
    EXPECT_EQ(gated.mostInside, 1);
    // Idle again: the next event starts a check of its own.
    check.Request();
    ASSERT_TRUE(check.WaitIdle(5s));
    EXPECT_EQ(check.ChecksRun(), 3u);
}

TEST(PortCheckTest, ACheckAskedForDuringARunWaitsForTheRunsEnd) {
    HardwareSession hardware;
    std::atomic<int> checks{0};
    PortCheck check(hardware, [&] { ++checks; });
    {
        const HardwareSession::Hold run = hardware.Acquire(HardwareActivity::MpRun);
        check.Request();
        check.Request();
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(checks, 0);
        EXPECT_TRUE(check.Running());
    }
    ASSERT_TRUE(check.WaitIdle(5s));
    EXPECT_EQ(checks, 2);
}

TEST(PortCheckTest, TheEndOfTheToolDropsAPendingCheckAndStopsAWaitingOne) {
    HardwareSession hardware;
    std::atomic<int> checks{0};
    HardwareSession::Hold run = hardware.Acquire(HardwareActivity::MpRun);
    {
        PortCheck check(hardware, [&] { ++checks; });
        check.Request();
        check.Request();
        // Destroyed while its thread waits for the hardware: it is stopped, not left waiting.
    }
    run.Release();
    EXPECT_EQ(checks, 0);
}

}  // namespace
}  // namespace qnl::test
