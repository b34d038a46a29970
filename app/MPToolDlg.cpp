#include "app/MPToolDlg.h"

#include <cstdarg>
#include <functional>

#include "controller/ErrorCodes.h"
#include "platform/Files.h"
#include "platform/Format.h"
#include "platform/HexText.h"
#include "platform/WindowsNames.h"
#include "porttest/FunTestPageCore.h"
#include "settings/SettingsValidation.h"

namespace qnl {

namespace {

// The loaded settings through the edits' rules (settings/SettingsValidation.h), told in the
// order the pages' refreshes would tell them: the page shown first is refreshed first (at the
// tab change), and the test page's time-out edit then refuses a bad loaded time-out, telling
// it but keeping the value; then the device page's refresh refuses it again (0) and the rest.
// Done here, a run programs the same bytes whether or not the window's pages exist, and their
// refreshes that follow find nothing left to refuse.
void ValidateLoadedSettingsAtStartUp(ToolContext& ctx) {
    const EditRule& timeOut = EditRuleOf(SettingsEdit::kTimeOut);
    if (ctx.ini.init_main == kPageTest &&
        !CheckEditText(timeOut, EditText(ctx.ini, timeOut)).accepted)
        TellTimeOutRefused(ctx.prompts);
    for (const EditRefusal& refusal : ValidateLoadedSettings(ctx.ini))
        TellEditRefusal(refusal, ctx.consoleMode, ctx.console, ctx.prompts);
}

}  // namespace

CQNL735_MPToolDlg::CQNL735_MPToolDlg(ToolContext& context) : ctx_(context) {
    InitControls();
    // Start follows the hardware session: off while another activity holds it, back when it
    // is free (on the releasing thread; the control table is thread-safe).
    hardwareListener_ = ctx_.hardware.AddListener([this] { ApplyStart(); });
}

void CQNL735_MPToolDlg::Print(const std::string& text) {
    if (ConsoleMode()) ctx_.console.Write(text);
}

void CQNL735_MPToolDlg::Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = VFormat(format, args);
    va_end(args);
    Print(text);
}

std::int32_t CQNL735_MPToolDlg::vExitWithCode(std::int32_t code) {
    exitCode_ = code;
    if (ConsoleMode()) {
        Printf("ErroCode [%d]\r\n", code);
        ctx_.clock.SleepMs(1000);
    }
    ctx_.io.UnloadQnlIODriver();
    return code;
}

std::optional<std::int32_t> CQNL735_MPToolDlg::OnInitDialog(const std::string& commandLineText) {
    // Parse the command line.
    if (auto stop = ParseCommandLine(commandLineText, cmd_)) {
        if (stop->usage) {
            ctx_.prompts.ShowMessage(UsageText(), ctx_.uiText.windowTitle);
            return vExitWithCode(0);
        }
        ctx_.prompts.ShowMessage(stop->message, stop->caption, MessageIcon::Error);
        return vExitWithCode(stop->exitCode);
    }

    ctx_.consoleMode = ConsoleMode();
    ctx_.silentMode = cmd_.silent;
    // Console mode: the banner.
    Printf("===================%s (%s)=========================\r\n", kProductName,
           kProductVersion);

    // Locked, without extended access.
    m_bUnlocked = false;
    m_bExtendedAccess = false;
    ctx_.extendedAccess = false;

    // The settings file of the tool folder.
    if (auto code = LoadSettings()) return code;
    ValidateLoadedSettingsAtStartUp(ctx_);

    // The page shown first, as a tab change shows it, with the result table of that page.
    OnTcnSelchangeTab(ctx_.ini.init_main);

    // Host records start empty; the window starts locked; the pages show the settings.
    ctx_.g_Utility.ResetHostRecords();
    vApplyLockState();
    RefreshAllPages();
    SetLogCheckBoxesFromSettings();

    // A run is coming: the tool folder's lock before discovery talks to the controllers, so
    // that a second tool started for a run leaves them alone while the first one works. The
    // window reaches the hardware at start-up, on Rescan and on every device change: it keeps
    // the lock for as long as it is open. (Reads alone, /D /T /I /O, take no lock.)
    if (!ConsoleMode() && !AcquireToolFolderLock("the window does not open")) return 1;
    if ((cmd_.autoMode || cmd_.signalOverride || cmd_.fixtureOverride) && !AcquireToolFolderLock())
        return vExitWithCode(1);
    if (auto code = LoadDriver()) return code;
    if (auto code = Discover()) return code;
    if (!ConsoleMode()) {
        RelockControllers();
        ShowHostCountStatus();
    }
    // The test page shown first: its port status from a port check (window mode only).
    if (ctx_.ini.init_main == kPageTest && !cmd_.hasCommandLine && testPagePortCheck_)
        testPagePortCheck_();
    vEnableStartGUI();
    ctx_.resultTable.vUpdateAllMainResultSubItemTable();

    if (cmd_.showVersion)
        if (auto code = ShowVersions()) return code;
    if (cmd_.compareVersion)
        if (auto code = CompareVersions()) return code;
    if (cmd_.outputVersionFile)
        if (auto code = WriteVersionFile()) return code;
    if (cmd_.compareIds)
        if (auto code = CompareIds()) return code;

    const bool testOverride = cmd_.signalOverride || cmd_.fixtureOverride;
    if (cmd_.autoMode || (testOverride && !windowFollows_)) return RunFromCommandLine();
    if (testOverride) {
        // /G or /F without /A: the run starts in the window, which stays when it ends.
        StartInWindowFromCommandLine();
        return std::nullopt;
    }
    if (ConsoleMode() && !windowFollows_) {
        // A command line that asks this console for nothing it can do ends with the usage and
        // the code of an invalid parameter, never with 0 for nothing done.
        ctx_.prompts.ShowMessage(UsageText(), ctx_.uiText.windowTitle, MessageIcon::Error);
        return vExitWithCode(kErrInvalidParameter);
    }
    return std::nullopt;
}

