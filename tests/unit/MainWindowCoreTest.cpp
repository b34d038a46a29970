// The main window's rules without a window: what is enabled when, the lock and the login, the
// page switch, the settings files, Rescan, the run's end and Close.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <thread>

#include "support/WindowBench.h"

namespace qnl::test {
namespace {

// A page that records what the main window asks of it.
class RecordingPage final : public IPageCore {
  public:
    ControlStateTable& Controls() override { return controls_; }
    void vEnableALLGUI() override {
        enabled = true;
        calls += "E";
    }
    void vDisableALLGUI() override {
        enabled = false;
        calls += "D";
    }
    void vSetGUIByINI() override { calls += "R"; }
    bool enabled = true;
    std::string calls;

  private:
    ControlStateTable controls_;
};

const ControlId kOperatorControls[] = {
    kCtlSaveIni, kCtlLoadIni,       kCtlIniPath, kCtlDebugLog,    kCtlTab,
    kCtlRescan,  kCtlCreateNewFile, kCtlSaveLog, kCtlBarCodeScan, kCtlClose};

class MainWindowCoreTest : public ::testing::Test {
  protected:
    void SetUp() override { bench.dialog->AttachPages(&device, &upgrade, &test); }
    CQNL735_MPToolDlg& dlg() { return *bench.dialog; }
    void StartWith(const std::string& settings) {
        bench.WriteSettings(settings);
        bench.Start();
        ASSERT_FALSE(bench.result.has_value());
    }
    void Unlock(const std::string& password = "KORVATE") {
        bench.prompts.loginAnswers.push_back(password);
        dlg().OnBnClickedUnlock();
    }
    bool Enabled(ControlId id) { return bench.State(id).enabled; }
    // Start a run (on `b`, by default the fixture's) and let timer 1 tick until it sees the end.
    void RunToEnd(WindowBench* b = nullptr) {
        CQNL735_MPToolDlg& dialog = *(b != nullptr ? b : &bench)->dialog;
        dialog.OnStartClicked();
        ASSERT_TRUE(dialog.RunActive());
        for (int i = 0; i < 2000 && !dialog.OnTimer1(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_FALSE(dialog.RunActive());
    }

    RecordingPage device, upgrade, test;
    WindowBench bench;
};

TEST_F(MainWindowCoreTest, StartsLockedWithOnlyStartAndUnlock) {
    StartWith("fw_check_enable=1\r\n");
    EXPECT_FALSE(dlg().Unlocked());
    EXPECT_EQ(bench.State(kCtlUnlock).text, "Unlock MP Tool");
    EXPECT_TRUE(Enabled(kCtlUnlock));
    EXPECT_TRUE(Enabled(kCtlStart));
    for (ControlId id : kOperatorControls) EXPECT_FALSE(Enabled(id)) << bench.State(id).text;
    EXPECT_FALSE(bench.State(kCtlClose).visible);
    EXPECT_EQ(bench.State(kCtlIniPath).text, bench.IniPath());
    EXPECT_EQ(bench.State(kCtlTab).items,
              (std::vector<std::string>{" MainPage ", " Upgrade", " Test"}));
    // Every page was refreshed from the settings and left disabled.
    for (RecordingPage* page : {&device, &upgrade, &test}) {
        EXPECT_NE(page->calls.find('R'), std::string::npos);
        EXPECT_FALSE(page->enabled);
    }
    // No console, no banner in window mode.
    EXPECT_EQ(bench.console.Text(), "");
}

TEST_F(MainWindowCoreTest, SettingsThatDidNotLoadKeepStartOffUntilAGoodLoad) {
    StartWith("no_such_key=1\r\nfw_check_enable=1\r\n");
    EXPECT_FALSE(Enabled(kCtlStart));
    Unlock();
    EXPECT_FALSE(Enabled(kCtlStart));

    const std::string good = bench.sim.Folder() + "/good.ini";
    std::ofstream(good, std::ios::binary) << "[version]\r\nver=18\r\nfw_check_enable=1\r\n";
    bench.prompts.fileAnswers.push_back(good);
    dlg().OnBnClickedButtonLoadini();
    EXPECT_TRUE(Enabled(kCtlStart));
    EXPECT_EQ(bench.State(kCtlIniPath).text, good);
    EXPECT_EQ(dlg().m_strEditLoadINI, good);
    const auto questions = bench.prompts.fileQuestions;
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].filter, "Config .ini File (*.ini)|*.ini||");
    EXPECT_EQ(questions[0].startFolder, bench.sim.Folder());
    EXPECT_EQ(questions[0].mode, FileQuestion::Mode::Open);
}

TEST_F(MainWindowCoreTest, LoadIniOfAMissingFileTellsThePathAndLoadsNothing) {
    StartWith("fw_check_enable=1\r\nsavelog_enable=1\r\n");
    Unlock();
    ASSERT_TRUE(Enabled(kCtlStart));
    device.calls.clear();
    bench.prompts.messages.clear();
    bench.prompts.captions.clear();
    const std::string missing = bench.sim.Folder() + "/missing.ini";
    bench.prompts.fileAnswers.push_back(missing);
    dlg().OnBnClickedButtonLoadini();
    const auto messages = bench.prompts.messages;
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], missing + " File/Path is not exist");
    EXPECT_EQ(bench.context->ini.fw_check_enable, 1);  // the settings stay
    EXPECT_TRUE(Enabled(kCtlStart));
    EXPECT_EQ(device.calls, "");
    EXPECT_EQ(dlg().m_strEditLoadINI, bench.IniPath());

