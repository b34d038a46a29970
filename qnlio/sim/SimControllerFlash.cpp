// The microcontroller's flash commands (space SPACE_SPI). The host sends the opcodes and sizes of
// the flash part it identified; the microcontroller clocks them out to the chip, issuing the write
// enable that erase and program need by itself.
#include <algorithm>
#include <iterator>

#include "qnlio/MailboxProtocol.h"
#include "qnlio/sim/SimController.h"

namespace qnl::sim {

using namespace qnl::mailbox;

namespace {

constexpr std::uint8_t kSpiModes[] = {0x80, 0x20};

std::array<std::uint8_t, 8> DataBytes(std::uint32_t dataLow, std::uint32_t dataHigh) {
    std::array<std::uint8_t, 8> bytes{};
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<std::uint8_t>(dataLow >> (8 * i));
        bytes[4 + i] = static_cast<std::uint8_t>(dataHigh >> (8 * i));
    }
    return bytes;
}

}  // namespace

std::int32_t SimController::FlashCommandLocked(std::uint32_t command, std::uint32_t length,
                                               std::uint32_t address, std::uint32_t dataLow,
                                               std::uint32_t dataHigh) {
    const auto data = DataBytes(dataLow, dataHigh);
    const bool aaiPart = flash_.Chip().aai;
    switch (command) {
        case CMD_SPI_MODE:
            if (length != 1) return kMailboxInvalidParameter;
            if (std::find(std::begin(kSpiModes), std::end(kSpiModes), data[0]) ==
                std::end(kSpiModes)) {
                return kMailboxIoError;
            }
            spiMode_ = data[0];
            return kMailboxOk;

        case CMD_SPI_OPCODE:
            if (length != 1) return kMailboxInvalidParameter;
            flash_.Opcode(data[0]);
            return kMailboxOk;

        case CMD_SPI_WRSR:
            // Byte 0 is the opcode clocked out, byte 1 the new status. A chip ignores a
            // write-status it is not enabled for, and an opcode it does not know.
            if (length != 2) return kMailboxInvalidParameter;
            if (data[0] == SPI_WRITE_STATUS) flash_.WriteStatus(data[1]);
            return kMailboxOk;

        case CMD_SPI_READ_REG: {
            // Byte 0 of the reply echoes the opcode; the chip then shifts out its status register
            // for as long as it is clocked. An unknown opcode leaves the bus at 0xFF.
            if (length < 2 || length > 8) return kMailboxInvalidParameter;
            std::array<std::uint8_t, 8> reply{};
            reply[0] = data[0];
            for (std::uint32_t i = 1; i < length; ++i) {
                reply[i] = data[0] == SPI_READ_STATUS ? flash_.Status() : 0xFF;
            }
            QueueReplyLocked(command, SPACE_SPI, length, address, reply.data());
            return kMailboxOk;
        }

        case CMD_SPI_ERASE:
            return EraseLocked(length, address, dataLow, dataHigh);

        case CMD_SECTION_BEGIN:
        case CMD_SECTION_BEGIN_AAI:
            if (length != 0) return kMailboxInvalidParameter;
            // A plain begin uses page programming, which AAI parts do not have; the AAI begin
            // uses the AAI opcode, which other parts do not know.
            if ((command == CMD_SECTION_BEGIN_AAI) != aaiPart) return kMailboxIoError;
            if (flash_.Protected() || address >= flash_.Capacity()) return kMailboxIoError;
            section_ = {.open = true, .aai = aaiPart, .next = address};
            return kMailboxOk;

        case CMD_SECTION_DATA:
            if (length != 8) return kMailboxInvalidParameter;
            return SectionDataLocked(length, address, dataLow, dataHigh, false);

        case CMD_END:
            if (length < 1 || length > 8) return kMailboxInvalidParameter;
            return SectionDataLocked(length, address, dataLow, dataHigh, true);

        default:
            return kMailboxIoError;
    }
}

std::int32_t SimController::EraseLocked(std::uint32_t count, std::uint32_t address,
                                        std::uint32_t dataLow, std::uint32_t dataHigh) {
    // dataLow carries row bytes 0..3 (byte 3: sector size in 4 KB units), dataHigh row bytes
    // 4, 6, 7, 8 (lane 1: the sector-erase opcode). The microcontroller steps through `count`
    // sectors of that size, starting with the sector that holds `address`, and sends the
    // sector-erase opcode for each; it stops at the end of the chip.
    const std::uint32_t units = dataLow >> 24;
    const auto opcode = static_cast<std::uint8_t>(dataHigh >> 8);
    if (units == 0) return kMailboxIoError;
    if (flash_.Protected() || address >= flash_.Capacity()) return kMailboxIoError;
    constexpr std::uint32_t kUnitBytes = 4096;
    if (!flash_.Erase(opcode, address, units * kUnitBytes, count)) return kMailboxIoError;
    return kMailboxOk;
}

std::int32_t SimController::SectionDataLocked(std::uint32_t length, std::uint32_t address,
                                              std::uint32_t dataLow, std::uint32_t dataHigh,
                                              bool last) {
    if (!section_.open) return kMailboxIoError;
    const auto data = DataBytes(dataLow, dataHigh);
    // AAI parts program at their own running address; the address field is not sent to them.
    const std::uint32_t target = section_.aai ? section_.next : address;
    if (last) section_.open = false;
    if (!flash_.Program(target, data.data(), length)) return kMailboxIoError;
    section_.next = target + length;
    return kMailboxOk;
}

}  // namespace qnl::sim
