#include "porttest/PortCheck.h"

#include "qnlio/ChipIdTable.h"

namespace qnl {

PortCheck::PortCheck(HardwareSession& hardware, std::function<void()> check)
    : hardware_(hardware), check_(std::move(check)) {}

PortCheck::~PortCheck() {
    std::shared_ptr<Worker> thread;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        pending_ = false;
        thread = thread_;
    }
    if (!thread) return;
    thread->RequestStop();
    // A check blocked inside a backend call is left to return on its own; it keeps nothing of
    // this object alive, so it must end before the object goes: wait, then give up on it.
    if (!thread->WaitFinished(kStopWait)) thread->Abandon();
}

void PortCheck::Request() {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    if (running_) {
        pending_ = true;
        return;
    }
    running_ = true;
    thread_ = Worker::Start([this] { PortCheckThreadEntry(); },
                            [this] {
                                // Whatever went wrong, the next request starts a new check.
                                std::lock_guard inner(mutex_);
                                running_ = false;
                                pending_ = false;
                                idle_.notify_all();
                            });
}

void PortCheck::OnDeviceChange(const DeviceChangeEvent& event) {
    if (IsDevice(event, kMakerUsbVendorId, kMakerUsbProductId)) Request();
}

void PortCheck::PortCheckThreadEntry() {
    for (;;) {
        {
            const HardwareSession::Hold hold = hardware_.Acquire(HardwareActivity::PortCheck);
            if (hold) {
                ++checksRun_;
                check_();
            }
        }
        std::lock_guard lock(mutex_);
        // Asked to stop (the session was then not taken): nothing more is checked.
        if (pending_ && !stopping_) {
            pending_ = false;
            continue;
        }
        running_ = false;
        pending_ = false;
        idle_.notify_all();
        return;
    }
}

bool PortCheck::WaitIdle(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, timeout, [&] { return !running_ && !pending_; });
}

bool PortCheck::Running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

bool PortCheck::Pending() const {
    std::lock_guard lock(mutex_);
    return pending_;
}

}  // namespace qnl
