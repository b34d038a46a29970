#include "platform/EventLog.h"

#include <cstdarg>

#include "platform/Format.h"

namespace qnl {

CEventLog::CEventLog(IEventStore* store, IClock& clock, std::string user)
    : store_(store), clock_(clock), user_(std::move(user)) {}

int CEventLog::LogMessage(std::uint16_t type, const char* format, ...) {
    try {
        va_list args;
        va_start(args, format);
        std::string text = FormatBounded(kLogMessageBufferBytes, format, args);
        va_end(args);
        if (store_ != nullptr) {
            EventRecord record;
            record.time = clock_.WallNow();
            record.type = type;
            record.eventId = kEventIdentifier;
            record.source = kEventSourceName;
            record.user = user_;
            record.text = text;
            store_->Append(record);
        }
        return static_cast<int>(text.size());
    } catch (...) {
        return 0;
    }
}

}  // namespace qnl
