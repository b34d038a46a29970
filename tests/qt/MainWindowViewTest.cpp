// The main window's view over its core on a simulated station: the widgets follow the core,
// clicks reach it, a run fills the table from its workers, prompts from workers are answered on
// the GUI thread, and the window cannot be closed under a run.
#include "app/qt/MainWindowView.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "app/qt/LoginDialog.h"
#include "app/qt/PageViews.h"
#include "app/qt/QtPrompts.h"
#include "support/TestImage.h"
#include "support/WindowBench.h"

namespace qnl::test {
namespace {

const MainControl kOperatorControls[] = {kCtlSaveIni,  kCtlLoadIni,    kCtlIniPath,
                                         kCtlDebugLog, kCtlRescan,     kCtlCreateNewFile,
                                         kCtlSaveLog,  kCtlBarCodeScan};

class MainWindowViewTest : public ::testing::Test {
  protected:
    // `settings`: the settings file's lines after the version. `withPages`: the tool's own
    // pages and their views (else empty placeholders).
    void Open(const std::string& settings, double timeScale = 0, bool withPages = false) {
        bench = std::make_unique<WindowBench>(
            2, timeScale,
            withPages ? ToolAssembly::Parts::WindowAndPages : ToolAssembly::Parts::WindowOnly);
        bench->WriteSettings(settings);
        // A valid image where the settings name "FW.BIN".
        const auto image = BuildTestImage(0, {0x17, 0x07, 0x07, 0x00, 0x50, 0x01}, {}, 4096);
        std::ofstream(bench->sim.Folder() + "/fw.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
        bench->Start();
        ASSERT_FALSE(bench->result.has_value());
        view = std::make_unique<MainWindowView>(
            *bench->dialog, *bench->context,
            withPages ? MakePageViews(*bench->tool.pages, *bench->dialog, *bench->context)
                      : std::array<QWidget*, 3>{});
        view->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override {
        view.reset();
        bench.reset();
    }
    QWidget& Widget(MainControl id) {
        switch (id) {
            case kCtlIniPath:
                return view->PathEdit();
            case kCtlSaveLog:
            case kCtlBarCodeScan:
                return view->CheckBox(id);
            default:
                return view->Button(id);
        }
    }
    bool Enabled(MainControl id) { return Widget(id).isEnabledTo(view.get()); }
    bool WaitForRunEnd(int ms = 60000) {
        return QTest::qWaitFor([&] { return !view->Timer1().isActive(); }, ms);
    }
    QString Cell(int row, int column) {
        return view->TableModel().index(row, column).data().toString();
    }
    QColor CellBackground(int row, int column) {
        return view->TableModel()
            .index(row, column)
            .data(Qt::BackgroundRole)
            .value<QBrush>()
            .color();
    }

    std::unique_ptr<WindowBench> bench;
    std::unique_ptr<MainWindowView> view;
};

TEST_F(MainWindowViewTest, OpensLockedWithItsCaptions) {
    Open("fw_check_enable=1\r\n");
    EXPECT_EQ(view->windowTitle(), "QNL7350A MPTool Ver 1.1.2.1");
    // The captions are the system's, with a mnemonic.
    EXPECT_EQ(view->Button(kCtlUnlock).text(), "&Unlock MP Tool");
    EXPECT_EQ(view->Button(kCtlStart).text(), "&Start");
    EXPECT_TRUE(Enabled(kCtlUnlock));
    EXPECT_TRUE(Enabled(kCtlStart));
    for (MainControl id : kOperatorControls) EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_FALSE(view->Tabs().isEnabledTo(view.get()));
    EXPECT_TRUE(view->Button(kCtlClose).isHidden());
    ASSERT_EQ(view->Tabs().count(), 3);
    EXPECT_EQ(view->Tabs().tabText(0), " MainPage ");
    EXPECT_EQ(view->Tabs().tabText(1), " Upgrade");
    EXPECT_EQ(view->Tabs().tabText(2), " Test");
    EXPECT_EQ(view->PathEdit().text().toStdString(), bench->IniPath());
    // The window is fixed: its size is its size hint.
    EXPECT_EQ(view->minimumSize(), view->maximumSize());
}

TEST_F(MainWindowViewTest, UnlockThroughTheLoginAndBack) {
    Open("fw_check_enable=1\r\n");
    bench->prompts.loginAnswers.push_back(" KORVATE ");
    QTest::mouseClick(&view->Button(kCtlUnlock), Qt::LeftButton);
    EXPECT_EQ(view->Button(kCtlUnlock).text(), "&Lock MP Tool");
    for (MainControl id : kOperatorControls)
        if (id != kCtlBarCodeScan) {
            EXPECT_TRUE(Enabled(id)) << id;
        }
    EXPECT_TRUE(view->Tabs().isEnabledTo(view.get()));

    // A tab click reaches the core: the table shows the upgrade page's columns.
    view->Tabs().setCurrentIndex(1);
    EXPECT_EQ(bench->dialog->CurrentPage(), kPageUpgrade);
    QCoreApplication::processEvents();
    EXPECT_EQ(view->TableModel().columnCount(), 11);

    // SaveLog switches the setting and BarCodeScan with it.
    QTest::mouseClick(&view->CheckBox(kCtlSaveLog), Qt::LeftButton);
    EXPECT_EQ(bench->context->ini.savelog_enable, 1);
    EXPECT_TRUE(Enabled(kCtlBarCodeScan));

    QTest::mouseClick(&view->Button(kCtlUnlock), Qt::LeftButton);
    EXPECT_EQ(view->Button(kCtlUnlock).text(), "&Unlock MP Tool");
    EXPECT_FALSE(Enabled(kCtlSaveIni));
}

TEST_F(MainWindowViewTest, ThePathEditDropsControlCharactersAndKeepsTheCaret) {
    Open("fw_check_enable=1\r\n");
    bench->prompts.loginAnswers.push_back("korvate");
    bench->dialog->OnBnClickedUnlock();
    QLineEdit& edit = view->PathEdit();
    edit.setText("/tmp/ab.ini");
    edit.setCursorPosition(6);
    edit.insert(QString("\t"));
    EXPECT_EQ(edit.text(), "/tmp/ab.ini");
    EXPECT_EQ(edit.cursorPosition(), 6);
    EXPECT_EQ(bench->dialog->m_strEditLoadINI, "/tmp/ab.ini");
}

TEST_F(MainWindowViewTest, AWholeStartUpdatesBothHostsAndRestoresTheControls) {
    Open("fw_update_enable=1\r\nfw_binary_name=FW.BIN\r\n", 0.01);
    ASSERT_TRUE(Enabled(kCtlStart));
    QTest::mouseClick(&view->Button(kCtlStart), Qt::LeftButton);
    EXPECT_TRUE(view->Timer1().isActive());
    EXPECT_FALSE(Enabled(kCtlStart));
    EXPECT_FALSE(Enabled(kCtlUnlock));
    EXPECT_NE(view->ProgressBar().styleSheet().indexOf("rgb(0,150,75)"), -1);
    ASSERT_TRUE(WaitForRunEnd());
    for (int row = 0; row < 2; ++row) {
        EXPECT_EQ(Cell(row, 7), "PASS") << row << " " << bench->LogText();
        EXPECT_EQ(CellBackground(row, 7), QColor(0, 255, 0));
    }
    EXPECT_EQ(bench->dialog->RunExitCode(), 0);
    EXPECT_EQ(view->StatusLine().text(), "MP run PASS");
    // Locked: only Start and UnLock again, the progress left full.
    EXPECT_TRUE(Enabled(kCtlStart));
    EXPECT_TRUE(Enabled(kCtlUnlock));
    EXPECT_FALSE(Enabled(kCtlSaveIni));
    EXPECT_EQ(view->ProgressBar().value(), 100);
}

TEST_F(MainWindowViewTest, EscapeAndTheCloseBoxWaitForTheRunAndTheWindowEndsWithItsCode) {
    // The (empty) firmware file fails the run: exit code 1.
    Open("fw_check_enable=1\r\nfw_binary_name=FW.BIN\r\n");
    // The run waits for the hardware while the test holds it.
    HardwareSession::Hold hold = bench->dialog->Hardware().Acquire(HardwareActivity::PortCheck);
    bench->dialog->OnBnClickedStart();
    view->Timer1().start();
    ASSERT_TRUE(bench->dialog->RunActive());
    QSignalSpy closed(view.get(), &MainWindowView::closed);
    QTest::keyClick(view.get(), Qt::Key_Escape);
    EXPECT_FALSE(view->Closed());
    EXPECT_FALSE(view->close());
    EXPECT_TRUE(view->isVisible());
    EXPECT_NE(bench->LogText().find("Close refused"), std::string::npos);
    // The window says why it stays, and that it goes when the run ends.
    EXPECT_EQ(view->StatusLine().text(),
              "An MP run is in progress: the window closes when it ends");
    // Enter ends nothing.
    QTest::keyClick(view.get(), Qt::Key_Return);
    EXPECT_FALSE(view->Closed());
    hold.Release();
    ASSERT_TRUE(WaitForRunEnd());
    EXPECT_TRUE(view->Closed());
    ASSERT_EQ(closed.count(), 1);
    EXPECT_EQ(closed.at(0).at(0).toInt(), 1);
    EXPECT_FALSE(bench->sim.station->DriverLoaded());
}

TEST_F(MainWindowViewTest, RescanAfterTheHostsAreGoneClearsTheRowsAndStart) {
    Open("fw_check_enable=1\r\n");
    bench->prompts.loginAnswers.push_back("KORVATE");
    bench->dialog->OnBnClickedUnlock();
    QCoreApplication::processEvents();
    ASSERT_EQ(Cell(1, 2), "4");
    bench->io.hidden = true;
    QTest::mouseClick(&view->Button(kCtlRescan), Qt::LeftButton);
    EXPECT_TRUE(view->Rescanning());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->Rescanning(); }, 20000));
    QCoreApplication::processEvents();
    for (int row = 0; row < 2; ++row)
        for (int column = 1; column < view->TableModel().columnCount(); ++column)
            EXPECT_EQ(Cell(row, column), "") << row << "," << column;
    EXPECT_EQ(Cell(1, 0), "1");
    EXPECT_FALSE(Enabled(kCtlStart));
}

TEST_F(MainWindowViewTest, TheTableHasEachPagesColumnsAtTheirWidthsWithNoTitleCut) {
    Open("fw_check_enable=1\r\n");
    QHeaderView& header = *view->Table().horizontalHeader();
    const int margin = header.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &header);
    for (std::uint8_t page : {kPageMain, kPageUpgrade, kPageTest}) {
        bench->dialog->OnTcnSelchangeTab(page);
        QCoreApplication::processEvents();
        const auto columns = ResultColumnsOf(page, bench->context->uiText);
        ASSERT_EQ(header.count(), static_cast<int>(columns.size()));
        for (int i = 0; i < header.count(); ++i) {
            EXPECT_EQ(header.sectionSize(i), columns[i].width) << i;
            const QString title =
                view->TableModel().headerData(i, Qt::Horizontal, Qt::DisplayRole).toString();
            EXPECT_EQ(title.toStdString(), columns[i].title);
            EXPECT_LE(header.fontMetrics().horizontalAdvance(title) + 2 * margin, columns[i].width)
                << title.toStdString();
        }
        // What the tool writes into the cells fits whole too.
        const QFontMetrics cells = view->Table().fontMetrics();
        const int cellMargin = view->Table().style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1;
        for (int i = 0; i < header.count(); ++i) {
            const std::map<std::string, QString> widest{
                {"H#", "7"},          {"FW Version", "170707_00_50_01"},
                {"WRSR", "0x1c"},     {"Bus", "255"},
                {"Dev", "31"},        {"Fun", "7"},
                {"SSID", "7350"},     {"SVID", "1e73"},
                {"PCIe Link", "0x18"}};
            const auto known = widest.find(columns[i].title);
            const QString longest = known != widest.end() ? known->second : QString("doing");
            EXPECT_LE(cells.horizontalAdvance(longest) + 2 * cellMargin, columns[i].width)
                << columns[i].title;
        }
        // Every column is inside the table: no horizontal scrolling.
        EXPECT_LE(header.length(), view->Table().viewport()->width());
        EXPECT_EQ(view->TableModel().rowCount(), 8);
    }
}

