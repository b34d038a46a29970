// libFuzzer target: the settings file, from the reader to the whole load (version, counted
// lines, firmware name).
#include "support/FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qnl::fuzz::SettingsReader(data, size);
    return 0;
}
