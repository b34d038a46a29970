#pragma once

#include <cstdint>

namespace qnl {

// The system's default language as a Windows-style language identifier (0x0409 for English,
// United States), taken from the locale environment. Recorded only.
std::uint16_t SystemLanguageId();

}  // namespace qnl