TEST_F(MainWindowViewTest, ASelectedRowKeepsItsCellColours) {
    Open("fw_check_enable=1\r\n");
    bench->context->resultTable.vShowResultItemTable(kCellGreen, 0, 7, "PASS");
    bench->context->resultTable.vShowResultItemTable(kCellRed, 0, 8, "FAIL");
    QCoreApplication::processEvents();
    view->Table().selectRow(0);
    QCoreApplication::processEvents();
    const QImage image = view->Table().viewport()->grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    auto pixel = [&](int column) {
        const QRect cell = view->Table().visualRect(view->TableModel().index(0, column));
        return image.pixelColor(static_cast<int>((cell.left() + 4) * ratio),
                                static_cast<int>(cell.center().y() * ratio));
    };
    EXPECT_EQ(pixel(7), QColor(0, 255, 0));
    EXPECT_EQ(pixel(8), QColor(255, 0, 0));
    // A cell of another row shows the default background.
    EXPECT_EQ(Cell(0, 7), "PASS");
}

// The keyboard alone: Tab and Shift+Tab visit every enabled control once, in reading order,
// and leave the table (whose arrow keys move between its cells); Enter presses the focused
// button; Alt and a letter press UnLock, Load INI, Save INI, Rescan and Start.
TEST_F(MainWindowViewTest, TheKeyboardAloneReachesEveryControl) {
    Open(
        "fw_check_enable=1\r\nsignal_line_test_enable=1\r\ntest_port=3\r\ntest_speed=1\r\n"
        "savelog_enable=1\r\n",
        0, true);
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    bench->prompts.loginAnswers.push_back("KORVATE");
    // A mnemonic presses its button as a click would (animated: a moment later).
    QTest::keyClick(view.get(), Qt::Key_U, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bench->dialog->Unlocked(); }, 2000));
    QCoreApplication::processEvents();

    std::set<QWidget*> reachable;
    for (QWidget* w : view->findChildren<QWidget*>())
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisible() && w->isEnabled() &&
            w->focusProxy() == nullptr)
            reachable.insert(w);
    auto walk = [&](Qt::KeyboardModifiers modifiers) {
        view->Button(kCtlSaveIni).setFocus();
        std::vector<QWidget*> visited;
        for (std::size_t i = 0; i <= reachable.size(); ++i) {
            visited.push_back(QApplication::focusWidget());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, modifiers);
        }
        return visited;
    };
    const std::vector<QWidget*> forward = walk(Qt::NoModifier);
    // Once round, each control once, back at the first.
    EXPECT_EQ(forward.front(), forward.back());
    EXPECT_EQ(std::set<QWidget*>(forward.begin(), forward.end()), reachable);
    auto at = [&](QWidget* w) {
        return std::find(forward.begin(), forward.end(), w) - forward.begin();
    };
    // Reading order: the top row, the tabs, the page, the table, the bottom row.
    std::vector<QWidget*> order{view->Tabs().tabBar(), &view->Table()};
    for (MainControl id : {kCtlDebugLog, kCtlUnlock, kCtlIniPath, kCtlLoadIni, kCtlSaveIni})
        order.insert(order.begin(), &Widget(id));
    for (MainControl id : {kCtlRescan, kCtlCreateNewFile, kCtlSaveLog, kCtlBarCodeScan, kCtlStart})
        order.push_back(&Widget(id));
    for (std::size_t i = 1; i < order.size(); ++i) EXPECT_LT(at(order[i - 1]), at(order[i])) << i;
    // The page's controls between the tabs and the table.
    for (QWidget* w : reachable)
        if (view->Tabs().currentWidget()->isAncestorOf(w)) {
            EXPECT_GT(at(w), at(view->Tabs().tabBar()));
            EXPECT_LT(at(w), at(&view->Table()));
        }
    std::vector<QWidget*> backward = walk(Qt::ShiftModifier);
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(backward, forward);

    // The arrow keys move in the table; Tab leaves it.
    view->Table().setFocus();
    view->Table().setCurrentIndex(view->TableModel().index(0, 0));
    QTest::keyClick(&view->Table(), Qt::Key_Right);
    EXPECT_EQ(view->Table().currentIndex().column(), 1);
    QTest::keyClick(&view->Table(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), &view->Button(kCtlRescan));

    // Enter presses the focused button.
    view->Button(kCtlDebugLog).setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_EQ(bench->prompts.messages.size(), 1u);
    EXPECT_NE(bench->prompts.messages[0].find("MPLog_"), std::string::npos);
    // The mnemonics: Load INI and Save INI ask for a file.
    for (Qt::Key key : {Qt::Key_O, Qt::Key_V}) QTest::keyClick(view.get(), key, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return bench->prompts.fileQuestions.size() == 2; }, 2000));
    EXPECT_EQ(bench->prompts.fileQuestions[1].mode, FileQuestion::Mode::Save);
    QTest::keyClick(view.get(), Qt::Key_R, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view->Rescanning(); }, 2000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->Rescanning(); }, 20000));
    QTest::keyClick(view.get(), Qt::Key_S, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return bench->dialog->RunActive(); }, 2000));
    ASSERT_TRUE(WaitForRunEnd());
}

