// The upgrade page's controls and handlers: the update and check switches, the firmware list,
// the browse, the firmware information and the page's own upgrade run.
//
// Upgrade (firmware/Upgrade.h) is the run; this is the page in front of it. The Qt view
// (firmware/qt/UpgradePage) mirrors the control table and passes the operator's input on.
#pragma once

#include <atomic>
#include <chrono>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "firmware/Upgrade.h"
#include "platform/HardwareSession.h"
#include "platform/Worker.h"
#include "settings/CIni.h"
#include "settings/FirmwarePathList.h"
#include "ui/ControlState.h"
#include "ui/PageHooks.h"

namespace qnl {

class CEventLog;
class CUtility;
class IOperatorPrompts;
class IRunReporter;

enum UpgradeControl : ControlId {
    kUpgFwUpgradeEnable,  // "Firmware Upgrade Enable"
    kUpgFwCheckEnable,    // "Firmware Check Enable"
    kUpgFirmwareList,     // the last chosen firmware names
    kUpgFirmwareBrowser,  // "Firmware Browser"
    kUpgFirmwareInfo,     // "Firmware Info"
    kUpgFirmwareUpgrade,  // "Firmware Upgrade"
};

// fw_binary_name as the list sets it: at most 255 bytes.
inline constexpr std::size_t kListFirmwareNameMax = 255;

struct UpgradePageServices {
    IniSettings& ini;
    Upgrade& upgrade;
    CUtility& utility;
    IRunReporter& reporter;
    IOperatorPrompts& prompts;
    CEventLog& eventLog;
    // The station's hardware session: the page's run holds it for its whole controller thread.
    HardwareSession& hardware;
    // The MP run's flag; the page's own run clears it (the run then programs the list's choice).
    std::atomic<bool>& runFromMain;
    MainWindowHooks hooks;
};

class UpgradePageCore final : public IPageCore {
  public:
    explicit UpgradePageCore(const UpgradePageServices& services);
    // Waits (bounded) for the page's run thread.
    ~UpgradePageCore() override;
    UpgradePageCore(const UpgradePageCore&) = delete;
    UpgradePageCore& operator=(const UpgradePageCore&) = delete;

    ControlStateTable& Controls() override { return controls_; }
    // The two switches only: the disabled tab widget covers the rest.
    void vEnableALLGUI() override;
    void vDisableALLGUI() override;
    // Both switches from the settings (the update controls off with the update), and
    // fw_binary_name at the top of the list.
    void vSetGUIByINI() override;
    void vSetComboFirmwareGUI();
    void vEnableFWUpdatetGUI();
    void vDisableFWUpdatetGUI();

    // --- The operator's input ---------------------------------------------------------------
    void OnBnClickedCheckFwUpgradeEnable(bool checked);
    void OnBnClickedCheckFwCheckEnable(bool checked);
    void OnCbnSelchangeComboFirmware(int index);
    void OnBnClickedButtonFirmwareBrowser();
    void OnBnClickedButtonFWInfo();
    // "Firmware Upgrade": "doing" cells, the window off, timer 1, the run on its own thread.
    // Ignored while the page's previous run is still going.
    void OnBnClickedButtonFirmwareUpgrade();

    // The page's run: whether it is still going, and a bounded wait for its thread.
    bool RunActive() const;
    bool WaitForRun(std::chrono::milliseconds timeout);
    // What timer 1 asks: the page's run has ended (the upgrade's done flag is set, or the run's
    // thread has returned, whatever it set).
    bool RunEnded() const;
    const std::vector<std::string>& FirmwareList() const { return list_; }

  private:
    void ShowList(int selection);
    void LogFailure(const char* function, int line, const std::exception& e);
    // After the operator changed a setting: the main window's Start follows its rule.
    void SettingsChanged();

    UpgradePageServices services_;
    ControlStateTable controls_;
    std::vector<std::string> list_;  // the firmware list, newest first
    mutable std::mutex threadMutex_;
    std::shared_ptr<Worker> runThread_;
};

}  // namespace qnl
