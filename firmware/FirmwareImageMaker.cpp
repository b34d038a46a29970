#include "firmware/FirmwareImageMaker.h"

#include <cstring>
#include <stdexcept>

namespace qnl {

std::vector<std::uint8_t> BuildFirmwareImage(const FirmwareImageOptions& options) {
    if (options.kind > 1) throw std::invalid_argument("kind must be 0 or 1");
    if (options.codeSize < kVersionCodeOffset + kVersionBytes)
        throw std::invalid_argument("code size must be at least 134 bytes");
    if (options.kind == 0 && options.codeSize > 0xFFFF)
        throw std::invalid_argument("a kind-0 code block is at most 65535 bytes");
    if (options.codeSize > kMaxFirmwareFileBytes)
        throw std::invalid_argument("code size larger than any firmware file");
    if (options.customerText.size() > kCustomerInfoBytes)
        throw std::invalid_argument("customer text is at most 32 bytes");
    const std::size_t cfgLength = kConfigEntriesOffset + kConfigEntryBytes * options.entries.size();
    if (cfgLength > 0xFFFF) throw std::invalid_argument("too many configuration entries");

    std::vector<std::uint8_t> image(cfgLength, 0);
    WriteLe32(&image[0], options.headerWord);
    WriteLe16(&image[4], static_cast<std::uint16_t>(cfgLength));
    std::memcpy(&image[CFG_SIGNATURE_OFFSET], ConfigSignature(options.kind), kCfgSignatureBytes);
    std::memcpy(&image[kCustomerInfoOffset], options.customerText.data(),
                options.customerText.size());
    for (std::size_t i = 0; i < options.entries.size(); ++i)
        std::memcpy(&image[kConfigEntriesOffset + kConfigEntryBytes * i], options.entries[i].data(),
                    kConfigEntryBytes);
    image.push_back(Sum8(image));
    std::uint8_t word[4];
    WriteLe32(word, Crc32({image.data(), cfgLength}));
    image.insert(image.end(), word, word + 4);
    WriteLe32(word, options.codeSize);
    image.insert(image.end(), word, word + CodeLengthBytes(options.kind));

    // A fixed pattern, with the version at code bytes 128..133.
    std::vector<std::uint8_t> code;
    code.reserve(options.codeSize);
    for (std::uint32_t i = 0; i < options.codeSize; ++i) {
        const std::size_t v = i - kVersionCodeOffset;
        code.push_back(i >= kVersionCodeOffset && v < kVersionBytes
                           ? options.version[v]
                           : static_cast<std::uint8_t>(i * 7 + 3));
    }
    image.insert(image.end(), code.begin(), code.end());
    const char* signature = FirmwareSignature(options.kind);
    image.insert(image.end(), signature, signature + kFwSignatureBytes);
    image.push_back(Sum8(code));
    WriteLe32(word, options.trailingWord);
    image.insert(image.end(), word, word + 4);
    if (options.padTo > image.size()) image.resize(options.padTo, 0xFF);
    return image;
}

bool ParseVersionText(const std::string& text, std::array<std::uint8_t, 6>& version) {
    std::string digits;
    for (char c : text) {
        if (c == '_') continue;
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex) return false;
        digits.push_back(c);
    }
    if (digits.size() != 2 * version.size()) return false;
    for (std::size_t i = 0; i < version.size(); ++i)
        version[i] = static_cast<std::uint8_t>(std::stoul(digits.substr(2 * i, 2), nullptr, 16));
    return true;
}

}  // namespace qnl
