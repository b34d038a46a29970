// Builds small, valid firmware images for tests: a configuration block with entries and a
// firmware code block whose bytes 128..133 carry the version.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace qnl::test {

struct TestEntry {
    std::uint8_t width;
    std::uint16_t address;
    std::uint32_t value;
};

std::vector<std::uint8_t> BuildTestImage(int kind, const std::array<std::uint8_t, 6>& version,
                                         const std::vector<TestEntry>& entries = {},
                                         std::uint32_t codeSize = 256);

}  // namespace qnl::test
