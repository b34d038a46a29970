// The external register write ("ExtSet"): battery charge, port disabling and the high-speed
// current driving written at once into the data memory of every second-generation (kind 1)
// controller, with no firmware update. The operator then disables and re-enables the
// controller so that it takes them over.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "controller/CInterctl.h"
#include "settings/CIni.h"

namespace qnl {

// Data-memory locations of a kind-1 controller.
inline constexpr std::uint32_t kExtMarkerAddress = 0x18564;  // 4 bytes
inline constexpr std::uint32_t kExtPortByteAddress = 0x18560;
inline constexpr std::uint32_t kExtDrivingByteAddress = 0x18561;
inline constexpr std::uint8_t kExtMarkerOn[4] = {0x78, 0x56, 0x34, 0x12};
inline constexpr std::uint8_t kExtMarkerOff[4] = {0x55, 0xAA, 0x55, 0xAA};

inline constexpr const char* kExtNoDeviceText = "\r\nNo QNL 736 Device!!\r\n";
inline constexpr const char* kExtErrorText = "\r\nSet External Register Error!!\r\n";
inline constexpr const char* kExtSuccessText =
    "\r\nSet External Register Success!!\r\nPlease Disable QNL 736 and Enable it";

// Bit 0/1 battery charge on port A/B (while battery charge is on), bit 3/4 port A/B disabled
// (while port disabling is on).
std::uint8_t ExternalPortByte(const IniSettings& ini);
// Bits 0..2 the port A digit, bits 3..5 the port B digit (hex text; empty gives 0).
std::uint8_t ExternalDrivingByte(const IniSettings& ini);

struct ExternalSettingResult {
    enum class Outcome { NoDevice, Success, Error };
    Outcome outcome = Outcome::NoDevice;
    int hostsWritten = 0;  // kind-1 hosts fully written
    // The text for the operator: one of the three texts above.
    const char* Text() const {
        return outcome == Outcome::Success ? kExtSuccessText
               : outcome == Outcome::Error ? kExtErrorText
                                           : kExtNoDeviceText;
    }
};

// How long one controller has to take its writes (on the tool's clock, and at least
// kExternalWriteMinRealMs of real time, so a busy machine never makes a healthy simulated
// controller look hung). One that has not answered by then ends the write with the error.
inline constexpr std::uint64_t kExternalWriteAnswerMs = 3000;
inline constexpr std::uint64_t kExternalWriteMinRealMs = 1000;

// The write into every kind-1 host of the table, in table order. With the external setting on:
// the "on" marker, the port byte and the driving byte (and hs_curdriving_enable becomes 1);
// off: the "off" marker alone. The first failed write (or a host that does not answer in
// time) ends it: hosts already written keep their values, later ones are not touched.
ExternalSettingResult WriteExternalSetting(CInterctl& interctl, IniSettings& ini);

}  // namespace qnl
