// libFuzzer target: the firmware file check, version and take-apart, and the rebuild.
#include "support/FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qnl::fuzz::FirmwareFile(data, size);
    return 0;
}
