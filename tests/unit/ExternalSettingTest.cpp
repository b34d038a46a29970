// The external register write into the data memory of the kind-1 controllers, read back from
// the simulated station.
#include <gtest/gtest.h>

#include <chrono>

#include "qnlio/MailboxProtocol.h"
#include "settings/ExternalSetting.h"
#include "support/SimFixture.h"

namespace qnl::test {
namespace {

using Outcome = ExternalSettingResult::Outcome;

// Three kind-1 controllers on buses 1..3 (host table order = station order) and a kind-0 one.
std::string Station(int kind1Count, bool withKind0) {
    std::string list = "[";
    for (int bus = 1; bus <= kind1Count; ++bus)
        list += (bus > 1 ? "," : "") + ControllerJson(bus, 0, 0, 1);
    if (withKind0) list += (kind1Count > 0 ? "," : "") + ControllerJson(9, 0, 0, 0);
    return list + "]";
}

std::array<std::uint8_t, 6> Block(sim::SimController& c) {
    std::array<std::uint8_t, 6> bytes{};
    bytes[0] = c.XdataByte(kExtPortByteAddress);
    bytes[1] = c.XdataByte(kExtDrivingByteAddress);
    for (int i = 0; i < 4; ++i) bytes[2 + i] = c.XdataByte(kExtMarkerAddress + i);
    return bytes;
}

std::size_t MemoryWrites(sim::SimController& c) {
    std::size_t n = 0;
    for (const auto& command : c.Commands()) n += command.command == mailbox::CMD_MEM_WRITE;
    return n;
}

class ExtSet : public ::testing::Test {
  protected:
    void Scan(SimBench& bench) {
        bench.chip().ScanPciBus("");
        for (std::size_t i = 0; i < bench.station->ControllerCount(); ++i) {
            auto& c = bench.controller(i);
            c.ClearCommands();
            if (c.Kind() != 1) continue;
            // Sentinels: what the write leaves alone stays as it was.
            c.SetXdataByte(kExtPortByteAddress, 0xEE);
            c.SetXdataByte(kExtDrivingByteAddress, 0xEE);
        }
    }
};

TEST_F(ExtSet, NoHostOrOnlyKindZeroWritesNothingAndSaysNoDevice) {
    SimBench none("[]");
    IniSettings ini;
    ini.ext_setting_enable = 1;
    const auto r = WriteExternalSetting(none.chip(), ini);
    EXPECT_EQ(r.outcome, Outcome::NoDevice);
    EXPECT_STREQ(r.Text(), "\r\nNo QNL 736 Device!!\r\n");
    EXPECT_EQ(ini.hs_curdriving_enable, 0) << "nothing to write, nothing changed";

    SimBench kind0(Station(0, true));
    Scan(kind0);
    ASSERT_EQ(kind0.util().ucHostCount, 1);
    EXPECT_EQ(WriteExternalSetting(kind0.chip(), ini).outcome, Outcome::NoDevice);
    EXPECT_EQ(MemoryWrites(kind0.controller(0)), 0u);
}

TEST_F(ExtSet, OffWritesOnlyTheOffMarkerIntoEveryKindOneHost) {
    SimBench bench(Station(2, true));
    Scan(bench);
    IniSettings ini;  // external setting off, whatever the other fields say
    ini.battery_charge_enable = ini.battery_charge_port_a = 1;
    const auto r = WriteExternalSetting(bench.chip(), ini);
    EXPECT_EQ(r.outcome, Outcome::Success);
    EXPECT_STREQ(r.Text(),
                 "\r\nSet External Register Success!!\r\nPlease Disable QNL 736 and Enable it");
    for (std::size_t i : {0u, 1u})
        EXPECT_EQ(Block(bench.controller(i)),
                  (std::array<std::uint8_t, 6>{0xEE, 0xEE, 0x55, 0xAA, 0x55, 0xAA}));
    EXPECT_EQ(MemoryWrites(bench.controller(2)), 0u) << "the kind-0 host is skipped";
}

TEST_F(ExtSet, PortAndDrivingBytesFollowTheFields) {
    struct Case {
        std::uint8_t battery, batA, batB, disable, disA, disB;
        const char *drivingA, *drivingB;
        std::uint8_t port, driving;
    };
    const Case cases[] = {
        {1, 1, 1, 0, 1, 1, "", "", 0x03, 0x00},    // battery A+B; disable off hides its ports
        {0, 1, 1, 1, 0, 1, "", "", 0x10, 0x00},    // disable B only; battery off
        {1, 0, 1, 1, 1, 0, "5", "3", 0x0A, 0x1D},  // battery B, disable A, driving 5/3
        {0, 0, 0, 0, 0, 0, "F", "9", 0x00, 0x0F},  // digits above 7 keep their low 3 bits
    };
    for (const Case& c : cases) {
        SimBench bench(Station(1, false));
        Scan(bench);
        IniSettings ini;
        ini.ext_setting_enable = 1;
        ini.battery_charge_enable = c.battery;
        ini.battery_charge_port_a = c.batA;
        ini.battery_charge_port_b = c.batB;
        ini.disable_port_enable = c.disable;
        ini.disable_port_a = c.disA;
        ini.disable_port_b = c.disB;
        ini.hs_curdriving_a = c.drivingA;
        ini.hs_curdriving_b = c.drivingB;
        EXPECT_EQ(WriteExternalSetting(bench.chip(), ini).outcome, Outcome::Success);
        EXPECT_EQ(Block(bench.controller(0)),
                  (std::array<std::uint8_t, 6>{c.port, c.driving, 0x78, 0x56, 0x34, 0x12}))
            << "port byte " << int(c.port);
        EXPECT_EQ(ini.hs_curdriving_enable, 1);
    }
}

TEST_F(ExtSet, SecondOfThreeFailingLeavesTheFirstWrittenAndTheThirdUntouched) {
    SimBench bench(Station(3, false));
    Scan(bench);
    bench.controller(1).FailCommandAt(mailbox::CMD_MEM_WRITE, kExtPortByteAddress);
    IniSettings ini;
    ini.ext_setting_enable = 1;
    ini.battery_charge_enable = ini.battery_charge_port_b = 1;
    const auto r = WriteExternalSetting(bench.chip(), ini);
    EXPECT_EQ(r.outcome, Outcome::Error);
    EXPECT_STREQ(r.Text(), "\r\nSet External Register Error!!\r\n");
    EXPECT_EQ(r.hostsWritten, 1);
    EXPECT_EQ(Block(bench.controller(0)),
              (std::array<std::uint8_t, 6>{0x02, 0x00, 0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(Block(bench.controller(1)),
              (std::array<std::uint8_t, 6>{0xEE, 0xEE, 0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(MemoryWrites(bench.controller(2)), 0u);
    EXPECT_NE(bench.tool->LogText().find("Set External Register Error"), std::string::npos);
}

TEST_F(ExtSet, AHostThatNeverAnswersEndsInTheErrorWithinTheLimit) {
    // A real clock at a small scale: the limit passes on the station's time, the minimum of
    // real time keeps a busy machine from giving up on a healthy controller.
    SimBench bench(Station(2, false), "[]", 0.01);
    bench.chip().ScanPciBus("");
    bench.controller(1).ClearCommands();
    bench.controller(0).HangFromCommand(2);  // the marker is taken, the port byte never
    IniSettings ini;
    ini.ext_setting_enable = 1;
    const auto start = std::chrono::steady_clock::now();
    const auto r = WriteExternalSetting(bench.chip(), ini);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.outcome, Outcome::Error);
    EXPECT_LT(took, std::chrono::seconds(10));
    EXPECT_GE(took, std::chrono::milliseconds(kExternalWriteMinRealMs));
    EXPECT_EQ(MemoryWrites(bench.controller(1)), 0u) << "a later host is never touched";
    EXPECT_NE(bench.tool->LogText().find("does not answer"), std::string::npos);
}

}  // namespace
}  // namespace qnl::test
