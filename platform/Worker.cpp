#include "platform/Worker.h"

#include <algorithm>
#include <utility>

#include "platform/Cancellation.h"
#include "platform/Clock.h"

namespace qnl {

namespace {

// Threads of Worker::Start whose body has not returned. Never destroyed: a detached worker
// that returns while the process exits still finds them.
struct RunningThreads {
    std::mutex mutex;
    std::condition_variable cv;
    int count = 0;
};
RunningThreads& RunningThreadsOfProcess() {
    static RunningThreads* threads = new RunningThreads();
    return *threads;
}

thread_local ReportGate* t_currentGate = nullptr;

// Installs a report gate for the calling thread for the lifetime of the scope.
class ReportGateScope {
  public:
    explicit ReportGateScope(ReportGate* gate) : previous_(t_currentGate) { t_currentGate = gate; }
    ~ReportGateScope() { t_currentGate = previous_; }
    ReportGateScope(const ReportGateScope&) = delete;
    ReportGateScope& operator=(const ReportGateScope&) = delete;

  private:
    ReportGate* previous_;
};

}  // namespace

// --- Worker ------------------------------------------------------------------------------------

std::shared_ptr<Worker> Worker::Start(std::function<void()> body,
                                      std::function<void()> onException) {
    std::shared_ptr<Worker> worker(new Worker());
    auto state = worker->state_;
    {
        std::lock_guard lock(RunningThreadsOfProcess().mutex);
        ++RunningThreadsOfProcess().count;
    }
    try {
        worker->thread_ = std::thread(
            [state, body = std::move(body), onException = std::move(onException)]() mutable {
                {
                    StopTokenScope scope(state->stop.get_token());
                    try {
                        body();
                    } catch (...) {
                        // Nothing may escape the thread; the owner reports the failure.
                        try {
                            if (onException) onException();
                        } catch (...) {
                        }
                    }
                    // What the body captured is released before the thread counts as ended.
                    body = nullptr;
                    onException = nullptr;
                }
                {
                    std::lock_guard lock(state->mutex);
                    state->finished = true;
                    state->cv.notify_all();
                }
                std::lock_guard lock(RunningThreadsOfProcess().mutex);
                --RunningThreadsOfProcess().count;
                RunningThreadsOfProcess().cv.notify_all();
            });
    } catch (...) {
        std::lock_guard lock(RunningThreadsOfProcess().mutex);
        --RunningThreadsOfProcess().count;
        throw;
    }
    return worker;
}

Worker::~Worker() {
    if (!thread_.joinable()) return;
    if (Finished()) {
        thread_.join();
    } else {
        state_->stop.request_stop();
        thread_.detach();
    }
}

bool Worker::Finished() const {
    std::lock_guard lock(state_->mutex);
    return state_->finished;
}

void Worker::RequestStop() {
    state_->stop.request_stop();
}

bool Worker::WaitFinished(std::chrono::milliseconds timeout) {
    std::unique_lock lock(state_->mutex);
    const bool done = state_->cv.wait_for(lock, timeout, [&] { return state_->finished; });
    lock.unlock();
    if (done && thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
    return done;
}

void Worker::Abandon() {
    state_->stop.request_stop();
    if (thread_.joinable()) thread_.detach();
}

int Worker::Running() {
    std::lock_guard lock(RunningThreadsOfProcess().mutex);
    return RunningThreadsOfProcess().count;
}

bool WaitFinishedWithin(Worker& worker, IClock& clock, std::uint64_t limitMs,
                        std::chrono::milliseconds minReal) {
    const std::uint64_t start = clock.NowMs();
    const auto realStart = std::chrono::steady_clock::now();
    while (!worker.WaitFinished(std::chrono::milliseconds(5))) {
        if (clock.NowMs() - start > limitMs &&
            std::chrono::steady_clock::now() - realStart >= minReal)
            return false;
    }
    return true;
}

bool Worker::WaitAllFinished(std::chrono::milliseconds timeout) {
    std::unique_lock lock(RunningThreadsOfProcess().mutex);
    return RunningThreadsOfProcess().cv.wait_for(
        lock, timeout, [] { return RunningThreadsOfProcess().count == 0; });
}

// --- ReportGate --------------------------------------------------------------------------------

ReportGate::ReportGate(std::shared_ptr<std::recursive_mutex> lock)
    : mutex_(lock ? std::move(lock) : std::make_shared<std::recursive_mutex>()) {}

bool ReportGate::Finish() {
    std::lock_guard lock(*mutex_);
    if (closed_) return false;
    finished_ = true;
    return true;
}

bool ReportGate::GiveUp(const std::function<void()>& verdict) {
    std::lock_guard lock(*mutex_);
    if (finished_ || closed_) return false;
    closed_ = true;
    if (verdict) verdict();
    return true;
}

bool ReportGate::Finished() const {
    std::lock_guard lock(*mutex_);
    return finished_;
}

bool ReportGate::Closed() const {
    std::lock_guard lock(*mutex_);
    return closed_;
}

bool ReportGate::RecordHeld(const std::shared_ptr<RecoverableLockState>& lock, Ticket ticket) {
    std::lock_guard guard(*mutex_);
    if (closed_) return false;
    held_.push_back({lock, ticket});
    return true;
}

void ReportGate::ForgetHeld(const RecoverableLockState* lock, Ticket ticket) {
    std::lock_guard guard(*mutex_);
    std::erase_if(held_,
                  [&](const HeldLock& h) { return h.lock.get() == lock && h.ticket == ticket; });
}

std::vector<ReportGate::HeldLock> ReportGate::TakeHeld() {
    std::lock_guard guard(*mutex_);
    return std::exchange(held_, {});
}

ReportGate* CurrentReportGate() {
    return t_currentGate;
}

bool MayReport() {
    ReportGate* gate = t_currentGate;
    return gate == nullptr || !gate->Closed();
}

// --- WorkerGroup -------------------------------------------------------------------------------

WorkerGroup::WorkerGroup(IClock& clock,
                         std::vector<std::shared_ptr<std::recursive_mutex>> recordLocks)
    : clock_(clock), recordLocks_(std::move(recordLocks)) {}

WorkerGroup::~WorkerGroup() {
    std::lock_guard lock(mutex_);
    for (auto& [host, member] : members_)
        if (member.worker && !member.worker->Finished()) member.worker->Abandon();
}

void WorkerGroup::Start(std::size_t host, std::function<void()> body,
                        std::function<void()> onException) {
    auto gate =
        std::make_shared<ReportGate>(host < recordLocks_.size() ? recordLocks_[host] : nullptr);
    auto worker =
        Worker::Start([gate, body = std::move(body), onException = std::move(onException)] {
            ReportGateScope scope(gate.get());
            try {
                body();
            } catch (...) {
                if (onException) gate->Write(onException);
            }
            gate->Finish();
        });
    std::lock_guard lock(mutex_);
    // A worker still in the slot belongs to this group's earlier start for the host; it is
    // abandoned (it keeps its own gate).
    if (auto it = members_.find(host); it != members_.end() && it->second.worker)
        it->second.worker->Abandon();
    members_[host] = Member{std::move(worker), std::move(gate)};
}

bool WorkerGroup::Started(std::size_t host) const {
    std::lock_guard lock(mutex_);
    return members_.count(host) != 0;
}

bool WorkerGroup::Finished(std::size_t host) const {
    const auto gate = Gate(host);
    return gate != nullptr && gate->Finished();
}

std::vector<std::size_t> WorkerGroup::StartedHosts() const {
    std::lock_guard lock(mutex_);
    std::vector<std::size_t> hosts;
    for (const auto& [host, member] : members_) hosts.push_back(host);
    return hosts;
}

std::shared_ptr<ReportGate> WorkerGroup::Gate(std::size_t host) const {
    std::lock_guard lock(mutex_);
    auto it = members_.find(host);
    return it == members_.end() ? nullptr : it->second.gate;
}

bool WorkerGroup::Wait(std::uint64_t limitMs, std::uint32_t pollMs,
                       const std::function<void()>& onPoll) {
    const std::uint64_t start = clock_.NowMs();
    for (;;) {
        bool all = true;
        {
            std::lock_guard lock(mutex_);
            for (const auto& [host, member] : members_) all = all && member.gate->Finished();
        }
        if (onPoll) onPoll();
        if (all) return true;
        if (clock_.NowMs() - start > limitMs) return false;
        if (!clock_.SleepMs(pollMs)) return false;  // the supervisor itself is being stopped
    }
}

std::vector<std::size_t> WorkerGroup::GiveUpUnfinished(
    const std::function<void(std::size_t)>& verdict) {
    std::map<std::size_t, Member> members;
    {
        std::lock_guard lock(mutex_);
        members = members_;
    }
    // First every unfinished host's verdict, each under its gate: from then on its worker
    // reports nothing and keeps no lock it takes. Then every one of them is asked to stop, and
    // only then are their locks released, so a worker that waits for a lock cannot take the one
    // a given-up holder leaves.
    std::vector<std::size_t> givenUp;
    for (auto& [host, member] : members) {
        const std::size_t h = host;
        if (member.gate->GiveUp([&] {
                if (verdict) verdict(h);
            }))
            givenUp.push_back(host);
    }
    for (std::size_t host : givenUp) members[host].worker->RequestStop();
    for (std::size_t host : givenUp) {
        Member& member = members[host];
        for (const auto& held : member.gate->TakeHeld()) held.lock->Revoke(held.ticket);
        member.worker->Abandon();
    }
    return givenUp;
}

bool WorkerGroup::StopAndWait(std::chrono::milliseconds timeout) {
    std::map<std::size_t, Member> members;
    {
        std::lock_guard lock(mutex_);
        members = members_;
    }
    for (auto& [host, member] : members) member.worker->RequestStop();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool all = true;
    for (auto& [host, member] : members) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        all = member.worker->WaitFinished(std::max(left, std::chrono::milliseconds(0))) && all;
    }
    return all;
}

bool StopAndWait(const std::vector<std::shared_ptr<WorkerGroup>>& groups,
                 std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool all = true;
    for (const auto& group : groups) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        all = group->StopAndWait(std::max(left, std::chrono::milliseconds(0))) && all;
    }
    return all;
}

