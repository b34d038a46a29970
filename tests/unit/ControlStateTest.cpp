#include "ui/ControlState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace qnl {
namespace {

enum : ControlId { kStart = 1, kEdit = 2, kList = 3 };

TEST(ControlStateTable, NotifiesOnlyRealChangesInDefinitionOrder) {
    ControlStateTable table;
    table.Define(kStart, ControlKind::Button, "Start");
    ControlState svid;
    svid.text = "1B21";
    table.Define(kEdit, ControlKind::Edit, "SVID", svid);
    table.Define(kList, ControlKind::ComboBox, "Firmware");
    EXPECT_EQ(table.Ids(), (std::vector<ControlId>{kStart, kEdit, kList}));

    std::vector<ControlId> seen;
    int token = table.Subscribe([&](ControlId id) { seen.push_back(id); });
    table.SetEnabled(kStart, true);  // already enabled
    table.SetText(kEdit, "1B21");    // same text
    EXPECT_TRUE(seen.empty());

    table.SetEnabled(kStart, false);
    table.SetItems(kList, {"b.bin", "a.bin"}, 0);
    table.SetSelection(kList, 0);  // unchanged
    EXPECT_EQ(seen, (std::vector<ControlId>{kStart, kList}));
    EXPECT_FALSE(table.Get(kStart).enabled);
    EXPECT_EQ(table.Get(kList).items.size(), 2u);
    EXPECT_EQ(table.Name(kEdit), "SVID");

    table.Unsubscribe(token);
    table.SetEnabled(kStart, true);
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_THROW(table.Get(99), std::out_of_range);
}

// The core re-enters its own handler from a change ("emptying the edit runs the handler
// again"): a listener that changes the table must neither deadlock nor lose the second change.
TEST(ControlStateTable, ListenerMayChangeTheTableAndUnsubscribeItself) {
    ControlStateTable table;
    table.Define(kEdit, ControlKind::Edit, "SVID");
    std::vector<std::string> texts;
    int token = 0;
    token = table.Subscribe([&](ControlId id) {
        std::string text = table.Get(id).text;
        texts.push_back(text);
        if (text == "12G4") table.SetText(id, "");
        if (text.empty()) table.Unsubscribe(token);
    });
    table.SetText(kEdit, "12G4");
    EXPECT_EQ(texts, (std::vector<std::string>{"12G4", ""}));
    table.SetText(kEdit, "1234");
    EXPECT_EQ(texts.size(), 2u);
    EXPECT_EQ(table.Get(kEdit).text, "1234");
}

// Workers change control state while the view reads it and goes away.
TEST(ControlStateTable, ChangesFromSeveralThreadsAndUnsubscribeStopsCalls) {
    ControlStateTable table;
    table.Define(kStart, ControlKind::Button, "Start");
    table.Define(kList, ControlKind::Progress, "progress");
    std::atomic<int> calls{0};
    std::atomic<bool> unsubscribed{false};
    std::atomic<bool> calledAfter{false};
    int token = table.Subscribe([&](ControlId) {
        if (unsubscribed.load()) calledAfter = true;
        ++calls;
    });
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w) {
        workers.emplace_back([&, w] {
            for (int i = 0; i < 500; ++i) {
                table.SetValue(kList, w * 1000 + i);
                table.SetEnabled(kStart, (i % 2) == 0);
                (void)table.Get(kStart);
            }
        });
    }
    while (calls.load() < 100) std::this_thread::yield();
    table.Unsubscribe(token);
    unsubscribed = true;
    for (auto& t : workers) t.join();
    EXPECT_FALSE(calledAfter.load());
}

}  // namespace
}  // namespace qnl
