// The upgrade run over all hosts: prepare one image, start one worker per host, wait for them
// with the 200-second limit, and give up on the ones that do not finish.
#include <algorithm>
#include <chrono>

#include "controller/CInterctl.h"
#include "controller/CUtility.h"
#include "controller/ErrorCodes.h"
#include "firmware/Upgrade.h"
#include "platform/Cancellation.h"
#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "platform/Files.h"
#include "platform/Format.h"
#include "platform/HexText.h"
#include "platform/OperatorPrompts.h"
#include "platform/UsbTopology.h"
#include "platform/WindowsNames.h"
#include "porttest/UsbDeviceSearch.h"
#include "settings/SetReg.h"
#include "ui/UiTextTable.h"

namespace qnl {

namespace {
constexpr const char* kRunName = "Upgrade::RunFirmwareUpgrade";
constexpr const char* kWorkerName = "Upgrade::FWThreadFun";
constexpr std::uint64_t kRunLimitMs = 200000;
constexpr std::uint32_t kPollMs = 200;
}  // namespace

void Upgrade::ResetRunState() {
    std::lock_guard lock(runMutex_);
    if (group_) abandoned_.push_back(std::move(group_));
    // A group whose workers all returned is no longer needed.
    std::erase_if(abandoned_, [](const std::shared_ptr<WorkerGroup>& g) {
        return g->StopAndWait(std::chrono::milliseconds(0));
    });
    m_ucRunDone = 0;
    services_.reporter.BeginRun();
}

bool Upgrade::bCheckConnectedUSBDevice() {
    try {
        std::uint8_t found = 0;
        SearchConnectedUsbDevice(services_.usbTopology, found);
        return found == 1;
    } catch (const std::exception& e) {
        services_.eventLog.LogMessage(
            kEventTypeError, "\r\n%s:%d: Failed,  dwErrorCode %d, what: %s",
            "Upgrade::bCheckConnectedUSBDevice", 612, files::LastError(), e.what());
        return false;
    }
}

bool Upgrade::WaitUntilNoUsbDevice(bool console) {
    if (!bCheckConnectedUSBDevice()) return true;
    constexpr const char* kFound = "Found a USB Device Connected , Please Remove it !!";
    if (!console) {
        // The window: the operator removes the device and retries, or gives the run up.
        do {
            if (!services_.prompts.AskRetry(kFound, {}, MessageIcon::Warning)) {
                services_.eventLog.LogMessage(
                    kEventTypeError, "\r\n%s:%d: USB device still connected, run cancelled",
                    kRunName, 690);
                Tell("A USB Device is still Connected: the run is cancelled, every host FAIL!!",
                     {});
                return false;
            }
        } while (bCheckConnectedUSBDevice());
        return true;
    }
    // Console mode: told once, then a look every second, without a word, until the device is
    // gone or the run's limit has passed.
    Tell(kFound, {});
    const std::uint64_t start = services_.clock.NowMs();
    while (services_.clock.NowMs() - start < kRunLimitMs) {
        if (!services_.clock.SleepMs(1000)) return false;  // the run was asked to stop
        if (!bCheckConnectedUSBDevice()) return true;
    }
    services_.eventLog.LogMessage(kEventTypeError,
                                  "\r\n%s:%d: USB device still connected after %d s, run failed",
                                  kRunName, 694, static_cast<int>(kRunLimitMs / 1000));
    Tell("USB Device still Connected, Time Out, Fail!!!",
         "USB Device still Connected, Time Out, Fail!!!\r\n");
    return false;
}

void Upgrade::FailRunItems(ResultLayout layout, std::uint8_t runFlags, std::uint8_t index,
                           std::int32_t errorCode, const std::string& text) {
    if (runFlags & 0x10)
        services_.reporter.ShowResult(layout, index, ResultItem::FwUpdate, CellState::Fail, text,
                                      errorCode);
    if (runFlags & 0x20)
        services_.reporter.ShowResult(layout, index, ResultItem::FwCheck, CellState::Fail, text,
                                      errorCode);
}

void Upgrade::FailAllHosts(ResultLayout layout, std::uint8_t runFlags, bool clearCheckResult) {
    for (std::uint8_t i = 0; i < kMaxHosts; ++i) {
        bool shown = false;
        services_.g_Utility.WriteRecord(i, [&](TargetHost& host) {
            host.ucFwUpdateResult = 0;
            if (clearCheckResult) host.ucFwCheckResult = 0;
            shown = host.ucIndex != kNoHostIndex;
        });
        if (shown) FailRunItems(layout, runFlags, i, 0, services_.uiText.fail);
    }
    m_ucRunDone = 1;
}

void Upgrade::Tell(const std::string& boxText, const std::string& consoleText) {
    services_.prompts.ShowMessage(boxText, {}, MessageIcon::Error, consoleText);
}

UpgradeOutcome Upgrade::RunFirmwareUpgrade(std::uint8_t twoColumn, std::uint8_t runFlags) {
    const IniSettings settings = services_.ini;
    return RunFirmwareUpgrade(twoColumn, runFlags, settings,
                              UpgradeRunMode{services_.runFromMain, services_.consoleMode});
}

UpgradeOutcome Upgrade::RunFirmwareUpgrade(std::uint8_t twoColumn, std::uint8_t runFlags,
                                           const IniSettings& settings,
                                           const UpgradeRunMode& mode) {
    CUtility& util = services_.g_Utility;
    auto run = std::make_shared<UpgradeRunSnapshot>();
    run->settings = settings;
    run->layout = twoColumn ? ResultLayout::Upgrade : ResultLayout::Main;
    run->runFlags = runFlags;
    run->consoleMode = mode.console;

    // 1. No USB device may hang below a target controller while it is programmed.
    if (settings.check_downstream_usb_enable == 1 && !WaitUntilNoUsbDevice(mode.console)) {
        FailAllHosts(run->layout, run->runFlags, true);
        return {};
    }

    // 2. The firmware file: the settings' name in an MP run, else the page's selection.
    run->firmwareName = mode.fromMain ? settings.fw_binary_name : m_strComboFirmware;
    // A name with ':' after its first character is a full path; anything else lives in the
    // tool folder. Either way it is resolved as a Windows station would.
    const std::string path = files::ResolveWindowsName(util.strToolFolder, run->firmwareName).path;

    // 3.-5. Read it once, with its version.
    UpgradeOutcome outcome;
    outcome.chosenPath = path;
    const FirmwareLoad load = LoadFirmwareFile(run->firmwareName, path, services_.eventLog);
    if (load.failedAt == FirmwareLoadStep::Read) {
        // The name comes from the settings: echoed with its control characters shown as '?'.
        const std::string shown = PrintableText(path);
        Tell(Format("\r\n%s:%d:Open Frimware bin file Failed!!strFwFullName[%s], (%d)\n", kRunName,
                    700, shown.c_str(), load.rc),
             Format("Open Frimware bin file Failed!![%s], (%d)\n", shown.c_str(), load.rc));
        FailAllHosts(run->layout, run->runFlags, true);
        return outcome;
    }
    if (load.failedAt == FirmwareLoadStep::Version) {
        services_.eventLog.LogMessage(kEventTypeError,
                                      "\r\n%s:%d: Get_Version_From_File Failed!!(%d)\n", kRunName,
                                      712, load.rc);
        Tell(Format("\r\n%s:%d:Get_Version_From_File Failed!!(%d)\n", kRunName, 713, load.rc),
             Format("Get_Version_From_File Failed!!(%d)\n", load.rc));
        FailAllHosts(run->layout, run->runFlags, true);
        return outcome;
    }

    // 6. The image that is programmed: the configuration built into the firmware.
    std::optional<ProgrammedImage> image = vCreateConfigRomFile(load.file, run->settings);
    if (!image) {
        services_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:   vCreateConfigRomFile Failed!!",
                                      kRunName, 725);
        Tell("vCreateConfigRomFile Failed!!\n", "vCreateConfigRomFile Failed!!\r\n");
        FailAllHosts(run->layout, run->runFlags, false);
        return outcome;
    }
    run->image = *image;
    outcome.image = std::move(image);
    run->hostCount = std::min<std::uint8_t>(util.ucHostCount, kMaxHosts);
    for (std::uint8_t i = 0; i < run->hostCount; ++i)
        util.WriteRecord(i, [&](TargetHost& host) {
            if (host.ucIndex != kNoHostIndex) host.strFirmwarePath = run->firmwareName;
        });
    run->hosts = util.hosts;

