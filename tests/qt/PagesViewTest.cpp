// The upgrade and test pages and the serial-number dialog bound to their cores: a click or a
// keystroke reaches the core, a change of the core reaches the widget.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "controller/ErrorCodes.h"
#include "firmware/qt/UpgradePage.h"
#include "porttest/qt/FunTestPage.h"
#include "qnlio/sim/SimPlugControl.h"
#include "support/PageCores.h"
#include "support/SimFixture.h"
#include "ui/SerialNumber.h"
#include "ui/qt/SerialNumberDialog.h"

namespace qnl::test {
namespace {

template <typename W>
W* Find(QWidget& root, const QString& accessibleName) {
    for (W* w : root.findChildren<W*>())
        if (w->accessibleName() == accessibleName) return w;
    return nullptr;
}

struct Station {
    Station()
        : bench(
              "[" +
                  ControllerJson(3, 0, 0, 0, R"("ports": { "usb3_port1": { "type": "device" } })") +
                  "," + ControllerJson(4, 0, 0) + "]",
              "[]", 0.01) {
        bench.util().ResetHostRecords();
        bench.chip().ScanPciBus("");
        cores = std::make_unique<PageCores>(*bench.tool->context);
    }
    IniSettings& ini() { return bench.tool->context->ini; }
    SimBench bench;
    std::unique_ptr<PageCores> cores;
};

TEST(UpgradePageView, SwitchesReachTheCoreAndTheUpdateControlsFollow) {
    Station s;
    s.ini().fw_update_enable = 1;
    s.ini().fw_binary_name = "NEW.BIN";
    s.cores->upgrade.vSetGUIByINI();
    UpgradePage page(s.cores->upgrade);
    auto* update = Find<QCheckBox>(page, "Firmware Upgrade Enable");
    auto* upgrade = Find<QPushButton>(page, "Firmware Upgrade");
    ASSERT_TRUE(update && upgrade);
    EXPECT_EQ(update->text(), "Firmware Upgrade Enable");
    EXPECT_TRUE(update->isChecked());
    EXPECT_TRUE(upgrade->isEnabledTo(&page));
    QTest::mouseClick(update, Qt::LeftButton);
    EXPECT_EQ(s.ini().fw_update_enable, 0);
    EXPECT_FALSE(upgrade->isEnabledTo(&page));
    EXPECT_FALSE(Find<QPushButton>(page, "Firmware Browser")->isEnabledTo(&page));
    // The core's change reaches the widget without calling back.
    s.cores->upgrade.vDisableALLGUI();
    EXPECT_FALSE(update->isEnabledTo(&page));
}

TEST(FunTestPageView, EditRuleHiddenControlsAndIconNames) {
    Station s;
    s.ini().test_timeout = 500;
    s.ini().signal_line_test_enable = 1;
    s.cores->test.vSetGUIByINI();
    FunTestPage page(s.cores->test);
    auto* edit = Find<QLineEdit>(page, "Time Out(ms)");
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), "500");
    edit->clear();
    QTest::keyClicks(edit, "12a");
    EXPECT_EQ(edit->text(), "");
    EXPECT_EQ(s.ini().test_timeout, 12);  // "1", "12" were stored; "12a" changed nothing
    // The hidden tests are there but hidden.
    int hidden = 0;
    for (auto* button : page.findChildren<QPushButton*>())
        if (button->text() == "Loop Back Test" || button->text() == "Terminal Test" ||
            button->text() == "OK")
            hidden += button->isHidden() ? 1 : 0;
    EXPECT_EQ(hidden, 3);
    EXPECT_FALSE(Find<QCheckBox>(page, "Termination Test")->isVisibleTo(&page));
    // Unchecking the signal line test disables its start button.
    const auto enable = page.findChildren<QCheckBox*>();
    QCheckBox* signalEnable = nullptr;
    for (auto* c : enable)
        if (c->text() == "Signal Line Test") signalEnable = c;
    ASSERT_NE(signalEnable, nullptr);
    QTest::mouseClick(signalEnable, Qt::LeftButton);
    EXPECT_EQ(s.ini().signal_line_test_enable, 0);
    QPushButton* signalButton = nullptr;
    for (auto* b : page.findChildren<QPushButton*>())
        if (b->text() == "Signal Line Test") signalButton = b;
    EXPECT_FALSE(signalButton->isEnabledTo(&page));

