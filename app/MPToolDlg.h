// The main window's core: the window's rules over start-up (app/StartUp.h), Start and the MP
// run (app/MpRun.h), Rescan, the lock and Close.
//
// The window's views (Qt on Linux, the system's controls on Windows) hold a reference to this
// object; console mode runs it alone. Start-up may end the process: OnInitDialog then returns
// the exit code.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/CommandLine.h"
#include "app/MpRun.h"
#include "app/ResultLog.h"
#include "app/StartUp.h"
#include "app/StationLocks.h"
#include "app/ToolContext.h"
#include "platform/Worker.h"
#include "ui/ControlState.h"
#include "ui/PageHooks.h"

namespace qnl {

// The main window's own controls (the pages have tables of their own).
enum MainControl : ControlId {
    kCtlSaveIni,
    kCtlLoadIni,
    kCtlIniPath,
    kCtlUnlock,
    kCtlDebugLog,
    kCtlLogo,
    kCtlTab,
    kCtlResultList,
    kCtlRescan,
    kCtlCreateNewFile,
    kCtlProgress,
    kCtlSaveLog,
    kCtlBarCodeScan,
    kCtlClose,
    kCtlStart,
    kCtlStartRefusal,  // why Start is off although the page has items (empty when it is not)
    kCtlStatus,        // the status line: what the window has to tell beside its boxes
    kMainControlCount
};

// The status line's texts. Its value is kStatusAlarm when the text is a failure (shown red).
inline constexpr int kStatusNormal = 0;
inline constexpr int kStatusAlarm = 1;
inline constexpr const char* kStatusSearching = "Searching controllers\u2026";
inline constexpr const char* kStatusNoController = "No QNL controller found";

// The captions of the tab control, in page order (the blanks belong to them).
inline constexpr std::array<const char*, 3> kTabCaptions{" MainPage ", " Upgrade", " Test"};
inline constexpr const char* kIniFileFilter = "Config .ini File (*.ini)|*.ini||";

// What the login dialog's password gives.
enum class LoginOutcome { NoChange, Unlocked, UnlockedExtended };
// Trimmed, without regard to case: "KORVATE" unlocks, "LUMBIX" unlocks with extended access.
LoginOutcome CheckLoginPassword(const std::string& typed);

// The settings path edit after a change: only the characters 32..127 of the first 126 stay;
// the caret keeps its place among the characters that stayed.
struct FilteredEdit {
    std::string text;
    int caret = 0;
};
FilteredEdit FilterIniPathEdit(const std::string& text, int caret);

// A page without controls, until the page's own core is attached.
class PlaceholderPage final : public IPageCore {
  public:
    ControlStateTable& Controls() override { return controls_; }
    void vEnableALLGUI() override {}
    void vDisableALLGUI() override {}
    void vSetGUIByINI() override {}

  private:
    ControlStateTable controls_;
};

class CQNL735_MPToolDlg {
  public:
    explicit CQNL735_MPToolDlg(ToolContext& context);
    // Stops a run that is still going and waits for its thread (bounded).
    ~CQNL735_MPToolDlg();
    CQNL735_MPToolDlg(const CQNL735_MPToolDlg&) = delete;
    CQNL735_MPToolDlg& operator=(const CQNL735_MPToolDlg&) = delete;

    // How long the end of the tool waits for a run thread it asked to stop.
    static constexpr std::chrono::milliseconds kRunStopWait{10000};

    // Start-up with the gathered command-line text. Returns the exit code when start-up ends
    // the process (console actions, failures), nullopt when the tool goes on running.
    std::optional<std::int32_t> OnInitDialog(const std::string& commandLineText);

    // Ends the run of the tool with a code (StartUp::ExitWithCode).
    std::int32_t vExitWithCode(std::int32_t code);

