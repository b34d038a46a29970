#include "app/MPToolDlg.h"

#include "controller/ErrorCodes.h"
#include "platform/Format.h"

namespace qnl {

CQNL735_MPToolDlg::CQNL735_MPToolDlg(ToolContext& context)
    : ctx_(context), startUp_(context), locks_(context) {
    InitControls();
    // Start follows the hardware session: off while another activity holds it, back when it
    // is free (on the releasing thread; the control table is thread-safe).
    hardwareListener_ = ctx_.hardware.AddListener([this] { ApplyStart(); });
}

std::int32_t CQNL735_MPToolDlg::vExitWithCode(std::int32_t code) {
    exitCode_ = code;
    return startUp_.ExitWithCode(code);
}

std::optional<std::int32_t> CQNL735_MPToolDlg::OnInitDialog(const std::string& commandLineText) {
    if (auto code = startUp_.ReadCommandLine(commandLineText)) return code;
    const CommandLineState& cmd = Cmd();

    // Locked, without extended access.
    m_bUnlocked = false;
    m_bExtendedAccess = false;
    ctx_.extendedAccess = false;

    // The settings file of the tool folder; Start stays off without it.
    StartUp::SettingsLoad settings = startUp_.LoadSettings();
    m_strEditLoadINI = settings.path;
    controls_.SetText(kCtlIniPath, m_strEditLoadINI);
    if (!settings.loaded) vDisableStartGUI();
    if (settings.exit) return settings.exit;

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
    if ((cmd.autoMode || cmd.signalOverride || cmd.fixtureOverride) && !AcquireToolFolderLock())
        return vExitWithCode(1);
    if (auto code = startUp_.LoadDriver()) return code;
    if (auto code = startUp_.Discover()) return code;
    if (!ConsoleMode()) {
        RelockControllers();
        ShowHostCountStatus();
    }
    // The test page shown first: its port status from a port check (window mode only).
    if (ctx_.ini.init_main == kPageTest && !cmd.hasCommandLine && testPagePortCheck_)
        testPagePortCheck_();
    vEnableStartGUI();
    ctx_.resultTable.vUpdateAllMainResultSubItemTable();

    if (auto code = startUp_.ConsoleReads()) return code;

    const bool testOverride = cmd.signalOverride || cmd.fixtureOverride;
    if (cmd.autoMode || (testOverride && !windowFollows_)) return RunFromCommandLine();
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

}  // namespace qnl
