// The main window's view over its core on a simulated station: the widgets follow the core,
// clicks reach it, a run fills the table from its workers, prompts from workers are answered on
// the GUI thread, and the window cannot be closed under a run.
#include "app/qt/MainWindowView.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <thread>

#include "app/qt/LoginDialog.h"
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
    // `settings`: the settings file's lines after the version.
    void Open(const std::string& settings, double timeScale = 0) {
        bench = std::make_unique<WindowBench>(2, timeScale);
        bench->WriteSettings(settings);
        // A valid image where the settings name "FW.BIN".
        const auto image = BuildTestImage(0, {0x17, 0x07, 0x07, 0x00, 0x50, 0x01}, {}, 4096);
        std::ofstream(bench->sim.Folder() + "/fw.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
        bench->Start();
        ASSERT_FALSE(bench->result.has_value());
        view = std::make_unique<MainWindowView>(*bench->dialog, *bench->context,
                                                std::array<QWidget*, 3>{});
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
    EXPECT_EQ(view->Button(kCtlUnlock).text(), "Unlock MP Tool");
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
    // Found by what the operator reads.
    EXPECT_EQ(view->Button(kCtlStart).accessibleName(), "Start");
    EXPECT_EQ(view->PathEdit().accessibleName(), "Settings file");
}

TEST_F(MainWindowViewTest, UnlockThroughTheLoginAndBack) {
    Open("fw_check_enable=1\r\n");
    bench->prompts.loginAnswers.push_back(" KORVATE ");
    QTest::mouseClick(&view->Button(kCtlUnlock), Qt::LeftButton);
    EXPECT_EQ(view->Button(kCtlUnlock).text(), "Lock MP Tool");
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
    EXPECT_EQ(view->Button(kCtlUnlock).text(), "Unlock MP Tool");
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
    // Locked: only Start and UnLock again, the progress left full.
    EXPECT_TRUE(Enabled(kCtlStart));
    EXPECT_TRUE(Enabled(kCtlUnlock));
    EXPECT_FALSE(Enabled(kCtlSaveIni));
    EXPECT_EQ(view->ProgressBar().value(), 100);
}

TEST_F(MainWindowViewTest, EscapeAndTheCloseBoxAreRefusedDuringARun) {
    Open("loopback_test_enable=1\r\n");
    // The run waits for the hardware while the test holds it.
    HardwareSession::Hold hold = bench->dialog->Hardware().Acquire(HardwareActivity::PortCheck);
    bench->dialog->OnBnClickedStart();
    ASSERT_TRUE(bench->dialog->RunActive());
    QTest::keyClick(view.get(), Qt::Key_Escape);
    EXPECT_FALSE(view->Closed());
    EXPECT_FALSE(view->close());
    EXPECT_TRUE(view->isVisible());
    EXPECT_NE(bench->LogText().find("Close refused"), std::string::npos);
    // Enter ends nothing.
    QTest::keyClick(view.get(), Qt::Key_Return);
    EXPECT_FALSE(view->Closed());
    hold.Release();
    ASSERT_TRUE(WaitForRunEnd());
    QSignalSpy closed(view.get(), &MainWindowView::closed);
    QTest::keyClick(view.get(), Qt::Key_Escape);
    EXPECT_TRUE(view->Closed());
    ASSERT_EQ(closed.count(), 1);
    EXPECT_EQ(closed.at(0).at(0).toInt(), 0);
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