    // A cancelled chooser changes nothing either.
    dlg().OnBnClickedButtonLoadini();
    EXPECT_EQ(bench.prompts.messages.size(), 1u);
}

TEST_F(MainWindowCoreTest, LoadIniSetsTheLogSwitchesFromTheLoadedFile) {
    StartWith("fw_check_enable=1\r\nsavelog_enable=1\r\nsavelogBarCode_enable=1\r\n");
    Unlock();
    EXPECT_TRUE(bench.State(kCtlSaveLog).checked);
    EXPECT_TRUE(bench.State(kCtlBarCodeScan).checked);
    EXPECT_TRUE(Enabled(kCtlBarCodeScan));

    const std::string other = bench.sim.Folder() + "/other.ini";
    std::ofstream(other, std::ios::binary) << "[version]\r\nver=18\r\nfw_check_enable=1\r\n";
    bench.prompts.fileAnswers.push_back(other);
    dlg().OnBnClickedButtonLoadini();
    EXPECT_FALSE(bench.State(kCtlSaveLog).checked);
    EXPECT_FALSE(bench.State(kCtlBarCodeScan).checked);
    EXPECT_FALSE(Enabled(kCtlBarCodeScan));  // no log, no scan for it
    // Every page shows the loaded settings.
    for (RecordingPage* page : {&device, &upgrade, &test}) EXPECT_EQ(page->calls.back(), 'R');
}

TEST_F(MainWindowCoreTest, SaveLogSwitchesTheSettingAndTheBarCodeChoice) {
    StartWith("fw_check_enable=1\r\n");
    Unlock();
    EXPECT_FALSE(Enabled(kCtlBarCodeScan));
    dlg().OnBnClickedSaveLog(true);
    EXPECT_EQ(bench.context->ini.savelog_enable, 1);
    EXPECT_TRUE(Enabled(kCtlBarCodeScan));
    dlg().OnBnClickedBarCodeScan(true);
    EXPECT_EQ(bench.context->ini.savelogBarCode_enable, 1);
    dlg().OnBnClickedSaveLog(false);
    EXPECT_EQ(bench.context->ini.savelog_enable, 0);
    EXPECT_FALSE(Enabled(kCtlBarCodeScan));
}

