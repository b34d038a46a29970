#include "app/DebugLog.h"

#include "platform/EventLog.h"
#include "platform/Files.h"
#include "platform/Format.h"

namespace qnl {
namespace {

// The longest text a line carries, as the export's 1024-byte line buffer allows.
constexpr std::size_t kMaxExportTextChars = 1023;

std::string TimeText(const LocalTime& t) {
    return Format("%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
}

}  // namespace

CDebugLog::CDebugLog(IEventStore* store, IClock& clock, std::string toolFolder)
    : store_(store), clock_(clock), toolFolder_(std::move(toolFolder)) {}

const char* CDebugLog::TypeWord(std::uint16_t type) {
    switch (type) {
        case 1:
            return "EVENTLOG_ERROR_TYPE";
        case 2:
            return "EVENTLOG_WARNING_TYPE";
        case 4:
            return "EVENTLOG_INFORMATION_TYPE";
        default:
            return "Unknown";
    }
}

std::string CDebugLog::ExportText(const std::vector<EventRecord>& events) {
    std::string out;
    for (const EventRecord& e : events) {
        if (e.source != kEventSourceName || e.eventId != kEventIdentifier) continue;
        std::string line = TimeText(LocalTimeOf(e.time));
        line += '\t';
        line += TypeWord(e.type);
        line += '\t';
        line.append(e.text, 0, kMaxExportTextChars);
        line += '\n';
        // Text mode: each line feed is written as carriage return and line feed.
        for (char c : line) {
            if (c == '\n') out += '\r';
            out += c;
        }
    }
    return out;
}

DebugLogExport CDebugLog::ExportDebugLog() {
    DebugLogExport result;
    const LocalTime now = clock_.LocalNow();
    const std::string folder = files::Join(toolFolder_, "log");
    files::CreateFolder(folder);
    result.path = files::Join(folder, Format("MPLog_%04d%02d%02d%02d%02d%02d.txt", now.year,
                                             now.month, now.day, now.hour, now.minute, now.second));
    std::string text;
    try {
        if (store_ != nullptr) text = ExportText(store_->ReadAll());
    } catch (...) {
        // What cannot be read is left out; the file is still written.
        text.clear();
    }
    // A second export in the same second replaces the file.
    result.written = files::WriteAtomic(result.path, text);
    result.message = Format("Log file [%s] is exported", result.path.c_str());
    return result;
}

}  // namespace qnl
