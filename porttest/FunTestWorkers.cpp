// The four test workers: one host, one test, under the test lock. Each runs its sub-tests in a
// fixed order, writes a cell and a console line per sub-test, the overall verdict, and the
// host's stored result.
#include <exception>

#include "controller/CUtility.h"
#include "controller/ErrorCodes.h"
#include "platform/Cancellation.h"
#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "platform/Files.h"
#include "platform/Format.h"
#include "platform/OperatorPrompts.h"
#include "platform/UsbTopology.h"
#include "platform/Worker.h"
#include "porttest/CXhci.h"
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

bool FunTest::ReportStart(TestParam& param, ResultItem item) {
    return GatedWrite([&] {
        services_.reporter.ShowResult(param.layout, param.ucHost, item, CellState::Doing, "doing");
    });
}

bool FunTest::ReportSubTest(TestParam& param, ResultItem item, bool passed, const char* label,
                            std::int32_t code) {
    return GatedWrite([&] {
        services_.reporter.ShowResult(param.layout, param.ucHost, item,
                                      passed ? CellState::Pass : CellState::Fail,
                                      passed ? kPass : kFail, passed ? 0 : code);
        if (param.consoleMode)
            services_.reporter.ConsoleLine(
                Format("Host[%d],[%s]--> [%s]!!\r\n", param.ucHost, label, passed ? kPass : kFail));
    });
}

void FunTest::RunWorker(TestParam& param, const char* name, const char* header,
                        ResultItem overallItem, const std::function<bool(TargetHost&)>& body,
                        const std::function<void(TargetHost&, bool)>& store) {
    // A worker stopped or given up on while it waited never gets the lock.
    RecoverableLockGuard lock(m_FunTestCriticalSection);
    if (!lock.Owns()) return;
    // The host's test begins (a host that never got here did not run it).
    if (!ReportStart(param, overallItem)) return;

    TargetHost& host = param.host;
    TargetHost& record = services_.g_Utility.hosts[param.ucHost];
    // The verdict, the stored result and the fixed columns, as one report.
    const auto finish = [&](bool allPassed) {
        GatedWrite([&] {
            services_.reporter.ShowResult(param.layout, param.ucHost, overallItem,
                                          allPassed ? CellState::Pass : CellState::Fail,
                                          allPassed ? kPass : kFail);
            store(record, allPassed);
            services_.reporter.RefreshHost(param.ucHost);
        });
    };
    try {
        if (param.consoleMode)
            services_.reporter.ConsoleLine(
                Format(header, param.ucHost, host.ucBus, host.ucDevice, host.ucFunction));
        const bool allPassed = body(host);
        services_.clock.SleepMs(500);
        finish(allPassed);
    } catch (const std::exception& e) {
        services_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: dwErrorCode %d, what: %s", name,
                                      1670, files::LastError(), e.what());
        // The host failed this test; the supervisor need not wait for its limit.
        finish(false);
    }
}

void FunTest::SignalOrFixtureWorker(TestParam& param, bool fixture) {
    const char* testName = fixture ? "Fixture Test" : "Signal Line Test";
    std::uint32_t lastFailure = 0, last = 0;
    RunWorker(
        param, fixture ? "FunTest::FixtureWorker" : "FunTest::SignalLineWorker", kDeviceHeader,
        ResultItem::SignalLineOverall,
        [&](TargetHost& host) {
            bool allPassed = true;
            for (const SpeedPort& sp : kSignalOrder) {
                if (!Selected(param, sp.speed, sp.port)) continue;
                if (!ReportStart(param, PortResultItem(sp.speed, sp.port))) return false;
                const std::int32_t rc =
                    fixture ? FixtureSubTest(services_.xhci, host, services_.usbTopology, sp.speed,
                                             sp.port, param.dwTimeout)
                            : SignalLineSubTest(services_.xhci, host, sp.speed, sp.port,
                                                param.dwTimeout);
                last = static_cast<std::uint32_t>(rc);
                if (rc != kOk) lastFailure = last;
                allPassed = allPassed && rc == kOk;
                const std::string label =
                    rc == kOk ? Format("%s(%s, Port %u)", testName, sp.speedName, sp.port)
                              : Format(" %s(%s, Port %u)  ", testName, sp.speedName, sp.port);
                if (!ReportSubTest(param, PortResultItem(sp.speed, sp.port), rc == kOk,
                                   label.c_str(), rc))
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
        param, "FunTest::TerminationWorker", kDeviceHeader, ResultItem::TerminationOverall,
        [&](TargetHost& host) {
            // USB 2.0 only; Port 1, then Port 2.
            if ((param.dwSpeedMask & 1) == 0) return true;
            for (std::uint32_t port : {1u, 2u}) {
                if ((param.dwPortMask & port) == 0) continue;
                if (!ReportStart(param, PortResultItem(1, port))) return false;
                const bool passed = TerminationSubTest(services_.xhci, host, port) == kOk;
                const std::string label = Format("Treminal Test(USB 2.0, Port %u)", port);
                if (!ReportSubTest(param, PortResultItem(1, port), passed, label.c_str()))
                    return false;
                if (passed) {
                    // The tested port's device has been disconnected by the test.
                    host.ucPortConnected[port - 1] = 0;
                    GatedWrite([&] {
                        services_.g_Utility.hosts[param.ucHost].ucPortConnected[port - 1] = 0;
                    });
                    continue;
                }
                if (port == 1) {
                    // A Port 1 failure fails Port 2 as well, untested.
                    services_.reporter.ShowResult(param.layout, param.ucHost, PortResultItem(1, 2),
                                                  CellState::Fail, kFail);
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
        param, "FunTest::LoopBackWorker", kHostHeader, ResultItem::LoopBackOverall,
        [&](TargetHost& host) {
            bool allPassed = true;
            for (const SpeedPort& sp : kLoopBackOrder) {
                if (!Selected(param, sp.speed, sp.port)) continue;
                if (!ReportStart(param, PortResultItem(sp.speed, sp.port))) return false;
                const std::int32_t rc =
                    LoopBackSubTest(services_.interctl, host, sp.port, sp.speed);
                results |= static_cast<std::uint32_t>(rc);
                allPassed = allPassed && rc == kOk;
                const std::string label =
                    Format("Loop Back Test(%s Port %u)  ", sp.speedName, sp.port);
                if (!ReportSubTest(param, PortResultItem(sp.speed, sp.port), rc == kOk,
                                   label.c_str(), rc))
                    return false;
            }
            return allPassed;
        },
        [&](TargetHost& host, bool) {
            host.ucLoopBackResult = static_cast<std::uint8_t>(results);
        });
}

}  // namespace qnl
