// The simulated xHCI, reached only through the register window of the I/O library (byte-wise,
// as the tool reaches it), with the station clock driven by hand; and the port-test firmware
// behind it, reached through the mailbox.
#include <gtest/gtest.h>

#include "qnlio/PortTestMemory.h"
#include "support/SimTestHelpers.h"

namespace qnl::sim {
namespace {

using namespace qnl::mailbox;
using simtest::Address;
using simtest::MakeStation;
using simtest::Post;
using simtest::ReadMemory;
using simtest::TempFolder;
using simtest::WriteXdata;

constexpr std::uint32_t kBar = 0xE0000000;
constexpr Address kHost{1, 0, 0};
// Operational registers (CAPLENGTH 0x20) and PORTSC of xHCI port n.
constexpr std::uint32_t USBCMD = 0x20, USBSTS = 0x24, DNCTRL = 0x34, CONFIG = 0x58;
constexpr std::uint32_t Portsc(std::uint32_t n) {
    return 0x420 + 0x10 * (n - 1);
}
// PORTSC bits.
constexpr std::uint32_t CCS = 1, PED = 2, PR = 0x10, PP = 0x200, CSC = 1u << 17, WRC = 1u << 19,
                        PRC = 1u << 21, WPR = 1u << 31;
constexpr std::uint32_t Pls(std::uint32_t v) {
    return (v >> 5) & 0xF;
}
constexpr std::uint32_t Speed(std::uint32_t v) {
    return (v >> 10) & 0xF;
}

class SimXhciModel : public ::testing::Test {
  protected:
    void Start(const std::string& ports, const std::string& extra = "") {
        station = MakeStation(folder,
                              R"({ "controllers": [ { "bus": 1, "bar0": "0xE0000000", "ports": )" +
                                  ports + (extra.empty() ? "" : ", " + extra) + " } ] }",
                              clock);
        ASSERT_TRUE(station);
        window = station->MapQnlIO(kBar, 0x1000);
        ASSERT_NE(window, 0u);
        station->Controller(0).SetRegisterTrace([this](const RegisterAccess& a) {
            lastName = a.name;
            if (a.write) ++writes;
        });
    }
    std::uint32_t Read(std::uint32_t offset) {
        std::uint32_t value = 0;
        for (std::uint32_t i = 0; i < 4; ++i) {
            std::uint32_t byte = 0;
            EXPECT_EQ(station->ReadMEM(window + offset + i, 1, &byte), 0);
            value |= byte << (8 * i);
        }
        return value;
    }
    void WriteByte(std::uint32_t offset, std::uint8_t value) {
        const std::uint32_t v = value;
        EXPECT_EQ(station->WriteMEM(window + offset, 1, &v), 0);
    }
    void Write(std::uint32_t offset, std::uint32_t value) {
        for (std::uint32_t i = 0; i < 4; ++i)
            WriteByte(offset + i, static_cast<std::uint8_t>(value >> (8 * i)));
    }

