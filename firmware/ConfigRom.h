// The configuration image: the chosen firmware image with the operator's configuration
// entries and customer text built into its configuration block.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "firmware/FirmwareImage.h"

namespace qnl {

struct IniSettings;
class SET_REG;

// At most this many entries are added in one run.
inline constexpr std::size_t kMaxNewConfigEntries = 127;

// The new entries, in order: SVID and SSID (subsys_enable), the PCIe speed limit
// (PCISPEED_enable, kind 0 only, from `pcieLink` with the Gen3/Gen2 enable bits cleared as
// MAX_PCIe_SPEED asks), then the manual register list when it is on and valid.
std::vector<ConfigEntryBytes> CollectConfigEntries(const IniSettings& ini, const SET_REG& regs,
                                                   std::uint8_t kind, std::uint8_t pcieLink);

// Builds the image of `image` with `newEntries` appended to its configuration block into
// `out`, which must hold ImageLength(image, newEntries.size()) bytes (bytes beyond stay as
// they are). Recomputes L, the configuration checksum and the CRC. Returns 0, or -10 when
// there are more than 127 new entries or the block would outgrow its 16-bit length, or -8
// when `out` is too small.
std::int32_t InsertCFGToBin(const BinFileStruct& image, std::span<std::uint8_t> out,
                            std::span<const ConfigEntryBytes> newEntries);

}  // namespace qnl
