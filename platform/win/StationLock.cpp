// One tool per station on Windows: lock files held with LockFileEx on one byte far beyond the
// file's content (Windows locks are mandatory, so the holder's process id stays readable).
// Windows releases the locks when the process ends in any way.
#include "platform/StationLock.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/Files.h"

namespace qnl {
namespace {

constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

long ReadHolderPid(HANDLE file) {
    char text[32] = {};
    OVERLAPPED at{};
    DWORD got = 0;
    if (!::ReadFile(file, text, sizeof text - 1, &got, &at) || got == 0) return 0;
    return std::strtol(text, nullptr, 10);
}

}  // namespace

StationLock::~StationLock() {
    for (std::intptr_t handle : fds_) ::CloseHandle(reinterpret_cast<HANDLE>(handle));
}

std::unique_ptr<StationLock> StationLock::TryAcquire(const std::vector<std::string>& lockFiles,
                                                     Refusal& refusal) {
    std::unique_ptr<StationLock> lock(new StationLock());
    for (const std::string& path : lockFiles) {
        refusal = Refusal{path, 0, {}};
        refusal.error = files::NotRegularFileReason(path);
        if (!refusal.error.empty()) return nullptr;
        const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            refusal.error = "Windows error " + std::to_string(::GetLastError());
            return nullptr;
        }
        OVERLAPPED range{};
        range.OffsetHigh = kLockOffsetHigh;
        if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                          &range)) {
            const DWORD code = ::GetLastError();
            if (code != ERROR_LOCK_VIOLATION && code != ERROR_IO_PENDING)
                refusal.error = "Windows error " + std::to_string(code);
            refusal.holderPid = ReadHolderPid(file);
            ::CloseHandle(file);
            return nullptr;
        }
        lock->fds_.push_back(reinterpret_cast<std::intptr_t>(file));
        // The process id only improves the message of a second tool.
        const std::string pid = std::to_string(::GetCurrentProcessId()) + "\r\n";
        DWORD written = 0;
        if (::SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 && ::SetEndOfFile(file))
            ::WriteFile(file, pid.data(), static_cast<DWORD>(pid.size()), &written, nullptr);
    }
    refusal = Refusal{};
    return lock;
}

std::string SystemLockFolder() {
    char folder[MAX_PATH + 1] = {};
    const DWORD n = ::GetEnvironmentVariableA("ProgramData", folder, sizeof folder);
    if (n == 0 || n >= sizeof folder || !files::IsDirectory(folder)) return {};
    return folder;
}

}  // namespace qnl
