#include "platform/EventStore.h"

#include <charconv>
#include <cstdio>
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

constexpr const char* kMagic = "QEV1";

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
    line += '\n';
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
    if (fields.size() != 7 || fields[0] != kMagic) return false;
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

void FileEventStore::Append(const EventRecord& record) noexcept {
    try {
        const auto slash = path_.find_last_of('/');
        if (slash != std::string::npos && slash > 0) files::CreateFolder(path_.substr(0, slash));
        files::Append(path_, EncodeLine(record));
    } catch (...) {
        // A diagnostic store never fails its caller.
    }
}

std::vector<EventRecord> FileEventStore::ReadAll() {
    std::vector<EventRecord> records;
    auto text = files::ReadText(path_);
    if (!text) return records;
    std::size_t start = 0;
    while (start < text->size()) {
        const auto end = text->find('\n', start);
        if (end == std::string::npos) break;  // a torn last line is not an event
        EventRecord r;
        if (DecodeLine(text->substr(start, end - start), r)) records.push_back(std::move(r));
        start = end + 1;
    }
    return records;
}

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
