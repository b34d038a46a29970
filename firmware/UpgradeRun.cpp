// The upgrade run over all hosts: prepare one image, start one worker per host, wait for them
// with the 200-second limit, and give up on the ones that do not finish.
#include <algorithm>

#include "app/ToolContext.h"
#include "controller/ErrorCodes.h"
#include "firmware/Upgrade.h"
#include "platform/Cancellation.h"
#include "platform/Files.h"
#include "platform/Format.h"
#include "platform/HexText.h"
#include "platform/WindowsNames.h"
#include "porttest/UsbDeviceSearch.h"

namespace qnl {

namespace {
constexpr const char* kRunName = "Upgrade::RunFirmwareUpgrade";
constexpr const char* kWorkerName = "Upgrade::FWThreadFun";
constexpr std::uint64_t kRunLimitMs = 200000;
constexpr std::uint32_t kPollMs = 200;
}  // namespace

int Upgrade::UpdateColumn(std::uint8_t twoColumn) {
    return twoColumn ? 9 : 7;
}
int Upgrade::CheckColumn(std::uint8_t twoColumn) {
    return twoColumn ? 10 : 7;
}

void Upgrade::ResetRunState() {
    std::lock_guard lock(runMutex_);
    for (auto& worker : m_Workers) {
        if (worker && !worker->Finished()) {
            worker->Abandon();
            abandoned_.push_back(worker);
        }
        worker.reset();
    }
    std::erase_if(abandoned_, [](const std::shared_ptr<Worker>& w) { return w->Finished(); });
    for (auto& param : m_Params) param = std::make_shared<FWThreadParam>();
    m_ucRunDone = 0;
    m_ucAllUpdated = 0;
    m_ucAllChecked = 0;
}

bool Upgrade::bCheckConnectedUSBDevice() {
    try {
        ctx_.g_Utility.m_bUsbDeviceFound = 0;
        SearchConnectedUsbDevice(ctx_.usbTopology, ctx_.g_Utility.m_bUsbDeviceFound);
        return ctx_.g_Utility.m_bUsbDeviceFound == 1;
    } catch (const std::exception&) {
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: Failed,  dwErrorCode %d",
                                 "Upgrade::bCheckConnectedUSBDevice", 612, files::LastError());
        return false;
    }
}

void Upgrade::FailAllHosts(bool clearCheckResult) {
    for (std::uint8_t i = 0; i < kMaxHosts; ++i) {
        auto& param = *m_Params[i];
        param.ucFinished = 1;
        TargetHost& host = ctx_.g_Utility.hosts[i];
        host.ucFwUpdateResult = 0;
        if (clearCheckResult) host.ucFwCheckResult = 0;
        if (host.ucIndex != kNoHostIndex)
            ctx_.resultTable.vShowResultItemTable(kCellRed, i, UpdateColumn(runTwoColumn_),
                                                  ctx_.uiText.fail);
    }
    m_ucRunDone = 1;
}

void Upgrade::Tell(const std::string& boxText, const std::string& consoleText) {
    ctx_.prompts.ShowMessage(boxText, {}, MessageIcon::Error, consoleText);
}