    TempFolder folder;
    ManualClock clock;
    std::unique_ptr<SimStation> station;
    MappedAddress window = 0;
    std::string lastName;
    int writes = 0;
};

TEST_F(SimXhciModel, CapabilityRegistersDescribeFourPortsAndAreReadOnly) {
    Start("{}");
    EXPECT_EQ(Read(0x00), 0x01000020u);  // CAPLENGTH 0x20, HCIVERSION 1.0
    EXPECT_EQ(lastName, "CAPLENGTH/HCIVERSION");
    const std::uint32_t hcs1 = Read(0x04);
    EXPECT_EQ(hcs1 & 0xFF, 32u) << "MaxSlots";
    EXPECT_EQ(hcs1 >> 24, 4u) << "MaxPorts";
    Write(0x04, 0);
    EXPECT_EQ(Read(0x04), hcs1);
    EXPECT_EQ(Read(USBSTS) & 1, 1u) << "halted after power-on";
    EXPECT_EQ(Read(0x100), 0u) << "unknown offsets read 0";
    Write(DNCTRL, 0x12345678);
    EXPECT_EQ(Read(DNCTRL), 0x5678u) << "only the writable bits";
}

TEST_F(SimXhciModel, CapLengthMovesTheOperationalRegisters) {
    Start("{}", R"("cap_length": 64)");
    EXPECT_EQ(Read(0x00) & 0xFF, 0x40u);
    EXPECT_EQ(Read(0x44) & 1, 1u) << "USBSTS at CAPLENGTH + 4";
    EXPECT_EQ(Read(USBSTS), 0u) << "0x24 is inside the capability block now";
}

TEST_F(SimXhciModel, HostResetClearsAfterAWhileAndRestoresEveryRegister) {
    Start("{}");
    Write(CONFIG, 0x20);
    Write(USBCMD, 0x1);  // run
    EXPECT_EQ(Read(USBSTS) & 1, 0u);
    Write(USBCMD, 0x3);  // HCRST
    EXPECT_EQ(Read(USBCMD) & 0x2, 0x2u);
    EXPECT_EQ(Read(USBSTS) & 0x801, 0x801u) << "halted and not ready";
    Write(USBCMD, 0x1);
    EXPECT_EQ(Read(USBCMD) & 0x1, 0u) << "nothing is taken during the reset";
    clock.AdvanceMs(2);
    EXPECT_EQ(Read(USBCMD), 0u) << "HCRST cleared";
    EXPECT_EQ(Read(USBSTS) & 0x800, 0x800u) << "CNR still set";
    EXPECT_EQ(Read(CONFIG), 0u);
    Write(USBCMD, 0x1);
    EXPECT_EQ(Read(USBCMD) & 1, 0u) << "Run is refused while not ready";
    clock.AdvanceMs(8);
    EXPECT_EQ(Read(USBSTS) & 0x801, 0x1u);
}

TEST_F(SimXhciModel, RunStopClearsAndSetsHcHalted) {
    Start("{}");
    Write(USBCMD, 0x1);
    EXPECT_EQ(Read(USBSTS) & 1, 0u);
    Write(USBCMD, 0x0);
    EXPECT_EQ(Read(USBSTS) & 1, 0u) << "halting takes a moment";
    clock.AdvanceMs(1);
    EXPECT_EQ(Read(USBSTS) & 1, 1u);
}

TEST_F(SimXhciModel, Usb2DeviceConnectsAndIsEnabledByAPortReset) {
    Start(R"({ "usb2_port1": { "type": "device", "speed": "high" },
               "usb2_port2": { "type": "device", "speed": "full",
                               "faults": { "enable_delay_ms": 40 } } })");
    EXPECT_EQ(Read(Portsc(3)) & (PP | CCS), PP) << "debouncing";
    clock.AdvanceMs(2);
    std::uint32_t v = Read(Portsc(3));
    EXPECT_EQ(v & (PP | CCS | CSC | PED), PP | CCS | CSC);
    EXPECT_EQ(Pls(v), 7u) << "Polling: connected, not enabled";
    Write(Portsc(3), v | PR);  // also writes CSC back as 1: cleared
    v = Read(Portsc(3));
    EXPECT_EQ(v & (PR | CSC | PED), PR);
    clock.AdvanceMs(15);
    v = Read(Portsc(3));
    EXPECT_EQ(v & (PR | PRC | PED | 0x3E3), PRC | 0x203) << "enabled, U0";
    EXPECT_EQ(Speed(v), 3u) << "high speed";

