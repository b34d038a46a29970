// Worker threads that can be given up on, the gate through which they report, and a lock that
// survives a worker given up on.
//
// Nothing in the tool is killed. A supervisor whose time limit passes asks a worker to stop
// (its sleeps and the simulated station's blocking calls return early), closes the worker's
// report gate (from then on nothing the worker reports is written), releases the locks the
// worker holds and lets it finish on its own; the worker's shared state stays alive until it
// does.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace qnl {

class IClock;

class Worker {
  public:
    // Starts `body` on a new thread; the thread's current stop token is this worker's.
    // `onException` runs on the worker's thread when the body throws.
    static std::shared_ptr<Worker> Start(std::function<void()> body,
                                         std::function<void()> onException = {});
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

    // Threads started by Worker::Start whose body has not returned yet (process-wide).
    static int Running();
    // Waits (in real time) until no such thread is left; false when some remain at the end.
    static bool WaitAllFinished(std::chrono::milliseconds timeout);

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

// Waits until `worker` finished (true), or until `limitMs` passed on `clock` and at least
// `minReal` of real time (false): on a fast-running simulated station a busy machine must not
// make a healthy controller look hung.
bool WaitFinishedWithin(Worker& worker, IClock& clock, std::uint64_t limitMs,
                        std::chrono::milliseconds minReal);

// The shared state of a RecoverableLock (kept alive by every holder).
struct RecoverableLockState;

// A host worker's standing with its supervisor. While the gate is open the worker reports
// through it (cells, console lines, stored results, shared state); the worker's last report
// marks it finished. A supervisor that gives up on the worker closes the gate and writes its
// own verdict under it, in one step: after that nothing the worker reports is written, and a
// lock it takes is released again at once.
class ReportGate {
  public:
    using Ticket = std::uint64_t;

    // Runs `write` while the gate is open (serialised with the supervisor's verdict). True when
    // it ran.
    template <typename Writer>
    bool Write(Writer&& write) {
        std::lock_guard lock(*mutex_);
        if (closed_) return false;
        write();
        return true;
    }
    // `lock`: the lock the gate's writes and verdict take (a lock the reported records are
    // read under elsewhere, shared by the gates of one host); null: a lock of its own.
    explicit ReportGate(std::shared_ptr<std::recursive_mutex> lock = nullptr);
    // The worker's end: marks it finished unless it was given up on. False when given up on.
    bool Finish();
    // Gives up on the worker unless it finished: closes the gate and runs `verdict` under it.
    // True when it gave up. A closed gate stays closed.
    bool GiveUp(const std::function<void()>& verdict);
    bool Finished() const;
    bool Closed() const;

  private:
    friend struct RecoverableLockState;
    friend class WorkerGroup;
    friend class RecoverableLock;
    friend class RecoverableLockGuard;
    struct HeldLock {
        std::shared_ptr<RecoverableLockState> lock;
        Ticket ticket;
    };
    // Records a lock the worker took; false when the gate is closed (the lock is not kept).
    bool RecordHeld(const std::shared_ptr<RecoverableLockState>& lock, Ticket ticket);
    void ForgetHeld(const RecoverableLockState* lock, Ticket ticket);
    std::vector<HeldLock> TakeHeld();

    std::shared_ptr<std::recursive_mutex> mutex_;
    bool closed_ = false;
    bool finished_ = false;
    std::vector<HeldLock> held_;
};

// The report gate of the calling thread (null outside a WorkerGroup's worker).
ReportGate* CurrentReportGate();

// Runs `write` through the calling thread's gate, or at once on a thread without one. True
// when it ran.
template <typename Writer>
bool GatedWrite(Writer&& write) {
    if (ReportGate* gate = CurrentReportGate()) return gate->Write(write);
    write();
    return true;
}

// Whether the calling thread may still report (it has no gate, or its gate is open).
bool MayReport();

// One worker per host, waited for with a limit on the tool's clock and given up on through the
// hosts' report gates. A group belongs to one supervisor run; workers it abandons keep their
// gate (and what their body captured) alive until they return.
class WorkerGroup {
  public:
    // `recordLocks[host]`, where given, is the lock host `host`'s gate writes under.
    explicit WorkerGroup(IClock& clock,
                         std::vector<std::shared_ptr<std::recursive_mutex>> recordLocks = {});
    ~WorkerGroup();
    WorkerGroup(const WorkerGroup&) = delete;
    WorkerGroup& operator=(const WorkerGroup&) = delete;