bool Upgrade::RunFirmwareUpgrade(std::uint8_t twoColumn, std::uint8_t runFlags) {
    CIni& ini = ctx_.ini;
    CUtility& util = ctx_.g_Utility;
    runTwoColumn_ = twoColumn;

    // 1. No USB device may hang below a target controller while it is programmed.
    if (ini.check_downstream_usb_enable == 1) {
        while (bCheckConnectedUSBDevice()) {
            Tell("Found a USB Device Connected , Please Remove it !!", {});
            // Wait before looking again, so a console run does not spin.
            if (!ctx_.clock.SleepMs(1000)) break;
        }
    }

    // 2. The firmware file: the settings' name in an MP run, else the page's selection.
    const std::string name = ctx_.runFromMain ? ini.fw_binary_name : m_strComboFirmware;
    // A name with ':' after its first character is a full path; anything else lives in the
    // tool folder. Either way it is resolved as a Windows station would.
    util.m_strFWFilePath = files::ResolveWindowsName(util.strToolFolder, name).path;

    // 3. Read it.
    util.bFWBinFileLength(util.m_strFWFilePath);
    std::vector<std::uint8_t> image(std::max<std::uint32_t>(util.m_dwFWFileLength, 0x20000), 0);
    std::int32_t rc = util.bOpenFWBinFile(util.m_strFWFilePath, image);
    if (rc != kOk) {
        Tell(Format("\r\n%s:%d:Open Frimware bin file Failed!!strFwFullName[%s], (%d)\n", kRunName,
                    700, util.m_strFWFilePath.c_str(), rc),
             Format("Open Frimware bin file Failed!![%s], (%d)\n", util.m_strFWFilePath.c_str(),
                    rc));
        FailAllHosts(true);
        return false;
    }
    const std::uint32_t length = util.m_dwFWFileLength;

    // 4./5. Its version.
    std::uint8_t version[6] = {};
    rc = ctx_.interctl.Get_Version_From_File(image.data(), length, version);
    if (rc != kOk) {
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: Get_Version_From_File Failed!!(%d)\n",
                                 kRunName, 712, rc);
        Tell(Format("\r\n%s:%d:Get_Version_From_File Failed!!(%d)\n", kRunName, 713, rc),
             Format("Get_Version_From_File Failed!!(%d)\n", rc));
        FailAllHosts(true);
        return false;
    }
    util.m_strFileFWVersion = FormatFirmwareVersion(version);

    // 6. The image that is programmed: the configuration built into the firmware.
    if (!vCreateConfigRomFile(image.data(), length)) {
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:   vCreateConfigRomFile Failed!!",
                                 kRunName, 725);
        Tell("vCreateConfigRomFile Failed!!\n", "vCreateConfigRomFile Failed!!\r\n");
        FailAllHosts(false);
        return false;
    }

    // 7. One worker per host.
    std::array<std::shared_ptr<FWThreadParam>, kMaxHosts> params;
    {
        std::lock_guard lock(runMutex_);
        params = m_Params;
    }
    std::size_t hostsToRun = 0;
    for (std::uint8_t i = 0; i < kMaxHosts; ++i) {
        FWThreadParam& param = *params[i];
        TargetHost& host = util.hosts[i];
        if (host.ucIndex == kNoHostIndex || i >= util.ucHostCount) {
            param.ucFinished = 2;
            continue;
        }
        ++hostsToRun;
        param.strFWFilePath = util.m_strFWFilePath;
        param.ucHostIndex = i;
        param.ucFinished = 0;
        param.ucTwoColumn = twoColumn;
        param.ucRunFlags = runFlags;
        host.strFirmwarePath = name;
        auto shared = params[i];
        auto worker = Worker::Start([this, shared] { FWThreadFun(*shared); });
        std::lock_guard lock(runMutex_);
        m_Workers[i] = worker;
    }

    // 8. Wait for them. A skipped host counts as finished; the update and check flags need at
    // least one host that passed them.
    const std::uint64_t start = ctx_.clock.NowMs();
    for (;;) {
        if (ctx_.clock.NowMs() - start > kRunLimitMs) break;
        std::size_t finished = 0, updated = 0, checked = 0;
        for (std::uint8_t i = 0; i < kMaxHosts; ++i) {
            if (params[i]->ucFinished != 0) ++finished;
            if (params[i]->ucFinished == 2) continue;
            if (util.hosts[i].ucFwUpdateResult == 1) ++updated;
            if (util.hosts[i].ucFwCheckResult == 1) ++checked;
        }
        if (ini.fw_update_enable == 1 && hostsToRun > 0 && updated == hostsToRun)
            m_ucAllUpdated = 1;
        if (ini.fw_check_enable == 1 && hostsToRun > 0 && checked == hostsToRun) m_ucAllChecked = 1;
        if (finished == kMaxHosts) {
            m_ucRunDone = 1;
            return true;
        }
        if (!ctx_.clock.SleepMs(kPollMs)) break;
    }

    // 9. Time-out: give up on the workers that did not finish. All of them are asked to stop
    // first, so none of them can take the programming lock that a revoked one frees.
    std::vector<std::uint8_t> unfinished;
    for (std::uint8_t i = 0; i < kMaxHosts; ++i) {
        if (params[i]->ucFinished != 0) continue;
        unfinished.push_back(i);
        std::lock_guard lock(runMutex_);
        if (m_Workers[i]) {
            m_Workers[i]->Abandon();
            abandoned_.push_back(std::move(m_Workers[i]));
        }
    }
    for (std::uint8_t i : unfinished) {
        FWThreadParam& param = *params[i];
        m_FWUpgCriticalSection.Revoke(param.lockTicket);
        param.ucFinished = 1;
        ctx_.resultTable.vShowResultItemTable(kCellRed, i, UpdateColumn(twoColumn), "Fail");
    }
    Tell("Firmware Update Time Out, Fail!!!", "Firmware Update Time Out, Fail!!!\r\n");
    return false;
}

