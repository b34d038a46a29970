// The daily result log: "%.4d%.2d%.2d.log" in the tool folder, tab-separated, a header line
// when the file is created and one line per host for every MP run.
#pragma once

#include <string>

#include "app/ResultTable.h"
#include "controller/CUtility.h"
#include "platform/Clock.h"
#include "ui/UiTextTable.h"

namespace qnl {

// What of the settings and the run the log lines depend on.
struct ResultLogOptions {
    bool barCodeColumn = false;        // savelogBarCode_enable
    std::string serialNumber;          // serial_number
    bool fwUpdateEnabled = false;      // fw_update_enable
    bool signalOrFixtureTest = false;  // signal line or fixture test switched on
    bool loopBackTest = false;         // loop back test switched on
    std::uint8_t page = kPageMain;     // the page current when the log is written
};

std::string ResultLogFileName(const LocalTime& time);
std::string ResultLogHeader(const UiTextTable& texts, bool barCodeColumn);
// The record lines of all hosts, each stamped with `time`: the hosts' facts from their
// records, their results from the run's record as the page's table shows them.
std::string ResultLogLines(const LocalTime& time, const CUtility& utility, const RunRecord& record,
                           const ResultLogOptions& options);

// The diagnostic-log text for a host whose firmware check failed. The result log has no check
// column (its format stays the one the stations' readers know), so a failed check is recorded
// as this event, with the record's date and time and the host's index and address as its
// line in the result log shows them, beside the version found and the version expected.
std::string FailedCheckNote(const LocalTime& time, std::size_t index, const TargetHost& host,
                            const std::string& expectedVersion);

struct ResultLogWrite {
    LocalTime time;  // the time stamp of the record's lines
    bool written = false;
    std::string path;   // the day's log file
    std::string error;  // why nothing was written
};

// Appends one run to the day's log: the header first when the file is new or empty, then the
// run's lines, all or nothing (a log that cannot take them keeps its old bytes). A record
// that cannot be written is the caller's failed run.
ResultLogWrite WriteResultLog(const std::string& toolFolder, IClock& clock,
                              const UiTextTable& texts, const CUtility& utility,
                              const RunRecord& record, const ResultLogOptions& options);

}  // namespace qnl
