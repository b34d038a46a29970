#pragma once

#include <cstdint>
#include <string>

namespace qnl {

// The system's default language as a Windows-style language identifier (0x0409 for English,
// United States), taken from the locale environment. Recorded only.
std::uint16_t SystemLanguageId();

// Whether a window can open: on Windows always; elsewhere when a display server is named
// (DISPLAY, WAYLAND_DISPLAY) or a window platform is chosen explicitly (QT_QPA_PLATFORM, such
// as "offscreen" or "vnc").
bool HasDisplay();

// This machine's name ("" when the system does not tell): the station in the run records.
std::string StationHostName();

}  // namespace qnl
