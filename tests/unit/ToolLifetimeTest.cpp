// The tool can be destroyed at any moment of a run (a window closed, a fixture torn down): the
// run is stopped, its workers are given up on and waited for, and nothing touches the tool
// afterwards (AddressSanitizer reports any use after free).
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "app/MPToolDlg.h"
#include "controller/ErrorCodes.h"
#include "platform/Worker.h"
#include "support/SimFixture.h"
#include "support/TestImage.h"

namespace qnl::test {
namespace {

using namespace std::chrono_literals;

// When, during the run, the tool is destroyed.
enum class Moment { RightAfterStart, WhileAControllerHangs, WhileProgramming };

class ToolLifetimeTest : public ::testing::TestWithParam<Moment> {};

TEST_P(ToolLifetimeTest, DestroyedMidRunWithoutUseAfterFree) {
    SimBench bench("[" + ControllerJson(3, 0, 0) + "," + ControllerJson(4, 0, 0) + "]", "[]", 0.01);
    ToolContext& ctx = *bench.tool->context;
    const auto image = BuildTestImage(0, {0x17, 0x07, 0x07, 0x00, 0x50, 0x01}, {}, 2048);
    std::ofstream(bench.Folder() + "/new.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    ctx.ini.fw_update_enable = 1;
    ctx.ini.fw_check_enable = 1;
    ctx.ini.fw_binary_name = "NEW.BIN";
    bench.util().ResetHostRecords();
    ASSERT_EQ(bench.chip().ScanPciBus(""), kOk);
    if (GetParam() == Moment::WhileAControllerHangs) bench.controller(0).HangFromCommand(3);

    auto dialog = std::make_unique<CQNL735_MPToolDlg>(ctx);
    dialog->OnBnClickedStart();
    // Wait for the moment by its events, not by time.
    const auto until = [&](const std::function<bool()>& seen) {
        for (int i = 0; i < 2000 && !seen(); ++i) std::this_thread::sleep_for(1ms);
    };
    if (GetParam() == Moment::WhileAControllerHangs)
        until([&] { return bench.controller(0).Commands().size() >= 3; });
    if (GetParam() == Moment::WhileProgramming)
        until([&] {
            return bench.controller(0).Commands().size() + bench.controller(1).Commands().size() >
                   40;
        });

    dialog.reset();      // the window's core goes first, its run is stopped
    bench.tool.reset();  // then the tool with its upgrade and test objects
    EXPECT_TRUE(Worker::WaitAllFinished(10s));
}

INSTANTIATE_TEST_SUITE_P(Moments, ToolLifetimeTest,
                         ::testing::Values(Moment::RightAfterStart, Moment::WhileAControllerHangs,
                                           Moment::WhileProgramming));

}  // namespace
}  // namespace qnl::test
