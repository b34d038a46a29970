// The configuration image: the chosen firmware image with the operator's configuration
// entries and customer text built into its configuration block.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "image/FirmwareImage.h"
#include "image/ImageCheck.h"

namespace qnl {

struct IniSettings;
class SET_REG;

// The new entries, in order: SVID and SSID (subsys_enable), the PCIe speed limit
// (PCISPEED_enable, kind 0 only, from `pcieLink` with the Gen3/Gen2 enable bits cleared as
// MAX_PCIe_SPEED asks), then the manual register list when it is on and valid.
std::vector<ConfigEntryBytes> CollectConfigEntries(const IniSettings& ini, const SET_REG& regs,
                                                   std::uint8_t kind, std::uint8_t pcieLink);

// True when the settings build anything into the image (else it is programmed as it is).
bool ConfigImageWanted(const IniSettings& ini, const SET_REG& regs);

// The image that is programmed, built from a loaded firmware file and the settings: the file's
// bytes when nothing is to be built in, else the image with the new entries and the customer
// text in its configuration block. A padded image keeps its length; one without room left
// grows instead of losing its end. `pcieLink`: the PCIe link byte the speed limit starts from
// (the first host's). `rc` is 0, -3 when the image cannot be taken apart, or InsertCFGToBin's.
struct ConfigImage {
    std::int32_t rc = 0;
    std::vector<std::uint8_t> bytes;
};
ConfigImage BuildConfigImage(const FirmwareFile& firmware, const IniSettings& ini,
                             const SET_REG& regs, std::uint8_t pcieLink, CEventLog& log);

// The file the configuration image is written to: "Config_<version>.rom" in the tool folder.
std::string ConfigRomPath(const std::string& toolFolder, const std::string& version);

}  // namespace qnl