    // 7. One worker per host.
    // The workers' gates write under the host records' locks (a page switch reads them).
    auto group = std::make_shared<WorkerGroup>(
        services_.clock, std::vector(util.RecordLocks().begin(), util.RecordLocks().end()));
    {
        std::lock_guard lock(runMutex_);
        if (group_) abandoned_.push_back(group_);
        group_ = group;
    }
    for (std::uint8_t i = 0; i < run->hostCount; ++i) {
        if (run->hosts[i].ucIndex == kNoHostIndex) continue;  // skipped
        if (run->hosts[i].bNoAnswer) {
            // It did not answer at discovery: never touched again, failed at once.
            FailRunItems(run->layout, run->runFlags, i, kErrTimeout, services_.uiText.fail);
            continue;
        }
        group->Start(
            i, [this, run, i] { FWThreadFun(run, i); },
            [this, run, i] {
                // Anything unexpected inside the worker fails its host.
                services_.eventLog.LogMessage(kEventTypeError,
                                              "\r\n%s:%d: FWThreadFun Failed,  dwErrorCode %d",
                                              kWorkerName, 899, files::LastError());
                TargetHost& host = services_.g_Utility.hosts[i];
                host.ucFwUpdateResult = 0;
                host.ucFwCheckResult = 0;
                FailRunItems(run->layout, run->runFlags, i, 0, services_.uiText.fail);
            });
    }

