#include "platform/Cancellation.h"

#include <utility>

namespace qnl {
namespace {
// A plain pointer to the token of the innermost scope: a thread-local object with a destructor
// would be destroyed at thread exit, which the Windows threads runtime does not order safely
// with its own clean-up (heap corruption when the thread is joined).
thread_local const std::stop_token* t_currentToken = nullptr;
}  // namespace

std::stop_token CurrentStopToken() {
    return t_currentToken != nullptr ? *t_currentToken : std::stop_token();
}

bool StopRequested() {
    return t_currentToken != nullptr && t_currentToken->stop_requested();
}

StopTokenScope::StopTokenScope(std::stop_token token)
    : token_(std::move(token)), previous_(t_currentToken) {
    t_currentToken = &token_;
}

StopTokenScope::~StopTokenScope() {
    t_currentToken = previous_;
}

}  // namespace qnl