    // Starts `body` for `host`: its thread's stop token and report gate are the host's. When the
    // body throws, `onException` runs on the worker's thread, through the gate. The host is
    // finished when the body returns (normally or by an exception) and was not given up on.
    void Start(std::size_t host, std::function<void()> body,
               std::function<void()> onException = {});

    bool Started(std::size_t host) const;
    bool Finished(std::size_t host) const;
    std::vector<std::size_t> StartedHosts() const;
    // The host's gate (null when no worker was started for it).
    std::shared_ptr<ReportGate> Gate(std::size_t host) const;

    // Waits until every started worker finished (true), or `limitMs` passed on the clock or the
    // calling thread was asked to stop (false). `onPoll` runs before each poll's sleep.
    bool Wait(std::uint64_t limitMs, std::uint32_t pollMs,
              const std::function<void()>& onPoll = {});

    // Gives up on every started host that has not finished: closes each one's gate with
    // `verdict(host)` written under it, then asks all of them to stop, then releases the locks
    // they hold (none of them can take a lock another one leaves). Returns the hosts given up
    // on.
    std::vector<std::size_t> GiveUpUnfinished(const std::function<void(std::size_t)>& verdict);

    // Asks every worker to stop and waits for them in real time; false when some did not
    // return within `timeout`.
    bool StopAndWait(std::chrono::milliseconds timeout);

  private:
    struct Member {
        std::shared_ptr<Worker> worker;
        std::shared_ptr<ReportGate> gate;
    };
    IClock& clock_;
    const std::vector<std::shared_ptr<std::recursive_mutex>> recordLocks_;
    mutable std::mutex mutex_;
    std::map<std::size_t, Member> members_;
};

// Asks every worker of `groups` to stop and waits for them in real time, all within `timeout`;
// false when some did not return.
bool StopAndWait(const std::vector<std::shared_ptr<WorkerGroup>>& groups,
                 std::chrono::milliseconds timeout);

// A mutual-exclusion lock whose holder can be declared lost. Acquire waits until the lock is
// free or the caller is stopped; a caller that was asked to stop (its stop token) or given up
// on (its report gate) never gets the lock, even when it is free. A supervisor that gives up
// on a worker holding the lock releases it with Revoke (WorkerGroup does it through the
// worker's gate), and the lost worker's later Release is then ignored.
class RecoverableLock {
  public:
    using Ticket = std::uint64_t;  // 0 = not acquired

    RecoverableLock();
    // Waits for the lock; 0 when the calling thread was stopped or given up on.
    Ticket Acquire();
    void Release(Ticket ticket);
    // Releases the lock if `ticket` still holds it.
    void Revoke(Ticket ticket);
    bool Held() const;

  private:
    friend class RecoverableLockGuard;
    std::shared_ptr<RecoverableLockState> state_;
};

struct RecoverableLockState {
    RecoverableLock::Ticket Acquire(const std::shared_ptr<RecoverableLockState>& self);
    void Revoke(RecoverableLock::Ticket ticket);

    mutable std::mutex mutex;
    std::condition_variable_any cv;
    RecoverableLock::Ticket holder = 0;
    RecoverableLock::Ticket next = 1;
};

// Holds a RecoverableLock for a scope. It keeps the lock's state alive, so a worker that
// returns after the lock's owner is gone releases safely.
class RecoverableLockGuard {
  public:
    explicit RecoverableLockGuard(RecoverableLock& lock);
    ~RecoverableLockGuard();
    RecoverableLockGuard(const RecoverableLockGuard&) = delete;
    RecoverableLockGuard& operator=(const RecoverableLockGuard&) = delete;
    bool Owns() const { return ticket_ != 0; }
    RecoverableLock::Ticket Ticket() const { return ticket_; }

  private:
    std::shared_ptr<RecoverableLockState> state_;
    RecoverableLock::Ticket ticket_;
};

}  // namespace qnl