// What assistive technology and station scripts read: every control by its caption or label
// (the lock button's name changing with its caption), lists whatever they hold, group boxes by
// their titles, the window as a frame, the rows by their H#; a label beside a disabled edit is
// greyed; an edit holding a longer loaded value only shrinks under typing.
TEST_F(MainWindowViewTest, EveryControlIsNamedAsTheOperatorReadsIt) {
    Open("fw_check_enable=1\r\nPCISPEED_enable=1\r\nMAX_PCIe_SPEED=2\r\ntest_timeout=1234\r\n", 0,
         true);
    auto name = [](QObject* o) {
        return QAccessible::queryAccessibleInterface(o)->text(QAccessible::Name);
    };
    EXPECT_EQ(QAccessible::queryAccessibleInterface(view.get())->role(), QAccessible::Window);
    EXPECT_EQ(name(&view->Button(kCtlUnlock)), "Unlock MP Tool");
    bench->prompts.loginAnswers.push_back("KORVATE");
    bench->dialog->OnBnClickedUnlock();
    EXPECT_EQ(name(&view->Button(kCtlUnlock)), "Lock MP Tool");

    for (int page = 0; page < 3; ++page) {
        view->Tabs().setCurrentIndex(page);
        QCoreApplication::processEvents();
        for (QWidget* w : view->findChildren<QWidget*>()) {
            if (!w->isVisible()) continue;
            const QString n = name(w);
            EXPECT_FALSE(n.endsWith(" label")) << n.toStdString();
            if (auto* group = qobject_cast<QGroupBox*>(w)) {
                EXPECT_EQ(n, group->title());
            }
            if (!qobject_cast<QLineEdit*>(w) && !qobject_cast<QComboBox*>(w)) continue;
            // Named by the label beside it (in its context: "Customer Information (MAX 31)").
            QString label;
            for (QLabel* l : view->findChildren<QLabel*>())
                if (l->buddy() == w) label = l->text();
            EXPECT_FALSE(label.isEmpty()) << n.toStdString();
            EXPECT_TRUE(n.contains(label)) << n.toStdString() << " / " << label.toStdString();
        }
    }
    view->Tabs().setCurrentIndex(0);
    QCoreApplication::processEvents();
    auto* speed = view->findChild<QComboBox*>();
    for (QComboBox* combo : view->findChildren<QComboBox*>())
        if (combo->currentText() == "Genx2") speed = combo;
    ASSERT_EQ(speed->currentText(), "Genx2");
    EXPECT_EQ(name(speed), "Max");

    // The rows are named by the host numbers of the H# column.
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&view->Table());
    QStringList rowHeaders;
    for (int i = 0; i < table->childCount(); ++i)
        if (table->child(i)->role() == QAccessible::RowHeader)
            rowHeaders << table->child(i)->text(QAccessible::Name);
    EXPECT_EQ(rowHeaders, (QStringList{"0", "1", "2", "3", "4", "5", "6", "7"}));

    // Sub_Sys off: the SVID edit and its label are disabled together.
    QLineEdit* svid = nullptr;
    for (QLineEdit* e : view->findChildren<QLineEdit*>())
        if (e->accessibleName() == "SVID") svid = e;
    ASSERT_NE(svid, nullptr);
    QLabel* svidLabel = nullptr;
    for (QLabel* l : view->findChildren<QLabel*>())
        if (l->buddy() == svid) svidLabel = l;
    ASSERT_NE(svidLabel, nullptr);
    EXPECT_FALSE(svid->isEnabled());
    EXPECT_FALSE(svidLabel->isEnabled());
    for (QCheckBox* box : view->findChildren<QCheckBox*>())
        if (box->text() == "Sub_Sys") box->click();
    EXPECT_TRUE(svid->isEnabled());
    EXPECT_TRUE(svidLabel->isEnabled());

    // The test page's time-out edit shows the loaded 1234 whole; typing only shortens it.
    view->Tabs().setCurrentIndex(2);
    QLineEdit* timeOut = view->Tabs().currentWidget()->findChild<QLineEdit*>();
    ASSERT_NE(timeOut, nullptr);
    EXPECT_EQ(timeOut->text(), "1234");
    timeOut->setFocus();
    timeOut->end(false);
    QTest::keyClicks(timeOut, "5");
    EXPECT_EQ(timeOut->text(), "1234");
    QTest::keyClick(timeOut, Qt::Key_Backspace);
    QTest::keyClicks(timeOut, "9");
    EXPECT_EQ(timeOut->text(), "123");
}

