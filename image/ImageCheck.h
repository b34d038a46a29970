// Checking a firmware image, reading its version, taking it apart, and loading a firmware file
// once for a run. Every function here is given the bytes and returns what it found; nothing is
// kept between calls.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "image/FirmwareImage.h"
#include "platform/EventLog.h"

namespace qnl {

// What the check learned about an image.
struct ImageFacts {
    std::uint8_t kind = kFileKindUnknown;               // 0, 1, or 0xFF when no signature matched
    std::uint8_t variant = 0;                           // 0, 1, or 0xFF (kind 1 only)
    std::uint32_t cfgLength = 0;                        // L
    std::uint32_t codeLength = 0;                       // N
    std::uint8_t cfgCheckSum = 0;                       // computed sum of bytes 0..L-1
    std::uint8_t codeCheckSum = 0;                      // computed sum of the code bytes
    std::array<std::uint8_t, kVersionBytes> version{};  // code bytes 128..133
};

// The kind the configuration signature names: 0, 1, or 0xFF.
std::uint8_t SignatureKind(std::span<const std::uint8_t> image);

// Checks signatures and checksums; 0 or -3 (kErrDataNotMatch). `facts` receives the kind, L, N
// and the computed checksums as far as the check got. Reads nothing outside the image: a length
// that points past its end fails the check.
std::int32_t CheckFirmwareImage(std::span<const std::uint8_t> image, ImageFacts& facts,
                                CEventLog& log);
// Runs the check and reads the 6 version bytes and the variant into `facts`.
std::int32_t GetVersionFromImage(std::span<const std::uint8_t> image, ImageFacts& facts,
                                 CEventLog& log);
// Takes an image apart as `kind` (0 or 1, as its check found). False (after a log line) when the
// kind is unknown or a length in the image points past its end.
bool TakeImageApart(std::span<const std::uint8_t> image, std::uint8_t kind, BinFileStruct& out,
                    CEventLog& log);

// Reads a whole firmware file. 0; -3 when it cannot be opened or read; -8 when it is too large
// to be a firmware file (refused before any of it is read).
std::int32_t ReadFirmwareBytes(const std::string& path, std::vector<std::uint8_t>& bytes,
                               CEventLog& log);

// A firmware file loaded once: everything a run or a page needs of it, as values.
struct FirmwareFile {
    std::string name;  // as the settings or the page's list name it
    std::string path;  // where it was read
    std::vector<std::uint8_t> bytes;
    ImageFacts facts;
    std::string version;  // "%02X%02X%02X_%02X_%02X_%02X"
};

// Where loading a firmware file stopped.
enum class FirmwareLoadStep { Done, Read, Version };

struct FirmwareLoad {
    FirmwareLoadStep failedAt = FirmwareLoadStep::Done;
    std::int32_t rc = 0;
    FirmwareFile file;
};

// Reads the file at `path` (named `name` by the operator) and checks it and its version.
FirmwareLoad LoadFirmwareFile(const std::string& name, const std::string& path, CEventLog& log);

}  // namespace qnl