    clock.AdvanceMs(2);  // a slow device: PR ends, the port enables 40 ms later
    Write(Portsc(4), Read(Portsc(4)) | PR);
    clock.AdvanceMs(15);
    EXPECT_EQ(Read(Portsc(4)) & (PR | PED), 0u);
    clock.AdvanceMs(40);
    v = Read(Portsc(4));
    EXPECT_EQ(v & 0x3E3, 0x203u);
    EXPECT_EQ(Speed(v), 1u) << "full speed";
    EXPECT_EQ(Read(Portsc(2)) & CCS, 0u);
    Write(Portsc(2), Read(Portsc(2)) | PR);
    EXPECT_EQ(Read(Portsc(2)) & PR, 0u) << "no device: the reset is not started";
}

TEST_F(SimXhciModel, SuperSpeedPortsTrainByThemselvesAndReportSuperSpeedPlus) {
    Start(R"({ "usb3_port1": { "type": "device", "speed": "superplus" },
               "usb3_port2": { "type": "loopback" } })");
    EXPECT_EQ(Pls(Read(Portsc(1))), 7u) << "Polling";
    clock.AdvanceMs(20);
    const std::uint32_t v = Read(Portsc(1));
    EXPECT_EQ(v & 0xFFFF, 0x1603u) << "CCS, PED, PP, U0, speed 5";
    EXPECT_EQ(v & CSC, CSC);
    EXPECT_EQ(Read(USBSTS) & 0x10, 0x10u) << "port change detect";
    EXPECT_EQ(Read(Portsc(2)) & 0xFFFF, 0x0200u | (7u << 5)) << "a plug never trains";
    EXPECT_EQ(station->Controller(0).XdataByte(0xF219) & 1, 1) << "Gen2 link bit";
}

TEST_F(SimXhciModel, WriteOneToClearActsOnlyOnTheWrittenByteLanes) {
    Start(R"({ "usb3_port1": { "type": "device" } })");
    clock.AdvanceMs(20);
    ASSERT_EQ(Read(Portsc(1)) & CSC, CSC);
    WriteByte(Portsc(1), static_cast<std::uint8_t>(Read(Portsc(1)) & ~PED));  // byte 0 only
    EXPECT_EQ(Read(Portsc(1)) & (CSC | PED), CSC | PED)
        << "change bits live in byte 2; writing byte 0 with PED clear keeps the port enabled";
    WriteByte(Portsc(1) + 2, 0x00);
    EXPECT_EQ(Read(Portsc(1)) & CSC, CSC) << "writing 0 does not clear";
    WriteByte(Portsc(1) + 2, 0x02);
    EXPECT_EQ(Read(Portsc(1)) & CSC, 0u);
}

TEST_F(SimXhciModel, DisabledSuperSpeedLinkComesBackOnlyWithAWarmReset) {
    Start(R"({ "usb3_port1": { "type": "device", "speed": "superplus" } })");
    clock.AdvanceMs(20);
    Write(Portsc(1), Read(Portsc(1)) | PED);
    std::uint32_t v = Read(Portsc(1));
    EXPECT_EQ(v & (PED | CCS), CCS);
    EXPECT_EQ(Pls(v), 4u) << "Disabled";
    EXPECT_EQ(station->Controller(0).XdataByte(0xF219) & 1, 0) << "link down";
    clock.AdvanceMs(100);
    EXPECT_EQ(Read(Portsc(1)) & PED, 0u) << "stays disabled";
    Write(Portsc(1), Read(Portsc(1)) | WPR);
    EXPECT_EQ(Read(Portsc(1)) & PR, PR);
    clock.AdvanceMs(12);
    v = Read(Portsc(1));
    EXPECT_EQ(v & (WRC | PRC | PR), WRC | PRC);
    clock.AdvanceMs(20);
    EXPECT_EQ(Read(Portsc(1)) & 0xFFFF, 0x1603u);
    Write(Portsc(3), WPR);
    EXPECT_EQ(Read(Portsc(3)) & (PR | WRC), 0u) << "USB 2.0 ports have no warm reset";
}