std::optional<std::int32_t> CQNL735_MPToolDlg::LoadSettings() {
    // "QNL7350AMPTool.ini" in the tool folder; a copy from a Windows station may differ in case.
    m_strEditLoadINI = files::ResolveWindowsName(ctx_.g_Utility.strToolFolder, kIniFileName).path;
    controls_.SetText(kCtlIniPath, m_strEditLoadINI);
    if (!ctx_.ini.bLoadINIFile(m_strEditLoadINI)) {
        vDisableStartGUI();
        // Start stays disabled; a silent run that was to show another page cannot go on.
        if (cmd_.silent && ctx_.ini.init_main != 0) {
            Printf("Load [%s] Setting file failed!!...\r\n",
                   PrintableText(m_strEditLoadINI).c_str());
            return vExitWithCode(-1);
        }
    }
    if (cmd_.silent)
        Printf("Load [%s] Setting file...\r\n", PrintableText(m_strEditLoadINI).c_str());
    return std::nullopt;
}

bool CQNL735_MPToolDlg::TakeLocks(const std::vector<std::string>& lockFiles,
                                  std::unique_ptr<StationLock>& held, const char* consequence) {
    if (held) return true;
    StationLock::Refusal refusal;
    held = StationLock::TryAcquire(lockFiles, refusal);
    if (held) return true;
    std::string message;
    if (!refusal.error.empty())
        message = Format("Station lock [%s] could not be taken (%s): %s.", refusal.path.c_str(),
                         refusal.error.c_str(), consequence);
    else if (refusal.holderPid > 0)
        message = Format(
            "Another instance of the MP tool (process %ld) is running on this station "
            "[%s]: %s.",
            refusal.holderPid, refusal.path.c_str(), consequence);
    else
        message = Format("Another instance of the MP tool is running on this station [%s]: %s.",
                         refusal.path.c_str(), consequence);
    ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: %s",
                             "CQNL735_MPToolDlg::OnBnClickedStart", 1101, message.c_str());
    ctx_.prompts.ShowMessage(message, {}, MessageIcon::Error);
    return false;
}

std::string CQNL735_MPToolDlg::ToolFolderLockFile() const {
    return files::Join(ctx_.g_Utility.strToolFolder, kStationLockFileName);
}

