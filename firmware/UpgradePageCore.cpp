#include "firmware/UpgradePageCore.h"

#include <exception>

#include "controller/CUtility.h"
#include "controller/RunReporter.h"
#include "platform/EventLog.h"
#include "platform/Files.h"
#include "platform/OperatorPrompts.h"

namespace qnl {

namespace {
constexpr std::uint8_t kRunUpdate = 0x10;
constexpr std::uint8_t kRunCheck = 0x20;

bool On(std::uint8_t flag) {
    return flag == 1;
}
}  // namespace

UpgradePageCore::UpgradePageCore(const UpgradePageServices& services) : services_(services) {
    auto captioned = [&](ControlId id, ControlKind kind, const char* caption) {
        controls_.DefineCaptioned(id, kind, caption, caption);
    };
    captioned(kUpgFwUpgradeEnable, ControlKind::CheckBox, "Firmware Upgrade Enable");
    captioned(kUpgFwCheckEnable, ControlKind::CheckBox, "Firmware Check Enable");
    controls_.Define(kUpgFirmwareList, ControlKind::ComboBox, "Firmware File");
    captioned(kUpgFirmwareBrowser, ControlKind::Button, "Firmware Browser");
    captioned(kUpgFirmwareInfo, ControlKind::Button, "Firmware Info");
    captioned(kUpgFirmwareUpgrade, ControlKind::Button, "Firmware Upgrade");
}

UpgradePageCore::~UpgradePageCore() {
    std::shared_ptr<Worker> thread;
    {
        std::lock_guard lock(threadMutex_);
        thread = runThread_;
    }
    if (thread && !thread->WaitFinished(std::chrono::seconds(10))) thread->Abandon();
}

void UpgradePageCore::LogFailure(const char* function, int line, const std::exception& e) {
    services_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:  dwErrorCode %d, what: %s", function,
                                  line, files::LastError(), e.what());
}

void UpgradePageCore::vEnableALLGUI() {
    controls_.EnableAll({kUpgFwUpgradeEnable, kUpgFwCheckEnable}, true);
}

void UpgradePageCore::vDisableALLGUI() {
    controls_.EnableAll({kUpgFwUpgradeEnable, kUpgFwCheckEnable}, false);
}

void UpgradePageCore::vEnableFWUpdatetGUI() {
    controls_.EnableAll(
        {kUpgFirmwareBrowser, kUpgFirmwareUpgrade, kUpgFirmwareInfo, kUpgFirmwareList}, true);
}

void UpgradePageCore::vDisableFWUpdatetGUI() {
    controls_.EnableAll(
        {kUpgFirmwareBrowser, kUpgFirmwareUpgrade, kUpgFirmwareInfo, kUpgFirmwareList}, false);
}

void UpgradePageCore::vSetGUIByINI() {
    try {
        const IniSettings& ini = services_.ini;
        controls_.SetChecked(kUpgFwUpgradeEnable, On(ini.fw_update_enable));
        controls_.SetChecked(kUpgFwCheckEnable, On(ini.fw_check_enable));
        if (!On(ini.fw_update_enable)) vDisableFWUpdatetGUI();
        vSetComboFirmwareGUI();
    } catch (const std::exception& e) {
        services_.eventLog.LogMessage(
            kEventTypeError, "\r\n%s:%d:  iFWBrowseCurCount : %d , dwErrorCode %d, what: %s",
            "Upgrade::vSetGUIByINI", 2101, static_cast<int>(list_.size()), files::LastError(),
            e.what());
    }
}

void UpgradePageCore::ShowList(int selection) {
    controls_.SetItems(kUpgFirmwareList, list_, selection);
    services_.upgrade.m_strComboFirmware =
        selection >= 0 && static_cast<std::size_t>(selection) < list_.size() ? list_[selection]
                                                                             : std::string();
}

void UpgradePageCore::vSetComboFirmwareGUI() {
    // The settings' name at the top, selected.
    InsertFirmwareListTop(list_, services_.ini.fw_binary_name);
    ShowList(0);
}

void UpgradePageCore::OnBnClickedCheckFwUpgradeEnable(bool checked) {
    try {
        controls_.SetChecked(kUpgFwUpgradeEnable, checked);
        services_.ini.fw_update_enable = checked ? 1 : 0;
        if (checked)
            vEnableFWUpdatetGUI();
        else
            vDisableFWUpdatetGUI();
    } catch (const std::exception& e) {
        LogFailure("Upgrade::OnBnClickedCheckFwUpgradeEnable", 2140, e);
    }
    SettingsChanged();
}

void UpgradePageCore::SettingsChanged() {
    if (services_.hooks.vEnableStartGUI) services_.hooks.vEnableStartGUI();
}

void UpgradePageCore::OnBnClickedCheckFwCheckEnable(bool checked) {
    try {
        controls_.SetChecked(kUpgFwCheckEnable, checked);
        services_.ini.fw_check_enable = checked ? 1 : 0;
    } catch (const std::exception& e) {
        LogFailure("Upgrade::OnBnClickedCheckFwCheckEnable", 2160, e);
    }
    SettingsChanged();
}

