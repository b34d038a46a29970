#include "app/MpRun.h"

#include "app/RunRecordJson.h"
#include "controller/ErrorCodes.h"
#include "platform/Files.h"
#include "platform/Format.h"
#include "platform/Sha256.h"
#include "platform/SystemInfo.h"
#include "ui/SerialNumber.h"
#include "ui/UiTextTable.h"

namespace qnl {

namespace {
constexpr const char* kRunName = "CQNL735_MPToolDlg::MainThreadEntry";

bool On(std::uint8_t flag) {
    return flag == 1;
}

// "1.1.2.1" of "Ver 1.1.2.1".
std::string ToolVersionNumber() {
    const std::string version = kProductVersion;
    const auto blank = version.rfind(' ');
    return blank == std::string::npos ? version : version.substr(blank + 1);
}
}  // namespace

std::int32_t RunExitCode(const MpRunOutcome& o, const RunMode& mode) {
    if (o.aborted) return 1;
    std::int32_t code = 0;
    if (o.firmwareFailed)
        code = 1;
    else if (o.testsRan && mode.silent)
        // Silent mode: the test phase's error byte (the failing results' low bytes OR-ed, or
        // the supervisor's code).
        code = o.testErrorByte;
    else if (o.testsRan && o.testErrorByte != 0)
        code = o.signalFailure ? static_cast<std::int32_t>(*o.signalFailure) : 1;
    // A run whose record is lost, or that left boards out, has failed; a failing run keeps its
    // own code.
    if ((o.recordLost || o.boardsLeftOut) && code == 0) code = 1;
    return code;
}

std::int32_t MpRun::Run(const MpRunRequest& request) {
    request_ = request;
    outcome_ = {};
    programmed_.reset();
    chosenFirmware_.clear();
    startTime_ = ctx_.clock.WallNow();
    Prepare();
    if (request_.mask & kItemFirmware) Firmware();
    if (!outcome_.firmwareFailed && (request_.mask & kItemPortTests)) PortTests();
    return Record();
}

void MpRun::RunPageItems(std::uint8_t page, std::uint8_t items, const IniSettings& settings) {
    ctx_.resultTable.vClearCtrlListHostInfoTable();
    CUtility& util = ctx_.g_Utility;
    if (page == kPageUpgrade) {
        for (std::size_t i = 0; i < kMaxHosts; ++i)
            util.WriteRecord(i, [](TargetHost& host) {
                host.ucFwUpdateResult = 0;
                host.ucFwCheckResult = 0;
            });
        const std::vector<ResultItem> doing = DoingItems(kPageUpgrade, settings);
        for (std::uint8_t i = 0; i < util.ucHostCount && i < kMaxHosts; ++i)
            for (ResultItem item : doing)
                ctx_.resultTable.ShowResult(ResultLayout::Upgrade, i, item, CellState::Doing,
                                            "doing");
        // The page's run programs the page list's choice.
        ctx_.upgrade.RunFirmwareUpgrade(1, items, settings, UpgradeRunMode{false, false});
    } else if (page == kPageTest) {
        ctx_.funTest.PageTestThread(kRunModeTestPage, items, settings, false);
    }
}

void MpRun::Print(const std::string& text) {
    if (request_.mode.console) ctx_.console.Write(text);
}

void MpRun::Prepare() {
    // The caller holds the hardware: nothing another activity writes back can mix with this
    // run's results from here on.
    ctx_.resultTable.vClearCtrlListHostInfoTable();
    ctx_.upgrade.ResetRunState();
    ctx_.funTest.ResetRunState();
    CUtility& util = ctx_.g_Utility;
    for (std::size_t i = 0; i < kMaxHosts; ++i)
        util.WriteRecord(i, [](TargetHost& host) { host.ClearResults(); });
    // The results the run will write, "doing" until they come.
    const std::vector<ResultItem> items = DoingItems(request_.page, request_.settings);
    const ResultLayout layout = LayoutOfPage(request_.page).layout;
    for (std::uint8_t i = 0; i < util.ucHostCount && i < kMaxHosts; ++i)
        for (ResultItem item : items) ctx_.resultTable.MarkPending(layout, i, item);
    // A controller that did not answer at discovery is never touched again: every item of the
    // run fails for it at once.
    for (std::uint8_t i = 0; i < util.ucHostCount && i < kMaxHosts; ++i) {
        if (!util.RecordSnapshot(i).bNoAnswer) continue;
        outcome_.boardsLeftOut = true;
        for (ResultItem item : ItemResults(request_.mask))
            ctx_.resultTable.ShowResult(layout, i, item, CellState::Fail, "FAIL", kErrTimeout);
    }
    // The boards beyond the table's 8 are not programmed or tested (start-up said so).
    if (util.dwControllersFound > kMaxHosts) outcome_.boardsLeftOut = true;
    serialNumber_ = request_.settings.serial_number;
}

void MpRun::Firmware() {
    const IniSettings& ini = request_.settings;
    if (On(ini.savelog_enable) && On(ini.savelogBarCode_enable)) {
        CSNDlg dialog(ctx_.g_Utility, serialNumber_, ini.SN_Numbers);
        if (!ctx_.prompts.AskSerialNumber(dialog))
            ctx_.prompts.ShowMessage("\r\n\r\nScan BarCode Failed!!!!!!\r\n\r\n");
        // The settings keep the last scanned number, as the dialog leaves it.
        ctx_.ini.serial_number = serialNumber_;
    }
    UpgradeOutcome upgrade =
        ctx_.upgrade.RunFirmwareUpgrade(request_.page == kPageUpgrade ? 1 : 0, request_.mask, ini,
                                        UpgradeRunMode{true, request_.mode.console});
    programmed_ = std::move(upgrade.image);
    chosenFirmware_ = upgrade.chosenPath;
    if (!upgrade.finished) {
        ctx_.eventLog.LogMessage(kEventTypeError,
                                 "\r\n%s:%d:   All Host RunFirmwareUpgrade() Failed!!exit\n",
                                 kRunName, 1194);
        outcome_.firmwareFailed = true;
    } else if (On(ini.fw_update_enable) && !upgrade.allUpdated) {
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:   FW Upgrade Failed!!exit\n",
                                 kRunName, 1199);
        outcome_.firmwareFailed = true;
    } else if (On(ini.fw_check_enable) && !upgrade.allChecked) {
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:   FW Check Failed!!exit\n", kRunName,
                                 1205);
        outcome_.firmwareFailed = true;
    }
}

