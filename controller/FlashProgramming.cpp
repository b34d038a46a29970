// SPI flash programming through the microcontroller mailbox.
//
// The microcontroller knows no flash parts: the host identifies the part from the supported-parts
// table and sends the row's opcodes and sizes with every erase. Programming runs as separate
// stages: identify and unprotect, then per section erase -> write -> verify, whole attempts
// retried up to three times, then protect again and leave flash access so that the controller
// boots from the new contents.
//
// Every wait goes through the tool's clock. A wait that ends early because the calling worker
// was asked to stop ends the stage with "timed out" (-9); nothing here loops on a controller
// that stopped answering (each retry loop is bounded, and a hung mailbox answers -9).
//
// A worker that was asked to stop starts no destructive step after that: each unprotect,
// erase and write command is preceded by a check. A stopped update still protects the part
// again (when its controller answers), so a board left between erase and write is protected.
#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "controller/CInterctl.h"
#include "controller/ErrorCodes.h"
#include "platform/Cancellation.h"
#include "qnlio/MailboxProtocol.h"

namespace qnl {

using namespace mailbox;

namespace {

constexpr std::uint8_t kSpiModeDefault = 0x80;
constexpr std::uint8_t kSpiModeAlternate = 0x20;  // the two MXIC parts of rows 3 and 4
constexpr std::uint8_t kStatusProtect = 0x9F;     // BP0..BP2 and SRWD
constexpr std::uint8_t kStatusUnprotect = 0x03;
constexpr std::uint32_t kProtectSettleMs = 200;
constexpr std::uint32_t kEraseSettleMs = 500;
constexpr std::uint32_t kAfterEraseMs = 1000;
constexpr std::uint32_t kSplitEraseMsPerFactor = 5;
constexpr std::uint32_t kSectorsPerSection = 16;
constexpr int kAttempts = 3;
constexpr std::uint32_t kRetryShiftStep = 128;
constexpr int kReadsPerGroup = 3;
constexpr int kMismatchesPerGroup = 3;
// A second copy of the image is kept on parts of at least 128 KB for images of at most 64 KB.
constexpr std::uint32_t kSecondCopyMinCapacity = 0x20000;
constexpr std::uint32_t kSecondCopyMaxImage = 0x10000;
// Parts of this manufacturer program in auto-address-increment mode only.
constexpr std::uint8_t kAaiManufacturerId = 0xBF;
constexpr std::uint8_t kAaiParameterFast = 0x80;  // bit 1 of the parameter byte set
constexpr std::uint8_t kAaiParameterSlow = 0xF0;
constexpr std::uint8_t kGroupBytes = 8;

std::uint32_t LittleEndian(const std::uint8_t* bytes, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count && i < 4; ++i) value |= std::uint32_t{bytes[i]} << (8 * i);
    return value;
}

// Erase command data: row bytes 0..3, and bytes 4, 5, 6, 7, 8 folded into one word as the
// microcontroller expects (byte 5 is 0 in every row, so bytes 4, 6, 7, 8 fill the four lanes).
std::uint32_t EraseDataLow(const FlashPart& part) {
    return LittleEndian(part.bytes.data(), 4);
}
std::uint32_t EraseDataHigh(const FlashPart& part) {
    const auto& b = part.bytes;
    return std::uint32_t{b[4]} + 256u * b[5] + 256u * b[6] + 65536u * b[7] + 16777216u * b[8];
}

// These parts take long sector erases: the erase is sent in two halves with a wait after each.
bool UsesSplitErase(const FlashPart& part) {
    const auto id = part.IdBytes();
    return (id[0] == 0xC8 && id[1] == 0x40) || (id[0] == 0x20 && id[1] == 0x20);
}

bool NeedsAlternateSpiMode(const FlashPart& part) {
    const auto id = part.IdBytes();
    return id[0] == 0xC2 && id[1] == 0x22 && (id[2] == 0x10 || id[2] == 0x11);
}

std::uint32_t CeilDiv(std::uint32_t value, std::uint32_t divisor) {
    return value / divisor + (value % divisor != 0 ? 1 : 0);
}

// One 8-byte group as the two data words, zero-padded.
struct Group {
    std::uint32_t low = 0;
    std::uint32_t high = 0;
};
Group PackGroup(const std::uint8_t* data, std::uint32_t count) {
    std::array<std::uint8_t, kGroupBytes> bytes{};
    std::memcpy(bytes.data(), data, std::min<std::uint32_t>(count, kGroupBytes));
    return {LittleEndian(bytes.data(), 4), LittleEndian(bytes.data() + 4, 4)};
}

// --- Update_Firmware stages ----------------------------------------------------------------

constexpr const char* kUpdate = "CInterctl::Update_Firmware";

enum class PassEnd {
    kDone,         // every section erased, written and verified
    kRetry,        // a write or verify failed: the next attempt starts over
    kEraseFailed,  // the update ends at once
};

struct PassResult {
    PassEnd end = PassEnd::kDone;
    std::int32_t code = kOk;
};

// What one programming attempt works with.
struct Job {
    std::uint8_t targetNumber;
    const TargetHost& host;
    const FlashPart& part;
    const std::uint8_t* image;
    std::uint32_t length;       // bytes programmed per copy
    std::uint32_t sectorCount;  // for the messages
    std::uint32_t retryShift;   // of this attempt
};

// A stage that was not started because the worker was asked to stop.
constexpr PassResult kStopped{PassEnd::kRetry, kErrTimeout};

// One copy of the image from `flashAddress` on, in sections of 16 sectors: erase, wait,
// write, verify.
PassResult ProgramCopy(CInterctl& chip, const Job& job, std::uint32_t flashAddress,
                       std::uint32_t attempt) {
    const std::uint32_t section = kSectorsPerSection * job.part.SectorSizeBytes();
    for (std::uint32_t offset = 0; offset < job.length;) {
        const std::uint32_t size = std::min(section, job.length - offset);
        if (StopRequested()) return kStopped;
        std::int32_t rc = chip.Erase_SPIRom(job.host, job.part, size, flashAddress, attempt);
        if (rc != kOk) {
            chip.Log().LogMessage(kEventTypeError,
                                  "\r\n%s:%d: Erease SPI Sector Failed , dwSectorCount = %d\n",
                                  kUpdate, 1361, job.sectorCount);
            return {PassEnd::kEraseFailed, rc};
        }
        if (!chip.Clock().SleepMs(kAfterEraseMs) || StopRequested()) return kStopped;
        rc = chip.Write_Section(job.host, job.part, job.image + offset, flashAddress, size,
                                job.retryShift);
        if (rc != kOk) {
            chip.Log().LogMessage(kEventTypeError,
                                  "\r\n%s:%d: ucTargetNumber[%d], Write_Section Fail!!, "
                                  "ucRetry[%d] ",
                                  kUpdate, 1370, job.targetNumber, attempt);
            return {PassEnd::kRetry, rc};
        }
        rc = chip.Compare_Section(job.host, job.image + offset, flashAddress, size);
        if (rc != kOk) {
            chip.Log().LogMessage(kEventTypeError,
                                  "\r\n%s:%d: ucTargetNumber[%d],Compare_Section Fail!!, "
                                  "ucRetry[%d] ",
                                  kUpdate, 1377, job.targetNumber, attempt);
            return {PassEnd::kRetry, rc};
        }
        offset += size;
        flashAddress += size;
    }
    return {};
}

}  // namespace

