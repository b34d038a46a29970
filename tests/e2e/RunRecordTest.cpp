// The station's record through the real executable: a result log that cannot be written fails
// the run and keeps its old bytes, special files are refused without blocking, a refused
// settings file or a second tool process does not run, and controllers beyond the host table are
// announced.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/MPToolDlg.h"
#include "settings/CIni.h"
#include "support/TestImage.h"
#include "support/ToolRun.h"

namespace qnl::test {
namespace {

namespace fs = std::filesystem;

const std::string kPorts =
    R"("ports": { "usb2_port1": { "type": "device" }, "usb2_port2": { "type": "device" } })";

std::string Controller(int bus) {
    return "{ \"bus\": " + std::to_string(bus) +
           ", \"kind\": 0, \"flash_id\": \"C2 20 11\", \"flash\": \"h" + std::to_string(bus) +
           ".flash\", " + kPorts + " }";
}

std::string Station(const std::vector<std::string>& controllers, double timeScale = 0.01) {
    std::string list;
    for (const auto& c : controllers) list += (list.empty() ? "" : ",") + c;
    return "{ \"time_scale\": " + std::to_string(timeScale) + ", \"controllers\": [" + list + "] }";
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Today's result log name, as the tool names it.
std::string TodaysLogName() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char name[32];
    std::strftime(name, sizeof name, "%Y%m%d.log", &local);
    return name;
}

// A signal line test of USB 2.0 Port 1: a run that writes no file but the result log.
IniSettings SignalLineRun() {
    IniSettings s;
    s.ver = 18;
    s.signal_line_test_enable = 1;
    s.test_speed = 1;
    s.test_port = 1;
    s.test_timeout = 200;
    s.savelog_enable = 1;
    return s;
}

class RunRecordTest : public ::testing::Test {
  protected:
    explicit RunRecordTest(const std::string& toolParent = {}) : tool(toolParent) {}
    void WriteSettings(const IniSettings& s) { tool.Write(kIniFileName, BuildIniText(s)); }
    ToolResult Run(const std::vector<std::string>& args,
                   std::map<std::string, std::string> env = {}) {
        env.emplace("QNLIO_STATION", tool.File("station.json"));
        env.emplace("QNL_EVENT_STORE", "file");
        return tool.Run(args, env);
    }
    TempToolFolder tool;
};

// ---- A full disk: a tmpfs just large enough for the tool, filled up -------------------------

class TmpfsMount {
  public:
    explicit TmpfsMount(std::uint64_t bytes) {
        std::string pattern = (fs::temp_directory_path() / "qnl-tmpfs-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) return;
        path_ = pattern;
        const std::string options = "size=" + std::to_string(bytes);
        if (::mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) == 0)
            mounted_ = true;
        else
            why_ = std::strerror(errno);
    }
    ~TmpfsMount() {
        if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
        if (!path_.empty()) ::rmdir(path_.c_str());
    }
    bool Mounted() const { return mounted_; }
    const std::string& Path() const { return path_; }
    const std::string& Why() const { return why_; }

  private:
    std::string path_;
    std::string why_;
    bool mounted_ = false;
};

class FullDiskTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!mount_.Mounted())
            GTEST_SKIP() << "cannot mount a tmpfs here (" << mount_.Why()
                         << "); the unit test ALogThatCannotTakeTheWholeRecordKeepsItsOldBytes "
                            "covers the same path with a file size limit";
        tool_ = std::make_unique<TempToolFolder>(mount_.Path());
        // The station and its flash files live outside the full file system.
        station_ = std::make_unique<TempToolFolder>();
        station_->Write("station.json", Station({Controller(3), Controller(4)}));
        tool_->Write(kIniFileName, BuildIniText(SignalLineRun()));
        logName_ = TodaysLogName();
    }
    void TearDown() override { Free(); }
    // Takes every free page of the file system.
    void Fill() {
        std::ofstream filler(tool_->File("filler"), std::ios::binary);
        const std::string block(4096, 'f');
        while (filler.write(block.data(), block.size())) filler.flush();
    }
    void Free() {
        if (tool_) fs::remove(tool_->File("filler"));
    }
    ToolResult Run() {
        return tool_->Run({"/S", "/A"}, {{"QNLIO_STATION", station_->File("station.json")},
                                         {"QNL_EVENT_STORE", "file"}});
    }

    // Room for the executable (and the settings file), not for much more.
    TmpfsMount mount_{fs::file_size(QNL_TOOL_BINARY) + 64 * 1024};
    std::unique_ptr<TempToolFolder> tool_;
    std::unique_ptr<TempToolFolder> station_;
    std::string logName_;
};

