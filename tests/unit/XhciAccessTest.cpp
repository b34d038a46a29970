// CXhci: byte-wise register access through 4 KB windows, the register shadow, the controller
// and port operations and the port connection scan, against simulated controllers.
#include <gtest/gtest.h>

#include <set>
#include <stop_token>

#include "controller/ErrorCodes.h"
#include "platform/Cancellation.h"
#include "support/ForwardingIo.h"
#include "support/PortBench.h"

namespace qnl::test {
namespace {

using namespace qnl::xhci;

// Passes every call to the station and counts the register-window calls.
class CountingIo final : public ForwardingIo {
  public:
    using ForwardingIo::ForwardingIo;

    std::vector<std::pair<std::uint32_t, std::uint32_t>> maps;  // (physical, size)
    int byteReads = 0;
    int byteWrites = 0;

    MappedAddress MapQnlIO(std::uint32_t physical, std::uint32_t size) override {
        maps.emplace_back(physical, size);
        return inner_.MapQnlIO(physical, size);
    }
    std::int32_t ReadMEM(MappedAddress a, std::uint32_t w, std::uint32_t* r) override {
        ++byteReads;
        return inner_.ReadMEM(a, w, r);
    }
    std::int32_t WriteMEM(MappedAddress a, std::uint32_t w, const std::uint32_t* v) override {
        ++byteWrites;
        return inner_.WriteMEM(a, w, v);
    }
};

// A tool over a counting wrapper of a one-controller station.
struct CountingBench {
    explicit CountingBench(const std::string& extra = "")
        : bench("[" +
                ControllerJson(3, 0, 0, 0,
                               R"("bar0": "0xE0000000", "ports": {
                                          "usb3_port1": { "type": "device", "speed": "super" },
                                          "usb2_port2": { "type": "device" } })" +
                                   (extra.empty() ? "" : ", " + extra)) +
                "]"),
          io(*bench.station),
          tool(io, bench.Folder(), &bench.clock) {
        EXPECT_EQ(tool.context->interctl.AssignPciBus(3, 0, 0, ""), 0);
        io.maps.clear();
    }
    CXhci& xhci() { return tool.context->xhci; }
    TargetHost& host() { return tool.context->g_Utility.Host(0); }

    SimBench bench;
    CountingIo io;
    ToolUnderTest tool;
};

TEST(XhciAccess, ReadMmioRefusesLengthsThatAreNotWholeDwordsWithoutMapping) {
    CountingBench b;
    std::uint8_t buffer[8] = {};
    EXPECT_EQ(b.xhci().ReadMmio(b.host(), buffer, 3, 0), kErrInvalidParameter);
    EXPECT_EQ(b.xhci().ReadMmio(b.host(), buffer, 6, 0), kErrInvalidParameter);
    EXPECT_TRUE(b.io.maps.empty());
    EXPECT_EQ(b.xhci().ReadMmio(b.host(), buffer, 8, 0), kOk);
    EXPECT_EQ(buffer[0], 0x20);  // CAPLENGTH
    EXPECT_EQ(b.io.byteReads, 8);
}

TEST(XhciAccess, LoadRegistersRemapsAtTheWindowBoundaryAndReleasesEveryMapping) {
    CountingBench b;
    ASSERT_EQ(b.xhci().LoadRegisters(b.host()), kOk);
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> expected{
        {0xE0000000, 4},        // the probe
        {0xE0000000, 0x1000},   // the 5136-byte read: first window ...
        {0xE0001000, 0x1000},   // ... re-mapped at offset 4096
        {0xE0000004, 0x1000}};  // HCSPARAMS1 read again
    EXPECT_EQ(b.io.maps, expected);
    EXPECT_EQ(b.io.byteReads, 0x1410 + 4) << "one call per byte, no wider access";
    EXPECT_EQ(b.bench.station->MappingCount(), 0u);
}

