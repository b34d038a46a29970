#include "platform/Clock.h"

#include <algorithm>
#include <condition_variable>
#include <thread>

#include "platform/Cancellation.h"

namespace qnl {

LocalTime IClock::LocalNow() { return LocalTimeOf(WallNow()); }

LocalTime LocalTimeOf(std::time_t t) {
    std::tm tm{};
#if defined(_WIN32)
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                     tm.tm_hour,        tm.tm_min,     tm.tm_sec};
}

namespace {

#if defined(_WIN32)
// Days from 1970-01-01 to a proleptic Gregorian date (month 1..12).
long long DaysFromCivil(long long year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

long long MinutesSinceEpoch(const std::tm& tm) {
    return DaysFromCivil(tm.tm_year + 1900LL, tm.tm_mon + 1, tm.tm_mday) * 1440 +
           tm.tm_hour * 60 + tm.tm_min;
}
#endif

}  // namespace

ZonedTime ZonedTimeOf(std::time_t t) {
    std::tm tm{};
    ZonedTime zoned;
#if defined(_WIN32)
    // The C runtime has no offset field: the offset is the local broken-down time less the
    // UTC one, both of the same moment.
    std::tm utc{};
    localtime_s(&tm, &t);
    gmtime_s(&utc, &t);
    zoned.utcOffsetMinutes = static_cast<int>(MinutesSinceEpoch(tm) - MinutesSinceEpoch(utc));
#else
    localtime_r(&t, &tm);
    zoned.utcOffsetMinutes = static_cast<int>(tm.tm_gmtoff / 60);
#endif
    zoned.local = LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                            tm.tm_hour,        tm.tm_min,     tm.tm_sec};
    return zoned;
}

RealClock::RealClock(double timeScale)
    : scale_(timeScale > 0.0 && timeScale <= 1.0 ? timeScale : 1.0),
      start_(std::chrono::steady_clock::now()) {}

bool RealClock::SleepMs(std::uint32_t milliseconds) {
    const auto realDuration = std::chrono::duration<double, std::micro>(
        static_cast<double>(milliseconds) * 1000.0 * scale_);
    const auto deadline =
        std::chrono::steady_clock::now() +
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(realDuration);
    std::stop_token token = CurrentStopToken();
    if (!token.stop_possible()) {
        std::this_thread::sleep_until(deadline);
        return true;
    }
    std::mutex m;
    std::condition_variable_any cv;
    std::unique_lock lock(m);
    // wait_until with a stop token returns early (true) when a stop is requested.
    cv.wait_until(lock, token, deadline, [] { return false; });
    return !token.stop_requested();
}

std::uint64_t RealClock::NowUs() {
    const auto real = std::chrono::duration<double, std::micro>(
        std::chrono::steady_clock::now() - start_);
    return static_cast<std::uint64_t>(real.count() / scale_);
}

std::time_t RealClock::WallNow() { return std::time(nullptr); }

bool ManualClock::SleepMs(std::uint32_t milliseconds) {
    std::lock_guard lock(mutex_);
    sleeps_.push_back(milliseconds);
    nowUs_ += static_cast<std::uint64_t>(milliseconds) * 1000;
    return !StopRequested();
}

std::uint64_t ManualClock::NowUs() {
    std::lock_guard lock(mutex_);
    return nowUs_;
}

std::time_t ManualClock::WallNow() {
    std::lock_guard lock(mutex_);
    std::tm tm{};
    tm.tm_year = local_.year - 1900;
    tm.tm_mon = local_.month - 1;
    tm.tm_mday = local_.day;
    tm.tm_hour = local_.hour;
    tm.tm_min = local_.minute;
    tm.tm_sec = local_.second;
    tm.tm_isdst = -1;
    return std::mktime(&tm) + static_cast<std::time_t>(nowUs_ / 1000000);
}

LocalTime ManualClock::LocalNow() {
    std::lock_guard lock(mutex_);
    return local_;
}

void ManualClock::AdvanceMs(std::uint64_t milliseconds) {
    std::lock_guard lock(mutex_);
    nowUs_ += milliseconds * 1000;
}

void ManualClock::SetLocalTime(const LocalTime& t) {
    std::lock_guard lock(mutex_);
    local_ = t;
}

std::vector<std::uint32_t> ManualClock::Sleeps() const {
    std::lock_guard lock(mutex_);
    return sleeps_;
}

void ManualClock::ClearSleeps() {
    std::lock_guard lock(mutex_);
    sleeps_.clear();
}

}  // namespace qnl
