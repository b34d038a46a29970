// Cooperative cancellation of worker threads.
//
// Nothing in the tool is ever killed. A supervisor that gives up on a worker requests a stop on
// the worker's stop source; the worker's sleeps (IClock::SleepMs) and the simulated station's
// blocking calls look at the calling thread's current stop token and return early.
#pragma once

#include <stop_token>

namespace qnl {

// The stop token that belongs to the calling thread (a default, never-stopping token unless a
// StopTokenScope is active on this thread).
std::stop_token CurrentStopToken();
bool StopRequested();

// Installs a stop token for the calling thread for the lifetime of the scope.
class StopTokenScope {
public:
    explicit StopTokenScope(std::stop_token token);
    ~StopTokenScope();
    StopTokenScope(const StopTokenScope&) = delete;
    StopTokenScope& operator=(const StopTokenScope&) = delete;

private:
    std::stop_token token_;
    const std::stop_token* previous_;
};

}  // namespace qnl