// Start follows its rule at every check box that changes the items of the page shown, not only
// at the next page switch.
TEST_F(MainWindowViewTest, StartFollowsEveryCheckBoxThatChangesTheItems) {
    Open("fw_check_enable=1\r\nsignal_line_test_enable=1\r\ntest_port=3\r\ntest_speed=1\r\n", 0,
         true);
    bench->prompts.loginAnswers.push_back("KORVATE");
    bench->dialog->OnBnClickedUnlock();
    struct Step {
        int page;
        const char* box;
        bool start;
    };
    // Each click toggles the box.
    const Step steps[] = {
        {2, "Signal Line Test", false},
        {2, "Signal Line Test", true},
        {1, "Firmware Check Enable", false},
        {1, "Firmware Upgrade Enable", true},
        {1, "Firmware Upgrade Enable", false},
        {1, "Firmware Check Enable", true},
        {0, "Signal Line Test", true},
        {0, "FW Check Enable", false},
        {0, "Fixture Test", true},
    };
    for (const Step& step : steps) {
        view->Tabs().setCurrentIndex(step.page);
        QCoreApplication::processEvents();
        QCheckBox* box = nullptr;
        for (QCheckBox* b : view->Tabs().currentWidget()->findChildren<QCheckBox*>())
            if (b->text() == step.box && b->isVisible()) box = b;
        ASSERT_NE(box, nullptr) << step.box;
        box->click();
        EXPECT_EQ(Enabled(kCtlStart), step.start) << step.page << " " << step.box;
    }
}

