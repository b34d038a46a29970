// The port-test scheduler: the logic and state of the test page.
//
// A run takes the selected tests in the order signal line, fixture, termination, loop back. For
// each, a supervisor starts one worker per host and waits for them with the 200-second limit;
// the workers take the test lock for their whole test, so only one drives hardware at a time.
// Workers write the result cells, the console lines and the host's stored result.
//
// Each supervisor runs its workers as one WorkerGroup (platform/Worker.h): nothing is killed; at
// the limit the group asks every unfinished worker to stop, closes its report gate with the
// host's FAIL written under it, and releases the test lock if that worker holds it; from then
// on the worker writes nothing. Each supervisor hands its workers fresh parameter records
// (with their own copy of the host record and the run's settings), so a worker given up on
// never reads or writes a later test's or run's state.
//
// The page's Qt view (later) holds a reference to this object.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "controller/RunReporter.h"
#include "controller/TargetHost.h"
#include "platform/Worker.h"
#include "settings/CIni.h"

namespace qnl {

class CEventLog;
class CInterctl;
class CUtility;
class CXhci;
class IClock;
class IOperatorPrompts;
class IUsbTopology;

// What the port-test runs use of the tool: its clock, the operator's messages, the diagnostic
// log, the host table, the xHCI access and the chip interface, the USB view, the reporter,
// the settings (a run takes a copy of their values at its start) and the console modes.
struct TestServices {
    IClock& clock;
    IOperatorPrompts& prompts;
    CEventLog& eventLog;
    CUtility& g_Utility;
    CXhci& xhci;
    CInterctl& interctl;
    IUsbTopology* usbTopology;
    IRunReporter& reporter;
    const IniSettings& ini;
    const std::atomic<bool>& consoleMode;
    const std::atomic<bool>& silentMode;  // /S: the tests print their progress lines
};

// Test selection bits (several may be set).
inline constexpr std::uint8_t kSelectSignalLine = 0x01;
inline constexpr std::uint8_t kSelectTermination = 0x02;
inline constexpr std::uint8_t kSelectLoopBack = 0x04;
inline constexpr std::uint8_t kSelectFixture = 0x08;

// The run mode is the index of the page the run was started from; only the test page (2)
// differs: it has its own result columns.
inline constexpr std::uint8_t kRunModeTestPage = 2;

// The supervisors' limit and poll interval (nominal, on the tool's clock).
inline constexpr std::uint64_t kTestLimitSeconds = 200;
inline constexpr std::uint32_t kTestPollMs = 200;

// One host's worker parameters for one test.
struct TestParam {
    std::uint8_t ucMode = 0;        // run mode (page index)
    std::uint8_t ucHost = 0;        // host-table index
    std::uint8_t ucDone = 0;        // 2: the supervisor starts no worker for this host
    std::uint32_t dwSpeedMask = 0;  // test_speed: 1 USB 2.0, 2 USB 3.0, 4 USB 3.1
    std::uint32_t dwPortMask = 0;   // test_port: 1 Port 1, 2 Port 2
    std::int32_t dwTimeout = 0;     // test_timeout, ms, for the port waits
    ResultLayout layout = ResultLayout::Main;
    bool consoleMode = false;
    // The worker's own copy of its host record; the table's record is written only through
    // the worker's report gate.
    TargetHost host;
};

// The result layout of a run mode: the test page's own (mode 2), else the main page's.
ResultLayout LayoutOfMode(std::uint8_t mode);

class FunTest {
  public:
    explicit FunTest(const TestServices& services);
    ~FunTest();
    FunTest(const FunTest&) = delete;
    FunTest& operator=(const FunTest&) = delete;

    // --- Runs (porttest/FunTest.cpp) ----------------------------------------------------
    // A page run of the selected tests (the page's buttons run one each, mode 2). Returns 0, or
    // the code of the supervisor that ended the run. m_bFinished is set at its end.
    std::int32_t PageTestThread(std::uint8_t mode, std::uint8_t selection);
    std::int32_t PageTestThread(std::uint8_t mode, std::uint8_t selection,
                                const IniSettings& settings, bool silent);
    // The MP run's tests: returns when they are over, leaving the outcome in m_ucErrorCode
    // (0 when every started test passed) and in the host records. m_bFinished is set at its
    // end. Writing the result log and the exit code are the MP run's.
    void FunTestStartFromMain(std::uint8_t selection, std::uint8_t mode);
    // The same with the settings values and the mode (`silent`: /S) of the run, taken when it
    // was started.
    void FunTestStartFromMain(std::uint8_t selection, std::uint8_t mode,
                              const IniSettings& settings, bool silent);

