// The run records for factory systems: one JSON object per MP run, on one line, appended to
// "records/YYYYMMDD.jsonl" in the tool folder. The format is docs/run-records.md; its schema
// docs/run-record.schema.json.
#pragma once

#include <string>
#include <vector>

#include "controller/RunRecord.h"
#include "platform/Clock.h"

namespace qnl {

inline constexpr const char* kRunRecordFolder = "records";
// "record_version" of every line; raised when a field changes its meaning or goes away.
inline constexpr int kRunRecordVersion = 1;

// "2026-12-08T22:24:05+01:00": the local time with its offset from UTC ("+00:00" for UTC).
std::string Iso8601Text(const ZonedTime& time);

// "YYYYMMDD.jsonl" of a local date.
std::string RunRecordFileName(const LocalTime& day);

// The run's record as one line of JSON ending in "\n": 7-bit ASCII, no raw control
// character inside. Texts are taken as UTF-8; a byte that is not part of valid UTF-8 is
// written as U+FFFD, and a text the run does not know (empty) as null. `start` and `end` are
// the run's start and end time with the zone offset of each.
std::string RunRecordJsonLine(const RunFacts& facts, const std::vector<HostEntry>& hosts,
                              const ZonedTime& start, const ZonedTime& end);

struct RunRecordWrite {
    bool written = false;
    std::string path;   // the day's records file
    std::string error;  // why nothing was written
};

// Appends the run's record to the records file of the run's end day (local time) in
// "records/" of the tool folder, creating the folder. All or nothing, under the file lock the
// result log is written under (files::AppendRecord). A record that cannot be written is the
// caller's failed run.
RunRecordWrite WriteRunRecord(const std::string& toolFolder, const RunFacts& facts,
                              const std::vector<HostEntry>& hosts);

}  // namespace qnl
