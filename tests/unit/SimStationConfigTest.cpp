#include <gtest/gtest.h>

#include "qnlio/sim/StationConfig.h"
#include "support/SimTestHelpers.h"

namespace qnl::sim {
namespace {

using simtest::ReadFileBytes;
using simtest::TempFolder;

TEST(SimStationConfig, MinimalControllerGetsDocumentedDefaults) {
    TempFolder folder;
    const std::string path =
        folder.Write("station.json",
                     R"({ "controllers": [ { "bus": 5 }, { "bus": 6, "kind": 1, "model": 1 } ] })");
    std::string error;
    auto config = LoadStationFile(path, error);
    ASSERT_TRUE(config) << error;
    EXPECT_EQ(TimeScaleOf(*config), 1.0);
    EXPECT_FALSE(config->driverLoadFails);
    ASSERT_EQ(config->controllers.size(), 2u);
    const ControllerConfig& c0 = config->controllers[0];
    EXPECT_EQ(c0.flashPath, folder.File("host0.flash"));
    EXPECT_EQ(c0.flashId, kDefaultFlashId);
    EXPECT_EQ(c0.defaultSvid, 0x1E73);
    EXPECT_EQ(c0.defaultSsid, 0x7350);
    EXPECT_EQ(c0.pcieLink, 0x18);
    EXPECT_EQ(c0.chipSignature, (std::array<std::uint8_t, 4>{0x31, 0x34, 0x32, 0x41}));
    const ControllerConfig& c1 = config->controllers[1];
    EXPECT_EQ(c1.defaultSsid, 0x7354);
    EXPECT_EQ(c1.chipSignature, (std::array<std::uint8_t, 4>{0x53, 0x34, 0x32, 0x42}));
    EXPECT_NE(c0.bar0, c1.bar0);
    EXPECT_EQ(c0.bar0 & 0xFFFF, 0u);
    EXPECT_EQ(folder.EntryCount(), 1u) << "parsing creates no flash file";
}

TEST(SimStationConfig, ReadsEveryKeyIncludingFaults) {
    TempFolder folder;
    const std::string path = folder.Write("station.json", R"({
        "time_scale": 0.01, "driver_load_fails": true,
        "controllers": [ { "bus": 2, "device": 3, "function": 1, "kind": 0, "model": 2,
            "chip_signature": "2f 34 32 41", "flash_id": "1F 65 42", "flash": "sub.flash",
            "flash_status": "9c", "default_svid": "1d6a", "default_ssid": "abcd", "pcie_link": "08",
            "bar0": "0xE0000000",
            "faults": { "fail_command": 7, "fail_at": [ { "command": "0x30", "address": "0x1000" },
                                                        { "address": 16 } ],
                        "hang_from_command": 120, "off_bus_at_command": 300,
                        "flip_on_read": [ { "address": "0x10", "mask": "0x01", "times": 3 } ] } } ],
        "other_devices": [ { "bus": 0, "device": 2, "vendor": "8086", "device_id": "3e92",
                             "class": "030000" } ] })");
    std::string error;
    auto config = LoadStationFile(path, error);
    ASSERT_TRUE(config) << error;
    EXPECT_DOUBLE_EQ(config->timeScale, 0.01);
    EXPECT_TRUE(config->driverLoadFails);
    const ControllerConfig& c = config->controllers.at(0);
    EXPECT_EQ(c.flashChip.name, "ATMEL AT25F512A(B)");  // drives only two ID bytes
    EXPECT_EQ(c.flashId[2], 0x42);                      // the third as the station file gives it
    EXPECT_EQ(c.flashStatus, 0x9C);
    EXPECT_EQ(c.defaultSsid, 0xABCD);
    EXPECT_EQ(c.pcieLink, 0x08);
    EXPECT_EQ(c.bar0, 0xE0000000u);
    EXPECT_EQ(c.faults.failCommand, 7u);
    ASSERT_EQ(c.faults.failAt.size(), 2u);
    EXPECT_EQ(c.faults.failAt[0].command, 0x30u);
    EXPECT_EQ(c.faults.failAt[0].address, 0x1000u);
    EXPECT_FALSE(c.faults.failAt[1].command.has_value());
    EXPECT_EQ(c.faults.hangFromCommand, 120u);
    EXPECT_EQ(c.faults.offBusAtCommand, 300u);
    ASSERT_EQ(c.faults.flipOnRead.size(), 1u);
    EXPECT_EQ(c.faults.flipOnRead[0].times, 3);
    EXPECT_EQ(config->otherDevices.at(0).classCode, 0x030000u);
}

TEST(SimStationConfig, ControllerCanCarryItsOwnChipAndPciIds) {
    TempFolder folder;
    const std::string path = folder.Write("station.json", R"({ "controllers": [
        { "bus": 1, "vendor_id": "1d6b", "device_id": "0042",
          "flash_chip": { "name": "odd part", "id": "12 34 56", "id_opcode": "90",
                          "id_address_bytes": 3, "capacity_kb": 256, "sector_kb": 64,
                          "sector_erase_opcode": "d8", "aai": true, "bp_mask": "0c",
                          "sector_erase_ms": 700, "program_us": 9000, "status_write_ms": 15 } },
        { "bus": 2, "kind": 1, "model": 1 } ] })");
    std::string error;
    auto config = LoadStationFile(path, error);
    ASSERT_TRUE(config) << error;
    const ControllerConfig& own = config->controllers.at(0);
    EXPECT_EQ(own.vendorId, 0x1D6B);
    EXPECT_EQ(own.deviceId, 0x0042);
    EXPECT_EQ(own.flashId, (std::array<std::uint8_t, 3>{0x12, 0x34, 0x56}));
    const FlashChipModel& chip = own.flashChip;
    EXPECT_EQ(chip.name, "odd part");
    EXPECT_EQ(chip.idOpcode, 0x90);
    EXPECT_EQ(chip.idAddressBytes, 3);
    EXPECT_EQ(chip.capacityBytes, 256u * 1024);
    EXPECT_EQ(chip.sectorBytes, 64u * 1024);
    EXPECT_EQ(chip.sectorEraseOpcode, 0xD8);
    EXPECT_TRUE(chip.aai);
    EXPECT_EQ(chip.bpMask, 0x0C);
    EXPECT_EQ(chip.sectorEraseMs, 700u);
    EXPECT_EQ(chip.programUs, 9000u);
    EXPECT_EQ(chip.statusWriteMs, 15u);
    // Without the keys: the station's own IDs of the kind and model, and its catalogue chip.
    const ControllerConfig& plain = config->controllers.at(1);
    EXPECT_EQ(plain.vendorId, kDefaultVendorId);
    EXPECT_EQ(plain.deviceId, 0x7354);
    EXPECT_EQ(plain.flashChip.name, "MXIC MX25x4006E");
}