TEST_F(MainWindowCoreTest, SaveIniWritesTheFileAndReportsAFailedSave) {
    StartWith("fw_check_enable=1\r\n");
    Unlock();
    const std::string saved = bench.sim.Folder() + "/saved.ini";
    bench.prompts.fileAnswers.push_back(saved);
    dlg().OnBnClickedButtonSaveini();
    EXPECT_TRUE(std::filesystem::exists(saved));
    // A new name is created without a word.
    EXPECT_TRUE(bench.prompts.messages.empty()) << bench.prompts.messages.front();
    auto question = bench.prompts.fileQuestions.back();
    EXPECT_EQ(question.mode, FileQuestion::Mode::Save);
    EXPECT_TRUE(question.confirmOverwrite);
    EXPECT_EQ(dlg().m_strEditLoadINI, bench.IniPath());  // the path shown stays

    bench.prompts.messages.clear();
    bench.prompts.captions.clear();
    const std::string nowhere = bench.sim.Folder() + "/no/such/folder/x.ini";
    bench.prompts.fileAnswers.push_back(nowhere);
    dlg().OnBnClickedButtonSaveini();
    EXPECT_NE(bench.LogText().find("CQNL735_MPToolDlg::OnBnClickedButtonSaveini:2511: dwErrorCode"),
              std::string::npos)
        << bench.LogText();
    ASSERT_FALSE(bench.prompts.messages.empty());
    EXPECT_NE(bench.prompts.messages.back().find(nowhere), std::string::npos);
}

TEST(LoginPasswordTest, TrimmedAndWithoutRegardToCase) {
    struct Case {
        const char* typed;
        LoginOutcome outcome;
    };
    const Case cases[] = {
        {"KORVATE", LoginOutcome::Unlocked},
        {"korvate", LoginOutcome::Unlocked},
        {" KorVate\t", LoginOutcome::Unlocked},
        {"LUMBIX", LoginOutcome::UnlockedExtended},
        {"  lumbix ", LoginOutcome::UnlockedExtended},
        {"KORVAT", LoginOutcome::NoChange},
        {"KORVATEX", LoginOutcome::NoChange},
        {"KOR VATE", LoginOutcome::NoChange},
        {"", LoginOutcome::NoChange},
        {"LUMBIXKORVATE", LoginOutcome::NoChange},
    };
    for (const Case& c : cases) EXPECT_EQ(CheckLoginPassword(c.typed), c.outcome) << c.typed;
}

TEST_F(MainWindowCoreTest, UnlockAndLockAgain) {
    StartWith("fw_check_enable=1\r\n");
    Unlock(" korvate ");
    EXPECT_TRUE(dlg().Unlocked());
    EXPECT_FALSE(dlg().ExtendedAccess());
    EXPECT_EQ(bench.State(kCtlUnlock).text, "Lock MP Tool");
    for (ControlId id : kOperatorControls)
        if (id != kCtlBarCodeScan) {
            EXPECT_TRUE(Enabled(id)) << bench.State(id).text;
        }
    EXPECT_TRUE(device.enabled);
    const auto question = bench.prompts.loginQuestions.at(0);
    EXPECT_EQ(question.caption, "Login");
    EXPECT_EQ(question.passwordLabel, "Password");
    EXPECT_EQ(question.acceptText, "Ok");
    EXPECT_EQ(question.cancelText, "Cancel");
    EXPECT_EQ(question.maxLength, 7u);

    // UnLock again locks without asking.
    dlg().OnBnClickedUnlock();
    EXPECT_FALSE(dlg().Unlocked());
    EXPECT_EQ(bench.prompts.loginQuestions.size(), 1u);
    EXPECT_EQ(bench.State(kCtlUnlock).text, "Unlock MP Tool");
    for (ControlId id : kOperatorControls) EXPECT_FALSE(Enabled(id));
    EXPECT_TRUE(Enabled(kCtlStart));
}

TEST_F(MainWindowCoreTest, TheSecondPasswordGivesExtendedAccessUntilLocked) {
    StartWith("fw_check_enable=1\r\n");
    Unlock("lumbix");
    EXPECT_TRUE(dlg().Unlocked());
    EXPECT_TRUE(dlg().ExtendedAccess());
    EXPECT_TRUE(bench.context->extendedAccess);
    dlg().OnBnClickedUnlock();
    EXPECT_FALSE(dlg().ExtendedAccess());
    EXPECT_FALSE(bench.context->extendedAccess);
}

TEST_F(MainWindowCoreTest, AWrongPasswordOrCancelChangesNothingWithoutAMessage) {
    StartWith("fw_check_enable=1\r\n");
    bench.prompts.messages.clear();
    bench.prompts.captions.clear();
    Unlock("KORVATE1");
    bench.prompts.loginAnswers.push_back(std::nullopt);
    dlg().OnBnClickedUnlock();
    EXPECT_FALSE(dlg().Unlocked());
    EXPECT_EQ(bench.State(kCtlUnlock).text, "Unlock MP Tool");
    EXPECT_FALSE(Enabled(kCtlLoadIni));
    EXPECT_TRUE(bench.prompts.messages.empty());
}

