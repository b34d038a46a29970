#include "app/StartUp.h"

#include <cstdarg>

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

std::string VersionFileLine(std::size_t index, const TargetHost& host) {
    std::string version = TrimWhite(host.strFWVersion);
    if (version.size() < 12) version.insert(0, 12 - version.size(), '0');
    return Format("%d:%s\tSVID: %s\tSSID: %s\r\n", static_cast<int>(index), version.c_str(),
                  host.strSVID.c_str(), host.strSSID.c_str());
}

void ScanControllers(ToolContext& ctx) {
    ctx.interctl.ScanPciBus(ctx.ini.spi_wrsr_ver);
    const std::uint32_t found = ctx.g_Utility.dwControllersFound;
    if (found > kMaxHosts) {
        // The host table holds 8: say so, the boards beyond it are not programmed or tested.
        const std::string message = Format(
            "%u QNL controllers found: only the first %u are served, the other %u are "
            "not programmed or tested!!",
            found, static_cast<unsigned>(kMaxHosts), found - static_cast<unsigned>(kMaxHosts));
        ctx.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: %s", "CInterctl::ScanPciBus", 237,
                                message.c_str());
        ctx.prompts.ShowMessage(message, {}, MessageIcon::Warning);
    }
}

void ReportNoAnswerHosts(ToolContext& ctx) {
    for (const auto& address : ctx.g_Utility.m_NoAnswerHosts)
        ctx.prompts.ShowMessage(
            Format("Bus:0x%02X Device:0x%02X Function:0x%02X does not answer within %d s: it is "
                   "not programmed or tested",
                   address.bus, address.device, address.function,
                   static_cast<int>(CInterctl::kDiscoveryAnswerMs / 1000)),
            {}, MessageIcon::Error);
}

void StartUp::Print(const std::string& text) {
    if (ConsoleMode()) ctx_.console.Write(text);
}

void StartUp::Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = VFormat(format, args);
    va_end(args);
    Print(text);
}

std::int32_t StartUp::ExitWithCode(std::int32_t code) {
    if (ConsoleMode()) {
        Printf("ErroCode [%d]\r\n", code);
        ctx_.clock.SleepMs(1000);
    }
    ctx_.io.UnloadQnlIODriver();
    return code;
}

std::optional<std::int32_t> StartUp::ReadCommandLine(const std::string& commandLineText) {
    if (auto stop = ParseCommandLine(commandLineText, cmd_)) {
        if (stop->usage) {
            ctx_.prompts.ShowMessage(UsageText(), ctx_.uiText.windowTitle);
            return ExitWithCode(0);
        }
        ctx_.prompts.ShowMessage(stop->message, stop->caption, MessageIcon::Error);
        return ExitWithCode(stop->exitCode);
    }
    ctx_.consoleMode = ConsoleMode();
    ctx_.silentMode = cmd_.silent;
    Printf("===================%s (%s)=========================\r\n", kProductName,
           kProductVersion);
    return std::nullopt;
}

StartUp::SettingsLoad StartUp::LoadSettings() {
    SettingsLoad load;
    // "QNL7350AMPTool.ini" in the tool folder; a copy from a Windows station may differ in case.
    load.path = files::ResolveWindowsName(ctx_.g_Utility.strToolFolder, kIniFileName).path;
    load.loaded = ctx_.ini.bLoadINIFile(load.path);
    // A silent run that was to show another page cannot go on without its settings.
    if (!load.loaded && cmd_.silent && ctx_.ini.init_main != 0) {
        Printf("Load [%s] Setting file failed!!...\r\n", PrintableText(load.path).c_str());
        load.exit = ExitWithCode(-1);
        return load;
    }
    if (cmd_.silent) Printf("Load [%s] Setting file...\r\n", PrintableText(load.path).c_str());
    ValidateLoadedSettingsAtStartUp(ctx_);
    return load;
}

