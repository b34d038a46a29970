// The four test workers: one host, one test, under the test lock. Each runs its sub-tests in a
// fixed order, writes a cell and a console line per sub-test, the overall verdict, and the
// host's stored result.
#include <exception>

#include "app/ToolContext.h"
#include "controller/ErrorCodes.h"
#include "platform/Cancellation.h"
#include "platform/Files.h"
#include "platform/Format.h"
#include "porttest/FixtureSubTest.h"
#include "porttest/FunTest.h"
#include "porttest/LoopBackSubTest.h"
#include "porttest/SignalLineSubTest.h"
#include "porttest/TerminationSubTest.h"

namespace qnl {

namespace {

constexpr const char* kPass = "PASS";
constexpr const char* kFail = "FAIL";
constexpr const char* kDeviceHeader =
    "Target Device[%d] > Bus:0x%02X Device:0x%02X Function:0x%02X\r\n";
constexpr const char* kHostHeader =
    "Target Host[%d] > Bus:0x%02X Device:0x%02X Function:0x%02X\r\n";

struct SpeedPort {
    std::uint32_t speed;
    std::uint32_t port;
    const char* speedName;
};
// The signal line and fixture order.
constexpr SpeedPort kSignalOrder[] = {{1, 1, "USB 2.0"}, {1, 2, "USB 2.0"}, {2, 1, "USB 3.0"},
                                      {2, 2, "USB 3.0"}, {4, 1, "USB 3.1"}, {4, 2, "USB 3.1"}};
// The loop back order: Port 1 at both SuperSpeed rates, then Port 2.
constexpr SpeedPort kLoopBackOrder[] = {
    {2, 1, "USB 3  "}, {4, 1, "USB 3.1"}, {2, 2, "USB 3  "}, {4, 2, "USB 3.1"}};

bool Selected(const TestParam& param, std::uint32_t speed, std::uint32_t port) {
    return (param.dwSpeedMask & speed) != 0 && (param.dwPortMask & port) != 0;
}

}  // namespace

bool FunTest::ReportSubTest(TestParam& param, int column, bool passed, const char* label) {
    std::lock_guard report(param.reportMutex);
    if (param.bGivenUp) return false;
    ctx_.resultTable.vShowResultItemTable(passed ? kCellGreen : kCellRed, param.ucHost, column,
                                          passed ? kPass : kFail);
    if (Silent())
        ctx_.console.Printf("Host[%d],[%s]--> [%s]!!\r\n", param.ucHost, label,
                            passed ? kPass : kFail);
    return true;
}

void FunTest::RunWorker(TestParam& param, const char* name, const char* header, int overallColumn,
                        const std::function<bool(TargetHost&)>& body,
                        const std::function<void(TargetHost&, bool)>& store) {
    RecoverableLockGuard lock(m_FunTestCriticalSection);
    if (!lock.Owns()) return;  // given up on while waiting for the lock
    param.lockTicket = lock.Ticket();
    struct ForgetTicket {
        TestParam& param;
        ~ForgetTicket() { param.lockTicket = 0; }
    } forget{param};
    // Given up on between taking the lock and recording it: the supervisor could not release
    // it, so leave at once (the guard releases it).
    if (StopRequested()) return;

    TargetHost& host = ctx_.g_Utility.hosts[param.ucHost];
    try {
        {
            std::lock_guard report(param.reportMutex);
            if (param.bGivenUp) return;
            if (Silent())
                ctx_.console.Printf(header, param.ucHost, host.ucBus, host.ucDevice,
                                    host.ucFunction);
        }
        const bool allPassed = body(host);
        ctx_.clock.SleepMs(500);
        std::lock_guard report(param.reportMutex);
        if (param.bGivenUp) return;
        ctx_.resultTable.vShowResultItemTable(allPassed ? kCellGreen : kCellRed, param.ucHost,
                                              overallColumn, allPassed ? kPass : kFail);
        store(host, allPassed);
        ctx_.resultTable.vUpdateResultFixedItem(param.ucHost);
        param.ucDone = 1;
    } catch (const std::exception&) {
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: dwErrorCode %d", name, 1670,
                                 files::LastError());
        std::lock_guard report(param.reportMutex);
        if (param.bGivenUp) return;
        // ucDone stays 0: the supervisor ends this test at its limit.
        ctx_.resultTable.vShowResultItemTable(kCellRed, param.ucHost, overallColumn, kFail);
    }
}