TEST_F(MainWindowCoreTest, StartFollowsTheItemsOfEachPage) {
    struct Case {
        const char* settings;
        bool main, upgradePage, testPage;
        bool portTestRefused = false;  // the main and test pages' runs are refused
    };
    const Case cases[] = {
        {"fw_update_enable=1\r\nfw_binary_name=FW.BIN\r\n", true, true, false},
        {"fw_check_enable=1\r\n", true, true, false},
        {"signal_line_test_enable=1\r\ntest_speed=1\r\ntest_port=1\r\n", true, false, true},
        {"loopback_test_enable=1\r\n", true, false, true},
        {"fixture_test_enable=1\r\ntest_speed=4\r\ntest_port=2\r\n", true, false, true},
        // A test that selects no sub-test keeps Start off on the pages that run it.
        {"fw_check_enable=1\r\nsignal_line_test_enable=1\r\ntest_speed=1\r\n", false, true, false,
         true},
        {"", false, false, false},
    };
    for (const Case& c : cases) {
        WindowBench b;
        b.WriteSettings(c.settings);
        b.Start();
        b.prompts.loginAnswers.push_back("KORVATE");
        b.dialog->OnBnClickedUnlock();
        const bool expected[] = {c.main, c.upgradePage, c.testPage};
        // Every order of pages: Start follows the page, off as well as on.
        for (std::uint8_t page : {0, 1, 2, 1, 0, 2, 0}) {
            b.dialog->OnTcnSelchangeTab(page);
            EXPECT_EQ(b.State(kCtlStart).enabled, expected[page])
                << c.settings << " page " << int(page) << b.LogText();
            // The reason beside Start, while the page's run is refused.
            const ControlState refusal = b.State(kCtlStartRefusal);
            EXPECT_EQ(refusal.visible, c.portTestRefused && page != kPageUpgrade);
            EXPECT_EQ(refusal.text.find("Signal Line Test selects no sub-test") == 0,
                      refusal.visible)
                << refusal.text;
            EXPECT_EQ(b.State(kCtlTab).value, page);
        }
    }
}

TEST_F(MainWindowCoreTest, StartNeedsAHost) {
    WindowBench none(0);
    none.WriteSettings("fw_check_enable=1\r\n");
    none.Start();
    EXPECT_FALSE(none.State(kCtlStart).enabled);
    none.dialog->OnStartClicked();
    EXPECT_FALSE(none.dialog->RunActive());
}

TEST_F(MainWindowCoreTest, APageSwitchWhileLockedKeepsTheWindowLocked) {
    StartWith("fw_check_enable=1\r\ninit_main=1\r\n");
    EXPECT_EQ(dlg().CurrentPage(), kPageUpgrade);
    EXPECT_EQ(bench.State(kCtlTab).value, 1);
    EXPECT_EQ(bench.context->resultTable.ColumnCount(), 11);
    dlg().OnTcnSelchangeTab(kPageMain);
    EXPECT_EQ(bench.context->resultTable.ColumnCount(), 17);
    EXPECT_FALSE(Enabled(kCtlTab));
    EXPECT_FALSE(device.enabled);
    EXPECT_TRUE(Enabled(kCtlStart));
}

TEST_F(MainWindowCoreTest, AnUnlockedPageSwitchRefreshesTheShownPage) {
    StartWith("fw_check_enable=1\r\n");
    Unlock();
    upgrade.calls.clear();
    test.calls.clear();
    dlg().OnTcnSelchangeTab(kPageUpgrade);
    EXPECT_EQ(upgrade.calls, "RER");
    EXPECT_EQ(bench.context->resultTable.ColumnCount(), 11);
    dlg().OnTcnSelchangeTab(kPageTest);
    EXPECT_EQ(test.calls, "R");
    EXPECT_EQ(bench.context->resultTable.ColumnCount(), 14);
}

