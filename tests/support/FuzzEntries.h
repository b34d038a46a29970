// The fuzz targets' entry functions, shared by the libFuzzer programs (tests/fuzz/) and the
// corpus replay of the test suite. Each stops the process when an invariant does not hold.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qnl::fuzz {

// Reads the bytes as a settings file; what was read must save and read back the same.
void SettingsReader(const std::uint8_t* data, std::size_t size);

// Checks the bytes as a firmware image, reads its version, takes it apart as either kind, and
// rebuilds it with new configuration entries; a rebuilt good image must check good again and
// keep its version.
void FirmwareFile(const std::uint8_t* data, std::size_t size);

}  // namespace qnl::fuzz
