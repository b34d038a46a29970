#include "platform/Files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace qnl::files {

namespace {
// Writes all bytes, going on after short writes and interrupted calls.
bool WriteFully(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}
}  // namespace

std::string ExecutableFolder() {
    char buffer[PATH_MAX + 1] = {};
    const ssize_t n = readlink("/proc/self/exe", buffer, PATH_MAX);
    if (n <= 0) return ".";
    std::string path(buffer, static_cast<std::size_t>(n));
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0775) == 0) return true;
    return errno == EEXIST && IsDirectory(path);
}

bool Remove(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

std::optional<std::uint64_t> Size(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

bool IsReadWritableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), R_OK | W_OK) == 0;
}

std::optional<std::vector<std::uint8_t>> ReadAll(const std::string& path, std::uint64_t maxBytes) {
    // O_NONBLOCK: a FIFO at the path is refused below instead of waiting for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        ::close(fd);
        return std::nullopt;
    }
    std::vector<std::uint8_t> data(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::read(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    data.resize(done);
    return data;
}

bool WriteAtomic(const std::string& path, const void* data, std::size_t size) {
    // A temporary name of this write alone (mkstemp), in the same folder so that the rename
    // replaces the file in one step; the old file stays readable until then.
    std::string temp = path + ".tmp.XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, 0664) == 0 && WriteFully(fd, data, size) && ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    if (ok && ::rename(temp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) {
        const int error = errno;
        ::unlink(temp.c_str());
        errno = error;
    }
    return ok;
}

bool Append(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0664);
    if (fd < 0) return false;
    bool ok = WriteFully(fd, text.data(), text.size());
    if (::close(fd) != 0) ok = false;
    return ok;
}

std::string NotRegularFileReason(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return {};
    return path + " is not a regular file";
}

bool AppendRecord(const std::string& path, const std::string& prefix, const std::string& text,
                  std::string& error, const std::string& prefixMarker) {
    error = NotRegularFileReason(path);
    if (!error.empty()) return false;
    const int fd =
        ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0664);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        // Replaced by something else between the check and the open.
        ::close(fd);
        error = path + " is not a regular file";
        return false;
    }
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
    }
    bool ok = ::fstat(fd, &st) == 0;
    const off_t oldSize = ok ? st.st_size : 0;
    if (ok) {
        bool withPrefix = oldSize == 0;
        if (!withPrefix && !prefixMarker.empty()) {
            const auto readAt = [fd](std::uint64_t offset, std::size_t length, char* out) {
                std::size_t done = 0;
                while (done < length) {
                    const ssize_t n =
                        ::pread(fd, out + done, length - done, static_cast<off_t>(offset + done));
                    if (n < 0 && errno == EINTR) continue;
                    if (n <= 0) return false;
                    done += static_cast<std::size_t>(n);
                }
                return true;
            };
            withPrefix = LastLineStartingWith(readAt, static_cast<std::uint64_t>(oldSize),
                                              prefixMarker) != prefix;
        }
        const std::string record = withPrefix ? prefix + text : text;
        ok = WriteFully(fd, record.data(), record.size()) && ::fdatasync(fd) == 0;
    }
    if (!ok) {
        error = std::strerror(errno != 0 ? errno : EIO);
        // Back to the old length: no partial line stays behind. (Freeing the appended blocks
        // cannot fail for want of space.)
        if (::ftruncate(fd, oldSize) == 0) ::fdatasync(fd);
    }
    if (::close(fd) != 0 && ok) {
        error = std::strerror(errno);
        ok = false;
    }
    return ok;
}

std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

int LastError() {
    return errno;
}

std::string CurrentUserName() {
    struct passwd pw {};
    struct passwd* result = nullptr;
    char buffer[1024];
    if (::getpwuid_r(::geteuid(), &pw, buffer, sizeof buffer, &result) == 0 && result)
        return result->pw_name;
    return {};
}

std::string CurrentFolder() {
    char buffer[PATH_MAX + 1] = {};
    if (::getcwd(buffer, PATH_MAX) == nullptr) return ".";
    return buffer;
}

}  // namespace qnl::files
