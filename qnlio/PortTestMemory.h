// Microcontroller data-memory locations (SPACE_XDATA) behind the port tests: the SuperSpeedPlus
// link bytes, the loop-back engine, the PHY blocks and the termination control bytes. Shared by
// the core (which drives them) and the simulated station (which implements them). Index 0 of a
// pair is Port 1 (xHCI port 1), index 1 is Port 2 (xHCI port 2).
#pragma once

#include <cstdint>

namespace qnl::porttest_memory {

// Bit 0 set: the port's link runs at SuperSpeedPlus. Chip type 0 and chip type 1 place the PHY
// blocks differently.
inline constexpr std::uint32_t XDATA_SSP_LINK_CHIP0[2] = {0xF219, 0xF299};
inline constexpr std::uint32_t XDATA_SSP_LINK_CHIP1[2] = {0x19219, 0x1A219};

// Loop-back engine.
inline constexpr std::uint32_t XDATA_LB_GLOBAL = 0xF418;      // bit 7 gates USB 3.0, bit 6 USB 3.1
inline constexpr std::uint32_t XDATA_LB_START_GEN1 = 0xF405;  // bits 0..1 start at USB 3.0
inline constexpr std::uint32_t XDATA_LB_START_GEN2 = 0xF41B;  // bit 0 starts at USB 3.1
inline constexpr std::uint32_t XDATA_LB_PATTERN[2] = {0xF467, 0xF4A7};
inline constexpr std::uint32_t XDATA_LB_PATTERN_CONTROL[2] = {0xF469, 0xF4A9};
inline constexpr std::uint32_t XDATA_LB_LANE[2] = {0xF433, 0xF437};
inline constexpr std::uint32_t XDATA_LB_RESULT_GEN1[2] = {0xF431, 0xF435};  // 0x30 = passed
inline constexpr std::uint32_t XDATA_LB_RESULT_GEN2[2] = {0xF432, 0xF436};  // bit 2 = passed
inline constexpr std::uint32_t XDATA_LB_LINK_ERROR[2] = {0xF430, 0xF434};   // 0 = no error
inline constexpr std::uint32_t XDATA_LB_RECOVERY = 0xF41A;                  // bit 4 pulsed

// PHY blocks.
inline constexpr std::uint32_t XDATA_PHY_COMMAND = 0xF220;
inline constexpr std::uint32_t XDATA_PHY_PORT_CONTROL[2] = {0xF201, 0xF281};
inline constexpr std::uint32_t XDATA_PHY_STATE = 0xF212;  // 2 = link trained

// Termination control bytes: bit 2 starts the check, bit 1 is its result (1 = terminated).
inline constexpr std::uint32_t XDATA_TERMINATION[2] = {0xF432, 0xF436};
inline constexpr std::uint8_t TERMINATION_START = 0x04;
inline constexpr std::uint8_t TERMINATION_RESULT = 0x02;

}  // namespace qnl::porttest_memory