    // Icons say what they show.
    s.bench.util().hosts[0].ucPortConnected = {1, 0, 0, 0};
    s.cores->test.vRefreshPortIcons();
    QCoreApplication::processEvents();
    EXPECT_NE(Find<QLabel>(page, "Device 1 USB3 PORT1 connected"), nullptr);
    EXPECT_NE(Find<QLabel>(page, "Device 3 USB2 PORT2 not connected"), nullptr);
}

TEST(FunTestPageView, ReflashFromTheButtonMatchesTheStationsPorts) {
    Station s;
    FunTestPage page(s.cores->test);
    QPushButton* reflash = nullptr;
    for (auto* b : page.findChildren<QPushButton*>())
        if (b->text() == "Reflash") reflash = b;
    ASSERT_NE(reflash, nullptr);
    page.show();
    QTest::mouseClick(reflash, Qt::LeftButton);
    ASSERT_TRUE(s.cores->test.Checks().WaitIdle(std::chrono::seconds(30)));
    EXPECT_EQ(s.cores->test.Checks().ChecksRun(), 1u);
    QTest::qWait(200);  // the page timer copies the progress; queued icon changes arrive
    EXPECT_EQ(s.cores->test.Controls().Get(kFtProgress).value, 100);
    EXPECT_NE(Find<QLabel>(page, "Device 1 USB3 PORT1 connected"), nullptr);
    EXPECT_NE(Find<QLabel>(page, "Device 2 USB3 PORT1 not connected"), nullptr);
}

TEST(FunTestPageView, APlugOnTheStationUpdatesAnIconWithNoClick) {
    Station s;
    FunTestPage page(s.cores->test);
    page.show();
    sim::SimPlugControl control(*s.bench.station);
    std::string error;
    ASSERT_TRUE(
        control.Start([&](const DeviceChangeEvent& e) { s.cores->test.OnDeviceChange(e); }, error));
    EXPECT_NE(Find<QLabel>(page, "Device 2 USB2 PORT2 not connected"), nullptr);
    ASSERT_TRUE(control.Apply("plug 1 usb2_port2", error)) << error;
    ASSERT_TRUE(s.cores->test.Checks().WaitIdle(std::chrono::seconds(30)));
    QTest::qWait(100);  // the icon change is queued to the GUI thread
    EXPECT_NE(Find<QLabel>(page, "Device 2 USB2 PORT2 connected"), nullptr);
    control.Stop();
}

class SerialNumberView : public ::testing::Test {
  protected:
    SerialNumberView() { utility.hosts[0].ucIndex = 0; }
    CUtility utility;
    std::string serial;
};

TEST_F(SerialNumberView, FiltersKeepsTheCaretAndAcceptsOnlyALongEnoughNumberOnEnter) {
    CSNDlg entry(utility, serial, 0);
    SerialNumberDialog dialog(entry);
    dialog.show();
    QLineEdit* edit = dialog.Edit();
    QTest::keyClicks(edit, "12-34 ab");
    EXPECT_EQ(edit->text(), "1234AB");
    EXPECT_EQ(edit->cursorPosition(), 6);
    EXPECT_EQ(serial, "1234AB");
    QTest::keyClick(edit, Qt::Key_Return);  // 6 digits: too short, the edit starts over
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(edit->text(), "");
    QTest::keyClicks(edit, "0123456789AB");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(serial, "0123456789AB");
}

TEST_F(SerialNumberView, EscapeCancelsAndLeavesNoNumber) {
    CSNDlg entry(utility, serial, 17);  // above 16: Enter can never accept
    SerialNumberDialog dialog(entry);
    dialog.show();
    QTest::keyClicks(dialog.Edit(), std::string(20, '7').c_str());
    EXPECT_EQ(dialog.Edit()->text().size(), 16);
    QTest::keyClick(dialog.Edit(), Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    QTest::keyClick(dialog.Edit(), Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(serial, "");
}

TEST(SerialNumberCaret, DroppedCharactersBeforeTheCaretMoveItBack) {
    EXPECT_EQ(CaretAfterFilter("12-34", 5, "1234"), 4);
    EXPECT_EQ(CaretAfterFilter("12-34", 2, "1234"), 2);
    EXPECT_EQ(CaretAfterFilter("--ab", 3, "AB"), 1);
    EXPECT_EQ(CaretAfterFilter("", 0, ""), 0);
}

}  // namespace
}  // namespace qnl::test