TEST_F(MainWindowCoreTest, TheRunEndsLockedWithOnlyStartAndUnlock) {
    // The loop back test alone: Start is allowed on the main page, the run has no item.
    StartWith("loopback_test_enable=1\r\n");
    RunToEnd();
    EXPECT_EQ(dlg().Progress(), 100);
    EXPECT_EQ(bench.State(kCtlProgress).value, 100);
    EXPECT_TRUE(Enabled(kCtlStart));
    EXPECT_TRUE(Enabled(kCtlUnlock));
    for (ControlId id : kOperatorControls) EXPECT_FALSE(Enabled(id));
    EXPECT_EQ(dlg().RunExitCode(), 0);
}

TEST_F(MainWindowCoreTest, TheRunEndsUnlockedWithEverythingBack) {
    StartWith("loopback_test_enable=1\r\nsavelog_enable=1\r\n");
    Unlock();
    RunToEnd();
    EXPECT_EQ(dlg().Progress(), 0);
    EXPECT_EQ(bench.State(kCtlProgress).value, 0);
    for (ControlId id : kOperatorControls) EXPECT_TRUE(Enabled(id)) << bench.State(id).text;
    EXPECT_TRUE(Enabled(kCtlStart));
    EXPECT_TRUE(device.enabled);
}

