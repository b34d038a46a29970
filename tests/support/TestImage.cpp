#include "support/TestImage.h"

#include "firmware/FirmwareImageMaker.h"

namespace qnl::test {

std::vector<std::uint8_t> BuildTestImage(int kind, const std::array<std::uint8_t, 6>& version,
                                         const std::vector<TestEntry>& entries,
                                         std::uint32_t codeSize) {
    FirmwareImageOptions options;
    options.kind = static_cast<std::uint8_t>(kind);
    options.version = version;
    options.codeSize = codeSize;
    for (const TestEntry& e : entries)
        options.entries.push_back(MakeConfigEntry(e.width, e.address, e.value));
    return BuildFirmwareImage(options);
}

}  // namespace qnl::test
