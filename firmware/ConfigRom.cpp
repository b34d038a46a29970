#include "firmware/ConfigRom.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>

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

bool ConfigImageWanted(const IniSettings& ini, const SET_REG& regs) {
    return ini.subsys_enable == 1 || ini.PCISPEED_enable == 1 || ini.CustInfo_enable == 1 ||
           regs.m_ucManualSetting == 1 || ini.smi_enable == 1 || ini.ssc_enable == 1 ||
           ini.hs_enable == 1 || ini.ss_enable == 1;
}

ConfigImage BuildConfigImage(const FirmwareFile& firmware, const IniSettings& ini,
                             const SET_REG& regs, std::uint8_t pcieLink, CEventLog& log) {
    ConfigImage built;
    const std::vector<std::uint8_t>& image = firmware.bytes;
    if (!ConfigImageWanted(ini, regs)) {
        // Nothing to build in: the file is programmed as it is.
        built.bytes = image;
        return built;
    }
    // The image grows by 8 bytes per new entry.
    BinFileStruct parts;
    built.rc = kErrDataNotMatch;
    if (!TakeImageApart(image, firmware.facts.kind, parts, log)) return built;
    const std::vector<ConfigEntryBytes> entries =
        CollectConfigEntries(ini, regs, parts.ucKind, pcieLink);
    if (ini.CustInfo_enable == 1) {
        // Header bytes 16..46 from the text (NUL-padded); byte 47 stays.
        for (std::size_t i = 0; i < kCustomerInfoBytes - 1; ++i)
            parts.ucCustomerInfo[i] =
                i < ini.CustInfo.size() ? static_cast<std::uint8_t>(ini.CustInfo[i]) : 0;
    }
    built.bytes.assign(std::max<std::size_t>(image.size(), ImageLength(parts, entries.size())), 0);
    built.rc = InsertCFGToBin(parts, built.bytes, entries);
    if (built.rc != kOk) built.bytes.clear();
    return built;
}

std::string ConfigRomPath(const std::string& toolFolder, const std::string& version) {
    return files::Join(toolFolder, "Config_" + version + ".rom");
}

std::optional<ProgrammedImage> Upgrade::vCreateConfigRomFile(const FirmwareFile& firmware,
                                                             const IniSettings& settings) {
    static constexpr const char* kFunction = "Upgrade::vCreateConfigRomFile";
    CUtility& util = services_.g_Utility;
    const auto failAllHosts = [&util] {
        for (std::size_t i = 0; i < kMaxHosts; ++i)
            util.WriteRecord(i, [](TargetHost& host) { host.ucFwUpdateResult = 0; });
    };
    try {
        // 2.-5.
        ConfigImage built = BuildConfigImage(firmware, settings, services_.setReg,
                                             util.RecordSnapshot(0).ucPcieLink, services_.eventLog);
        if (built.rc != kOk) {
            services_.eventLog.LogMessage(kEventTypeError,
                                          "\r\n%s:%d: InsertCFGToBin Fail!! , dwErrorCode %d",
                                          kFunction, 2301, built.rc);
            failAllHosts();
            return std::nullopt;
        }

        // 6.
        if (firmware.version.empty()) {
            services_.eventLog.LogMessage(kEventTypeError,
                                          "\r\n%s:%d: g_Utility.m_strFileFWVersion is empty ",
                                          kFunction, 2302);
            return std::nullopt;
        }

        // 7.-8. "Config_<version>.rom" in the tool folder replaces any earlier one: written
        // under a name of its own and renamed into place, so that a reader of the old file
        // (another tool's workers) never sees it missing or half written.
        ProgrammedImage out;
        out.path = ConfigRomPath(util.strToolFolder, firmware.version);
        if (!files::WriteAtomic(out.path, built.bytes.data(), built.bytes.size())) {
            services_.eventLog.LogMessage(kEventTypeError,
                                          "\r\n%s:%d: Open tmp File[%s] Fail!! , dwErrorCode %d",
                                          kFunction, 2303, out.path.c_str(), files::LastError());
            failAllHosts();
            return std::nullopt;
        }
        out.bytes = std::move(built.bytes);
        out.version = firmware.version;
        out.kind = firmware.facts.kind;
        out.variant = firmware.facts.variant;
        return out;
    } catch (const std::exception& e) {
        services_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:  dwErrorCode %d, what: %s",
                                      kFunction, 2304, files::LastError(), e.what());
        return std::nullopt;
    }
}

}  // namespace qnl
