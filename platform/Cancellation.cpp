#include "platform/Cancellation.h"

#include <utility>

namespace qnl {
namespace {
thread_local std::stop_token t_currentToken;
}

std::stop_token CurrentStopToken() { return t_currentToken; }

bool StopRequested() { return t_currentToken.stop_requested(); }

StopTokenScope::StopTokenScope(std::stop_token token) : previous_(std::move(t_currentToken)) {
    t_currentToken = std::move(token);
}

StopTokenScope::~StopTokenScope() { t_currentToken = std::move(previous_); }

}  // namespace qnl
