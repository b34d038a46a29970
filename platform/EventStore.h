// Where diagnostic events are kept, and how they are read back for the export.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qnl {

struct EventRecord {
    std::time_t time = 0;    // generation time, seconds since the epoch
    std::uint16_t type = 0;  // 1 error, 2 warning, 4 information
    std::uint32_t eventId = 0;
    std::string source;
    std::string user;
    std::string text;
};

class IEventStore {
  public:
    virtual ~IEventStore() = default;
    // Never fails its caller: a store that cannot write drops the event.
    virtual void Append(const EventRecord& record) noexcept = 0;
    // All readable events in the order they were written; unreadable entries are skipped.
    virtual std::vector<EventRecord> ReadAll() = 0;
    // Why the store cannot keep events (to tell the operator at start-up); empty when it can.
    virtual std::string Problem() const { return {}; }
};

// Append-only text file, one event a line, fields separated by tabs and the text escaped so
// that a line holds exactly one event; a checksum ends the line.
//
// Each event is one write() to a descriptor opened with O_APPEND, under an exclusive advisory
// lock (flock), so threads and several tool processes can write at once. A writer that dies
// mid-line leaves a fragment without its line end; the next writer ends it first, and reading
// skips it (and any other line that is not a complete event).
//
// The file is opened without blocking and only when it is a regular file (a FIFO or device
// there is refused, and the events are dropped). When an event would take the file past
// `maxBytes`, the file becomes the previous file "<path>.1" (replacing an older one) and a new
// file is begun: the store keeps at most about twice `maxBytes` on disk. Reading returns the
// previous file's events first.
class FileEventStore final : public IEventStore {
  public:
    static constexpr std::uint64_t kDefaultMaxBytes = 1024 * 1024;

    explicit FileEventStore(std::string path, std::uint64_t maxBytes = kDefaultMaxBytes)
        : path_(std::move(path)), maxBytes_(maxBytes) {}
    void Append(const EventRecord& record) noexcept override;
    std::vector<EventRecord> ReadAll() override;
    std::string Problem() const override;
    const std::string& Path() const { return path_; }
    std::string PreviousPath() const { return path_ + ".1"; }

    static std::string EncodeLine(const EventRecord& record);
    // False for a line that is not a complete event (a torn or foreign line).
    static bool DecodeLine(const std::string& line, EventRecord& record);
    // No event line comes near this (1023 characters of text, escaped at most twice over); a
    // longer line is garbage and is skipped without holding it in memory.
    static constexpr std::size_t kMaxLineBytes = 16384;
    // Reading in chunks: appends the events of the complete lines in data[0..size) to
    // `records`; the unfinished line stays in `pending` (`overlong` once it passed the limit).
    static void DecodeChunk(const char* data, std::size_t size, std::string& pending,
                            bool& overlong, std::vector<EventRecord>& records);

  private:
    // Opens the file for appending and locks it; -1 when it is not a regular file or cannot
    // be opened. Follows a rotation made by another writer while this one waited for the lock.
    int OpenLocked() const;
    void ReadFile(const std::string& path, std::vector<EventRecord>& records) const;

    std::string path_;
    std::uint64_t maxBytes_;
};

// The store the tool uses on this machine: the systemd journal where one is running, else the
// file store "log/events.log" in the tool folder. `source` is the event source the journal
// entries are written and read back under. `preference` "file" or "journal" skips the choice
// (the journal only where one runs); anything else chooses. `description` says which store
// was chosen.
std::unique_ptr<IEventStore> OpenDiagnosticStore(const std::string& toolFolder,
                                                 const std::string& source,
                                                 const std::string& preference = {},
                                                 std::string* description = nullptr);

class MemoryEventStore final : public IEventStore {
  public:
    void Append(const EventRecord& record) noexcept override;
    std::vector<EventRecord> ReadAll() override;

  private:
    std::mutex mutex_;
    std::vector<EventRecord> records_;
};

}  // namespace qnl
