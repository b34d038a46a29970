#include "image/ImageCheck.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "controller/CInterctl.h"
#include "controller/ErrorCodes.h"
#include "platform/Files.h"

namespace qnl {

namespace {

// The operations keep the names the diagnostic log has always given them.
constexpr const char* kCheckFunction = "CInterctl::Check_Firmware_File";
constexpr const char* kVersionFunction = "CInterctl::Get_Version_From_File";
constexpr const char* kApartFunction = "CUtility::GetBinFileStruct";
constexpr const char* kLengthFunction = "CUtility::bFWBinFileLength";
constexpr const char* kReadFunction = "CUtility::bOpenFWBinFile";

// The bytes of a signature field as far as they exist, for log lines (a signature is not
// terminated in the file).
std::string FieldText(std::span<const std::uint8_t> image, std::size_t offset, std::size_t count) {
    std::string text;
    for (std::size_t i = offset; i < image.size() && i < offset + count; ++i)
        text.push_back(static_cast<char>(image[i]));
    return text;
}

bool SignatureAt(std::span<const std::uint8_t> image, std::size_t offset, const char* signature,
                 std::size_t count) {
    return image.size() >= offset + count &&
           std::memcmp(image.data() + offset, signature, count) == 0;
}

}  // namespace

std::uint8_t SignatureKind(std::span<const std::uint8_t> image) {
    if (SignatureAt(image, CFG_SIGNATURE_OFFSET, ConfigSignature(1), kCfgSignatureBytes)) return 1;
    if (SignatureAt(image, CFG_SIGNATURE_OFFSET, ConfigSignature(0), kCfgSignatureBytes)) return 0;
    return kFileKindUnknown;
}

std::int32_t CheckFirmwareImage(std::span<const std::uint8_t> image, ImageFacts& facts,
                                CEventLog& log) {
    const std::size_t size = image.size();
    const std::uint8_t* p = image.data();

    // 1. Configuration signature: one of the two kinds. A valid file logs the other kind's
    // comparison (kind 0 first, then kind 1).
    const auto signatureIs = [&](std::uint8_t candidate, int line) {
        if (SignatureAt(image, CFG_SIGNATURE_OFFSET, ConfigSignature(candidate),
                        kCfgSignatureBytes))
            return true;
        log.LogMessage(kEventTypeError,
                       "\r\n%s:%d: \n config signature [%10s] invalid, CFG_SIGNATURE_OFFSET=%x \n",
                       kCheckFunction, line,
                       FieldText(image, CFG_SIGNATURE_OFFSET, kCfgSignatureBytes).c_str(),
                       static_cast<unsigned>(CFG_SIGNATURE_OFFSET));
        return false;
    };
    const bool kind0 = signatureIs(0, 2101);
    const bool kind1 = signatureIs(1, 2102);
    if (!kind0 && !kind1) {
        facts.kind = kFileKindUnknown;
        return kErrDataNotMatch;
    }
    const std::uint8_t kind = kind1 ? 1 : 0;
    facts.kind = kind;

    // 2. Configuration checksum over bytes 0..L-1. L must leave room for the customer area
    // and point inside the file.
    const std::size_t cfgLength = ReadLe16(p + 4);
    if (cfgLength < kConfigEntriesOffset || cfgLength >= size) {
        log.LogMessage(kEventTypeError,
                       "\r\n%s:%d: configuration length L[%u] outside the file (%zu bytes) ",
                       kCheckFunction, 2103, static_cast<unsigned>(cfgLength), size);
        return kErrDataNotMatch;
    }
    facts.cfgLength = static_cast<std::uint32_t>(cfgLength);
    const std::uint8_t cfgSum = Sum8({p, cfgLength});
    facts.cfgCheckSum = cfgSum;
    if (cfgSum != p[cfgLength]) {
        log.LogMessage(
            kEventTypeError,
            "\r\n%s:%d: ucTargetNumber[%d], Bin File Check Sum[%x] Fail!!, checksum[%x] ",
            kCheckFunction, 2104, 0, p[cfgLength], cfgSum);
        return kErrDataNotMatch;
    }

    // 3. Code length, then the firmware signature after the code. Every length read from the
    // file is compared with the file's size before anything behind it is read.
    const std::size_t lengthAt = cfgLength + 5;
    const std::size_t lengthBytes = CodeLengthBytes(kind);
    if (lengthAt + lengthBytes > size) {
        log.LogMessage(kEventTypeError,
                       "\r\n%s:%d: firmware length field at [%zu] outside the file (%zu bytes) ",
                       kCheckFunction, 2105, lengthAt, size);
        return kErrDataNotMatch;
    }
    const std::uint64_t codeLength = kind == 1 ? ReadLe32(p + lengthAt) : ReadLe16(p + lengthAt);
    const std::size_t codeStart = lengthAt + lengthBytes;
    if (codeStart + codeLength + kFwSignatureBytes + 1 > size) {
        log.LogMessage(kEventTypeError,
                       "\r\n%s:%d: firmware length N[%llu] outside the file (%zu bytes) ",
                       kCheckFunction, 2106, static_cast<unsigned long long>(codeLength), size);
        return kErrDataNotMatch;
    }
    const std::size_t signatureAt = codeStart + static_cast<std::size_t>(codeLength);
    if (!SignatureAt(image, signatureAt, FirmwareSignature(kind), kFwSignatureBytes)) {
        // The message's "%08s" pads a text with blanks, as "%8s" does.
        log.LogMessage(kEventTypeError, "\r\n%s:%d: \n  firmware signature [%8s] invalid \n",
                       kCheckFunction, 2107,
                       FieldText(image, signatureAt, kFwSignatureBytes).c_str());
        return kErrDataNotMatch;
    }

    // 4. Code checksum.
    const std::uint8_t codeSum = Sum8({p + codeStart, static_cast<std::size_t>(codeLength)});
    facts.codeCheckSum = codeSum;
    facts.codeLength = static_cast<std::uint32_t>(codeLength);
    if (codeSum != p[signatureAt + kFwSignatureBytes]) {
        log.LogMessage(
            kEventTypeError,
            "\r\n%s:%d: ucTargetNumber[%d], Bin File Check Sum[%x] Fail!!, checksum[%x] ",
            kCheckFunction, 2108, 0, p[signatureAt + kFwSignatureBytes], codeSum);
        return kErrDataNotMatch;
    }

    // 5.
    facts.variant = 0;
    return kOk;
}

std::int32_t GetVersionFromImage(std::span<const std::uint8_t> image, ImageFacts& facts,
                                 CEventLog& log) {
    facts = ImageFacts{};
    facts.kind = 0;
    if (const std::int32_t rc = CheckFirmwareImage(image, facts, log); rc != kOk) return rc;

    // Code bytes 128..133. A code block shorter than that still has them inside the file
    // (signature and checksum follow); anything else is refused.
    const std::size_t at = facts.cfgLength + 5 + CodeLengthBytes(facts.kind) + kVersionCodeOffset;
    if (at + kVersionBytes > image.size()) {
        log.LogMessage(kEventTypeError,
                       "\r\n%s:%d: version bytes at [%zu] outside the file (%zu bytes) ",
                       kVersionFunction, 2111, at, image.size());
        return kErrDataNotMatch;
    }
    std::memcpy(facts.version.data(), image.data() + at, kVersionBytes);
    if (facts.kind == 1) {
        if (facts.version[3] == 0x70)
            facts.variant = 1;
        else if (facts.version[3] == 0x50)
            facts.variant = 0;
        else
            facts.variant = 0xFF;
    }
    return kOk;
}

bool TakeImageApart(std::span<const std::uint8_t> image, std::uint8_t kind, BinFileStruct& out,
                    CEventLog& log) {
    const auto fail = [&](int line) {
        log.LogMessage(kEventTypeError, "\r\n%s:%d:  dwErrorCode %d", kApartFunction, line,
                       kErrDataNotMatch);
        return false;
    };
    const std::size_t size = image.size();
    const std::uint8_t* p = image.data();
    if (p == nullptr || kind > 1) return fail(2221);
    if (size < kConfigEntriesOffset) return fail(2222);
    out = BinFileStruct{};
    out.ucKind = kind;
    for (std::size_t i = 0; i < 4; ++i) out.dwHeader[i] = ReadLe32(p + 4 * i);
    std::memcpy(out.ucCustomerInfo.data(), p + kCustomerInfoOffset, kCustomerInfoBytes);

    const std::size_t cfgLength = ReadLe16(p + 4);
    const std::size_t lengthAt = cfgLength + 5;
    const std::size_t lengthBytes = CodeLengthBytes(out.ucKind);
    if (cfgLength < kConfigEntriesOffset || lengthAt + lengthBytes > size) return fail(2223);
    for (std::size_t i = kConfigEntriesOffset; i + 1 < cfgLength; ++i)
        if (p[i] == kConfigEntryMarker) ++out.dwEntryCount;
    out.entries.assign(p + kConfigEntriesOffset, p + cfgLength);
    out.ucCfgCheckSum = p[cfgLength];
    out.dwCrc = ReadLe32(p + cfgLength + 1);

    const std::uint64_t codeLength =
        out.ucKind == 1 ? ReadLe32(p + lengthAt) : ReadLe16(p + lengthAt);
    const std::size_t codeStart = lengthAt + lengthBytes;
    if (codeStart + codeLength + kFwSignatureBytes + 1 > size) return fail(2224);
    out.dwFWLength = static_cast<std::uint32_t>(codeLength);
    out.code.assign(p + codeStart, p + codeStart + codeLength);
    const std::size_t signatureAt = codeStart + static_cast<std::size_t>(codeLength);
    out.dwFWSignature[0] = ReadLe32(p + signatureAt);
    out.dwFWSignature[1] = ReadLe32(p + signatureAt + 4);
    out.ucFWCheckSum = p[signatureAt + kFwSignatureBytes];
    // The trailing word may lie beyond a file that ends at the checksum: those bytes read as
    // zeros.
    std::uint8_t trailer[4] = {};
    const std::size_t trailerAt = signatureAt + kFwSignatureBytes + 1;
    for (std::size_t i = 0; i < 4 && trailerAt + i < size; ++i) trailer[i] = p[trailerAt + i];
    out.dwTrailer = ReadLe32(trailer);
    return true;
}

std::int32_t ReadFirmwareBytes(const std::string& path, std::vector<std::uint8_t>& bytes,
                               CEventLog& log) {
    bytes.clear();
    const auto size = files::Size(path);
    if (!size) {
        const int error = files::LastError();
        log.LogMessage(kEventTypeError,
                       "\r\n%s:%d:  bFWBinFileLength Failed, strFWFilePath[%s], dwError=%x",
                       kLengthFunction, 2201, path.c_str(), error);
        log.LogMessage(kEventTypeError,
                       "\r\n%s:%d:  theFile.Open Failed, strFWFilePath[%s], dwError=%x",
                       kReadFunction, 2211, path.c_str(), error);
        return kErrDataNotMatch;
    }
    const int shownSize = static_cast<int>(std::min<std::uint64_t>(*size, INT32_MAX));
    // No firmware file comes anywhere near this size; refuse it before reading it.
    if (*size > kMaxFirmwareFileBytes) {
        log.LogMessage(kEventTypeError, "\r\n%s:%d:   Memory located Failed, size=%d, dwError=%x..",
                       kReadFunction, 2212, shownSize, 0);
        return kErrNoMemory;
    }
    try {
        auto data = files::ReadAll(path, kMaxFirmwareFileBytes);
        if (!data) {
            log.LogMessage(kEventTypeError,
                           "\r\n%s:%d:  theFile.Open Failed, strFWFilePath[%s], dwError=%x",
                           kReadFunction, 2213, path.c_str(), files::LastError());
            return kErrDataNotMatch;
        }
        bytes = std::move(*data);
    } catch (const std::bad_alloc&) {
        log.LogMessage(kEventTypeError, "\r\n%s:%d:   Memory located Failed, size=%d, dwError=%x..",
                       kReadFunction, 2214, shownSize, ENOMEM);
        return kErrNoMemory;
    }
    return kOk;
}

FirmwareLoad LoadFirmwareFile(const std::string& name, const std::string& path, CEventLog& log) {
    FirmwareLoad load;
    load.file.name = name;
    load.file.path = path;
    load.rc = ReadFirmwareBytes(path, load.file.bytes, log);
    if (load.rc != kOk) {
        load.failedAt = FirmwareLoadStep::Read;
        return load;
    }
    load.rc = GetVersionFromImage(load.file.bytes, load.file.facts, log);
    if (load.rc != kOk) {
        load.failedAt = FirmwareLoadStep::Version;
        return load;
    }
    load.file.version = FormatFirmwareVersion(load.file.facts.version.data());
    return load;
}

}  // namespace qnl
