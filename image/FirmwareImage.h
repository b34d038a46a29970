// The firmware image file: a configuration block followed by the microcontroller's code.
//
// All multi-byte values are little-endian. L is the configuration length, N the code length.
//
//   0          header word, copied unchanged
//   4          L, 16-bit: length of the configuration block counted from offset 0
//   6..15      "7351A_RCFG" (kind 0) or "7352A_RCFG" (kind 1)
//   16..47     customer information area
//   48..L-1    configuration entries, 8 bytes each
//   L          8-bit sum of bytes 0..L-1
//   L+1..L+4   CRC-32 of bytes 0..L-1
//   L+5        N: 16-bit (kind 0) or 32-bit (kind 1)
//   L+7 / L+9  N code bytes; code bytes 128..133 are the firmware version
//   then       "7351A_FW" / "7352A_FW" (8 bytes, not terminated), the 8-bit sum of the code
//              bytes, and a trailing word copied unchanged
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qnl {

inline constexpr std::size_t CFG_SIGNATURE_OFFSET = 6;
inline constexpr std::size_t kCfgSignatureBytes = 10;
inline constexpr std::size_t kCustomerInfoOffset = 16;
inline constexpr std::size_t kCustomerInfoBytes = 32;
inline constexpr std::size_t kConfigEntriesOffset = 48;
inline constexpr std::size_t kConfigEntryBytes = 8;
inline constexpr std::uint8_t kConfigEntryMarker = 0xCC;
inline constexpr std::size_t kFwSignatureBytes = 8;
inline constexpr std::size_t kVersionCodeOffset = 128;
inline constexpr std::size_t kVersionBytes = 6;
inline constexpr std::uint8_t kFileKindUnknown = 0xFF;

// A firmware file can never be larger than the largest supported flash part (1 MB); anything
// far beyond that is refused before it is read into memory.
inline constexpr std::uint64_t kMaxFirmwareFileBytes = 16u * 1024 * 1024;
// Buffers for firmware files are at least this large (and zero-filled beyond the file).
inline constexpr std::size_t kMinFirmwareBufferBytes = 0x20000;

const char* ConfigSignature(std::uint8_t kind);    // "7351A_RCFG" / "7352A_RCFG"
const char* FirmwareSignature(std::uint8_t kind);  // "7351A_FW" / "7352A_FW"
// Width of the N field: 2 bytes for kind 0, 4 for kind 1.
constexpr std::size_t CodeLengthBytes(std::uint8_t kind) {
    return kind == 1 ? 4 : 2;
}

// One configuration entry: 0xCC, width (1, 2 or 4), 16-bit address, value (bytes beyond the
// width are 0).
using ConfigEntryBytes = std::array<std::uint8_t, kConfigEntryBytes>;
ConfigEntryBytes MakeConfigEntry(std::uint8_t width, std::uint16_t address, std::uint32_t value);

// The image taken apart. The copies belong to the struct.
struct BinFileStruct {
    std::array<std::uint32_t, 4> dwHeader{};  // words at offsets 0, 4, 8, 12
    std::array<std::uint8_t, kCustomerInfoBytes> ucCustomerInfo{};
    std::uint32_t dwEntryCount = 0;     // 0xCC bytes in 48..L-2
    std::vector<std::uint8_t> entries;  // bytes 48..L-1
    std::uint8_t ucCfgCheckSum = 0;
    std::uint32_t dwCrc = 0;
    std::uint32_t dwFWLength = 0;    // N
    std::vector<std::uint8_t> code;  // N bytes
    std::array<std::uint32_t, 2> dwFWSignature{};
    std::uint8_t ucFWCheckSum = 0;
    std::uint32_t dwTrailer = 0;
    std::uint8_t ucKind = 0;  // the kind the image was taken apart as
};

// Length of the image the struct describes with `newEntries` more configuration entries.
std::size_t ImageLength(const BinFileStruct& image, std::size_t newEntries = 0);

// At most this many entries are added in one run.
inline constexpr std::size_t kMaxNewConfigEntries = 127;

// Builds the image of `image` with `newEntries` appended to its configuration block into
// `out`, which must hold ImageLength(image, newEntries.size()) bytes (bytes beyond stay as
// they are). Recomputes L, the configuration checksum and the CRC. Returns 0, or -10 when
// there are more than 127 new entries or the block would outgrow its 16-bit length, or -8
// when `out` is too small.
std::int32_t InsertCFGToBin(const BinFileStruct& image, std::span<std::uint8_t> out,
                            std::span<const ConfigEntryBytes> newEntries);

std::uint8_t Sum8(std::span<const std::uint8_t> bytes);
// The reflected CRC-32 of IEEE 802.3 (polynomial 0x04C11DB7, initial value 0xFFFFFFFF, final
// complement).
std::uint32_t Crc32(std::span<const std::uint8_t> bytes);

inline std::uint16_t ReadLe16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t ReadLe32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void WriteLe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void WriteLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace qnl
