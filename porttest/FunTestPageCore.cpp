#include "porttest/FunTestPageCore.h"

#include <exception>

#include "controller/CUtility.h"
#include "platform/EventLog.h"
#include "platform/Files.h"
#include "platform/Format.h"
#include "platform/OperatorPrompts.h"
#include "porttest/CXhci.h"
#include "settings/SettingsValidation.h"

namespace qnl {

namespace {
constexpr std::uint8_t kSpeedUsb20 = 1, kSpeedUsb30 = 2, kSpeedUsb31 = 4;
constexpr std::uint8_t kPort1 = 1, kPort2 = 2;
constexpr std::size_t kTimeOutReadLimit = 127;

bool On(std::uint8_t flag) {
    return flag == 1;
}
}  // namespace

FunTestPageCore::FunTestPageCore(const FunTestPageServices& services) : services_(services) {
    auto define = [&](ControlId id, ControlKind kind, const std::string& name,
                      bool visible = true) {
        // Captions are the controls' texts; edits, icons and the progress bar have none.
        const bool captioned = kind == ControlKind::Button || kind == ControlKind::CheckBox ||
                               kind == ControlKind::Label || kind == ControlKind::Group;
        controls_.DefineCaptioned(id, kind, name, captioned ? name : std::string(), visible);
    };
    define(kFtSettingGroup, ControlKind::Group, "Function Test Setting");
    define(kFtUsb20, ControlKind::CheckBox, "USB 2.0");
    define(kFtUsb30, ControlKind::CheckBox, "USB 3.0");
    define(kFtUsb31, ControlKind::CheckBox, "USB 3.1");
    define(kFtPort1, ControlKind::CheckBox, "Port 1");
    define(kFtPort2, ControlKind::CheckBox, "Port 2");
    define(kFtTimeOutLabel, ControlKind::Label, "Time Out(ms)");
    define(kFtTimeOut, ControlKind::Edit, "Time Out(ms)");
    define(kFtItemsGroup, ControlKind::Group, "Testing Items");
    define(kFtSignalLineButton, ControlKind::Button, "Signal Line Test");
    define(kFtFixtureButton, ControlKind::Button, "Fixture Test");
    define(kFtLoopBackButton, ControlKind::Button, "Loop Back Test", false);
    define(kFtTerminationButton, ControlKind::Button, "Terminal Test", false);
    define(kFtSignalLineEnable, ControlKind::CheckBox, "Signal Line Test");
    define(kFtFixtureEnable, ControlKind::CheckBox, "Fixture Test");
    define(kFtLoopBackEnable, ControlKind::CheckBox, "Loop Back Test", false);
    define(kFtTerminationEnable, ControlKind::CheckBox, "Termination Test", false);
    define(kFtStatusGroup, ControlKind::Group, "Port Status");
    for (std::size_t d = 0; d < kStatusColumns; ++d)
        define(kFtDeviceLabel1 + static_cast<ControlId>(d), ControlKind::Label,
               Format("Device %d:", static_cast<int>(d + 1)));
    for (std::size_t r = 0; r < kPortRowNames.size(); ++r)
        define(kFtRowLabel1 + static_cast<ControlId>(r), ControlKind::Label, kPortRowNames[r]);
    for (std::size_t r = 0; r < kPortRowNames.size(); ++r)
        for (std::size_t d = 0; d < kStatusColumns; ++d)
            define(IconId(r, d), ControlKind::Icon,
                   Format("Device %d %s", static_cast<int>(d + 1), kPortRowNames[r]));
    define(kFtProgress, ControlKind::Progress, "Port Status progress");
    define(kFtReflash, ControlKind::Button, "Reflash");
    define(kFtOk, ControlKind::Button, "OK", false);
    portCheck_ = std::make_unique<PortCheck>(services_.hardware, [this] { RunPortCheck(); });
}

FunTestPageCore::~FunTestPageCore() {
    portCheck_.reset();
    std::shared_ptr<Worker> thread;
    {
        std::lock_guard lock(threadMutex_);
        thread = runThread_;
    }
    if (thread && !thread->WaitFinished(std::chrono::seconds(10))) thread->Abandon();
}

// --- Enabling --------------------------------------------------------------------------------

void FunTestPageCore::vEnableALLGUI() {
    controls_.EnableAll(
        {kFtUsb20, kFtUsb30, kFtUsb31, kFtPort1, kFtPort2, kFtTimeOut, kFtSignalLineButton,
         kFtFixtureButton, kFtLoopBackButton, kFtTerminationButton, kFtReflash, kFtSignalLineEnable,
         kFtFixtureEnable, kFtLoopBackEnable, kFtTerminationEnable, kFtProgress},
        true);
}

void FunTestPageCore::vDisableALLGUI() {
    controls_.EnableAll(
        {kFtUsb20, kFtUsb30, kFtUsb31, kFtPort1, kFtPort2, kFtTimeOut, kFtSignalLineButton,
         kFtFixtureButton, kFtLoopBackButton, kFtTerminationButton, kFtReflash, kFtSignalLineEnable,
         kFtFixtureEnable, kFtLoopBackEnable, kFtTerminationEnable, kFtProgress},
        false);
}

void FunTestPageCore::EnableSettingControls(bool enabled, bool withUsb20) {
    if (withUsb20) controls_.SetEnabled(kFtUsb20, enabled);
    controls_.EnableAll({kFtUsb30, kFtUsb31, kFtPort1, kFtPort2, kFtTimeOut}, enabled);
}

// --- Loading ----------------------------------------------------------------------------------

void FunTestPageCore::vSetGUIByINI() {
    try {
        const IniSettings& ini = services_.ini;
        for (ControlId id : {kFtUsb20, kFtUsb30, kFtUsb31, kFtPort1, kFtPort2})
            controls_.SetChecked(id, false);
        controls_.SetChecked(kFtUsb20, ini.test_speed & kSpeedUsb20);
        controls_.SetChecked(kFtUsb30, ini.test_speed & kSpeedUsb30);
        controls_.SetChecked(kFtUsb31, ini.test_speed & kSpeedUsb31);
        // The port boxes show the port bits the tests use (3 both, 1 Port 1, 2 Port 2).
        controls_.SetChecked(kFtPort1, ini.test_port & kPort1);
        controls_.SetChecked(kFtPort2, ini.test_port & kPort2);
        // The edit shows the value, and its rule applies to what was loaded.
        const std::string text = Format("%d", static_cast<int>(ini.test_timeout));
        controls_.SetText(kFtTimeOut, text);
        OnEnChangeEditTimeOut(text);
        const std::pair<ControlId, ControlId> checks[] = {
            {kFtSignalLineEnable, kFtSignalLineButton},
            {kFtTerminationEnable, kFtTerminationButton},
            {kFtLoopBackEnable, kFtLoopBackButton},
            {kFtFixtureEnable, kFtFixtureButton}};
        const std::uint8_t settings[] = {ini.signal_line_test_enable, ini.termination_test_enable,
                                         ini.loopback_test_enable, ini.fixture_test_enable};
        for (std::size_t i = 0; i < 4; ++i) {
            controls_.SetChecked(checks[i].first, On(settings[i]));
            if (!On(settings[i])) controls_.SetEnabled(checks[i].second, false);
        }
        vRefreshPortIcons();
    } catch (const std::exception& e) {
        services_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:  dwErrorCode %d, what: %s",
                                      "FunTest::vSetGUIByINI", 2601, files::LastError(), e.what());
    }
}

