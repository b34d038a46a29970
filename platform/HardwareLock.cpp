#include "platform/HardwareLock.h"

#include <thread>

#include "platform/Cancellation.h"

namespace qnl {

bool LockUnlessStopped(std::mutex& lock) {
    // Polled rather than a timed wait: ThreadSanitizer follows try_lock, not try_lock_for.
    constexpr auto kPoll = std::chrono::milliseconds(20);
    while (!StopRequested()) {
        if (lock.try_lock()) return true;
        std::this_thread::sleep_for(kPoll);
    }
    return false;
}

}  // namespace qnl
