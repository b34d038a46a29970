// The record of one run: per host and per result item what happened (state, the text the
// table shows, the error code, when it started and ended), and the facts of the run itself.
//
// The record is what a run claims. The result table (list and console lines) is a view of it,
// and the day's result log and the run records for factory systems are written from it, never
// from the table's cells.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "controller/RunReporter.h"
#include "controller/TargetHost.h"
#include "platform/Clock.h"

namespace qnl {

inline constexpr std::size_t kResultItemCount =
    static_cast<std::size_t>(ResultItem::LoopBackOverall) + 1;

// The item's name in the run records ("fw_update", "usb2_port1", ...).
const char* ResultItemKey(ResultItem item);

// What happened to one result item of one host in this run.
enum class ItemState : std::uint8_t {
    NotRun,   // not part of the run (or never reached): blank
    Pending,  // part of the run, not started yet (the table shows "doing")
    Doing,    // started, no verdict yet
    Pass,
    Fail,
};

// "not_run", "doing" (also for Pending), "pass", "fail"
const char* ItemStateKey(ItemState state);

struct ItemEntry {
    ItemState state = ItemState::NotRun;
    std::string text;            // what the table shows for it ("PASS", "FAIL", "doing", ...)
    std::int32_t errorCode = 0;  // 0, or the operation's error code
    // Its step began: a writer reported it in progress, or passed it. A FAIL given to a host
    // that never got to the step (given up on while it waited) leaves this false.
    bool started = false;
    // On the tool's clock (IClock::NowUs, nominal microseconds); 0 while not reached.
    std::uint64_t startUs = 0;
    std::uint64_t endUs = 0;

    // Nominal milliseconds from start to end; 0 while it has not both.
    std::uint64_t DurationMs() const {
        return startUs != 0 && endUs >= startUs ? (endUs - startUs) / 1000 : 0;
    }
};

// One host of the run: who it is, what it ran with and how each item went.
struct HostEntry {
    std::uint8_t index = kNoHostIndex;
    std::uint8_t bus = 0;
    std::uint8_t device = 0;
    std::uint8_t function = 0;
    std::string ssid;  // 4 lower-case hex digits
    std::string svid;
    std::string fwVersionBefore;  // as discovery read it before the run
    std::string fwVersionAfter;   // as the host reports it at the run's end
    std::array<ItemEntry, kResultItemCount> items{};

    ItemEntry& Item(ResultItem item) { return items[static_cast<std::size_t>(item)]; }
    const ItemEntry& Item(ResultItem item) const { return items[static_cast<std::size_t>(item)]; }
};

// The facts of a run that are not per host.
struct RunFacts {
    std::string toolVersion;    // "1.1.2.1"
    std::string stationHost;    // the station's host name
    std::string backend;        // the I/O backend ("sim", "linux", "dll:...")
    std::time_t startTime = 0;  // wall clock, seconds since the epoch
    std::time_t endTime = 0;
    std::string settingsFileName;  // the settings file the run's values came from
    std::string settingsSha256;    // of its bytes; empty when it could not be read
    std::string firmwareFileName;  // the firmware file chosen ("" without firmware items)
    std::uint64_t firmwareSize = 0;
    std::string firmwareSha256;
    std::string firmwareVersion;  // "%02X%02X%02X_%02X_%02X_%02X" of the file
    std::string serialNumber;     // the board's scanned serial number ("" when none)
    std::uint8_t page = 0;        // 0 main, 1 upgrade, 2 test
    std::uint8_t itemMask = 0;    // the run's testing items
    std::int32_t exitCode = 0;
};

// The record of the current run, shared by its workers: thread-safe. A FAIL stays: within one
// run an entry that failed is never set to anything but FAIL again (a later PASS, or a "doing",
// of the same host and item is dropped). Each write is stamped on the tool's clock.
class RunRecord {
  public:
    explicit RunRecord(IClock& clock) : clock_(clock) {}
    RunRecord(const RunRecord&) = delete;
    RunRecord& operator=(const RunRecord&) = delete;

    // A new run: every entry blank again, the hosts as the table holds them now.
    void Begin(const std::array<TargetHost, kMaxHosts>& hosts, std::uint8_t hostCount);
    // Sets one entry; returns it as it stands afterwards (a FAIL kept). A host outside the
    // table is ignored.
    ItemEntry Set(std::uint8_t host, ResultItem item, ItemState state, const std::string& text,
                  std::int32_t errorCode = 0);
    // The host's facts as they are at the run's end (version after the update).
    void SetFinalFacts(std::uint8_t host, const TargetHost& record);

    // One entry the run's end settled.
    struct Settled {
        std::uint8_t host;
        ResultItem item;
        ItemEntry entry;
    };
    // The run's end: no entry stays without a verdict. One still pending never started: blank
    // (" ", not run). One still in progress did not end: FAIL (with -9 when it had no code).
    // Returns the entries it changed.
    std::vector<Settled> SettleUnfinished();

    HostEntry Host(std::uint8_t host) const;
    // The hosts of the run, in table order.
    std::vector<HostEntry> Hosts() const;

  private:
    IClock& clock_;
    mutable std::mutex mutex_;
    std::array<HostEntry, kMaxHosts> hosts_{};
    std::uint8_t hostCount_ = 0;
};

}  // namespace qnl