    // --- Supervisors: 0 when every started worker finished, -9 at the limit ------------------
    // `selection` is kSelectSignalLine or kSelectFixture.
    std::int32_t SuperviseSignalOrFixture(std::uint8_t mode, std::uint8_t selection);
    std::int32_t SuperviseTermination(std::uint8_t mode);
    std::int32_t SuperviseLoopBack(std::uint8_t mode);

    // --- Workers: one host, one test (porttest/FunTestWorkers.cpp) --------------------------
    void SignalLineWorker(TestParam& param);
    void FixtureWorker(TestParam& param);
    void TerminationWorker(TestParam& param);
    void LoopBackWorker(TestParam& param);

    // Forgets the last run: gives up on its workers, clears the flags.
    void ResetRunState();
    // Asks every worker still running (also those given up on) to stop and waits for them, at
    // most `timeout` in real time; false when some are still returning.
    bool WaitForWorkers(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    std::atomic<std::uint8_t> m_bFinished{0};    // 1 when a run has ended
    std::atomic<std::uint8_t> m_ucErrorCode{0};  // the run's error byte
    std::atomic<std::uint8_t> m_ucStarted{0};    // workers started by the current supervisor
    // The test lock: held by each worker for its whole test.
    RecoverableLock m_FunTestCriticalSection;

  private:
    using WorkerBody = void (FunTest::*)(TestParam&);
    // What a supervisor writes into a host it gives up on.
    using FailHost = std::function<void(TargetHost&)>;
    using Params = std::array<std::shared_ptr<TestParam>, kMaxHosts>;

    // Fresh records for a supervisor's workers (from the run's settings and the host table);
    // hosts without a record slot are skipped.
    Params NewParams(std::uint8_t mode);
    // A new worker group for a supervisor (the last one's given-up workers are kept).
    std::shared_ptr<WorkerGroup> NewGroup();
    // Starts `body` for the host of `param` in `group`.
    void StartWorker(WorkerGroup& group, const std::shared_ptr<TestParam>& param, WorkerBody body);
    // The supervisors' wait and time-out handling.
    std::int32_t WaitForHosts(WorkerGroup& group, ResultItem overallItem, std::uint8_t mode,
                              const FailHost& failHost, const char* message);
    void Tell(const std::string& text);
    bool Silent() const;
    // Every host of the table (at least one) has a non-zero result by `field`.
    bool AllHostsFailed(const std::function<bool(const TargetHost&)>& failed) const;
    // ORs a per-host result byte into m_ucErrorCode, host by host.
    void OrHostResults(const std::function<std::uint8_t(const TargetHost&)>& result);

    // The worker skeleton: test lock, console header, `body` (which runs the sub-tests and
    // returns whether all passed), the 500 ms pause, the overall verdict, `store` and the fixed
    // columns.
    void RunWorker(TestParam& param, const char* name, const char* header, ResultItem overallItem,
                   const std::function<bool(TargetHost&)>& body,
                   const std::function<void(TargetHost&, bool)>& store);
    // A step of the host's test begins: the overall result when the worker holds the test
    // lock, a port result before its sub-test. False when the supervisor has given up on the
    // worker.
    bool ReportStart(TestParam& param, ResultItem item);
    // One sub-test's cell and console line. False when the supervisor has given up on the
    // worker (nothing is written then).
    bool ReportSubTest(TestParam& param, ResultItem item, bool passed, const char* label,
                       std::int32_t code = 0);
    void SignalOrFixtureWorker(TestParam& param, bool fixture);

    TestServices services_;
    std::mutex runMutex_;
    std::shared_ptr<WorkerGroup> group_;                 // the current supervisor's workers
    std::vector<std::shared_ptr<WorkerGroup>> givenUp_;  // earlier groups still returning
    // The settings values and the mode of the run in progress (written and read by the run's
    // thread only): /S, the workers print their progress lines and the results are gathered
    // with a pause per host.
    IniSettings runSettings_;
    bool runSilent_ = false;
};

}  // namespace qnl
