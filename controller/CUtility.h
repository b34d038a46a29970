// Process-wide tool state: the host table and the tool folder.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "controller/TargetHost.h"

namespace qnl {

class CEventLog;

class CUtility {
  public:
    CUtility();

    // Host table: records 0..ucHostCount-1 are valid.
    std::array<TargetHost, kMaxHosts> hosts;
    std::uint8_t ucHostCount = 0;
    // Controllers the last discovery found that did not answer (their slots are marked
    // bNoAnswer).
    struct HostAddress {
        std::uint8_t bus, device, function;
    };
    std::vector<HostAddress> m_NoAnswerHosts;
    // Target controllers the last discovery met, also those beyond the table's 8 (which are
    // not served).
    std::uint32_t dwControllersFound = 0;

    // Folder of the executable; every file the tool writes lives there.
    std::string strToolFolder;

    // The diagnostic log the utility's own messages go to (set by the tool's context).
    CEventLog* m_pEventLog = nullptr;

    // 1 after a good settings load (the last CIni::bLoadINIFile), else 0.
    std::uint8_t m_ucIniLoaded = 0;

    // Marks all 8 records empty, as start-up does before discovery.
    void ResetHostRecords();
    TargetHost& Host(std::size_t index) { return hosts.at(index); }
    const TargetHost& Host(std::size_t index) const { return hosts.at(index); }

    // The lock a host's record is written under while a run is active: the run's workers and
    // their supervisor's verdicts write under their report gate, which takes this lock (see
    // WorkerGroup), and the run's own thread takes it for the records it writes meanwhile.
    using RecordLock = std::shared_ptr<std::recursive_mutex>;
    const std::array<RecordLock, kMaxHosts>& RecordLocks() const { return recordLocks_; }
    // Runs `write` on host `index`'s record under its lock.
    template <typename Writer>
    void WriteRecord(std::size_t index, Writer&& write) {
        std::lock_guard lock(*recordLocks_.at(index));
        write(hosts[index]);
    }
    // A consistent copy of host `index`'s record (taken under its lock).
    TargetHost RecordSnapshot(std::size_t index) const;

  private:
    std::array<RecordLock, kMaxHosts> recordLocks_;
};

}  // namespace qnl
