// The one owner of the hardware at a time: every activity that drives the controllers (an MP
// run, a page's own run, the port check, Rescan, the external register write, and Close before
// it unloads the I/O library) holds the station's hardware session for its whole duration, so
// no two of them ever overlap and the host table has one writer at a time.
//
// A thread waits for the session only while it is not asked to stop (the end of the tool never
// waits behind a waiting check). Who holds the session is known, so the window can keep Start
// off while another activity has the hardware; listeners hear of every change of holder.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "platform/ListenerList.h"

namespace qnl {

enum class HardwareActivity : std::uint8_t {
    None,
    MpRun,
    PageRun,
    PortCheck,
    Rescan,
    ExternalSetting,
    Close,
};

const char* HardwareActivityName(HardwareActivity activity);

class HardwareSession {
  public:
    // The session held by one activity; released when it goes.
    class Hold {
      public:
        Hold() = default;
        Hold(Hold&& other) noexcept;
        Hold& operator=(Hold&& other) noexcept;
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        ~Hold() { Release(); }

        bool Owns() const { return session_ != nullptr; }
        explicit operator bool() const { return Owns(); }
        void Release();

      private:
        friend class HardwareSession;
        explicit Hold(HardwareSession* session) : session_(session) {}
        HardwareSession* session_ = nullptr;
    };

    HardwareSession() = default;
    HardwareSession(const HardwareSession&) = delete;
    HardwareSession& operator=(const HardwareSession&) = delete;

    // Waits for the session while the calling thread is not asked to stop; an empty hold when
    // it was.
    Hold Acquire(HardwareActivity activity);
    // Waits at most `timeout` of real time (and never once the calling thread is asked to stop).
    Hold AcquireWithin(HardwareActivity activity, std::chrono::milliseconds timeout);
    // Takes the session only when it is free now.
    Hold TryAcquire(HardwareActivity activity);

    // The activity holding the session (None when it is free).
    HardwareActivity Holder() const { return holder_.load(); }
    bool Busy() const { return Holder() != HardwareActivity::None; }

    // `listener()` runs on the thread that changed the holder, after the change (it reads
    // Holder() for the holder now: another change may already have followed). A
    // removed listener is never called again once RemoveListener has returned (unless it is
    // removed from inside its own call).
    int AddListener(std::function<void()> listener) { return listeners_.Add(std::move(listener)); }
    void RemoveListener(int id) { listeners_.Remove(id); }

  private:
    bool TryTake(HardwareActivity activity);
    // Polls for the session until it is taken, the calling thread is asked to stop, or the
    // deadline (when there is one) has passed.
    Hold Wait(HardwareActivity activity,
              std::optional<std::chrono::steady_clock::time_point> deadline);
    void Give();

    // Held by the holder; taken by polling try_lock (ThreadSanitizer follows try_lock, not the
    // timed forms).
    std::mutex lock_;
    std::atomic<HardwareActivity> holder_{HardwareActivity::None};
    ListenerList<> listeners_;
};

}  // namespace qnl
