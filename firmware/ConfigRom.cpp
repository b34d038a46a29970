#include "firmware/ConfigRom.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "controller/CInterctl.h"
#include "controller/CUtility.h"
#include "controller/ErrorCodes.h"
#include "firmware/Upgrade.h"
#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "platform/Files.h"
#include "platform/HexText.h"
#include "platform/OperatorPrompts.h"
#include "platform/UsbTopology.h"
#include "qnlio/MailboxProtocol.h"
#include "settings/CIni.h"
#include "settings/SetReg.h"
#include "ui/UiTextTable.h"

namespace qnl {

namespace {

using mailbox::ConfigEntryAddress;
constexpr std::uint8_t kGen3Enable = 1u << 4;
constexpr std::uint8_t kGen2Enable = 1u << 3;

}  // namespace

std::vector<ConfigEntryBytes> CollectConfigEntries(const IniSettings& ini, const SET_REG& regs,
                                                   std::uint8_t kind, std::uint8_t pcieLink) {
    std::vector<ConfigEntryBytes> entries;
    const int k = kind == 1 ? 1 : 0;
    if (ini.subsys_enable == 1) {
        entries.push_back(MakeConfigEntry(2, ConfigEntryAddress(mailbox::XDATA_SVID[k]),
                                          ParseHexText(ini.svid) & 0xFFFF));
        entries.push_back(MakeConfigEntry(2, ConfigEntryAddress(mailbox::XDATA_SSID[k]),
                                          ParseHexText(ini.ssid) & 0xFFFF));
    }
    if (ini.PCISPEED_enable == 1 && kind == 0) {
        std::uint8_t link = pcieLink;
        if (ini.MAX_PCIe_SPEED < 3) link &= static_cast<std::uint8_t>(~kGen3Enable);
        if (ini.MAX_PCIe_SPEED < 2) link &= static_cast<std::uint8_t>(~kGen2Enable);
        entries.push_back(MakeConfigEntry(1, ConfigEntryAddress(mailbox::XDATA_PCIE_LINK), link));
    }
    if (regs.InUse())
        for (const ConfigEntryBytes& e : regs.ValidEntries()) entries.push_back(e);
    return entries;
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

bool Upgrade::vCreateConfigRomFile(const std::uint8_t* image, std::uint32_t length,
                                   std::vector<std::uint8_t>* built, const IniSettings* settings) {
    static constexpr const char* kFunction = "Upgrade::vCreateConfigRomFile";
    CUtility& util = services_.g_Utility;
    const auto failAllHosts = [&util] {
        for (std::size_t i = 0; i < kMaxHosts; ++i)
            util.WriteRecord(i, [](TargetHost& host) { host.ucFwUpdateResult = 0; });
    };
    try {
        if (image == nullptr && length != 0) return false;
        const IniSettings& ini = settings != nullptr ? *settings : services_.ini;
        const bool anyEnabled = ini.subsys_enable == 1 || ini.PCISPEED_enable == 1 ||
                                ini.CustInfo_enable == 1 ||
                                services_.setReg.m_ucManualSetting == 1 || ini.smi_enable == 1 ||
                                ini.ssc_enable == 1 || ini.hs_enable == 1 || ini.ss_enable == 1;
        std::vector<std::uint8_t> out;
        if (!anyEnabled) {
            // 2. Nothing to build in: the file is written as it is.
            out.assign(image, image + length);
        } else {
            // 3.-5. The image grows by 8 bytes per new entry. The buffer, and the file, are the
            // larger of the input length and the new image: a padded image keeps its length,
            // one without room left grows instead of losing its end.
            BinFileStruct parts;
            std::int32_t rc = kErrDataNotMatch;
            if (util.GetBinFileStruct(image, length, parts)) {
                const std::vector<ConfigEntryBytes> entries = CollectConfigEntries(
                    ini, services_.setReg, parts.ucKind, util.Host(0).ucPcieLink);
                if (ini.CustInfo_enable == 1) {
                    // Header bytes 16..46 from the text (NUL-padded); byte 47 stays.
                    for (std::size_t i = 0; i < kCustomerInfoBytes - 1; ++i)
                        parts.ucCustomerInfo[i] = i < ini.CustInfo.size()
                                                      ? static_cast<std::uint8_t>(ini.CustInfo[i])
                                                      : 0;
                }
                out.assign(std::max<std::size_t>(length, ImageLength(parts, entries.size())), 0);
                rc = InsertCFGToBin(parts, out, entries);
            }
            if (rc != kOk) {
                services_.eventLog.LogMessage(kEventTypeError,
                                              "\r\n%s:%d: InsertCFGToBin Fail!! , dwErrorCode %d",
                                              kFunction, 2301, rc);
                failAllHosts();
                return false;
            }
        }

        // 6.
        if (util.m_strFileFWVersion.empty()) {
            services_.eventLog.LogMessage(kEventTypeError,
                                          "\r\n%s:%d: g_Utility.m_strFileFWVersion is empty ",
                                          kFunction, 2302);
            return false;
        }

        // 7.-8. "Config_<version>.rom" in the tool folder replaces any earlier one: written
        // under a name of its own and renamed into place, so that a reader of the old file
        // (another tool's workers) never sees it missing or half written.
        const std::string path =
            files::Join(util.strToolFolder, "Config_" + util.m_strFileFWVersion + ".rom");
        util.m_strFWFilePath = path;
        if (!files::WriteAtomic(path, out.data(), out.size())) {
            services_.eventLog.LogMessage(kEventTypeError,
                                          "\r\n%s:%d: Open tmp File[%s] Fail!! , dwErrorCode %d",
                                          kFunction, 2303, path.c_str(), files::LastError());
            failAllHosts();
            return false;
        }
        // Programming takes the written file's length from here on.
        util.m_dwFWFileLength = static_cast<std::uint32_t>(out.size());
        if (built != nullptr) *built = std::move(out);
        return true;
    } catch (const std::exception& e) {
        services_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:  dwErrorCode %d, what: %s",
                                      kFunction, 2304, files::LastError(), e.what());
        return false;
    }
}

}  // namespace qnl
