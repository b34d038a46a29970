// The MP run: Start, the run's worker (MainThreadEntry) and the timer that sees its end.
#include <chrono>
#include <optional>

#include "app/MPToolDlg.h"
#include "app/ResultLog.h"
#include "controller/ErrorCodes.h"
#include "platform/Files.h"
#include "platform/Format.h"
#include "platform/HexText.h"
#include "ui/SerialNumber.h"

namespace qnl {

namespace {
constexpr std::uint32_t kTimer1Ms = 80;

bool On(std::uint8_t flag) {
    return flag == 1;
}
}  // namespace

void CQNL735_MPToolDlg::SetCurrentPage(std::uint8_t page) {
    currentPage_ = page <= kPageTest ? page : kPageMain;
}

bool CQNL735_MPToolDlg::StartAllowed() const {
    if (ctx_.g_Utility.m_ucIniLoaded != 1 || ctx_.g_Utility.ucHostCount == 0) return false;
    return PageHasItems() && StartRefusal().empty();
}

std::string CQNL735_MPToolDlg::StartRefusal() const {
    return RunRefusal(ctx_.ini, ItemMaskOf(ctx_.ini, currentPage_));
}

bool CQNL735_MPToolDlg::PageHasItems() const {
    const CIni& ini = ctx_.ini;
    const bool anyTest = On(ini.signal_line_test_enable) || On(ini.fixture_test_enable) ||
                         On(ini.termination_test_enable) || On(ini.loopback_test_enable);
    const bool anyFirmware = On(ini.fw_update_enable) || On(ini.fw_check_enable);
    switch (currentPage_) {
        case kPageUpgrade:
            return anyFirmware;
        case kPageTest:
            return anyTest;
        default:
            return anyTest || anyFirmware;
    }
}

std::uint8_t CQNL735_MPToolDlg::BuildItemMask() {
    const std::uint8_t mask = ItemMaskOf(ctx_.ini, currentPage_);
    if (Cmd().silent) {
        int n = 0;
        for (std::uint8_t bit :
             {kItemFwUpdate, kItemFwCheck, kItemSignalLine, kItemTermination, kItemFixture})
            if (mask & bit)
                startUp_.Printf("Testing Item [%d]-->%s\r\n", ++n, ItemNames(bit).c_str());
    }
    return mask;
}

void CQNL735_MPToolDlg::OnBnClickedStart() {
    ctx_.runFromMain = true;
    pageRunEnded_ = nullptr;  // the MP run's own end is watched
    MpRunRequest request;
    request.page = currentPage_;
    request.mask = BuildItemMask();
    // The run works with the settings as they are now; the pages may change them meanwhile.
    request.settings = ctx_.ini;
    request.mode = RunMode{ConsoleMode(), Cmd().silent};
    request.settingsPath = m_strEditLoadINI;
    request.backend = ctx_.backendName;
    // The window is off for the run, the lock button too (unlocking would bring the controls
    // back in the middle of it).
    timerRunning_ = true;
    if (!closePending_) ShowStatus("");
    vDisableAllGUI();
    controls_.SetEnabled(kCtlTab, false);
    controls_.SetEnabled(kCtlUnlock, false);
    progress_ = 0;
    controls_.SetValue(kCtlProgress, 0);
    if (timer1Starter_) timer1Starter_();

    m_bRunDone = false;
    runRecordProblem_.clear();
    runThread_ = Worker::Start(
        [this, request = std::move(request)] {
            // One owner of the hardware: an activity still holding it (a port check) ends
            // first, and nothing else starts meanwhile. Only then does the run clear the last
            // results, so nothing the other activity writes back can mix with this run's.
            const HardwareSession::Hold hardware = ctx_.hardware.Acquire(HardwareActivity::MpRun);
            if (!hardware) {
                // Stopped before the hardware was free: nothing was touched, nothing passed.
                m_iRunExitCode = 1;
                m_bRunDone = true;
                return;
            }
            MainThreadEntry(request);
        },
        [this] { EndRunAfterException(); });
}

std::uint32_t CQNL735_MPToolDlg::MainThreadEntry(const MpRunRequest& request) {
    m_bRunDone = false;
    MpRun run(ctx_);
    m_iRunExitCode = run.Run(request);
    runRecordProblem_ = run.Outcome().recordProblem;
    m_bRunDone = true;
    return m_iRunExitCode == 0 ? 1 : 0;
}

void CQNL735_MPToolDlg::EndRunAfterException() {
    // Whatever the run reached, it did not pass.
    ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: MainThreadEntry Failed,  dwErrorCode %d",
                             "CQNL735_MPToolDlg::MainThreadEntry", 1250, files::LastError());
    m_iRunExitCode = 1;
    m_bRunDone = true;
}

bool CQNL735_MPToolDlg::OnTimer1() {
    progress_ = progress_ < 100 ? progress_ + 1 : 0;
    controls_.SetValue(kCtlProgress, progress_);
    // The run has ended when its thread has stored the exit code and written the result log,
    // on every page: the pages' own done flags are not set by every run (a mask without an item
    // of the page, a time-out), and the run's end must never wait for them. A run thread that
    // has returned has ended its run whatever it set.
    const bool threadGone = runThread_ && runThread_->Finished();
    // A page's own run (no MainThreadEntry) ends as its page says.
    const bool ended = pageRunEnded_ ? pageRunEnded_() : (m_bRunDone || threadGone);
    if (!ended) return false;
    // The window ends with the last MP run's exit code (a page's own run has none).
    if (!pageRunEnded_) {
        exitCode_ = m_iRunExitCode;
        ShowRunStatus();
    }
    pageRunEnded_ = nullptr;
    timerRunning_ = false;
    progress_ = 100;
    controls_.SetValue(kCtlProgress, 100);
    controls_.SetEnabled(kCtlUnlock, true);
    if (m_bUnlocked) {
        vRestoreUnlockedGUI();
    } else {
        vDisableAllGUI();
        controls_.SetEnabled(kCtlTab, false);
        vEnableStartGUI();
    }
    vEnableStartGUI();
    return true;
}

