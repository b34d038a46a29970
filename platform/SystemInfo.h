#pragma once

#include <cstdint>
#include <string>

namespace qnl {

// The system's default language as a Windows-style language identifier (0x0409 for English,
// United States), taken from the locale environment. Recorded only.
std::uint16_t SystemLanguageId();

// This machine's name ("" when the system does not tell): the station in the run records.
std::string StationHostName();

}  // namespace qnl
