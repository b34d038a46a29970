// The upgrade and test pages inside the main window's core: a page's own run disables the
// window and timer 1 gives it back at the run's end; start-up on the test page checks the
// ports in window mode only; Rescan on the test page is its "Reflash".
#include <gtest/gtest.h>

#include <thread>

#include "app/WindowPages.h"
#include "support/WindowBench.h"

namespace qnl::test {
namespace {

using namespace std::chrono_literals;

class WindowPagesTest : public ::testing::Test {
  protected:
    WindowPagesTest() : bench(2, 0.01, ToolAssembly::Parts::WindowAndPages) {}
    // Timer 1 ticks until the run has ended (or 30 s of real time passed).
    bool TickUntilEnd() {
        for (int i = 0; i < 3000; ++i) {
            if (bench.dialog->OnTimer1()) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    WindowBench bench;
    WindowPages* const pages = bench.tool.pages;
};

TEST_F(WindowPagesTest, BothUpgradeSwitchesOffGivesTheWindowBackAtOnce) {
    bench.WriteSettings(
        "[main]\r\ninit_main=1\r\n[fw]\r\nfw_update_enable=0\r\nfw_check_enable=0\r\n");
    bench.Start();
    ASSERT_FALSE(bench.result);
    pages->upgrade.OnBnClickedButtonFirmwareUpgrade();
    EXPECT_TRUE(bench.dialog->Timer1Running());
    EXPECT_FALSE(bench.State(kCtlUnlock).enabled);
    EXPECT_TRUE(bench.dialog->OnTimer1());  // the first tick sees the end
    EXPECT_FALSE(bench.dialog->Timer1Running());
    EXPECT_TRUE(bench.State(kCtlUnlock).enabled);
}

TEST_F(WindowPagesTest, APageTestRunDisablesTheWindowUntilItsEnd) {
    bench.WriteSettings(
        "[main]\r\ninit_main=2\r\n[test]\r\nsignal_line_test_enable=1\r\ntest_speed=1\r\n"
        "test_port=1\r\ntest_timeout=100\r\n");
    bench.Start();
    ASSERT_FALSE(bench.result);
    // Start-up with the test page first checked the ports (window mode).
    ASSERT_TRUE(pages->test.Checks().WaitIdle(30s));
    EXPECT_EQ(pages->test.Checks().ChecksRun(), 1u);
    bench.dialog->OnBnClickedUnlock();  // no password given: stays locked; run anyway
    pages->test.OnBnClickedButtonSignalLineTest();
    EXPECT_TRUE(bench.dialog->Timer1Running());
    EXPECT_FALSE(bench.State(kCtlUnlock).enabled);
    EXPECT_FALSE(pages->test.Controls().Get(kFtReflash).enabled);
    ASSERT_TRUE(TickUntilEnd());
    EXPECT_TRUE(bench.State(kCtlUnlock).enabled);
    // The test page's columns 5..11 were written for the run (USB 2.0 Port 1, overall).
    EXPECT_NE(bench.context->resultTable.strGetResultItemTable(0, 11), "");
}

TEST_F(WindowPagesTest, NoStartUpPortCheckWithACommandLine) {
    bench.WriteSettings("[main]\r\ninit_main=2\r\n");
    bench.result = bench.dialog->OnInitDialog("/D");
    EXPECT_TRUE(pages->test.Checks().WaitIdle(5s));
    EXPECT_EQ(pages->test.Checks().ChecksRun(), 0u);
}

}  // namespace
}  // namespace qnl::test
