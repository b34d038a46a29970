// libFuzzer target: the settings file reader.
#include "support/FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qnl::fuzz::SettingsReader(data, size);
    return 0;
}
