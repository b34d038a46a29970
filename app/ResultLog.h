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
    bool barCodeColumn = false;     // savelogBarCode_enable
    std::string serialNumber;       // serial_number
    std::uint8_t mask = 0;          // the run's testing items (an item outside it is blank)
    std::uint8_t page = kPageMain;  // the page current when the log is written
};

// A field of a log line as it is written: each TAB, CR, LF or other control character
// becomes a blank, so no text of the settings or of a host can split or break a line.
std::string LogField(const std::string& text);

std::string ResultLogFileName(const LocalTime& time);
std::string ResultLogHeader(const UiTextTable& texts, bool barCodeColumn);
// The record lines of all hosts, each stamped with `time`: the hosts' facts from their
// records, their results from the run's record as the page's table shows them. Only what the
// run did says PASS or FAIL: an item outside the run's mask is blank (with its firmware file),
// and a test that did not run for a host is " " in the SLT and the six port fields.
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

// Appends one run to the day's log: the header first when the file is new or empty or when its
// last header line is not the one of these lines' columns (the bar-code column switched since),
// then the run's lines, all or nothing (a log that cannot take them keeps its old bytes; its
// lines are never rewritten). A record that cannot be written is the caller's failed run.
ResultLogWrite WriteResultLog(const std::string& toolFolder, IClock& clock,
                              const UiTextTable& texts, const CUtility& utility,
                              const RunRecord& record, const ResultLogOptions& options);

}  // namespace qnl
