// Console start-up validates what was loaded with the device settings page's edit rules
// (settings/SettingsValidation.h), and that changes what the run programs, as in the window;
// an emptied SVID with Sub_Sys on keeps the run from starting.
#include <gtest/gtest.h>

#include <filesystem>

#include "settings/CIni.h"
#include "support/TestImage.h"
#include "support/ToolRun.h"

namespace qnl::test {
namespace {

const std::array<std::uint8_t, 6> kVersion{0x17, 0x07, 0x07, 0x00, 0x50, 0x01};

std::string Entry(std::uint16_t address, std::uint16_t value) {
    const unsigned char bytes[8] = {0xCC,
                                    0x02,
                                    static_cast<unsigned char>(address & 0xFF),
                                    static_cast<unsigned char>(address >> 8),
                                    static_cast<unsigned char>(value & 0xFF),
                                    static_cast<unsigned char>(value >> 8),
                                    0,
                                    0};
    return std::string(reinterpret_cast<const char*>(bytes), 8);
}

TEST(DevicePageStartup, LoadedValuesTheRefreshRefusesAreEmptiedBeforeProgramming) {
    TempToolFolder tool;
    std::filesystem::create_directory(tool.File("fw"));
    const auto image = BuildTestImage(0, kVersion, {}, 4096);
    tool.Write("fw/new.bin", std::string(image.begin(), image.end()));
    tool.Write("station.json", R"({ "time_scale": 0.01, "controllers": [ { "bus": 3,
        "device": 0, "function": 0, "kind": 0, "model": 0, "flash_id": "C2 20 11",
        "flash": "h3.flash" } ] })");
    IniSettings settings;
    settings.fw_update_enable = 1;
    settings.fw_binary_name = "FW\\NEW.BIN";
    settings.subsys_enable = 1;
    settings.svid = "12G4";
    settings.ssid = "5678";
    settings.CustInfo_enable = 1;
    settings.CustInfo = std::string(35, 'C');
    settings.test_timeout = -5;
    const auto run = [&] {
        tool.Write(kIniFileName, BuildIniText(settings));
        return tool.Run({"/S", "/A"}, {{"QNLIO_STATION", tool.File("station.json")},
                                       {"QNL_EVENT_STORE", "file"},
                                       {"QT_QPA_PLATFORM", "none"}});
    };
    tool.Write("h3.flash", std::string(128 * 1024, '\xFF'));

    // With Sub_Sys on, the emptied SVID stops the run before any board is touched: its
    // configuration would carry 0000 and the check expect it.
    ToolResult r = run();
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Invalid SVID\r\nType Too Much Character\r\nSub_Sys is on and the SVID "
                         "is empty: the MP run does not start.\r\nErroCode [1]\r\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(tool.Read("h3.flash"), std::string(128 * 1024, '\xFF'));
    EXPECT_FALSE(tool.Exists("Config_170707_00_50_01.rom"));

    // With Sub_Sys off the run goes on with the other emptied values.
    settings.subsys_enable = 0;
    r = run();
    EXPECT_EQ(r.status, 0) << r.out;
    // The messages come in the refresh's order, before anything is programmed.
    const auto timeout = r.out.find("Invalid TimeOut Value\r\n");
    const auto svid = r.out.find("Invalid SVID\r\n");
    const auto custInfo = r.out.find("Type Too Much Character\r\n");
    const auto update = r.out.find("[FW Update ]--> [PASS]");
    ASSERT_NE(timeout, std::string::npos) << r.out;
    ASSERT_NE(svid, std::string::npos) << r.out;
    ASSERT_NE(custInfo, std::string::npos) << r.out;
    ASSERT_NE(update, std::string::npos) << r.out;
    EXPECT_LT(timeout, svid);
    EXPECT_LT(svid, custInfo);
    EXPECT_LT(custInfo, update);
    EXPECT_EQ(r.out.find("Invalid SSID"), std::string::npos);

    // The configuration image carries no subsystem IDs (never the 1204 that "12G4" would give)
    // and no customer information; the flash holds that image.
    const std::string rom = tool.Read("Config_170707_00_50_01.rom");
    ASSERT_GT(rom.size(), 48u);
    EXPECT_EQ(rom.find(Entry(0xE260, 0x1204)), std::string::npos);
    EXPECT_EQ(rom.find(Entry(0xE262, 0x5678)), std::string::npos);
    EXPECT_EQ(rom.substr(16, 31), std::string(31, '\0'));
    EXPECT_EQ(tool.Read("h3.flash").substr(0, rom.size()), rom);
}

}  // namespace
}  // namespace qnl::test
