// libFuzzer target: the command line (gathering and parsing the options).
#include "support/FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qnl::fuzz::CommandLine(data, size);
    return 0;
}
