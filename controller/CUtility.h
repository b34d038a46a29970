// Process-wide tool state: the host table, the tool folder and the firmware file state.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "controller/TargetHost.h"
#include "firmware/FirmwareImage.h"

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

    // --- Firmware file state (firmware/FirmwareFile.cpp) -----------------------------------
    std::string m_strFWFilePath;         // the firmware file, later the configuration image
    std::uint32_t m_dwFWFileLength = 0;  // its length in bytes
    std::string m_strFileFWVersion;      // "%02X%02X%02X_%02X_%02X_%02X" of the file
    std::uint8_t m_ucFileKind = 0;       // 0, 1, or 0xFF when no signature matched
    std::uint8_t m_ucFWVariant = 0;      // 0, 1, or 0xFF (kind 1 only)
    std::uint32_t m_dwCfgLength = 0;     // L of the last checked image
    std::uint32_t m_dwFWLength = 0;      // N of the last checked image
    std::uint8_t m_ucCfgCheckSum = 0;    // computed sum of bytes 0..L-1
    std::uint8_t m_ucFWCheckSum = 0;     // computed sum of the code bytes

    // 1 after a good settings load (the last CIni::bLoadINIFile), else 0.
    std::uint8_t m_ucIniLoaded = 0;

    // Stores the file's length. 0, or -3 when the file cannot be opened.
    std::int32_t bFWBinFileLength(const std::string& strFWFilePath);
    // Reads the whole file into the front of `buffer` (grown when the file is larger; bytes
    // beyond the file keep their value) and stores its length. 0; -3 when the file cannot be
    // opened or read; -8 when it is too large to hold.
    std::int32_t bOpenFWBinFile(const std::string& strFWFilePath,
                                std::vector<std::uint8_t>& buffer);
    // Takes an image of `size` bytes apart as the file kind of the last check. False (after a
    // log line) when the kind is unknown or a length in the image points past its end.
    bool GetBinFileStruct(const std::uint8_t* image, std::size_t size, BinFileStruct& out);

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