// On a 1024x768 screen the window fits with its frame and no control is cut: the table gives
// up room and scrolls. A message box is as wide as its title.
TEST_F(MainWindowViewTest, TheWindowFitsASmallScreenWithNoControlCut) {
    Open("fw_check_enable=1\r\n", 0, true);
    bench->prompts.loginAnswers.push_back("LUMBIX");  // the extended block shown too
    bench->dialog->OnBnClickedUnlock();
    view->FitTo(QSize(1024, 768));
    EXPECT_LE(view->width(), 1024 - MainWindowView::kFrameWidth);
    EXPECT_LE(view->height(), 768 - MainWindowView::kFrameHeight);
    for (int page = 0; page < 3; ++page) {
        view->Tabs().setCurrentIndex(page);
        QCoreApplication::processEvents();
        for (QWidget* w : view->findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                                 qobject_cast<QComboBox*>(w) || qobject_cast<QLabel*>(w);
            if (!control || !w->isVisible()) continue;
            EXPECT_EQ(w->visibleRegion().boundingRect(), w->rect())
                << page << " " << w->metaObject()->className() << " "
                << w->accessibleName().toStdString();
            EXPECT_GE(w->width(), w->minimumSizeHint().width())
                << w->accessibleName().toStdString();
        }
    }
    QMessageBox box(QMessageBox::Warning, view->windowTitle(), "1", QMessageBox::Ok);
    KeepTitleWhole(box);
    EXPECT_GT(box.sizeHint().width(), box.fontMetrics().horizontalAdvance(box.windowTitle()));
}

