#include "firmware/FirmwareFile.h"

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

constexpr const char* kCheckFunction = "CInterctl::Check_Firmware_File";

// The bytes of a signature field as far as they exist, for log lines (a signature is not
// terminated in the file).
std::string FieldText(const std::uint8_t* image, std::size_t size, std::size_t offset,
                      std::size_t count) {
    std::string text;
    for (std::size_t i = offset; i < size && i < offset + count; ++i)
        text.push_back(static_cast<char>(image[i]));
    return text;
}

bool SignatureAt(const std::uint8_t* image, std::size_t size, std::size_t offset,
                 const char* signature, std::size_t count) {
    return size >= offset + count && std::memcmp(image + offset, signature, count) == 0;
}

// Where the parts of a checked image lie; all within the image.
struct ImageLayout {
    std::size_t cfgLength = 0;   // L
    std::size_t codeLength = 0;  // N
    std::size_t codeStart = 0;
    std::size_t signatureAt = 0;
    std::size_t checksumAt = 0;
};

}  // namespace

std::int32_t CheckFirmwareImage(const std::uint8_t* image, std::size_t size, CUtility& util,
                                CEventLog& log) {
    if (image == nullptr) size = 0;

    // 1. Configuration signature: one of the two kinds. A valid file logs the other kind's
    // comparison.
    const bool kind0 =
        SignatureAt(image, size, CFG_SIGNATURE_OFFSET, ConfigSignature(0), kCfgSignatureBytes);
    if (!kind0) {
        log.LogMessage(kEventTypeError,
                       "\r\n%s:%d: \n config signature [%10s] invalid, CFG_SIGNATURE_OFFSET=%x \n",
                       kCheckFunction, 2101,
                       FieldText(image, size, CFG_SIGNATURE_OFFSET, kCfgSignatureBytes).c_str(),
                       static_cast<unsigned>(CFG_SIGNATURE_OFFSET));
    } else {
        util.m_ucFileKind = 0;
    }
    const bool kind1 =
        SignatureAt(image, size, CFG_SIGNATURE_OFFSET, ConfigSignature(1), kCfgSignatureBytes);
    if (!kind1) {
        log.LogMessage(kEventTypeError,
                       "\r\n%s:%d: \n config signature [%10s] invalid, CFG_SIGNATURE_OFFSET=%x \n",
                       kCheckFunction, 2102,
                       FieldText(image, size, CFG_SIGNATURE_OFFSET, kCfgSignatureBytes).c_str(),
                       static_cast<unsigned>(CFG_SIGNATURE_OFFSET));
    } else {
        util.m_ucFileKind = 1;
    }
    if (!kind0 && !kind1) {
        util.m_ucFileKind = kFileKindUnknown;
        return kErrDataNotMatch;
    }
    const std::uint8_t kind = util.m_ucFileKind;

    // 2. Configuration checksum over bytes 0..L-1. L must leave room for the customer area
    // and point inside the file.
    ImageLayout at;
    at.cfgLength = ReadLe16(image + 4);
    if (at.cfgLength < kConfigEntriesOffset || at.cfgLength >= size) {
        log.LogMessage(kEventTypeError,
                       "\r\n%s:%d: configuration length L[%u] outside the file (%zu bytes) ",
                       kCheckFunction, 2103, static_cast<unsigned>(at.cfgLength), size);
        return kErrDataNotMatch;
    }
    util.m_dwCfgLength = static_cast<std::uint32_t>(at.cfgLength);
    const std::uint8_t cfgSum = Sum8({image, at.cfgLength});
    util.m_ucCfgCheckSum = cfgSum;
    if (cfgSum != image[at.cfgLength]) {
        log.LogMessage(
            kEventTypeError,
            "\r\n%s:%d: ucTargetNumber[%d], Bin File Check Sum[%x] Fail!!, checksum[%x] ",
            kCheckFunction, 2104, 0, image[at.cfgLength], cfgSum);
        return kErrDataNotMatch;
    }

    // 3. Code length, then the firmware signature after the code. Every length read from the
    // file is compared with the file's size before anything behind it is read.
    const std::size_t lengthAt = at.cfgLength + 5;
    const std::size_t lengthBytes = CodeLengthBytes(kind);
    if (lengthAt + lengthBytes > size) {
        log.LogMessage(kEventTypeError,
                       "\r\n%s:%d: firmware length field at [%zu] outside the file (%zu bytes) ",
                       kCheckFunction, 2105, lengthAt, size);
        return kErrDataNotMatch;
    }
    const std::uint64_t codeLength =
        kind == 1 ? ReadLe32(image + lengthAt) : ReadLe16(image + lengthAt);
    at.codeStart = lengthAt + lengthBytes;
    if (at.codeStart + codeLength + kFwSignatureBytes + 1 > size) {
        log.LogMessage(kEventTypeError,
                       "\r\n%s:%d: firmware length N[%llu] outside the file (%zu bytes) ",
                       kCheckFunction, 2106, static_cast<unsigned long long>(codeLength), size);
        return kErrDataNotMatch;
    }
    at.codeLength = static_cast<std::size_t>(codeLength);
    at.signatureAt = at.codeStart + at.codeLength;
    at.checksumAt = at.signatureAt + kFwSignatureBytes;
    if (!SignatureAt(image, size, at.signatureAt, FirmwareSignature(kind), kFwSignatureBytes)) {
        // The message's "%08s" pads a text with blanks, as "%8s" does.
        log.LogMessage(kEventTypeError, "\r\n%s:%d: \n  firmware signature [%8s] invalid \n",
                       kCheckFunction, 2107,
                       FieldText(image, size, at.signatureAt, kFwSignatureBytes).c_str());
        return kErrDataNotMatch;
    }

    // 4. Code checksum.
    const std::uint8_t codeSum = Sum8({image + at.codeStart, at.codeLength});
    util.m_ucFWCheckSum = codeSum;
    util.m_dwFWLength = static_cast<std::uint32_t>(at.codeLength);
    if (codeSum != image[at.checksumAt]) {
        log.LogMessage(
            kEventTypeError,
            "\r\n%s:%d: ucTargetNumber[%d], Bin File Check Sum[%x] Fail!!, checksum[%x] ",
            kCheckFunction, 2108, 0, image[at.checksumAt], codeSum);
        return kErrDataNotMatch;
    }

    // 5.
    util.m_ucFWVariant = 0;
    return kOk;
}

