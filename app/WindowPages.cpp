#include "app/WindowPages.h"

namespace qnl {

MainWindowHooks CQNL735_MPToolDlg::PageHooks() {
    MainWindowHooks hooks;
    hooks.vClearCtrlListHostInfoTable = [this] { ctx_.resultTable.vClearCtrlListHostInfoTable(); };
    hooks.vDisableAllGUI = [this] {
        // A page's run: the window is off, the lock button too, as for Start.
        vDisableAllGUI();
        controls_.SetEnabled(kCtlTab, false);
        controls_.SetEnabled(kCtlUnlock, false);
    };
    hooks.vEnableStartGUI = [this] { vEnableStartGUI(); };
    hooks.StartPageRunTimer = [this](std::function<bool()> ended) {
        StartPageRunTimer(std::move(ended));
    };
    hooks.OnBnClickedButtonFWInfo = [this] { OnBnClickedButtonFWInfo(); };
    hooks.ExtendedAccess = [this] { return ExtendedAccess(); };
    hooks.RunPageItems = [this](std::uint8_t page, std::uint8_t items,
                                const IniSettings& settings) {
        MpRun(ctx_).RunPageItems(page, items, settings);
    };
    return hooks;
}

void CQNL735_MPToolDlg::StartPageRunTimer(std::function<bool()> runEnded) {
    pageRunEnded_ = std::move(runEnded);
    progress_ = 0;
    controls_.SetValue(kCtlProgress, 0);
    timerRunning_ = true;
    ApplyStart();  // off for the page's run
    if (timer1Starter_) timer1Starter_();
}

void CQNL735_MPToolDlg::AttachTestPageActions(std::function<void()> reflash,
                                              std::function<void()> portCheck) {
    testPageReflash_ = std::move(reflash);
    testPagePortCheck_ = std::move(portCheck);
}

WindowPages::WindowPages(ToolContext& context, CQNL735_MPToolDlg& window)
    : device(context),
      upgrade(UpgradePageServices{context.ini, context.upgrade, context.g_Utility,
                                  context.resultTable, context.prompts, context.eventLog,
                                  context.hardware, context.runFromMain, window.PageHooks()}),
      test(FunTestPageServices{context.ini, context.funTest, context.xhci, context.g_Utility,
                               context.prompts, context.eventLog, context.hardware,
                               context.runFromMain, context.consoleMode, window.PageHooks()}),
      ctx_(context) {}

void WindowPages::AttachTo(CQNL735_MPToolDlg& dialog) {
    dialog.AttachPages(&device, &upgrade, &test);
    device.SetMainWindowHooks(dialog.PageHooks());
    dialog.AttachTestPageActions([this] { test.OnBnClickedButtonReflash(); },
                                 [this] { test.RequestPortCheck(); });
}

WindowPages::~WindowPages() {
    if (source_) source_->Stop();
}

bool WindowPages::FollowDeviceChanges(std::unique_ptr<IDeviceChangeSource> source) {
    if (!source) return false;
    std::string error;
    if (!source->Start([this](const DeviceChangeEvent& event) { test.OnDeviceChange(event); },
                       error)) {
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: %s",
                                 "CQNL735_MPToolDlg::OnInitDialog", 812, error.c_str());
        return false;
    }
    source_ = std::move(source);
    return true;
}

}  // namespace qnl