TEST_F(MainWindowCoreTest, DuringARunEverythingIsOffAndUnlockCloseAndRescanAreRefused) {
    StartWith("loopback_test_enable=1\r\n");
    Unlock();
    // Hold the hardware: the run's thread waits for it, so the run stays active. (Start
    // itself is off while another activity holds the hardware.)
    HardwareSession::Hold hold = dlg().Hardware().Acquire(HardwareActivity::PortCheck);
    EXPECT_FALSE(Enabled(kCtlStart));
    dlg().OnStartClicked();
    EXPECT_FALSE(dlg().RunActive());
    dlg().OnBnClickedStart();
    ASSERT_TRUE(dlg().RunActive());
    for (ControlId id : kOperatorControls) EXPECT_FALSE(Enabled(id));
    EXPECT_FALSE(Enabled(kCtlStart));
    EXPECT_FALSE(Enabled(kCtlUnlock));
    EXPECT_FALSE(device.enabled);
    EXPECT_FALSE(upgrade.enabled);

    dlg().OnBnClickedUnlock();
    EXPECT_TRUE(dlg().Unlocked());
    EXPECT_TRUE(bench.prompts.loginQuestions.size() == 1);
    // Close is put off, and the window says so.
    EXPECT_FALSE(dlg().OnClose().has_value());
    EXPECT_NE(bench.LogText().find("Close refused"), std::string::npos);
    EXPECT_TRUE(dlg().ClosePending());
    EXPECT_EQ(bench.State(kCtlStatus).text,
              "An MP run is in progress: the window closes when it ends");
    EXPECT_FALSE(dlg().BeginRescan());
    // A second Start while the first runs does nothing.
    dlg().OnStartClicked();
    EXPECT_FALSE(dlg().OnTimer1());
    EXPECT_FALSE(Enabled(kCtlStart));

    hold.Release();
    for (int i = 0; i < 2000 && !dlg().OnTimer1(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(dlg().RunActive());
    EXPECT_TRUE(Enabled(kCtlUnlock));
    EXPECT_TRUE(dlg().OnClose().has_value());
}

TEST_F(MainWindowCoreTest, TimerOneAdvancesAndWrapsTheProgress) {
    StartWith("loopback_test_enable=1\r\n");
    HardwareSession::Hold hold = dlg().Hardware().Acquire(HardwareActivity::PortCheck);
    dlg().OnBnClickedStart();
    for (int i = 1; i <= 100; ++i) {
        ASSERT_FALSE(dlg().OnTimer1());
        ASSERT_EQ(dlg().Progress(), i);
    }
    EXPECT_FALSE(dlg().OnTimer1());
    EXPECT_EQ(dlg().Progress(), 0);
    EXPECT_EQ(bench.State(kCtlProgress).value, 0);
    hold.Release();
    for (int i = 0; i < 2000 && !dlg().OnTimer1(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

TEST_F(MainWindowCoreTest, RescanAfterTheHostsAreGoneClearsTheRowsAndStart) {
    StartWith("fw_check_enable=1\r\n");
    Unlock();
    ResultTable& table = bench.context->resultTable;
    ASSERT_EQ(bench.context->g_Utility.ucHostCount, 2);
    ASSERT_NE(table.strGetResultItemTable(1, 2), "");
    ASSERT_TRUE(Enabled(kCtlStart));

    bench.io.hidden = true;
    dlg().OnBnClickedButtonRescan();
    EXPECT_EQ(bench.context->g_Utility.ucHostCount, 0);
    for (int row = 0; row < 2; ++row)
        for (int column = 1; column < table.ColumnCount(); ++column)
            EXPECT_EQ(table.strGetResultItemTable(row, column), "") << row << "," << column;
    EXPECT_FALSE(Enabled(kCtlStart));
    EXPECT_FALSE(dlg().RescanActive());

    // Back again.
    bench.io.hidden = false;
    dlg().OnBnClickedButtonRescan();
    EXPECT_EQ(bench.context->g_Utility.ucHostCount, 2);
    EXPECT_EQ(table.strGetResultItemTable(1, 2), "4");
    EXPECT_TRUE(Enabled(kCtlStart));
}

TEST_F(MainWindowCoreTest, RescanWaitsForThePortCheckHoldingTheHardware) {
    StartWith("fw_check_enable=1\r\n");
    Unlock();
    HardwareSession::Hold hold = dlg().Hardware().Acquire(HardwareActivity::PortCheck);
    ASSERT_TRUE(dlg().BeginRescan());
    EXPECT_FALSE(Enabled(kCtlStart));
    std::atomic<bool> scanned{false};
    std::thread scan([&] {
        dlg().RescanHardware();
        scanned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(scanned);
    // Start and Close wait for the rescan too.
    dlg().OnStartClicked();
    EXPECT_FALSE(dlg().RunActive());
    EXPECT_FALSE(dlg().OnClose().has_value());
    hold.Release();
    scan.join();
    dlg().FinishRescan();
    EXPECT_TRUE(Enabled(kCtlStart));
}

TEST(IniPathEditTest, KeepsPrintableCharactersAndTheCaret) {
    FilteredEdit edit = FilterIniPathEdit("/tmp/a\tb.ini", 7);
    EXPECT_EQ(edit.text, "/tmp/ab.ini");
    EXPECT_EQ(edit.caret, 6);  // still after the 'a'... and the dropped tab
    edit = FilterIniPathEdit("/x/\x01y", 2);
    EXPECT_EQ(edit.text, "/x/y");
    EXPECT_EQ(edit.caret, 2);  // nothing before it was dropped
    edit = FilterIniPathEdit("caf\xc3\xa9.ini", 9);
    EXPECT_EQ(edit.text, "caf.ini");
    EXPECT_EQ(edit.caret, 7);
    edit = FilterIniPathEdit(std::string(130, 'a'), 130);
    EXPECT_EQ(edit.text.size(), 126u);
    EXPECT_EQ(edit.caret, 126);
    edit = FilterIniPathEdit("\x7f~ ", -4);
    EXPECT_EQ(edit.text, "\x7f~ ");
    EXPECT_EQ(edit.caret, 0);
}

TEST_F(MainWindowCoreTest, ThePathEditStoresWhatItShows) {
    StartWith("fw_check_enable=1\r\n");
    const FilteredEdit edit = dlg().OnEnChangeEditLoadINI("/tmp/\nq.ini", 7);
    EXPECT_EQ(edit.text, "/tmp/q.ini");
    EXPECT_EQ(dlg().m_strEditLoadINI, "/tmp/q.ini");
    EXPECT_EQ(bench.State(kCtlIniPath).text, "/tmp/q.ini");
}

TEST_F(MainWindowCoreTest, DebugLogExportIsToldAsInformation) {
    StartWith("fw_check_enable=1\r\n");
    bench.prompts.messages.clear();
    bench.prompts.captions.clear();
    dlg().OnBnClickedButtonDebugLog();
    const auto messages = bench.prompts.messages;
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(bench.prompts.captions[0], "Information");
    EXPECT_EQ(messages[0].rfind("Log file [" + bench.sim.Folder() + "/log/MPLog_", 0), 0u)
        << messages[0];
    EXPECT_NE(messages[0].find("] is exported"), std::string::npos);
}

TEST_F(MainWindowCoreTest, CloseWhenIdleUnloadsTheDriver) {
    StartWith("fw_check_enable=1\r\n");
    ASSERT_TRUE(bench.sim.station->DriverLoaded());
    EXPECT_EQ(dlg().OnClose(), 0);
    EXPECT_FALSE(bench.sim.station->DriverLoaded());
}

// The window ends with the last run's exit code, and its status line tells a failed run, also
// one whose cells show what the boards did while its record was lost.
TEST_F(MainWindowCoreTest, AFailedRunIsToldOnTheWindowAndIsTheWindowsExitCode) {
    struct Case {
        bool logIsAFolder;
        const char* status;
    };
    for (const Case& c : {Case{false, "MP run FAIL (exit code 1)"},
                          Case{true,
                               "MP run FAIL (exit code 1): the run's record was not kept. "
                               "Write result log ["}}) {
        WindowBench b;
        // The (empty) firmware file cannot be checked: the run fails with 1.
        b.WriteSettings("fw_check_enable=1\r\nfw_binary_name=FW.BIN\r\nsavelog_enable=1\r\n");
        if (c.logIsAFolder) std::filesystem::create_directory(b.sim.Folder() + "/20260101.log");
        b.Start();
        RunToEnd(&b);
        EXPECT_EQ(b.State(kCtlStatus).text.rfind(c.status, 0), 0u) << b.State(kCtlStatus).text;
        EXPECT_EQ(b.State(kCtlStatus).value, kStatusAlarm);
        EXPECT_EQ(b.dialog->OnClose(), 1);
    }
}

// The window holds the station lock from start-up to its end: a console run in its folder is
// refused, naming the window's process; the reads go on.
TEST_F(MainWindowCoreTest, TheOpenWindowKeepsTheStationFromAConsoleRun) {
    StartWith("fw_check_enable=1\r\n");
    struct Case {
        const char* commandLine;
        std::int32_t code;
        std::string output;
    };
    const std::string refused = "Another instance of the MP tool (process " +
                                std::to_string(::getpid()) + ") is running on this station";
    for (const Case& c :
         {Case{"/S /A", 1, refused}, Case{"/S /D", 0, "Version-->"}, Case{"", 1, refused}}) {
        MemoryConsole console;
        RecordingPrompts prompts;
        ToolEnvironment environment{bench.sim.clock, console, prompts, bench.io};
        environment.toolFolder = bench.sim.Folder();
        environment.currentFolder = bench.sim.Folder();
        ToolAssembly second(environment, ToolAssembly::Parts::WindowOnly);
        EXPECT_EQ(second.Start(c.commandLine), c.code) << c.commandLine;
        const std::string told =
            console.Text() + (prompts.messages.empty() ? "" : prompts.messages[0]);
        EXPECT_NE(told.find(c.output), std::string::npos) << c.commandLine << ": " << told;
    }
}

// A USB device below a target controller: the window asks to remove it, Retry looks again,
// Cancel fails the run for every host with a message.
TEST_F(MainWindowCoreTest, AUsbDeviceLeftConnectedIsRetriedOrCancelled) {
    WindowBench b(2, 0, ToolAssembly::Parts::WindowOnly,
                  R"("ports": { "usb2_port1": { "type": "device" } })");
    b.WriteSettings(
        "fw_check_enable=1\r\nfw_binary_name=FW.BIN\r\ncheck_downstream_usb_enable=1\r\n");
    b.Start();
    b.prompts.retryAnswers = {true, false};
    RunToEnd(&b);
    ASSERT_EQ(b.prompts.retryQuestions.size(), 2u);
    EXPECT_EQ(b.prompts.retryQuestions[0], "Found a USB Device Connected , Please Remove it !!");
    ASSERT_FALSE(b.prompts.messages.empty());
    EXPECT_NE(b.prompts.messages.back().find("cancelled, every host FAIL"), std::string::npos);
    for (std::uint8_t host = 0; host < 2; ++host)
        EXPECT_EQ(b.context->resultTable.strGetResultItemTable(host, 7), "FAIL") << int(host);
    EXPECT_EQ(b.dialog->RunExitCode(), 1);
}

}  // namespace
}  // namespace qnl::test
