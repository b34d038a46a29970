// One tool per station: advisory locks (flock) on lock files, held while the object lives.
//
// A tool process that is going to drive the hardware (an MP run) takes the lock file in its
// tool folder and, where it reaches real controllers, one lock file per controller PCI address
// in the system's lock folder. A second process finds them taken and does not start its run.
// The locks are released by the kernel when the process ends in any way, so a killed tool never
// leaves a station locked.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace qnl {

class StationLock {
  public:
    ~StationLock();
    StationLock(const StationLock&) = delete;
    StationLock& operator=(const StationLock&) = delete;

    struct Refusal {
        std::string path;    // the lock file another process holds (or that could not be made)
        long holderPid = 0;  // the process named in it, 0 when unknown
        std::string error;   // set when the lock file itself could not be opened
    };

    // Takes every lock in order, never waiting. nullptr with `refusal` filled when one is held
    // by another process or cannot be opened; then no lock is kept. Each lock file holds the
    // holder's process id.
    static std::unique_ptr<StationLock> TryAcquire(const std::vector<std::string>& lockFiles,
                                                   Refusal& refusal);

  private:
    StationLock() = default;
    std::vector<std::intptr_t> fds_;  // descriptors (HANDLEs on Windows)
};

// The system's lock folder ("/run/lock", else "/var/lock"; on Windows the folder shared by all
// users, %ProgramData%); empty when there is none.
std::string SystemLockFolder();

// The name of the lock file of the controller at a PCI address (domain 0):
// "qnlmptool-pci-0000:BB:DD.F.lock", on Windows (no ':' in file names)
// "qnlmptool-pci-0000-BB-DD.F.lock".
inline std::string ControllerLockFileName(unsigned bus, unsigned device, unsigned function) {
#if defined(_WIN32)
    const char* format = "qnlmptool-pci-0000-%02x-%02x.%x.lock";
#else
    const char* format = "qnlmptool-pci-0000:%02x:%02x.%x.lock";
#endif
    char name[64];
    std::snprintf(name, sizeof name, format, bus & 0xFFu, device & 0xFFu, function & 0xFFu);
    return name;
}

}  // namespace qnl
