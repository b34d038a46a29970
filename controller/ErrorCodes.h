// Error codes: operations return 0 or one of these negative codes.
#pragma once

#include <cstdint>

namespace qnl {

inline constexpr std::int32_t kOk = 0;
inline constexpr std::int32_t kErrIo = -1;                // "IO error"
inline constexpr std::int32_t kErrVersionUnmatch = -2;    // "FW Version Unmatch"
inline constexpr std::int32_t kErrDataNotMatch = -3;      // "Data not match"
inline constexpr std::int32_t kErrNotFound = -4;          // "Entity not found"
inline constexpr std::int32_t kErrFileNotFound = -5;      // "File not found"
inline constexpr std::int32_t kErrNoDevice = -6;          // no controller; verify failed 3 times
inline constexpr std::int32_t kErrDriverStart = -7;       // the I/O library cannot be started
inline constexpr std::int32_t kErrNoMemory = -8;          // "Insufficient memory"
inline constexpr std::int32_t kErrTimeout = -9;           // "Operation timed out"
inline constexpr std::int32_t kErrInvalidParameter = -10; // "Invalid parameter"

// The text a message or the result log shows for a code.
const char* ErrorCodeText(std::int32_t code);

}  // namespace qnl
