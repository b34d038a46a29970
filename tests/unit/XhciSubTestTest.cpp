// The signal line, loop back and termination sub-tests against simulated controllers: a passing
// port and each way a port fails.
#include <gtest/gtest.h>

#include <algorithm>

#include "controller/ErrorCodes.h"
#include "porttest/LoopBackSubTest.h"
#include "porttest/SignalLineSubTest.h"
#include "porttest/TerminationSubTest.h"
#include "support/PortBench.h"

namespace qnl::test {
namespace {

using namespace qnl::mailbox;

constexpr std::uint32_t kUsb20 = 1, kUsb30 = 2, kUsb31 = 4;

const std::string kFullFixture = R"({
    "usb3_port1": { "type": "device", "speed": "superplus" },
    "usb3_port2": { "type": "device", "speed": "super" },
    "usb2_port1": { "type": "device", "speed": "high" },
    "usb2_port2": { "type": "hub", "speed": "high",
                    "children": [ { "type": "device", "speed": "full" } ] } })";

std::string OnePort(const std::string& key, const std::string& what) {
    return "{ \"" + key + "\": " + what + " }";
}

// The port parameter of each test command posted.
std::vector<std::uint32_t> TestCommandPorts(PortBench& b) {
    std::vector<std::uint32_t> ports;
    for (const auto& c : b.CommandsOf(CMD_TEST)) ports.push_back(c.dataLow);
    return ports;
}

// ---- Signal line -----------------------------------------------------------------------------

TEST(SignalLineSubTest, PassesOnEveryPopulatedSpeedAndPortAndDrivesTheRightXhciPort) {
    PortBench b(kFullFixture);
    EXPECT_EQ(SignalLineSubTest(b.xhci(), b.host(), kUsb20, 1, 200), 0) << b.Trace();
    EXPECT_EQ(SignalLineSubTest(b.xhci(), b.host(), kUsb20, 2, 200), 0) << b.Trace();
    EXPECT_EQ(SignalLineSubTest(b.xhci(), b.host(), kUsb30, 1, 200), 0) << b.Trace();
    EXPECT_EQ(SignalLineSubTest(b.xhci(), b.host(), kUsb30, 2, 200), 0) << b.Trace();
    EXPECT_EQ(SignalLineSubTest(b.xhci(), b.host(), kUsb31, 1, 200), 0) << b.Trace();
    // USB 2.0 Port 2 is xHCI port 4; USB 3.x Port 2 is xHCI port 2.
    EXPECT_EQ(TestCommandPorts(b), (std::vector<std::uint32_t>{3, 4, 1, 2, 1}));
    // The controller is left running.
    EXPECT_EQ(b.xhci().ShadowDword(0, xhci::REG_USBSTS) & xhci::USBSTS_HCHALTED, 0u);
}

TEST(SignalLineSubTest, NoDeviceFailsThePowerWaitAndMinusOneMeansThirtyMs) {
    PortBench b(OnePort("usb2_port2", R"({ "type": "device" })"));
    b.clock().ClearSleeps();
    EXPECT_EQ(SignalLineSubTest(b.xhci(), b.host(), kUsb20, 1, -1), kErrTimeout);
    const auto sleeps = b.clock().Sleeps();
    // Reset (write 100, settle 250), 100 ms pause, then three 10 ms polls of the power wait.
    EXPECT_EQ(sleeps, (std::vector<std::uint32_t>{100, 250, 100, 10, 10, 10})) << b.Trace();
    EXPECT_TRUE(TestCommandPorts(b).empty());
}

TEST(SignalLineSubTest, DeviceThatIsNotEnabledInTimeFailsTheEnabledWait) {
    PortBench b(
        OnePort("usb2_port1", R"({ "type": "device", "faults": { "enable_delay_ms": 900 } })"));
    EXPECT_EQ(SignalLineSubTest(b.xhci(), b.host(), kUsb20, 1, 300), kErrTimeout) << b.Trace();
    EXPECT_TRUE(TestCommandPorts(b).empty());
    // Given the time it needs, the same device does come up.
    EXPECT_EQ(SignalLineSubTest(b.xhci(), b.host(), kUsb20, 1, 999), 0) << b.Trace();
}

