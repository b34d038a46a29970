// libFuzzer target: the diagnostic store's event lines.
#include "support/FuzzEntries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qnl::fuzz::DiagnosticStoreLines(data, size);
    return 0;
}
