// The fuzz targets' entry functions, shared by the libFuzzer programs (tests/fuzz/) and the
// corpus replay of the test suite. Each stops the process when an invariant does not hold.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qnl::fuzz {

// Reads the bytes as a settings file; what was read must save and read back the same. Then
// loads them as the tool loads its settings file (CIni::bLoadINIFile: the file's size limit,
// the reader, the version check, the counted lines and the firmware-name check against a tool
// folder holding "fw/new.bin"): a load passes exactly when all of those hold.
void SettingsReader(const std::uint8_t* data, std::size_t size);

// The bytes as a station file: a station that is accepted holds what the simulator relies on
// (unique addresses and register windows, known kinds and flash parts, a positive time scale).
void StationDescription(const std::uint8_t* data, std::size_t size);

// The bytes as the command line's arguments (split at NUL bytes): gathered and parsed, the
// state holds only what the options can give.
void CommandLine(const std::uint8_t* data, std::size_t size);

// The bytes as lines of the diagnostic event file: a line that reads as an event writes back
// to a line that reads as the same event; and the bytes as an event's text survive the line
// format whole.
void DiagnosticStoreLines(const std::uint8_t* data, std::size_t size);

// Checks the bytes as a firmware image, reads its version, takes it apart as either kind, and
// rebuilds it with new configuration entries; a rebuilt good image must check good again and
// keep its version.
void FirmwareFile(const std::uint8_t* data, std::size_t size);

}  // namespace qnl::fuzz