// --- Icons ------------------------------------------------------------------------------------

void FunTestPageCore::vSetAllIconsNotConnected() {
    for (std::size_t r = 0; r < kPortRowNames.size(); ++r)
        for (std::size_t d = 0; d < kStatusColumns; ++d)
            controls_.SetValue(IconId(r, d), kIconNotConnected);
}

void FunTestPageCore::vRefreshPortIcons() {
    CUtility& util = services_.utility;
    // The grid has four columns: hosts beyond the fourth have no icons.
    const std::size_t count = std::min<std::size_t>(util.ucHostCount, kStatusColumns);
    for (std::size_t d = 0; d < count; ++d) {
        const TargetHost host = util.RecordSnapshot(d);  // the check may be writing it
        for (std::size_t r = 0; r < kPortRowNames.size(); ++r)
            controls_.SetValue(IconId(r, d), host.ucPortConnected[kPortRowConnectedIndex[r]] == 1
                                                 ? kIconConnected
                                                 : kIconNotConnected);
        if (services_.hooks.vEnableStartGUI) services_.hooks.vEnableStartGUI();
    }
}

void TellTimeOutRefused(IOperatorPrompts& prompts) {
    const char* message = EditRuleOf(SettingsEdit::kTimeOut).message;
    prompts.ShowMessage(message, {}, MessageIcon::Warning, std::string(message) + "\r\n");
}