void FunTest::SignalOrFixtureWorker(TestParam& param, bool fixture) {
    const char* testName = fixture ? "Fixture Test" : "Signal Line Test";
    std::uint32_t lastFailure = 0, last = 0;
    RunWorker(
        param, fixture ? "FunTest::FixtureWorker" : "FunTest::SignalLineWorker", kDeviceHeader,
        SignalOverallColumn(param.ucMode),
        [&](TargetHost& host) {
            bool allPassed = true;
            for (const SpeedPort& sp : kSignalOrder) {
                if (!Selected(param, sp.speed, sp.port)) continue;
                const std::int32_t rc = fixture ? FixtureSubTest(ctx_.xhci, host, ctx_.usbTopology,
                                                                 ctx_.g_Utility.m_bUsbDeviceFound,
                                                                 sp.speed, sp.port, param.dwTimeout)
                                                : SignalLineSubTest(ctx_.xhci, host, sp.speed,
                                                                    sp.port, param.dwTimeout);
                last = static_cast<std::uint32_t>(rc);
                if (rc != kOk) lastFailure = last;
                allPassed = allPassed && rc == kOk;
                const std::string label =
                    rc == kOk ? Format("%s(%s, Port %u)", testName, sp.speedName, sp.port)
                              : Format(" %s(%s, Port %u)  ", testName, sp.speedName, sp.port);
                if (!ReportSubTest(param, SpeedPortColumn(param.ucMode, sp.speed, sp.port),
                                   rc == kOk, label.c_str()))
                    return false;
            }
            return allPassed;
        },
        // The signal line and fixture tests store into one result: within a run the first
        // failure stays (a passing fixture test after a failed signal line test is no pass).
        [&](TargetHost& host, bool) {
            if (host.dwSignalResult == 0) host.dwSignalResult = lastFailure | last;
        });
}

void FunTest::SignalLineWorker(TestParam& param) {
    SignalOrFixtureWorker(param, false);
}

void FunTest::FixtureWorker(TestParam& param) {
    SignalOrFixtureWorker(param, true);
}

void FunTest::TerminationWorker(TestParam& param) {
    RunWorker(
        param, "FunTest::TerminationWorker", kDeviceHeader, TerminationOverallColumn(param.ucMode),
        [&](TargetHost& host) {
            // USB 2.0 only; Port 1, then Port 2.
            if ((param.dwSpeedMask & 1) == 0) return true;
            for (std::uint32_t port : {1u, 2u}) {
                if ((param.dwPortMask & port) == 0) continue;
                const bool passed = TerminationSubTest(ctx_.xhci, host, port) == kOk;
                const std::string label = Format("Treminal Test(USB 2.0, Port %u)", port);
                if (!ReportSubTest(param, SpeedPortColumn(param.ucMode, 1, port), passed,
                                   label.c_str()))
                    return false;
                if (passed) {
                    // The tested port's device has been disconnected by the test.
                    std::lock_guard report(param.reportMutex);
                    if (!param.bGivenUp) host.ucPortConnected[port - 1] = 0;
                    continue;
                }
                if (port == 1) {
                    // A Port 1 failure fails Port 2 as well, untested.
                    std::lock_guard report(param.reportMutex);
                    if (!param.bGivenUp)
                        ctx_.resultTable.vShowResultItemTable(
                            kCellRed, param.ucHost, SpeedPortColumn(param.ucMode, 1, 2), kFail);
                }
                return false;
            }
            return true;
        },
        [](TargetHost& host, bool allPassed) { host.ucTerminationResult = allPassed ? 0 : 1; });
}

void FunTest::LoopBackWorker(TestParam& param) {
    std::uint32_t results = 0;
    RunWorker(
        param, "FunTest::LoopBackWorker", kHostHeader, LoopBackOverallColumn(param.ucMode),
        [&](TargetHost& host) {
            bool allPassed = true;
            for (const SpeedPort& sp : kLoopBackOrder) {
                if (!Selected(param, sp.speed, sp.port)) continue;
                const std::int32_t rc = LoopBackSubTest(ctx_.interctl, host, sp.port, sp.speed);
                results |= static_cast<std::uint32_t>(rc);
                allPassed = allPassed && rc == kOk;
                const std::string label =
                    Format("Loop Back Test(%s Port %u)  ", sp.speedName, sp.port);
                if (!ReportSubTest(param, SpeedPortColumn(param.ucMode, sp.speed, sp.port),
                                   rc == kOk, label.c_str()))
                    return false;
            }
            return allPassed;
        },
        [&](TargetHost& host, bool) {
            host.ucLoopBackResult = static_cast<std::uint8_t>(results);
        });
}

}  // namespace qnl
