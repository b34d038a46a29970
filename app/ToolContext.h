// Everything one running tool owns, built in main (or by a test over a fresh station) and
// passed by reference. The process-wide objects of the tool live here, once per tool.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "app/DebugLog.h"
#include "app/ResultTable.h"
#include "controller/CInterctl.h"
#include "controller/CUtility.h"
#include "firmware/Upgrade.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/EventLog.h"
#include "platform/EventStore.h"
#include "platform/HardwareSession.h"
#include "platform/OperatorPrompts.h"
#include "platform/UsbTopology.h"
#include "porttest/CXhci.h"
#include "porttest/FunTest.h"
#include "qnlio/IQnlIo.h"
#include "settings/CIni.h"
#include "settings/SetReg.h"
#include "ui/UiTextTable.h"

namespace qnl {

// What the platform provides to a tool.
struct ToolEnvironment {
    ToolEnvironment(IClock& c, IConsole& con, IOperatorPrompts& p, IQnlIo& i)
        : clock(c), console(con), prompts(p), io(i) {}

    IClock& clock;
    IConsole& console;
    IOperatorPrompts& prompts;
    IQnlIo& io;
    IEventStore* eventStore = nullptr;    // null: a silent diagnostic log
    IUsbTopology* usbTopology = nullptr;  // the system's USB view; null: none (nothing found)
    std::string toolFolder;               // folder of the executable
    std::string currentFolder;            // where the version file goes
    // Where a run locks each controller's PCI address against other tool processes (the
    // system's lock folder with real controllers); empty: the tool folder's lock only.
    std::string controllerLockFolder;
    std::string userName;
    // The I/O backend's name as the run records give it ("sim", "linux", "dll:<path>").
    std::string backendName;
    std::uint16_t languageId = 0x0409;
    // Keeps the objects named above alive. A tool destroyed while one of its workers is still
    // blocked inside a backend call keeps this (with its own objects) until that worker has
    // returned. Null: the caller keeps them alive past the tool's last worker (main ends the
    // process around a worker that never returns).
    std::shared_ptr<const void> keepAlive;
    // How long (real time) the tool's end waits for its workers before it leaves them their
    // objects and goes.
    std::chrono::milliseconds workerEndWait{10000};
};

// The tool's own objects, in one block that can outlive the ToolContext: workers still
// running (blocked inside a backend call) when the tool ends keep using it until they return.
struct ToolParts {
    explicit ToolParts(const ToolEnvironment& environment);
    ~ToolParts();
    ToolParts(const ToolParts&) = delete;
    ToolParts& operator=(const ToolParts&) = delete;
    // Asks every worker of the tool (discovery, upgrade and port tests, also those given up on)
    // to stop and waits for them, at most `timeout` in real time; true when none is left.
    bool WaitForWorkers(std::chrono::milliseconds timeout);

    // First, so that it goes last: the environment outlives everything below.
    const std::shared_ptr<const void> keepAlive;
    const std::chrono::milliseconds workerEndWait;
    const std::string currentFolder;
    const std::string controllerLockFolder;
    const std::string backendName;
    const UiTextTable uiText;
    CUtility g_Utility;
    CEventLog eventLog;
    CDebugLog debugLog;
    CInterctl interctl;
    CXhci xhci;
    CIni ini;
    SET_REG setReg;
    // What the current (or last) run did, per host and item; the table shows it.
    RunRecord runRecord;
    ResultTable resultTable;
    // The one owner of the hardware at a time (runs, the port check, Rescan, ExtSet, Close).
    HardwareSession hardware;
    std::atomic<bool> consoleMode{false};
    std::atomic<bool> silentMode{false};
    std::atomic<bool> runFromMain{false};
    // Last, so that they are gone (their workers waited for) before anything they use.
    Upgrade upgrade;
    FunTest funTest;
};

class ToolContext {
  public:
    explicit ToolContext(const ToolEnvironment& environment);
    // Asks every worker of the tool (also those given up on) to stop and waits for them
    // (bounded: the environment's workerEndWait). Workers still running after that are blocked
    // inside a backend call: the tool's objects and the environment's keepAlive are then kept
    // (never freed under them) until the last of them has returned.
    ~ToolContext();
    ToolContext(const ToolContext&) = delete;
    ToolContext& operator=(const ToolContext&) = delete;

    // Tools ended while a worker still ran whose objects are still kept; the ones whose workers
    // have all returned since are freed first.
    static std::size_t KeptForWorkers();

  private:
    // First: everything below refers into it.
    std::unique_ptr<ToolParts> parts_;

  public:
    IClock& clock;
    IConsole& console;
    IOperatorPrompts& prompts;
    IQnlIo& io;
    const std::string& currentFolder;
    const std::string& controllerLockFolder;
    const std::string& backendName;
    IUsbTopology* const usbTopology;

    const UiTextTable& uiText;
    CUtility& g_Utility;
    CEventLog& eventLog;
    CDebugLog& debugLog;  // the "Debug Log" export of eventLog's events
    CInterctl& interctl;  // the chip interface: mailbox, device information, flash programming
    CXhci& xhci;          // the xHCI registers and ports of the same hosts
    CIni& ini;            // the settings
    SET_REG& setReg;      // the manual register list and the manual-setting flag
    RunRecord& runRecord;
    ResultTable& resultTable;
    HardwareSession& hardware;

    // Console mode (any command line): operator messages are printed, upgrade workers print
    // their progress lines. Set by start-up.
    std::atomic<bool>& consoleMode;
    // Silent mode (/S): the port-test workers print their progress lines, the test phase pauses
    // 100 ms per host while it gathers the results and ends the process with its error byte.
    std::atomic<bool>& silentMode;
    // Set while a run of the main window's sequence is active (its Start), cleared by the
    // pages' own start buttons.
    std::atomic<bool>& runFromMain;
    // The main window's extended-access flag (the login's second password): the device
    // settings page shows its extended controls while it is set. No worker reads it.
    std::atomic<bool> extendedAccess{false};

    // The upgrade page's run and the test page's scheduler.
    Upgrade& upgrade;
    FunTest& funTest;
};

}  // namespace qnl
