// The main window's controls: enabling, the lock and the login, the page switch, the settings
// files, Rescan, the log switches and Close. Console mode runs the same code; only the view is
// missing there.
#include <algorithm>
#include <chrono>
#include <exception>
#include <thread>

#include "app/MPToolDlg.h"
#include "app/MainWindowControls.h"
#include "platform/Files.h"
#include "platform/Format.h"
#include "platform/HexText.h"
#include "settings/FileAccess.h"

namespace qnl {

namespace {
constexpr const char* kDlg = "CQNL735_MPToolDlg";
constexpr std::size_t kMaxIniPathText = 126;

std::string Qualified(const char* operation) {
    return std::string(kDlg) + "::" + operation;
}
}  // namespace

LoginOutcome CheckLoginPassword(const std::string& typed) {
    const std::string password = TrimWhite(typed);
    if (EqualsNoCase(password, "KORVATE")) return LoginOutcome::Unlocked;
    if (EqualsNoCase(password, "LUMBIX")) return LoginOutcome::UnlockedExtended;
    return LoginOutcome::NoChange;
}

FilteredEdit FilterIniPathEdit(const std::string& text, int caret) {
    FilteredEdit result;
    const std::size_t length = std::min(text.size(), kMaxIniPathText);
    const std::size_t caretAt =
        caret < 0 ? 0 : std::min(static_cast<std::size_t>(caret), text.size());
    int dropped = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 32 && c <= 127) {
            result.text.push_back(static_cast<char>(c));
        } else if (i < caretAt) {
            ++dropped;
        }
    }
    const int kept = static_cast<int>(std::min(caretAt, length)) - dropped;
    result.caret = std::clamp(kept, 0, static_cast<int>(result.text.size()));
    return result;
}

void CQNL735_MPToolDlg::InitControls() {
    struct Definition {
        MainControl id;
        ControlKind kind;
        const char* name;
    };
    // The names are what the operator reads on (or beside) each control.
    const Definition definitions[] = {
        {kCtlSaveIni, ControlKind::Button, "Save INI"},
        {kCtlLoadIni, ControlKind::Button, "Load INI"},
        {kCtlIniPath, ControlKind::Edit, "Settings file"},
        {kCtlUnlock, ControlKind::Button, "UnLock"},
        {kCtlDebugLog, ControlKind::Button, "Debug Log"},
        {kCtlLogo, ControlKind::Picture, "Logo"},
        {kCtlTab, ControlKind::Tab, "Pages"},
        {kCtlResultList, ControlKind::Table, "Results"},
        {kCtlRescan, ControlKind::Button, "Rescan"},
        {kCtlCreateNewFile, ControlKind::Button, "Create New File"},
        {kCtlProgress, ControlKind::Progress, "Progress"},
        {kCtlSaveLog, ControlKind::CheckBox, "SaveLog"},
        {kCtlBarCodeScan, ControlKind::CheckBox, "BarCodeScan"},
        {kCtlClose, ControlKind::Button, "Close"},
        {kCtlStart, ControlKind::Button, "Start"},
        {kCtlStartRefusal, ControlKind::Label, "Start refused"},
        {kCtlStatus, ControlKind::Label, "Status"},
    };
    for (const Definition& d : definitions) controls_.DefineCaptioned(d.id, d.kind, d.name, d.name);
    controls_.SetItems(kCtlTab, {kTabCaptions.begin(), kTabCaptions.end()}, 0);
    controls_.SetText(kCtlIniPath, "");
    controls_.SetText(kCtlUnlock, ctx_.uiText.unlockCaption);
    controls_.SetVisible(kCtlClose, false);
    controls_.SetText(kCtlStartRefusal, "");
    controls_.SetVisible(kCtlStartRefusal, false);
    controls_.SetText(kCtlStatus, "");
}

void CQNL735_MPToolDlg::ShowStatus(const std::string& text, int kind) {
    controls_.Update(kCtlStatus, [&](ControlState& state) {
        state.text = text;
        state.value = kind;
    });
}

