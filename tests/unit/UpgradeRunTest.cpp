// The upgrade run's supervisor: a worker that stops answering is given up on at the time
// limit, and neither the programming lock nor the next run suffers from it.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>
#include <vector>

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
    const UpgradeOutcome outcome = ctx().upgrade.RunFirmwareUpgrade(0, 0x30);
    EXPECT_TRUE(outcome.finished);
    EXPECT_TRUE(outcome.allUpdated);
    EXPECT_TRUE(outcome.allChecked);
    ASSERT_TRUE(outcome.image.has_value());
    EXPECT_EQ(outcome.image->version, "170707_00_50_01");
    EXPECT_EQ(ctx().resultTable.strGetResultItemTable(1, 7), "PASS");
    EXPECT_EQ(bench.util().hosts[1].strFWVersion, "170707_00_50_01");
}

TEST_F(UpgradeRunTest, HungProgrammerIsGivenUpOnAndTheNextRunPasses) {
    // Host 0 stops answering in the middle of its flash identification.
    bench.controller(0).HangFromCommand(2);
    bench.controller(1).HangFromCommand(2);
    ctx().upgrade.ResetRunState();
    EXPECT_FALSE(ctx().upgrade.RunFirmwareUpgrade(0, 0x30).finished);
    EXPECT_EQ(ctx().resultTable.strGetResultItemTable(0, 7), "Fail");
    EXPECT_EQ(ctx().resultTable.ColourCodeOf(0, 7), kCellRed);
    // Given up on: failed in the record too.
    EXPECT_EQ(bench.util().hosts[0].ucFwUpdateResult, 0);
    EXPECT_NE(bench.tool->console.Text().find("Firmware Update Time Out, Fail!!!"),
              std::string::npos);
    ctx().upgrade.WaitForWorkers();
    EXPECT_FALSE(ctx().upgrade.m_FWUpgCriticalSection.Held());

    bench.controller(0).ClearFaults();
    bench.controller(1).ClearFaults();
    ctx().upgrade.ResetRunState();
    EXPECT_TRUE(ctx().upgrade.RunFirmwareUpgrade(0, 0x30).allUpdated);
    EXPECT_EQ(bench.util().hosts[0].ucFwUpdateResult, 1);
}

// The window rebuilds the table from the host records when the operator switches pages, also
// while a run's workers publish into those records: each record is read as one consistent copy
// (ThreadSanitizer checks the reads against the workers' writes), and the page shown after the
// run carries what the workers published.
TEST_F(UpgradeRunTest, PageSwitchesWhileTheWorkersWriteReadWholeRecords) {
    ctx().upgrade.ResetRunState();
    std::atomic<bool> over{false};
    bool passed = false;
    std::thread run([&] {
        passed = ctx().upgrade.RunFirmwareUpgrade(1, 0x30).finished;
        over = true;
    });
    int rebuilds = 0;
    std::uint8_t page = kPageMain;
    do {
        page = static_cast<std::uint8_t>((page + 1) % 3);
        ctx().resultTable.ShowPage(page);
        ctx().resultTable.vUpdateAllMainResultSubItemTable();
        ++rebuilds;
    } while (!over);
    run.join();
    EXPECT_TRUE(passed);
    EXPECT_GT(rebuilds, 1);

    ctx().resultTable.ShowPage(kPageUpgrade);
    for (std::uint8_t i = 0; i < 2; ++i) {
        EXPECT_EQ(ctx().resultTable.strGetResultItemTable(i, 1), "170707_00_50_01");
        EXPECT_EQ(ctx().resultTable.strGetResultItemTable(i, 3), i == 0 ? "3" : "4");
    }
}