TEST_F(FullDiskTest, ARunWhoseRecordCannotBeWrittenFailsAndTheLogKeepsItsBytes) {
    // An empty log (left by an earlier failure) on a full disk: the run fails, the file stays
    // empty.
    tool_->Write(logName_, "");
    Fill();
    auto full = Run();
    EXPECT_EQ(full.status, 1) << full.out;
    EXPECT_NE(full.out.find("Host[1],[Signal Line Test(USB 2.0, Port 1)]--> [PASS]!!"),
              std::string::npos)
        << full.out;
    EXPECT_NE(full.out.find("Write result log [" + tool_->File(logName_) +
                            "] Failed!! (No space left on device)\r\n"),
              std::string::npos)
        << full.out;
    EXPECT_TRUE(EndsWith(full.out, "ErroCode [1]\r\n"));
    EXPECT_EQ(tool_->Read(logName_), "");

    // With room again, the empty log gets its header before the lines.
    Free();
    auto room = Run();
    EXPECT_EQ(room.status, 0) << room.out;
    const std::string log = tool_->Read(logName_);
    EXPECT_EQ(log.rfind("Date\tTime\tH#\tFW Version\tBus\t", 0), 0u) << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3);

    // A log whose last page has room for only part of the lines: nothing is added, not even
    // the part that would fit, and the run fails.
    const std::string old = log + std::string(4096 * 2 - 40 - log.size() - 2, 'x') + "\r\n";
    tool_->Write(logName_, old);
    Fill();
    auto partial = Run();
    EXPECT_EQ(partial.status, 1) << partial.out;
    EXPECT_NE(partial.out.find("(No space left on device)"), std::string::npos) << partial.out;
    EXPECT_EQ(tool_->Read(logName_), old);

    Free();
    auto again = Run();
    EXPECT_EQ(again.status, 0) << again.out;
    const std::string after = tool_->Read(logName_);
    EXPECT_EQ(after.substr(0, old.size()), old);
    EXPECT_EQ(std::count(after.begin() + static_cast<long>(old.size()), after.end(), '\n'), 2);
}

// ---- Special files ---------------------------------------------------------------------------

TEST_F(RunRecordTest, AFifoAtTheDaysLogIsRefusedAndTheRunFails) {
    tool.Write("station.json", Station({Controller(3)}));
    WriteSettings(SignalLineRun());
    const std::string fifo = tool.File(TodaysLogName());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto r = Run({"/S", "/A"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Write result log [" + fifo + "] Failed!! (" + fifo +
                         " is not a regular file)\r\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(tool.Read("log/events.log").find("Write result log [" + fifo + "] Failed!!"),
              std::string::npos);
}

TEST_F(RunRecordTest, AFifoAtTheEventFileIsNeverWaitedOn) {
    WriteSettings(SignalLineRun());
    fs::create_directory(tool.File("log"));
    const std::string fifo = tool.File("log/events.log");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A run with a diagnostic event (the second host has nothing on its port).
    tool.Write("station.json", Station({Controller(3), "{ \"bus\": 4, \"flash\": \"h4.flash\" }"}));
    auto r = Run({"/S", "/A"});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find(fifo + " is not a regular file: diagnostic events are not kept"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("ErroCode ["), std::string::npos);
    EXPECT_NE(tool.Read(TodaysLogName()).find("\tFAIL\t"), std::string::npos);
}

// ---- Settings the tool refused ---------------------------------------------------------------

TEST_F(RunRecordTest, AConsoleRunNeedsASettingsFileThatLoaded) {
    tool.Write("station.json", Station({Controller(3)}));
    const std::string good = BuildIniText(SignalLineRun());
    const std::string wrongVersion = "[version]\r\nver=17\r\n" + good.substr(good.find("[main]"));
    const std::string unknownKey = good + "colour=blue\r\n";
    std::string tooLong = good;
    tooLong += "savelog_enable=1\r\n";  // the writer's 29 lines and two more
    tooLong += "savelog_enable=1\r\n";
    IniSettings update = SignalLineRun();
    update.fw_update_enable = 1;
    update.fw_binary_name = "MISSING.BIN";
    const std::string missingFirmware = BuildIniText(update);
    for (const std::string& text : {wrongVersion, unknownKey, tooLong, missingFirmware}) {
        tool.Write(kIniFileName, text);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"/S", "/A"}, std::vector<std::string>{"/G", "11"}}) {
            auto r = Run(args);
            EXPECT_EQ(r.status, 1) << r.out;
            EXPECT_NE(r.out.find("The settings file [" + tool.File(kIniFileName) +
                                 "] is not loaded: the MP run does not start.\r\n"),
                      std::string::npos)
                << r.out;
            EXPECT_EQ(r.out.find("Testing Item"), std::string::npos);
            EXPECT_TRUE(EndsWith(r.out, "ErroCode [1]\r\n"));
        }
    }
    EXPECT_FALSE(tool.Exists(TodaysLogName()));
    // The same settings, loaded, run and pass.
    tool.Write(kIniFileName, good);
    EXPECT_EQ(Run({"/S", "/A"}).status, 0);
}

