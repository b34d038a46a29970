// The device settings page's widgets over its core, and the "Setting Register" dialog.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

#include "app/qt/PageDeviceView.h"
#include "app/qt/SetRegDialogView.h"
#include "support/PageBench.h"

namespace qnl::test {
namespace {

using P = PageDevice;

class PageDeviceViewTest : public ::testing::Test {
  protected:
    PageDeviceViewTest() {
        view = std::make_unique<PageDeviceView>(*core, context->setReg);
        view->resize(760, 560);
        view->show();
    }
    ~PageDeviceViewTest() override { view.reset(); }
    template <typename W>
    W* Get(ControlId id) {
        auto* widget = qobject_cast<W*>(view->Widget(id));
        EXPECT_NE(widget, nullptr) << "control " << id;
        return widget;
    }
    IniSettings& ini() { return context->ini; }
    // A check box takes clicks on its box and caption, not on the rest of its row.
    static void ClickBox(QWidget* check) {
        QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
    }
    bool EnabledOnPage(ControlId id) { return view->Widget(id)->isEnabledTo(view.get()); }
    QStringList Labels() {
        QStringList texts;
        for (auto* label : view->findChildren<QLabel*>()) texts << label->text();
        return texts;
    }

    PageBench bench;
    std::unique_ptr<ToolContext>& context = bench.context;
    std::unique_ptr<PageDevice>& core = bench.page;
    RecordingPrompts& prompts = bench.prompts;
    std::unique_ptr<PageDeviceView> view;
};

TEST_F(PageDeviceViewTest, CaptionsAreTheSystemsOwnAndHiddenControlsAreHidden) {
    EXPECT_EQ(Get<QPushButton>(P::kButtonRegSetting)->text(), " Reg Setting");
    EXPECT_EQ(Get<QCheckBox>(P::kCheckFwUpdate)->text(), "FW Update Enable");
    EXPECT_EQ(Get<QPushButton>(P::kButtonBrowse)->text(), "Firmware Browser");
    const QStringList labels = Labels();
    for (const char* caption :
         {"Customer Information (MAX 31)", "Time Out(ms)", "Max", "SVID", "SSID", "(HEX 0-7)"})
        EXPECT_TRUE(labels.contains(caption)) << caption;
    auto* speed = Get<QComboBox>(P::kComboMaxSpeed);
    ASSERT_EQ(speed->count(), 3);
    EXPECT_EQ(speed->itemText(0), "Genx1");
    EXPECT_EQ(speed->itemText(2), "Genx3");
    EXPECT_EQ(view->Widget(P::kEditSvid)->accessibleName(), "SVID");

    for (ControlId id :
         {P::kCheckTermination, P::kCheckLoopBack, P::kCheckSmi, P::kComboSmi, P::kRadioSscOn,
          P::kCheckHighSpeed, P::kEditRfTimeA, P::kCheckSuperSpeed, P::kEditCurDrivingB,
          P::kCheckExternal, P::kButtonExtSet, P::kHintDrivingB})
        EXPECT_TRUE(view->Widget(id)->isHidden()) << core->Controls().Name(id);
    for (ControlId id : {P::kCheckSignalLine, P::kEditTimeout, P::kButtonFwInfo})
        EXPECT_FALSE(view->Widget(id)->isHidden()) << core->Controls().Name(id);
}

TEST_F(PageDeviceViewTest, ClicksAndSelectionsReachTheCoreAndItsStateReachesTheWidgets) {
    auto* subsys = Get<QCheckBox>(P::kCheckSubSys);
    ClickBox(subsys);
    EXPECT_EQ(ini().subsys_enable, 1);
    EXPECT_TRUE(EnabledOnPage(P::kEditSvid));
    ClickBox(subsys);
    EXPECT_EQ(ini().subsys_enable, 0);
    EXPECT_FALSE(EnabledOnPage(P::kEditSvid));
    EXPECT_TRUE(Get<QLineEdit>(P::kEditSvid)->isReadOnly());

    // A script acting through the accessibility interface calls click() and setCurrentIndex.
    Get<QCheckBox>(P::kCheckPciSpeed)->click();
    Get<QComboBox>(P::kComboMaxSpeed)->setCurrentIndex(2);
    EXPECT_EQ(ini().PCISPEED_enable, 1);
    EXPECT_EQ(ini().MAX_PCIe_SPEED, 3);

    // The core's refresh reaches the widgets without calling back into it.
    ini().fw_binary_name = "FW\\NEW.BIN";
    ini().fixture_test_enable = 1;
    ini().test_speed = 2;
    core->vSetGUIByINI();
    EXPECT_EQ(Get<QComboBox>(P::kComboFirmware)->currentText(), "FW\\NEW.BIN");
    EXPECT_TRUE(Get<QCheckBox>(P::kCheckFixture)->isChecked());
    EXPECT_TRUE(Get<QCheckBox>(P::kCheckUsb30)->isChecked());
    EXPECT_EQ(ini().fw_binary_name, "FW\\NEW.BIN");
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(PageDeviceViewTest, TypingIsUpperCasedLimitedAndValidatedByTheCore) {
    ClickBox(Get<QCheckBox>(P::kCheckSubSys));
    auto* svid = Get<QLineEdit>(P::kEditSvid);
    QTest::keyClicks(svid, "ab12c");  // the fifth character is refused by the limit of 4
    EXPECT_EQ(svid->text(), "AB12");
    EXPECT_EQ(ini().svid, "AB12");
    svid->clear();
    QTest::keyClicks(svid, "1g");
    EXPECT_EQ(prompts.messages, std::vector<std::string>{"Invalid SVID\r\n"});
    EXPECT_EQ(svid->text(), "");
    EXPECT_EQ(ini().svid, "");

    // The limit binds typing only: a loaded time-out of 1234 is shown and kept whole.
    ini().test_timeout = 1234;
    core->vSetGUIByINI();
    EXPECT_EQ(Get<QLineEdit>(P::kEditTimeout)->text(), "1234");
    EXPECT_EQ(ini().test_timeout, 1234);
    // Customer information: no typing limit of its own, the core refuses the 32nd character.
    ClickBox(Get<QCheckBox>(P::kCheckCustInfo));
    auto* custInfo = Get<QLineEdit>(P::kEditCustInfo);
    QTest::keyClicks(custInfo, QString(31, 'x'));
    EXPECT_EQ(ini().CustInfo, std::string(31, 'X'));
    QTest::keyClicks(custInfo, "y");
    EXPECT_EQ(prompts.messages.back(), "Type Too Much Character\r\n");
    EXPECT_EQ(custInfo->text(), "");
}

TEST_F(PageDeviceViewTest, ShowingTheExtendedBlockMovesNothingElse) {
    QApplication::processEvents();
    std::map<ControlId, QRect> before;
    for (ControlId id : core->Controls().Ids())
        if (!view->Widget(id)->isHidden()) before[id] = view->Widget(id)->geometry();
    core->SetMainWindowHooks(HooksWith(&MainWindowHooks::ExtendedAccess, [] { return true; }));
    core->vEnableALLGUI();
    QApplication::processEvents();
    EXPECT_FALSE(view->Widget(P::kCheckExternal)->isHidden());
    EXPECT_FALSE(view->Widget(P::kHintDrivingA)->isHidden());
    EXPECT_TRUE(EnabledOnPage(P::kCheckExternal));
    EXPECT_FALSE(EnabledOnPage(P::kCheckBattery));
    for (const auto& [id, rect] : before)
        EXPECT_EQ(view->Widget(id)->geometry(), rect) << core->Controls().Name(id);
    ClickBox(Get<QCheckBox>(P::kCheckExternal));
    EXPECT_EQ(ini().ext_setting_enable, 1);
    EXPECT_TRUE(EnabledOnPage(P::kCheckBattery));
    core->vDisableALLGUI();
    EXPECT_TRUE(view->Widget(P::kCheckExternal)->isHidden());
}

// Runs `act` on the dialog once it is open (from inside its exec()).
void WhenDialogOpens(PageDeviceView& view, std::function<void(SetRegDialogView&)> act) {
    QTimer::singleShot(0, &view, [&view, act] {
        auto* dialog = qobject_cast<SetRegDialogView*>(view.OpenRegisterDialog());
        ASSERT_NE(dialog, nullptr);
        act(*dialog);
    });
}

TEST_F(PageDeviceViewTest, RegSettingOpensTheDialogAndEnterSaves) {
    ClickBox(Get<QCheckBox>(P::kCheckManual));
    WhenDialogOpens(*view, [](SetRegDialogView& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Setting Register");
        EXPECT_EQ(qobject_cast<QPushButton*>(dialog.Widget(SetRegDialog::kButtonCancel))->text(),
                  "取消");
        auto* number = qobject_cast<QLineEdit*>(dialog.Widget(SetRegDialog::kEditNumber));
        number->clear();
        QTest::keyClicks(number, "3x");  // digits only
        EXPECT_EQ(number->text(), "3");
        EXPECT_TRUE(dialog.Widget(SetRegDialog::Value(2))->isEnabledTo(&dialog));
        EXPECT_FALSE(dialog.Widget(SetRegDialog::Value(3))->isEnabledTo(&dialog));
        qobject_cast<QComboBox*>(dialog.Widget(SetRegDialog::Bytes(1)))->setCurrentIndex(1);
        QTest::keyClicks(dialog.Widget(SetRegDialog::Address(1)), "2b3c");
        QTest::keyClicks(dialog.Widget(SetRegDialog::Value(1)), "1234");
        QTest::keyClick(dialog.Widget(SetRegDialog::Value(1)), Qt::Key_Return);
    });
    QTest::mouseClick(Get<QPushButton>(P::kButtonRegSetting), Qt::LeftButton);
    SET_REG& list = context->setReg;
    ASSERT_EQ(list.ValidEntries().size(), 3u);
    EXPECT_EQ(list.m_RegEntry[1], MakeConfigEntry(2, 0x2B3C, 0x1234));
    EXPECT_EQ(list.m_RegEntry[0], MakeConfigEntry(1, 0, 0));

    // Escape cancels: the list is emptied.
    WhenDialogOpens(*view,
                    [](SetRegDialogView& dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); });
    QTest::mouseClick(Get<QPushButton>(P::kButtonRegSetting), Qt::LeftButton);
    EXPECT_TRUE(list.ValidEntries().empty());
}

}  // namespace
}  // namespace qnl::test
