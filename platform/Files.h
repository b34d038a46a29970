// Files and folders, as the core needs them. All paths are native (Linux) paths.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qnl::files {

// Folder of the running executable (the tool folder), without a trailing separator.
std::string ExecutableFolder();

bool Exists(const std::string& path);
bool IsDirectory(const std::string& path);
// Creates one folder; an existing folder is fine.
bool CreateFolder(const std::string& path);
bool Remove(const std::string& path);
std::optional<std::uint64_t> Size(const std::string& path);
// A regular file that this process may both read and write.
bool IsReadWritableFile(const std::string& path);

// Reads a whole file; nullopt when it cannot be opened or read. maxBytes guards against
// reading huge files into memory (nullopt when the file is larger).
std::optional<std::vector<std::uint8_t>> ReadAll(const std::string& path,
                                                 std::uint64_t maxBytes = UINT64_MAX);
inline std::optional<std::string> ReadText(const std::string& path,
                                           std::uint64_t maxBytes = UINT64_MAX) {
    auto bytes = ReadAll(path, maxBytes);
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

// Replaces the file's contents (write to a temporary file beside it, then rename).
bool WriteAtomic(const std::string& path, const void* data, std::size_t size);
inline bool WriteAtomic(const std::string& path, const std::string& text) {
    return WriteAtomic(path, text.data(), text.size());
}
// Removes what WriteAtomic leaves behind when it is killed between writing its temporary file
// and the rename: "<name>.tmp.<suffix>" files in `folder` whose name begins with `prefix` and
// holds ".tmp." after it. Only a caller that is the one writer of such files may do this (one
// holding the station lock). Returns how many were removed.
std::size_t RemoveStaleTemporaries(const std::string& folder, const std::string& prefix);
// Appends bytes in one write call (O_APPEND).
bool Append(const std::string& path, const std::string& text);

// Appends a record to a log file that must stay whole: the file is opened without blocking
// (a FIFO or device there is refused, never waited on), must be a regular file, and is locked
// (flock) while `prefix` and `text` are written and synced. The prefix goes first when the file
// is empty, and, with a `prefixMarker`, also when the file's last line that begins with the
// marker is not the prefix (a header line that no longer fits the lines that follow); the
// bytes already there are never changed. When anything cannot be written the file is cut back
// to its old length, so it never ends in a partial line. False with `error` set ("not a
// regular file", "No space left on device", ...) when nothing was added.
bool AppendRecord(const std::string& path, const std::string& prefix, const std::string& text,
                  std::string& error, const std::string& prefixMarker = {});

// The last line (with its line end) of `size` bytes that begins with `marker`, read backwards
// through `readAt(offset, length, buffer)` (false when it cannot read); empty when there is
// none or the bytes cannot be read. A line is read up to 64 KiB.
template <typename ReadAt>
std::string LastLineStartingWith(ReadAt&& readAt, std::uint64_t size, const std::string& marker) {
    constexpr std::uint64_t kChunk = 64 * 1024;
    if (marker.empty()) return {};
    const std::string needle = "\n" + marker;
    std::string later;  // the start of the bytes after the current chunk
    std::uint64_t end = size;
    std::optional<std::uint64_t> lineStart;
    while (end > 0 && !lineStart) {
        const std::uint64_t begin = end > kChunk ? end - kChunk : 0;
        std::string chunk(static_cast<std::size_t>(end - begin), '\0');
        if (!readAt(begin, chunk.size(), chunk.data())) return {};
        const std::string window = chunk + later;
        const auto at = window.rfind(needle);
        if (at != std::string::npos)
            lineStart = begin + at + 1;
        else if (begin == 0 && window.compare(0, marker.size(), marker) == 0)
            lineStart = 0;
        later = window.substr(0, std::min(window.size(), needle.size()));
        end = begin;
    }
    if (!lineStart) return {};
    std::string line(static_cast<std::size_t>(std::min(kChunk, size - *lineStart)), '\0');
    if (!readAt(*lineStart, line.size(), line.data())) return {};
    const auto newline = line.find('\n');
    return newline == std::string::npos ? line : line.substr(0, newline + 1);
}
// Empty when `path` is missing or a regular file (after symbolic links); otherwise why a log
// file cannot be kept there.
std::string NotRegularFileReason(const std::string& path);

// Joins folder and name with '/'.
std::string Join(const std::string& folder, const std::string& name);
// Last OS error number (errno), for log messages.
int LastError();
// Name of the user running the tool, empty when unknown.
std::string CurrentUserName();
// Current working folder.
std::string CurrentFolder();

}  // namespace qnl::files
