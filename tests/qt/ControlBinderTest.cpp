#include "ui/qt/ControlBinder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace qnl {
namespace {

enum : ControlId { kCheck = 1, kEdit, kList, kProgress };

struct Page {
    ControlStateTable table;
    QWidget root;
    QCheckBox* check = new QCheckBox(&root);
    QLineEdit* edit = new QLineEdit(&root);
    QComboBox* list = new QComboBox(&root);
    QProgressBar* progress = new QProgressBar(&root);

    Page() {
        ControlState check_state;
        check_state.text = "SaveLog";
        table.Define(kCheck, ControlKind::CheckBox, "SaveLog", check_state);
        table.Define(kEdit, ControlKind::Edit, "SVID");
        table.Define(kList, ControlKind::ComboBox, "Firmware");
        table.Define(kProgress, ControlKind::Progress, "progress");
    }
};

// A refresh from the core reaches the widgets without firing their user signals (which would
// call the core's handlers again).
TEST(ControlBinder, AppliesCoreStateWithoutUserSignals) {
    Page page;
    ControlBinder binder(page.table);
    binder.Bind(kCheck, page.check);
    binder.Bind(kEdit, page.edit);
    binder.Bind(kList, page.list);
    binder.Bind(kProgress, page.progress);
    EXPECT_EQ(page.check->text(), "SaveLog");
    EXPECT_EQ(page.edit->accessibleName(), "SVID");

    QSignalSpy clicked(page.check, &QCheckBox::clicked);
    QSignalSpy toggled(page.check, &QCheckBox::toggled);
    QSignalSpy typed(page.edit, &QLineEdit::textChanged);
    QSignalSpy picked(page.list, &QComboBox::currentIndexChanged);

    page.table.SetChecked(kCheck, true);
    page.table.SetText(kEdit, "1B21");
    page.table.SetItems(kList, {"new.bin", "old.bin"}, 1);
    page.table.SetEnabled(kEdit, false);
    page.table.SetVisible(kProgress, false);
    page.table.SetValue(kProgress, 42);

    EXPECT_TRUE(page.check->isChecked());
    EXPECT_EQ(page.edit->text(), "1B21");
    EXPECT_FALSE(page.edit->isEnabledTo(&page.root));
    EXPECT_EQ(page.list->count(), 2);
    EXPECT_EQ(page.list->currentIndex(), 1);
    EXPECT_TRUE(page.progress->isHidden());
    EXPECT_EQ(page.progress->value(), 42);
    EXPECT_EQ(clicked.count() + toggled.count() + typed.count() + picked.count(), 0);

    // The operator's own input still fires them.
    page.check->click();
    EXPECT_EQ(clicked.count(), 1);
}

// A worker's change is applied later on the GUI thread; after the binder is gone a change
// reaches nothing.
TEST(ControlBinder, WorkerChangesAreQueuedAndEndWithTheBinder) {
    Page page;
    auto binder = std::make_unique<ControlBinder>(page.table);
    binder->Bind(kProgress, page.progress);
    std::thread worker([&] { page.table.SetValue(kProgress, 77); });
    worker.join();
    EXPECT_NE(page.progress->value(), 77);  // not yet: queued
    QCoreApplication::processEvents();
    EXPECT_EQ(page.progress->value(), 77);

    std::thread late([&] { page.table.SetValue(kProgress, 5); });
    late.join();
    binder.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(page.progress->value(), 77);
}

}  // namespace
}  // namespace qnl
