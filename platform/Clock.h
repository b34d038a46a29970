// One clock for every sleep, every elapsed-time measurement and every wall-clock read.
//
// RealClock runs at real time; a time scale below 1 (the simulated station's "time_scale")
// shortens every sleep by that factor and stretches measured time by its inverse, so the
// protocol's long waits pass quickly while the tool's own logic sees the nominal durations.
// ManualClock never sleeps: it advances its own time and records each sleep, for unit tests
// of exact waits.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <vector>

namespace qnl {

// Broken-down local time as the result log and the export files need it.
struct LocalTime {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// Local broken-down time of a wall-clock time (seconds since the epoch).
LocalTime LocalTimeOf(std::time_t time);

// Local broken-down time together with the local zone's offset from UTC at that moment
// (minutes east of UTC: +60 in central European winter time, -300 in US eastern winter time;
// summer time included).
struct ZonedTime {
    LocalTime local;
    int utcOffsetMinutes = 0;
};
ZonedTime ZonedTimeOf(std::time_t time);

class IClock {
public:
    virtual ~IClock() = default;
    // Sleeps for the nominal duration. Returns false when the calling thread's stop token was
    // requested before the time was up (the sleep then ends early).
    virtual bool SleepMs(std::uint32_t milliseconds) = 0;
    // Nominal monotonic time in microseconds (scaled like the sleeps).
    virtual std::uint64_t NowUs() = 0;
    // Wall-clock time as seconds since the epoch (not scaled).
    virtual std::time_t WallNow() = 0;
    // Local broken-down time of WallNow().
    virtual LocalTime LocalNow();
    std::uint64_t NowMs() { return NowUs() / 1000; }
};

class RealClock final : public IClock {
public:
    // timeScale in (0, 1]: real duration = nominal duration x timeScale.
    explicit RealClock(double timeScale = 1.0);
    bool SleepMs(std::uint32_t milliseconds) override;
    std::uint64_t NowUs() override;
    std::time_t WallNow() override;
    double TimeScale() const { return scale_; }

private:
    double scale_;
    std::chrono::steady_clock::time_point start_;
};

class ManualClock final : public IClock {
public:
    bool SleepMs(std::uint32_t milliseconds) override;
    std::uint64_t NowUs() override;
    std::time_t WallNow() override;
    LocalTime LocalNow() override;

    void AdvanceMs(std::uint64_t milliseconds);
    void SetLocalTime(const LocalTime& t);
    std::vector<std::uint32_t> Sleeps() const;
    void ClearSleeps();

private:
    mutable std::mutex mutex_;
    std::uint64_t nowUs_ = 0;
    LocalTime local_{2026, 1, 1, 8, 0, 0};
    std::vector<std::uint32_t> sleeps_;
};

}  // namespace qnl