// --- Settings handlers ------------------------------------------------------------------------

void FunTestPageCore::SetBit(std::uint8_t& field, std::uint8_t bit, bool on) {
    field = static_cast<std::uint8_t>(on ? (field | bit) : (field & ~bit));
    SettingsChanged();
}

void FunTestPageCore::SettingsChanged() {
    // What a run would do may have changed: Start follows its rule at once.
    if (services_.hooks.vEnableStartGUI) services_.hooks.vEnableStartGUI();
}

void FunTestPageCore::OnBnClickedCheckUsb20(bool checked) {
    controls_.SetChecked(kFtUsb20, checked);
    SetBit(services_.ini.test_speed, kSpeedUsb20, checked);
}
void FunTestPageCore::OnBnClickedCheckUsb30(bool checked) {
    controls_.SetChecked(kFtUsb30, checked);
    SetBit(services_.ini.test_speed, kSpeedUsb30, checked);
}
void FunTestPageCore::OnBnClickedCheckUsb31(bool checked) {
    controls_.SetChecked(kFtUsb31, checked);
    SetBit(services_.ini.test_speed, kSpeedUsb31, checked);
}
void FunTestPageCore::OnBnClickedCheckPort1(bool checked) {
    controls_.SetChecked(kFtPort1, checked);
    SetBit(services_.ini.test_port, kPort1, checked);
}
void FunTestPageCore::OnBnClickedCheckPort2(bool checked) {
    controls_.SetChecked(kFtPort2, checked);
    SetBit(services_.ini.test_port, kPort2, checked);
}

std::string FunTestPageCore::OnEnChangeEditTimeOut(const std::string& text) {
    try {
        // The device page's time-out rule (settings/SettingsValidation.h), told and stored the
        // test page's way.
        const EditRule& rule = EditRuleOf(SettingsEdit::kTimeOut);
        const std::string read = text.substr(0, kTimeOutReadLimit);
        if (!CheckEditText(rule, read).accepted) {
            // A bad character: the message, an empty edit, and test_timeout as it was (the
            // emptied edit does not store 0 in its place).
            TellTimeOutRefused(services_.prompts);
            controls_.SetText(kFtTimeOut, "");
            return "";
        }
        controls_.SetText(kFtTimeOut, read);
        StoreEditText(services_.ini, rule, read);
        return read;
    } catch (const std::exception&) {
        return controls_.Get(kFtTimeOut).text;
    }
}

void FunTestPageCore::OnEnableCheck(ControlId check, ControlId button, std::uint8_t& setting,
                                    bool checked, bool loopBack, const char* function, int line) {
    try {
        controls_.SetChecked(check, checked);
        setting = checked ? 1 : 0;
        controls_.SetEnabled(button, checked);
        // Unchecking disables all five boxes; the loop back test (SuperSpeed only) enables all
        // but "USB 2.0".
        EnableSettingControls(checked, !(checked && loopBack));
        if (checked) {
            if (loopBack) controls_.SetReadOnly(kFtTimeOut, false);
            vRefreshPortIcons();
        }
    } catch (const std::exception& e) {
        services_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:  dwErrorCode %d, what: %s",
                                      function, line, files::LastError(), e.what());
    }
    SettingsChanged();
}

void FunTestPageCore::OnBnClickedSignalLineTestEnable(bool checked) {
    OnEnableCheck(kFtSignalLineEnable, kFtSignalLineButton, services_.ini.signal_line_test_enable,
                  checked, false, "FunTest::OnBnClickedSignalLineTestEnable", 2701);
}
void FunTestPageCore::OnBnClickedTerminationTestEnable(bool checked) {
    OnEnableCheck(kFtTerminationEnable, kFtTerminationButton, services_.ini.termination_test_enable,
                  checked, false, "FunTest::OnBnClickedTerminationTestEnable", 2721);
}
void FunTestPageCore::OnBnClickedLoopBackTestEnable(bool checked) {
    OnEnableCheck(kFtLoopBackEnable, kFtLoopBackButton, services_.ini.loopback_test_enable, checked,
                  true, "FunTest::OnBnClickedLoopBackTestEnable", 2741);
}
void FunTestPageCore::OnBnClickedCheckFixtureTest(bool checked) {
    OnEnableCheck(kFtFixtureEnable, kFtFixtureButton, services_.ini.fixture_test_enable, checked,
                  false, "FunTest::OnBnClickedCheckFixtureTest", 2761);
}

