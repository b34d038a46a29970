#include "platform/EventStore.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <string_view>
#include <vector>

#include "platform/Files.h"

namespace qnl {
namespace {

std::string Escape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            default: out += c;
        }
    }
    return out;
}

bool Unescape(const std::string& text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i >= text.size()) return false;
        switch (text[i]) {
            case '\\': out += '\\'; break;
            case 'r': out += '\r'; break;
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            default: return false;
        }
    }
    return true;
}

template <typename T>
bool ParseNumber(const std::string& s, T& value, int base = 10) {
    if (s.empty()) return false;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
    return ec == std::errc() && ptr == s.data() + s.size();
}

// Lines begin with their version. QEV2 lines end with a checksum field, so that a line torn
// inside its text (and ended by the next writer) is not taken for a shorter event; QEV1 lines
// (no checksum) are still read.
constexpr const char* kMagic = "QEV2";
constexpr const char* kMagicWithoutChecksum = "QEV1";

// FNV-1a over the line up to its checksum field.
std::uint32_t Checksum(std::string_view text) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 16777619u;
    }
    return hash;
}

}  // namespace

std::string FileEventStore::EncodeLine(const EventRecord& r) {
    std::string line = kMagic;
    line += '\t' + std::to_string(static_cast<long long>(r.time));
    line += '\t' + std::to_string(r.type);
    char id[16];
    std::snprintf(id, sizeof id, "%08x", r.eventId);
    line += '\t';
    line += id;
    line += '\t' + Escape(r.source);
    line += '\t' + Escape(r.user);
    line += '\t' + Escape(r.text);
    char sum[16];
    std::snprintf(sum, sizeof sum, "\t%08x\n", Checksum(line));
    line += sum;
    return line;
}

bool FileEventStore::DecodeLine(const std::string& line, EventRecord& r) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const auto tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    if (fields.size() == 8 && fields[0] == kMagic) {
        std::uint32_t sum = 0;
        const std::size_t checked = line.size() - fields[7].size() - 1;
        if (fields[7].size() != 8 || !ParseNumber(fields[7], sum, 16) ||
            sum != Checksum(std::string_view(line).substr(0, checked)))
            return false;
    } else if (fields.size() != 7 || fields[0] != kMagicWithoutChecksum) {
        return false;
    }
    long long time = 0;
    unsigned type = 0;
    if (!ParseNumber(fields[1], time) || !ParseNumber(fields[2], type) || type > 0xFFFF ||
        !ParseNumber(fields[3], r.eventId, 16))
        return false;
    r.time = static_cast<std::time_t>(time);
    r.type = static_cast<std::uint16_t>(type);
    return Unescape(fields[4], r.source) && Unescape(fields[5], r.user) &&
           Unescape(fields[6], r.text);
}

void FileEventStore::DecodeChunk(const char* data, std::size_t size, std::string& pending,
                                 bool& overlong, std::vector<EventRecord>& records) {
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (c != '\n') {
            if (pending.size() < kMaxLineBytes)
                pending += c;
            else
                overlong = true;
            continue;
        }
        EventRecord r;
        if (!overlong && DecodeLine(pending, r)) records.push_back(std::move(r));
        pending.clear();
        overlong = false;
    }
}

std::string FileEventStore::Problem() const {
    const std::string reason = files::NotRegularFileReason(path_);
    return reason.empty() ? reason : reason + ": diagnostic events are not kept";
}

std::vector<EventRecord> FileEventStore::ReadAll() {
    std::vector<EventRecord> records;
    ReadFile(PreviousPath(), records);
    ReadFile(path_, records);
    return records;
}

// The file access below is POSIX; platform/win/FileEventStore.cpp is the Windows one.
#if !defined(_WIN32)
int FileEventStore::OpenLocked() const {
    // A few tries: each time another writer may have rotated the file while this one waited.
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (!files::NotRegularFileReason(path_).empty()) return -1;
        const int fd = ::open(
            path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0664);
        if (fd < 0) return -1;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return -1;
        }
        while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
        }
        struct stat now {};
        if (::stat(path_.c_str(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino)
            return fd;
        ::close(fd);  // rotated away meanwhile: open the new file
    }
    return -1;
}

void FileEventStore::Append(const EventRecord& record) noexcept {
    try {
        const auto slash = path_.find_last_of('/');
        if (slash != std::string::npos && slash > 0) files::CreateFolder(path_.substr(0, slash));
        int fd = OpenLocked();
        if (fd < 0) return;
        // The lock keeps two tools (or two threads with their own descriptors) from mixing
        // their lines; O_APPEND alone does not cover the check of the last byte below.
        std::string line = EncodeLine(record);
        struct stat st {};
        if (::fstat(fd, &st) == 0 && st.st_size > 0 &&
            static_cast<std::uint64_t>(st.st_size) + line.size() > maxBytes_) {
            // Full: this file becomes the previous one, and the event begins a new file. The
            // lock on the old file is held until the new one is locked, so that no writer
            // rotates twice.
            if (::rename(path_.c_str(), PreviousPath().c_str()) == 0) {
                const int newFd = OpenLocked();
                ::close(fd);
                fd = newFd;
                if (fd < 0) return;
                if (::fstat(fd, &st) != 0) st.st_size = 0;
            }
        }
        // A writer that died mid-line left a fragment without its line end: end it here, so
        // that the fragment stays one unreadable line and this event is not glued onto it.
        if (st.st_size > 0) {
            char last = '\n';
            const int readFd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            if (readFd >= 0) {
                if (::pread(readFd, &last, 1, st.st_size - 1) == 1 && last != '\n')
                    line.insert(line.begin(), '\n');
                ::close(readFd);
            }
        }
        std::size_t done = 0;
        while (done < line.size()) {
            const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);  // releases the lock
    } catch (...) {
        // A diagnostic store never fails its caller.
    }
}

void FileEventStore::ReadFile(const std::string& path, std::vector<EventRecord>& records) const {
    if (!files::NotRegularFileReason(path).empty()) return;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return;
    }
    // Shared lock: a line being appended is either wholly there or not yet.
    while (::flock(fd, LOCK_SH) != 0 && errno == EINTR) {
    }
    std::string pending;
    bool overlong = false;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        DecodeChunk(buffer, static_cast<std::size_t>(n), pending, overlong, records);
    }
    ::close(fd);
    // Whatever follows the last line end is a torn line: not an event.
}
#endif

void MemoryEventStore::Append(const EventRecord& record) noexcept {
    try {
        std::lock_guard lock(mutex_);
        records_.push_back(record);
    } catch (...) {
    }
}

std::vector<EventRecord> MemoryEventStore::ReadAll() {
    std::lock_guard lock(mutex_);
    return records_;
}

}  // namespace qnl