// --- Identification and protection ---------------------------------------------------------

FlashPart CInterctl::IdentifyFlash(const TargetHost& host) {
    if (Post(host, CMD_SPI_MODE, SPACE_SPI, 1, 0, kSpiModeDefault, 0) != kOk)
        return FlashPart::None();
    std::optional<std::size_t> found;
    for (std::size_t row = 0; row < FlashPartCount() && !found; ++row) {
        const FlashPart& candidate = FlashPartRow(row);
        std::uint8_t id[3] = {};
        if (ReadMemory(host, SPACE_SPI_ID, candidate.IdAddressBytes(), 3, id,
                       candidate.IdOpcode()) != kOk) {
            return FlashPart::None();
        }
        if (FlashIdMatches(candidate, id)) found = row;
    }
    if (!found) return FlashPart::None();
    const FlashPart part = FlashPartRow(*found);
    // Identification is the last step a stopped worker takes: it does not unprotect.
    if (StopRequested()) return FlashPart::None();
    if (NeedsAlternateSpiMode(part) &&
        Post(host, CMD_SPI_MODE, SPACE_SPI, 1, 0, kSpiModeAlternate, 0) != kOk) {
        return part;
    }
    SetFlashProtect(host, false);
    return part;
}

std::int32_t CInterctl::SetFlashProtect(const TargetHost& host, bool protect) {
    // The waits let the chip finish its status write. A worker asked to stop still sends the
    // remaining commands: a controller that answers is left protected, a hung one answers -9.
    // It never starts to unprotect.
    if (!protect && StopRequested()) return kErrTimeout;
    std::int32_t rc = Post(host, CMD_SPI_OPCODE, SPACE_SPI, 1, 0, SPI_WRITE_ENABLE, 0);
    if (rc != kOk) return rc;
    clock_.SleepMs(kProtectSettleMs);
    const std::uint8_t status = protect ? kStatusProtect : kStatusUnprotect;
    rc = Post(host, CMD_SPI_WRSR, SPACE_SPI, 2, 0,
              SPI_WRITE_STATUS | static_cast<std::uint32_t>(status) << 8, 0);
    if (rc != kOk) return rc;
    clock_.SleepMs(kProtectSettleMs);
    if (!protect) return kOk;
    rc = Post(host, CMD_SPI_OPCODE, SPACE_SPI, 1, 0, SPI_WRITE_DISABLE, 0);
    clock_.SleepMs(kProtectSettleMs);
    return rc;
}

