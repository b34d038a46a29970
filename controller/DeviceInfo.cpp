// CInterctl::UpdateDeviceInfo: what the tool shows and checks about one target host.
#include <cstdio>

#include "controller/CInterctl.h"
#include "controller/ErrorCodes.h"
#include "platform/HexText.h"
#include "qnlio/MailboxProtocol.h"

namespace qnl {

using namespace mailbox;

namespace {
constexpr const char* kFunction = "CInterctl::UpdateDeviceInfo";

// The version text cut at '_' into its first four pieces, concatenated:
// "160505_00_01_02" gives "160505000102".
std::string VersionDigits(const std::string& text) {
    std::string digits;
    std::size_t start = 0;
    for (int piece = 0; piece < 4; ++piece) {
        const auto end = text.find('_', start);
        digits += text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return digits;
}

void SplitHighLow(const std::string& digits, std::uint32_t& high, std::uint32_t& low) {
    high = ParseHexText(digits.size() < 4 ? digits : digits.substr(0, 4));
    low = ParseHexText(digits.size() < 8 ? digits : digits.substr(digits.size() - 8));
}
}  // namespace

std::string FormatFirmwareVersion(const std::uint8_t b[6]) {
    char text[32];
    std::snprintf(text, sizeof text, "%02X%02X%02X_%02X_%02X_%02X", b[0], b[1], b[2], b[3], b[4],
                  b[5]);
    return text;
}

bool VersionAtOrAboveThreshold(const std::string& version, const std::string& threshold) {
    std::uint32_t vh = 0, vl = 0, th = 0, tl = 0;
    SplitHighLow(VersionDigits(version), vh, vl);
    SplitHighLow(VersionDigits(threshold), th, tl);
    if (vh < th || (vh == th && vl < tl) || (th == 0 && tl == 0)) return false;
    return true;
}

std::int32_t CInterctl::UpdateDeviceInfo(std::uint8_t hostIndex, const std::string& wrsrThreshold,
                                         std::uint8_t kind) {
    if (hostIndex >= kMaxHosts) return kErrInvalidParameter;
    TargetHost& host = utility_.Host(hostIndex);
    const std::size_t k = kind == 1 ? 1 : 0;

    // 1. Chip type from the chip signature.
    std::uint8_t signature[4] = {};
    std::int32_t rc = Read_8051_Memory(host, SPACE_XDATA, XDATA_CHIP_SIGNATURE[k], 4, signature);
    if (rc != kOk) {
        log_.LogMessage(kEventTypeError, "\r\n%s:%d: Get Chip Type Failed(%d), ", kFunction, 512,
                        rc);
        host.ucChipType = 0xFF;
        return rc;
    }
    if (k == 0)
        host.ucChipType = signature[0] < 0x30 ? 0xFF : 0;
    else
        host.ucChipType = signature[0] == 0x53 ? 1 : 0;
    log_.LogMessage(kEventTypeError, "\r\n%s:%d: Get Chip Type is, ", kFunction, 521);

    // 2. Firmware version.
    std::uint8_t version[6] = {};
    rc = Read_8051_Memory(host, SPACE_FWINFO, FWINFO_VERSION_ADDRESS, 6, version);
    if (rc != kOk) {
        log_.LogMessage(
            kEventTypeError,
            "\r\n%s:%d: Bus=%d, Device=%d, Function=%d, GetFirmwareVersion Failed(%d), ", kFunction,
            530, host.ucBus, host.ucDevice, host.ucFunction, rc);
        return rc;
    }
    host.strFWVersion = FormatFirmwareVersion(version);

    // 3./4. Subsystem vendor and subsystem IDs.
    std::uint8_t bytes[8] = {};
    char text[8];
    rc = Read_8051_Memory(host, SPACE_XDATA, XDATA_SVID[k], 8, bytes);
    if (rc != kOk) {
        log_.LogMessage(kEventTypeError, "\r\n%s:%d: SVID_ADDR Failed(%d), ", kFunction, 541, rc);
        host.strSVID = "FFFF";
        return rc;
    }
    std::snprintf(text, sizeof text, "%02x%02x", bytes[1], bytes[0]);
    host.strSVID = text;

    rc = Read_8051_Memory(host, SPACE_XDATA, XDATA_SSID[k], 8, bytes);
    if (rc != kOk) {
        log_.LogMessage(kEventTypeError, "\r\n%s:%d: SSID_ADDR Failed(%d), ", kFunction, 551, rc);
        host.strSSID = "FFFF";
        return rc;
    }
    std::snprintf(text, sizeof text, "%02x%02x", bytes[1], bytes[0]);
    host.strSSID = text;

    // 5. PCIe link byte (kind 0 only; kind 1 keeps 0).
    if (k == 0) {
        rc = Read_8051_Memory(host, SPACE_XDATA, XDATA_PCIE_LINK, 8, bytes);
        if (rc != kOk) {
            log_.LogMessage(kEventTypeError, "\r\n%s:%d: PCIe_link_ADDR Failed(%d), ", kFunction,
                            562, rc);
            return rc;
        }
        host.ucPcieLink = bytes[0];
    } else {
        host.ucPcieLink = 0;
    }

    // 6. The flash status register, for firmware at or above the threshold only.
    if (!VersionAtOrAboveThreshold(host.strFWVersion, wrsrThreshold)) {
        host.ucWrsrStatus = 0;
        return kOk;
    }
    std::array<std::uint8_t, 8> status{};
    rc = ReadSpiStatus(host, status);
    if (rc != kOk) {
        log_.LogMessage(kEventTypeError, "\r\n%s:%d: Read_SPIRom_WRSR Failed(%d), ", kFunction, 580,
                        rc);
        host.ucWrsrStatus = 0xFF;
        return rc;
    }
    host.ucWrsrStatus = status[1];
    return kOk;
}

}  // namespace qnl