// A worker given up on at the limit and released afterwards writes nothing: not the table,
// not the console, not the host record.
TEST_F(UpgradeRunTest, AGivenUpWorkerReleasedAfterTheLimitWritesNothing) {
    ctx().consoleMode = true;
    bench.controller(0).HangFromCommand(3);
    bench.controller(1).HangFromCommand(3);
    const TargetHost before0 = bench.util().hosts[0];
    ctx().upgrade.ResetRunState();
    EXPECT_FALSE(ctx().upgrade.RunFirmwareUpgrade(0, 0x30).finished);
    const std::string consoleAtLimit = bench.tool->console.Text();
    // The hung controllers answer again: the workers go on from where they hung.
    bench.controller(0).ClearFaults();
    bench.controller(1).ClearFaults();
    ctx().upgrade.WaitForWorkers();

    for (std::uint8_t i = 0; i < 2; ++i) {
        EXPECT_EQ(ctx().resultTable.strGetResultItemTable(i, 7), "Fail");
        EXPECT_EQ(ctx().resultTable.ColourCodeOf(i, 7), kCellRed);
        EXPECT_EQ(bench.util().hosts[i].ucFwUpdateResult, 0);
        EXPECT_EQ(bench.util().hosts[i].ucFwCheckResult, 0);
    }
    EXPECT_EQ(bench.util().hosts[0].strFWVersion, before0.strFWVersion);
    EXPECT_EQ(bench.tool->console.Text(), consoleAtLimit);
    EXPECT_EQ(consoleAtLimit.find("Host[0],[FW"), std::string::npos);
    EXPECT_FALSE(ctx().upgrade.m_FWUpgCriticalSection.Held());
}

// Five boards, the first of which stops answering in the middle of its programming while it
// holds the programming lock: at the limit no board that was still waiting for the lock may be
// touched (the waiters are stopped before the lock is released, and a stopped waiter never
// takes it). Repeated, since the race it guards against is one of timing.
TEST(UpgradeRunFiveHosts, BoardsWaitingForTheLockAreUntouchedAfterTheLimit) {
    std::string controllers = "[";
    for (int bus = 3; bus < 8; ++bus)
        controllers += (bus > 3 ? "," : "") + ControllerJson(bus, 0, 0);
    controllers += "]";
    const auto older = BuildTestImage(0, {0x16, 0x01, 0x01, 0x00, 0x40, 0x01}, {}, 2048);
    const auto newer = BuildTestImage(0, {0x17, 0x07, 0x07, 0x00, 0x50, 0x01}, {}, 2048);
    for (int round = 0; round < 3; ++round) {
        SimBench bench(controllers, "[]", 0.002);
        ToolContext& ctx = *bench.tool->context;
        std::ofstream(bench.Folder() + "/new.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(newer.data()),
                   static_cast<std::streamsize>(newer.size()));
        ctx.ini.fw_update_enable = 1;
        ctx.ini.fw_binary_name = "NEW.BIN";
        ctx.runFromMain = true;
        std::vector<std::vector<std::uint8_t>> flashBefore;
        for (std::size_t i = 0; i < 5; ++i) {
            bench.controller(i).SetFlashContents(older);
            bench.controller(i).Reboot();
            flashBefore.push_back(bench.controller(i).FlashContents());
        }
        bench.util().ResetHostRecords();
        ASSERT_EQ(bench.chip().ScanPciBus(""), kOk);
        ASSERT_EQ(bench.util().ucHostCount, 5);
        // Host 0 hangs after the erase of its first section, inside the lock.
        bench.controller(0).HangFromCommand(200);

        ctx.upgrade.ResetRunState();
        EXPECT_FALSE(ctx.upgrade.RunFirmwareUpgrade(0, 0x10).finished);
        ctx.upgrade.WaitForWorkers();

        for (std::size_t i = 1; i < 5; ++i) {
            const bool passed =
                ctx.resultTable.strGetResultItemTable(static_cast<std::uint8_t>(i), 7) == "PASS";
            if (passed) continue;  // programmed before the hung board took the lock
            EXPECT_EQ(bench.controller(i).FlashContents(), flashBefore[i])
                << "round " << round << ": waiting board " << i << " was touched";
            EXPECT_EQ(bench.util().hosts[i].ucFwUpdateResult, 0);
        }
        EXPECT_FALSE(ctx.upgrade.m_FWUpgCriticalSection.Held());
    }
}

TEST_F(UpgradeRunTest, NoHostIsNotAPass) {
    bench.util().ResetHostRecords();
    bench.util().ucHostCount = 0;
    ctx().upgrade.ResetRunState();
    const UpgradeOutcome outcome = ctx().upgrade.RunFirmwareUpgrade(0, 0x30);
    EXPECT_TRUE(outcome.finished);
    EXPECT_EQ(ctx().upgrade.m_ucRunDone, 1);
    EXPECT_FALSE(outcome.allUpdated);
    EXPECT_FALSE(outcome.allChecked);
}

}  // namespace
}  // namespace qnl::test