std::int32_t GetVersionFromImage(const std::uint8_t* image, std::size_t size,
                                 std::uint8_t version[6], CUtility& util, CEventLog& log) {
    util.m_ucFWVariant = 0;
    util.m_ucFileKind = 0;
    util.m_dwCfgLength = 0;
    util.m_dwFWLength = 0;
    util.m_ucCfgCheckSum = 0;
    util.m_ucFWCheckSum = 0;
    if (const std::int32_t rc = CheckFirmwareImage(image, size, util, log); rc != kOk) return rc;

    // Code bytes 128..133. A code block shorter than that still has them inside the file
    // (signature and checksum follow); anything else is refused.
    const std::size_t at =
        util.m_dwCfgLength + 5 + CodeLengthBytes(util.m_ucFileKind) + kVersionCodeOffset;
    if (at + kVersionBytes > size) {
        log.LogMessage(kEventTypeError,
                       "\r\n%s:%d: version bytes at [%zu] outside the file (%zu bytes) ",
                       "CInterctl::Get_Version_From_File", 2111, at, size);
        return kErrDataNotMatch;
    }
    std::memcpy(version, image + at, kVersionBytes);
    if (util.m_ucFileKind == 1) {
        if (version[3] == 0x70)
            util.m_ucFWVariant = 1;
        else if (version[3] == 0x50)
            util.m_ucFWVariant = 0;
        else
            util.m_ucFWVariant = 0xFF;
    }
    return kOk;
}

std::int32_t CInterctl::Check_Firmware_File(const std::uint8_t* image, std::size_t size) {
    return CheckFirmwareImage(image, size, utility_, log_);
}

std::int32_t CInterctl::Get_Version_From_File(const std::uint8_t* image, std::size_t size,
                                              std::uint8_t version[6]) {
    return GetVersionFromImage(image, size, version, utility_, log_);
}

// --- CUtility: the firmware file ------------------------------------------------------------

namespace {

template <typename... Args>
void UtilityLog(CUtility& util, const char* format, Args... args) {
    if (util.m_pEventLog != nullptr) util.m_pEventLog->LogMessage(kEventTypeError, format, args...);
}

}  // namespace

std::int32_t CUtility::bFWBinFileLength(const std::string& strFWFilePath) {
    const auto size = files::Size(strFWFilePath);
    if (!size) {
        UtilityLog(*this, "\r\n%s:%d:  bFWBinFileLength Failed, strFWFilePath[%s], dwError=%x",
                   "CUtility::bFWBinFileLength", 2201, strFWFilePath.c_str(), files::LastError());
        return kErrDataNotMatch;
    }
    m_dwFWFileLength = static_cast<std::uint32_t>(std::min<std::uint64_t>(*size, UINT32_MAX));
    return kOk;
}