void CQNL735_MPToolDlg::ShowRunStatus() {
    if (closePending_) return;  // the status line says the window is about to close
    const std::int32_t code = m_iRunExitCode;
    if (code == 0) return ShowStatus("MP run PASS");
    std::string text = Format("MP run FAIL (exit code %d)", code);
    // The cells show what the boards did; the line says that the station has no record of it.
    if (!runRecordProblem_.empty()) text += ": the run's record was not kept. " + runRecordProblem_;
    ShowStatus(text, kStatusAlarm);
}

bool CQNL735_MPToolDlg::WaitForRunThread(std::chrono::milliseconds timeout) {
    return !runThread_ || runThread_->WaitFinished(timeout);
}

bool CQNL735_MPToolDlg::StopRun(std::chrono::milliseconds timeout) {
    if (!runThread_) return true;
    // The supervisors see the stop at their next wait and give up on their workers.
    runThread_->RequestStop();
    return runThread_->WaitFinished(timeout);
}

CQNL735_MPToolDlg::~CQNL735_MPToolDlg() {
    ctx_.hardware.RemoveListener(hardwareListener_);
    if (runThread_ && !StopRun(kRunStopWait)) {
        // The run thread is blocked in a backend call that never returns: it is left running
        // (the process ends around it); it must not be joined.
        ctx_.eventLog.LogMessage(kEventTypeError,
                                 "\r\n%s:%d: the run did not end within %d s of its stop",
                                 "CQNL735_MPToolDlg::~CQNL735_MPToolDlg", 1260,
                                 static_cast<int>(kRunStopWait.count() / 1000));
        runThread_->Abandon();
    }
}

std::optional<std::int32_t> CQNL735_MPToolDlg::RunFromCommandLine() {
    ApplyTestOverrides(Cmd(), ctx_.ini);
    if (ctx_.g_Utility.m_ucIniLoaded != 1) {
        // A settings file the tool refused (missing, wrong version, an unknown key, too many
        // lines, a missing firmware file) would keep Start disabled in the window: a console
        // run does not go on with whatever part of it was read either.
        ctx_.eventLog.LogMessage(
            kEventTypeError, "\r\n%s:%d: Setting file [%s] not loaded, the MP run does not start",
            "CQNL735_MPToolDlg::OnInitDialog", 1250, m_strEditLoadINI.c_str());
        startUp_.Printf("The settings file [%s] is not loaded: the MP run does not start.\r\n",
                        PrintableText(m_strEditLoadINI).c_str());
        return vExitWithCode(1);
    }
    if (auto code = RefuseCommandLineRun()) return code;
    // Reads (/D, /T, /I, /O) need no lock; a run that drives the hardware does.
    if (!AcquireStationLock()) return vExitWithCode(1);
    OnBnClickedStart();
    while (!OnTimer1()) ctx_.clock.SleepMs(kTimer1Ms);
    // The run's worker has stored the exit code and written the result log; let its thread end.
    WaitForRunThread(kRunStopWait);
    // With /A the process ends with the run's result. /G and /F alone would leave the window
    // open; console mode has none, so it ends the same way.
    return vExitWithCode(m_iRunExitCode);
}

void CQNL735_MPToolDlg::StartInWindowFromCommandLine() {
    ApplyTestOverrides(Cmd(), ctx_.ini);
    // The page shows the test as the command line set it.
    RefreshAllPages();
    vEnableStartGUI();
    const std::string refusal = StartRefusal();
    if (!refusal.empty()) {
        // Start stays disabled with the reason beside it.
        ctx_.prompts.ShowMessage(refusal, {}, MessageIcon::Error);
        return;
    }
    if (!StartAllowed() || !AcquireStationLock()) return;
    OnBnClickedStart();
}

std::optional<std::int32_t> CQNL735_MPToolDlg::RefuseCommandLineRun() {
    const IniSettings& ini = ctx_.ini;
    const std::uint8_t mask = ItemMaskOf(ini, currentPage_);
    const std::uint8_t leftOut = ItemsLeftOut(ini, currentPage_);
    std::string refusal = RunRefusal(ini, mask);
    // /G or /F whose test the start page leaves out, with nothing else to run: a run of no
    // item would end with 0 without the test it was asked for.
    if (refusal.empty() && mask == 0 && (Cmd().signalOverride || Cmd().fixtureOverride))
        refusal = Format("%s left out by the start page (init_main=%d): the MP run does not start.",
                         ItemNames(leftOut).c_str(), ini.init_main);
    if (!refusal.empty()) {
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: %s",
                                 "CQNL735_MPToolDlg::OnInitDialog", 1252, refusal.c_str());
        startUp_.Printf("%s\r\n", refusal.c_str());
        return vExitWithCode(1);
    }
    // Enabled items the start page's run leaves out are named before the run starts.
    if (leftOut != 0)
        startUp_.Printf("Testing items left out by the start page (init_main=%d): %s\r\n",
                        ini.init_main, ItemNames(leftOut).c_str());
    return std::nullopt;
}

}  // namespace qnl
