#include "platform/StationLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/Files.h"

namespace qnl {

namespace {

long ReadHolderPid(int fd) {
    char text[32] = {};
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    if (n <= 0) return 0;
    return std::strtol(text, nullptr, 10);
}

}  // namespace

StationLock::~StationLock() {
    for (std::intptr_t fd : fds_) ::close(static_cast<int>(fd));  // closing releases the lock
}

std::unique_ptr<StationLock> StationLock::TryAcquire(const std::vector<std::string>& lockFiles,
                                                     Refusal& refusal) {
    std::unique_ptr<StationLock> lock(new StationLock());
    for (const std::string& path : lockFiles) {
        refusal = Refusal{path, 0, {}};
        refusal.error = files::NotRegularFileReason(path);
        if (!refusal.error.empty()) return nullptr;
        // 0666: the controllers' lock files are shared by every user of the station.
        const int fd =
            ::open(path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
        if (fd < 0) {
            refusal.error = std::strerror(errno);
            return nullptr;
        }
        int rc = 0;
        while ((rc = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
        }
        if (rc != 0) {
            if (errno != EWOULDBLOCK) refusal.error = std::strerror(errno);
            refusal.holderPid = ReadHolderPid(fd);
            ::close(fd);
            return nullptr;
        }
        lock->fds_.push_back(fd);
        const std::string pid = std::to_string(::getpid()) + "\n";
        if (::ftruncate(fd, 0) == 0) {
            const ssize_t written = ::pwrite(fd, pid.data(), pid.size(), 0);
            (void)written;  // the pid only improves the message of a second tool
        }
    }
    refusal = Refusal{};
    return lock;
}

std::string SystemLockFolder() {
    for (const char* folder : {"/run/lock", "/var/lock"})
        if (files::IsDirectory(folder)) return folder;
    return {};
}

}  // namespace qnl