bool CQNL735_MPToolDlg::AcquireToolFolderLock(const char* consequence) {
    const bool first = !toolLock_;
    if (!TakeLocks({ToolFolderLockFile()}, toolLock_, consequence)) return false;
    // A configuration image whose write was killed leaves its temporary file behind; the
    // holder of the station lock is the one writer of them, so it clears them away.
    if (first) files::RemoveStaleTemporaries(ctx_.g_Utility.strToolFolder, "Config_");
    return true;
}

std::vector<std::string> CQNL735_MPToolDlg::ControllerLockFiles() const {
    std::vector<std::string> lockFiles;
    const CUtility& util = ctx_.g_Utility;
    for (std::size_t i = 0; i < util.ucHostCount && i < kMaxHosts; ++i) {
        const TargetHost host = util.RecordSnapshot(i);
        lockFiles.push_back(
            files::Join(ctx_.controllerLockFolder,
                        ControllerLockFileName(host.ucBus, host.ucDevice, host.ucFunction)));
    }
    return lockFiles;
}

bool CQNL735_MPToolDlg::AcquireStationLock() {
    if (!AcquireToolFolderLock()) return false;
    if (ctx_.controllerLockFolder.empty()) return true;
    return TakeLocks(ControllerLockFiles(), controllerLocks_);
}

void CQNL735_MPToolDlg::RelockControllers() {
    if (ctx_.controllerLockFolder.empty()) return;
    // The addresses may have changed: the old locks go, the new ones are taken (a refusal is
    // told; Start asks for them again).
    controllerLocks_.reset();
    if (ctx_.g_Utility.ucHostCount > 0) TakeLocks(ControllerLockFiles(), controllerLocks_);
}

void ApplyTestOverrides(const CommandLineState& cmd, IniSettings& ini) {
    if (cmd.signalOverride) {
        ini.signal_line_test_enable = 1;
        ini.test_speed = cmd.testSpeed;
        ini.test_port = cmd.testPort;
    }
    if (cmd.fixtureOverride) {
        ini.fixture_test_enable = 1;
        ini.test_speed = cmd.testSpeed;
        ini.test_port = cmd.testPort;
    }
}

std::optional<std::int32_t> CQNL735_MPToolDlg::LoadDriver() {
    ctx_.io.UnloadQnlIODriver();
    if (ctx_.io.LoadQnlIODriver() != 0) return std::nullopt;
    const int systemError = files::LastError();
    ctx_.eventLog.LogMessage(kEventTypeError,
                             "\r\n%s:%d:  InitializeQNLIO Error!  dwErrorCode : %d ",
                             "CQNL735_MPToolDlg::OnInitDialog", 801, systemError);
    const std::string message = Format("\r\n%s:%d: InitializeQNLIO Error! !(%d)\n",
                                       "CQNL735_MPToolDlg::OnInitDialog", 803, kErrDriverStart);
    if (cmd_.silent)
        Printf("%s\r\n", message.c_str());
    else
        ctx_.prompts.ShowMessage(message, {}, MessageIcon::Error);
    // The process ends here without the exit-code line.
    return 1;
}

std::optional<std::int32_t> CQNL735_MPToolDlg::Discover() {
    if (cmd_.assignAddress) {
        Printf("Input [Bus:Dev:Fun]=[%d:%d:%d] \r\n", cmd_.assignedBus, cmd_.assignedDevice,
               cmd_.assignedFunction);
        ctx_.interctl.AssignPciBus(cmd_.assignedBus, cmd_.assignedDevice, cmd_.assignedFunction,
                                   ctx_.ini.spi_wrsr_ver);
        if (ctx_.g_Utility.ucHostCount == 0) {
            Print("Assigned location can't find QNL device!!\r\n");
            return vExitWithCode(kErrNotFound);
        }
    } else {
        ScanAndReport();
    }
    ReportNoAnswerHosts();
    return std::nullopt;
}

void CQNL735_MPToolDlg::ReportNoAnswerHosts() {
    // A controller that did not answer at discovery keeps its row but is never driven; the
    // operator is told which.
    for (const auto& address : ctx_.g_Utility.m_NoAnswerHosts)
        ctx_.prompts.ShowMessage(
            Format("Bus:0x%02X Device:0x%02X Function:0x%02X does not answer within %d s: it is "
                   "not programmed or tested",
                   address.bus, address.device, address.function,
                   static_cast<int>(CInterctl::kDiscoveryAnswerMs / 1000)),
            {}, MessageIcon::Error);
}

