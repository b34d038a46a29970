// Listeners called on the notifying thread, outside the owner's own locks. A listener removed
// is never called again once Remove has returned: Remove waits for a call of it that is already
// running on another thread (a listener that removes itself from inside its call is not waited
// for), so its owner may go right after.
#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace qnl {

template <typename... Args>
class ListenerList {
  public:
    using Listener = std::function<void(Args...)>;

    int Add(Listener listener) {
        std::lock_guard lock(mutex_);
        const int id = next_++;
        listeners_[id] = std::move(listener);
        return id;
    }

    void Remove(int id) {
        std::unique_lock lock(mutex_);
        listeners_.erase(id);
        const auto self = std::this_thread::get_id();
        idle_.wait(lock, [&] {
            const auto [first, last] = calling_.equal_range(id);
            for (auto it = first; it != last; ++it)
                if (it->second != self) return false;
            return true;
        });
    }

    void Notify(Args... args) {
        const auto self = std::this_thread::get_id();
        std::vector<std::pair<int, Listener>> calls;
        {
            std::lock_guard lock(mutex_);
            for (const auto& [id, listener] : listeners_) {
                calls.emplace_back(id, listener);
                calling_.emplace(id, self);
            }
        }
        for (std::size_t i = 0; i < calls.size(); ++i) {
            // A listener removed meanwhile (by another thread, which now waits for this call to
            // end) is skipped.
            bool still = false;
            {
                std::lock_guard lock(mutex_);
                still = listeners_.count(calls[i].first) != 0;
            }
            try {
                if (still) calls[i].second(args...);
            } catch (...) {
                Done(calls[i].first, self);
                for (std::size_t j = i + 1; j < calls.size(); ++j) Done(calls[j].first, self);
                throw;
            }
            Done(calls[i].first, self);
        }
    }

  private:
    void Done(int id, std::thread::id self) {
        std::lock_guard lock(mutex_);
        const auto [first, last] = calling_.equal_range(id);
        for (auto it = first; it != last; ++it)
            if (it->second == self) {
                calling_.erase(it);
                break;
            }
        idle_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable idle_;
    std::map<int, Listener> listeners_;
    std::multimap<int, std::thread::id> calling_;
    int next_ = 1;
};

}  // namespace qnl