std::optional<std::int32_t> StartUp::LoadDriver() {
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

std::optional<std::int32_t> StartUp::Discover() {
    if (cmd_.assignAddress) {
        Printf("Input [Bus:Dev:Fun]=[%d:%d:%d] \r\n", cmd_.assignedBus, cmd_.assignedDevice,
               cmd_.assignedFunction);
        ctx_.interctl.AssignPciBus(cmd_.assignedBus, cmd_.assignedDevice, cmd_.assignedFunction,
                                   ctx_.ini.spi_wrsr_ver);
        if (ctx_.g_Utility.ucHostCount == 0) {
            Print("Assigned location can't find QNL device!!\r\n");
            return ExitWithCode(kErrNotFound);
        }
    } else {
        ScanControllers(ctx_);
    }
    ReportNoAnswerHosts(ctx_);
    return std::nullopt;
}

std::optional<std::int32_t> StartUp::ConsoleReads() {
    if (cmd_.showVersion)
        if (auto code = ShowVersions()) return code;
    if (cmd_.compareVersion)
        if (auto code = CompareVersions()) return code;
    if (cmd_.outputVersionFile)
        if (auto code = WriteVersionFile()) return code;
    if (cmd_.compareIds)
        if (auto code = CompareIds()) return code;
    return std::nullopt;
}

void StartUp::PrintHostAddress(std::size_t index, const TargetHost& host) {
    Printf("Target Host[%d] > Bus:0x%02X Device:0x%02X Function:0x%02X\r\n",
           static_cast<int>(index), host.ucBus, host.ucDevice, host.ucFunction);
}

std::optional<std::int32_t> StartUp::ShowVersions() {
    const auto& util = ctx_.g_Utility;
    if (util.ucHostCount == 0) Print("Device Not Found !!\n");
    for (std::size_t i = 0; i < util.ucHostCount; ++i) {
        const TargetHost& host = util.Host(i);
        PrintHostAddress(i, host);
        Printf("SSID-->%s / SVID-->%s\r\n", host.strSSID.c_str(), host.strSVID.c_str());
        Printf("Version-->%s\r\n\r\n", host.strFWVersion.c_str());
    }
    if (!cmd_.autoMode) return ExitWithCode(0);
    return std::nullopt;
}

std::optional<std::int32_t> StartUp::CompareEveryHost(
    const std::function<void(const TargetHost&)>& printHost,
    const std::function<bool(const TargetHost&)>& matches, std::int32_t mismatchCode) {
    const auto& util = ctx_.g_Utility;
    if (util.ucHostCount == 0) {
        Print("DeviceNot Found!!\r\n\r\n\r\n");
        return ExitWithCode(kErrNotFound);
    }
    for (std::size_t i = 0; i < util.ucHostCount; ++i) {
        const TargetHost& host = util.Host(i);
        PrintHostAddress(i, host);
        printHost(host);
        if (!matches(host)) {
            Print("FAIL!!\r\n\r\n\r\n");
            return ExitWithCode(mismatchCode);
        }
    }
    Print("PASS!!\r\n\r\n\r\n");
    if (!cmd_.autoMode) return ExitWithCode(0);
    return std::nullopt;
}

std::optional<std::int32_t> StartUp::CompareVersions() {
    Printf("Input Version is %s \r\n", cmd_.inputVersion.c_str());
    return CompareEveryHost(
        [&](const TargetHost& host) { Printf("Version-->%s\r\n\r\n", host.strFWVersion.c_str()); },
        [&](const TargetHost& host) { return EqualsNoCase(cmd_.inputVersion, host.strFWVersion); },
        kErrVersionUnmatch);
}

std::optional<std::int32_t> StartUp::WriteVersionFile() {
    const auto& util = ctx_.g_Utility;
    if (util.ucHostCount == 0) return ExitWithCode(kErrNotFound);
    std::string content;
    for (std::size_t i = 0; i < util.ucHostCount; ++i) content += VersionFileLine(i, util.Host(i));
    const std::string path = files::Join(ctx_.currentFolder, kVersionFileName);
    files::Remove(path);
    if (!files::WriteAtomic(path, content)) {
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: Write [%s] Failed, dwErrorCode %d",
                                 "CQNL735_MPToolDlg::OnInitDialog", 1012, path.c_str(),
                                 files::LastError());
        return ExitWithCode(kErrIo);
    }
    return ExitWithCode(0);
}

std::optional<std::int32_t> StartUp::CompareIds() {
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