struct BadStation {
    const char* name;
    const char* json;
    const char* expected;  // part of the message
};

class SimStationConfigErrors : public ::testing::TestWithParam<BadStation> {};

TEST_P(SimStationConfigErrors, NameTheFileAndTheProblemAndCreateNothing) {
    TempFolder folder;
    const std::string path = folder.Write("station.json", GetParam().json);
    std::string error;
    EXPECT_FALSE(LoadStationFile(path, error).has_value());
    EXPECT_EQ(error.rfind("station file " + path + ": ", 0), 0u) << error;
    EXPECT_NE(error.find(GetParam().expected), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << "one line";
    EXPECT_EQ(folder.EntryCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimStationConfigErrors,
    ::testing::Values(
        BadStation{"BadJson", R"({ "controllers": [ { "bus": 1 ] })", "not valid JSON"},
        BadStation{"NotAnObject", R"([1, 2])", "must be an object"},
        BadStation{"UnknownTopKey", R"({ "time_scael": 1 })", "unknown key \"time_scael\""},
        BadStation{"UnknownControllerKey", R"({ "controllers": [ { "bus": 1, "port": 4 } ] })",
                   "controllers[0]: unknown key \"port\""},
        BadStation{"UnknownFlashId",
                   R"({ "controllers": [ {"bus": 1}, { "bus": 2, "flash_id": "C2 99 99" } ] })",
                   "controllers[1]: flash_id \"C2 99 99\" is no chip the station knows"},
        BadStation{"FlashIdAndOwnChip",
                   R"({ "controllers": [ { "bus": 1, "flash_id": "C2 20 13",
                        "flash_chip": { "id": "C2 20 13", "capacity_kb": 512 } } ] })",
                   "give \"flash_id\" or \"flash_chip\", not both"},
        BadStation{"OwnChipPartSector",
                   R"({ "controllers": [ { "bus": 1,
                        "flash_chip": { "id": "12 34 56", "capacity_kb": 66, "sector_kb": 4 } } ] })",
                   "whole number of sectors"},
        BadStation{"OwnChipWithoutId",
                   R"({ "controllers": [ { "bus": 1, "flash_chip": { "capacity_kb": 64 } } ] })",
                   "controllers[0].flash_chip: missing \"id\""},
        BadStation{"OwnChipUnknownKey",
                   R"({ "controllers": [ { "bus": 1,
                        "flash_chip": { "id": "12 34 56", "capacity_kb": 64, "erase": 1 } } ] })",
                   "unknown key \"erase\""},
        BadStation{"VendorAllOnes", R"({ "controllers": [ { "bus": 1, "vendor_id": "ffff" } ] })",
                   "vendor_id ffff"},
        BadStation{"FlashIdTooShort", R"({ "controllers": [ { "bus": 1, "flash_id": "C2 20" } ] })",
                   "3 hex bytes"},
        BadStation{"DuplicateAddress",
                   R"({ "controllers": [ { "bus": 1 } ],
                        "other_devices": [ { "bus": 1, "vendor": "8086", "device_id": "1234" } ] })",
                   "01:00.0 is already taken by controllers[0]"},
        BadStation{"BusTooLarge", R"({ "controllers": [ { "bus": 256 } ] })", "out of range"},
        BadStation{"NegativeDevice", R"({ "controllers": [ { "bus": 1, "device": -1 } ] })",
                   "out of range"},
        BadStation{"FunctionTooLarge", R"({ "controllers": [ { "bus": 1, "function": 8 } ] })",
                   "\"function\" 8 is out of range 0..7"},
        BadStation{"BusNotANumber", R"({ "controllers": [ { "bus": "3" } ] })", "whole number"},
        BadStation{"MissingBus", R"({ "controllers": [ { "kind": 1 } ] })", "missing \"bus\""},
        BadStation{"KindTwo", R"({ "controllers": [ { "bus": 1, "kind": 2 } ] })", "\"kind\""},
        BadStation{"ModelOfKindOne",
                   R"({ "controllers": [ { "bus": 1, "kind": 1, "model": 2 } ] })",
                   "\"model\" 2 is out of range 0..1"},
        BadStation{"TimeScaleZero", R"({ "time_scale": 0 })", "above 0 and at most 1"},
        BadStation{"TimeScaleAboveOne", R"({ "time_scale": 1.5 })", "above 0 and at most 1"},
        BadStation{"ShortSvid", R"({ "controllers": [ { "bus": 1, "default_svid": "1e7" } ] })",
                   "must be 4 hex digits"},
        BadStation{"UnalignedBar", R"({ "controllers": [ { "bus": 1, "bar0": "0xF0001000" } ] })",
                   "multiple of 0x10000"},
        BadStation{"SameBarTwice",
                   R"({ "controllers": [ { "bus": 1, "bar0": "0xE0000000" },
                                          { "bus": 2, "bar0": "0xE0000000" } ] })",
                   "overlaps"},
        BadStation{"SameFlashTwice",
                   R"({ "controllers": [ { "bus": 1, "flash": "a.flash" },
                                          { "bus": 2, "flash": "./a.flash" } ] })",
                   "already used by controllers[0]"},
        BadStation{"FlashFolderMissing",
                   R"({ "controllers": [ { "bus": 1, "flash": "nowhere/a.flash" } ] })",
                   "does not exist"},
        BadStation{"UnknownFaultKey",
                   R"({ "controllers": [ { "bus": 1, "faults": { "fail_comand": 3 } } ] })",
                   "controllers[0].faults: unknown key \"fail_comand\""},
        BadStation{"FlipMaskZero",
                   R"({ "controllers": [ { "bus": 1, "faults": {
                        "flip_on_read": [ { "address": "0x10", "mask": "0x00" } ] } } ] })",
                   "controllers[0].faults.flip_on_read[0]"},
        BadStation{"BadHexAddress",
                   R"({ "controllers": [ { "bus": 1, "faults": {
                        "fail_at": [ { "address": "0xZZ" } ] } } ] })",
                   "must be a hex text"},
        BadStation{"OtherDeviceWithoutIds", R"({ "other_devices": [ { "bus": 0 } ] })",
                   "other_devices[0]: needs"},
        BadStation{"UnknownPortKey",
                   R"({ "controllers": [ { "bus": 1, "ports": { "usb3_port3": null } } ] })",
                   "controllers[0].ports: unknown key \"usb3_port3\""},
        BadStation{"BadAttachmentType", R"({ "controllers": [ { "bus": 1, "ports": {
                        "usb2_port1": { "type": "printer" } } } ] })",
                   "controllers[0].ports.usb2_port1: \"type\" \"printer\" must be one of"},
        BadStation{"MissingType", R"({ "controllers": [ { "bus": 1, "ports": {
                        "usb2_port1": { "speed": "high" } } } ] })",
                   "missing \"type\""},
        BadStation{"BadSpeed", R"({ "controllers": [ { "bus": 1, "ports": {
                        "usb3_port2": { "type": "device", "speed": "ludicrous" } } } ] })",
                   "\"speed\" \"ludicrous\" must be one of full, high, super, superplus"},
        BadStation{"HighSpeedOnSuperSpeedPort", R"({ "controllers": [ { "bus": 1, "ports": {
                        "usb3_port1": { "type": "device", "speed": "high" } } } ] })",
                   "ports.usb3_port1: \"speed\" \"high\" does not fit a SuperSpeed port"},
        BadStation{"LoopbackOnUsb2Port", R"({ "controllers": [ { "bus": 1, "ports": {
                        "usb2_port2": { "type": "loopback" } } } ] })",
                   "fits only a SuperSpeed root port"},
        BadStation{"LinkErrorOnDevice", R"({ "controllers": [ { "bus": 1, "ports": {
                        "usb3_port1": { "type": "device", "faults": { "link_error": "retrain" } }
                        } } ] })",
                   "ports.usb3_port1.faults: \"link_error\" is only for a loop-back plug"},
        BadStation{"UnknownPortFault", R"({ "controllers": [ { "bus": 1, "ports": {
                        "usb2_port1": { "type": "device", "faults": { "enable_dealy_ms": 5 } }
                        } } ] })",
                   "usb2_port1.faults: unknown key \"enable_dealy_ms\""},
        BadStation{"ChildrenOfADevice", R"({ "controllers": [ { "bus": 1, "ports": {
                        "usb2_port1": { "type": "device", "children": [] } } } ] })",
                   "only a hub has \"children\""},
        BadStation{"FaultsBelowAHub", R"({ "controllers": [ { "bus": 1, "ports": {
                        "usb2_port1": { "type": "hub", "children": [
                            { "type": "device", "faults": {} } ] } } } ] })",
                   "usb2_port1.children[0]: unknown key \"faults\""},
        BadStation{"HubsTooDeep", R"({ "controllers": [ { "bus": 1, "ports": {
                        "usb2_port1": { "type": "hub", "children": [ { "type": "hub", "children": [
                        { "type": "hub", "children": [ { "type": "hub", "children": [
                        { "type": "hub", "children": [ { "type": "hub", "children": [] } ] } ] } ] }
                        ] } ] } } } ] })",
                   "more than 5 hubs in a chain"},
        BadStation{"CapLengthUnaligned", R"({ "controllers": [ { "bus": 1, "cap_length": 34 } ] })",
                   "\"cap_length\" must be a multiple of 4 from 0x20 to 0x80"}),
    [](const ::testing::TestParamInfo<BadStation>& p) { return p.param.name; });

