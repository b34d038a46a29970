// Diagnostic events in the systemd journal.
//
// Each event is one journal entry: SYSLOG_IDENTIFIER is the event source, MESSAGE the text,
// PRIORITY follows the type, and the fields QNL_EVENT_SOURCE, QNL_EVENT_ID, QNL_EVENT_TYPE,
// QNL_EVENT_USER and QNL_EVENT_TIME carry the record, so that
//   journalctl -t "QNLT 735X MP Tool" -o verbose
// shows them. Reading back takes the entries of one identifier, oldest first.
#pragma once

#include <string>
#include <vector>

#include "platform/EventStore.h"

namespace qnl {

class JournalEventStore final : public IEventStore {
  public:
    // `identifier`: the SYSLOG_IDENTIFIER the store writes and reads back (the event source).
    explicit JournalEventStore(std::string identifier) : identifier_(std::move(identifier)) {}
    void Append(const EventRecord& record) noexcept override;
    std::vector<EventRecord> ReadAll() override;

    // True when a journal daemon accepts entries here (its socket exists and answers a
    // connect). `why` says what was missing when it returns false.
    static bool Available(std::string* why = nullptr);

  private:
    std::string identifier_;
};

}  // namespace qnl