// --- Erase -----------------------------------------------------------------------------------

std::int32_t CInterctl::Erase_SPIRom(const TargetHost& host, const FlashPart& part,
                                     std::uint32_t byteCount, std::uint32_t startAddress,
                                     std::uint32_t attempt) {
    const std::uint32_t sector = part.SectorSizeBytes();
    if (sector == 0) return kErrInvalidParameter;
    const std::uint32_t count = CeilDiv(byteCount, sector);
    const std::uint32_t low = EraseDataLow(part);
    const std::uint32_t high = EraseDataHigh(part);

    std::int32_t rc = kOk;
    if (UsesSplitErase(part)) {
        // Halves of the section, each followed by a wait that grows with the attempt. A single
        // sector is one step of one sector, and the last step never runs past the count, so
        // exactly the requested sectors are erased and the loop always ends.
        const std::uint32_t step = std::max<std::uint32_t>(1, count / 2);
        const std::uint32_t waitMs =
            (attempt + 1) * part.EraseTimeFactor() * kSplitEraseMsPerFactor;
        for (std::uint32_t done = 0; done < count;) {
            const std::uint32_t sectors = std::min(step, count - done);
            if (StopRequested()) {
                rc = kErrTimeout;
                break;
            }
            rc = Post(host, CMD_SPI_ERASE, SPACE_SPI, sectors, startAddress, low, high);
            if (rc != kOk) break;
            if (!clock_.SleepMs(waitMs)) {
                rc = kErrTimeout;
                break;
            }
            startAddress += sectors * sector;
            done += sectors;
        }
    } else {
        if (StopRequested()) return kErrTimeout;
        rc = Post(host, CMD_SPI_ERASE, SPACE_SPI, count, startAddress, low, high);
        if (rc != kOk) {
            log_.LogMessage(kEventTypeError,
                            "\r\n%s:%d: Erease SPI Sector Failed , sector_count = %d\n",
                            "CInterctl::Erase_SPIRom", 1224, count);
            return rc;
        }
    }
    if (!clock_.SleepMs(kEraseSettleMs) && rc == kOk) rc = kErrTimeout;
    return rc;
}

// --- Write -----------------------------------------------------------------------------------

std::int32_t CInterctl::Write_Section(const TargetHost& host, const FlashPart& part,
                                      const std::uint8_t* data, std::uint32_t startAddress,
                                      std::uint32_t length, std::uint32_t retryShift) {
    if (length == 0) return kOk;
    if (data == nullptr) return kErrInvalidParameter;
    if (StopRequested()) return kErrTimeout;
    constexpr const char* kFunction = "CInterctl::Write_Section";

    // 1. Open the section.
    std::int32_t rc;
    if (part.IdBytes()[0] == kAaiManufacturerId) {
        std::uint8_t parameter = 0;
        rc = Read_8051_Memory(host, SPACE_XDATA, XDATA_AAI_PARAMETER, 1, &parameter);
        if (rc != kOk) return rc;
        const std::uint32_t aai =
            ((parameter & 0x02) != 0 ? kAaiParameterFast : kAaiParameterSlow) + retryShift;
        rc = Post(host, CMD_SECTION_BEGIN_AAI, SPACE_SPI, 0, startAddress, aai, 0);
    } else {
        rc = Post(host, CMD_SECTION_BEGIN, SPACE_SPI, 0, startAddress, 0, 0);
    }
    if (rc != kOk) return rc;

    // 2. Full groups while more than one group remains.
    std::uint32_t offset = 0;
    for (; length - offset > kGroupBytes; offset += kGroupBytes) {
        if (StopRequested()) return kErrTimeout;
        const Group g = PackGroup(data + offset, kGroupBytes);
        rc = Post(host, CMD_SECTION_DATA, SPACE_SPI, kGroupBytes, startAddress + offset, g.low,
                  g.high);
        if (rc != kOk) {
            log_.LogMessage(kEventTypeError,
                            "\r\n%s:%d: Write Section Failed , add = %d, dwLow=%x, dwHigh=%x\n",
                            kFunction, 1268, startAddress + offset, g.low, g.high);
            return rc;
        }
    }

    // 3. The last 1..8 bytes close the section. A section of 8 bytes or less is this one group
    //    alone, which programs it like any other last group.
    const std::uint32_t rest = length - offset;
    if (StopRequested()) return kErrTimeout;
    const Group g = PackGroup(data + offset, rest);
    rc = Post(host, CMD_END, SPACE_SPI, rest, startAddress + offset, g.low, g.high);
    if (rc != kOk) {
        log_.LogMessage(kEventTypeError,
                        "\r\n%s:%d: Write Section (CMD_END) failed!! , add = %d, dwLow=%x, "
                        "dwHigh=%x\n",
                        kFunction, 1281, offset, g.low, g.high);
    }
    return rc;
}

