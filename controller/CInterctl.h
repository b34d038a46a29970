// The chip interface: discovery of the target controllers, the microcontroller command
// channel and the device information read at discovery. Flash programming and the
// firmware-file check are further members, in their own files.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "controller/CUtility.h"
#include "controller/TargetHost.h"
#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "platform/Worker.h"
#include "qnlio/FlashPartTable.h"
#include "qnlio/IQnlIo.h"

namespace qnl {

class CInterctl {
  public:
    CInterctl(IQnlIo& io, IClock& clock, CEventLog& log, CUtility& utility);
    virtual ~CInterctl() = default;
    CInterctl(const CInterctl&) = delete;
    CInterctl& operator=(const CInterctl&) = delete;

    // --- Discovery -------------------------------------------------------------------------
    // Scans every bus/device/function (function outermost, bus innermost) and fills the host
    // table. 0 when at least one host was found, -6 when none.
    std::int32_t ScanPciBus(const std::string& wrsrThreshold);
    // Examines one address only (the /P option). Same results.
    std::int32_t AssignPciBus(std::uint8_t bus, std::uint8_t device, std::uint8_t function,
                              const std::string& wrsrThreshold);
    // How long (nominal, on the tool's clock, and at least 2 s of real time) a controller found
    // at discovery has to answer its device-information reads; one that does not keeps its
    // slot marked bNoAnswer (and is named in g_Utility's m_NoAnswerHosts).
    static constexpr std::uint64_t kDiscoveryAnswerMs = 10000;
    static constexpr std::uint64_t kDiscoveryAnswerMinRealMs = 2000;
    // Waits (in real time, at most `timeout`) for the workers of controllers that were left
    // out to return; true when none is left. They use this object until they return.
    bool WaitForLeftOutWorkers(std::chrono::milliseconds timeout);
    // Gives up on a worker that uses this object (asks it to stop, stops waiting for it) and
    // keeps it among those WaitForLeftOutWorkers waits for.
    void KeepGivenUpWorker(const std::shared_ptr<Worker>& worker);

    // --- Command channel -------------------------------------------------------------------
    // Posts a command record and waits until the microcontroller took it.
    std::int32_t Post(const TargetHost& host, std::uint32_t command, std::uint32_t space,
                      std::uint32_t length, std::uint32_t address, std::uint32_t dataLow,
                      std::uint32_t dataHigh);
    // One read exchange of at most 8 bytes. For SPACE_SPI_ID `address` is the number of
    // address bytes and `opcode` the SPI opcode sent as data.
    std::int32_t ReadMemory(const TargetHost& host, std::uint32_t space, std::uint32_t address,
                            std::uint32_t length, std::uint8_t* out, std::uint32_t opcode = 0);
    // Reads `total` bytes in pieces of at most 8.
    std::int32_t Read_8051_Memory(const TargetHost& host, std::uint32_t space,
                                  std::uint32_t address, std::uint32_t total, std::uint8_t* out);
    // Data-memory write of any length, in commands of at most 8 bytes.
    std::int32_t WriteMemory(const TargetHost& host, std::uint32_t address, std::uint32_t length,
                             const std::uint8_t* data);
    // Byte 1 of the result is the flash status register.
    std::int32_t ReadSpiStatus(const TargetHost& host, std::array<std::uint8_t, 8>& out);
    // The end-of-access sequence; the controller then runs from its flash again.
    std::int32_t EndFlashAccess(const TargetHost& host, bool clearMailbox);
    std::int32_t ClearXdataF3B4Bit2(const TargetHost& host);
    // Sends the test command with a parameter and polls its completion byte.
    std::int32_t RunTestCommand(const TargetHost& host, std::uint32_t parameter);

    // --- Device information ----------------------------------------------------------------
    std::int32_t UpdateDeviceInfo(std::uint8_t hostIndex, const std::string& wrsrThreshold,
                                  std::uint8_t kind);
    // The same read into a given record (a worker's own copy of its host).
    std::int32_t ReadDeviceInfo(TargetHost& host, const std::string& wrsrThreshold,
                                std::uint8_t kind);

    // --- SPI flash programming (controller/FlashProgramming.cpp) ----------------------------
    FlashPart IdentifyFlash(const TargetHost& host);
    std::int32_t SetFlashProtect(const TargetHost& host, bool protect);
    std::int32_t Erase_SPIRom(const TargetHost& host, const FlashPart& part,
                              std::uint32_t byteCount, std::uint32_t startAddress,
                              std::uint32_t attempt);
    // `retryShift`: raised by 128 at each programming attempt (added to the AAI parameter).
    std::int32_t Write_Section(const TargetHost& host, const FlashPart& part,
                               const std::uint8_t* data, std::uint32_t startAddress,
                               std::uint32_t length, std::uint32_t retryShift = 0);
    std::int32_t Compare_Section(const TargetHost& host, const std::uint8_t* data,
                                 std::uint32_t startAddress, std::uint32_t length);
    std::int32_t Update_Firmware(std::uint8_t targetNumber, const TargetHost& host,
                                 const FlashPart& part, const std::uint8_t* image,
                                 std::uint32_t length);

    IQnlIo& Io() { return io_; }
    IClock& Clock() { return clock_; }
    CEventLog& Log() { return log_; }
    CUtility& Utility() { return utility_; }

  protected:
    IQnlIo& io_;
    IClock& clock_;
    CEventLog& log_;
    CUtility& utility_;

  private:
    // The first half of every read exchange: post the read, wait for the reply, take the
    // first reply record and wait again. The data record is then ready for ReadCMD.
    std::int32_t StartReadExchange(const TargetHost& host, std::uint32_t command,
                                   std::uint32_t space, std::uint32_t length, std::uint32_t address,
                                   std::uint32_t dataLow);
    // The device-information reads of a slot just recorded, bounded by kDiscoveryAnswerMs.
    // False when the controller did not answer in time (the slot is then marked bNoAnswer).
    bool ReadDeviceInfoBounded(std::uint8_t slot, const std::string& wrsrThreshold,
                               std::uint8_t kind, bool clearF3B4);
    void RecordHost(std::uint8_t slot, std::uint8_t bus, std::uint8_t device, std::uint8_t function,
                    std::uint8_t kind);
    // Reads the slot's BAR0 into its record (low 4 bits cleared).
    void RecordMmioBase(std::uint8_t slot);
    // Compares a function's dword 0 with one kind's identification table.
    static bool MatchesKind(std::uint32_t dword0, std::uint8_t kind);

    std::mutex busAccessLock_;
    std::mutex leftOutMutex_;
    // The device-information workers given up on (asked to stop, still returning).
    std::vector<std::shared_ptr<Worker>> leftOut_;
};

// "%02X%02X%02X_%02X_%02X_%02X" of six version bytes.
std::string FormatFirmwareVersion(const std::uint8_t bytes[6]);
// Whether a host with firmware `version` has its flash status register read, given the
// threshold text: at or above the threshold, and never for an all-zero threshold.
bool VersionAtOrAboveThreshold(const std::string& version, const std::string& threshold);

}  // namespace qnl
