// SHA-256 (FIPS 180-4) of bytes and of a file, as lower-case hex text. The run records name
// the settings and firmware files a run used by their digests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace qnl {

class Sha256 {
public:
    Sha256();
    void Update(const void* data, std::size_t size);
    // The digest of everything given so far; the object is spent afterwards.
    std::array<std::uint8_t, 32> Final();

private:
    void Block(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t totalBytes_ = 0;
};

// 64 lower-case hex digits.
std::string Sha256Hex(const void* data, std::size_t size);
inline std::string Sha256Hex(const std::string& bytes) {
    return Sha256Hex(bytes.data(), bytes.size());
}

// The digest of a regular file's bytes; nullopt when it cannot be read or is larger than
// `maxBytes` (the file is read whole, so the caller bounds it: a firmware file the tool
// refuses is not read for its digest either).
std::optional<std::string> Sha256OfFile(const std::string& path,
                                        std::uint64_t maxBytes = 64u << 20);

}  // namespace qnl