void MpRun::PortTests() {
    FunTest& test = ctx_.funTest;
    test.FunTestStartFromMain(request_.mask & kItemPortTests, request_.page, request_.settings,
                              request_.mode.silent);
    outcome_.testsRan = true;
    outcome_.testErrorByte = test.m_ucErrorCode;
    if (request_.mode.silent || outcome_.testErrorByte == 0) return;
    ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:   FunTestStartFromMain() Failed!!exit\n",
                             kRunName, 1217);
    // With the signal line or fixture test in the run, the first failing host's result is
    // the exit code.
    if (request_.mask & (kItemSignalLine | kItemFixture))
        outcome_.signalFailure = FirstSignalFailure();
}

std::optional<std::uint32_t> MpRun::FirstSignalFailure() const {
    const CUtility& util = ctx_.g_Utility;
    for (std::size_t i = 0; i < util.ucHostCount && i < kMaxHosts; ++i) {
        const std::uint32_t result = util.RecordSnapshot(i).dwSignalResult;
        if (result != 0) return result;
    }
    return std::nullopt;
}

std::int32_t MpRun::Record() {
    const IniSettings& ini = request_.settings;
    // No result stays "doing": one never started is blank, one given up on FAIL.
    ctx_.resultTable.EndRun(LayoutOfPage(request_.page).layout);
    // The hosts as they are at the run's end (the version the update left).
    const CUtility& util = ctx_.g_Utility;
    for (std::uint8_t i = 0; i < util.ucHostCount && i < kMaxHosts; ++i)
        ctx_.runRecord.SetFinalFacts(i, util.RecordSnapshot(i));
    LocalTime stamp = ctx_.clock.LocalNow();
    if (On(ini.savelog_enable)) {
        const ResultLogWrite log = WriteResultLog();
        stamp = log.time;
        if (!log.written) outcome_.recordLost = true;
    }
    if (request_.mask & kItemFwCheck) RecordFailedChecks(stamp);
    if (On(ini.savelog_enable)) WriteRunRecord(RunExitCode(outcome_, request_.mode));
    return RunExitCode(outcome_, request_.mode);
}