    // 8. Wait for them. Skipped hosts are not waited for; the update and check flags need at
    // least one host that passed them.
    const bool allFinished = group->Wait(kRunLimitMs, kPollMs);
    if (!allFinished) {
        // 9. Time-out: give up on the workers that did not finish. A host given up on failed,
        // in the table and in its record, whatever its worker got to.
        group->GiveUpUnfinished([&](std::size_t i) {
            TargetHost& host = util.hosts[i];
            host.ucFwUpdateResult = 0;
            host.ucFwCheckResult = 0;
            // The run's items only: a check-only run's update stays blank.
            FailRunItems(run->layout, run->runFlags, static_cast<std::uint8_t>(i), kErrTimeout,
                         "Fail");
        });
    }
    const std::vector<std::size_t> started = group->StartedHosts();
    std::size_t updated = 0, checked = 0;
    for (std::size_t i : started) {
        if (util.hosts[i].ucFwUpdateResult == 1) ++updated;
        if (util.hosts[i].ucFwCheckResult == 1) ++checked;
    }
    outcome.allUpdated =
        settings.fw_update_enable == 1 && !started.empty() && updated == started.size();
    outcome.allChecked =
        settings.fw_check_enable == 1 && !started.empty() && checked == started.size();
    outcome.finished = allFinished;
    // The run is over either way; its end is seen by the page's done flag.
    m_ucRunDone = 1;
    if (!allFinished)
        Tell("Firmware Update Time Out, Fail!!!", "Firmware Update Time Out, Fail!!!\r\n");
    return outcome;
}

// A host's item result: the cell (PASS on green, with the host's fixed items refreshed, or
// FAIL on red) and, in console mode, its line. The caller holds its report gate.
void Upgrade::ShowItemResult(const UpgradeRunSnapshot& run, std::uint8_t index, ResultItem item,
                             const char* name, bool passed) {
    services_.reporter.ShowResult(run.layout, index, item,
                                  passed ? CellState::Pass : CellState::Fail,
                                  passed ? services_.uiText.pass : services_.uiText.fail);
    if (passed) services_.reporter.RefreshHost(index);
    if (run.consoleMode)
        services_.reporter.ConsoleLine(
            Format("Host[%d],[%s]--> [%s]!!\r\n", index, name, passed ? "PASS" : "FAIL"));
}