TEST(XhciAccess, LoadRegistersFillsTheShadowAndHcsParams1) {
    CountingBench b;
    b.bench.clock.AdvanceMs(50);  // the SuperSpeed device has trained by now
    ASSERT_EQ(b.xhci().LoadRegisters(b.host()), kOk);
    EXPECT_EQ(b.xhci().ShadowDword(0, REG_CAPLENGTH), 0x01000020u);
    EXPECT_EQ(b.xhci().HcsParams1(0) & HCSPARAMS1_MAX_SLOTS, 32u);
    EXPECT_EQ(b.xhci().ShadowDword(0, REG_USBSTS) & USBSTS_HCHALTED, 1u);
    EXPECT_EQ(b.xhci().ShadowDword(0, RegPortsc(1)) & 0xFFFF, 0x1203u) << "speed 4, U0, enabled";
    EXPECT_EQ(b.xhci().ShadowDword(0, RegPortsc(4)) & 0x201, 0x201u) << "USB 2.0 device seen";
}

TEST(XhciAccess, HaltOnAHaltedControllerWritesNothing) {
    CountingBench b;
    ASSERT_EQ(b.xhci().LoadRegisters(b.host()), kOk);
    b.io.byteWrites = 0;
    EXPECT_EQ(b.xhci().HaltHostController(b.host()), kErrIo);
    EXPECT_EQ(b.io.byteWrites, 0);
    b.xhci().RunHostController(b.host());
    EXPECT_EQ(b.xhci().HaltHostController(b.host()), kOk);
}

TEST(XhciAccess, ResetClearsHcrstAndCnrAndEveryWriteSettlesFor100Ms) {
    CountingBench b;
    ASSERT_EQ(b.xhci().LoadRegisters(b.host()), kOk);
    b.xhci().RunHostController(b.host());
    b.tool.clock.ClearSleeps();
    EXPECT_EQ(b.xhci().ResetHostController(b.host()), kOk);
    EXPECT_EQ(b.tool.clock.Sleeps(), (std::vector<std::uint32_t>{100, 250}));
    EXPECT_EQ(b.xhci().ShadowDword(0, REG_USBCMD), 0u);
    EXPECT_EQ(b.xhci().ShadowDword(0, REG_USBSTS) & (USBSTS_CNR | USBSTS_HCHALTED), 1u);
    b.xhci().SetMaxSlotsEnabled(b.host());
    EXPECT_EQ(b.xhci().ShadowDword(0, REG_CONFIG), 32u);
}

TEST(XhciAccess, AllOnesEndsTheRegisterWaitAtOnceAndIsNoUnservedController) {
    CountingBench b;
    ASSERT_EQ(b.xhci().LoadRegisters(b.host()), kOk);
    b.bench.controller(0).DropOffBusAtCommand(0);
    b.tool.clock.ClearSleeps();
    // The mask test alone would pass on 0xFFFFFFFF.
    EXPECT_EQ(b.xhci().WaitRegister(b.host(), REG_USBSTS, 0x1, 0x1, 250), kErrIo);
    EXPECT_TRUE(b.tool.clock.Sleeps().empty());
    // The load itself succeeds on a gone controller; the first wait then reports it.
    EXPECT_EQ(b.xhci().LoadRegisters(b.host()), kOk);
    EXPECT_EQ(b.xhci().ShadowDword(0, REG_CAPLENGTH), 0xFFFFFFFFu);
    EXPECT_EQ(b.tool.LogText().find("CAPLENGTH"), std::string::npos) << b.tool.LogText();
    EXPECT_EQ(b.xhci().ResetHostController(b.host()), kErrIo);
    // The port waits never take all ones for a connected or enabled port: they time out.
    EXPECT_EQ(b.xhci().PowerPortAndWaitConnect(b.host(), 1, 50), kErrTimeout);
    EXPECT_EQ(b.xhci().WaitPortEnabled(b.host(), 3, 50), kErrTimeout);
}

