// The test page's controls and handlers: the test settings (speeds, ports, time-out, which
// tests are on), the page's own test runs, the port status grid of the first four hosts and
// "Reflash", and the port check that follows USB device changes.
//
// FunTest (porttest/FunTest.h) is the scheduler; this is the page in front of it. The Qt view
// (porttest/qt/FunTestPage) mirrors the control table and passes the operator's input on.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "platform/HardwareSession.h"
#include "platform/Worker.h"
#include "porttest/FunTest.h"
#include "porttest/PortCheck.h"
#include "settings/CIni.h"
#include "ui/ControlState.h"
#include "ui/PageHooks.h"

namespace qnl {

class CEventLog;
class CUtility;
class CXhci;
class IOperatorPrompts;

enum FunTestControl : ControlId {
    // "Function Test Setting"
    kFtSettingGroup,
    kFtUsb20,
    kFtUsb30,
    kFtUsb31,
    kFtPort1,
    kFtPort2,
    kFtTimeOutLabel,
    kFtTimeOut,
    // "Testing Items": the start buttons and their enable checks
    kFtItemsGroup,
    kFtSignalLineButton,
    kFtFixtureButton,
    kFtLoopBackButton,     // hidden
    kFtTerminationButton,  // "Terminal Test", hidden
    kFtSignalLineEnable,
    kFtFixtureEnable,
    kFtLoopBackEnable,     // hidden
    kFtTerminationEnable,  // hidden
    // "Port Status"
    kFtStatusGroup,
    kFtDeviceLabel1,                     // "Device 1:" .. "Device 4:"
    kFtRowLabel1 = kFtDeviceLabel1 + 4,  // "USB2 PORT1", "USB2 PORT2", "USB3 PORT1", "USB3 PORT2"
    kFtIcon = kFtRowLabel1 + 4,          // 16 icons: kFtIcon + 4 * row + device column
    kFtProgress = kFtIcon + 16,
    kFtReflash,
    kFtOk,  // hidden
};

// The icons' rows in display order and the ucPortConnected entry each shows.
inline constexpr std::array<const char*, 4> kPortRowNames{"USB2 PORT1", "USB2 PORT2", "USB3 PORT1",
                                                          "USB3 PORT2"};
inline constexpr std::array<std::size_t, 4> kPortRowConnectedIndex{2, 3, 0, 1};
// Icon values.
inline constexpr int kIconNotConnected = 0;
inline constexpr int kIconConnected = 1;
inline constexpr std::size_t kStatusColumns = 4;

inline constexpr ControlId IconId(std::size_t row, std::size_t device) {
    return kFtIcon + static_cast<ControlId>(4 * row + device);
}

inline constexpr std::size_t kTimeOutEditLimit = 3;

// The time-out edit's refusal as this page tells it ("Invalid TimeOut Value" in a box; its
// console form ends with CR LF). Start-up tells a loaded time-out the page would refuse with it
// when this page is shown first.
void TellTimeOutRefused(IOperatorPrompts& prompts);

struct FunTestPageServices {
    IniSettings& ini;
    FunTest& funTest;
    CXhci& xhci;
    CUtility& utility;
    IOperatorPrompts& prompts;
    CEventLog& eventLog;
    // The station's hardware session: page runs and port checks hold it for their whole thread.
    HardwareSession& hardware;
    // The MP run's flag; the page's runs clear it.
    std::atomic<bool>& runFromMain;
    // Console mode (a command line): no port check is started.
    const std::atomic<bool>& consoleMode;
    MainWindowHooks hooks;
};

class FunTestPageCore final : public IPageCore {
  public:
    explicit FunTestPageCore(const FunTestPageServices& services);
    // Waits (bounded) for the page's run thread; the port check stops first.
    ~FunTestPageCore() override;
    FunTestPageCore(const FunTestPageCore&) = delete;
    FunTestPageCore& operator=(const FunTestPageCore&) = delete;

    ControlStateTable& Controls() override { return controls_; }
    // The speed and port checks, the edit, the four start buttons, "Reflash", the four enable
    // checks and the progress bar.
    void vEnableALLGUI() override;
    void vDisableALLGUI() override;
    // The settings onto the page (the time-out through its edit's rule), then the icons.
    void vSetGUIByINI() override;
    // The icons of the first min(host count, 4) hosts from their port connection flags.
    void vRefreshPortIcons();
    void vSetAllIconsNotConnected();

    // --- The operator's input ---------------------------------------------------------------
    void OnBnClickedCheckUsb20(bool checked);
    void OnBnClickedCheckUsb30(bool checked);
    void OnBnClickedCheckUsb31(bool checked);
    void OnBnClickedCheckPort1(bool checked);
    void OnBnClickedCheckPort2(bool checked);
    // The edit's whole new text; returns what the edit shows afterwards.
    std::string OnEnChangeEditTimeOut(const std::string& text);
    void OnBnClickedSignalLineTestEnable(bool checked);
    void OnBnClickedTerminationTestEnable(bool checked);
    void OnBnClickedLoopBackTestEnable(bool checked);
    void OnBnClickedCheckFixtureTest(bool checked);
    // The page buttons: a page run (mode 2) of one test. Ignored while one runs.
    void OnBnClickedButtonSignalLineTest();
    void OnBnClickedButtonTerminalTest();
    void OnBnClickedButtonLoopBackTest();
    void OnBnClickedButtonFixtureTest();
    void OnBnClickedButtonReflash();
    // The page's own 80 ms timer: the scan's progress onto the progress bar while the page
    // timer runs (from "Reflash" until the scan has reached 100 and no check is left).
    void OnTimer();
    bool PageTimerRunning() const { return pageTimer_; }

    // --- Runs and checks ---------------------------------------------------------------------
    bool RunActive() const;
    bool WaitForRun(std::chrono::milliseconds timeout);
    // What timer 1 asks: the page's run has ended (its thread returned).
    bool RunEnded() const;
    // The port check (PortCheckThreadEntry): asked for by a device change, "Reflash" and the
    // window's start-up on this page; never with a command line.
    void RequestPortCheck();
    void OnDeviceChange(const DeviceChangeEvent& event);
    PortCheck& Checks() { return *portCheck_; }
    // One check: the port scan over all hosts, then the icons (with the window lock held).
    void RunPortCheck();

  private:
    // Stores a speed or port bit; the main window's Start follows its rule.
    void SetBit(std::uint8_t& field, std::uint8_t bit, bool on);
    void SettingsChanged();
    void EnableSettingControls(bool enabled, bool withUsb20);
    void OnEnableCheck(ControlId check, ControlId button, std::uint8_t& setting, bool checked,
                       bool loopBack, const char* function, int line);
    void StartPageRun(std::uint8_t selection);

    FunTestPageServices services_;
    ControlStateTable controls_;
    std::atomic<bool> pageTimer_{false};
    mutable std::mutex threadMutex_;
    std::shared_ptr<Worker> runThread_;
    // Last: stopped and waited for before anything its checks use.
    std::unique_ptr<PortCheck> portCheck_;
};

}  // namespace qnl
