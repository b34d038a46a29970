#include "image/FirmwareImage.h"

#include <algorithm>
#include <cstring>

#include "controller/ErrorCodes.h"

namespace qnl {

namespace {

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();
static_assert(kCrcTable[1] == 0x77073096u, "reflected IEEE 802.3 table");

}  // namespace

const char* ConfigSignature(std::uint8_t kind) {
    return kind == 1 ? "7352A_RCFG" : "7351A_RCFG";
}
const char* FirmwareSignature(std::uint8_t kind) {
    return kind == 1 ? "7352A_FW" : "7351A_FW";
}

ConfigEntryBytes MakeConfigEntry(std::uint8_t width, std::uint16_t address, std::uint32_t value) {
    ConfigEntryBytes e{};
    e[0] = kConfigEntryMarker;
    e[1] = width;
    WriteLe16(&e[2], address);
    e[4] = static_cast<std::uint8_t>(value);
    if (width >= 2) e[5] = static_cast<std::uint8_t>(value >> 8);
    if (width >= 4) {
        e[6] = static_cast<std::uint8_t>(value >> 16);
        e[7] = static_cast<std::uint8_t>(value >> 24);
    }
    return e;
}

std::size_t ImageLength(const BinFileStruct& image, std::size_t newEntries) {
    return kConfigEntriesOffset + image.entries.size() + kConfigEntryBytes * newEntries + 1 + 4 +
           CodeLengthBytes(image.ucKind) + image.code.size() + kFwSignatureBytes + 1 + 4;
}

std::uint8_t Sum8(std::span<const std::uint8_t> bytes) {
    std::uint8_t sum = 0;
    for (std::uint8_t b : bytes) sum = static_cast<std::uint8_t>(sum + b);
    return sum;
}

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t b : bytes) crc = kCrcTable[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::int32_t InsertCFGToBin(const BinFileStruct& image, std::span<std::uint8_t> out,
                            std::span<const ConfigEntryBytes> newEntries) {
    if (newEntries.size() > kMaxNewConfigEntries) return kErrInvalidParameter;
    const std::size_t cfgLength =
        kConfigEntriesOffset + image.entries.size() + kConfigEntryBytes * newEntries.size();
    if (cfgLength > 0xFFFF) return kErrInvalidParameter;
    if (image.ucKind == 0 && image.code.size() > 0xFFFF) return kErrInvalidParameter;
    if (out.size() < ImageLength(image, newEntries.size())) return kErrNoMemory;

    std::uint8_t* p = out.data();
    // 1. Header words and the customer area as they stand in the struct.
    for (std::size_t i = 0; i < 4; ++i) WriteLe32(p + 4 * i, image.dwHeader[i]);
    std::memcpy(p + kCustomerInfoOffset, image.ucCustomerInfo.data(), kCustomerInfoBytes);
    // 2. The new configuration length.
    WriteLe16(p + 4, static_cast<std::uint16_t>(cfgLength));
    // 3. Old entries, then the new ones.
    std::size_t at = kConfigEntriesOffset;
    std::copy(image.entries.begin(), image.entries.end(), p + at);
    at += image.entries.size();
    for (const ConfigEntryBytes& e : newEntries) {
        std::copy(e.begin(), e.end(), p + at);
        at += kConfigEntryBytes;
    }
    // 4.-5. Checksum and CRC of bytes 0..L-1.
    p[cfgLength] = Sum8({p, cfgLength});
    WriteLe32(p + cfgLength + 1, Crc32({p, cfgLength}));
    // 6. Code length and code.
    at = cfgLength + 5;
    if (image.ucKind == 1) {
        WriteLe32(p + at, static_cast<std::uint32_t>(image.code.size()));
        at += 4;
    } else {
        WriteLe16(p + at, static_cast<std::uint16_t>(image.code.size()));
        at += 2;
    }
    std::copy(image.code.begin(), image.code.end(), p + at);
    at += image.code.size();
    // 7. Signature, code checksum and trailing word as they were.
    WriteLe32(p + at, image.dwFWSignature[0]);
    WriteLe32(p + at + 4, image.dwFWSignature[1]);
    p[at + 8] = image.ucFWCheckSum;
    WriteLe32(p + at + 9, image.dwTrailer);
    return kOk;
}

}  // namespace qnl