TEST(XhciAccess, ControllerWithAnotherCapLengthIsRefusedNotDriven) {
    CountingBench b(R"("cap_length": "0x40")");
    b.io.byteWrites = 0;
    EXPECT_EQ(b.xhci().LoadRegisters(b.host()), kErrInvalidParameter);
    EXPECT_NE(b.tool.LogText().find("Bus=3, Device=0, Function=0, CAPLENGTH 0x40 is not 0x20"),
              std::string::npos)
        << b.tool.LogText();
    b.host().ucPortConnected = {1, 1, 1, 1};
    b.tool.context->g_Utility.ucHostCount = 1;
    b.xhci().ScanPortConnections();
    EXPECT_EQ(b.io.byteWrites, 0) << "no register of that controller is written";
    EXPECT_EQ(b.host().ucPortConnected, (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(b.xhci().ScanProgress(), 100);
}

TEST(XhciAccess, SuperSpeedPlusLinkCheckFallsBackToTheMicrocontrollerLinkByte) {
    CountingBench b;
    b.bench.clock.AdvanceMs(50);
    ASSERT_EQ(b.xhci().LoadRegisters(b.host()), kOk);
    EXPECT_EQ(b.xhci().CheckSuperSpeedPlusLink(b.host(), 1), kErrDataNotMatch) << "speed 4";
    b.bench.controller(0).SetXdataByte(0xF219, 0x01);
    EXPECT_EQ(b.xhci().CheckSuperSpeedPlusLink(b.host(), 1), kOk);
    b.host().ucChipType = 0xFF;
    EXPECT_EQ(b.xhci().CheckSuperSpeedPlusLink(b.host(), 1), kErrInvalidParameter);
    EXPECT_EQ(b.xhci().CheckSuperSpeedPlusLink(b.host(), 5), kErrInvalidParameter);
}

TEST(XhciAccess, KindOneChipReadsItsOwnLinkByteAddresses) {
    PortBench b(R"({ "usb3_port2": { "type": "device", "speed": "superplus" } })", 1);
    ASSERT_EQ(b.host().ucChipType, 1);
    b.clock().AdvanceMs(50);
    EXPECT_TRUE(b.sim().PortStatus(2).enabled);
    EXPECT_EQ(b.sim().XdataByte(0x1A219) & 1, 1) << "the firmware keeps the Gen2 link bit";
    ASSERT_EQ(b.xhci().LoadRegisters(b.host()), kOk);
    EXPECT_EQ(b.xhci().CheckSuperSpeedPlusLink(b.host(), 2), kOk) << "PORTSC 0x1603";
    EXPECT_EQ(b.xhci().CheckSuperSpeedPlusLink(b.host(), 1), kErrDataNotMatch);
    EXPECT_EQ(b.CountReadsAt(mailbox::SPACE_XDATA, 0x19219), 1);
}

TEST(XhciAccess, WarmResetEndsWithWrcOnSuperSpeedPortsOnly) {
    PortBench b(R"({ "usb3_port1": { "type": "device" }, "usb2_port1": { "type": "device" } })");
    ASSERT_EQ(b.xhci().LoadRegisters(b.host()), kOk);
    EXPECT_EQ(b.xhci().WarmResetPort(b.host(), 1), kOk) << b.Trace();
    EXPECT_EQ(b.xhci().WarmResetPort(b.host(), 3), kErrIo) << "no warm reset on USB 2.0";
    EXPECT_EQ(b.xhci().WaitPortEnabled(b.host(), 1, 100), kOk) << "the link trains again";
}

TEST(XhciAccess, WaitsEndPromptlyWhenTheWorkerIsToldToStop) {
    PortBench b(R"({ "usb2_port1": { "type": "device" } })");
    ASSERT_EQ(b.xhci().LoadRegisters(b.host()), kOk);
    std::stop_source stop;
    stop.request_stop();
    StopTokenScope scope(stop.get_token());
    b.clock().ClearSleeps();
    EXPECT_EQ(b.xhci().WaitPortEnabled(b.host(), 3, 1000000), kErrTimeout);
    EXPECT_EQ(b.xhci().WaitRegister(b.host(), REG_USBSTS, 1, 0, 1000000), kErrTimeout);
    EXPECT_EQ(b.clock().Sleeps().size(), 2u) << "one cut-short sleep each";
}

// ---- Port connection scan ------------------------------------------------------------------

struct ThreeHosts {
    ThreeHosts()
        : bench("[" +
                ControllerJson(2, 0, 0, 0,
                               R"("ports": { "usb3_port1": { "type": "device" },
                                             "usb2_port2": { "type": "device" } })") +
                "," +
                ControllerJson(3, 0, 0, 0, R"("ports": { "usb2_port1": { "type": "hub" } })") +
                "," +
                ControllerJson(4, 0, 0, 1, R"("ports": { "usb3_port2": { "type": "loopback" } })") +
                "]") {
        EXPECT_EQ(bench.chip().ScanPciBus(""), 0);
        EXPECT_EQ(bench.util().ucHostCount, 3);
    }
    SimBench bench;
};

TEST(XhciScan, ThreeHostsAdvanceByThreePerStepAndRecordWhatIsPlugged) {
    ThreeHosts t;
    CXhci& xhci = t.bench.xhci();
    std::vector<int> seen;
    for (std::size_t i = 0; i < 3; ++i) {
        t.bench.controller(i).SetRegisterTrace([&](const sim::RegisterAccess&) {
            const int p = xhci.ScanProgress();
            if (seen.empty() || seen.back() != p) seen.push_back(p);
        });
    }
    EXPECT_EQ(xhci.ScanPortConnections(), kErrTimeout) << "the last port (4 of host 2) is empty";
    EXPECT_EQ(xhci.ScanProgress(), 100);
    // Per host (base b = 0, 27, 54): the load at b, reset at b+3, slots b+6, run b+9, the four
    // port waits at b+15..b+24 (b+12 is passed straight to the first port), the halt at b+27.
    std::vector<int> expected;
    for (int b = 0; b <= 54; b += 27) {
        for (int p : {0, 3, 6, 9, 15, 18, 21, 24}) expected.push_back(b + p);
    }
    expected.push_back(81);
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(t.bench.util().Host(0).ucPortConnected, (std::array<std::uint8_t, 4>{1, 0, 0, 1}));
    EXPECT_EQ(t.bench.util().Host(1).ucPortConnected, (std::array<std::uint8_t, 4>{0, 0, 1, 0}));
    EXPECT_EQ(t.bench.util().Host(2).ucPortConnected, (std::array<std::uint8_t, 4>{0, 0, 0, 0}))
        << "a loop-back plug never trains, so it is not a connection";
}

TEST(XhciScan, HostWhoseCapabilityDwordIsZeroEndsTheScan) {
    ThreeHosts t;
    t.bench.util().Host(1).dwMmioBase = 0;  // nothing to read: its shadow stays zero
    t.bench.util().Host(2).ucPortConnected = {7, 7, 7, 7};
    std::vector<int> writesTo(3, 0);
    for (std::size_t i = 0; i < 3; ++i) {
        t.bench.controller(i).SetRegisterTrace([&, i](const sim::RegisterAccess& a) {
            if (a.write) ++writesTo[i];
        });
    }
    t.bench.xhci().ScanPortConnections();
    EXPECT_GT(writesTo[0], 0);
    EXPECT_EQ(writesTo[2], 0);
    EXPECT_EQ(t.bench.util().Host(2).ucPortConnected, (std::array<std::uint8_t, 4>{7, 7, 7, 7}));
    EXPECT_EQ(t.bench.xhci().ScanProgress(), 100);
}

TEST(XhciScan, NoHostsIsAnEmptyScan) {
    SimBench bench("[]");
    EXPECT_EQ(bench.xhci().ScanPortConnections(), kOk);
    EXPECT_EQ(bench.xhci().ScanProgress(), 100);
}

}  // namespace
}  // namespace qnl::test
