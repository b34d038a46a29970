// Discovery and the device information read for every host, against the simulated station.
#include <gtest/gtest.h>

#include "controller/ErrorCodes.h"
#include "support/SimFixture.h"
#include "support/TestImage.h"

namespace qnl::test {
namespace {

TEST(Discovery, NoControllerGivesMinusSixAndAnEmptyTable) {
    SimBench bench("[]", R"([{ "bus": 0, "device": 2, "function": 0, "vendor": "8086",
                               "device_id": "3e92" }])");
    EXPECT_EQ(bench.chip().ScanPciBus(""), kErrNoDevice);
    EXPECT_EQ(bench.util().ucHostCount, 0);
}

TEST(Discovery, OrderIsFunctionThenDeviceThenBus) {
    SimBench bench("[" + ControllerJson(2, 1, 0) + "," + ControllerJson(5, 0, 0) + "," +
                   ControllerJson(1, 0, 1, 1) + "," + ControllerJson(9, 3, 0, 1) + "]");
    ASSERT_EQ(bench.chip().ScanPciBus(""), kOk);
    ASSERT_EQ(bench.util().ucHostCount, 4);
    const auto& h = bench.util().hosts;
    EXPECT_EQ(h[0].ucBus, 5);  // function 0, device 0
    EXPECT_EQ(h[1].ucBus, 2);  // function 0, device 1
    EXPECT_EQ(h[2].ucBus, 9);  // function 0, device 3
    EXPECT_EQ(h[3].ucBus, 1);  // function 1
    EXPECT_EQ(h[3].ucFunction, 1);
    EXPECT_EQ(h[3].ucKind, 1);
    for (std::uint8_t i = 0; i < 4; ++i) EXPECT_EQ(h[i].ucIndex, i);
}

TEST(Discovery, MoreThanEightMatchesKeepTheFirstEight) {
    std::string list = "[";
    for (int bus = 10; bus < 20; ++bus) list += (bus > 10 ? "," : "") + ControllerJson(bus, 0, 0);
    SimBench bench(list + "]");
    ASSERT_EQ(bench.chip().ScanPciBus(""), kOk);
    EXPECT_EQ(bench.util().ucHostCount, 8);
    EXPECT_EQ(bench.util().hosts[7].ucBus, 17);
}

TEST(Discovery, RecordsBarZeroWithoutFlagBitsAndClearsTheBitOnKindZeroOnly) {
    SimBench bench("[" + ControllerJson(3, 0, 0, 0, R"("bar0": "F7A00000")") + "," +
                   ControllerJson(4, 0, 0, 1) + "]");
    bench.controller(0).SetXdataByte(0xF3B4, 0xFF);
    bench.controller(1).SetXdataByte(0xF3B4, 0xFF);
    ASSERT_EQ(bench.chip().ScanPciBus(""), kOk);
    EXPECT_EQ(bench.util().hosts[0].dwMmioBase, 0xF7A00000u);
    EXPECT_EQ(bench.controller(0).XdataByte(0xF3B4), 0xFB);
    EXPECT_EQ(bench.controller(1).XdataByte(0xF3B4), 0xFF);
}

TEST(Discovery, AssignedAddressRecordsOneHostAndClearsTheBitForEitherKind) {
    SimBench bench("[" + ControllerJson(3, 0, 0) + "," + ControllerJson(4, 0, 0, 1) + "]");
    bench.controller(1).SetXdataByte(0xF3B4, 0xFF);
    ASSERT_EQ(bench.chip().AssignPciBus(4, 0, 0, ""), kOk);
    EXPECT_EQ(bench.util().ucHostCount, 1);
    EXPECT_EQ(bench.util().hosts[0].ucBus, 4);
    EXPECT_EQ(bench.util().hosts[0].ucKind, 1);
    EXPECT_EQ(bench.controller(1).XdataByte(0xF3B4), 0xFB);
    EXPECT_EQ(bench.chip().AssignPciBus(7, 0, 0, ""), kErrNoDevice);
    EXPECT_EQ(bench.util().ucHostCount, 0);
}

TEST(DeviceInfo, ReadsVersionIdsAndLinkOfABootedController) {
    SimBench bench("[" + ControllerJson(3, 0, 0, 0, R"("default_svid": "1d6a", "pcie_link": "10")") +
                   "," + ControllerJson(4, 0, 0, 1, R"("default_svid": "abcd")") + "]");
    std::vector<std::uint8_t> image =
        BuildTestImage(0, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06}, {{2, 0xE262, 0x9876}});
    bench.controller(0).SetFlashContents(image);
    bench.controller(0).Reboot();
    ASSERT_EQ(bench.chip().ScanPciBus(""), kOk);
    const TargetHost& h0 = bench.util().hosts[0];
    EXPECT_EQ(h0.ucChipType, 0);
    EXPECT_EQ(h0.strFWVersion, "010203_04_05_06");
    EXPECT_EQ(h0.strSVID, "1d6a");
    EXPECT_EQ(h0.strSSID, "9876");  // the configuration entry replaced the default
    EXPECT_EQ(h0.ucPcieLink, 0x10);
    EXPECT_EQ(h0.ucWrsrStatus, 0);  // empty threshold: never read
    const TargetHost& h1 = bench.util().hosts[1];
    EXPECT_EQ(h1.ucChipType, 1);
    EXPECT_EQ(h1.strFWVersion, "000000_00_00_00");  // blank flash
    EXPECT_EQ(h1.strSVID, "abcd");
    EXPECT_EQ(h1.ucPcieLink, 0);
}