TEST(SignalLineSubTest, SuperSpeedDeviceFailsTheUsb31LinkCheckWithTheLinkByteClear) {
    PortBench b(kFullFixture);
    b.sim().ClearCommands();
    EXPECT_EQ(SignalLineSubTest(b.xhci(), b.host(), kUsb31, 2, 200), kErrDataNotMatch);
    EXPECT_EQ(b.CountReadsAt(SPACE_XDATA, 0xF299), 1) << "the link byte of port 2 was asked";
    EXPECT_TRUE(TestCommandPorts(b).empty());
    // The SuperSpeedPlus device on port 1 passes on PORTSC alone.
    b.sim().ClearCommands();
    EXPECT_EQ(SignalLineSubTest(b.xhci(), b.host(), kUsb31, 1, 200), 0);
    EXPECT_EQ(b.CountReadsAt(SPACE_XDATA, 0xF219), 0);
}

TEST(SignalLineSubTest, CompletionByteZeroFailsAtOnceWithoutPollingAgain) {
    PortBench b(
        OnePort("usb3_port1", R"({ "type": "device", "faults": { "signal_check_fails": true } })"));
    b.clock().ClearSleeps();
    EXPECT_EQ(SignalLineSubTest(b.xhci(), b.host(), kUsb30, 1, 200), kErrIo);
    EXPECT_EQ(b.CountReadsAt(SPACE_TEST_STATUS, 0), 1);
    const auto sleeps = b.clock().Sleeps();
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 500u), 1);
}

TEST(SignalLineSubTest, SixFailedCompletionReadsFailAfterThreeSeconds) {
    PortBench b(OnePort("usb3_port1", R"({ "type": "device",
                                          "faults": { "signal_check_never_completes": true } })"));
    b.sim().ClearCommands();
    b.clock().ClearSleeps();
    EXPECT_EQ(SignalLineSubTest(b.xhci(), b.host(), kUsb30, 1, 200), kErrIo);
    const auto reads = b.CommandsOf(CMD_MEM_READ);
    EXPECT_EQ(std::count_if(reads.begin(), reads.end(),
                            [](const sim::CommandRecord& c) {
                                return c.space == SPACE_TEST_STATUS && c.result != 0;
                            }),
              6);
    const auto sleeps = b.clock().Sleeps();
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 500u), 6);
}

TEST(SignalLineSubTest, UsbTwoPortResetFailureCountsOnlyAtUsb20) {
    const std::string ports = R"({
        "usb3_port1": { "type": "device", "speed": "super" },
        "usb2_port1": { "type": "device", "faults": { "port_reset_hangs": true } } })";
    PortBench b(ports);
    EXPECT_EQ(SignalLineSubTest(b.xhci(), b.host(), kUsb30, 1, 100), 0) << b.Trace();
    EXPECT_EQ(SignalLineSubTest(b.xhci(), b.host(), kUsb20, 1, 100), kErrTimeout) << b.Trace();
}

TEST(SignalLineSubTest, HostWithoutRegisterBaseOrBadArgumentsIsRefused) {
    PortBench b(kFullFixture);
    EXPECT_EQ(SignalLineSubTest(b.xhci(), b.host(), 3, 1, 200), kErrInvalidParameter);
    EXPECT_EQ(SignalLineSubTest(b.xhci(), b.host(), kUsb20, 3, 200), kErrInvalidParameter);
    b.host().dwMmioBase = 0;
    EXPECT_EQ(SignalLineSubTest(b.xhci(), b.host(), kUsb20, 1, 200), kErrInvalidParameter);
    EXPECT_EQ(b.bench.station->MappingCount(), 0u);
}

// ---- Loop back -------------------------------------------------------------------------------

// Distinct values in the bytes the sub-test must give back.
void SeedSavedBytes(PortBench& b) {
    b.sim().SetXdataByte(0xF418, 0xC3);
    b.sim().SetXdataByte(0xF467, 0x05);
    b.sim().SetXdataByte(0xF4A7, 0x06);
    b.sim().SetXdataByte(0xF469, 0x11);
    b.sim().SetXdataByte(0xF4A9, 0x22);
}