    // --- The MP run ------------------------------------------------------------------------
    // Start: builds the item mask from the settings and the current page, marks the cells the
    // run will fill with "doing", and starts MainThreadEntry on its own thread.
    void OnBnClickedStart();
    // One MP run (MpRun) on the calling thread, which holds the hardware; 1 when it passed, 0
    // when it failed. Stores the exit code and sets the run done at its end.
    std::uint32_t MainThreadEntry(const MpRunRequest& request);
    // The 80 ms timer: true once the run has ended (the controls are then restored).
    bool OnTimer1();
    // Waits (in real time) until the run's worker has returned; false when it did not.
    bool WaitForRunThread(std::chrono::milliseconds timeout);
    // Asks the run to stop (its supervisors give up on their workers) and waits for its thread.
    bool StopRun(std::chrono::milliseconds timeout);
    bool RunDone() const { return m_bRunDone; }
    std::int32_t RunExitCode() const { return m_iRunExitCode; }
    std::uint8_t CurrentPage() const { return currentPage_; }
    void SetCurrentPage(std::uint8_t page);
    // Whether the Start button may be enabled: settings loaded, a host present, an item to run
    // on the current page and no reason to refuse the run (StartRefusal).
    bool StartAllowed() const;
    // Why a run of the current page's items must not start (RunRefusal); empty when it may.
    std::string StartRefusal() const;
    // Whether the current page has an item switched on in the settings.
    bool PageHasItems() const;

    // The station's locks (app/StationLocks.h): false, told, when another tool holds one.
    bool AcquireStationLock() { return locks_.AcquireStation(); }
    bool AcquireToolFolderLock(const char* consequence = "the MP run does not start") {
        return locks_.AcquireToolFolder(consequence);
    }
    void RelockControllers() { locks_.RelockControllers(); }

    // --- The main window's controls -----------------------------------------------------------
    // The window's control states; the Qt view mirrors them, console mode keeps them unseen.
    ControlStateTable& Controls() { return controls_; }
    // The three pages (device settings, upgrade, test), attached by the composition root or a
    // test before start-up; a page not attached is an inert placeholder.
    void AttachPages(IPageCore* device, IPageCore* upgrade, IPageCore* test);
    IPageCore& Page(std::uint8_t page);

    void vEnableAllGUI();
    void vDisableAllGUI();
    // Start is enabled exactly when StartAllowed() holds and no run or rescan is active.
    void vEnableStartGUI();
    void vDisableStartGUI();
    void vApplyLockState();
    void vRestoreUnlockedGUI();

    bool Unlocked() const { return m_bUnlocked; }
    bool ExtendedAccess() const { return m_bExtendedAccess; }
    // "UnLock": locks when unlocked, else asks for the password; then applies the lock state.
    // Refused while a run or a rescan is active.
    void OnBnClickedUnlock();
    // The tab selection changed to `page`.
    void OnTcnSelchangeTab(std::uint8_t page);
    // The settings path edit changed; returns what the edit shows afterwards.
    FilteredEdit OnEnChangeEditLoadINI(const std::string& text, int caret);
    void OnBnClickedButtonLoadini();
    void OnBnClickedButtonSaveini();
    void OnBnClickedSaveLog(bool checked);
    void OnBnClickedBarCodeScan(bool checked);
    void OnBnClickedButtonDebugLog();
    void OnBnClickedButtonCreateConfigFile();
    void OnBnClickedButtonFWInfo();
    // "Start" from the window: runs only while the Start control is enabled.
    void OnStartClicked();

    // "Rescan" in two halves: the hardware half (the wait, the host table, the bus scan) under
    // the hardware-activity lock, which may wait for a run or a port check to end and so runs
    // off the GUI thread in the window; then the window half on the GUI thread.
    // OnBnClickedButtonRescan does both in turn. BeginRescan is false (nothing done) while a
    // run or a rescan is active.
    bool BeginRescan();
    void RescanHardware();
    // The window's Rescan: BeginRescan, then RescanHardware on a worker of its own (the view
    // polls it and calls FinishRescan on the GUI thread once it has finished). Null when the
    // rescan did not begin.
    std::shared_ptr<Worker> StartRescanWorker();
    void FinishRescan();
    void OnBnClickedButtonRescan();
    bool RescanActive() const { return rescanActive_; }

    // Close (the close box, Escape, the hidden "Close"): while a run or a rescan is active it is
    // put off (nullopt): the status line and the diagnostic log say so, and ClosePending()
    // tells the view to close once that activity has ended. Otherwise takes the hardware
    // session (a port check in progress ends first; bounded), unloads the I/O driver under it
    // and returns the window's exit code: the last MP run's, 0 when none ran. A session that
    // could not be had within the wait leaves the driver loaded (something still drives the
    // hardware through it).
    std::optional<std::int32_t> OnClose();
    bool ClosePending() const { return closePending_; }
    static constexpr std::chrono::milliseconds kCloseWait{10000};

    // A run started by Start has not yet been seen to end by timer 1.
    bool RunActive() const { return timerRunning_; }
    bool Timer1Running() const { return timerRunning_; }
    int Progress() const { return progress_; }

