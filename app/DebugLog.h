// The "Debug Log" export: every event of the tool's source and identifier, oldest first, into
// "<tool folder>/log/MPLog_<local time %Y%m%d%H%M%S>.txt", one line each:
//
//   <generation time "%Y/%m/%d %H:%M:%S">\t<type word>\t<text cut to 1023 characters>\n
//
// written as a Windows text-mode file: every "\n" (those inside the text too) goes out as
// "\r\n", so the file is byte for byte what the Windows tool writes for the same events.
#pragma once

#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/EventStore.h"

namespace qnl {

struct DebugLogExport {
    bool written = false;  // false when the file could not be written
    std::string path;      // the file (written or not)
    std::string message;   // "Log file [%s] is exported", for the window or the console
};

class CDebugLog {
  public:
    // A null store exports nothing (an empty file).
    CDebugLog(IEventStore* store, IClock& clock, std::string toolFolder);

    DebugLogExport ExportDebugLog();

    // The file's contents for these events: only the tool's source and identifier.
    static std::string ExportText(const std::vector<EventRecord>& events);
    // "EVENTLOG_ERROR_TYPE" and the like; "Unknown" for other types.
    static const char* TypeWord(std::uint16_t type);

  private:
    IEventStore* store_;
    IClock& clock_;
    std::string toolFolder_;
};

}  // namespace qnl