// --- Verify ----------------------------------------------------------------------------------

std::int32_t CInterctl::Compare_Section(const TargetHost& host, const std::uint8_t* data,
                                        std::uint32_t startAddress, std::uint32_t length) {
    if (length == 0) return kOk;
    if (data == nullptr) return kErrInvalidParameter;
    int mismatches = 0;
    for (std::uint32_t offset = 0; offset < length;) {
        const std::uint32_t size = std::min<std::uint32_t>(kGroupBytes, length - offset);
        std::array<std::uint8_t, kGroupBytes> read{};
        bool readOk = false;
        for (int tries = 0; tries < kReadsPerGroup && !readOk; ++tries) {
            read.fill(0);
            readOk = ReadMemory(host, SPACE_SPI, startAddress + offset, size, read.data()) == kOk;
            if (!readOk) {
                log_.LogMessage(kEventTypeError, "\r\n%s:%d: Read_Memory Fail, retry[%d]\n",
                                "CInterctl::Compare_Section", 1305, tries);
                if (StopRequested()) return kErrTimeout;
            }
        }
        // A group that could not be read is not verified: it counts as a mismatch rather than
        // being compared with the cleared buffer (an all-zero group would otherwise "match").
        if (readOk && std::memcmp(read.data(), data + offset, size) == 0) {
            mismatches = 0;
            offset += size;
            continue;
        }
        if (++mismatches >= kMismatchesPerGroup) {
            EndFlashAccess(host, false);
            return kErrNoDevice;  // -6: the verify failed three times
        }
    }
    return kOk;
}

// --- The whole update ------------------------------------------------------------------------

std::int32_t CInterctl::Update_Firmware(std::uint8_t targetNumber, const TargetHost& host,
                                        const FlashPart& part, const std::uint8_t* image,
                                        std::uint32_t length) {
    const std::uint32_t sector = part.SectorSizeBytes();
    // Refused before anything is erased: no part, no image, or an image the chip cannot hold.
    if (part.IsNone() || sector == 0 || image == nullptr || length == 0 ||
        length > part.CapacityBytes()) {
        log_.LogMessage(kEventTypeError,
                        "\r\n%s:%d: ucTargetNumber[%d], invalid image length %u for flash of %u "
                        "bytes, dwErrorCode %d",
                        kUpdate, 1328, targetNumber, length, part.CapacityBytes(),
                        kErrInvalidParameter);
        return kErrInvalidParameter;
    }

    // A second copy follows the first on large parts. Its first erase takes the whole sector at
    // the copy's start, so an image that ends inside a sector is programmed as whole sectors
    // (the tail padded with erased bytes): the second copy then starts on a sector boundary and
    // never touches the first. Images of whole sectors (the usual 64 KB) are sent unchanged.
    const bool secondCopy =
        part.CapacityBytes() >= kSecondCopyMinCapacity && length <= kSecondCopyMaxImage;
    std::vector<std::uint8_t> padded;
    const std::uint8_t* program = image;
    std::uint32_t copyLength = length;
    if (secondCopy && length % sector != 0) {
        copyLength = CeilDiv(length, sector) * sector;
        try {
            padded.assign(copyLength, 0xFF);
        } catch (const std::bad_alloc&) {
            return kErrNoMemory;
        }
        std::memcpy(padded.data(), image, length);
        program = padded.data();
    }
    if (StopRequested()) return kErrTimeout;
    Job job{targetNumber, host, part, program, copyLength, CeilDiv(length, sector), 0};

    std::int32_t result = kErrIo;
    for (std::uint32_t attempt = 0; attempt < kAttempts; ++attempt) {
        // The retry shift belongs to this update alone (a worker given up on cannot change
        // another host's).
        job.retryShift = attempt * kRetryShiftStep;
        PassResult pass = ProgramCopy(*this, job, 0, attempt);
        if (pass.end == PassEnd::kDone && secondCopy)
            pass = ProgramCopy(*this, job, copyLength, attempt);
        // An erase failure leaves the flash as it is, unprotected, and ends the update; an erase
        // cut short by a stop request protects the part again below.
        if (pass.end == PassEnd::kEraseFailed && !StopRequested()) return pass.code;
        result = pass.code;
        if (pass.end == PassEnd::kDone || StopRequested()) break;
    }

    const std::int32_t protect = SetFlashProtect(host, true);
    if (protect != kOk) return protect;
    if (result == kOk) EndFlashAccess(host, true);
    return result;
}

}  // namespace qnl