TEST(DeviceInfo, ChipTypeFromTheSignatureByte) {
    struct Case {
        int kind;
        const char* signature;
        std::uint8_t chipType;
    } cases[] = {{0, "2F 00 00 00", 0xFF}, {0, "30 00 00 00", 0}, {1, "53 00 00 00", 1},
                 {1, "73 00 00 00", 0}};
    for (const auto& c : cases) {
        SimBench bench("[" + ControllerJson(3, 0, 0, c.kind,
                                            std::string("\"chip_signature\": \"") + c.signature +
                                                "\"") +
                       "]");
        ASSERT_EQ(bench.chip().ScanPciBus(""), kOk);
        EXPECT_EQ(bench.util().hosts[0].ucChipType, c.chipType) << c.signature;
    }
}

TEST(DeviceInfo, StatusRegisterReadOnlyAtOrAboveTheThreshold) {
    SimBench bench("[" + ControllerJson(3, 0, 0) + "]");
    bench.controller(0).SetFlashContents(
        BuildTestImage(0, {0x16, 0x05, 0x05, 0x00, 0x01, 0x02}));
    bench.controller(0).Reboot();
    const std::uint8_t status = bench.controller(0).FlashStatusRegister();
    ASSERT_EQ(bench.chip().AssignPciBus(3, 0, 0, ""), kOk);
    EXPECT_EQ(bench.chip().UpdateDeviceInfo(0, "160505_00_01_02", 0), kOk);
    EXPECT_EQ(bench.util().hosts[0].ucWrsrStatus, status);
    bench.util().hosts[0].ucWrsrStatus = 0x55;
    EXPECT_EQ(bench.chip().UpdateDeviceInfo(0, "160505_00_01_03", 0), kOk);
    EXPECT_EQ(bench.util().hosts[0].ucWrsrStatus, 0);
}

TEST(DeviceInfo, FailedStepsStopAndLeaveWhatCouldBeRead) {
    SimBench bench("[" + ControllerJson(3, 0, 0) + "]");
    ASSERT_EQ(bench.chip().AssignPciBus(3, 0, 0, ""), kOk);
    TargetHost& host = bench.util().hosts[0];
    host.strSSID = "keep";
    // The SVID read (third exchange series) fails: SVID is "FFFF", SSID untouched.
    bench.controller(0).FailCommandAt(std::nullopt, 0xE260);
    EXPECT_EQ(bench.chip().UpdateDeviceInfo(0, "", 0), kErrIo);
    EXPECT_EQ(host.strSVID, "FFFF");
    EXPECT_EQ(host.strSSID, "keep");
    EXPECT_NE(bench.tool->LogText().find("CInterctl::UpdateDeviceInfo:541: SVID_ADDR Failed(-1), "),
              std::string::npos);
    // The chip signature read fails: chip type 0xFF.
    bench.controller(0).ClearFaults();
    bench.controller(0).FailCommandAt(std::nullopt, 0xF38C);
    EXPECT_EQ(bench.chip().UpdateDeviceInfo(0, "", 0), kErrIo);
    EXPECT_EQ(host.ucChipType, 0xFF);
}

TEST(DeviceInfo, FailedVersionReadKeepsTheHostAndTheScanGoesOn) {
    SimBench bench("[" + ControllerJson(3, 0, 0) + "," + ControllerJson(4, 0, 0) + "]");
    bench.util().ResetHostRecords();
    bench.controller(0).FailCommandAt(std::nullopt, 0x80);  // version read fails
    ASSERT_EQ(bench.chip().ScanPciBus(""), kOk);
    EXPECT_EQ(bench.util().ucHostCount, 2);
    EXPECT_EQ(bench.util().hosts[0].strFWVersion, " ");
    EXPECT_EQ(bench.util().hosts[1].strFWVersion, "000000_00_00_00");
}

TEST(VersionThreshold, ComparesHighAndLowDigitGroups) {
    EXPECT_TRUE(VersionAtOrAboveThreshold("160505_00_01_02", "160505_00_01_02"));
    EXPECT_FALSE(VersionAtOrAboveThreshold("160505_00_01_02", "160505_00_01_03"));
    EXPECT_FALSE(VersionAtOrAboveThreshold("160505_00_01_02", "170101_00_00_00"));
    EXPECT_TRUE(VersionAtOrAboveThreshold("170101_00_00_00", "160505_00_01_02"));
    EXPECT_FALSE(VersionAtOrAboveThreshold("FFFFFF_FF_FF_FF", ""));
    EXPECT_FALSE(VersionAtOrAboveThreshold("FFFFFF_FF_FF_FF", "000000_00_00_00"));
    // Low groups compare as unsigned 32-bit numbers.
    EXPECT_TRUE(VersionAtOrAboveThreshold("1605F5_00_01_02", "160505_00_01_02"));
}

TEST(VersionText, SixBytesInTheHostFormat) {
    const std::uint8_t bytes[6] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    EXPECT_EQ(FormatFirmwareVersion(bytes), "010203_04_05_06");
}

}  // namespace
}  // namespace qnl::test
