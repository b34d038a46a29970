#include "platform/JournalEventStore.h"

#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/Files.h"

namespace qnl {
namespace {

constexpr const char* kJournalSocket = "/run/systemd/journal/socket";

// syslog priorities for the event types (error, warning, information).
int PriorityOf(std::uint16_t type) {
    switch (type) {
        case 1:
            return 3;
        case 2:
            return 4;
        case 4:
            return 6;
        default:
            return 5;
    }
}

// The value of FIELD=value in the current entry, nullopt when the entry lacks it.
std::optional<std::string> Field(sd_journal* j, const char* name) {
    const void* data = nullptr;
    std::size_t length = 0;
    if (sd_journal_get_data(j, name, &data, &length) < 0) return std::nullopt;
    const std::size_t prefix = std::strlen(name) + 1;  // "NAME="
    if (length < prefix) return std::nullopt;
    return std::string(static_cast<const char*>(data) + prefix, length - prefix);
}

template <typename T>
bool Parse(const std::string& s, T& value, int base = 10) {
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
    return !s.empty() && ec == std::errc() && ptr == s.data() + s.size();
}

}  // namespace

bool JournalEventStore::Available(std::string* why) {
    if (!files::Exists(kJournalSocket)) {
        if (why)
            *why = std::string("no systemd journal is running (") + kJournalSocket +
                   " does not exist)";
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (why) *why = "no socket for the journal: " + std::string(std::strerror(errno));
        return false;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", kJournalSocket);
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    const int error = errno;
    ::close(fd);
    if (!ok && why)
        *why = std::string("the systemd journal does not answer at ") + kJournalSocket + ": " +
               std::strerror(error);
    return ok;
}

void JournalEventStore::Append(const EventRecord& record) noexcept {
    try {
        char id[32];
        std::snprintf(id, sizeof id, "%08X", record.eventId);
        const std::string fields[] = {
            "MESSAGE=" + record.text,
            "SYSLOG_IDENTIFIER=" + record.source,
            "PRIORITY=" + std::to_string(PriorityOf(record.type)),
            "QNL_EVENT_SOURCE=" + record.source,
            std::string("QNL_EVENT_ID=") + id,
            "QNL_EVENT_TYPE=" + std::to_string(record.type),
            "QNL_EVENT_USER=" + record.user,
            "QNL_EVENT_TIME=" + std::to_string(static_cast<long long>(record.time)),
        };
        iovec vector[std::size(fields)];
        for (std::size_t i = 0; i < std::size(fields); ++i) {
            vector[i].iov_base = const_cast<char*>(fields[i].data());
            vector[i].iov_len = fields[i].size();
        }
        // The text travels as it stands (line ends included); a refused entry is dropped.
        sd_journal_sendv(vector, static_cast<int>(std::size(fields)));
    } catch (...) {
    }
}

std::vector<EventRecord> JournalEventStore::ReadAll() {
    std::vector<EventRecord> records;
    sd_journal* j = nullptr;
    if (sd_journal_open(&j, SD_JOURNAL_LOCAL_ONLY) < 0) return records;
    const std::string match = "SYSLOG_IDENTIFIER=" + identifier_;
    if (sd_journal_add_match(j, match.data(), match.size()) >= 0 && sd_journal_seek_head(j) >= 0) {
        while (sd_journal_next(j) > 0) {
            EventRecord r;
            r.source = Field(j, "QNL_EVENT_SOURCE").value_or(identifier_);
            const auto id = Field(j, "QNL_EVENT_ID");
            // Entries of the identifier without the record fields (from logger, say) keep
            // event identifier 0, which the export leaves out.
            if (!id || !Parse(*id, r.eventId, 16)) r.eventId = 0;
            unsigned type = 0;
            const auto typeText = Field(j, "QNL_EVENT_TYPE");
            r.type = typeText && Parse(*typeText, type) && type <= 0xFFFF
                         ? static_cast<std::uint16_t>(type)
                         : 0;
            r.user = Field(j, "QNL_EVENT_USER").value_or("");
            r.text = Field(j, "MESSAGE").value_or("");
            long long seconds = 0;
            const auto timeText = Field(j, "QNL_EVENT_TIME");
            std::uint64_t usec = 0;
            if (timeText && Parse(*timeText, seconds))
                r.time = static_cast<std::time_t>(seconds);
            else if (sd_journal_get_realtime_usec(j, &usec) >= 0)
                r.time = static_cast<std::time_t>(usec / 1000000);
            records.push_back(std::move(r));
        }
    }
    sd_journal_close(j);
    return records;
}

std::unique_ptr<IEventStore> OpenDiagnosticStore(const std::string& toolFolder,
                                                 const std::string& source,
                                                 const std::string& preference,
                                                 std::string* description) {
    std::string why = "the file store was asked for";
    if (preference != "file" && JournalEventStore::Available(&why)) {
        if (description) *description = "the systemd journal (journalctl -t \"" + source + "\")";
        return std::make_unique<JournalEventStore>(source);
    }
    const std::string path = files::Join(files::Join(toolFolder, "log"), "events.log");
    if (description) *description = path + " (" + why + ")";
    return std::make_unique<FileEventStore>(path);
}

}  // namespace qnl
