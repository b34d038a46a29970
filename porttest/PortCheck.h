// The port check that follows USB device changes: the port connection scan over all hosts,
// then the test page's port icons, on a thread of its own.
//
// The check drives the controllers (it resets, runs and halts them), so it holds the hardware
// session, which every activity that drives the controllers holds for its whole duration (an
// MP run, a page run, Rescan, the external register write, Close): a check asked for during a
// run waits for the run's end. Requests are coalesced: at most one check runs and at most one
// waits behind it, whatever the number of events (a run's own port resets cause some).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/DeviceChange.h"
#include "platform/HardwareSession.h"
#include "platform/Worker.h"

namespace qnl {

class PortCheck {
  public:
    // `check` is the check itself (scan and icon refresh); it runs holding `hardware`.
    PortCheck(HardwareSession& hardware, std::function<void()> check);
    // Drops a pending check, asks a running one to stop and waits for it (bounded).
    ~PortCheck();
    PortCheck(const PortCheck&) = delete;
    PortCheck& operator=(const PortCheck&) = delete;

    // Asks for a check: starts one when none runs, else marks one pending (at most one).
    void Request();
    // A device change: a check when it is the maker's USB device (see qnlio/ChipIdTable.h).
    void OnDeviceChange(const DeviceChangeEvent& event);

    // Waits (in real time) until no check runs or waits; false when one still does.
    bool WaitIdle(std::chrono::milliseconds timeout);
    // Checks that have run (their scan was started) since the object was made.
    std::uint64_t ChecksRun() const { return checksRun_.load(); }
    bool Running() const;
    bool Pending() const;

    static constexpr std::chrono::milliseconds kStopWait{10000};

  private:
    // The check thread: takes the hardware session, checks, and again while one is pending.
    void PortCheckThreadEntry();

    HardwareSession& hardware_;
    const std::function<void()> check_;
    mutable std::mutex mutex_;
    std::condition_variable idle_;
    bool running_ = false;
    bool pending_ = false;
    bool stopping_ = false;
    std::shared_ptr<Worker> thread_;
    std::atomic<std::uint64_t> checksRun_{0};
};

}  // namespace qnl
