// Command and space codes of the microcontroller mailbox, and the configuration-space
// registers beside it. Shared by the core (which sends them) and the simulated station
// (which answers them).
#pragma once

#include <cstdint>

namespace qnl::mailbox {

// Command codes.
inline constexpr std::uint32_t CMD_SECTION_BEGIN = 0x11;
inline constexpr std::uint32_t CMD_SPI_OPCODE = 0x19;
inline constexpr std::uint32_t CMD_SPI_MODE = 0x1B;
inline constexpr std::uint32_t CMD_SPI_WRSR = 0x1C;
inline constexpr std::uint32_t CMD_SECTION_BEGIN_AAI = 0x1D;
inline constexpr std::uint32_t CMD_SECTION_DATA = 0x1E;
inline constexpr std::uint32_t CMD_END = 0x1F;
inline constexpr std::uint32_t CMD_MEM_WRITE = 0x23;
inline constexpr std::uint32_t CMD_SPI_ERASE = 0x30;
inline constexpr std::uint32_t CMD_MEM_READ = 0x40;
inline constexpr std::uint32_t CMD_SPI_READ_REG = 0x4C;
inline constexpr std::uint32_t CMD_TEST = 0x80;

// Memory spaces.
inline constexpr std::uint32_t SPACE_XDATA = 0x04;
inline constexpr std::uint32_t SPACE_FWINFO = 0x08;
inline constexpr std::uint32_t SPACE_SPI = 0x10;
inline constexpr std::uint32_t SPACE_SPI_ID = 0x20;
inline constexpr std::uint32_t SPACE_TEST_STATUS = 0x81;

// SPI opcodes carried as data.
inline constexpr std::uint8_t SPI_WRITE_ENABLE = 0x06;
inline constexpr std::uint8_t SPI_WRITE_DISABLE = 0x04;
inline constexpr std::uint8_t SPI_READ_STATUS = 0x05;
inline constexpr std::uint8_t SPI_WRITE_STATUS = 0x01;

// Configuration-space registers of the controller function.
inline constexpr std::uint32_t CFG_MAILBOX_CONTROL = 0xE0;  // byte
inline constexpr std::uint32_t CFG_MAILBOX_DATA0 = 0xF0;    // dwords 0xF0, 0xF4, 0xF8, 0xFC
inline constexpr std::uint32_t CFG_BAR0 = 0x10;

// Reply record layout (ReadCMD): bytes 12..19 carry 8 reply data bytes.
inline constexpr std::uint32_t REPLY_DATA_OFFSET = 12;

// Firmware information: the running firmware's 6 version bytes.
inline constexpr std::uint32_t FWINFO_VERSION_ADDRESS = 0x80;

// Data-memory locations per controller kind (index 0 = kind 0, 1 = kind 1).
inline constexpr std::uint32_t XDATA_CHIP_SIGNATURE[2] = {0xF38C, 0x150B2};
inline constexpr std::uint32_t XDATA_SVID[2] = {0xE260, 0x10050};
inline constexpr std::uint32_t XDATA_SSID[2] = {0xE262, 0x10052};
inline constexpr std::uint32_t XDATA_PCIE_LINK = 0xE241;  // kind 0 only
// End-of-access sequence: 0x02 to the first, then 0x01 to the second makes the
// microcontroller leave flash access and boot again from the flash.
inline constexpr std::uint32_t XDATA_END_ACCESS_1[2] = {0xF340, 0x15040};
inline constexpr std::uint32_t XDATA_END_ACCESS_2[2] = {0xF342, 0x15042};
inline constexpr std::uint32_t XDATA_AAI_PARAMETER = 0xF341;
inline constexpr std::uint32_t XDATA_F3B4 = 0xF3B4;  // cleared bit 2 after discovery
// Configuration entries of kind 1 land at this base plus their 16-bit address.
inline constexpr std::uint32_t KIND1_CONFIG_BASE = 0x10000;
// The 16-bit address a configuration entry gives for a data-memory location.
constexpr std::uint16_t ConfigEntryAddress(std::uint32_t xdata) {
    return static_cast<std::uint16_t>(xdata & 0xFFFF);
}

}  // namespace qnl::mailbox
