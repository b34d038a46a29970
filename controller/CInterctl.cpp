#include "controller/CInterctl.h"

#include <chrono>
#include <memory>

#include "platform/Worker.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

#include "controller/ErrorCodes.h"
#include "platform/Files.h"
#include "qnlio/ChipIdTable.h"
#include "qnlio/MailboxProtocol.h"

namespace qnl {

using namespace mailbox;

CInterctl::CInterctl(IQnlIo& io, IClock& clock, CEventLog& log, CUtility& utility)
    : io_(io), clock_(clock), log_(log), utility_(utility) {}

bool CInterctl::MatchesKind(std::uint32_t dword0, std::uint8_t kind) {
    if (kind == 0) {
        for (const auto& id : kKind0Ids)
            if (id.ConfigDword0() == dword0) return true;
    } else {
        for (const auto& id : kKind1Ids)
            if (id.ConfigDword0() == dword0) return true;
    }
    return false;
}

void CInterctl::RecordHost(std::uint8_t slot, std::uint8_t bus, std::uint8_t device,
                           std::uint8_t function, std::uint8_t kind) {
    // The window's table may read the records meanwhile: every discovery write is made under
    // the record's lock.
    utility_.WriteRecord(slot, [&](TargetHost& host) {
        host.ucIndex = slot;
        host.ucBus = bus;
        host.ucDevice = device;
        host.ucFunction = function;
        host.ucKind = kind;
        host.bNoAnswer = false;
    });
}

void CInterctl::RecordMmioBase(std::uint8_t slot) {
    const TargetHost host = utility_.RecordSnapshot(slot);
    const std::uint32_t base =
        io_.PCI_Read_DWORD(host.ucBus, host.ucDevice, host.ucFunction, CFG_BAR0) & ~0xFu;
    utility_.WriteRecord(slot, [&](TargetHost& record) { record.dwMmioBase = base; });
}

bool CInterctl::ReadDeviceInfoBounded(std::uint8_t slot, const std::string& wrsrThreshold,
                                      std::uint8_t kind, bool clearF3B4) {
    // The reads run on a worker of their own with a copy of the record: a controller that
    // never answers is given up on after the limit and keeps its slot marked as not answering
    // (what could not be read stays empty), and its worker (asked to stop) writes nothing into
    // the table when it returns.
    auto host = std::make_shared<TargetHost>(utility_.RecordSnapshot(slot));
    auto worker = Worker::Start([this, host, wrsrThreshold, kind, clearF3B4] {
        ReadDeviceInfo(*host, wrsrThreshold, kind);
        if (clearF3B4) ClearXdataF3B4Bit2(*host);
    });
    // The limit is on the tool's clock, and at least kDiscoveryAnswerMinRealMs of real time.
    if (!WaitFinishedWithin(*worker, clock_, kDiscoveryAnswerMs,
                            std::chrono::milliseconds(kDiscoveryAnswerMinRealMs))) {
        KeepGivenUpWorker(worker);
        const TargetHost record = utility_.RecordSnapshot(slot);
        log_.LogMessage(kEventTypeError,
                        "\r\n%s:%d: Bus=%d, Device=%d, Function=%d does not answer within %d s, "
                        "not served",
                        "CInterctl::ScanPciBus", 240, record.ucBus, record.ucDevice,
                        record.ucFunction, static_cast<int>(kDiscoveryAnswerMs / 1000));
        utility_.m_NoAnswerHosts.push_back({record.ucBus, record.ucDevice, record.ucFunction});
        utility_.WriteRecord(slot, [](TargetHost& h) { h.bNoAnswer = true; });
        return false;
    }
    utility_.WriteRecord(slot, [&](TargetHost& h) { h = *host; });
    return true;
}

void CInterctl::KeepGivenUpWorker(const std::shared_ptr<Worker>& worker) {
    worker->Abandon();
    std::lock_guard keep(leftOutMutex_);
    leftOut_.push_back(worker);
}

bool CInterctl::WaitForLeftOutWorkers(std::chrono::milliseconds timeout) {
    std::vector<std::shared_ptr<Worker>> workers;
    {
        std::lock_guard lock(leftOutMutex_);
        workers = leftOut_;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool all = true;
    for (const auto& worker : workers) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        all = worker->WaitFinished(std::max(left, std::chrono::milliseconds(0))) && all;
    }
    std::lock_guard lock(leftOutMutex_);
    std::erase_if(leftOut_, [](const std::shared_ptr<Worker>& w) { return w->Finished(); });
    return all;
}

std::int32_t CInterctl::ScanPciBus(const std::string& wrsrThreshold) {
    std::lock_guard lock(busAccessLock_);
    try {
        utility_.m_NoAnswerHosts.clear();
        utility_.ucHostCount = 0;
        utility_.dwControllersFound = 0;
        for (std::uint32_t function = 0; function < 8; ++function) {
            for (std::uint32_t device = 0; device < 32; ++device) {
                for (std::uint32_t bus = 0; bus < 256; ++bus) {
                    const std::uint32_t dword0 = io_.PCI_Read_DWORD(bus, device, function, 0);
                    for (std::uint8_t kind = 0; kind < 2; ++kind) {
                        if (!MatchesKind(dword0, kind)) continue;
                        ++utility_.dwControllersFound;
                        if (utility_.ucHostCount >= kMaxHosts) continue;
                        const std::uint8_t slot = utility_.ucHostCount;
                        RecordHost(slot, static_cast<std::uint8_t>(bus),
                                   static_cast<std::uint8_t>(device),
                                   static_cast<std::uint8_t>(function), kind);
                        RecordMmioBase(slot);
                        ReadDeviceInfoBounded(slot, wrsrThreshold, kind, kind == 0);
                        utility_.ucHostCount = static_cast<std::uint8_t>(slot + 1);
                    }
                }
            }
        }
    } catch (const std::exception& e) {
        log_.LogMessage(kEventTypeError, "\r\n%s:%d: dwErrorCode %d, what: %s",
                        "CInterctl::ScanPciBus", 236, files::LastError(), e.what());
        return kErrIo;
    }
    return utility_.ucHostCount > 0 ? kOk : kErrNoDevice;
}

std::int32_t CInterctl::AssignPciBus(std::uint8_t bus, std::uint8_t device, std::uint8_t function,
                                     const std::string& wrsrThreshold) {
    std::lock_guard lock(busAccessLock_);
    try {
        utility_.m_NoAnswerHosts.clear();
        utility_.ucHostCount = 0;
        utility_.dwControllersFound = 0;
        const std::uint32_t dword0 = io_.PCI_Read_DWORD(bus, device, function, 0);
        if (MatchesKind(dword0, 0)) {
            RecordHost(0, bus, device, function, 0);
            ReadDeviceInfoBounded(0, wrsrThreshold, 0, true);
            RecordMmioBase(0);
            utility_.ucHostCount = 1;
        }
        if (MatchesKind(dword0, 1) && utility_.ucHostCount < kMaxHosts) {
            const std::uint8_t slot = utility_.ucHostCount;
            RecordHost(slot, bus, device, function, 1);
            RecordMmioBase(slot);
            ReadDeviceInfoBounded(slot, wrsrThreshold, 1, true);
            utility_.ucHostCount = 1;
        }
        utility_.dwControllersFound = utility_.ucHostCount;
    } catch (const std::exception& e) {
        log_.LogMessage(kEventTypeError, "\r\n%s:%d: dwErrorCode %d, what: %s",
                        "CInterctl::AssignPciBus", 310, files::LastError(), e.what());
        return kErrIo;
    }
    return utility_.ucHostCount > 0 ? kOk : kErrNoDevice;
}

// --- Command channel ---------------------------------------------------------------------------

std::int32_t CInterctl::Post(const TargetHost& host, std::uint32_t command, std::uint32_t space,
                             std::uint32_t length, std::uint32_t address, std::uint32_t dataLow,
                             std::uint32_t dataHigh) {
    std::int32_t rc = io_.WriteCmdALL(host.ucBus, host.ucDevice, host.ucFunction, command, space,
                                      length, address, dataLow, dataHigh);
    if (rc < 0) return rc;
    rc = io_.Wait_Write_Ready(host.ucBus, host.ucDevice, host.ucFunction);
    if (rc < 0) return rc;
    return kOk;
}

std::int32_t CInterctl::StartReadExchange(const TargetHost& host, std::uint32_t command,
                                          std::uint32_t space, std::uint32_t length,
                                          std::uint32_t address, std::uint32_t dataLow) {
    const std::uint32_t b = host.ucBus, d = host.ucDevice, f = host.ucFunction;
    std::int32_t rc = io_.WriteCmdALL(b, d, f, command, space, length, address, dataLow, 0);
    if (rc < 0) return rc;
    rc = io_.Wait_Read_Ready(b, d, f);
    if (rc < 0) return rc;
    // Room beyond the 44 bytes the library fills, so a generous backend cannot overrun us.
    std::array<std::uint8_t, 64> reply{};
    io_.ReadCMD(b, d, f, reply.data());
    rc = io_.Wait_Read_Ready(b, d, f);
    return rc < 0 ? rc : kOk;
}

std::int32_t CInterctl::ReadMemory(const TargetHost& host, std::uint32_t space,
                                   std::uint32_t address, std::uint32_t length, std::uint8_t* out,
                                   std::uint32_t opcode) {
    if (length > 8) return kErrInvalidParameter;
    const std::uint32_t b = host.ucBus, d = host.ucDevice, f = host.ucFunction;
    const std::int32_t rc = StartReadExchange(host, CMD_MEM_READ, space, length, address,
                                              space == SPACE_SPI_ID ? opcode : 0);
    if (rc < 0) return rc;
    std::array<std::uint8_t, 64> reply{};
    if (length == 8) {
        reply.fill(0);
        io_.ReadCMD(b, d, f, reply.data());
        std::memcpy(out, reply.data() + REPLY_DATA_OFFSET, 8);
        return kOk;
    }
    for (std::uint32_t i = 0; i < length; ++i)
        out[i] = io_.PCI_Read_BYTE(b, d, f, CFG_MAILBOX_DATA0 + i);
    io_.PCI_Write_Byte(b, d, f, CFG_MAILBOX_CONTROL, 1);
    return kOk;
}

std::int32_t CInterctl::Read_8051_Memory(const TargetHost& host, std::uint32_t space,
                                         std::uint32_t address, std::uint32_t total,
                                         std::uint8_t* out) {
    std::uint32_t done = 0;
    while (done < total) {
        const std::uint32_t piece = std::min<std::uint32_t>(8, total - done);
        const std::int32_t rc = ReadMemory(host, space, address + done, piece, out + done);
        if (rc != kOk) {
            log_.LogMessage(kEventTypeError,
                            "\r\n%s:%d: Read_Memory Fail!!, dwReadSize[%x] , dwDoneSize + addr[%x]",
                            "CInterctl::Read_8051_Memory", 402, piece, done + address);
            return rc;
        }
        done += piece;
    }
    return kOk;
}

static std::uint32_t PackLittleEndian(const std::uint8_t* bytes, std::uint32_t count) {
    std::uint32_t value = 0;
    for (std::uint32_t i = 0; i < count && i < 4; ++i) value |= std::uint32_t{bytes[i]} << (8 * i);
    return value;
}

std::int32_t CInterctl::WriteMemory(const TargetHost& host, std::uint32_t address,
                                    std::uint32_t length, const std::uint8_t* data) {
    std::vector<std::uint8_t> buffer;
    try {
        buffer.assign(data, data + length);
    } catch (const std::bad_alloc&) {
        return kErrNoMemory;
    }
    std::uint32_t offset = 0;
    while (length - offset > 8) {
        const std::uint8_t* group = buffer.data() + offset;
        const std::int32_t rc = Post(host, CMD_MEM_WRITE, SPACE_XDATA, 8, address,
                                     PackLittleEndian(group, 4), PackLittleEndian(group + 4, 4));
        if (rc != kOk) return rc;
        address += 8;
        offset += 8;
    }
    const std::uint32_t rest = length - offset;
    if (rest > 0) {
        std::array<std::uint8_t, 8> group{};
        std::memcpy(group.data(), buffer.data() + offset, rest);
        return Post(host, CMD_MEM_WRITE, SPACE_XDATA, rest, address,
                    PackLittleEndian(group.data(), 4), PackLittleEndian(group.data() + 4, 4));
    }
    return kOk;
}

std::int32_t CInterctl::ReadSpiStatus(const TargetHost& host, std::array<std::uint8_t, 8>& out) {
    const std::int32_t rc =
        StartReadExchange(host, CMD_SPI_READ_REG, SPACE_SPI, 2, 0, SPI_READ_STATUS);
    if (rc < 0) return rc;
    std::array<std::uint8_t, 64> reply{};
    io_.ReadCMD(host.ucBus, host.ucDevice, host.ucFunction, reply.data());
    std::memcpy(out.data(), reply.data() + REPLY_DATA_OFFSET, 8);
    return kOk;
}

std::int32_t CInterctl::EndFlashAccess(const TargetHost& host, bool clearMailbox) {
    const std::uint32_t b = host.ucBus, d = host.ucDevice, f = host.ucFunction;
    if (clearMailbox) {
        io_.PCI_Write_Byte(b, d, f, CFG_MAILBOX_CONTROL, 0);
        for (std::uint32_t reg = CFG_MAILBOX_DATA0; reg <= 0xFC; reg += 4)
            io_.PCI_Write_DWORD(b, d, f, reg, 0);
    }
    const std::size_t kind = host.ucKind == 1 ? 1 : 0;
    const std::uint8_t leave = 0x02, boot = 0x01;
    std::int32_t rc = WriteMemory(host, XDATA_END_ACCESS_1[kind], 1, &leave);
    if (rc != kOk) return rc;
    rc = WriteMemory(host, XDATA_END_ACCESS_2[kind], 1, &boot);
    if (rc == kOk) clock_.SleepMs(500);
    return rc;
}

std::int32_t CInterctl::ClearXdataF3B4Bit2(const TargetHost& host) {
    std::uint8_t value = 0;
    std::int32_t rc = Read_8051_Memory(host, SPACE_XDATA, XDATA_F3B4, 1, &value);
    if (rc != kOk) return rc;
    value &= 0xFB;
    return WriteMemory(host, XDATA_F3B4, 1, &value);
}

std::int32_t CInterctl::RunTestCommand(const TargetHost& host, std::uint32_t parameter) {
    std::int32_t rc = Post(host, CMD_TEST, SPACE_XDATA, 1, 0, parameter, 0);
    if (rc != kOk) return rc;
    for (int attempt = 0; attempt < 6; ++attempt) {
        clock_.SleepMs(500);
        std::uint8_t status = 0;
        if (ReadMemory(host, SPACE_TEST_STATUS, 0, 1, &status) == kOk)
            return status == 0 ? kErrIo : kOk;
    }
    return kErrIo;
}

}  // namespace qnl