void UpgradePageCore::OnCbnSelchangeComboFirmware(int index) {
    try {
        if (index < 0 || static_cast<std::size_t>(index) >= list_.size()) return;
        controls_.SetSelection(kUpgFirmwareList, index);
        const std::string& chosen = list_[index];
        services_.upgrade.m_strComboFirmware = chosen;
        services_.ini.fw_binary_name = chosen.substr(0, kListFirmwareNameMax);
    } catch (const std::exception& e) {
        services_.eventLog.LogMessage(
            kEventTypeError, "\r\n%s:%d: m_strComboFirmware : %s , dwErrorCode %d, what: %s",
            "Upgrade::OnCbnSelchangeComboFirmware", 2180,
            services_.upgrade.m_strComboFirmware.c_str(), files::LastError(), e.what());
    }
}

void UpgradePageCore::OnBnClickedButtonFirmwareBrowser() {
    try {
        const auto browsed = BrowseFirmwareFile(services_.prompts, services_.eventLog,
                                                services_.utility.strToolFolder, list_,
                                                "Upgrade::OnBnClickedButtonFirmwareBrowser");
        if (!browsed) return;
        ShowList(0);
        services_.ini.fw_binary_name = browsed->settingsName.substr(0, kListFirmwareNameMax);
    } catch (const std::exception& e) {
        services_.eventLog.LogMessage(
            kEventTypeError, "\r\n%s:%d:  iFWBrowseCurCount : %d , dwErrorCode %d, what: %s",
            "Upgrade::OnBnClickedButtonFirmwareBrowser", 2240, static_cast<int>(list_.size()),
            files::LastError(), e.what());
    }
}

void UpgradePageCore::OnBnClickedButtonFWInfo() {
    try {
        if (services_.hooks.OnBnClickedButtonFWInfo) services_.hooks.OnBnClickedButtonFWInfo();
    } catch (const std::exception& e) {
        LogFailure("Upgrade::OnBnClickedButtonFWInfo", 2260, e);
    }
}

bool UpgradePageCore::RunActive() const {
    std::lock_guard lock(threadMutex_);
    return runThread_ && !runThread_->Finished();
}

bool UpgradePageCore::WaitForRun(std::chrono::milliseconds timeout) {
    std::shared_ptr<Worker> thread;
    {
        std::lock_guard lock(threadMutex_);
        thread = runThread_;
    }
    return !thread || thread->WaitFinished(timeout);
}

bool UpgradePageCore::RunEnded() const {
    if (services_.upgrade.m_ucRunDone == 1) return true;
    std::lock_guard lock(threadMutex_);
    return runThread_ && runThread_->Finished();
}

void UpgradePageCore::OnBnClickedButtonFirmwareUpgrade() {
    try {
        // A run of the page is still going: the click is ignored (its controls are off then).
        if (RunActive()) return;
        Upgrade& upgrade = services_.upgrade;
        const MainWindowHooks& hooks = services_.hooks;
        // 1. Forget the last run.
        upgrade.ResetRunState();
        {
            std::lock_guard lock(threadMutex_);
            runThread_.reset();
        }
        const IniSettings settings = services_.ini;
        // 2. The table is cleared, the host records' results start at 0 and the cells this run
        // fills show "doing" once the run holds the hardware (a port check still going may
        // write its own results until then).
        // 3. The window off; timer 1 watches the run's end.
        if (hooks.vDisableAllGUI) hooks.vDisableAllGUI();
        if (hooks.StartPageRunTimer) hooks.StartPageRunTimer([this] { return RunEnded(); });
        // 4. The run: this page's, so the list's choice is programmed (taken here, on the
        // operator's thread, before the run's thread starts).
        services_.runFromMain = false;
        const auto selection = controls_.Get(kUpgFirmwareList);
        upgrade.m_strComboFirmware =
            selection.selection >= 0 &&
                    static_cast<std::size_t>(selection.selection) < selection.items.size()
                ? selection.items[selection.selection]
                : std::string();
        const std::uint8_t runFlags = (On(settings.fw_update_enable) ? kRunUpdate : 0) |
                                      (On(settings.fw_check_enable) ? kRunCheck : 0);
        if (runFlags == 0) {
            // Nothing to run: the run is over at once, so timer 1 gives the window back.
            if (hooks.vClearCtrlListHostInfoTable) hooks.vClearCtrlListHostInfoTable();
            upgrade.m_ucRunDone = 1;
            return;
        }
        std::lock_guard lock(threadMutex_);
        runThread_ = Worker::Start(
            [this, runFlags, settings] {
                const HardwareSession::Hold hardware =
                    services_.hardware.Acquire(HardwareActivity::PageRun);
                if (!hardware) {
                    services_.upgrade.m_ucRunDone = 1;
                    return;
                }
                // The tool's run object runs the page's items as the window's run.
                if (services_.hooks.RunPageItems)
                    services_.hooks.RunPageItems(kPageUpgrade, runFlags, settings);
                services_.upgrade.m_ucRunDone = 1;
            },
            [this] {
                services_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:  dwErrorCode %d",
                                              "Upgrade::OnBnClickedButtonFirmwareUpgrade", 2330,
                                              files::LastError());
                services_.upgrade.m_ucRunDone = 1;
            });
    } catch (const std::exception& e) {
        LogFailure("Upgrade::OnBnClickedButtonFirmwareUpgrade", 2340, e);
        // The window must not stay off for a run that never started.
        services_.upgrade.m_ucRunDone = 1;
    }
}

}  // namespace qnl