void CQNL735_MPToolDlg::ShowHostCountStatus() {
    if (ctx_.g_Utility.ucHostCount == 0)
        ShowStatus(kStatusNoController, kStatusAlarm);
    else
        ShowStatus("");
}

bool CQNL735_MPToolDlg::ControlEnabled(ControlId id) const {
    return controls_.Get(id).enabled;
}

void CQNL735_MPToolDlg::AttachPages(IPageCore* device, IPageCore* upgrade, IPageCore* test) {
    IPageCore* given[3] = {device, upgrade, test};
    for (int i = 0; i < 3; ++i) pages_[i] = given[i] != nullptr ? given[i] : &placeholders_[i];
}

IPageCore& CQNL735_MPToolDlg::Page(std::uint8_t page) {
    return *pages_[page <= kPageTest ? page : kPageMain];
}

void CQNL735_MPToolDlg::LogGuiFailure(const char* function, int line, const std::exception& e) {
    ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:  dwErrorCode %d, what: %s",
                             Qualified(function).c_str(), line, files::LastError(), e.what());
}

void CQNL735_MPToolDlg::ApplySaveLogRule() {
    controls_.SetEnabled(kCtlBarCodeScan,
                         controls_.Get(kCtlSaveLog).enabled && controls_.Get(kCtlSaveLog).checked);
}

void CQNL735_MPToolDlg::vEnableAllGUI() {
    try {
        controls_.EnableAll(
            {kCtlTab, kCtlIniPath, kCtlDebugLog, kCtlSaveIni, kCtlLoadIni, kCtlRescan}, true);
        vEnableStartGUI();
        controls_.EnableAll({kCtlCreateNewFile, kCtlClose, kCtlSaveLog}, true);
        // "BarCodeScan" goes with "SaveLog": a scan without a log to keep it is no choice.
        ApplySaveLogRule();
        Page(kPageMain).vEnableALLGUI();
        Page(kPageTest).vEnableALLGUI();
    } catch (const std::exception& e) {
        LogGuiFailure("vEnableAllGUI", 2301, e);
    }
}

void CQNL735_MPToolDlg::vDisableAllGUI() {
    try {
        controls_.EnableAll(
            {kCtlTab, kCtlIniPath, kCtlDebugLog, kCtlSaveIni, kCtlLoadIni, kCtlRescan}, false);
        vDisableStartGUI();
        controls_.EnableAll({kCtlCreateNewFile, kCtlClose, kCtlBarCodeScan, kCtlSaveLog}, false);
        Page(kPageMain).vDisableALLGUI();
        Page(kPageTest).vDisableALLGUI();
        Page(kPageUpgrade).vDisableALLGUI();
    } catch (const std::exception& e) {
        LogGuiFailure("vDisableAllGUI", 2331, e);
    }
}

void CQNL735_MPToolDlg::ApplyStart() {
    std::lock_guard lock(startMutex_);
    controls_.SetEnabled(kCtlStart,
                         startWanted_ && !RunActive() && !rescanActive_ && !ctx_.hardware.Busy());
}

void CQNL735_MPToolDlg::vEnableStartGUI() {
    try {
        // A Start that cannot run (no settings, no host, nothing to do on this page) is
        // switched off, so it can never be pressed into a run that waits for nothing; and a
        // run, a rescan or another activity holding the hardware keeps it off.
        startWanted_ = StartAllowed();
        // The reason a run is refused stays beside Start until the settings no longer give it.
        const std::string refusal = StartRefusal();
        controls_.SetText(kCtlStartRefusal, refusal);
        controls_.SetVisible(kCtlStartRefusal, !refusal.empty());
        ApplyStart();
    } catch (const std::exception& e) {
        LogGuiFailure("vEnableStartGUI", 2361, e);
    }
}

void CQNL735_MPToolDlg::vDisableStartGUI() {
    try {
        startWanted_ = false;
        ApplyStart();
    } catch (const std::exception& e) {
        LogGuiFailure("vDisableStartGUI", 2376, e);
    }
}

