#include "app/MainWindowControls.h"

#include <algorithm>
#include <exception>

#include "controller/ErrorCodes.h"
#include "platform/Files.h"
#include "platform/Format.h"
#include "qnlio/MailboxProtocol.h"
#include "settings/FileAccess.h"

namespace qnl {

namespace {

using mailbox::ConfigEntryAddress;

}  // namespace

FirmwareInfoFields ReadFirmwareInfoFields(const BinFileStruct& image, std::uint8_t kind) {
    FirmwareInfoFields fields;
    const int k = kind == 1 ? 1 : 0;
    const std::vector<std::uint8_t>& e = image.entries;
    for (std::size_t at = 0; at + kConfigEntryBytes <= e.size(); at += kConfigEntryBytes) {
        if (e[at] != kConfigEntryMarker) continue;
        const std::uint16_t address = ReadLe16(&e[at + 2]);
        const std::uint8_t* value = &e[at + 4];
        if (address == ConfigEntryAddress(mailbox::XDATA_SSID[k])) {
            fields.ssid = Format("%02X%02X", value[1], value[0]);
        } else if (address == ConfigEntryAddress(mailbox::XDATA_SVID[k])) {
            fields.svid = Format("%02X%02X", value[1], value[0]);
        } else if (kind == 0 && address == ConfigEntryAddress(mailbox::XDATA_PCIE_LINK)) {
            fields.speedText = Format("PCIe Link Speed set\t: %s\r\n\t\t  %s",
                                      (value[0] & 0x08) ? "Gen2 " : "Gen2 disabled",
                                      (value[0] & 0x10) ? "Gen3 " : "Gen3 disabled");
        }
    }
    return fields;
}

std::string FirmwareInfoText(const std::string& fileName, const std::string& version,
                             const FirmwareInfoFields& f) {
    return Format(
        "Firmware Name\t:%s\r\nFirmware Version\t:%s\r\nSSID\t\t:%s\r\nSVID\t\t:%s\r\n%s\r\n",
        fileName.c_str(), version.c_str(), f.ssid.c_str(), f.svid.c_str(), f.speedText.c_str());
}

void MainWindowControls::Show(const std::string& text) {
    lastMessage_ = text;
    if (silent_)
        ctx_.console.Write(Format("%s\r\n", text.c_str()));
    else
        ctx_.prompts.ShowMessage(text);
}

FirmwareLoad MainWindowControls::ReadFirmwareFile(const char* function, int openLogLine,
                                                  int openShowLine, int versionLogLine,
                                                  int versionShowLine) {
    const std::string name = ctx_.ini.fw_binary_name;

    // 1.-2. The file the settings name, and its bytes.
    const files::WindowsNameResolution resolved =
        ResolveSettingsName(ctx_.g_Utility.strToolFolder, name);
    FirmwareLoad fw;
    if (!resolved.error.empty()) {
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:   %s", function, openLogLine,
                                 resolved.error.c_str());
        fw.failedAt = FirmwareLoadStep::Read;
        fw.rc = kErrFileNotFound;
    } else {
        fw = LoadFirmwareFile(name, resolved.path, ctx_.eventLog);
    }
    if (fw.failedAt == FirmwareLoadStep::Read) {
        ctx_.eventLog.LogMessage(
            kEventTypeError,
            "\r\n%s:%d:   Open Frimware bin file Failed!!strFwFullName[%s], (%d)\n", function,
            openLogLine, name.c_str(), fw.rc);
        Show(Format("\r\n%s:%d:Open Frimware bin file Failed!!strFwFullName[%s], (%d)\n", function,
                    openShowLine, name.c_str(), fw.rc));
        return fw;
    }

    // 3. The version.
    if (fw.failedAt == FirmwareLoadStep::Version) {
        ctx_.eventLog.LogMessage(kEventTypeError,
                                 "\r\n%s:%d:   Get_Version_From_File Failed!!(%d)\n", function,
                                 versionLogLine, fw.rc);
        Show(Format("\r\n%s:%d:Get_Version_From_File Failed!!(%d)\n", function, versionShowLine,
                    fw.rc));
    }
    return fw;
}

std::int32_t MainWindowControls::OnBnClickedButtonCreateConfigFile() {
    static constexpr const char* kFunction = "CQNL735_MPToolDlg::OnBnClickedButtonCreateConfigFile";
    try {
        const FirmwareLoad fw = ReadFirmwareFile(kFunction, 1285, 1286, 1301, 1302);
        if (fw.rc != kOk) return fw.rc;
        // 4.
        if (const auto built = ctx_.upgrade.vCreateConfigRomFile(fw.file, ctx_.ini)) {
            Show(Format("Config Rom File %s Created", built->path.c_str()));
            return kOk;
        }
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:   vCreateConfigRomFile Failed!!",
                                 kFunction, 1324);
        Show(Format("\r\n%s::vCreateConfigRomFile Failed!!(%d)\n", kFunction, 1325));
        return kErrIo;
    } catch (const std::exception& e) {
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:  dwErrorCode %d, what: %s", kFunction,
                                 1330, files::LastError(), e.what());
        return kErrIo;
    }
}

std::int32_t MainWindowControls::OnBnClickedButtonFWInfo() {
    static constexpr const char* kFunction = "CQNL735_MPToolDlg::OnBnClickedButtonFWInfo";
    try {
        const FirmwareLoad fw = ReadFirmwareFile(kFunction, 3413, 3414, 3424, 3425);
        if (fw.rc != kOk) return fw.rc;
        // 2. The entries of the configuration block.
        BinFileStruct parts;
        FirmwareInfoFields fields;
        if (TakeImageApart(fw.file.bytes, fw.file.facts.kind, parts, ctx_.eventLog))
            fields = ReadFirmwareInfoFields(parts, parts.ucKind);
        // 3.
        Show(FirmwareInfoText(files::WindowsBaseName(fw.file.name), fw.file.version, fields));
        return kOk;
    } catch (const std::exception& e) {
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:  dwErrorCode %d, what: %s", kFunction,
                                 3584, files::LastError(), e.what());
        return kErrIo;
    }
}

}  // namespace qnl