TEST(SimStationConfig, PortsDescribeWhatIsPluggedIntoEachRootPort) {
    TempFolder folder;
    const std::string path = folder.Write("station.json", R"({ "controllers": [ { "bus": 1,
        "ports": { "usb3_port1": { "type": "device", "speed": "superplus" },
                   "usb3_port2": null,
                   "usb2_port1": { "type": "device", "speed": "high",
                                   "faults": { "enable_delay_ms": 250, "signal_check_fails": true,
                                               "signal_check_never_completes": true,
                                               "termination_broken": true,
                                               "port_reset_hangs": true } },
                   "usb2_port2": { "type": "hub", "children": [ { "type": "device",
                                                                 "speed": "full" } ] } } },
        { "bus": 2, "ports": { "usb3_port2": { "type": "loopback",
                                               "faults": { "link_error": "phy_reset" } } } },
        { "bus": 3 } ] })");
    std::string error;
    auto config = LoadStationFile(path, error);
    ASSERT_TRUE(config) << error;
    const RootPortsConfig& p = config->controllers[0].ports;
    ASSERT_TRUE(p[0] && !p[1] && p[2] && p[3]);
    EXPECT_EQ(p[0]->speed, UsbSpeed::kSuperPlus);
    EXPECT_EQ(p[2]->faults.enableDelayMs, 250u);
    EXPECT_TRUE(p[2]->faults.signalCheckFails && p[2]->faults.signalCheckNeverCompletes &&
                p[2]->faults.terminationBroken && p[2]->faults.portResetHangs);
    EXPECT_EQ(p[3]->type, UsbAttachmentType::kHub);
    EXPECT_EQ(p[3]->speed, UsbSpeed::kHigh) << "a USB 2.0 port's default";
    ASSERT_EQ(p[3]->children.size(), 1u);
    EXPECT_EQ(p[3]->children[0].speed, UsbSpeed::kFull);
    const RootPortsConfig& q = config->controllers[1].ports;
    ASSERT_TRUE(q[1]);
    EXPECT_EQ(q[1]->type, UsbAttachmentType::kLoopback);
    EXPECT_EQ(q[1]->faults.linkError, LinkErrorKind::kPhyReset);
    for (const auto& port : config->controllers[2].ports) EXPECT_FALSE(port) << "nothing plugged";
    EXPECT_EQ(config->controllers[2].capLength, 0x20);
}