void CQNL735_MPToolDlg::vApplyLockState() {
    if (m_bUnlocked) {
        controls_.SetText(kCtlUnlock, ctx_.uiText.lockCaption);
        vRestoreUnlockedGUI();
    } else {
        controls_.SetText(kCtlUnlock, ctx_.uiText.unlockCaption);
        vDisableAllGUI();
        controls_.SetEnabled(kCtlTab, false);
        vEnableStartGUI();
    }
}

void CQNL735_MPToolDlg::vRestoreUnlockedGUI() {
    controls_.SetEnabled(kCtlTab, true);
    timerRunning_ = false;
    progress_ = 0;
    controls_.SetValue(kCtlProgress, 0);
    vEnableAllGUI();
    RefreshCurrentPage();
    ApplySaveLogRule();
    if (ctx_.g_Utility.ucHostCount > 0) vEnableStartGUI();
}

void CQNL735_MPToolDlg::RefreshCurrentPage() {
    IPageCore& page = Page(currentPage_);
    page.vEnableALLGUI();
    page.vSetGUIByINI();
}

void CQNL735_MPToolDlg::RefreshAllPages() {
    for (std::uint8_t page : {kPageMain, kPageUpgrade, kPageTest}) Page(page).vSetGUIByINI();
}

void CQNL735_MPToolDlg::SetLogCheckBoxesFromSettings() {
    controls_.SetChecked(kCtlSaveLog, ctx_.ini.savelog_enable == 1);
    controls_.SetChecked(kCtlBarCodeScan, ctx_.ini.savelogBarCode_enable == 1);
}

void CQNL735_MPToolDlg::RebuildResultTable() {
    ctx_.resultTable.ShowPage(currentPage_);
}

void CQNL735_MPToolDlg::OnBnClickedUnlock() {
    if (RunActive() || rescanActive_) {
        // Unlocking would bring the controls back (and stop timer 1) in the middle of a run.
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: UnLock refused: a run is active",
                                 Qualified("OnBnClickedUnlock").c_str(), 2411);
        return;
    }
    if (m_bUnlocked) {
        m_bUnlocked = false;
        m_bExtendedAccess = false;
    } else {
        LoginQuestion question;
        question.caption = ctx_.uiText.loginCaption;
        question.passwordLabel = ctx_.uiText.passwordLabel;
        question.acceptText = ctx_.uiText.acceptButton;
        question.cancelText = ctx_.uiText.cancelButton;
        question.maxLength = 7;
        if (const auto typed = ctx_.prompts.AskLogin(question)) {
            switch (CheckLoginPassword(*typed)) {
                case LoginOutcome::Unlocked:
                    m_bUnlocked = true;
                    break;
                case LoginOutcome::UnlockedExtended:
                    m_bUnlocked = true;
                    m_bExtendedAccess = true;
                    break;
                case LoginOutcome::NoChange:
                    break;
            }
        }
    }
    ctx_.extendedAccess = m_bExtendedAccess.load();
    vApplyLockState();
}

void CQNL735_MPToolDlg::OnTcnSelchangeTab(std::uint8_t page) {
    SetCurrentPage(page);
    controls_.SetValue(kCtlTab, currentPage_);
    IPageCore& shown = Page(currentPage_);
    switch (currentPage_) {
        case kPageMain:
            RebuildResultTable();
            if (m_bUnlocked) {
                shown.vEnableALLGUI();
                shown.vSetGUIByINI();
                vEnableStartGUI();
            }
            break;
        case kPageUpgrade:
            shown.vSetGUIByINI();
            RebuildResultTable();
            if (m_bUnlocked) {
                shown.vEnableALLGUI();
                shown.vSetGUIByINI();
                vEnableStartGUI();
            }
            break;
        default:
            RebuildResultTable();
            shown.vSetGUIByINI();
            vEnableStartGUI();
            break;
    }
    if (!m_bUnlocked && currentPage_ != kPageTest) {
        vDisableAllGUI();
        controls_.SetEnabled(kCtlTab, false);
        vEnableStartGUI();
    }
}

