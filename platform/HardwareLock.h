// The window's hardware-activity lock ("the window lock"): every activity of the window that
// drives the controllers holds it for its whole top thread (an MP run, a page run, Rescan, the
// external register write, the port check), so they never overlap.
//
// The lock itself is a std::mutex owned by the main window. A thread waits for it only
// while it is not asked to stop: the end of the tool never waits behind a waiting check.
#pragma once

#include <chrono>
#include <mutex>

namespace qnl {

// Takes `lock`, polling so that a stop request of the calling thread ends the wait. False
// (the lock not taken) when the thread was asked to stop.
bool LockUnlessStopped(std::mutex& lock);

class HardwareLockGuard {
  public:
    explicit HardwareLockGuard(std::mutex& lock)
        : lock_(lock), owns_(LockUnlessStopped(lock)) {}
    ~HardwareLockGuard() {
        if (owns_) lock_.unlock();
    }
    HardwareLockGuard(const HardwareLockGuard&) = delete;
    HardwareLockGuard& operator=(const HardwareLockGuard&) = delete;
    bool Owns() const { return owns_; }

  private:
    std::mutex& lock_;
    bool owns_;
};

}  // namespace qnl