void CQNL735_MPToolDlg::PrintHostAddress(std::size_t index, const TargetHost& host) {
    Printf("Target Host[%d] > Bus:0x%02X Device:0x%02X Function:0x%02X\r\n",
           static_cast<int>(index), host.ucBus, host.ucDevice, host.ucFunction);
}

std::optional<std::int32_t> CQNL735_MPToolDlg::ShowVersions() {
    const auto& util = ctx_.g_Utility;
    if (util.ucHostCount == 0) Print("Device Not Found !!\n");
    for (std::size_t i = 0; i < util.ucHostCount; ++i) {
        const TargetHost& host = util.Host(i);
        PrintHostAddress(i, host);
        Printf("SSID-->%s / SVID-->%s\r\n", host.strSSID.c_str(), host.strSVID.c_str());
        Printf("Version-->%s\r\n\r\n", host.strFWVersion.c_str());
    }
    if (!cmd_.autoMode) return vExitWithCode(0);
    return std::nullopt;
}

std::optional<std::int32_t> CQNL735_MPToolDlg::CompareEveryHost(
    const std::function<void(const TargetHost&)>& printHost,
    const std::function<bool(const TargetHost&)>& matches, std::int32_t mismatchCode) {
    const auto& util = ctx_.g_Utility;
    if (util.ucHostCount == 0) {
        Print("DeviceNot Found!!\r\n\r\n\r\n");
        return vExitWithCode(kErrNotFound);
    }
    for (std::size_t i = 0; i < util.ucHostCount; ++i) {
        const TargetHost& host = util.Host(i);
        PrintHostAddress(i, host);
        printHost(host);
        if (!matches(host)) {
            Print("FAIL!!\r\n\r\n\r\n");
            return vExitWithCode(mismatchCode);
        }
    }
    Print("PASS!!\r\n\r\n\r\n");
    if (!cmd_.autoMode) return vExitWithCode(0);
    return std::nullopt;
}

std::optional<std::int32_t> CQNL735_MPToolDlg::CompareVersions() {
    Printf("Input Version is %s \r\n", cmd_.inputVersion.c_str());
    return CompareEveryHost(
        [&](const TargetHost& host) { Printf("Version-->%s\r\n\r\n", host.strFWVersion.c_str()); },
        [&](const TargetHost& host) { return EqualsNoCase(cmd_.inputVersion, host.strFWVersion); },
        kErrVersionUnmatch);
}

std::string VersionFileLine(std::size_t index, const TargetHost& host) {
    std::string version = TrimWhite(host.strFWVersion);
    if (version.size() < 12) version.insert(0, 12 - version.size(), '0');
    return Format("%d:%s\tSVID: %s\tSSID: %s\r\n", static_cast<int>(index), version.c_str(),
                  host.strSVID.c_str(), host.strSSID.c_str());
}

std::optional<std::int32_t> CQNL735_MPToolDlg::WriteVersionFile() {
    const auto& util = ctx_.g_Utility;
    if (util.ucHostCount == 0) return vExitWithCode(kErrNotFound);
    std::string content;
    for (std::size_t i = 0; i < util.ucHostCount; ++i) content += VersionFileLine(i, util.Host(i));
    const std::string path = files::Join(ctx_.currentFolder, kVersionFileName);
    files::Remove(path);
    if (!files::WriteAtomic(path, content)) {
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: Write [%s] Failed, dwErrorCode %d",
                                 "CQNL735_MPToolDlg::OnInitDialog", 1012, path.c_str(),
                                 files::LastError());
        return vExitWithCode(kErrIo);
    }
    return vExitWithCode(0);
}

std::optional<std::int32_t> CQNL735_MPToolDlg::CompareIds() {
    Printf("Input SSID/SVID is %s \r\n", cmd_.inputIds.c_str());
    return CompareEveryHost(
        [&](const TargetHost& host) {
            Printf("SSID-->%s / SVID-->%s\r\n", host.strSSID.c_str(), host.strSVID.c_str());
        },
        [&](const TargetHost& host) {
            return EqualsNoCase(cmd_.inputIds, host.strSSID + "/" + host.strSVID);
        },
        kErrInvalidParameter);
}

}  // namespace qnl
