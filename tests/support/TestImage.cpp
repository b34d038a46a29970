#include "support/TestImage.h"

#include <cstring>

namespace qnl::test {

std::vector<std::uint8_t> BuildTestImage(int kind, const std::array<std::uint8_t, 6>& version,
                                         const std::vector<TestEntry>& entries,
                                         std::uint32_t codeSize) {
    const std::uint32_t L = 48 + 8 * static_cast<std::uint32_t>(entries.size());
    std::vector<std::uint8_t> image(L, 0);
    image[0] = 0x5A;
    image[4] = static_cast<std::uint8_t>(L);
    image[5] = static_cast<std::uint8_t>(L >> 8);
    std::memcpy(&image[6], kind == 0 ? "7351A_RCFG" : "7352A_RCFG", 10);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        std::uint8_t* e = &image[48 + 8 * i];
        e[0] = 0xCC;
        e[1] = entries[i].width;
        e[2] = static_cast<std::uint8_t>(entries[i].address);
        e[3] = static_cast<std::uint8_t>(entries[i].address >> 8);
        for (int b = 0; b < entries[i].width && b < 4; ++b)
            e[4 + b] = static_cast<std::uint8_t>(entries[i].value >> (8 * b));
    }
    std::uint8_t sum = 0;
    for (auto b : image) sum = static_cast<std::uint8_t>(sum + b);
    image.push_back(sum);
    for (int i = 0; i < 4; ++i) image.push_back(0);  // CRC, not checked at boot
    for (int i = 0; i < (kind == 0 ? 2 : 4); ++i)
        image.push_back(static_cast<std::uint8_t>(codeSize >> (8 * i)));
    std::vector<std::uint8_t> code(codeSize);
    for (std::uint32_t i = 0; i < codeSize; ++i) code[i] = static_cast<std::uint8_t>(i * 7 + 3);
    for (int i = 0; i < 6 && 128u + i < codeSize; ++i) code[128 + i] = version[i];
    image.insert(image.end(), code.begin(), code.end());
    const char* fwSig = kind == 0 ? "7351A_FW" : "7352A_FW";
    image.insert(image.end(), fwSig, fwSig + 8);
    std::uint8_t codeSum = 0;
    for (auto b : code) codeSum = static_cast<std::uint8_t>(codeSum + b);
    image.push_back(codeSum);
    for (int i = 0; i < 4; ++i) image.push_back(0xA5);
    return image;
}

}  // namespace qnl::test