TEST(QtPromptsTest, AWorkersPromptIsShownOnTheGuiThreadWhileTheWorkerWaits) {
    QtPrompts prompts("Caption");
    QWidget window;
    prompts.SetWindow(&window);
    QThread* shownOn = nullptr;
    QWidget* parent = nullptr;
    QString shown;
    QString caption;
    prompts.SetMessageBox([&](QWidget* p, const QString& c, const QString& text, MessageIcon) {
        shownOn = QThread::currentThread();
        parent = p;
        shown = text;
        caption = c;
    });
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        prompts.ShowMessage("Found a USB Device Connected , Please Remove it !!\r\n", {},
                            MessageIcon::Warning, {});
        returned = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return returned.load(); }, 10000));
    worker.join();
    EXPECT_EQ(shownOn, QThread::currentThread());
    EXPECT_EQ(parent, &window);
    EXPECT_EQ(shown, "Found a USB Device Connected , Please Remove it !!\n");
    EXPECT_EQ(caption, "Caption");

    // The file chooser and the login are answered the same way.
    prompts.SetFileChooser([&](QWidget*, const FileQuestion& q) -> std::optional<std::string> {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        return q.startFolder + "/a.ini";
    });
    std::optional<std::string> chosen;
    std::thread chooser([&] {
        FileQuestion question;
        question.startFolder = "/tools";
        chosen = prompts.ChooseFile(question);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return chosen.has_value(); }, 10000));
    chooser.join();
    EXPECT_EQ(*chosen, "/tools/a.ini");

    // Retry or Cancel too.
    prompts.SetRetryBox([&](QWidget*, const QString&, const QString& text, MessageIcon) {
        return text == "Found a USB Device Connected , Please Remove it !!";
    });
    std::atomic<int> answer{-1};
    std::thread asker([&] { answer = prompts.AskRetry(shown.toStdString(), {}, {}) ? 1 : 0; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answer >= 0; }, 10000));
    asker.join();
    EXPECT_EQ(answer, 0);  // the box saw the text as shown (no line end): Cancel
}

