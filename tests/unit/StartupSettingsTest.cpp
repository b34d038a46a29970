// Start-up with the settings file of the tool folder: the load, its console lines, the
// status-register threshold it gives discovery, and /G and /F.
#include <gtest/gtest.h>

#include <fstream>

#include "app/MPToolDlg.h"
#include "settings/CIni.h"
#include "support/SimFixture.h"
#include "support/TestImage.h"

namespace qnl::test {
namespace {

class StartupSettingsTest : public ::testing::Test {
  protected:
    void WriteSettings(const std::string& text) {
        std::ofstream(IniPath(), std::ios::binary) << text;
    }
    std::string IniPath() const { return bench.Folder() + "/" + kIniFileName; }
    std::optional<std::int32_t> Start(const std::string& commandLine) {
        return dialog.OnInitDialog(commandLine);
    }
    std::string Console() const { return bench.tool->console.Text(); }
    const CIni& ini() { return bench.tool->context->ini; }

    // The flash powers up with its protection bits set, so a read status is not 0.
    SimBench bench{"[" + ControllerJson(3, 0, 0, 0, R"("flash_status": "1C")") + "]"};
    CQNL735_MPToolDlg dialog{*bench.tool->context};
};

TEST_F(StartupSettingsTest, SilentRunPrintsTheLoadLineAndGoesOn) {
    WriteSettings("[version]\r\nver=18\r\n");
    EXPECT_EQ(Start("/S /D"), 0);
    EXPECT_NE(Console().find("Load [" + IniPath() + "] Setting file...\r\nTarget Host[0]"),
              std::string::npos)
        << Console();
    EXPECT_EQ(bench.util().m_ucIniLoaded, 1);
    EXPECT_EQ(dialog.m_strEditLoadINI, IniPath());
}

TEST_F(StartupSettingsTest, AMissingFileIsNotFatalOnTheFirstPage) {
    EXPECT_EQ(Start("/S /D"), 0);
    EXPECT_NE(Console().find(IniPath() + " File/Path is not exist\r\nLoad [" + IniPath() +
                             "] Setting file...\r\n"),
              std::string::npos)
        << Console();
    EXPECT_EQ(bench.util().m_ucIniLoaded, 0);
}

TEST_F(StartupSettingsTest, AFailedLoadEndsASilentRunThatWasToShowAnotherPage) {
    WriteSettings("ver=18\r\ninit_main=1\r\nnot_a_key=1\r\n");
    EXPECT_EQ(Start("/S /D"), -1);
    EXPECT_NE(
        Console().find("Load [" + IniPath() + "] Setting file failed!!...\r\nErroCode [-1]\r\n"),
        std::string::npos)
        << Console();
    EXPECT_EQ(Console().find("Target Host"), std::string::npos);  // discovery never ran

    // Without /S the tool goes on with Start disabled.
    SimBench other{"[" + ControllerJson(3, 0, 0) + "]"};
    std::ofstream(other.Folder() + "/" + kIniFileName) << "ver=18\r\ninit_main=1\r\nx=1\r\n";
    CQNL735_MPToolDlg windowed(*other.tool->context);
    EXPECT_EQ(windowed.OnInitDialog("/D"), 0);
    EXPECT_EQ(other.util().m_ucIniLoaded, 0);
}

// The dialog here has no pages attached: start-up validates what was loaded by itself.
TEST_F(StartupSettingsTest, LoadedValuesThePagesWouldRefuseAreToldAndEmptiedWithoutThePages) {
    WriteSettings("ver=18\r\ntest_timeout=-5\r\nsvid=12G4\r\nssid=5678\r\nCustInfo=" +
                  std::string(32, 'c') + "\r\n");
    EXPECT_EQ(Start("/S /D"), 0);
    EXPECT_NE(Console().find("Setting file...\r\nInvalid TimeOut Value\r\nInvalid SVID\r\nType "
                             "Too Much Character\r\nTarget Host[0]"),
              std::string::npos)
        << Console();
    EXPECT_EQ(ini().test_timeout, 0);
    EXPECT_EQ(ini().svid, "");
    EXPECT_EQ(ini().ssid, "5678");
    EXPECT_EQ(ini().CustInfo, "");
}

// The test page shown first is refreshed first: its time-out edit refuses the loaded value
// (keeping it), then the device page's refresh refuses it again and stores 0.
TEST_F(StartupSettingsTest, WithTheTestPageFirstABadTimeOutIsToldTwice) {
    WriteSettings("ver=18\r\ninit_main=2\r\ntest_timeout=-5\r\n");
    EXPECT_EQ(Start("/S /D"), 0);
    EXPECT_NE(Console().find(
                  "Setting file...\r\nInvalid TimeOut Value\r\nInvalid TimeOut Value\r\nTarget"),
              std::string::npos)
        << Console();
    EXPECT_EQ(ini().test_timeout, 0);
}

TEST_F(StartupSettingsTest, DiscoveryReadsTheStatusRegisterFromTheSettingsThreshold) {
    bench.controller(0).SetFlashContents(BuildTestImage(0, {0x16, 0x05, 0x05, 0x00, 0x01, 0x02}));
    bench.controller(0).Reboot();
    const std::uint8_t status = bench.controller(0).FlashStatusRegister();
    ASSERT_NE(status, 0);
    WriteSettings("ver=18\r\nspi_wrsr_ver=160505_00_01_02\r\n");
    EXPECT_EQ(Start("/D"), 0);
    EXPECT_EQ(bench.util().hosts[0].ucWrsrStatus, status);
}

TEST_F(StartupSettingsTest, SignalAndFixtureOverridesSetTheTestSettings) {
    WriteSettings("ver=18\r\ntest_speed=1\r\ntest_port=1\r\n");
    // The settings have no time-out: the signal line test refuses to start (-9), and a silent
    // run ends with the test phase's error byte 0xF7.
    EXPECT_EQ(Start("/S /G 12"), 247);
    EXPECT_EQ(ini().signal_line_test_enable, 1);
    EXPECT_EQ(ini().fixture_test_enable, 0);
    EXPECT_EQ(ini().test_port, 1);
    EXPECT_EQ(ini().test_speed, 2);

    IniSettings s;
    CommandLineState cmd;
    cmd.fixtureOverride = true;
    cmd.testPort = 3;
    cmd.testSpeed = 7;
    ApplyTestOverrides(cmd, s);
    EXPECT_EQ(s.fixture_test_enable, 1);
    EXPECT_EQ(s.signal_line_test_enable, 0);
    EXPECT_EQ(s.test_port, 3);
    EXPECT_EQ(s.test_speed, 7);
}

}  // namespace
}  // namespace qnl::test