namespace {
// The facts a device-information read finds, from the worker's copy into the host table.
void PublishDeviceInfo(TargetHost& to, const TargetHost& from) {
    to.ucChipType = from.ucChipType;
    to.strFWVersion = from.strFWVersion;
    to.strSSID = from.strSSID;
    to.strSVID = from.strSVID;
    to.ucPcieLink = from.ucPcieLink;
    to.ucWrsrStatus = from.ucWrsrStatus;
}
}  // namespace

std::uint32_t Upgrade::FWThreadFun(const std::shared_ptr<const UpgradeRunSnapshot>& runPointer,
                                   std::uint8_t index) {
    const UpgradeRunSnapshot& run = *runPointer;
    const IniSettings& ini = run.settings;
    // The worker's own copy of its host's record; the table's record is written only through
    // the report gate.
    TargetHost host = run.hosts[index];
    TargetHost& record = services_.g_Utility.hosts[index];
    if (!MayReport()) {
        services_.eventLog.LogMessage(
            kEventTypeError, "\r\n%s:%d: FWThreadFun: TerminateThread[%d] , dwErrorCode %d",
            kWorkerName, 820, index, files::LastError());
        return 0;
    }
    if (run.consoleMode)
        services_.reporter.ConsoleLine(
            Format("Target Host[%d] > Bus:0x%02X Device:0x%02X Function:0x%02X\r\n", index,
                   host.ucBus, host.ucDevice, host.ucFunction));

    if (run.runFlags & 0x10) {
        bool passed = false;
        if (run.image.kind != host.ucKind) {
            services_.eventLog.LogMessage(
                kEventTypeError,
                "\r\n%s:%d:  Device Type(%X) is not equal to Firmware Type(%X) , dwErrorCode %d",
                kWorkerName, 836, host.ucKind, run.image.kind, files::LastError());
        } else if (host.ucChipType != run.image.variant) {
            services_.eventLog.LogMessage(
                kEventTypeError,
                "\r\n%s:%d:  Chip Type(%X) is not equal to Firmware Type(%X) , dwErrorCode %d",
                kWorkerName, 842, host.ucChipType, run.image.variant, files::LastError());
        } else if (ProgramHost(run, index, host) != 0) {
            services_.eventLog.LogMessage(
                kEventTypeError, "\r\n%s:%d: FWThreadFun: Firmware_Upgrade Failed , dwErrorCode %d",
                kWorkerName, 848, files::LastError());
        } else {
            services_.clock.SleepMs(500);
            services_.interctl.ReadDeviceInfo(host, ini.spi_wrsr_ver, host.ucKind);
            passed = true;
        }
        services_.clock.SleepMs(250);
        bool stop = false;
        GatedWrite([&] {
            if (passed) PublishDeviceInfo(record, host);
            record.ucFwUpdateResult = passed ? 1 : 0;
            ShowItemResult(run, index, ResultItem::FwUpdate, "FW Update ", passed);
            if (!passed) {
                // The check cannot pass on a failed update (when it is part of the run).
                if (run.runFlags & 0x20)
                    services_.reporter.ShowResult(run.layout, index, ResultItem::FwCheck,
                                                  CellState::Fail, services_.uiText.fail);
                stop = true;
            }
        });
        if (stop || !MayReport()) return 0;
    }

    if (run.runFlags & 0x20) {
        const std::string expectedSsid = Format("%04x", ParseHexText(ini.ssid));
        const std::string expectedSvid = Format("%04x", ParseHexText(ini.svid));
        services_.interctl.ReadDeviceInfo(host, ini.spi_wrsr_ver, host.ucKind);
        bool passed = EqualsNoCase(host.strFWVersion, run.image.version);
        if (ini.subsys_enable == 1)
            passed = passed && EqualsNoCase(host.strSSID, expectedSsid) &&
                     EqualsNoCase(host.strSVID, expectedSvid);
        GatedWrite([&] {
            PublishDeviceInfo(record, host);
            record.ucFwCheckResult = passed ? 1 : 0;
            ShowItemResult(run, index, ResultItem::FwCheck, "FW Check ", passed);
            if (!passed)
                services_.eventLog.LogMessage(
                    kEventTypeError,
                    "\r\n%s:%d: FWThreadFun: Firmware Check Failed , dwErrorCode %d", kWorkerName,
                    890, files::LastError());
        });
    }
    return 1;
}

}  // namespace qnl