TEST(QtPromptsTest, TheFilterIsGivenInQtForm) {
    EXPECT_EQ(QtFileFilter("Config .ini File (*.ini)|*.ini||"), "Config .ini File (*.ini)");
    EXPECT_EQ(QtFileFilter("A (*.a)|*.a|B (*.b)|*.b||"), "A (*.a);;B (*.b)");
}

// The login dialog on the screen now (it is modal: the test acts on it from a timer).
LoginDialog* ShownLogin() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<LoginDialog*>(widget); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

TEST(LoginDialogTest, TypedPasswordIsMaskedCutAtSevenAndGivenOnOk) {
    LoginQuestion question{"Login", "Password", "Ok", "Cancel", 7};
    std::optional<std::string> answer;
    QTimer::singleShot(50, [] {
        LoginDialog* dialog = ShownLogin();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Login");
        EXPECT_EQ(dialog->PasswordEdit().echoMode(), QLineEdit::Password);
        QTest::keyClicks(&dialog->PasswordEdit(), "korvate123");
        QTest::keyClick(&dialog->PasswordEdit(), Qt::Key_Return);
    });
    answer = LoginDialog::Ask(nullptr, question);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(*answer, "korvate");

    QTimer::singleShot(50, [] {
        LoginDialog* dialog = ShownLogin();
        ASSERT_NE(dialog, nullptr);
        QTest::keyClicks(&dialog->PasswordEdit(), "KORVATE");
        dialog->reject();
    });
    EXPECT_FALSE(LoginDialog::Ask(nullptr, question).has_value());
}

}  // namespace
}  // namespace qnl::test
