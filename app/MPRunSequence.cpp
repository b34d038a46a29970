// The MP run: Start, the run's worker (MainThreadEntry) and the timer that sees its end.
#include <chrono>
#include <optional>

#include "app/MPToolDlg.h"
#include "app/ResultLog.h"
#include "controller/ErrorCodes.h"
#include "platform/Files.h"
#include "platform/Format.h"
#include "ui/SerialNumber.h"

namespace qnl {

namespace {
constexpr const char* kRunName = "CQNL735_MPToolDlg::MainThreadEntry";
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
    return PageHasItems();
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
    const CIni& ini = ctx_.ini;
    std::uint8_t mask = 0;
    int n = 0;
    auto item = [&](bool enabled, std::uint8_t bit, const char* name) {
        if (!enabled) return;
        mask |= bit;
        if (cmd_.silent) Printf("Testing Item [%d]-->%s\r\n", ++n, name);
    };
    if (currentPage_ != kPageTest) {
        item(On(ini.fw_update_enable), kItemFwUpdate, "FW Update");
        item(On(ini.fw_check_enable), kItemFwCheck, "FW Check");
    }
    if (currentPage_ != kPageUpgrade) {
        item(On(ini.signal_line_test_enable), kItemSignalLine, "Signal Line Test");
        item(On(ini.termination_test_enable), kItemTermination, "Termination Test");
        item(On(ini.fixture_test_enable), kItemFixture, "Fixture Test");
    }
    return mask;
}

void CQNL735_MPToolDlg::MarkDoingCells(std::uint8_t page, const IniSettings& ini) {
    const std::vector<ResultItem> items = DoingItems(page, ini);
    const ResultLayout layout = LayoutOfPage(page).layout;
    for (std::uint8_t i = 0; i < ctx_.g_Utility.ucHostCount && i < kMaxHosts; ++i)
        for (ResultItem item : items)
            ctx_.resultTable.ShowResult(layout, i, item, CellState::Doing, "doing");
}

void CQNL735_MPToolDlg::OnBnClickedStart() {
    ctx_.runFromMain = true;
    pageRunEnded_ = nullptr;  // the MP run's own end is watched
    const std::uint8_t mask = BuildItemMask();
    // The window is off for the run, the lock button too (unlocking would bring the controls
    // back in the middle of it).
    timerRunning_ = true;
    vDisableAllGUI();
    controls_.SetEnabled(kCtlTab, false);
    controls_.SetEnabled(kCtlUnlock, false);
    progress_ = 0;
    controls_.SetValue(kCtlProgress, 0);
    if (timer1Starter_) timer1Starter_();

    runParameters_ = RunParameters{};
    runParameters_.bytes[0] = currentPage_;
    runParameters_.bytes[1] = mask;
    m_bRunDone = false;
    const RunParameters parameters = runParameters_;
    // The run works with the settings as they are now; the pages may change them meanwhile.
    auto settings = std::make_shared<const IniSettings>(ctx_.ini);
    runThread_ = Worker::Start(
        [this, parameters, settings] {
            // One owner of the hardware: an activity still holding it (a port check) ends
            // first, and nothing else starts meanwhile. Only then are the last results cleared,
            // so nothing the other activity writes back can mix with this run's.
            const HardwareSession::Hold hardware = ctx_.hardware.Acquire(HardwareActivity::MpRun);
            if (!hardware) {
                // Stopped before the hardware was free: nothing was touched, nothing passed.
                m_iRunExitCode = 1;
                m_bRunDone = true;
                return;
            }
            PrepareRun(parameters.Page(), *settings);
            MainThreadEntry(parameters, *settings);
        },
        [this] { EndRunAfterException(); });
}

void CQNL735_MPToolDlg::PrepareRun(std::uint8_t page, const IniSettings& settings) {
    ResultTable& table = ctx_.resultTable;
    table.vClearCtrlListHostInfoTable();
    ctx_.upgrade.ResetRunState();
    ctx_.funTest.ResetRunState();
    CUtility& util = ctx_.g_Utility;
    for (std::size_t i = 0; i < kMaxHosts; ++i)
        util.WriteRecord(i, [](TargetHost& host) { host.ClearResults(); });
    MarkDoingCells(page, settings);
    ctx_.funTest.ClearDoneBytes();
}

void CQNL735_MPToolDlg::EndRunAfterException() {
    // Whatever the run reached, it did not pass.
    ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: MainThreadEntry Failed,  dwErrorCode %d",
                             kRunName, 1250, files::LastError());
    m_iRunExitCode = 1;
    m_bRunDone = true;
}

