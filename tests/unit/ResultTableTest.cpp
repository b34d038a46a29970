// The result table model, its list control records, and the daily result log.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "app/ResultLog.h"
#include "app/ResultTable.h"
#include "app/RunItems.h"
#include "platform/Console.h"
#include "platform/Worker.h"
#include "ui/ListCtrlEx.h"
#include "ui/SerialNumber.h"

namespace qnl {
namespace {

class ResultTableTest : public ::testing::Test {
  protected:
    ResultTableTest()
        : log(&events, clock, "t"), record(clock), table(texts, log, utility, record) {
        utility.ResetHostRecords();
    }
    void AddHost(std::uint8_t index, std::uint8_t bus) {
        TargetHost& h = utility.hosts[index];
        h.ucIndex = index;
        h.ucBus = bus;
        h.ucDevice = 0;
        h.ucFunction = 0;
        h.strFWVersion = "170707_00_50_01";
        h.strSSID = "7351";
        h.strSVID = "1d6a";
        h.ucWrsrStatus = 0x9c;
        h.ucPcieLink = 0x18;
        utility.ucHostCount = static_cast<std::uint8_t>(index + 1);
    }

    UiTextTable texts;
    ManualClock clock;
    MemoryEventStore events;
    CEventLog log;
    CUtility utility;
    RunRecord record;
    ResultTable table;
};

TEST_F(ResultTableTest, ColumnSetsFollowThePage) {
    EXPECT_EQ(table.ColumnCount(), 17);
    EXPECT_EQ(table.Columns()[7].title, "Update");
    EXPECT_EQ(table.Columns()[16].title, "LT Result");
    table.ShowPage(kPageUpgrade);
    ASSERT_EQ(table.ColumnCount(), 11);
    EXPECT_EQ(table.Columns()[2].title, "WRSR");
    EXPECT_EQ(table.Columns()[10].title, "Check");
    EXPECT_EQ(table.Columns()[0].width, 36);
    table.ShowPage(kPageTest);
    ASSERT_EQ(table.ColumnCount(), 14);
    EXPECT_EQ(table.Columns()[9].title, "USB3.1 Port1");
    EXPECT_EQ(table.Columns()[9].width, 84);
}

TEST_F(ResultTableTest, RowsKeepTheirSlotNumbersAndFixedItemsFillHostRows) {
    AddHost(0, 5);
    table.ShowPage(kPageUpgrade);
    EXPECT_EQ(table.strGetResultItemTable(0, 2), "0x9c");
    EXPECT_EQ(table.strGetResultItemTable(0, 8), "0x18");
    EXPECT_EQ(table.strGetResultItemTable(0, 3), "5");
    for (std::uint8_t row = 0; row < 8; ++row)
        EXPECT_EQ(table.strGetResultItemTable(row, 0), std::to_string(row));
    EXPECT_EQ(table.strGetResultItemTable(1, 1), "");
    table.ShowPage(kPageMain);
    EXPECT_EQ(table.strGetResultItemTable(0, 5), "7351");
    EXPECT_EQ(table.strGetResultItemTable(0, 6), "1d6a");
}

TEST_F(ResultTableTest, CellsCarryColourCodesAndLongTextsAreCut) {
    table.vShowResultItemTable(kCellGreen, 3, 7, "PASS");
    table.vShowResultItemTable(kCellRed, 3, 14, std::string(300, 'x'));
    EXPECT_EQ(table.ColoursOf(3, 7).background, RgbColour(0, 255, 0));
    EXPECT_EQ(table.ColoursOf(3, 7).text, kColourBlack);
    EXPECT_EQ(table.ColoursOf(3, 14).background, RgbColour(255, 0, 0));
    EXPECT_EQ(table.strGetResultItemTable(3, 14).size(), kMaxCellText);
    // Out of the table: nothing happens.
    table.vShowResultItemTable(kCellGreen, 9, 7, "PASS");
    table.vShowResultItemTable(kCellGreen, 1, 17, "PASS");
    EXPECT_EQ(table.strGetResultItemTable(1, 17), "");
    // Clearing writes empty white result cells, keeping the fixed ones.
    table.vShowResultItemTable(kCellWhite, 3, 1, "keep");
    table.vClearCtrlListHostInfoTable();
    EXPECT_EQ(table.strGetResultItemTable(3, 7), "");
    EXPECT_EQ(table.ColourCodeOf(3, 7), kCellWhite);
    EXPECT_EQ(table.strGetResultItemTable(3, 1), "keep");
}

TEST_F(ResultTableTest, WritersOnManyThreadsAndObserversSeeEveryCell) {
    std::atomic<int> seen{0};
    const int id = table.AddObserver([&](const ResultTable::Change& c) {
        if (c.kind == ResultTable::Change::Kind::Cell) ++seen;
    });
    std::vector<std::thread> workers;
    for (int row = 0; row < 8; ++row)
        workers.emplace_back([&, row] {
            for (int i = 0; i < 200; ++i)
                table.vShowResultItemTable(kCellGreen, static_cast<std::uint8_t>(row), 8 + i % 6,
                                           "PASS");
        });
    for (auto& w : workers) w.join();
    table.RemoveObserver(id);
    EXPECT_EQ(seen.load(), 1600);
    table.vShowResultItemTable(kCellGreen, 0, 8, "PASS");
    EXPECT_EQ(seen.load(), 1600);
}

TEST(ListCtrlEx, CellColourRecordsAndRowData) {
    CListCtrlEx list;
    list.InsertColumn("a", 10);
    list.InsertColumn("b", 10);
    list.InsertItem(0, "0");
    list.SetCellColour(0, 1, RgbColour(1, 2, 3));
    list.SetCellColour(0, 1, RgbColour(4, 5, 6));
    ASSERT_NE(list.RowData(0), nullptr);
    EXPECT_EQ(list.RowData(0)->cells.size(), 1u);
    EXPECT_EQ(list.ColoursOf(0, 1).background, RgbColour(4, 5, 6));
    list.SetCellColour(1, 0, RgbColour(1, 1, 1));  // no row 1
    list.SetCellColour(0, 2, RgbColour(1, 1, 1));  // no column 2
    EXPECT_EQ(list.RowData(0)->cells.size(), 1u);
    list.DeleteAllRowData();
    EXPECT_EQ(list.ColoursOf(0, 1).background, kColourNone);
}

class ResultLogTest : public ResultTableTest {
  protected:
    ResultLogTest() {
        // A folder of its own: ctest runs these tests in parallel processes, and a shared
        // folder removed by one test made another's write fail.
        std::string pattern =
            (std::filesystem::temp_directory_path() / "qnl-resultlog-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        folder = pattern;
        clock.SetLocalTime({2026, 12, 7, 9, 5, 3});
    }
    ~ResultLogTest() override { std::filesystem::remove_all(folder); }
    std::string ReadLog(const std::string& name) {
        std::ifstream in(folder + "/" + name, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::string folder;
};

TEST_F(ResultLogTest, HeaderOncePerDayAndOneStampPerWrite) {
    AddHost(0, 5);
    AddHost(1, 6);
    utility.hosts[0].strFirmwarePath = "/fw/new.bin";
    table.ShowResult(ResultLayout::Main, 0, ResultItem::FwUpdate, CellState::Pass, "PASS");
    ResultLogOptions options;
    options.mask = kItemFwUpdate;
    ASSERT_TRUE(WriteResultLog(folder, clock, texts, utility, record, options).written);
    clock.SetLocalTime({2026, 12, 7, 10, 0, 0});
    ASSERT_TRUE(WriteResultLog(folder, clock, texts, utility, record, options).written);
    const std::string header =
        "Date\tTime\tH#\tFW Version\tBus\tDev\tFun\tSSID\tSVID\tSLT Result\tLT Result\t"
        "USB2 Port1\tUSB2 Port2\tUSB3 Port1\tUSB3 Port2\tUSB3.1 Port1\tUSB3.1 Port2\tUpdate\t"
        "UpdateFWFile\r\n";
    const std::string first =
        "20261207\t09:05:03\t0\t170707_00_50_01\t5\t0\t0\t7351\t1d6a\t \t \t \t \t \t \t \t \t"
        "PASS\t/fw/new.bin\r\n"
        "20261207\t09:05:03\t1\t170707_00_50_01\t6\t0\t0\t7351\t1d6a\t \t \t \t \t \t \t \t \t"
        "FAIL\t\r\n";
    const std::string day = ReadLog("20261207.log");
    EXPECT_EQ(day.substr(0, header.size() + first.size()), header + first);
    EXPECT_EQ(day.find("Date\t", 1), std::string::npos);
    EXPECT_NE(day.find("20261207\t10:00:00\t1\t"), std::string::npos);

    clock.SetLocalTime({2026, 12, 8, 0, 0, 1});
    ASSERT_TRUE(WriteResultLog(folder, clock, texts, utility, record, options).written);
    EXPECT_EQ(ReadLog("20261208.log").rfind("Date\tTime\t", 0), 0u);
}

TEST_F(ResultLogTest, BarCodeColumnAndPortTextsFromTheTable) {
    AddHost(0, 5);
    utility.hosts[0].dwSignalResult = 3;
    table.ShowResult(ResultLayout::Main, 0, ResultItem::SignalLineOverall, CellState::Doing, "");
    table.ShowResult(ResultLayout::Main, 0, ResultItem::SignalLineOverall, CellState::Pass, "PASS");
    table.ShowResult(ResultLayout::Main, 0, ResultItem::Usb2Port1, CellState::Pass, "PASS");
    table.ShowResult(ResultLayout::Main, 0, ResultItem::Usb31Port2, CellState::Fail, "FAIL");
    ResultLogOptions options;
    options.barCodeColumn = true;
    options.serialNumber = "0123456789AB";
    options.mask = kItemSignalLine;
    EXPECT_NE(ResultLogHeader(texts, true).find("FW Version\tPCBA_SN\tBus"), std::string::npos);
    const std::string lines = ResultLogLines(clock.LocalNow(), utility, record, options);
    EXPECT_EQ(lines,
              "20261207\t09:05:03\t0\t170707_00_50_01\t0123456789AB\t5\t0\t0\t7351\t1d6a\tFAIL\t \t"
              "PASS\t\t\t\t\tFAIL\t \t\r\n");
}

// Only what the run did says PASS or FAIL: a test that did not run for a host is " " in the
// SLT and port fields, a step still "doing" at the end is FAIL, an item outside the run's mask
// is blank, and no field carries a control character.
TEST_F(ResultLogTest, OnlyWhatTheRunDidIsPassOrFail) {
    const auto main = ResultLayout::Main;
    const auto start = [&](std::uint8_t host, ResultItem item) {
        table.ShowResult(main, host, item, CellState::Doing, "doing");
    };
    for (std::uint8_t host = 0; host < 5; ++host)
        AddHost(host, static_cast<std::uint8_t>(5 + host));
    table.BeginRun();
    for (std::uint8_t host = 0; host < 5; ++host) {
        table.MarkPending(main, host, ResultItem::SignalLineOverall);
        // The update is not in the run: its FAIL (and its file) never reach the log.
        table.ShowResult(main, host, ResultItem::FwUpdate, CellState::Fail, "FAIL");
        utility.hosts[host].strFirmwarePath = "FW\\NEW.BIN";
    }
    // Host 0 never got to the test (the firmware step failed first).
    // Host 1 was given up on while it waited for the test lock.
    table.ShowResult(main, 1, ResultItem::SignalLineOverall, CellState::Fail, "FAIL", -9);
    // Host 2 hung in its second sub-test and was given up on.
    start(2, ResultItem::SignalLineOverall);
    start(2, ResultItem::Usb2Port1);
    table.ShowResult(main, 2, ResultItem::Usb2Port1, CellState::Pass, "PASS");
    start(2, ResultItem::Usb2Port2);
    table.ShowResult(main, 2, ResultItem::SignalLineOverall, CellState::Fail, "FAIL", -9);
    // Host 3's overall cell shows FAIL while its stored result says 0; host 4 passed.
    for (std::uint8_t host : {3, 4}) {
        start(host, ResultItem::SignalLineOverall);
        start(host, ResultItem::Usb3Port1);
        const CellState state = host == 3 ? CellState::Fail : CellState::Pass;
        const char* text = host == 3 ? "FAIL" : "PASS";
        table.ShowResult(main, host, ResultItem::Usb3Port1, state, text);
        table.ShowResult(main, host, ResultItem::SignalLineOverall, state, text);
    }
    utility.hosts[4].strFWVersion = "1707\t07_00\r50\x1b";
    table.EndRun(main);
    EXPECT_EQ(table.strGetResultItemTable(0, 14), " ");
    EXPECT_EQ(table.strGetResultItemTable(2, 9), "FAIL");
    ResultLogOptions options;
    options.mask = kItemSignalLine;
    const std::string lines = ResultLogLines(clock.LocalNow(), utility, record, options);
    const char* const expected[] = {
        "\t0\t170707_00_50_01\t5\t0\t0\t7351\t1d6a\t \t \t \t \t \t \t \t \t \t\r\n",
        "\t1\t170707_00_50_01\t6\t0\t0\t7351\t1d6a\tFAIL\t \t \t \t \t \t \t \t \t\r\n",
        "\t2\t170707_00_50_01\t7\t0\t0\t7351\t1d6a\tFAIL\t \tPASS\tFAIL\t\t\t\t\t \t\r\n",
        "\t3\t170707_00_50_01\t8\t0\t0\t7351\t1d6a\tFAIL\t \t\t\tFAIL\t\t\t\t \t\r\n",
        "\t4\t1707 07_00 50 \t9\t0\t0\t7351\t1d6a\tPASS\t \t\t\tPASS\t\t\t\t \t\r\n",
    };
    for (const char* line : expected) EXPECT_NE(lines.find(line), std::string::npos) << line;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\t'), 5 * 18) << lines;
}

TEST_F(ResultLogTest, AFileThatCannotBeWrittenIsReportedWithItsReason) {
    AddHost(0, 5);
    const ResultLogWrite missing =
        WriteResultLog(folder + "/missing/folder", clock, texts, utility, record, {});
    EXPECT_FALSE(missing.written);
    EXPECT_EQ(missing.path, folder + "/missing/folder/20261207.log");
    EXPECT_EQ(missing.error, "No such file or directory");

    // A FIFO at the day's log is refused at once, never waited on.
    const std::string fifo = folder + "/20261207.log";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const ResultLogWrite refused = WriteResultLog(folder, clock, texts, utility, record, {});
    EXPECT_FALSE(refused.written);
    EXPECT_EQ(refused.error, fifo + " is not a regular file");
}

TEST_F(ResultLogTest, AnEmptyLogGetsTheHeaderFirst) {
    AddHost(0, 5);
    std::ofstream(folder + "/20261207.log").close();  // left empty by an earlier failure
    ASSERT_TRUE(WriteResultLog(folder, clock, texts, utility, record, {}).written);
    EXPECT_EQ(ReadLog("20261207.log").rfind("Date\tTime\t", 0), 0u);
}

// A file system that takes only part of the lines (here: the file size limit of the process,
// set in a child, which fails the write as a full disk does) leaves the old log as it was.
TEST_F(ResultLogTest, ALogThatCannotTakeTheWholeRecordKeepsItsOldBytes) {
    AddHost(0, 5);
    AddHost(1, 6);
    const std::string old = ResultLogHeader(texts, false) + "20261207\t08:00:00\t0\tline\r\n";
    { std::ofstream(folder + "/20261207.log", std::ios::binary) << old; }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{old.size() + 40, old.size() + 40};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const ResultLogWrite r = WriteResultLog(folder, clock, texts, utility, record, {});
        ::_exit(!r.written && r.error == "File too large" ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadLog("20261207.log"), old);
    // With room again the next run appends whole lines after the old ones.
    ASSERT_TRUE(WriteResultLog(folder, clock, texts, utility, record, {}).written);
    const std::string day = ReadLog("20261207.log");
    EXPECT_EQ(day.substr(0, old.size()), old);
    EXPECT_EQ(std::count(day.begin(), day.end(), '\n'), 4);
}

TEST(SerialNumber, FiltersHexDigitsAndChecksLength) {
    CUtility utility;
    utility.ResetHostRecords();
    utility.hosts[0].ucIndex = 0;
    std::string serial;
    CSNDlg dlg(utility, serial, 0);
    EXPECT_EQ(dlg.OnEnChangeEdit("12-34 ab cd ef 98 76 54 32 10 ff"), "1234ABCDEF987654");
    EXPECT_EQ(serial, "1234ABCDEF987654");
    dlg.OnEnChangeEdit("0123456789a");
    EXPECT_FALSE(dlg.OnEnter());
    EXPECT_EQ(dlg.m_strSN, "");
    dlg.OnEnChangeEdit("0123456789ab");
    EXPECT_TRUE(dlg.OnEnter());

    CSNDlg strict(utility, serial, 17);  // more than 16 digits can never be reached
    strict.OnEnChangeEdit(std::string(40, 'a'));
    EXPECT_FALSE(strict.OnEnter());

    utility.hosts[0].ucIndex = kNoHostIndex;  // no host: typing leaves nothing
    EXPECT_EQ(dlg.OnEnChangeEdit("abc"), "");
    EXPECT_EQ(serial, "");
}

TEST(SerialNumber, ConsoleReadsScansUntilOneIsAcceptedOrInputEnds) {
    CUtility utility;
    utility.ResetHostRecords();
    utility.hosts[0].ucIndex = 0;
    std::string serial;
    CSNDlg dlg(utility, serial, 4);
    MemoryConsole console;
    ConsolePrompts prompts(console);
    console.AddInput("12");
    console.AddInput("zz12345");
    EXPECT_TRUE(prompts.AskSerialNumber(dlg));
    EXPECT_EQ(serial, "12345");
    EXPECT_EQ(console.Text(), "Serial Number : Serial Number : ");
    // The next run starts empty: the earlier board's number does not carry over to a
    // cancelled scan.
    EXPECT_FALSE(prompts.AskSerialNumber(dlg));
    EXPECT_EQ(serial, "");
}

// A refused scan never stays behind as the board's number: a short number on Enter empties
// the edit and with it the settings field, and the dialog waits for the next scan.
TEST(SerialNumber, RefusedOrCancelledScanLeavesNoNumber) {
    CUtility utility;
    utility.ResetHostRecords();
    utility.hosts[0].ucIndex = 0;
    std::string serial = "OLD";
    CSNDlg dlg(utility, serial, 0);
    dlg.OnInitDialog();
    EXPECT_EQ(serial, "");
    EXPECT_EQ(dlg.OnEnChangeEdit("ABC-12"), "ABC12");
    EXPECT_EQ(serial, "ABC12");
    EXPECT_FALSE(dlg.OnEnter());
    EXPECT_EQ(dlg.m_strSN, "");
    EXPECT_EQ(serial, "");
    // Typed, then Escape: the run reports the failed scan and keeps no number.
    dlg.OnEnChangeEdit("123456");
    dlg.OnCancel();
    EXPECT_EQ(serial, "");
}

// Console mode has no window for the login or a file chooser: both answer "cancelled" at once
// and leave the operator's input for whoever reads it next.
TEST(ConsolePrompts, LoginAndFileChoiceAreCancelledWithoutReadingInput) {
    MemoryConsole console;
    ConsolePrompts prompts(console);
    console.AddInput("KORVATE");
    EXPECT_EQ(prompts.AskLogin({"Login", "Password", "Ok", "Cancel", 7}), std::nullopt);
    FileQuestion open;
    open.filter = "Config .ini File (*.ini)|*.ini||";
    open.startFolder = "/tmp";
    open.defaultExtension = "INI";
    EXPECT_EQ(prompts.ChooseFile(open), std::nullopt);
    open.mode = FileQuestion::Mode::Save;
    open.confirmOverwrite = true;
    EXPECT_EQ(prompts.ChooseFile(open), std::nullopt);
    EXPECT_EQ(console.ReadLine(), std::optional<std::string>("KORVATE"));
    EXPECT_EQ(console.Text(), "");
}

}  // namespace
}  // namespace qnl

namespace qnl {
namespace {

class RunReporterTest : public ResultTableTest {
  protected:
    RunReporterTest() { table.SetConsole(&console); }
    MemoryConsole console;
};

TEST_F(RunReporterTest, ResultsByNameLandInEachLayoutsColumns) {
    table.ShowPage(kPageTest);
    table.ShowResult(ResultLayout::Test, 1, PortResultItem(2, 2), CellState::Pass, "PASS");
    table.ShowResult(ResultLayout::Test, 1, ResultItem::LoopBackOverall, CellState::Fail, "FAIL");
    table.ShowResult(ResultLayout::Test, 1, ResultItem::FwUpdate, CellState::Pass, "PASS");
    EXPECT_EQ(table.strGetResultItemTable(1, 8), "PASS");  // USB3 Port2
    EXPECT_EQ(table.strGetResultItemTable(1, 13), "FAIL");
    EXPECT_EQ(table.ColourCodeOf(1, 13), kCellRed);
    EXPECT_EQ(ResultColumnOf(ResultLayout::Test, ResultItem::FwUpdate), -1);

    EXPECT_EQ(ResultColumnOf(ResultLayout::Main, ResultItem::FwUpdate), 7);
    EXPECT_EQ(ResultColumnOf(ResultLayout::Main, ResultItem::FwCheck), 7);
    EXPECT_EQ(ResultColumnOf(ResultLayout::Main, PortResultItem(1, 1)), 8);
    EXPECT_EQ(ResultColumnOf(ResultLayout::Main, PortResultItem(4, 2)), 13);
    EXPECT_EQ(ResultColumnOf(ResultLayout::Main, ResultItem::SignalLineOverall), 14);
    EXPECT_EQ(ResultColumnOf(ResultLayout::Main, ResultItem::TerminationOverall), 15);
    EXPECT_EQ(ResultColumnOf(ResultLayout::Upgrade, ResultItem::FwUpdate), 9);
    EXPECT_EQ(ResultColumnOf(ResultLayout::Upgrade, ResultItem::FwCheck), 10);
    EXPECT_EQ(ResultColumnOf(ResultLayout::Upgrade, ResultItem::SignalLineOverall), -1);
    EXPECT_EQ(ResultColumnOf(ResultLayout::Test, PortResultItem(1, 1)), 5);
    EXPECT_EQ(ResultColumnOf(ResultLayout::Test, ResultItem::SignalLineOverall), 11);
}

TEST_F(RunReporterTest, WithinARunAFailIsNeverReplacedByAPass) {
    table.ShowPage(kPageMain);
    table.BeginRun();
    table.ShowResult(ResultLayout::Main, 0, ResultItem::SignalLineOverall, CellState::Fail, "FAIL");
    table.ShowResult(ResultLayout::Main, 0, ResultItem::SignalLineOverall, CellState::Pass, "PASS");
    table.vShowResultItemTable(kCellWhite, 0, 14, "doing");
    EXPECT_EQ(table.strGetResultItemTable(0, 14), "FAIL");
    EXPECT_EQ(table.ColourCodeOf(0, 14), kCellRed);
    // Another FAIL text may replace it (the time-out's "Fail").
    table.ShowResult(ResultLayout::Main, 0, ResultItem::SignalLineOverall, CellState::Fail, "Fail");
    EXPECT_EQ(table.strGetResultItemTable(0, 14), "Fail");
    // Other cells are not held.
    table.ShowResult(ResultLayout::Main, 1, ResultItem::SignalLineOverall, CellState::Pass, "PASS");
    EXPECT_EQ(table.strGetResultItemTable(1, 14), "PASS");

    // A new run starts clean.
    table.BeginRun();
    table.ShowResult(ResultLayout::Main, 0, ResultItem::SignalLineOverall, CellState::Pass, "PASS");
    EXPECT_EQ(table.strGetResultItemTable(0, 14), "PASS");
    // So does a cleared table (Start clears it).
    table.ShowResult(ResultLayout::Main, 0, ResultItem::FwUpdate, CellState::Fail, "FAIL");
    table.vClearCtrlListHostInfoTable();
    table.ShowResult(ResultLayout::Main, 0, ResultItem::FwUpdate, CellState::Pass, "PASS");
    EXPECT_EQ(table.strGetResultItemTable(0, 7), "PASS");
}

TEST_F(RunReporterTest, AWorkerGivenUpOnReportsNothingThroughTheTable) {
    table.ShowPage(kPageMain);
    RealClock realClock(0.001);
    WorkerGroup group(realClock);
    std::atomic<bool> go{false};
    group.Start(0, [&] {
        while (!go) std::this_thread::yield();
        table.ShowResult(ResultLayout::Main, 0, ResultItem::FwUpdate, CellState::Pass, "PASS");
        table.RefreshHost(0);
        table.ConsoleLine("Host[0],[FW Update ]--> [PASS]!!\r\n");
    });
    group.GiveUpUnfinished([&](std::size_t) {
        table.ShowResult(ResultLayout::Main, 0, ResultItem::FwUpdate, CellState::Fail, "Fail");
    });
    go = true;
    EXPECT_TRUE(group.StopAndWait(std::chrono::seconds(5)));
    EXPECT_EQ(table.strGetResultItemTable(0, 7), "Fail");
    EXPECT_EQ(console.Text(), "");
}

}  // namespace
}  // namespace qnl
