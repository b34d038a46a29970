// Files and folders, as the core needs them. All paths are native (Linux) paths.
#pragma once

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
// Appends bytes in one write call (O_APPEND).
bool Append(const std::string& path, const std::string& text);

// Appends a record to a log file that must stay whole: the file is opened without blocking
// (a FIFO or device there is refused, never waited on), must be a regular file, and is locked
// (flock) while `prefixWhenEmpty` (only when the file is empty) and `text` are written and
// synced. When anything cannot be written the file is cut back to its old length, so it never
// ends in a partial line. False with `error` set ("not a regular file", "No space left on
// device", ...) when nothing was added.
bool AppendRecord(const std::string& path, const std::string& prefixWhenEmpty,
                  const std::string& text, std::string& error);
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