ResultLogWrite CQNL735_MPToolDlg::WriteResultLogOfRun(std::uint8_t page, const IniSettings& ini) {
    ResultLogOptions options;
    options.barCodeColumn = On(ini.savelogBarCode_enable);
    // The serial number is the one scanned for this run.
    options.serialNumber = ctx_.ini.serial_number;
    options.fwUpdateEnabled = On(ini.fw_update_enable);
    options.signalOrFixtureTest = On(ini.signal_line_test_enable) || On(ini.fixture_test_enable);
    options.loopBackTest = On(ini.loopback_test_enable);
    options.page = page;
    const ResultLogWrite log = WriteResultLog(ctx_.g_Utility.strToolFolder, ctx_.clock, ctx_.uiText,
                                              ctx_.g_Utility, ctx_.runRecord, options);
    if (log.written) return log;
    // The day's log is the station's record: a run whose record is lost has failed.
    ctx_.eventLog.LogMessage(
        kEventTypeError, "\r\n%s:%d: Write result log [%s] Failed!! (%s), dwErrorCode %d", kRunName,
        1240, log.path.c_str(), log.error.c_str(), files::LastError());
    ctx_.prompts.ShowMessage(
        Format("Write result log [%s] Failed!! (%s)", log.path.c_str(), log.error.c_str()), {},
        MessageIcon::Error);
    return log;
}

void CQNL735_MPToolDlg::EndRunWithResultLog(std::uint8_t page, std::uint8_t mask,
                                            const IniSettings& ini, std::uint32_t& r) {
    LocalTime stamp = ctx_.clock.LocalNow();
    if (On(ini.savelog_enable)) {
        const ResultLogWrite log = WriteResultLogOfRun(page, ini);
        stamp = log.time;
        if (!log.written) {
            r = 0;
            // A failing run keeps its own code (a host's test result); a passing one becomes 1.
            if (m_iRunExitCode == 0) m_iRunExitCode = 1;
        }
    }
    if (mask & kItemFwCheck) RecordFailedChecks(stamp);
    m_bRunDone = true;
}

void CQNL735_MPToolDlg::RecordFailedChecks(const LocalTime& stamp) {
    const CUtility& util = ctx_.g_Utility;
    int hosts = 0;
    int failed = 0;
    for (std::size_t i = 0; i < util.ucHostCount && i < kMaxHosts; ++i) {
        const TargetHost& host = util.hosts[i];
        if (host.ucIndex == kNoHostIndex) continue;
        ++hosts;
        if (host.ucFwCheckResult == 1) continue;
        ++failed;
        ctx_.eventLog.LogMessage(kEventTypeError, "%s",
                                 FailedCheckNote(stamp, i, host, util.m_strFileFWVersion).c_str());
    }
    if (failed > 0)
        Printf(
            "FW Check FAIL on %d of %d hosts (the result log has no check column; the "
            "diagnostic log names each host)\r\n",
            failed, hosts);
}

std::uint32_t CQNL735_MPToolDlg::MainThreadEntry(const RunParameters& parameters) {
    const IniSettings settings = ctx_.ini;
    return MainThreadEntry(parameters, settings);
}