// --- RecoverableLock ---------------------------------------------------------------------------

RecoverableLock::RecoverableLock() : state_(std::make_shared<RecoverableLockState>()) {}

RecoverableLock::Ticket RecoverableLockState::Acquire(
    const std::shared_ptr<RecoverableLockState>& self) {
    std::stop_token token = CurrentStopToken();
    ReportGate* gate = CurrentReportGate();
    std::unique_lock lock(mutex);
    cv.wait(lock, token, [&] { return holder == 0; });
    // A caller that was asked to stop never takes the lock, even when it is free by now.
    if (token.stop_requested() || holder != 0) return 0;
    const RecoverableLock::Ticket ticket = next++;
    // The holder is recorded in its gate while the lock is taken, so a supervisor that gives
    // up on it afterwards releases it; one given up on already does not keep it.
    if (gate != nullptr && !gate->RecordHeld(self, ticket)) return 0;
    holder = ticket;
    return ticket;
}

void RecoverableLockState::Revoke(RecoverableLock::Ticket ticket) {
    std::lock_guard lock(mutex);
    if (ticket == 0 || holder != ticket) return;
    holder = 0;
    cv.notify_all();
}

RecoverableLock::Ticket RecoverableLock::Acquire() {
    return state_->Acquire(state_);
}

void RecoverableLock::Release(Ticket ticket) {
    state_->Revoke(ticket);
    if (ReportGate* gate = CurrentReportGate()) gate->ForgetHeld(state_.get(), ticket);
}

void RecoverableLock::Revoke(Ticket ticket) {
    state_->Revoke(ticket);
}

bool RecoverableLock::Held() const {
    std::lock_guard lock(state_->mutex);
    return state_->holder != 0;
}

RecoverableLockGuard::RecoverableLockGuard(RecoverableLock& lock)
    : state_(lock.state_), ticket_(state_->Acquire(state_)) {}

RecoverableLockGuard::~RecoverableLockGuard() {
    if (ticket_ == 0) return;
    state_->Revoke(ticket_);
    if (ReportGate* gate = CurrentReportGate()) gate->ForgetHeld(state_.get(), ticket_);
}

}  // namespace qnl