void ExpectRestored(PortBench& b) {
    EXPECT_EQ(b.sim().XdataByte(0xF418), 0xC3);
    EXPECT_EQ(b.sim().XdataByte(0xF467), 0x05);
    EXPECT_EQ(b.sim().XdataByte(0xF4A7), 0x06);
    EXPECT_EQ(b.sim().XdataByte(0xF469), 0x11);
    EXPECT_EQ(b.sim().XdataByte(0xF4A9), 0x22);
}

int WritesTo(PortBench& b, std::uint32_t address) {
    const auto writes = b.XdataWrites();
    return static_cast<int>(std::count_if(writes.begin(), writes.end(),
                                          [&](const auto& w) { return w.first == address; }));
}

TEST(LoopBackSubTest, PlugPassesFirstAttemptAtBothSpeedsAndRestoresWhatItChanged) {
    PortBench b(OnePort("usb3_port1", R"({ "type": "loopback" })"));
    SeedSavedBytes(b);
    b.sim().ClearCommands();
    EXPECT_EQ(LoopBackSubTest(b.bench.chip(), b.host(), 1, kUsb30), 0);
    const auto writes = b.XdataWrites();
    ASSERT_GE(writes.size(), 2u);
    EXPECT_EQ(writes[0], (std::pair<std::uint32_t, std::uint8_t>{0xF467, 2})) << "pattern 2 first";
    EXPECT_EQ(writes[1], (std::pair<std::uint32_t, std::uint8_t>{0xF469, 0xF2}));
    EXPECT_EQ(WritesTo(b, 0xF467), 2) << "one attempt, then the restore";
    ExpectRestored(b);
    EXPECT_EQ(b.sim().XdataByte(0xF405) & 0x03, 0) << "start bits cleared";
    EXPECT_EQ(b.sim().XdataByte(0xF433) & 0x08, 0) << "lane bit cleared";

    EXPECT_EQ(LoopBackSubTest(b.bench.chip(), b.host(), 1, kUsb31), 0);
    ExpectRestored(b);
    EXPECT_EQ(b.sim().XdataByte(0xF41B) & 0x01, 0);
    EXPECT_EQ(b.sim().XdataByte(0xF433) & 0x18, 0);
}

TEST(LoopBackSubTest, Port2AtUsb30ReadsItsOwnStatusAndLinkBytes) {
    PortBench b(OnePort("usb3_port2", R"({ "type": "loopback" })"));
    b.sim().ClearCommands();
    EXPECT_EQ(LoopBackSubTest(b.bench.chip(), b.host(), 2, kUsb30), 0);
    EXPECT_EQ(b.CountReadsAt(SPACE_XDATA, 0xF435), 1);
    EXPECT_EQ(b.CountReadsAt(SPACE_XDATA, 0xF434), 1);
    EXPECT_EQ(LoopBackSubTest(b.bench.chip(), b.host(), 1, kUsb30), kErrIo) << "nothing on 1";
}

