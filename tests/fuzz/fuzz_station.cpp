// libFuzzer target: the station description (a simulated station's JSON file).
#include "support/FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qnl::fuzz::StationDescription(data, size);
    return 0;
}