TEST_F(SimXhciModel, PortPowerRemovesAndRestoresTheConnection) {
    Start(R"({ "usb2_port1": { "type": "hub" } })");
    clock.AdvanceMs(2);
    ASSERT_EQ(Read(Portsc(3)) & CCS, CCS);
    Write(Portsc(3), Read(Portsc(3)) & ~PP);
    EXPECT_EQ(Read(Portsc(3)) & (PP | CCS), 0u);
    Write(Portsc(3), Read(Portsc(3)) | PP);
    clock.AdvanceMs(2);
    EXPECT_EQ(Read(Portsc(3)) & (PP | CCS), PP | CCS);
}

TEST_F(SimXhciModel, HostResetReconnectsEveryPort) {
    Start(R"({ "usb3_port2": { "type": "device" }, "usb2_port2": { "type": "device" } })");
    clock.AdvanceMs(20);
    Write(Portsc(4), Read(Portsc(4)) | PR);
    clock.AdvanceMs(15);
    ASSERT_EQ(Read(Portsc(4)) & PED, PED);
    Write(USBCMD, 0x2);
    clock.AdvanceMs(2);
    EXPECT_EQ(Read(Portsc(4)) & (PED | CCS | PP), PP) << "reset: powered, seen again shortly";
    EXPECT_EQ(Read(Portsc(2)) & PED, 0u);
    clock.AdvanceMs(20);
    EXPECT_EQ(Read(Portsc(4)) & (PED | CCS), CCS);
    EXPECT_EQ(Read(Portsc(2)) & (PED | CCS), PED | CCS);
}

TEST_F(SimXhciModel, OffTheBusEveryRegisterReadsAllOnesAndWritesAreLost) {
    Start("{}");
    station->Controller(0).DropOffBusAtCommand(0);
    writes = 0;
    Write(USBCMD, 1);
    EXPECT_EQ(writes, 0);
    EXPECT_EQ(Read(0x00), 0xFFFFFFFFu);
    EXPECT_EQ(Read(USBSTS), 0xFFFFFFFFu);
}

// ---- The port-test firmware -----------------------------------------------------------------

class SimPortFirmwareModel : public SimXhciModel {
  protected:
    std::uint8_t Byte(std::uint32_t address) {
        std::uint8_t b = 0;
        EXPECT_EQ(ReadMemory(*station, kHost, SPACE_XDATA, address, 1, &b), 0);
        return b;
    }
    void Set(std::uint32_t address, std::uint8_t value) {
        EXPECT_EQ(WriteXdata(*station, kHost, address, {value}), 0);
    }
    // Posts the test command for `port` and reads its completion 300 ms later.
    std::int32_t Check(std::uint32_t port, std::uint8_t& completion) {
        const std::int32_t rc = Post(*station, kHost, CMD_TEST, SPACE_XDATA, 1, 0, port);
        if (rc != 0) return rc;
        if (ReadMemory(*station, kHost, SPACE_TEST_STATUS, 0, 1, &completion) != -1) return -99;
        clock.AdvanceMs(300);
        return ReadMemory(*station, kHost, SPACE_TEST_STATUS, 0, 1, &completion);
    }
};

TEST_F(SimPortFirmwareModel, SignalCheckPassesOnlyOnAnEnabledLinkWithADevice) {
    Start(R"({ "usb3_port1": { "type": "device" }, "usb3_port2": { "type": "loopback" },
               "usb2_port1": { "type": "device" },
               "usb2_port2": { "type": "device", "faults": { "signal_check_fails": true } } })");
    clock.AdvanceMs(20);
    std::uint8_t completion = 0xEE;
    ASSERT_EQ(Check(1, completion), 0);
    EXPECT_EQ(completion, 1) << "trained SuperSpeed device";
    ASSERT_EQ(Check(2, completion), 0);
    EXPECT_EQ(completion, 0) << "a loop-back plug is no device";
    ASSERT_EQ(Check(3, completion), 0);
    EXPECT_EQ(completion, 0) << "connected but not yet enabled";
    Write(Portsc(3), Read(Portsc(3)) | PR);
    Write(Portsc(4), Read(Portsc(4)) | PR);
    clock.AdvanceMs(15);
    ASSERT_EQ(Check(3, completion), 0);
    EXPECT_EQ(completion, 1);
    ASSERT_EQ(Check(4, completion), 0);
    EXPECT_EQ(completion, 0) << "bad signal lines";
    EXPECT_EQ(Post(*station, kHost, CMD_TEST, SPACE_XDATA, 1, 0, 5), -1);
}

