// The test page's rules: its settings boxes and time-out edit, the enable checks and their
// start buttons, the port status icons, the page runs and "Reflash".
#include <gtest/gtest.h>

#include "controller/ErrorCodes.h"
#include "support/PageCores.h"
#include "support/SimFixture.h"

namespace qnl::test {
namespace {

using namespace std::chrono_literals;

class FunTestPageTest : public ::testing::Test {
  protected:
    FunTestPageTest() : bench(Controllers(2), "[]", 0.01) {
        bench.util().ResetHostRecords();
        EXPECT_EQ(bench.chip().ScanPciBus(""), kOk);
        cores = std::make_unique<PageCores>(ctx());
    }
    static std::string Controllers(int count) {
        // Host 0: a device in USB3 Port 1 only; the others: nothing plugged.
        std::string json = "[";
        for (int i = 0; i < count; ++i)
            json +=
                (i ? "," : "") +
                ControllerJson(3 + i, 0, 0, 0,
                               i == 0 ? R"("ports": { "usb3_port1": { "type": "device" } })" : "");
        return json + "]";
    }
    ToolContext& ctx() { return *bench.tool->context; }
    ControlState Get(ControlId id) { return cores->test.Controls().Get(id); }
    FunTestPageCore& page() { return cores->test; }

    SimBench bench;
    std::unique_ptr<PageCores> cores;
};

TEST_F(FunTestPageTest, PortAndSpeedBoxesFollowTheirBits) {
    ctx().ini.test_speed = 5;
    ctx().ini.test_port = 3;
    page().vSetGUIByINI();
    EXPECT_TRUE(Get(kFtUsb20).checked);
    EXPECT_FALSE(Get(kFtUsb30).checked);
    EXPECT_TRUE(Get(kFtUsb31).checked);
    EXPECT_TRUE(Get(kFtPort1).checked);
    EXPECT_TRUE(Get(kFtPort2).checked);
    ctx().ini.test_port = 0;
    ctx().ini.test_speed = 0;
    page().vSetGUIByINI();
    for (ControlId id : {kFtUsb20, kFtUsb30, kFtUsb31, kFtPort1, kFtPort2})
        EXPECT_FALSE(Get(id).checked) << id;
    page().OnBnClickedCheckUsb30(true);
    page().OnBnClickedCheckPort2(true);
    EXPECT_EQ(ctx().ini.test_speed, 2);
    EXPECT_EQ(ctx().ini.test_port, 2);
    page().OnBnClickedCheckUsb30(false);
    EXPECT_EQ(ctx().ini.test_speed, 0);
}

TEST_F(FunTestPageTest, ABadTimeOutCharacterEmptiesTheEditAndKeepsTheValue) {
    ctx().ini.test_timeout = 500;
    page().vSetGUIByINI();
    EXPECT_EQ(Get(kFtTimeOut).text, "500");
    EXPECT_EQ(page().OnEnChangeEditTimeOut("12a"), "");
    EXPECT_EQ(Get(kFtTimeOut).text, "");
    EXPECT_EQ(ctx().ini.test_timeout, 500);  // not 0: the emptied edit stores nothing
    EXPECT_NE(bench.tool->console.Text().find("Invalid TimeOut Value\r\n"), std::string::npos);
    EXPECT_EQ(page().OnEnChangeEditTimeOut("120"), "120");
    EXPECT_EQ(ctx().ini.test_timeout, 120);
    EXPECT_EQ(page().OnEnChangeEditTimeOut(""), "");  // the operator empties it: 0
    EXPECT_EQ(ctx().ini.test_timeout, 0);
    // A text far beyond any time-out (passed in by a script) saturates, it never wraps.
    page().OnEnChangeEditTimeOut(std::string(40, '9'));
    EXPECT_EQ(ctx().ini.test_timeout, INT32_MAX);
}

TEST_F(FunTestPageTest, ANegativeTimeOutFromTheSettingsIsRefusedOnLoad) {
    ctx().ini.test_timeout = -5;
    page().vSetGUIByINI();
    EXPECT_EQ(Get(kFtTimeOut).text, "");
    EXPECT_EQ(ctx().ini.test_timeout, -5);
    EXPECT_NE(bench.tool->console.Text().find("Invalid TimeOut Value\r\n"), std::string::npos);
}

TEST_F(FunTestPageTest, EachEnableCheckSwitchesItsStartButton) {
    struct Case {
        void (FunTestPageCore::*handler)(bool);
        ControlId check, button;
        std::uint8_t IniSettings::*setting;
    };
    const Case cases[] = {{&FunTestPageCore::OnBnClickedSignalLineTestEnable, kFtSignalLineEnable,
                           kFtSignalLineButton, &IniSettings::signal_line_test_enable},
                          {&FunTestPageCore::OnBnClickedCheckFixtureTest, kFtFixtureEnable,
                           kFtFixtureButton, &IniSettings::fixture_test_enable},
                          {&FunTestPageCore::OnBnClickedTerminationTestEnable, kFtTerminationEnable,
                           kFtTerminationButton, &IniSettings::termination_test_enable},
                          {&FunTestPageCore::OnBnClickedLoopBackTestEnable, kFtLoopBackEnable,
                           kFtLoopBackButton, &IniSettings::loopback_test_enable}};
    for (const Case& c : cases) {
        (page().*c.handler)(false);
        EXPECT_FALSE(Get(c.button).enabled) << c.button;
        EXPECT_EQ(ctx().ini.*c.setting, 0);
        EXPECT_FALSE(Get(kFtTimeOut).enabled);
        EXPECT_FALSE(Get(kFtPort1).enabled);
        (page().*c.handler)(true);
        EXPECT_TRUE(Get(c.button).enabled) << c.button;
        EXPECT_TRUE(Get(c.check).checked);
        EXPECT_EQ(ctx().ini.*c.setting, 1);
        EXPECT_TRUE(Get(kFtTimeOut).enabled);
        EXPECT_TRUE(Get(kFtUsb31).enabled);
    }
    // Loop back is a SuperSpeed test: it leaves "USB 2.0" off.
    page().OnBnClickedLoopBackTestEnable(false);
    page().OnBnClickedLoopBackTestEnable(true);
    EXPECT_FALSE(Get(kFtUsb20).enabled);
    EXPECT_TRUE(Get(kFtUsb30).enabled);
    // The hidden tests stay hidden.
    for (ControlId id :
         {kFtLoopBackButton, kFtTerminationButton, kFtLoopBackEnable, kFtTerminationEnable, kFtOk})
        EXPECT_FALSE(Get(id).visible) << id;
    // Loading a test switched off disables its button.
    ctx().ini.fixture_test_enable = 0;
    page().vSetGUIByINI();
    EXPECT_FALSE(Get(kFtFixtureButton).enabled);
    EXPECT_FALSE(Get(kFtFixtureEnable).checked);
}

TEST_F(FunTestPageTest, IconsShowTheFirstFourHostsAndNoMore) {
    bench.util().hosts[0].ucPortConnected = {1, 0, 0, 1};  // USB3 P1, USB2 P2
    bench.util().hosts[1].ucPortConnected = {0, 1, 1, 0};
    page().vRefreshPortIcons();
    EXPECT_EQ(Get(IconId(2, 0)).value, kIconConnected);     // USB3 PORT1
    EXPECT_EQ(Get(IconId(1, 0)).value, kIconConnected);     // USB2 PORT2
    EXPECT_EQ(Get(IconId(0, 0)).value, kIconNotConnected);  // USB2 PORT1
    EXPECT_EQ(Get(IconId(3, 1)).value, kIconConnected);     // USB3 PORT2
    EXPECT_EQ(Get(IconId(0, 1)).value, kIconConnected);     // USB2 PORT1
    for (std::size_t row = 0; row < 4; ++row)
        for (std::size_t device : {2u, 3u})
            EXPECT_EQ(Get(IconId(row, device)).value, kIconNotConnected);
    EXPECT_EQ(Get(IconId(0, 0)).text, "");
    EXPECT_EQ(cores->test.Controls().Name(IconId(2, 0)), "Device 1 USB3 PORT1");

    // Six hosts: four columns, the fifth and sixth have none (and nothing is overrun).
    bench.util().ucHostCount = 6;
    for (std::size_t i = 2; i < 6; ++i) bench.util().hosts[i].ucPortConnected = {1, 1, 1, 1};
    page().vRefreshPortIcons();
    EXPECT_EQ(Get(IconId(0, 3)).value, kIconConnected);
    EXPECT_EQ(cores->hooks.startChecks, 2 + 4);
}

TEST_F(FunTestPageTest, ReflashScansThePortsAndTheIconsFollowTheStation) {
    page().vRefreshPortIcons();
    bench.util().hosts[1].ucPortConnected = {1, 1, 1, 1};  // stale: nothing is plugged there
    page().vRefreshPortIcons();
    page().OnBnClickedButtonReflash();
    EXPECT_TRUE(page().PageTimerRunning());
    ASSERT_TRUE(page().Checks().WaitIdle(30s));
    page().OnTimer();
    EXPECT_EQ(Get(kFtProgress).value, 100);
    EXPECT_FALSE(page().PageTimerRunning());
    EXPECT_EQ(Get(IconId(2, 0)).value, kIconConnected);  // host 0 USB3 PORT1
    for (std::size_t row = 0; row < 4; ++row) {
        if (row != 2) {
            EXPECT_EQ(Get(IconId(row, 0)).value, kIconNotConnected) << row;
        }
        EXPECT_EQ(Get(IconId(row, 1)).value, kIconNotConnected) << row;
    }
    EXPECT_EQ(page().Checks().ChecksRun(), 1u);
}

TEST_F(FunTestPageTest, NoPortCheckWithACommandLine) {
    ctx().consoleMode = true;
    page().OnBnClickedButtonReflash();
    page().RequestPortCheck();
    EXPECT_TRUE(page().Checks().WaitIdle(5s));
    EXPECT_EQ(page().Checks().ChecksRun(), 0u);
}

TEST_F(FunTestPageTest, APageButtonRunsItsTestOnTheTestPageColumns) {
    ctx().ini.test_speed = 2;
    ctx().ini.test_port = 1;
    ctx().ini.test_timeout = 500;
    ctx().ini.signal_line_test_enable = 1;
    ctx().runFromMain = true;
    page().vSetGUIByINI();
    page().OnBnClickedButtonSignalLineTest();
    EXPECT_FALSE(ctx().runFromMain);
    EXPECT_FALSE(Get(kFtSignalLineButton).enabled);
    page().OnBnClickedButtonSignalLineTest();  // ignored while the run goes on
    ASSERT_TRUE(page().WaitForRun(60s));
    EXPECT_TRUE(cores->hooks.RunEnded());
    EXPECT_EQ(ctx().funTest.m_bFinished, 1);
    // USB 3.0 Port 1 is column 7 of the test page, the overall column 11.
    EXPECT_EQ(ctx().resultTable.strGetResultItemTable(0, 7), "PASS");
    EXPECT_EQ(ctx().resultTable.strGetResultItemTable(0, 11), "PASS");
    EXPECT_EQ(ctx().resultTable.strGetResultItemTable(1, 11), "FAIL");  // nothing plugged
    EXPECT_EQ(cores->hooks.disables, 1);
}

}  // namespace
}  // namespace qnl::test
