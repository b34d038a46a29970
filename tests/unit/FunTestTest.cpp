// The port-test scheduler against simulated controllers: result columns of both run modes,
// stored results, the rules that keep failed hosts out of later tests, the fixture test, and
// supervisors that give up on workers that do not finish.
#include <gtest/gtest.h>

#include <chrono>

#include "controller/ErrorCodes.h"
#include "porttest/FixtureSubTest.h"
#include "porttest/FunTest.h"
#include "qnlio/ChipIdTable.h"
#include "support/FakeUsbTopology.h"
#include "support/PortBench.h"
#include "support/SchedulerBench.h"

namespace qnl::test {
namespace {

const std::string kDevice = R"({ "type": "device", "speed": "high" })";
const std::string kSuperPlus = R"({ "type": "device", "speed": "superplus" })";

// What is plugged into the four root ports; "null" for nothing.
std::string Ports(const std::string& usb3p1, const std::string& usb3p2, const std::string& usb2p1,
                  const std::string& usb2p2) {
    return "{ \"usb3_port1\": " + usb3p1 + ", \"usb3_port2\": " + usb3p2 +
           ", \"usb2_port1\": " + usb2p1 + ", \"usb2_port2\": " + usb2p2 + " }";
}
const std::string kAllPorts = Ports(kSuperPlus, kSuperPlus, kDevice, kDevice);

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// ---- Signal line and the MP run's columns -----------------------------------------------------

TEST(FunTestScheduler, SignalLineMpRunFillsTheMpColumnsAndStoresTheLastFailure) {
    // Host 1: a SuperSpeed (not SuperSpeedPlus) device on Port 1 fails USB 3.1 Port 1 (-3);
    // the last sub-test (USB 3.1 Port 2) passes.
    const std::string superOnly = R"({ "type": "device", "speed": "super" })";
    SchedulerBench b({kAllPorts, Ports(superOnly, kSuperPlus, kDevice, kDevice)});
    b.funTest().FunTestStartFromMain(kSelectSignalLine, kPageMain);

    EXPECT_EQ(b.funTest().m_bFinished, 1);
    EXPECT_EQ(b.Cells(0, 8, 14), "PASS|PASS|PASS|PASS|PASS|PASS|PASS") << b.Out();
    EXPECT_EQ(b.Cells(1, 8, 14), "PASS|PASS|PASS|PASS|FAIL|PASS|FAIL") << b.Out();
    EXPECT_EQ(b.host(0).dwSignalResult, 0u);
    EXPECT_EQ(b.host(1).dwSignalResult, static_cast<std::uint32_t>(kErrDataNotMatch));
    // The error byte is the OR of the hosts' low bytes.
    EXPECT_EQ(b.funTest().m_ucErrorCode, 0xFD);

    EXPECT_TRUE(b.Printed("Target Device[1] > Bus:0x04 Device:0x00 Function:0x00\r\n"));
    EXPECT_TRUE(b.Printed("Host[1],[Signal Line Test(USB 2.0, Port 1)]--> [PASS]!!\r\n"));
    EXPECT_TRUE(b.Printed("Host[1],[ Signal Line Test(USB 3.1, Port 1)  ]--> [FAIL]!!\r\n"));
    EXPECT_TRUE(b.Printed("Host[1],[Signal Line Test(USB 3.1, Port 2)]--> [PASS]!!\r\n"));
    // Sub-tests run in order: USB 2.0 Port 1 first, USB 3.1 Port 2 last.
    const std::string out = b.Out();
    EXPECT_LT(out.find("Host[0],[Signal Line Test(USB 2.0, Port 1)]"),
              out.find("Host[0],[Signal Line Test(USB 2.0, Port 2)]"));
    EXPECT_LT(out.find("Host[0],[Signal Line Test(USB 3.0, Port 2)]"),
              out.find("Host[0],[Signal Line Test(USB 3.1, Port 1)]"));
}

TEST(FunTestScheduler, MpRunWithoutAnyHostIsNoPass) {
    SchedulerBench b({});
    b.funTest().FunTestStartFromMain(kSelectSignalLine | kSelectTermination, kPageMain);
    EXPECT_EQ(b.funTest().m_bFinished, 1);
    EXPECT_EQ(b.funTest().m_ucErrorCode, 1);
}

TEST(FunTestScheduler, WorkersPrintTheirLinesOnlyInSilentMode) {
    SchedulerBench b({kAllPorts});
    b.context->silentMode = false;  // a command line without /S
    b.funTest().FunTestStartFromMain(kSelectSignalLine, kPageMain);
    EXPECT_EQ(b.funTest().m_ucErrorCode, 0);
    EXPECT_EQ(b.Cells(0, 8, 14), "PASS|PASS|PASS|PASS|PASS|PASS|PASS");
    EXPECT_EQ(b.Out().find("Target Device["), std::string::npos) << b.Out();
    EXPECT_EQ(b.Out().find("Host[0],["), std::string::npos) << b.Out();
}

TEST(FunTestScheduler, TimeOutSettingOfZeroStartsNoWorkerAndFailsEveryHost) {
    SchedulerBench b({kAllPorts, kAllPorts});
    b.ini().test_timeout = 0;
    b.funTest().FunTestStartFromMain(kSelectSignalLine | kSelectTermination, kPageMain);
    EXPECT_EQ(b.funTest().m_ucErrorCode, 0xF7);
    EXPECT_EQ(b.funTest().m_bFinished, 1);
    EXPECT_TRUE(b.Printed("Tme-Out value could not be [0]\r\n")) << b.Out();
    EXPECT_FALSE(b.Printed("Target Device"));
    for (int host = 0; host < 2; ++host) {
        // Nothing was tested: the stored result must not read as a pass.
        EXPECT_EQ(b.host(host).dwSignalResult, static_cast<std::uint32_t>(kErrTimeout));
        EXPECT_EQ(b.Cell(host, 14), "FAIL");
        EXPECT_EQ(b.Cell(host, 15), "");  // the run ended before the termination test
    }
}

// ---- Page runs, dependencies between the tests, termination -----------------------------------

TEST(FunTestScheduler, FailedHostsAreKeptOutOfLaterTestsAndTheWaitCountsOnlyStartedHosts) {
    const std::string broken =
        R"({ "type": "device", "speed": "superplus", "faults": { "termination_broken": true } })";
    SchedulerBench b({kAllPorts, Ports(kSuperPlus, kSuperPlus, kDevice, "null"),
                      Ports(broken, kSuperPlus, kDevice, kDevice)},
                     0.01, nullptr, kPageTest);
    b.ini().signal_line_test_enable = 1;
    b.ini().termination_test_enable = 1;
    b.ini().test_speed = 1;  // USB 2.0 only: no loop back sub-test can run
    for (int host = 0; host < 3; ++host) b.host(host).ucPortConnected = {1, 1, 1, 1};

    const auto start = std::chrono::steady_clock::now();
    const std::int32_t r = b.funTest().PageTestThread(
        kRunModeTestPage, kSelectSignalLine | kSelectTermination | kSelectLoopBack);
    // Host 1 is not started for termination; a wait that counted host indexes instead of the
    // started hosts would run into the 200 s limit (2 s here).
    EXPECT_EQ(r, kOk) << b.Out();
    EXPECT_LT(Seconds(start), 1.9);
    EXPECT_EQ(b.funTest().m_ucErrorCode, 0);  // not every host failed
    EXPECT_EQ(b.funTest().m_bFinished, 1);

    // Host 0 passes everything; its tested ports are no longer connected after termination.
    EXPECT_EQ(b.Cells(0, 5, 6) + "/" + b.Cells(0, 11, 13), "PASS|PASS/PASS|PASS|PASS");
    EXPECT_EQ(b.host(0).ucPortConnected, (std::array<std::uint8_t, 4>{0, 0, 1, 1}));
    // Host 1 failed the signal line test: no termination, no loop back.
    EXPECT_EQ(b.Cells(1, 11, 13), "FAIL||");
    EXPECT_FALSE(b.Printed("Host[1],[Treminal Test"));
    EXPECT_FALSE(b.Printed("Target Host[1]"));
    // Host 2: termination Port 1 fails, which fails Port 2 untested; then no loop back.
    EXPECT_EQ(b.Cells(2, 5, 6) + "/" + b.Cells(2, 11, 13), "FAIL|FAIL/PASS|FAIL|");
    EXPECT_TRUE(b.Printed("Host[2],[Treminal Test(USB 2.0, Port 1)]--> [FAIL]!!\r\n"));
    EXPECT_FALSE(b.Printed("Host[2],[Treminal Test(USB 2.0, Port 2)]"));
    EXPECT_EQ(b.host(2).ucTerminationResult, 1);
    EXPECT_EQ(b.host(2).ucPortConnected[0], 1);
    // The loop back worker of host 0 ran no sub-test and passed.
    EXPECT_TRUE(b.Printed("Target Host[0] > Bus:0x03"));
    EXPECT_FALSE(b.Printed("Loop Back Test("));
}

TEST(FunTestScheduler, LoopBackPageRunOrderColumnsAndStoredResult) {
    const std::string plug = R"({ "type": "loopback" })";
    const std::string retrain = R"({ "type": "loopback", "faults": { "link_error": "retrain" } })";
    SchedulerBench b({Ports(plug, retrain, "null", "null")}, 0.01, nullptr, kPageTest);
    b.ini().test_speed = 6;
    EXPECT_EQ(b.funTest().PageTestThread(kRunModeTestPage, kSelectLoopBack), kOk);

    // Columns: USB3 Port1, USB3 Port2, USB3.1 Port1, USB3.1 Port2, then the overall verdict.
    // The link error of Port 2 is recovered at USB 3.1 but fails USB 3.0.
    EXPECT_EQ(b.Cells(0, 7, 10), "PASS|FAIL|PASS|PASS") << b.Out();
    EXPECT_EQ(b.Cell(0, 13), "FAIL");
    EXPECT_EQ(b.Cell(0, 11), "");
    EXPECT_EQ(b.host(0).ucLoopBackResult, 0xFF);
    EXPECT_EQ(b.funTest().m_ucErrorCode, 1);  // every host failed
    const std::string out = b.Out();
    const auto p30 = out.find("Host[0],[Loop Back Test(USB 3   Port 1)  ]--> [PASS]!!");
    const auto p31 = out.find("Host[0],[Loop Back Test(USB 3.1 Port 1)  ]--> [PASS]!!");
    const auto q30 = out.find("Host[0],[Loop Back Test(USB 3   Port 2)  ]--> [FAIL]!!");
    const auto q31 = out.find("Host[0],[Loop Back Test(USB 3.1 Port 2)  ]--> [PASS]!!");
    ASSERT_NE(q31, std::string::npos) << out;
    EXPECT_TRUE(p30 < p31 && p31 < q30 && q30 < q31) << out;
}

// ---- The fixture test
// ----------------------------------------------------------------------------

TEST(FixtureSubTest, NeedsAnEnabledLinkAndADeviceTheSystemSeesAndWritesNoRegister) {
    PortBench b(Ports(kSuperPlus, R"({ "type": "device", "speed": "super" })", kDevice, "null"));
    int writes = 0;
    b.sim().SetRegisterTrace([&](const sim::RegisterAccess& a) { writes += a.write ? 1 : 0; });
    FakeUsbTopology usb;
    usb.AddController(kMakerVendorId, 0x7350, "rh0", 4);
    usb.AddController(kMakerVendorId, 0x7351, "rh1", 4);
    usb.Attach("rh0", 1, "hub", 4);  // an empty hub is not a device
    auto run = [&](std::uint32_t speed, std::uint32_t port) {
        return FixtureSubTest(b.xhci(), b.host(), &usb, speed, port, 200);
    };

    EXPECT_EQ(run(2, 1), kErrIo);  // enabled, but no device seen
    // A device below another target controller counts as well.
    usb.Attach("rh1", 3);
    EXPECT_EQ(run(2, 1), kOk);
    EXPECT_EQ(run(2, 2), kOk);  // USB 3.0 does not check for SuperSpeedPlus
    EXPECT_EQ(run(4, 1), kOk);
    EXPECT_EQ(run(4, 2), kErrDataNotMatch);
    // Nobody reset the USB 2.0 port: not enabled in time. Nothing there at all: the same.
    EXPECT_EQ(run(1, 1), kErrTimeout);
    EXPECT_EQ(run(1, 2), kErrTimeout);
    EXPECT_EQ(writes, 0) << "the controller is left as the system has it";
    // No USB view at all finds nothing.
    EXPECT_EQ(FixtureSubTest(b.xhci(), b.host(), nullptr, 2, 1, 200), kErrIo);
    EXPECT_EQ(FixtureSubTest(b.xhci(), b.host(), &usb, 3, 1, 200), kErrInvalidParameter);
}

TEST(FunTestScheduler, FixtureWorkerUsesTheSignalLineColumnsAndResult) {
    FakeUsbTopology usb;
    usb.AddController(kMakerVendorId, 0x7350, "rh0", 4);
    usb.Attach("rh0", 2);
    SchedulerBench b({Ports(kSuperPlus, "null", kDevice, kDevice)}, 0.01, &usb);
    b.ini().fixture_test_enable = 1;
    b.ini().test_speed = 6;
    b.funTest().FunTestStartFromMain(kSelectFixture, kPageMain);
    // USB3 Port1, USB3 Port2, USB3.1 Port1, USB3.1 Port2, overall.
    EXPECT_EQ(b.Cells(0, 10, 14), "PASS|FAIL|PASS|FAIL|FAIL") << b.Out();
    // Nothing on Port 2: not enabled at USB 3.0 (-9), no SuperSpeedPlus link at USB 3.1 (-3).
    EXPECT_EQ(b.host(0).dwSignalResult, static_cast<std::uint32_t>(kErrDataNotMatch));
    EXPECT_TRUE(b.Printed("Host[0],[Fixture Test(USB 3.0, Port 1)]--> [PASS]!!\r\n"));
    EXPECT_TRUE(b.Printed("Host[0],[ Fixture Test(USB 3.1, Port 2)  ]--> [FAIL]!!\r\n"));
    EXPECT_EQ(b.funTest().m_ucErrorCode, 0xFD);
}

// ---- Workers that do not finish ----------------------------------------------------------------

TEST(FunTestScheduler, HungWorkerHoldingTheLockEndsAtTheLimitAndLeavesTheOthersUnharmed) {
    // 200 s at this scale are 1 s.
    SchedulerBench b({kAllPorts, kAllPorts, kAllPorts}, 0.005);
    b.ini().test_speed = 1;
    b.ini().test_port = 1;
    b.station->Controller(1).HangFromCommand(1);  // its signal check never answers
    const auto start = std::chrono::steady_clock::now();
    b.funTest().FunTestStartFromMain(kSelectSignalLine, kPageMain);
    const double seconds = Seconds(start);
    EXPECT_GT(seconds, 0.99);
    EXPECT_LT(seconds, 10.0);

    EXPECT_EQ(b.funTest().m_ucErrorCode, 0xF7);
    EXPECT_TRUE(b.Printed("Function Test  Time Out, Fail!!!\r\n")) << b.Out();
    EXPECT_EQ(b.Cell(1, 14), "FAIL");
    EXPECT_EQ(b.host(1).dwSignalResult, static_cast<std::uint32_t>(kErrTimeout));
    // The others either finished with a pass before the hang or, waiting for the lock, were
    // ended at the limit; none has a failed sub-test.
    for (int host : {0, 2}) {
        EXPECT_NE(b.Cell(host, 8), "FAIL");
        EXPECT_EQ(b.Cell(host, 14) == "PASS", b.host(host).dwSignalResult == 0);
    }

    // The worker given up on returns without writing anything after its sub-test began, and
    // the lock is free.
    b.funTest().WaitForWorkers();
    EXPECT_EQ(b.Cell(1, 8), "doing");
    EXPECT_FALSE(b.Printed("Host[1],["));
    EXPECT_FALSE(b.funTest().m_FunTestCriticalSection.Held());

    // The next run is not blocked by anything left over.
    b.station->Controller(1).ClearFaults();
    b.funTest().ResetRunState();
    for (int host = 0; host < 3; ++host) b.host(host).ClearResults();
    b.funTest().FunTestStartFromMain(kSelectSignalLine, kPageMain);
    EXPECT_EQ(b.funTest().m_ucErrorCode, 0) << b.Out();
    for (int host = 0; host < 3; ++host)
        EXPECT_EQ(b.Cells(host, 8, 8) + b.Cell(host, 14), "PASSPASS");
}

TEST(FunTestScheduler, TerminationTimeOutWritesTheTerminationOverallColumnOfThePageRun) {
    SchedulerBench b({kAllPorts}, 0.002, nullptr, kPageTest);
    b.ini().test_speed = 1;
    b.station->Controller(0).HangFromCommand(1);  // the termination check never answers
    EXPECT_EQ(b.funTest().PageTestThread(kRunModeTestPage, kSelectTermination), kErrTimeout);
    EXPECT_TRUE(b.Printed("Termination Test Time Out, Fail!!!\r\n")) << b.Out();
    EXPECT_EQ(b.Cell(0, 12), "FAIL");
    EXPECT_EQ(b.Cell(0, 11), "");  // not the signal line column
    EXPECT_EQ(b.host(0).ucTerminationResult, 1);
    EXPECT_EQ(b.funTest().m_bFinished, 1);
}

}  // namespace
}  // namespace qnl::test
