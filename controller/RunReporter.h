// What a run reports while it works: result cells by name, a host's refreshed device facts and
// console lines. The result table implements it (app/ResultTable.h); the window observes the
// table. The runs name their results; only the table knows which column of a page shows them.
//
// Writes from a worker thread pass its report gate (platform/Worker.h): once its supervisor
// has given up on a host, nothing the worker reports is shown. Within one run a cell that shows
// FAIL keeps it: a later PASS (or "doing") for the same host and result is not shown.
#pragma once

#include <cstdint>
#include <string>

namespace qnl {

// The results a run writes, by name.
enum class ResultItem : std::uint8_t {
    FwUpdate,
    FwCheck,
    Usb2Port1,
    Usb2Port2,
    Usb3Port1,
    Usb3Port2,
    Usb31Port1,
    Usb31Port2,
    SignalLineOverall,  // signal line or fixture test
    TerminationOverall,
    LoopBackOverall,
};

// The page whose column layout a run writes into: the page it was started from.
enum class ResultLayout : std::uint8_t { Main = 0, Upgrade = 1, Test = 2 };

// A cell's state; its colour follows (white, green, red).
enum class CellState : std::uint8_t { Doing = 0, Pass = 1, Fail = 2 };

// The port result of a speed bit (1 USB 2.0, 2 USB 3.0, 4 USB 3.1) and a port (1 or 2).
constexpr ResultItem PortResultItem(std::uint32_t speed, std::uint32_t port) {
    const int base = speed == 1 ? 0 : speed == 2 ? 2 : 4;
    return static_cast<ResultItem>(static_cast<int>(ResultItem::Usb2Port1) + base +
                                   (port == 2 ? 1 : 0));
}

class IRunReporter {
  public:
    virtual ~IRunReporter() = default;
    // One result: `text` on the state's colour, with the operation's error code where it
    // failed. A result the layout has no column for is recorded, not shown.
    virtual void ShowResult(ResultLayout layout, std::uint8_t host, ResultItem item,
                            CellState state, const std::string& text,
                            std::int32_t errorCode = 0) = 0;
    // The host's device facts (version, IDs, address) as its record holds them now.
    virtual void RefreshHost(std::uint8_t host) = 0;
    // A progress line of the run (shown on the console in console mode).
    virtual void ConsoleLine(const std::string& text) = 0;
    // A new run starts: FAIL cells of the last run may be replaced again.
    virtual void BeginRun() = 0;
    // The run has ended (its workers finished or were given up on): no result stays "doing".
    // One that never started is blank, one that started without a verdict FAIL.
    virtual void EndRun(ResultLayout layout) = 0;
};

}  // namespace qnl
