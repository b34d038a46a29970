#include "platform/Worker.h"

#include "platform/Cancellation.h"

namespace qnl {

std::shared_ptr<Worker> Worker::Start(std::function<void()> body) {
    std::shared_ptr<Worker> worker(new Worker());
    auto state = worker->state_;
    worker->thread_ = std::thread([state, body = std::move(body)] {
        {
            StopTokenScope scope(state->stop.get_token());
            try {
                body();
            } catch (...) {
                // A worker reports its own failures; nothing may escape the thread.
            }
        }
        std::lock_guard lock(state->mutex);
        state->finished = true;
        state->cv.notify_all();
    });
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

void Worker::RequestStop() { state_->stop.request_stop(); }

bool Worker::WaitFinished(std::chrono::milliseconds timeout) {
    std::unique_lock lock(state_->mutex);
    const bool done = state_->cv.wait_for(lock, timeout, [&] { return state_->finished; });
    lock.unlock();
    if (done && thread_.joinable()) thread_.join();
    return done;
}

void Worker::Abandon() {
    state_->stop.request_stop();
    if (thread_.joinable()) thread_.detach();
}

RecoverableLock::Ticket RecoverableLock::Acquire() {
    std::stop_token token = CurrentStopToken();
    std::unique_lock lock(mutex_);
    if (!cv_.wait(lock, token, [&] { return holder_ == 0; })) return 0;
    holder_ = next_++;
    return holder_;
}

void RecoverableLock::Release(Ticket ticket) { Revoke(ticket); }

void RecoverableLock::Revoke(Ticket ticket) {
    std::lock_guard lock(mutex_);
    if (ticket == 0 || holder_ != ticket) return;
    holder_ = 0;
    cv_.notify_all();
}

bool RecoverableLock::Held() const {
    std::lock_guard lock(mutex_);
    return holder_ != 0;
}

}  // namespace qnl