TEST_F(SimPortFirmwareModel, LoopBackEngineNeedsThePlugTheOpenGateAndTheLane) {
    Start(R"({ "usb3_port1": { "type": "loopback" } })");
    EXPECT_EQ(Byte(0xF418), 0xC0) << "both gates closed at boot";
    Set(0xF467, 2);
    Set(0xF469, 0xF2);
    Set(0xF433, 0x08);
    Set(0xF405, 0x03);  // start at USB 3.0 with the gate closed
    EXPECT_EQ(Byte(0xF431), 0x20);
    Set(0xF405, 0x00);
    Set(0xF418, 0x40);  // open the USB 3.0 gate
    Set(0xF405, 0x03);
    EXPECT_EQ(Byte(0xF431), 0x30);
    EXPECT_EQ(Byte(0xF430), 0x00) << "no link error";
    Set(0xF405, 0x00);
    Set(0xF469, 0xD2);  // pattern control says "no pattern" while pattern 2 is set
    Set(0xF405, 0x03);
    EXPECT_EQ(Byte(0xF431), 0x20);
}

TEST_F(SimPortFirmwareModel, LinkErrorsClearByRetrainOrPhyResetAsConfigured) {
    Start(R"({ "usb3_port1": { "type": "loopback", "faults": { "link_error": "retrain" } },
               "usb3_port2": { "type": "loopback", "faults": { "link_error": "persistent" } } })");
    Set(0xF418, 0x00);
    Set(0xF433, 0x18);
    Set(0xF437, 0x18);
    Set(0xF41B, 0x01);  // start at USB 3.1
    EXPECT_EQ(Byte(0xF432) & 0x04, 0x04) << "data passed on port 1";
    EXPECT_NE(Byte(0xF430), 0) << "but the link reported an error";
    EXPECT_NE(Byte(0xF434), 0);
    Set(0xF41A, 0x10);
    Set(0xF41A, 0x00);  // falling edge of the pulse: retrain
    EXPECT_EQ(Byte(0xF430), 0);
    EXPECT_NE(Byte(0xF434), 0) << "persistent";
    Set(0xF220, 0x04);
    Set(0xF281, 0x04);  // PHY reset of port 2
    EXPECT_EQ(Byte(0xF220) & 0xC4, 0xC4) << "command taken and done";
    EXPECT_NE(Byte(0xF212), 2) << "the link did not come back";
    EXPECT_NE(Byte(0xF434), 0);
}

TEST_F(SimPortFirmwareModel, TerminationIsSeenOnlyOnADisabledPortWithAWorkingDevice) {
    Start(R"({ "usb3_port1": { "type": "device" },
               "usb3_port2": { "type": "device", "faults": { "termination_broken": true } } })");
    clock.AdvanceMs(20);
    Set(0xF432, 0x04);
    EXPECT_EQ(Byte(0xF432) & 0x02, 0) << "an enabled link drives the lines";
    Write(Portsc(1), Read(Portsc(1)) | PED);
    Set(0xF432, 0x04);
    EXPECT_EQ(Byte(0xF432), 0x06);
    Set(0xF432, 0x02);  // the host clears the start bit; the result stays
    EXPECT_EQ(Byte(0xF432), 0x02);
    Write(Portsc(2), Read(Portsc(2)) | PED);
    Set(0xF436, 0x04);
    EXPECT_EQ(Byte(0xF436) & 0x02, 0);
}

}  // namespace
}  // namespace qnl::sim