std::uint32_t CQNL735_MPToolDlg::MainThreadEntry(const RunParameters& parameters,
                                                 const IniSettings& ini) {
    m_bRunDone = false;
    std::uint32_t r = 1;
    const std::uint8_t page = parameters.Page();
    const std::uint8_t mask = parameters.Mask();

    if (mask & kItemFirmware) {
        if (On(ini.savelog_enable) && On(ini.savelogBarCode_enable)) {
            CSNDlg dialog(ctx_.g_Utility, ctx_.ini.serial_number, ini.SN_Numbers);
            if (!ctx_.prompts.AskSerialNumber(dialog))
                ctx_.prompts.ShowMessage("\r\n\r\nScan BarCode Failed!!!!!!\r\n\r\n");
        }
        const bool ran = ctx_.upgrade.RunFirmwareUpgrade(page == kPageUpgrade ? 1 : 0, mask, ini);
        if (!ran) {
            ctx_.eventLog.LogMessage(kEventTypeError,
                                     "\r\n%s:%d:   All Host RunFirmwareUpgrade() Failed!!exit\n",
                                     kRunName, 1194);
            r = 0;
        } else if (On(ini.fw_update_enable) && ctx_.upgrade.m_ucAllUpdated == 0) {
            ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:   FW Upgrade Failed!!exit\n",
                                     kRunName, 1199);
            r = 0;
        } else if (On(ini.fw_check_enable) && ctx_.upgrade.m_ucAllChecked == 0) {
            ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:   FW Check Failed!!exit\n",
                                     kRunName, 1205);
            r = 0;
        }
    }

    if (r != 0 && (mask & kItemPortTests)) {
        FunTest& test = ctx_.funTest;
        test.FunTestStartFromMain(mask & kItemPortTests, page, ini);
        if (cmd_.silent) {
            // Silent mode: the test phase ends the process itself, with its error byte (the
            // failing results' low bytes OR-ed, or the supervisor's code), after the result log.
            m_iRunExitCode = test.m_ucErrorCode;
            r = test.m_ucErrorCode == 0 ? 1 : 0;
            EndRunWithResultLog(page, mask, ini, r);
            return r;
        }
        if (test.m_ucErrorCode != 0) {
            ctx_.eventLog.LogMessage(kEventTypeError,
                                     "\r\n%s:%d:   FunTestStartFromMain() Failed!!exit\n", kRunName,
                                     1217);
            // With the signal line or fixture test in the run, the first failing host's
            // result is the exit code.
            std::optional<std::uint32_t> signalCode;
            if (mask & (kItemSignalLine | kItemFixture)) signalCode = FirstSignalFailure();
            r = 0;
            if (signalCode) {
                m_iRunExitCode = static_cast<std::int32_t>(*signalCode);
                // A failed run belongs in the day's result log like any other.
                EndRunWithResultLog(page, mask, ini, r);
                return r;
            }
        }
    }

    m_iRunExitCode = r != 0 ? 0 : 1;
    EndRunWithResultLog(page, mask, ini, r);
    return r;
}

std::optional<std::uint32_t> CQNL735_MPToolDlg::FirstSignalFailure() const {
    const CUtility& util = ctx_.g_Utility;
    for (std::size_t i = 0; i < util.ucHostCount && i < kMaxHosts; ++i)
        if (util.hosts[i].dwSignalResult != 0) return util.hosts[i].dwSignalResult;
    return std::nullopt;
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
    ApplyTestOverrides(cmd_, ctx_.ini);
    if (ctx_.g_Utility.m_ucIniLoaded != 1) {
        // A settings file the tool refused (missing, wrong version, an unknown key, too many
        // lines, a missing firmware file) would keep Start disabled in the window: a console
        // run does not go on with whatever part of it was read either.
        ctx_.eventLog.LogMessage(
            kEventTypeError, "\r\n%s:%d: Setting file [%s] not loaded, the MP run does not start",
            "CQNL735_MPToolDlg::OnInitDialog", 1250, m_strEditLoadINI.c_str());
        Printf("The settings file [%s] is not loaded: the MP run does not start.\r\n",
               m_strEditLoadINI.c_str());
        return vExitWithCode(1);
    }
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

}  // namespace qnl
