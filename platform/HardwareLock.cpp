#include "platform/HardwareLock.h"

#include "platform/Cancellation.h"

namespace qnl {

bool LockUnlessStopped(std::timed_mutex& lock) {
    constexpr auto kPoll = std::chrono::milliseconds(20);
    while (!StopRequested())
        if (lock.try_lock_for(kPoll)) return true;
    return false;
}

}  // namespace qnl
