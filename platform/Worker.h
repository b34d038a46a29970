// Worker threads that can be given up on, and a lock that survives a worker given up on.
//
// Nothing in the tool is killed. A supervisor whose time limit passes asks a worker to stop
// (its sleeps and the simulated station's blocking calls return early), stops waiting for it
// and lets it finish on its own; its shared state stays alive until it does.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

namespace qnl {

class Worker {
public:
    // Starts `body` on a new thread; the thread's current stop token is this worker's.
    static std::shared_ptr<Worker> Start(std::function<void()> body);
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    bool Finished() const;
    void RequestStop();
    // Waits (in real time) until the body returned; false when it did not within the time.
    bool WaitFinished(std::chrono::milliseconds timeout);
    // Stops waiting for the worker: requests a stop and detaches the thread, which keeps the
    // worker's state alive until the body returns.
    void Abandon();

private:
    Worker() = default;
    struct State {
        std::stop_source stop;
        std::mutex mutex;
        std::condition_variable cv;
        bool finished = false;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
    std::thread thread_;
};

// A mutual-exclusion lock whose holder can be declared lost. Acquire waits until the lock is
// free or the caller's stop token is requested; a supervisor that gives up on a worker holding
// the lock releases it with Revoke, and the lost worker's later Release is then ignored.
class RecoverableLock {
public:
    using Ticket = std::uint64_t;  // 0 = not acquired

    // Waits for the lock; 0 when the calling thread's stop token was requested first.
    Ticket Acquire();
    void Release(Ticket ticket);
    // Releases the lock if `ticket` still holds it.
    void Revoke(Ticket ticket);
    bool Held() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable_any cv_;
    Ticket holder_ = 0;
    Ticket next_ = 1;
};

// Holds a RecoverableLock for a scope.
class RecoverableLockGuard {
public:
    explicit RecoverableLockGuard(RecoverableLock& lock) : lock_(lock), ticket_(lock.Acquire()) {}
    ~RecoverableLockGuard() {
        if (ticket_ != 0) lock_.Release(ticket_);
    }
    RecoverableLockGuard(const RecoverableLockGuard&) = delete;
    RecoverableLockGuard& operator=(const RecoverableLockGuard&) = delete;
    bool Owns() const { return ticket_ != 0; }
    RecoverableLock::Ticket Ticket() const { return ticket_; }

private:
    RecoverableLock& lock_;
    RecoverableLock::Ticket ticket_;
};

}  // namespace qnl