ResultLogWrite MpRun::WriteResultLog() {
    const IniSettings& ini = request_.settings;
    ResultLogOptions options;
    options.barCodeColumn = On(ini.savelogBarCode_enable);
    options.serialNumber = serialNumber_;  // the one scanned for this run
    options.mask = request_.mask;
    options.page = request_.page;
    const ResultLogWrite log =
        qnl::WriteResultLog(ctx_.g_Utility.strToolFolder, ctx_.clock, ctx_.uiText, ctx_.g_Utility,
                            ctx_.runRecord, options);
    if (log.written) return log;
    // The day's log is the station's record: a run whose record is lost has failed.
    ctx_.eventLog.LogMessage(
        kEventTypeError, "\r\n%s:%d: Write result log [%s] Failed!! (%s), dwErrorCode %d", kRunName,
        1240, log.path.c_str(), log.error.c_str(), files::LastError());
    outcome_.recordProblem =
        Format("Write result log [%s] Failed!! (%s)", log.path.c_str(), log.error.c_str());
    ctx_.prompts.ShowMessage(outcome_.recordProblem, {}, MessageIcon::Error);
    return log;
}

void MpRun::WriteRunRecord(std::int32_t exitCode) {
    const CUtility& util = ctx_.g_Utility;
    RunFacts facts;
    facts.toolVersion = ToolVersionNumber();
    facts.stationHost = StationHostName();
    facts.backend = request_.backend;
    facts.startTime = startTime_;
    facts.endTime = ctx_.clock.WallNow();
    facts.settingsFileName = request_.settingsPath;
    facts.settingsSha256 = Sha256OfFile(request_.settingsPath).value_or("");
    if (programmed_) {
        // The image the run programmed: the configuration image built from the chosen firmware.
        facts.firmwareFileName = programmed_->path;
        facts.firmwareSize = programmed_->bytes.size();
        facts.firmwareSha256 = Sha256Hex(programmed_->bytes.data(), programmed_->bytes.size());
        facts.firmwareVersion = programmed_->version;
    } else if (request_.mask & kItemFirmware) {
        // The chosen file could not be used: its name, nothing read.
        facts.firmwareFileName = chosenFirmware_;
    }
    facts.serialNumber = On(request_.settings.savelogBarCode_enable) ? serialNumber_ : "";
    facts.page = request_.page;
    facts.itemMask = request_.mask;
    facts.exitCode = exitCode;
    const RunRecordWrite record =
        qnl::WriteRunRecord(util.strToolFolder, facts, ctx_.runRecord.Hosts());
    if (record.written) return;
    // Like the day's log: a run whose record is lost has failed.
    outcome_.recordLost = true;
    ctx_.eventLog.LogMessage(
        kEventTypeError, "\r\n%s:%d: Write run record [%s] Failed!! (%s), dwErrorCode %d", kRunName,
        1245, record.path.c_str(), record.error.c_str(), files::LastError());
    const std::string problem =
        Format("Write run record [%s] Failed!! (%s)", record.path.c_str(), record.error.c_str());
    if (!outcome_.recordProblem.empty()) outcome_.recordProblem += " ";
    outcome_.recordProblem += problem;
    ctx_.prompts.ShowMessage(problem, {}, MessageIcon::Error);
}

void MpRun::RecordFailedChecks(const LocalTime& stamp) {
    const CUtility& util = ctx_.g_Utility;
    int hosts = 0;
    int failed = 0;
    for (std::size_t i = 0; i < util.ucHostCount && i < kMaxHosts; ++i) {
        const TargetHost host = util.RecordSnapshot(i);
        if (host.ucIndex == kNoHostIndex) continue;
        ++hosts;
        if (host.ucFwCheckResult == 1) continue;
        ++failed;
        ctx_.eventLog.LogMessage(
            kEventTypeError, "%s",
            FailedCheckNote(stamp, i, host, programmed_ ? programmed_->version : std::string())
                .c_str());
    }
    if (failed > 0)
        Print(
            Format("FW Check FAIL on %d of %d hosts (the result log has no check column; the "
                   "diagnostic log names each host)\r\n",
                   failed, hosts));
}

}  // namespace qnl
