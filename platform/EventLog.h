// The diagnostic log: every failure in the tool is reported through LogMessage, which formats
// the message and stores it as an event of the tool's event source.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Clock.h"
#include "platform/EventStore.h"

namespace qnl {

inline constexpr const char* kEventSourceName = "QNLT 735X MP Tool";
inline constexpr std::uint32_t kEventIdentifier = 0x20000001;
inline constexpr std::size_t kLogMessageBufferBytes = 1024;
inline constexpr std::uint16_t kEventTypeError = 1;

class CEventLog {
  public:
    // A null store gives a silent log: messages are formatted and dropped.
    CEventLog(IEventStore* store, IClock& clock, std::string user);

    // Formats by the printf rules into a 1024-byte buffer (longer texts are cut) and stores
    // one event. Never fails its caller. Returns the formatted length.
    int LogMessage(std::uint16_t type, const char* format, ...)
        __attribute__((format(printf, 3, 4)));

    IEventStore* Store() const { return store_; }

  private:
    IEventStore* store_;
    IClock& clock_;
    std::string user_;
};

}  // namespace qnl