// ---- A failed firmware check -------------------------------------------------------------

TEST_F(RunRecordTest, ACheckOnlyRunWhereEveryHostFailsIsRecordedInTheDiagnosticLog) {
    // Blank flash chips: neither host runs the file's firmware.
    tool.Write("station.json", Station({Controller(3), Controller(4)}));
    const auto image = BuildTestImage(0, {0x17, 0x07, 0x07, 0x00, 0x50, 0x01}, {}, 4096);
    fs::create_directory(tool.File("fw"));
    tool.Write("fw/new.bin", std::string(image.begin(), image.end()));
    IniSettings s;
    s.ver = 18;
    s.fw_check_enable = 1;
    s.fw_binary_name = "FW\\NEW.BIN";
    s.savelog_enable = 1;
    WriteSettings(s);
    auto r = Run({"/S", "/A"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Host[1],[FW Check ]--> [FAIL]!!"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("FW Check FAIL on 2 of 2 hosts (the result log has no check column; the "
                         "diagnostic log names each host)\r\n"),
              std::string::npos)
        << r.out;
    // The result log keeps its format: no check column, the update text blank.
    const std::string log = tool.Read(TodaysLogName());
    ASSERT_EQ(std::count(log.begin(), log.end(), '\n'), 3) << log;
    EXPECT_EQ(log.find("FAIL"), std::string::npos);
    // Each host's event carries its record line's date, time, index, version and address.
    const std::string events = tool.Read("log/events.log");
    for (std::size_t at = log.find("\r\n") + 2; at < log.size(); at = log.find("\r\n", at) + 2) {
        const std::string line = log.substr(at, log.find("\r\n", at) - at);
        std::size_t cut = 0;
        for (int field = 0; field < 9; ++field) cut = line.find('\t', cut) + 1;
        const std::string key = line.substr(0, cut - 1);  // date .. SVID
        // The event line stores tabs escaped.
        std::string escaped;
        for (char c : key) escaped += c == '\t' ? std::string("\\t") : std::string(1, c);
        EXPECT_NE(
            events.find("FW Check FAIL: " + escaped + ", expected FW Version 170707_00_50_01"),
            std::string::npos)
            << key << "\n"
            << events;
    }
}

// ---- Tests that did not run -----------------------------------------------------------------

TEST_F(RunRecordTest, PortTestsSkippedAfterAFailedUpdateAreBlankNotPass) {
    // A kind-1 controller refuses the kind-0 image: the update fails and no port test runs.
    tool.Write("station.json",
               Station({R"({ "bus": 3, "kind": 1, "flash_id": "C2 20 13", "flash": "h3.flash", )" +
                        kPorts + " }"}));
    const auto image = BuildTestImage(0, {0x17, 0x07, 0x07, 0x00, 0x50, 0x01}, {}, 4096);
    tool.Write("new.bin", std::string(image.begin(), image.end()));
    IniSettings s = SignalLineRun();
    s.fw_update_enable = 1;
    s.fw_binary_name = "NEW.BIN";
    WriteSettings(s);
    auto r = Run({"/S", "/A"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Host[0],[FW Update ]--> [FAIL]!!"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Signal Line Test("), std::string::npos) << r.out;
    // SLT, LT and the six port texts as for a disabled test, then the update text.
    const std::string log = tool.Read(TodaysLogName());
    EXPECT_NE(log.find("\t3\t0\t0\t7352\t1e73\t \t \t \t \t \t \t \t \tFAIL\tNEW.BIN\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("PASS"), std::string::npos);
}

// ---- A signal line FAIL and a passing fixture test ------------------------------------------

const std::string kAllPorts =
    R"("ports": { "usb3_port1": { "type": "device", "speed": "superplus" },
                  "usb3_port2": { "type": "device", "speed": "superplus" },
                  "usb2_port1": { "type": "device" }, "usb2_port2": { "type": "device" } })";

TEST_F(RunRecordTest, ASignalLineFailIsNotOverwrittenByAPassingFixtureTest) {
    // Host 0's SuperSpeed Port 1 signal checks fail; the fixture test that follows finds every
    // device and passes.
    const std::string failing =
        R"({ "bus": 3, "flash": "h3.flash", "ports": {
             "usb3_port1": { "type": "device", "speed": "superplus",
                             "faults": { "signal_check_fails": true } },
             "usb3_port2": { "type": "device", "speed": "superplus" },
             "usb2_port1": { "type": "device" }, "usb2_port2": { "type": "device" } } })";
    tool.Write("station.json",
               Station({failing, R"({ "bus": 4, "flash": "h4.flash", )" + kAllPorts + " }"}));
    IniSettings s = SignalLineRun();
    s.fixture_test_enable = 1;
    s.test_speed = 7;
    s.test_port = 3;
    WriteSettings(s);
    auto r = Run({"/S", "/A"});
    EXPECT_NE(r.out.find("Host[0],[ Signal Line Test(USB 3.0, Port 1)  ]--> [FAIL]!!"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Host[0],[Fixture Test(USB 3.0, Port 1)]--> [PASS]!!"), std::string::npos)
        << r.out;
    // Host 0's failing code (-1) ends the process (its low byte, 255, when the silent test
    // phase ends it).
    EXPECT_EQ(r.status, 255) << r.out;
    EXPECT_TRUE(EndsWith(r.out, "ErroCode [-1]\r\n") || EndsWith(r.out, "ErroCode [255]\r\n"))
        << r.out;
    // The record keeps host 0's failure, and its failed SuperSpeed Port 1 cells keep FAIL
    // although the fixture test passed them later in the run.
    const std::string log = tool.Read(TodaysLogName());
    EXPECT_NE(log.find("\t0\t000000_00_00_00\t3\t0\t0\t7350\t1e73\tFAIL\t \t"
                       "PASS\tPASS\tFAIL\tPASS\tFAIL\tPASS\t \t"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\t4\t0\t0\t7350\t1e73\tPASS\t \tPASS\tPASS\tPASS\tPASS\tPASS\tPASS\t \t"),
              std::string::npos)
        << log;
}

// ---- More controllers than the host table holds ------------------------------------------

// The run ends with 1 after its message (the boards beyond 8 were not programmed or tested);
// the reads keep their codes.
TEST_F(RunRecordTest, ControllersBeyondTheEighthAreAnnouncedAndFailTheRun) {
    std::vector<std::string> controllers;
    for (int bus = 1; bus <= 10; ++bus) controllers.push_back(Controller(bus));
    tool.Write("station.json", Station(controllers));
    WriteSettings(SignalLineRun());
    auto r = Run({"/S", "/A"});
    const std::string message =
        "10 QNL controllers found: only the first 8 are served, the other 2 are not "
        "programmed or tested!!\r\n";
    EXPECT_NE(r.out.find(message), std::string::npos) << r.out;
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Host[7],[Signal Line Test"), std::string::npos);
    EXPECT_EQ(r.out.find("Host[8]"), std::string::npos);
    EXPECT_NE(tool.Read("log/events.log").find("10 QNL controllers found"), std::string::npos);
    const std::string log = tool.Read(TodaysLogName());
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 9) << log;  // the header and 8 hosts
    EXPECT_EQ(Run({"/S", "/D"}).status, 0);

    // Eight exactly: nothing to say.
    controllers.resize(8);
    tool.Write("station.json", Station(controllers));
    EXPECT_EQ(Run({"/S", "/D"}).out.find("controllers found"), std::string::npos);
}

// ---- One tool per station ----------------------------------------------------------------------

TEST_F(RunRecordTest, OfTwoRunsStartedTogetherOneRunsAndTheOtherSaysWhy) {
    // Slow enough that the first run still holds the station when the second asks for it.
    tool.Write("station.json", Station({Controller(3), Controller(4)}, 0.2));
    WriteSettings(SignalLineRun());
    for (int pair = 0; pair < 3; ++pair) {
        ToolResult a, b;
        std::thread first([&] { a = Run({"/S", "/A"}); });
        std::thread second([&] { b = Run({"/S", "/A"}); });
        first.join();
        second.join();
        const ToolResult& refused = a.status == 0 ? b : a;
        EXPECT_EQ(std::min(a.status, b.status), 0) << a.out << b.out;
        EXPECT_EQ(refused.status, 1) << refused.out;
        // The holder's process id is named once it has written it into the lock file.
        EXPECT_NE(refused.out.find("Another instance of the MP tool "), std::string::npos)
            << refused.out;
        EXPECT_NE(
            refused.out.find("is running on this station [" + tool.File(kStationLockFileName) +
                             "]: the MP run does not start.\r\n"),
            std::string::npos);
        EXPECT_EQ(refused.out.find("Testing Item"), std::string::npos);
    }
    // Three runs, two hosts each, and one header.
    const std::string log = tool.Read(TodaysLogName());
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 7) << log;
    EXPECT_EQ(log.find("FAIL"), std::string::npos);
}

TEST_F(RunRecordTest, ReadsProceedWhileAnotherToolHoldsTheStation) {
    tool.Write("station.json", Station({Controller(3)}));
    WriteSettings(SignalLineRun());
    const int fd = ::open(tool.File(kStationLockFileName).c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    ASSERT_EQ(::write(fd, "4242\n", 5), 5);
    auto read = Run({"/S", "/D"});
    EXPECT_EQ(read.status, 0) << read.out;
    EXPECT_NE(read.out.find("Target Host[0] > Bus:0x03"), std::string::npos);
    auto run = Run({"/S", "/A"});
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("Another instance of the MP tool (process 4242) is running on this "
                           "station"),
              std::string::npos)
        << run.out;
    EXPECT_NE(tool.Read("log/events.log").find("Another instance of the MP tool"),
              std::string::npos);
    ::close(fd);
    EXPECT_EQ(Run({"/S", "/A"}).status, 0);
}

TEST_F(RunRecordTest, RealControllersAreLockedByTheirPciAddress) {
    // Two tool folders on one station through the dll backend: the tool folders' locks differ,
    // the controller's address lock is the same.
    tool.Write("station.json", Station({Controller(3)}));
    WriteSettings(SignalLineRun());
    TempToolFolder locks;
    const std::string addressLock = locks.File("qnlmptool-pci-0000:03:00.0.lock");
    const int fd = ::open(addressLock.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const std::map<std::string, std::string> env{
        {"QNLIO_BACKEND", std::string("dll:") + QNL_DLLSIM_LIBRARY},
        {"QNL_LOCK_FOLDER", locks.Path()}};
    auto run = Run({"/S", "/A"}, env);
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("Another instance of the MP tool is running on this station [" +
                           addressLock + "]"),
              std::string::npos)
        << run.out;
    ::close(fd);
    auto free = Run({"/S", "/A"}, env);
    EXPECT_EQ(free.status, 0) << free.out;
    // The lock file names its last holder.
    EXPECT_FALSE(locks.Read("qnlmptool-pci-0000:03:00.0.lock").empty());
}

}  // namespace
}  // namespace qnl::test
