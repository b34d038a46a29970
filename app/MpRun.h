// One MP run as an object: it is given everything it works with when it starts, runs its stages
// (prepare, firmware update and check, port tests, record) on the caller's thread, and returns
// its outcome. The exit code is a pure function of the outcome and the mode.
//
// The window's Start, the console's /A /G /F and the tests run the same object; the window's
// rules (what Start enables, timer 1) stay in the window's core. The caller holds the station's
// hardware session for the whole run.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "app/ResultLog.h"
#include "app/RunItems.h"
#include "app/ToolContext.h"
#include "firmware/Upgrade.h"
#include "settings/CIni.h"

namespace qnl {

// How the run talks to its operator: the window, a console, or a silent (/S) console.
struct RunMode {
    bool console = false;  // console lines are printed
    bool silent = false;   // /S: the test phase's error byte is the exit code
};

// What a run is given when it starts.
struct MpRunRequest {
    IniSettings settings;   // the values of the run (the pages may change theirs meanwhile)
    std::uint8_t page = 0;  // 0 main, 1 upgrade, 2 test: the page the run was started from
    std::uint8_t mask = 0;  // the testing items
    RunMode mode;
    std::string settingsPath;  // the settings file the values came from (for the run record)
    std::string backend;       // the I/O backend's name (for the run record)
};

// What happened, as far as the exit code is concerned.
struct MpRunOutcome {
    bool aborted = false;         // the run's thread stopped (an exception, a stop request)
    bool firmwareFailed = false;  // an early firmware failure, or the update or check failed
    bool testsRan = false;
    std::uint8_t testErrorByte = 0;              // the test phase's error byte
    std::optional<std::uint32_t> signalFailure;  // the first host's failing SLT/fixture result
    bool recordLost = false;  // the result log or the run record could not be written
    // Boards of the station the run did not serve: a controller that did not answer at
    // discovery (failed without being touched), or more controllers than the table holds.
    bool boardsLeftOut = false;
    std::string recordProblem;  // what could not be written, and why (the operator's message)
};

// The run's exit code:
//   0 every item passed;
//   1 a firmware item failed, the record was lost or boards were left out (both unless the
//     run failed with a code of its own), or the run was aborted;
//   with /S and the port tests run: the test phase's error byte;
//   without /S, failed port tests: the first failing host's signal line / fixture result, or 1.
std::int32_t RunExitCode(const MpRunOutcome& outcome, const RunMode& mode);

class MpRun {
  public:
    explicit MpRun(ToolContext& context) : ctx_(context) {}
    MpRun(const MpRun&) = delete;
    MpRun& operator=(const MpRun&) = delete;

    // Runs every stage; returns the exit code (RunExitCode of Outcome()).
    std::int32_t Run(const MpRunRequest& request);

    // A page's own run (the upgrade page's "Upgrade", a test button of the test page): that
    // page's items alone, as the window's run: no console lines, no serial number, no result
    // log or run record, the firmware the page's list chose. The caller holds the hardware; the
    // page's last results are cleared here, and "doing" marks the cells the run fills.
    void RunPageItems(std::uint8_t page, std::uint8_t items, const IniSettings& settings);

    const MpRunOutcome& Outcome() const { return outcome_; }

  private:
    void Prepare();
    void Firmware();
    void PortTests();
    std::int32_t Record();

    // The run's record for the factory systems, beside the day's result log.
    void WriteRunRecord(std::int32_t exitCode);
    ResultLogWrite WriteResultLog();
    void RecordFailedChecks(const LocalTime& stamp);
    std::optional<std::uint32_t> FirstSignalFailure() const;
    void Print(const std::string& text);

    ToolContext& ctx_;
    MpRunRequest request_;
    MpRunOutcome outcome_;
    std::string serialNumber_;
    std::optional<ProgrammedImage> programmed_;  // the image the firmware stage built
    std::string chosenFirmware_;                 // the firmware file it was built from
    std::time_t startTime_ = 0;
};

}  // namespace qnl
