// The upgrade run's supervisor: a worker that stops answering is given up on at the time
// limit, and neither the programming lock nor the next run suffers from it.
#include <gtest/gtest.h>

#include <fstream>

#include "controller/ErrorCodes.h"
#include "support/SimFixture.h"
#include "support/TestImage.h"

namespace qnl::test {
namespace {

class UpgradeRunTest : public ::testing::Test {
protected:
    // A real clock at a time scale of 0.002: the 200 s limit passes in 0.4 s of wall time.
    UpgradeRunTest()
        : bench("[" + ControllerJson(3, 0, 0) + "," + ControllerJson(4, 0, 0) + "]", "[]", 0.002) {
        const auto image = BuildTestImage(0, {0x17, 0x07, 0x07, 0x00, 0x50, 0x01}, {}, 2048);
        std::ofstream(bench.Folder() + "/new.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
        ctx().ini.fw_update_enable = 1;
        ctx().ini.fw_check_enable = 1;
        ctx().ini.fw_binary_name = "NEW.BIN";
        ctx().runFromMain = true;
        bench.util().ResetHostRecords();
        EXPECT_EQ(bench.chip().ScanPciBus(""), kOk);
    }
    ToolContext& ctx() { return *bench.tool->context; }

    SimBench bench;
};

TEST_F(UpgradeRunTest, BothHostsUpdatedAndChecked) {
    ctx().upgrade.ResetRunState();
    EXPECT_TRUE(ctx().upgrade.RunFirmwareUpgrade(0, 0x30));
    EXPECT_EQ(ctx().upgrade.m_ucAllUpdated, 1);
    EXPECT_EQ(ctx().upgrade.m_ucAllChecked, 1);
    EXPECT_EQ(ctx().resultTable.strGetResultItemTable(1, 7), "PASS");
    EXPECT_EQ(bench.util().hosts[1].strFWVersion, "170707_00_50_01");
}

TEST_F(UpgradeRunTest, HungProgrammerIsGivenUpOnAndTheNextRunPasses) {
    // Host 0 stops answering in the middle of its flash identification.
    bench.controller(0).HangFromCommand(2);
    bench.controller(1).HangFromCommand(2);
    ctx().upgrade.ResetRunState();
    EXPECT_FALSE(ctx().upgrade.RunFirmwareUpgrade(0, 0x30));
    EXPECT_EQ(ctx().resultTable.strGetResultItemTable(0, 7), "Fail");
    EXPECT_EQ(ctx().resultTable.ColourCodeOf(0, 7), kCellRed);
    EXPECT_NE(bench.tool->console.Text().find("Firmware Update Time Out, Fail!!!"),
              std::string::npos);
    ctx().upgrade.WaitForWorkers();
    EXPECT_FALSE(ctx().upgrade.m_FWUpgCriticalSection.Held());

    bench.controller(0).ClearFaults();
    bench.controller(1).ClearFaults();
    ctx().upgrade.ResetRunState();
    EXPECT_TRUE(ctx().upgrade.RunFirmwareUpgrade(0, 0x30));
    EXPECT_EQ(ctx().upgrade.m_ucAllUpdated, 1);
    EXPECT_EQ(bench.util().hosts[0].ucFwUpdateResult, 1);
}

TEST_F(UpgradeRunTest, NoHostIsNotAPass) {
    bench.util().ResetHostRecords();
    bench.util().ucHostCount = 0;
    ctx().upgrade.ResetRunState();
    EXPECT_TRUE(ctx().upgrade.RunFirmwareUpgrade(0, 0x30));
    EXPECT_EQ(ctx().upgrade.m_ucRunDone, 1);
    EXPECT_EQ(ctx().upgrade.m_ucAllUpdated, 0);
    EXPECT_EQ(ctx().upgrade.m_ucAllChecked, 0);
}

}  // namespace
}  // namespace qnl::test
