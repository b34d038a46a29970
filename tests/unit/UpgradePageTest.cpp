// The upgrade page's rules: its switches, its firmware list, and its own upgrade run.
#include <gtest/gtest.h>

#include <fstream>

#include "controller/ErrorCodes.h"
#include "platform/WindowsNames.h"
#include "support/PageCores.h"
#include "support/RecordingPrompts.h"
#include "support/SimFixture.h"
#include "support/TestImage.h"

namespace qnl::test {
namespace {

using namespace std::chrono_literals;

class UpgradePageTest : public ::testing::Test {
  protected:
    UpgradePageTest()
        : bench("[" + ControllerJson(3, 0, 0) + "," + ControllerJson(4, 0, 0) + "]", "[]", 0.002) {
        WriteImage("new.bin", {0x17, 0x07, 0x07, 0x00, 0x50, 0x01});
        WriteImage("other.bin", {0x16, 0x01, 0x01, 0x00, 0x40, 0x01});
        ctx().ini.fw_update_enable = 1;
        ctx().ini.fw_check_enable = 1;
        ctx().ini.fw_binary_name = "NEW.BIN";
        bench.util().ResetHostRecords();
        EXPECT_EQ(bench.chip().ScanPciBus(""), kOk);
        cores = std::make_unique<PageCores>(ctx());
    }
    ToolContext& ctx() { return *bench.tool->context; }
    ControlState Get(ControlId id) { return cores->upgrade.Controls().Get(id); }
    void WriteImage(const std::string& name, const std::array<std::uint8_t, 6>& version) {
        const auto image = BuildTestImage(0, version, {}, 2048);
        std::ofstream(bench.Folder() + "/" + name, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
    }
    // Waits (real time) until timer 1 would see the page run's end.
    bool WaitForRunEnd() {
        for (int i = 0; i < 1000; ++i) {
            if (cores->hooks.RunEnded()) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    SimBench bench;
    std::unique_ptr<PageCores> cores;
};

TEST_F(UpgradePageTest, SettingsSetTheSwitchesAndTheUpdateSwitchTheUpdateControls) {
    ctx().ini.fw_update_enable = 0;
    ctx().ini.fw_check_enable = 1;
    cores->upgrade.vSetGUIByINI();
    EXPECT_FALSE(Get(kUpgFwUpgradeEnable).checked);
    EXPECT_TRUE(Get(kUpgFwCheckEnable).checked);
    for (ControlId id :
         {kUpgFirmwareList, kUpgFirmwareBrowser, kUpgFirmwareInfo, kUpgFirmwareUpgrade})
        EXPECT_FALSE(Get(id).enabled) << id;
    EXPECT_EQ(Get(kUpgFirmwareList).items, std::vector<std::string>{"NEW.BIN"});
    EXPECT_EQ(Get(kUpgFirmwareList).selection, 0);

    cores->upgrade.OnBnClickedCheckFwUpgradeEnable(true);
    EXPECT_EQ(ctx().ini.fw_update_enable, 1);
    for (ControlId id :
         {kUpgFirmwareList, kUpgFirmwareBrowser, kUpgFirmwareInfo, kUpgFirmwareUpgrade})
        EXPECT_TRUE(Get(id).enabled) << id;
    // The check switch changes only its setting.
    cores->upgrade.OnBnClickedCheckFwCheckEnable(false);
    EXPECT_EQ(ctx().ini.fw_check_enable, 0);
    for (ControlId id :
         {kUpgFirmwareList, kUpgFirmwareBrowser, kUpgFirmwareInfo, kUpgFirmwareUpgrade})
        EXPECT_TRUE(Get(id).enabled) << id;
    cores->upgrade.OnBnClickedCheckFwUpgradeEnable(false);
    EXPECT_EQ(ctx().ini.fw_update_enable, 0);
    EXPECT_FALSE(Get(kUpgFirmwareUpgrade).enabled);

    // Enable and disable all touch the two switches only.
    cores->upgrade.vDisableALLGUI();
    EXPECT_FALSE(Get(kUpgFwUpgradeEnable).enabled);
    EXPECT_FALSE(Get(kUpgFwCheckEnable).enabled);
    cores->upgrade.OnBnClickedCheckFwUpgradeEnable(true);
    cores->upgrade.vDisableALLGUI();
    EXPECT_TRUE(Get(kUpgFirmwareBrowser).enabled);
    cores->upgrade.vEnableALLGUI();
    EXPECT_TRUE(Get(kUpgFwUpgradeEnable).enabled);
}

TEST_F(UpgradePageTest, TheListKeepsFiveNamesNewestFirstAndChoosingOneSetsTheFirmware) {
    for (const char* name : {"A.BIN", "B.BIN", "C.BIN", "D.BIN", "E.BIN", "F.BIN"}) {
        ctx().ini.fw_binary_name = name;
        cores->upgrade.vSetGUIByINI();
    }
    EXPECT_EQ(Get(kUpgFirmwareList).items,
              (std::vector<std::string>{"F.BIN", "E.BIN", "D.BIN", "C.BIN", "B.BIN"}));
    cores->upgrade.OnCbnSelchangeComboFirmware(3);
    EXPECT_EQ(Get(kUpgFirmwareList).selection, 3);
    EXPECT_EQ(ctx().ini.fw_binary_name, "C.BIN");
    EXPECT_EQ(ctx().upgrade.m_strComboFirmware, "C.BIN");
    // An index the list does not have changes nothing.
    cores->upgrade.OnCbnSelchangeComboFirmware(5);
    cores->upgrade.OnCbnSelchangeComboFirmware(-1);
    EXPECT_EQ(ctx().ini.fw_binary_name, "C.BIN");
}

TEST_F(UpgradePageTest, BothSwitchesOffStartsNoRunAndGivesTheWindowBack) {
    ctx().ini.fw_update_enable = 0;
    ctx().ini.fw_check_enable = 0;
    cores->upgrade.vSetGUIByINI();
    cores->upgrade.OnBnClickedButtonFirmwareUpgrade();
    EXPECT_EQ(cores->hooks.disables, 1);
    EXPECT_FALSE(cores->upgrade.RunActive());
    // Timer 1 sees the end at once, so the window does not stay disabled.
    EXPECT_TRUE(cores->hooks.RunEnded());
    EXPECT_EQ(ctx().upgrade.m_ucRunDone, 1);
    EXPECT_EQ(ctx().resultTable.strGetResultItemTable(0, 9), "");
}

TEST_F(UpgradePageTest, ThePageRunProgramsTheListsChoiceAfterAnMpRun) {
    cores->upgrade.vSetGUIByINI();  // NEW.BIN on top
    ctx().ini.fw_binary_name = "OTHER.BIN";
    cores->upgrade.vSetGUIByINI();                  // OTHER.BIN on top now
    cores->upgrade.OnCbnSelchangeComboFirmware(1);  // the operator picks NEW.BIN
    ctx().ini.fw_binary_name = "OTHER.BIN";         // and the settings name another file
    ctx().runFromMain = true;                       // as an MP run leaves it
    cores->upgrade.OnBnClickedButtonFirmwareUpgrade();
    EXPECT_FALSE(ctx().runFromMain);
    // A second click while the run goes on is ignored.
    cores->upgrade.OnBnClickedButtonFirmwareUpgrade();
    ASSERT_TRUE(WaitForRunEnd());
    ASSERT_TRUE(cores->upgrade.WaitForRun(10s));
    for (std::uint8_t i = 0; i < 2; ++i) {
        EXPECT_EQ(ctx().resultTable.strGetResultItemTable(i, 9), "PASS");
        EXPECT_EQ(ctx().resultTable.ColourCodeOf(i, 9), kCellGreen);
        EXPECT_EQ(ctx().resultTable.strGetResultItemTable(i, 10), "PASS");
        EXPECT_EQ(bench.util().hosts[i].strFWVersion, "170707_00_50_01");
    }
}

TEST_F(UpgradePageTest, ThePageRunWaitsForTheHardwareBeforeItClearsAnything) {
    cores->upgrade.vSetGUIByINI();
    {
        // Another activity drives the hardware and writes its result meanwhile.
        const HardwareSession::Hold run = ctx().hardware.Acquire(HardwareActivity::MpRun);
        cores->upgrade.OnBnClickedButtonFirmwareUpgrade();
        ctx().resultTable.ShowResult(ResultLayout::Upgrade, 0, ResultItem::FwUpdate,
                                     CellState::Fail, "FAIL");
        std::this_thread::sleep_for(100ms);
        EXPECT_TRUE(cores->upgrade.RunActive());
        EXPECT_FALSE(cores->hooks.RunEnded());
        EXPECT_EQ(ctx().resultTable.strGetResultItemTable(0, 9), "FAIL");
    }
    ASSERT_TRUE(WaitForRunEnd());
    ASSERT_TRUE(cores->upgrade.WaitForRun(10s));
    EXPECT_EQ(ctx().resultTable.strGetResultItemTable(0, 9), "PASS");
}

TEST_F(UpgradePageTest, BrowsingPutsTheFileOnTopAndNamesItInTheSettings) {
    RecordingPrompts prompts;
    cores.reset();
    cores = std::make_unique<PageCores>(ctx(), &prompts);
    cores->upgrade.vSetGUIByINI();
    prompts.fileAnswers = {std::nullopt, bench.Folder() + "/other.bin"};
    cores->upgrade.OnBnClickedButtonFirmwareBrowser();  // cancelled: nothing changes
    EXPECT_EQ(Get(kUpgFirmwareList).items, std::vector<std::string>{"NEW.BIN"});
    cores->upgrade.OnBnClickedButtonFirmwareBrowser();
    ASSERT_EQ(prompts.fileQuestions.size(), 2u);
    EXPECT_EQ(prompts.fileQuestions[1].filter,
              "Firmware .bin File (*.bin)|*.bin|SPI ROM File (*.rom)|*.rom||");
    EXPECT_EQ(prompts.fileQuestions[1].startFolder, bench.Folder());
    const std::string settingsName = files::ToWindowsName(bench.Folder() + "/other.bin");
    EXPECT_EQ(Get(kUpgFirmwareList).items, (std::vector<std::string>{settingsName, "NEW.BIN"}));
    EXPECT_EQ(Get(kUpgFirmwareList).selection, 0);
    EXPECT_EQ(ctx().ini.fw_binary_name, settingsName);
    EXPECT_EQ(ctx().upgrade.m_strComboFirmware, settingsName);
    std::ifstream history(bench.Folder() + "/BrowsedBINPath.txt", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(history)), {});
    EXPECT_NE(text.find(settingsName + "\r\n"), std::string::npos);
    cores->upgrade.OnBnClickedButtonFWInfo();
    EXPECT_EQ(cores->hooks.firmwareInfos, 1);
}

}  // namespace
}  // namespace qnl::test
