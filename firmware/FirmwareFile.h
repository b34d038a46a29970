// Checking a firmware image and reading its version. CInterctl::Check_Firmware_File and
// CInterctl::Get_Version_From_File are these operations on the tool's own g_Utility and log;
// the free forms serve callers that hold no chip interface.
#pragma once

#include <cstddef>
#include <cstdint>

#include "controller/CUtility.h"
#include "platform/EventLog.h"

namespace qnl {

// Checks signatures and checksums of an image of `size` bytes; 0 or -3 (kErrDataNotMatch).
// Records the file kind, L, N and the computed checksums in `utility`. Reads nothing outside
// the image: a length that points past its end fails the check.
std::int32_t CheckFirmwareImage(const std::uint8_t* image, std::size_t size, CUtility& utility,
                                CEventLog& log);
// Resets the file state, runs the check and copies the 6 version bytes; sets the variant.
std::int32_t GetVersionFromImage(const std::uint8_t* image, std::size_t size,
                                 std::uint8_t version[6], CUtility& utility, CEventLog& log);

}  // namespace qnl
