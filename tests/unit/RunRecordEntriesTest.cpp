// The run's record: a FAIL stays within a run, a new run starts blank, and each entry keeps
// when it started and ended on the tool's clock.
#include <gtest/gtest.h>

#include "controller/RunRecord.h"

namespace qnl {
namespace {

TEST(RunRecordEntries, AFailStaysUntilTheNextRunAndEntriesAreTimed) {
    ManualClock clock;
    clock.AdvanceMs(5);
    RunRecord record(clock);
    std::array<TargetHost, kMaxHosts> hosts{};
    hosts[0].ucBus = 3;
    hosts[0].strFWVersion = "170707_00_50_01";
    record.Begin(hosts, 1);

    record.Set(0, ResultItem::SignalLineOverall, ItemState::Doing, "doing");
    clock.AdvanceMs(1500);
    record.Set(0, ResultItem::SignalLineOverall, ItemState::Fail, "FAIL", -3);
    clock.AdvanceMs(10);
    // A later PASS or "doing" of the same item is dropped; another FAIL is taken.
    EXPECT_EQ(record.Set(0, ResultItem::SignalLineOverall, ItemState::Pass, "PASS").text, "FAIL");
    record.Set(0, ResultItem::SignalLineOverall, ItemState::Doing, "doing");
    ItemEntry entry = record.Host(0).Item(ResultItem::SignalLineOverall);
    EXPECT_EQ(entry.state, ItemState::Fail);
    EXPECT_EQ(entry.errorCode, -3);
    EXPECT_EQ(entry.DurationMs(), 1500u);
    EXPECT_EQ(record.Set(0, ResultItem::SignalLineOverall, ItemState::Fail, "Fail", -9).text,
              "Fail");
    // Other items and hosts are untouched.
    EXPECT_EQ(record.Host(0).Item(ResultItem::FwUpdate).state, ItemState::NotRun);
    EXPECT_EQ(record.Hosts().size(), 1u);
    EXPECT_EQ(record.Host(0).bus, 3);
    EXPECT_EQ(record.Host(0).fwVersionBefore, "170707_00_50_01");

    // The next run starts blank: its PASS is taken.
    record.Begin(hosts, 1);
    EXPECT_EQ(record.Set(0, ResultItem::SignalLineOverall, ItemState::Pass, "PASS").state,
              ItemState::Pass);
    // A host outside the table is ignored.
    EXPECT_EQ(record.Set(kMaxHosts, ResultItem::FwUpdate, ItemState::Fail, "FAIL").state,
              ItemState::NotRun);
}

}  // namespace
}  // namespace qnl