    // The station's hardware session (one owner at a time: MP runs, page runs, the port check,
    // Rescan, ExtSet, Close).
    HardwareSession& Hardware() { return ctx_.hardware; }

    // --- The upgrade and test pages' own runs and the port check (app/WindowPages.cpp) ------
    // What those pages ask of this window.
    MainWindowHooks PageHooks();
    // Timer 1 for a page's own run: the window is restored once `runEnded` returns true.
    void StartPageRunTimer(std::function<bool()> runEnded);
    // The test page's "Reflash" (Rescan on the test page) and its port check (start-up with
    // the test page first, window mode only).
    void AttachTestPageActions(std::function<void()> reflash, std::function<void()> portCheck);
    // The window's view starts its timer through this when a page's run starts timer 1.
    void SetTimer1Starter(std::function<void()> start) { timer1Starter_ = std::move(start); }

    const CommandLineState& CommandLine() const { return startUp_.CommandLine(); }
    // The operator's window follows start-up (set before OnInitDialog): a command line that
    // asks for no console action then leaves the tool to the window instead of ending it.
    void SetWindowFollows(bool follows) { windowFollows_ = follows; }
    bool ConsoleMode() const { return startUp_.ConsoleMode(); }

  private:
    const CommandLineState& Cmd() const { return startUp_.CommandLine(); }
    std::optional<std::int32_t> RunFromCommandLine();
    // /G or /F without /A when the window follows: the run starts in it (the window stays).
    void StartInWindowFromCommandLine();
    // A console run that must not start (RunRefusal, or /G or /F whose test the start page
    // leaves out with no other item to run) ends here with 1 after its reason; one that goes
    // on names the enabled items its start page leaves out.
    std::optional<std::int32_t> RefuseCommandLineRun();
    std::uint8_t BuildItemMask();
    // An exception ended the run's thread: the run failed.
    void EndRunAfterException();

    ToolContext& ctx_;
    StartUp startUp_;
    StationLocks locks_;
    bool windowFollows_ = false;
    // The window's exit code: the last MP run's (0 when none ran).
    std::int32_t exitCode_ = 0;

    std::uint8_t currentPage_ = 0;
    std::atomic<bool> m_bRunDone{false};
    std::atomic<std::int32_t> m_iRunExitCode{0};
    std::shared_ptr<Worker> runThread_;
    std::atomic<bool> timerRunning_{false};
    std::atomic<int> progress_{0};

    // Window state.
    void ApplySaveLogRule();
    void RefreshAllPages();
    void RefreshCurrentPage();
    void RebuildResultTable();
    void SetLogCheckBoxesFromSettings();
    void LogGuiFailure(const char* function, int line, const std::exception& e);
    void InitControls();
    bool ControlEnabled(ControlId id) const;
    ControlStateTable controls_;
    PlaceholderPage placeholders_[3];
    IPageCore* pages_[3] = {&placeholders_[0], &placeholders_[1], &placeholders_[2]};
    std::atomic<bool> m_bUnlocked{false};
    std::atomic<bool> m_bExtendedAccess{false};
    std::atomic<bool> rescanActive_{false};
    std::atomic<bool> closePending_{false};
    // The status line: its text, and whether it tells of a failure.
    void ShowStatus(const std::string& text, int kind = kStatusNormal);
    // After discovery or a rescan: "No QNL controller found" when the host table is empty.
    void ShowHostCountStatus();
    // After an MP run: its result, and why it failed when its record was lost.
    void ShowRunStatus();
    // Why the last run's record was not kept (empty when it was); set by the run's thread
    // before its done flag.
    std::string runRecordProblem_;
    // What vEnableStartGUI and vDisableStartGUI last asked for; Start shows it only while no
    // other activity holds the hardware session (ApplyStart, also from the holder's thread).
    void ApplyStart();
    std::mutex startMutex_;
    std::atomic<bool> startWanted_{false};
    int hardwareListener_ = 0;
    // Close keeps the hardware from the I/O library's unload to the tool's end.
    HardwareSession::Hold closeHold_;
    std::function<bool()> pageRunEnded_;  // set while a page's own run is watched by timer 1
    std::function<void()> testPageReflash_;
    std::function<void()> testPagePortCheck_;
    std::function<void()> timer1Starter_;

  public:
    // The settings file path shown in the window's INI path edit.
    std::string m_strEditLoadINI;
};

}  // namespace qnl