TEST(LoopBackSubTest, Usb31LinkErrorIsClearedByTheRecoverySequence) {
    for (const char* kind : {"retrain", "phy_reset"}) {
        SCOPED_TRACE(kind);
        PortBench b(OnePort("usb3_port1", std::string(R"({ "type": "loopback",
                                              "faults": { "link_error": ")") +
                                              kind + "\" } }"));
        SeedSavedBytes(b);
        b.sim().ClearCommands();
        EXPECT_EQ(LoopBackSubTest(b.bench.chip(), b.host(), 1, kUsb31), 0);
        EXPECT_EQ(WritesTo(b, 0xF467), 2) << "passed on the first attempt";
        EXPECT_EQ(WritesTo(b, 0xF41A), 3) << "the retrain pulse";
        EXPECT_EQ(WritesTo(b, 0xF220), std::string(kind) == "phy_reset" ? 1 : 0);
        ExpectRestored(b);
    }
}

TEST(LoopBackSubTest, Usb30LinkErrorGetsNoRecoveryAndFailsAllEightyAttempts) {
    PortBench b(
        OnePort("usb3_port1", R"({ "type": "loopback", "faults": { "link_error": "retrain" } })"));
    SeedSavedBytes(b);
    b.sim().ClearCommands();
    EXPECT_EQ(LoopBackSubTest(b.bench.chip(), b.host(), 1, kUsb30), kErrIo);
    EXPECT_EQ(WritesTo(b, 0xF467), 81) << "80 attempts and the restore";
    EXPECT_EQ(WritesTo(b, 0xF41A), 0);
    ExpectRestored(b);
}

TEST(LoopBackSubTest, PersistentLinkErrorOrADeviceInsteadOfAPlugFails) {
    PortBench b(R"({ "usb3_port1": { "type": "loopback", "faults": { "link_error": "persistent" } },
                     "usb3_port2": { "type": "device" } })");
    EXPECT_EQ(LoopBackSubTest(b.bench.chip(), b.host(), 1, kUsb31), kErrIo);
    EXPECT_EQ(LoopBackSubTest(b.bench.chip(), b.host(), 2, kUsb30), kErrIo);
    EXPECT_EQ(LoopBackSubTest(b.bench.chip(), b.host(), 3, kUsb30), kErrInvalidParameter);
}

TEST(LoopBackSubTest, ChannelErrorWhileSavingEndsWithItsCode) {
    PortBench b(OnePort("usb3_port1", R"({ "type": "loopback" })"));
    b.sim().FailCommandAt(CMD_MEM_READ, 0xF4A7);
    EXPECT_EQ(LoopBackSubTest(b.bench.chip(), b.host(), 1, kUsb30), kErrIo);
    EXPECT_NE(b.bench.tool->LogText().find("Read_Memory Fail!!"), std::string::npos);
    EXPECT_EQ(WritesTo(b, 0xF467), 0) << "no attempt was made";
}

// ---- Termination -----------------------------------------------------------------------------

TEST(TerminationSubTest, TerminatedDevicePassesAfterTheExtraWaitAndLeavesTheControllerHalted) {
    PortBench b(kFullFixture);
    b.clock().ClearSleeps();
    EXPECT_EQ(TerminationSubTest(b.xhci(), b.host(), 1), 0) << b.Trace();
    const auto sleeps = b.clock().Sleeps();
    EXPECT_NE(std::find(sleeps.begin(), sleeps.end(), 600u), sleeps.end());
    EXPECT_EQ(b.sim().XdataByte(0xF432) & 0x04, 0) << "start bit cleared again";
    EXPECT_EQ(b.xhci().ShadowDword(0, xhci::REG_USBSTS) & xhci::USBSTS_HCHALTED, 1u);
    b.sim().ClearCommands();
    EXPECT_EQ(TerminationSubTest(b.xhci(), b.host(), 2), 0) << b.Trace();
    EXPECT_EQ(b.CountReadsAt(SPACE_XDATA, 0xF436), 2);
    EXPECT_EQ(b.CountReadsAt(SPACE_XDATA, 0xF432), 0);
}

TEST(TerminationSubTest, ResultBitClearFailsAndStillClearsTheStartBit) {
    PortBench b(
        OnePort("usb3_port1", R"({ "type": "device", "faults": { "termination_broken": true } })"));
    b.clock().ClearSleeps();
    EXPECT_EQ(TerminationSubTest(b.xhci(), b.host(), 1), kErrIo);
    const auto sleeps = b.clock().Sleeps();
    EXPECT_EQ(std::find(sleeps.begin(), sleeps.end(), 600u), sleeps.end());
    EXPECT_EQ(b.sim().XdataByte(0xF432) & 0x04, 0);
}

TEST(TerminationSubTest, PortWithoutAnEnabledDeviceFailsWithoutMicrocontrollerAccess) {
    PortBench b(OnePort("usb2_port1", R"({ "type": "device" })"));
    b.sim().ClearCommands();
    EXPECT_EQ(TerminationSubTest(b.xhci(), b.host(), 1), kErrIo);
    EXPECT_TRUE(b.sim().Commands().empty());
}

}  // namespace
}  // namespace qnl::test