FilteredEdit CQNL735_MPToolDlg::OnEnChangeEditLoadINI(const std::string& text, int caret) {
    FilteredEdit result;
    try {
        result = FilterIniPathEdit(text, caret);
        m_strEditLoadINI = result.text;
        controls_.SetText(kCtlIniPath, result.text);
    } catch (const std::exception& e) {
        ctx_.eventLog.LogMessage(kEventTypeError,
                                 "\r\n%s:%d:  m_strEditLoadINI : %s , dwErrorCode %d, what: %s",
                                 Qualified("OnEnChangeEditLoadINI").c_str(), 2451,
                                 m_strEditLoadINI.c_str(), files::LastError(), e.what());
    }
    return result;
}

void CQNL735_MPToolDlg::OnBnClickedButtonLoadini() {
    try {
        FileQuestion question;
        question.mode = FileQuestion::Mode::Open;
        question.filter = kIniFileFilter;
        question.startFolder = ctx_.g_Utility.strToolFolder;
        question.defaultExtension = "INI";
        const auto path = ctx_.prompts.ChooseFile(question);
        if (!path || path->empty()) return;
        // The path, a blank and "File/Path is not exist" when it cannot be read and written.
        if (bCheckFileAccess(ctx_.prompts, *path, true) != 1) return;
        if (ctx_.ini.bLoadINIFile(*path) == 1)
            vEnableStartGUI();
        else
            vDisableStartGUI();
        RefreshAllPages();
        // The log switches come from the loaded settings too.
        SetLogCheckBoxesFromSettings();
        ApplySaveLogRule();
        m_strEditLoadINI = *path;
        controls_.SetText(kCtlIniPath, m_strEditLoadINI);
    } catch (const std::exception& e) {
        ctx_.eventLog.LogMessage(
            kEventTypeError, "\r\n%s:%d: OnBnClickedButtonLoadini: dwErrorCode %d, what: %s",
            Qualified("OnBnClickedButtonLoadini").c_str(), 2481, files::LastError(), e.what());
    }
}

void CQNL735_MPToolDlg::OnBnClickedButtonSaveini() {
    try {
        FileQuestion question;
        question.mode = FileQuestion::Mode::Save;
        question.filter = kIniFileFilter;
        question.startFolder = ctx_.g_Utility.strToolFolder;
        question.defaultExtension = "INI";
        question.confirmOverwrite = true;
        const auto path = ctx_.prompts.ChooseFile(question);
        if (!path || path->empty()) return;
        if (ctx_.ini.bSaveINIFile(*path) != 1) {
            // The operator must not take an unsaved file for a saved one.
            ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: dwErrorCode %d",
                                     Qualified("OnBnClickedButtonSaveini").c_str(), 2511,
                                     files::LastError());
            ctx_.prompts.ShowMessage(Format("Save [%s] Setting file failed!!", path->c_str()), {},
                                     MessageIcon::Error);
        }
    } catch (const std::exception& e) {
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: dwErrorCode %d, what: %s",
                                 Qualified("OnBnClickedButtonSaveini").c_str(), 2517,
                                 files::LastError(), e.what());
    }
}

void CQNL735_MPToolDlg::OnBnClickedSaveLog(bool checked) {
    controls_.SetChecked(kCtlSaveLog, checked);
    ctx_.ini.savelog_enable = checked ? 1 : 0;
    ApplySaveLogRule();
}

void CQNL735_MPToolDlg::OnBnClickedBarCodeScan(bool checked) {
    controls_.SetChecked(kCtlBarCodeScan, checked);
    ctx_.ini.savelogBarCode_enable = checked ? 1 : 0;
}

void CQNL735_MPToolDlg::OnBnClickedButtonDebugLog() {
    const DebugLogExport result = ctx_.debugLog.ExportDebugLog();
    ctx_.prompts.ShowMessage(result.message, "Information",
                             result.written ? MessageIcon::Information : MessageIcon::Error);
}

void CQNL735_MPToolDlg::OnBnClickedButtonCreateConfigFile() {
    MainWindowControls(ctx_, Cmd().silent).OnBnClickedButtonCreateConfigFile();
}

void CQNL735_MPToolDlg::OnBnClickedButtonFWInfo() {
    MainWindowControls(ctx_, Cmd().silent).OnBnClickedButtonFWInfo();
}