// A host's item result: the cell (PASS on green, with the host's fixed items refreshed, or
// FAIL on red) and, in console mode, its line.
void Upgrade::ShowItemResult(std::uint8_t index, int column, const char* item, bool passed) {
    ctx_.resultTable.vShowResultItemTable(passed ? kCellGreen : kCellRed, index, column,
                                          passed ? ctx_.uiText.pass : ctx_.uiText.fail);
    if (passed) ctx_.resultTable.vUpdateResultFixedItem(index);
    if (ctx_.consoleMode)
        ctx_.console.Printf("Host[%d],[%s]--> [%s]!!\r\n", index, item, passed ? "PASS" : "FAIL");
}

std::uint32_t Upgrade::FWThreadFun(FWThreadParam& param) {
    CUtility& util = ctx_.g_Utility;
    const std::uint8_t index = param.ucHostIndex;
    TargetHost& host = util.hosts[index];
    const int updateColumn = UpdateColumn(param.ucTwoColumn);
    const int checkColumn = CheckColumn(param.ucTwoColumn);
    try {
        if (param.ucFinished != 0) {
            host.ucFwUpdateResult = 0;
            host.ucFwCheckResult = 0;
            ctx_.eventLog.LogMessage(kEventTypeError,
                                     "\r\n%s:%d: FWThreadFun: TerminateThread[%d] , dwErrorCode %d",
                                     kWorkerName, 820, index, files::LastError());
            return 0;
        }
        if (ctx_.consoleMode)
            ctx_.console.Printf("Target Host[%d] > Bus:0x%02X Device:0x%02X Function:0x%02X\r\n",
                                index, host.ucBus, host.ucDevice, host.ucFunction);

        if (param.ucRunFlags & 0x10) {
            bool passed = false;
            if (util.m_ucFileKind != host.ucKind) {
                ctx_.eventLog.LogMessage(kEventTypeError,
                                         "\r\n%s:%d:  Device Type(%X) is not equal to Firmware "
                                         "Type(%X) , dwErrorCode %d",
                                         kWorkerName, 836, host.ucKind, util.m_ucFileKind,
                                         files::LastError());
            } else if (host.ucChipType != util.m_ucFWVariant) {
                ctx_.eventLog.LogMessage(
                    kEventTypeError,
                    "\r\n%s:%d:  Chip Type(%X) is not equal to Firmware Type(%X) , dwErrorCode %d",
                    kWorkerName, 842, host.ucChipType, util.m_ucFWVariant, files::LastError());
            } else if (Firmware_Upgrade(index, param.strFWFilePath, &param) != 0) {
                ctx_.eventLog.LogMessage(
                    kEventTypeError,
                    "\r\n%s:%d: FWThreadFun: Firmware_Upgrade Failed , dwErrorCode %d", kWorkerName,
                    848, files::LastError());
            } else {
                ctx_.clock.SleepMs(500);
                ctx_.interctl.UpdateDeviceInfo(index, ctx_.ini.spi_wrsr_ver, host.ucKind);
                passed = true;
            }
            ctx_.clock.SleepMs(250);
            if (StopRequested()) return 0;  // given up on: the supervisor wrote the result
            ShowItemResult(index, updateColumn, "FW Update ", passed);
            if (passed) {
                host.ucFwUpdateResult = 1;
            } else {
                ctx_.resultTable.vShowResultItemTable(kCellRed, index, checkColumn,
                                                      ctx_.uiText.fail);
                host.ucFwUpdateResult = 0;
                param.ucFinished = 1;
                return 0;
            }
        }

        if (param.ucRunFlags & 0x20) {
            const std::string expectedSsid = Format("%04x", ParseHexText(ctx_.ini.ssid));
            const std::string expectedSvid = Format("%04x", ParseHexText(ctx_.ini.svid));
            ctx_.interctl.UpdateDeviceInfo(index, ctx_.ini.spi_wrsr_ver, host.ucKind);
            bool passed = EqualsNoCase(host.strFWVersion, util.m_strFileFWVersion);
            if (ctx_.ini.subsys_enable == 1)
                passed = passed && EqualsNoCase(host.strSSID, expectedSsid) &&
                         EqualsNoCase(host.strSVID, expectedSvid);
            if (StopRequested()) return 0;
            ShowItemResult(index, checkColumn, "FW Check ", passed);
            if (passed) {
                host.ucFwCheckResult = 1;
            } else {
                host.ucFwCheckResult = 0;
                ctx_.eventLog.LogMessage(
                    kEventTypeError,
                    "\r\n%s:%d: FWThreadFun: Firmware Check Failed , dwErrorCode %d", kWorkerName,
                    890, files::LastError());
            }
        }
        param.ucFinished = 1;
        return 1;
    } catch (const std::exception&) {
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: FWThreadFun Failed,  dwErrorCode %d",
                                 kWorkerName, 899, files::LastError());
        param.ucFinished = 1;
        return 0;
    }
}

}  // namespace qnl
