#include "platform/HardwareSession.h"

#include <thread>

#include "platform/Cancellation.h"

namespace qnl {

namespace {
constexpr auto kPoll = std::chrono::milliseconds(10);
}  // namespace

const char* HardwareActivityName(HardwareActivity activity) {
    switch (activity) {
        case HardwareActivity::None:
            return "nothing";
        case HardwareActivity::MpRun:
            return "an MP run";
        case HardwareActivity::PageRun:
            return "a page's run";
        case HardwareActivity::PortCheck:
            return "the port check";
        case HardwareActivity::Rescan:
            return "Rescan";
        case HardwareActivity::ExternalSetting:
            return "the external register write";
        case HardwareActivity::Close:
            return "Close";
    }
    return "an activity";
}

HardwareSession::Hold::Hold(Hold&& other) noexcept : session_(other.session_) {
    other.session_ = nullptr;
}

HardwareSession::Hold& HardwareSession::Hold::operator=(Hold&& other) noexcept {
    if (this != &other) {
        Release();
        session_ = other.session_;
        other.session_ = nullptr;
    }
    return *this;
}

void HardwareSession::Hold::Release() {
    if (session_ == nullptr) return;
    HardwareSession* session = session_;
    session_ = nullptr;
    session->Give();
}

bool HardwareSession::TryTake(HardwareActivity activity) {
    if (!lock_.try_lock()) return false;
    holder_ = activity;
    listeners_.Notify();
    return true;
}

void HardwareSession::Give() {
    holder_ = HardwareActivity::None;
    lock_.unlock();
    listeners_.Notify();
}

HardwareSession::Hold HardwareSession::Wait(
    HardwareActivity activity, std::optional<std::chrono::steady_clock::time_point> deadline) {
    while (!StopRequested()) {
        if (TryTake(activity)) return Hold(this);
        if (deadline && std::chrono::steady_clock::now() >= *deadline) break;
        std::this_thread::sleep_for(kPoll);
    }
    return Hold();
}

HardwareSession::Hold HardwareSession::Acquire(HardwareActivity activity) {
    return Wait(activity, std::nullopt);
}

HardwareSession::Hold HardwareSession::AcquireWithin(HardwareActivity activity,
                                                     std::chrono::milliseconds timeout) {
    return Wait(activity, std::chrono::steady_clock::now() + timeout);
}

HardwareSession::Hold HardwareSession::TryAcquire(HardwareActivity activity) {
    return TryTake(activity) ? Hold(this) : Hold();
}

}  // namespace qnl