TEST(SimStationConfig, ExistingFlashFileOfTheWrongSizeIsAnErrorAndStaysAsItWas) {
    TempFolder folder;
    folder.Write("host0.flash", std::string(100, 'x'));
    const std::string path = folder.Write("station.json", R"({ "controllers": [ { "bus": 1 } ] })");
    std::string error;
    EXPECT_FALSE(LoadStationFile(path, error).has_value());
    EXPECT_NE(error.find(folder.File("host0.flash")), std::string::npos) << error;
    EXPECT_NE(error.find("has 100 bytes but the flash part holds 524288"), std::string::npos)
        << error;
    EXPECT_EQ(ReadFileBytes(folder.File("host0.flash")).size(), 100u);

    // The station itself refuses the same file when given a configuration that skipped the check.
    ManualClock clock;
    StationConfig config = DefaultStation(folder.Path().string());
    config.controllers[0].flashPath = folder.File("host0.flash");
    EXPECT_THROW(SimStation(config, clock), StationError);
    EXPECT_EQ(ReadFileBytes(folder.File("host0.flash")).size(), 100u);
}

TEST(SimStationConfig, MissingStationFileNamesIt) {
    std::string error;
    EXPECT_FALSE(LoadStationFile("/nonexistent/st.json", error).has_value());
    EXPECT_EQ(error, "station file /nonexistent/st.json: does not exist");
}

TEST(SimStationConfig, DefaultStationBootsTwoControllersAndCreatesErasedFlashFiles) {
    TempFolder folder;
    ManualClock clock;
    const StationConfig config = DefaultStation(folder.Path().string());
    EXPECT_DOUBLE_EQ(TimeScaleOf(config), 0.01);
    {
        SimStation station(config, clock);
        ASSERT_EQ(station.ControllerCount(), 2u);
        EXPECT_EQ(station.PCI_Read_DWORD(3, 0, 0, 0), 0x73501E73u);
        EXPECT_EQ(station.PCI_Read_DWORD(4, 0, 0, 0), 0x73501E73u);
        EXPECT_EQ(station.PCI_Read_DWORD(0, 0, 0, 0), 0x3E928086u);
    }
    for (const char* name : {"sim_host0.flash", "sim_host1.flash"}) {
        const auto bytes = ReadFileBytes(folder.File(name));
        ASSERT_EQ(bytes.size(), 512u * 1024) << name;
        EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](auto b) { return b == 0xFF; }));
    }
}

}  // namespace
}  // namespace qnl::sim