std::int32_t CUtility::bOpenFWBinFile(const std::string& strFWFilePath,
                                      std::vector<std::uint8_t>& buffer) {
    const auto size = files::Size(strFWFilePath);
    if (!size) {
        UtilityLog(*this, "\r\n%s:%d:  theFile.Open Failed, strFWFilePath[%s], dwError=%x",
                   "CUtility::bOpenFWBinFile", 2211, strFWFilePath.c_str(), files::LastError());
        return kErrDataNotMatch;
    }
    m_dwFWFileLength = static_cast<std::uint32_t>(std::min<std::uint64_t>(*size, UINT32_MAX));
    // No firmware file comes anywhere near this size; refuse it before reading it.
    if (*size > kMaxFirmwareFileBytes) {
        UtilityLog(*this, "\r\n%s:%d:   Memory located Failed, size=%d, dwError=%x..",
                   "CUtility::bOpenFWBinFile", 2212, static_cast<int>(m_dwFWFileLength), 0);
        return kErrNoMemory;
    }
    try {
        auto data = files::ReadAll(strFWFilePath, kMaxFirmwareFileBytes);
        if (!data) {
            UtilityLog(*this, "\r\n%s:%d:  theFile.Open Failed, strFWFilePath[%s], dwError=%x",
                       "CUtility::bOpenFWBinFile", 2213, strFWFilePath.c_str(), files::LastError());
            return kErrDataNotMatch;
        }
        m_dwFWFileLength = static_cast<std::uint32_t>(data->size());
        if (buffer.size() < data->size()) buffer.resize(data->size(), 0);
        std::copy(data->begin(), data->end(), buffer.begin());
    } catch (const std::bad_alloc&) {
        UtilityLog(*this, "\r\n%s:%d:   Memory located Failed, size=%d, dwError=%x..",
                   "CUtility::bOpenFWBinFile", 2214, static_cast<int>(m_dwFWFileLength), ENOMEM);
        return kErrNoMemory;
    }
    return kOk;
}

bool CUtility::GetBinFileStruct(const std::uint8_t* image, std::size_t size, BinFileStruct& out) {
    const auto fail = [&](int line) {
        UtilityLog(*this, "\r\n%s:%d:  dwErrorCode %d", "CUtility::GetBinFileStruct", line,
                   kErrDataNotMatch);
        return false;
    };
    if (image == nullptr || m_ucFileKind > 1) return fail(2221);
    if (size < kConfigEntriesOffset) return fail(2222);
    out = BinFileStruct{};
    out.ucKind = m_ucFileKind;
    for (std::size_t i = 0; i < 4; ++i) out.dwHeader[i] = ReadLe32(image + 4 * i);
    std::memcpy(out.ucCustomerInfo.data(), image + kCustomerInfoOffset, kCustomerInfoBytes);

    const std::size_t cfgLength = ReadLe16(image + 4);
    const std::size_t lengthAt = cfgLength + 5;
    const std::size_t lengthBytes = CodeLengthBytes(out.ucKind);
    if (cfgLength < kConfigEntriesOffset || lengthAt + lengthBytes > size) return fail(2223);
    for (std::size_t i = kConfigEntriesOffset; i + 1 < cfgLength; ++i)
        if (image[i] == kConfigEntryMarker) ++out.dwEntryCount;
    out.entries.assign(image + kConfigEntriesOffset, image + cfgLength);
    out.ucCfgCheckSum = image[cfgLength];
    out.dwCrc = ReadLe32(image + cfgLength + 1);

    const std::uint64_t codeLength =
        out.ucKind == 1 ? ReadLe32(image + lengthAt) : ReadLe16(image + lengthAt);
    const std::size_t codeStart = lengthAt + lengthBytes;
    if (codeStart + codeLength + kFwSignatureBytes + 1 > size) return fail(2224);
    out.dwFWLength = static_cast<std::uint32_t>(codeLength);
    out.code.assign(image + codeStart, image + codeStart + codeLength);
    const std::size_t signatureAt = codeStart + static_cast<std::size_t>(codeLength);
    out.dwFWSignature[0] = ReadLe32(image + signatureAt);
    out.dwFWSignature[1] = ReadLe32(image + signatureAt + 4);
    out.ucFWCheckSum = image[signatureAt + kFwSignatureBytes];
    // The trailing word may lie beyond a file that ends at the checksum: those bytes read as
    // the zeros of the file buffer.
    std::uint8_t trailer[4] = {};
    const std::size_t trailerAt = signatureAt + kFwSignatureBytes + 1;
    for (std::size_t i = 0; i < 4 && trailerAt + i < size; ++i) trailer[i] = image[trailerAt + i];
    out.dwTrailer = ReadLe32(trailer);
    return true;
}

}  // namespace qnl