void CQNL735_MPToolDlg::OnStartClicked() {
    if (!ControlEnabled(kCtlStart) || RunActive() || rescanActive_ || ctx_.hardware.Busy()) return;
    // Another tool process running on this station keeps the hardware: no run.
    if (!AcquireStationLock()) return;
    OnBnClickedStart();
}

bool CQNL735_MPToolDlg::BeginRescan() {
    if (RunActive() || rescanActive_.exchange(true)) return false;
    vDisableStartGUI();
    ShowStatus(kStatusSearching);
    return true;
}

void CQNL735_MPToolDlg::RescanHardware() {
    // A run or a port check drives the hardware and reads the host table: wait for it.
    const HardwareSession::Hold hardware = ctx_.hardware.Acquire(HardwareActivity::Rescan);
    if (!hardware) return;
    if (ctx_.g_Utility.ucHostCount == 0) ctx_.clock.SleepMs(1000);
    // The records are written under their locks (the table may be rebuilt meanwhile).
    ctx_.g_Utility.ResetHostRecords();
    ctx_.resultTable.vClearCtrlListHostInfoTable();
    ScanControllers(ctx_);
    ReportNoAnswerHosts(ctx_);
}

std::shared_ptr<Worker> CQNL735_MPToolDlg::StartRescanWorker() {
    if (!BeginRescan()) return nullptr;
    // The worker touches only this core, which outlives the window's views.
    CEventLog* log = &ctx_.eventLog;
    return Worker::Start([this] { RescanHardware(); },
                         [log] {
                             log->LogMessage(kEventTypeError,
                                             "\r\n%s:%d: Rescan failed, dwErrorCode %d",
                                             "CQNL735_MPToolDlg::OnBnClickedButtonRescan", 2551, 0);
                         });
}

void CQNL735_MPToolDlg::FinishRescan() {
    rescanActive_ = false;
    RelockControllers();
    ShowHostCountStatus();
    // The rows are rebuilt, not only updated: a host that is gone must not keep its row.
    RebuildResultTable();
    // The test page's "Reflash": its refresh from the new host table.
    if (currentPage_ == kPageTest) {
        Page(kPageTest).vSetGUIByINI();
        if (testPageReflash_) testPageReflash_();
    }
    if (ctx_.g_Utility.ucHostCount > 0)
        vEnableStartGUI();
    else
        vDisableStartGUI();
}

void CQNL735_MPToolDlg::OnBnClickedButtonRescan() {
    if (!BeginRescan()) return;
    RescanHardware();
    FinishRescan();
}

std::optional<std::int32_t> CQNL735_MPToolDlg::OnClose() {
    if (RunActive() || rescanActive_) {
        // Ending now would stop workers in the middle of programming and lose the run's record:
        // the window closes when the activity has ended.
        ctx_.eventLog.LogMessage(kEventTypeError,
                                 "\r\n%s:%d: Close refused: an MP run or a rescan is active",
                                 Qualified("OnClose").c_str(), 2601);
        closePending_ = true;
        ShowStatus(RunActive() ? "An MP run is in progress: the window closes when it ends"
                               : "A rescan is in progress: the window closes when it ends");
        return std::nullopt;
    }
    timerRunning_ = false;
    if (closeHold_) return exitCode_;  // closed before: the driver is unloaded already
    // A port check in progress ends first (bounded): the driver is never unloaded under an
    // activity that still drives the hardware through it. Close keeps the session to the end,
    // so nothing starts on the unloaded driver.
    const HardwareActivity holder = ctx_.hardware.Holder();
    closeHold_ = ctx_.hardware.AcquireWithin(HardwareActivity::Close, kCloseWait);
    if (!closeHold_) {
        ctx_.eventLog.LogMessage(
            kEventTypeError,
            "\r\n%s:%d: %s did not end within %d s of Close: the I/O driver stays loaded",
            Qualified("OnClose").c_str(), 2611, HardwareActivityName(holder),
            static_cast<int>(kCloseWait.count() / 1000));
        return exitCode_;
    }
    ctx_.io.UnloadQnlIODriver();
    return exitCode_;
}

}  // namespace qnl