// --- Page runs --------------------------------------------------------------------------------

bool FunTestPageCore::RunActive() const {
    std::lock_guard lock(threadMutex_);
    return runThread_ && !runThread_->Finished();
}

bool FunTestPageCore::WaitForRun(std::chrono::milliseconds timeout) {
    std::shared_ptr<Worker> thread;
    {
        std::lock_guard lock(threadMutex_);
        thread = runThread_;
    }
    return !thread || thread->WaitFinished(timeout);
}

bool FunTestPageCore::RunEnded() const {
    std::lock_guard lock(threadMutex_);
    return !runThread_ || runThread_->Finished();
}

void FunTestPageCore::StartPageRun(std::uint8_t selection) {
    try {
        // A page run is still going: never cut it short; the click is ignored (the page's
        // controls are off then anyway).
        if (RunActive()) return;
        const MainWindowHooks& hooks = services_.hooks;
        // (The table is cleared by the run once it holds the hardware.)
        if (hooks.vDisableAllGUI) hooks.vDisableAllGUI();
        vDisableALLGUI();
        // The page's run: the MP run's flag is cleared here, on the operator's thread.
        services_.runFromMain = false;
        const IniSettings settings = services_.ini;
        services_.funTest.m_bFinished = 0;
        {
            std::lock_guard lock(threadMutex_);
            runThread_ = Worker::Start(
                [this, selection, settings] {
                    const HardwareSession::Hold hardware =
                        services_.hardware.Acquire(HardwareActivity::PageRun);
                    if (!hardware) return;
                    // The tool's run object runs the page's test as the window's run.
                    if (services_.hooks.RunPageItems)
                        services_.hooks.RunPageItems(kPageTest, selection, settings);
                },
                [this] {
                    services_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:  dwErrorCode %d",
                                                  "FunTest::PageTestThread", 2801,
                                                  files::LastError());
                    services_.funTest.m_bFinished = 1;
                });
        }
        // Outside the lock: timer 1 asks RunEnded, which takes it.
        if (hooks.StartPageRunTimer) hooks.StartPageRunTimer([this] { return RunEnded(); });
    } catch (const std::exception& e) {
        services_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: dwErrorCode %d, what: %s",
                                      "FunTest::OnBnClickedButtonTest", 2802, files::LastError(),
                                      e.what());
        // The window must not stay off for a run that never started: timer 1 gives it back.
        services_.funTest.m_bFinished = 1;
        if (services_.hooks.StartPageRunTimer)
            services_.hooks.StartPageRunTimer([] { return true; });
    }
}

void FunTestPageCore::OnBnClickedButtonSignalLineTest() {
    StartPageRun(kSelectSignalLine);
}
void FunTestPageCore::OnBnClickedButtonTerminalTest() {
    StartPageRun(kSelectTermination);
}
void FunTestPageCore::OnBnClickedButtonLoopBackTest() {
    StartPageRun(kSelectLoopBack);
}
void FunTestPageCore::OnBnClickedButtonFixtureTest() {
    StartPageRun(kSelectFixture);
}

// --- Reflash and the port check ---------------------------------------------------------------

void FunTestPageCore::OnBnClickedButtonReflash() {
    try {
        pageTimer_ = true;
        controls_.SetValue(kFtProgress, 0);
        services_.xhci.ucScanProgress = 0;
        if (services_.hooks.vClearCtrlListHostInfoTable)
            services_.hooks.vClearCtrlListHostInfoTable();
        vSetAllIconsNotConnected();
        RequestPortCheck();
    } catch (const std::exception& e) {
        services_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: dwErrorCode %d, what: %s",
                                      "FunTest::OnBnClickedButtonReflash", 2821, files::LastError(),
                                      e.what());
    }
}

void FunTestPageCore::OnTimer() {
    if (!pageTimer_) return;
    const int progress = services_.xhci.ucScanProgress.load();
    controls_.SetValue(kFtProgress, progress);
    if (progress >= 100 && !portCheck_->Running()) pageTimer_ = false;
}

void FunTestPageCore::RequestPortCheck() {
    if (services_.consoleMode) return;
    portCheck_->Request();
}

void FunTestPageCore::OnDeviceChange(const DeviceChangeEvent& event) {
    if (services_.consoleMode) return;
    portCheck_->OnDeviceChange(event);
}

void FunTestPageCore::RunPortCheck() {
    services_.xhci.ScanPortConnections();
    vRefreshPortIcons();
}

}  // namespace qnl
