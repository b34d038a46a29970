// The MP run through the real executable: /S /A programs and checks every host of a station,
// writes the result log and ends with the run's exit code.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "platform/Format.h"
#include "settings/CIni.h"
#include "support/TestImage.h"
#include "support/ToolRun.h"

namespace qnl::test {
namespace {

const std::array<std::uint8_t, 6> kNewVersion{0x17, 0x07, 0x07, 0x00, 0x50, 0x01};
constexpr const char* kNewVersionText = "170707_00_50_01";

std::string Bytes(const std::vector<std::uint8_t>& v) {
    return std::string(v.begin(), v.end());
}

class MPRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        settings.fw_update_enable = 1;
        settings.fw_check_enable = 1;
        settings.fw_binary_name = "FW\\NEW.BIN";  // as a Windows station writes it
        settings.savelog_enable = 1;
        std::filesystem::create_directory(tool.File("fw"));
        tool.Write("fw/new.bin", Bytes(BuildTestImage(0, kNewVersion, {}, 4096)));
    }
    // Controllers of the station, as JSON objects.
    void WriteStation(const std::vector<std::string>& controllers) {
        std::string list;
        for (const auto& c : controllers) list += (list.empty() ? "" : ",") + c;
        tool.Write("station.json", R"({ "time_scale": 0.01, "controllers": [)" + list + "] }");
    }
    static std::string Controller(int bus, int kind, const std::string& extra = {}) {
        return "{ \"bus\": " + std::to_string(bus) +
               ", \"device\": 0, \"function\": 0, \"kind\": " + std::to_string(kind) +
               ", \"model\": 0, \"flash_id\": \"" + (kind == 0 ? "C2 20 11" : "C2 20 13") +
               "\", \"flash\": \"h" + std::to_string(bus) + ".flash\"" +
               (extra.empty() ? "" : ", " + extra) + " }";
    }
    ToolResult Run(const std::vector<std::string>& args, const std::string& input = {}) {
        tool.Write(kIniFileName, BuildIniText(settings));
        return tool.Run(args,
                        {{"QNLIO_STATION", tool.File("station.json")}, {"QNL_EVENT_STORE", "file"}},
                        input);
    }
    std::string ResultLog() {
        for (const auto& entry : std::filesystem::directory_iterator(tool.Path()))
            if (entry.path().extension() == ".log") return tool.Read(entry.path().filename());
        return {};
    }

    TempToolFolder tool;
    IniSettings settings;
};

TEST_F(MPRunTest, TwoHostsPassAndKeepTheNewFirmware) {
    WriteStation({Controller(3, 0), Controller(4, 0)});
    // What a killed write of the configuration image left behind goes with the next run.
    tool.Write("Config_170707_00_50_01.rom.tmp.Xy12Ab", "half");
    tool.Write("Config_notes.txt", "kept");
    auto r = Run({"/S", "/A"});
    EXPECT_FALSE(tool.Exists("Config_170707_00_50_01.rom.tmp.Xy12Ab"));
    EXPECT_TRUE(tool.Exists("Config_notes.txt"));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Testing Item [1]-->FW Update\r\nTesting Item [2]-->FW Check\r\n"),
              std::string::npos);
    for (int host = 0; host < 2; ++host) {
        EXPECT_NE(r.out.find("Host[" + std::to_string(host) + "],[FW Update ]--> [PASS]!!\r\n"),
                  std::string::npos);
        EXPECT_NE(r.out.find("Host[" + std::to_string(host) + "],[FW Check ]--> [PASS]!!\r\n"),
                  std::string::npos);
    }
    const std::string tail = "ErroCode [0]\r\n";
    EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), tail.size())), tail);

    // The programmed image is the configuration image the run wrote, byte for byte.
    const std::string rom = tool.Read(std::string("Config_") + kNewVersionText + ".rom");
    ASSERT_FALSE(rom.empty());
    for (const char* flash : {"h3.flash", "h4.flash"})
        EXPECT_EQ(tool.Read(flash).substr(0, rom.size()), rom) << flash;

    auto after = Run({"/S", "/D"});
    EXPECT_NE(after.out.find(std::string("Version-->") + kNewVersionText), std::string::npos);

    const std::string log = ResultLog();
    EXPECT_NE(log.find(std::string("\t0\t") + kNewVersionText + "\t3\t0\t0\t"), std::string::npos)
        << log;
    EXPECT_NE(log.find("\tPASS\tFW\\NEW.BIN\r\n"), std::string::npos) << log;
}

TEST_F(MPRunTest, KindAndChipTypeMismatchesFailOnlyTheirHosts) {
    WriteStation({Controller(3, 0), Controller(4, 1),
                  Controller(5, 0, R"("chip_signature": "2F 00 00 00")")});
    auto r = Run({"/S", "/A"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Host[0],[FW Update ]--> [PASS]!!"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Host[1],[FW Update ]--> [FAIL]!!"), std::string::npos);
    EXPECT_NE(r.out.find("Host[2],[FW Update ]--> [FAIL]!!"), std::string::npos);
    const std::string events = tool.Read("log/events.log");
    EXPECT_NE(events.find("Device Type(1) is not equal to Firmware Type(0)"), std::string::npos);
    EXPECT_NE(events.find("Chip Type(FF) is not equal to Firmware Type(0)"), std::string::npos);
    EXPECT_NE(events.find("FW Upgrade Failed!!exit"), std::string::npos);
    // The failing hosts keep their old (blank) firmware.
    EXPECT_EQ(tool.Read("h4.flash").find("7352A_RCFG"), std::string::npos);
    const std::string log = ResultLog();
    EXPECT_NE(log.find("\t3\t0\t0\t7350\t1e73\t \t \t \t \t \t \t \t \tPASS\t"), std::string::npos)
        << log;
    EXPECT_NE(log.find("\t5\t0\t0\t"), std::string::npos);
    EXPECT_NE(log.find("\tFAIL\tFW\\NEW.BIN\r\n"), std::string::npos);
}

TEST_F(MPRunTest, MissingFirmwareFileFailsEveryHost) {
    WriteStation({Controller(3, 0), Controller(4, 0)});
    settings.fw_binary_name = "MISSING.BIN";
    // A check-only run: with the update on, the settings load itself refuses the missing file
    // and the run does not start (RunRecordTest).
    settings.fw_update_enable = 0;
    auto r = Run({"/S", "/A"});
    EXPECT_EQ(r.status, 1);
    // The console line exactly as it is given: a bare line feed, no CR LF after it.
    const std::string line =
        "Open Frimware bin file Failed!![" + tool.File("MISSING.BIN") + "], (-3)\n";
    const auto at = r.out.find(line);
    ASSERT_NE(at, std::string::npos) << r.out;
    EXPECT_NE(r.out.compare(at + line.size(), 2, "\r\n"), 0) << r.out;
    const std::string log = ResultLog();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3);  // header and two hosts
    EXPECT_EQ(log.find("PASS"), std::string::npos);
    EXPECT_NE(tool.Read("log/events.log").find("All Host RunFirmwareUpgrade() Failed!!exit"),
              std::string::npos);
}

TEST_F(MPRunTest, FirmwareFileWithoutAVersionIsReportedOnOneLine) {
    WriteStation({Controller(3, 0)});
    tool.Write("fw/new.bin", std::string(4096, '\x5A'));
    auto r = Run({"/S", "/A"});
    EXPECT_EQ(r.status, 1);
    const auto at = r.out.find("Get_Version_From_File Failed!!(");
    ASSERT_NE(at, std::string::npos) << r.out;
    const auto end = r.out.find(")\n", at);
    ASSERT_NE(end, std::string::npos) << r.out;
    EXPECT_NE(r.out.compare(end + 2, 2, "\r\n"), 0) << "no CR LF after the line's own line feed";
}

TEST_F(MPRunTest, HungHostTimesOutWhileTheOthersPass) {
    // Check only: the hung controller stops answering after discovery's seven commands.
    settings.fw_update_enable = 0;
    std::string flash(128 * 1024, '\xFF');
    const auto image = BuildTestImage(0, kNewVersion, {}, 4096);
    std::copy(image.begin(), image.end(), flash.begin());
    tool.Write("h3.flash", flash);
    tool.Write("h4.flash", flash);
    WriteStation({Controller(3, 0), Controller(4, 0, R"("faults": { "hang_from_command": 8 })")});
    const auto start = std::chrono::steady_clock::now();
    auto r = Run({"/S", "/A"});
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Host[0],[FW Check ]--> [PASS]!!"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Firmware Update Time Out, Fail!!!\r\n"), std::string::npos);
    EXPECT_EQ(r.out.find("Host[1],[FW Check ]"), std::string::npos);
    // 200 s at a time scale of 0.01.
    EXPECT_GT(seconds, 1.9);
    EXPECT_LT(seconds, 30.0);
    const std::string log = ResultLog();
    EXPECT_NE(log.find("\t0\t" + std::string(kNewVersionText)), std::string::npos) << log;
}

// The header is written when the day's file starts, and again before lines whose columns it
// does not describe (the bar-code column switched during the day); old lines stay as they are.
TEST_F(MPRunTest, ResultLogHeaderBeforeEveryChangeOfItsColumns) {
    WriteStation({Controller(3, 0)});
    settings.savelogBarCode_enable = 1;
    auto first = Run({"/S", "/A"}, "12-34-56-78-9A-BC\n");
    EXPECT_EQ(first.status, 0) << first.out;
    const std::string before = ResultLog();
    settings.savelogBarCode_enable = 0;
    for (int run = 0; run < 2; ++run) EXPECT_EQ(Run({"/S", "/A"}).status, 0);
    const std::string log = ResultLog();
    EXPECT_EQ(log.substr(0, before.size()), before);
    const std::string withSn = "Date\tTime\tH#\tFW Version\tPCBA_SN\tBus\t";
    const std::string withoutSn = "Date\tTime\tH#\tFW Version\tBus\t";
    EXPECT_EQ(log.rfind(withSn, 0), 0u) << log;
    EXPECT_NE(log.find(std::string(kNewVersionText) + "\t123456789ABC\t3\t0\t0\t"),
              std::string::npos)
        << log;
    // One header for the two runs without the bar-code field, right after the first run.
    const auto second = log.find(withoutSn);
    EXPECT_EQ(second, before.size()) << log;
    EXPECT_EQ(log.find("Date\t", second + 1), std::string::npos) << log;
    EXPECT_NE(log.find(std::string(kNewVersionText) + "\t3\t0\t0\t", second), std::string::npos);
}

TEST_F(MPRunTest, CancelledSerialNumberIsReportedAndTheRunGoesOn) {
    WriteStation({Controller(3, 0)});
    settings.savelogBarCode_enable = 1;
    auto r = Run({"/S", "/A"});  // no input: the scan is cancelled
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\r\n\r\nScan BarCode Failed!!!!!!\r\n\r\n"), std::string::npos);
}

// A scan the dialog refused (too short on Enter) is reported as a failed scan and never
// reaches the result log: the run's record carries an empty serial number.
TEST_F(MPRunTest, RefusedSerialNumberNeverReachesTheResultLog) {
    WriteStation({Controller(3, 0)});
    settings.savelogBarCode_enable = 1;
    settings.SN_Numbers = 0;  // 12 digits needed
    auto r = Run({"/S", "/A"}, "ABC-12\n");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\r\n\r\nScan BarCode Failed!!!!!!\r\n\r\n"), std::string::npos);
    const std::string log = ResultLog();
    EXPECT_EQ(log.find("ABC12"), std::string::npos) << log;
    EXPECT_NE(log.find(std::string(kNewVersionText) + "\t\t3\t0\t0\t"), std::string::npos) << log;
}

TEST_F(MPRunTest, AutoRunWithoutSettingsDoesNotPass) {
    WriteStation({Controller(3, 0)});
    auto r = tool.Run({"/S", "/A"}, {{"QNLIO_STATION", tool.File("station.json")}});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("the MP run does not start"), std::string::npos) << r.out;
}

// ---- Port tests in the MP run ------------------------------------------------------------------

const std::string kAllPorts =
    R"("ports": { "usb3_port1": { "type": "device", "speed": "superplus" },
                  "usb3_port2": { "type": "device", "speed": "superplus" },
                  "usb2_port1": { "type": "device" }, "usb2_port2": { "type": "device" } })";

class MPRunPortTest : public MPRunTest {
  protected:
    void SetUp() override {
        MPRunTest::SetUp();
        settings.fw_update_enable = 0;
        settings.fw_check_enable = 0;
        settings.test_speed = 7;
        settings.test_port = 3;
        settings.test_timeout = 200;
    }
    // The record line of a host in the result log, from its bus column on.
    static std::string LogFields(const std::string& log, int bus) {
        const std::string key = "\t" + std::to_string(bus) + "\t0\t0\t";
        const auto at = log.find(key);
        if (at == std::string::npos) return {};
        return log.substr(at + 1, log.find("\r\n", at) - at - 1);
    }
};

TEST_F(MPRunPortTest, SignalLineRunOnEveryHostPasses) {
    WriteStation({Controller(3, 0, kAllPorts), Controller(4, 0, kAllPorts)});
    settings.signal_line_test_enable = 1;
    auto r = Run({"/S", "/A"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Testing Item [1]-->Signal Line Test\r\n"), std::string::npos);
    for (int host = 0; host < 2; ++host) {
        EXPECT_NE(r.out.find(Format("Target Device[%d] > Bus:0x0%d Device:0x00 Function:0x00\r\n",
                                    host, 3 + host)),
                  std::string::npos)
            << r.out;
        for (const char* speed : {"USB 2.0", "USB 3.0", "USB 3.1"})
            for (int port = 1; port <= 2; ++port)
                EXPECT_NE(
                    r.out.find(Format("Host[%d],[Signal Line Test(%s, Port %d)]--> [PASS]!!\r\n",
                                      host, speed, port)),
                    std::string::npos);
    }
    EXPECT_NE(r.out.find("ErroCode [0]\r\n"), std::string::npos);
    // SLT, LT, the six port cells, the update text.
    const std::string log = ResultLog();
    for (int bus : {3, 4})
        EXPECT_EQ(LogFields(log, bus),
                  std::to_string(bus) +
                      "\t0\t0\t7350\t1e73\tPASS\t \tPASS\tPASS\tPASS\tPASS\tPASS\tPASS\t \t")
            << log;
}

TEST_F(MPRunPortTest, SignalLineFromTheCommandLineEndsWithTheFirstFailingHostsResult) {
    // /G 12: Port 1 at USB 3.0. Host 1's signal check completes with 0 (-1); host 2 has
    // nothing on Port 1 (-9): the first failing host in table order gives the exit code.
    WriteStation({Controller(3, 0, kAllPorts),
                  Controller(4, 0, R"("ports": { "usb3_port1": { "type": "device",
                                      "faults": { "signal_check_fails": true } } })"),
                  Controller(5, 0)});
    auto r = Run({"/G", "12"});
    EXPECT_EQ(r.status, 255) << r.out;
    EXPECT_NE(r.out.find("ErroCode [-1]\r\n"), std::string::npos) << r.out;
    // Without /S the workers print nothing.
    EXPECT_EQ(r.out.find("Target Device["), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Host[0],["), std::string::npos) << r.out;
    EXPECT_NE(tool.Read("log/events.log").find("FunTestStartFromMain() Failed!!exit"),
              std::string::npos);

    // With /S the test phase ends the process with its error byte: 0xFF | 0xF7.
    r = Run({"/S", "/G", "12"});
    EXPECT_EQ(r.status, 255) << r.out;
    EXPECT_NE(r.out.find("Testing Item [1]-->Signal Line Test\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Host[0],[Signal Line Test(USB 3.0, Port 1)]--> [PASS]!!"),
              std::string::npos);
    EXPECT_NE(r.out.find("Host[1],[ Signal Line Test(USB 3.0, Port 1)  ]--> [FAIL]!!"),
              std::string::npos);
    EXPECT_NE(r.out.find("Host[2],[ Signal Line Test(USB 3.0, Port 1)  ]--> [FAIL]!!"),
              std::string::npos);
    EXPECT_EQ(r.out.find("Signal Line Test(USB 2.0"), std::string::npos);
    EXPECT_NE(r.out.find("ErroCode [255]\r\n"), std::string::npos);
    // The failed run is in the result log: SLT, LT, then USB3 Port1 among the port cells.
    const std::string log = ResultLog();
    EXPECT_EQ(LogFields(log, 3), "3\t0\t0\t7350\t1e73\tPASS\t \t\t\tPASS\t\t\t\t \t") << log;
    EXPECT_EQ(LogFields(log, 4), "4\t0\t0\t7350\t1e73\tFAIL\t \t\t\tFAIL\t\t\t\t \t") << log;
    EXPECT_EQ(LogFields(log, 5), "5\t0\t0\t7350\t1e73\tFAIL\t \t\t\tFAIL\t\t\t\t \t") << log;
}

TEST_F(MPRunPortTest, FixtureFromTheCommandLineWithNothingPluggedIn) {
    WriteStation({Controller(3, 0)});
    auto r = Run({"/S", "/F", "37", "/A"});
    // The last sub-test, USB 3.1 Port 2, fails the SuperSpeedPlus check: -3, whose low byte is
    // the test phase's error byte.
    EXPECT_EQ(r.status, 253) << r.out;
    EXPECT_NE(r.out.find("Testing Item [1]-->Fixture Test\r\n"), std::string::npos) << r.out;
    for (const char* speed : {"USB 2.0", "USB 3.0", "USB 3.1"})
        for (int port = 1; port <= 2; ++port)
            EXPECT_NE(r.out.find(Format("Host[0],[ Fixture Test(%s, Port %d)  ]--> [FAIL]!!\r\n",
                                        speed, port)),
                      std::string::npos);
    EXPECT_NE(r.out.find("ErroCode [253]\r\n"), std::string::npos);
    EXPECT_EQ(LogFields(ResultLog(), 3),
              "3\t0\t0\t7350\t1e73\tFAIL\t \tFAIL\tFAIL\tFAIL\tFAIL\tFAIL\tFAIL\t \t");
}

TEST_F(MPRunPortTest, FixtureAfterTheSignalLineTestSeesTheStationsDevices) {
    // The signal line test leaves every port reset and enabled, as the system's USB driver
    // would; the fixture test then finds the devices in the station's USB view.
    WriteStation({Controller(3, 0, kAllPorts), Controller(4, 0, kAllPorts)});
    settings.signal_line_test_enable = 1;
    auto r = Run({"/S", "/F", "37", "/A"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(
        r.out.find("Testing Item [1]-->Signal Line Test\r\nTesting Item [2]-->Fixture Test\r\n"),
        std::string::npos);
    for (int host = 0; host < 2; ++host)
        for (const char* speed : {"USB 2.0", "USB 3.0", "USB 3.1"})
            EXPECT_NE(r.out.find(Format("Host[%d],[Fixture Test(%s, Port 2)]--> [PASS]!!\r\n", host,
                                        speed)),
                      std::string::npos)
                << r.out;
    const std::string log = ResultLog();
    EXPECT_EQ(LogFields(log, 4),
              "4\t0\t0\t7350\t1e73\tPASS\t \tPASS\tPASS\tPASS\tPASS\tPASS\tPASS\t \t")
        << log;
}

TEST_F(MPRunPortTest, ControllerThatDropsOffTheBusIsGoneNotUnserved) {
    // It leaves the bus during discovery: its registers read all ones from then on. That is a
    // controller that has gone (-1 at the first register wait), not one with another layout.
    WriteStation({Controller(3, 0, kAllPorts + R"(, "faults": { "off_bus_at_command": 6 })")});
    auto r = Run({"/G", "12"});
    EXPECT_EQ(r.status, 255) << r.out;
    EXPECT_NE(r.out.find("ErroCode [-1]\r\n"), std::string::npos) << r.out;
    const std::string events = tool.Read("log/events.log");
    EXPECT_EQ(events.find("CAPLENGTH"), std::string::npos) << events;
    EXPECT_EQ(LogFields(ResultLog(), 3), "3\t0\t0\t7350\t1e73\tFAIL\t \t\t\tFAIL\t\t\t\t \t")
        << ResultLog();
}

TEST_F(MPRunPortTest, ControllerWithAnotherRegisterLayoutIsStillRefused) {
    WriteStation({Controller(3, 0, kAllPorts + R"(, "cap_length": "0x40")")});
    auto r = Run({"/G", "12"});
    EXPECT_EQ(r.status, 246) << r.out;
    EXPECT_NE(r.out.find("ErroCode [-10]\r\n"), std::string::npos) << r.out;
    EXPECT_NE(tool.Read("log/events.log").find("CAPLENGTH 0x40 is not 0x20"), std::string::npos);
}

TEST_F(MPRunPortTest, TwoFailuresOrTheirLowBytesUnderSilentModeAndGiveTheFirstWithout) {
    // /G 14: Port 1 at USB 3.1. Host 0 has a SuperSpeed device there (not SuperSpeedPlus: -3),
    // host 1 nothing (-9).
    WriteStation(
        {Controller(3, 0, R"("ports": { "usb3_port1": { "type": "device", "speed": "super" } })"),
         Controller(4, 0)});
    auto r = Run({"/S", "/G", "14"});
    EXPECT_EQ(r.status, 255) << r.out;  // 0xFD | 0xF7
    EXPECT_NE(r.out.find("ErroCode [255]\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Host[1],[ Signal Line Test(USB 3.1, Port 1)  ]--> [FAIL]!!\r\n"),
              std::string::npos);
    EXPECT_EQ(LogFields(ResultLog(), 3), "3\t0\t0\t7350\t1e73\tFAIL\t \t\t\t\t\tFAIL\t\t \t");

    r = Run({"/G", "14"});
    EXPECT_EQ(r.status, 253) << r.out;  // the first failing host's -3
    EXPECT_NE(r.out.find("ErroCode [-3]\r\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Host[1],["), std::string::npos) << r.out;
}

TEST_F(MPRunPortTest, PortTestRunWithoutAnyControllerIsNoPass) {
    WriteStation({});
    settings.signal_line_test_enable = 1;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"/S", "/A"}, {"/S", "/G", "12"}, {"/F", "12", "/A"}}) {
        auto r = Run(args);
        EXPECT_EQ(r.status, 1) << args[1] << "\n" << r.out;
        EXPECT_NE(r.out.find("ErroCode [1]\r\n"), std::string::npos) << r.out;
    }
    EXPECT_NE(tool.Read("log/events.log").find("No target host, no port test ran"),
              std::string::npos);
}

TEST_F(MPRunPortTest, HungHostEndsAtTheLimitWithFail) {
    // The second controller stops answering after discovery's seven commands: its signal check
    // never completes while its worker holds the test lock.
    WriteStation({Controller(3, 0, kAllPorts),
                  Controller(4, 0, kAllPorts + R"(, "faults": { "hang_from_command": 8 })")});
    settings.signal_line_test_enable = 1;
    settings.test_speed = 1;
    settings.test_port = 1;
    const auto start = std::chrono::steady_clock::now();
    auto r = Run({"/S", "/A"});
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // 200 s at a time scale of 0.01.
    EXPECT_GT(seconds, 1.9);
    EXPECT_LT(seconds, 30.0);
    EXPECT_EQ(r.status, 247) << r.out;
    EXPECT_NE(r.out.find("Function Test  Time Out, Fail!!!\r\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Host[1],["), std::string::npos);
    EXPECT_NE(r.out.find("ErroCode [247]\r\n"), std::string::npos);
    // Its sub-test that never ended is FAIL.
    const std::string log = ResultLog();
    EXPECT_EQ(LogFields(log, 4), "4\t0\t0\t7350\t1e73\tFAIL\t \tFAIL\t\t\t\t\t\t \t") << log;
}

}  // namespace
}  // namespace qnl::test

namespace qnl::test {
namespace {

// ---- What a run may claim ---------------------------------------------------------------------

// A run that would test nothing, or leave out the one test /G asked for, does not start: its
// reason, exit 1 (-10 for /G digits that select nothing), no board touched and no log written.
// (An emptied SVID with Sub_Sys on: DevicePageStartupTest.)
TEST_F(MPRunPortTest, RunsThatCouldOnlyClaimWhatTheyDidNotDoDoNotStart) {
    WriteStation({Controller(3, 0, kAllPorts)});
    const std::string flash(128 * 1024, '\x5A');
    tool.Write("h3.flash", flash);
    const IniSettings base = settings;
    const struct {
        std::function<void(IniSettings&)> set;
        std::vector<std::string> args;
        int status;
        std::string says;
    } cases[] = {
        {[](IniSettings& s) { s.signal_line_test_enable = 1, s.test_port = 0; },
         {"/S", "/A"},
         1,
         "Signal Line Test selects no sub-test (test_speed 7, test_port 0): the MP run does not "
         "start.\r\nErroCode [1]\r\n"},
        {[](IniSettings& s) { s.signal_line_test_enable = 1, s.test_speed = 8; },
         {"/S", "/A"},
         1,
         "(test_speed 8, test_port 3)"},
        {[](IniSettings& s) { s.fixture_test_enable = 1, s.test_port = 4; },
         {"/S", "/A"},
         1,
         "Fixture Test selects no sub-test"},
        {[](IniSettings&) {}, {"/S", "/G", "30"}, 246, "Invalid [Port][Speed] (port 3, speed 0)"},
        {[](IniSettings&) {}, {"/S", "/G", "00"}, 246, "ErroCode [-10]"},
        {[](IniSettings&) {}, {"/S", "/F", "8"}, 246, "(port 8, speed 0)"},
        {[](IniSettings&) {}, {"/S", "/G", "ab"}, 246, "(port 0, speed 0)"},
        {[](IniSettings& s) { s.init_main = 1; },
         {"/S", "/G", "12"},
         1,
         "Signal Line Test left out by the start page (init_main=1): the MP run does not start."},
    };
    for (const auto& c : cases) {
        settings = base;
        c.set(settings);
        const auto r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << c.says << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Target Device["), std::string::npos) << r.out;
    }
    EXPECT_EQ(tool.Read("h3.flash"), flash);
    EXPECT_EQ(ResultLog(), "");
}

// A test-page run: the enabled firmware items it leaves out are named before it and blank in
// the log (never FAIL); a host hung in its tests has FAIL where its sub-test never ended and no
// "doing" anywhere; a host given up on before it got the test lock has " " port fields.
TEST_F(MPRunPortTest, TestPageRunClaimsOnlyWhatItDid) {
    WriteStation({Controller(3, 0, kAllPorts + R"(, "faults": { "hang_from_command": 8 })"),
                  Controller(4, 0, kAllPorts)});
    settings.init_main = 2;
    settings.fw_update_enable = 1;
    settings.fw_check_enable = 1;
    settings.signal_line_test_enable = 1;
    const auto r = Run({"/S", "/A"});
    EXPECT_EQ(r.status, 247) << r.out;
    EXPECT_LT(r.out.find("Testing items left out by the start page (init_main=2): FW Update, "
                         "FW Check\r\n"),
              r.out.find("Testing Item [1]-->Signal Line Test\r\n"))
        << r.out;
    const std::string log = ResultLog();
    EXPECT_EQ(log.find("doing"), std::string::npos) << log;
    EXPECT_EQ(log.find("FW\\NEW.BIN"), std::string::npos) << log;
    EXPECT_EQ(LogFields(log, 3), "3\t0\t0\t7350\t1e73\tFAIL\t \tFAIL\t \t \t \t \t \t \t") << log;
    // The other host passed when it got the test lock first, else it was given up on waiting.
    const std::string other = LogFields(log, 4);
    EXPECT_TRUE(other == "4\t0\t0\t7350\t1e73\tPASS\t \tPASS\tPASS\tPASS\tPASS\tPASS\tPASS\t \t" ||
                other == "4\t0\t0\t7350\t1e73\tFAIL\t \t \t \t \t \t \t \t \t")
        << log;
}

// Text from the settings never splits a log line or reaches the console raw: a TAB in the
// firmware's name is a blank in the log; ESC and CR in a name the console echoes are '?'.
TEST_F(MPRunTest, SettingsTextNeverBreaksALogLineOrTheConsole) {
    WriteStation({Controller(3, 0), Controller(4, 0)});
    tool.Write("fw/a\tb.bin", Bytes(BuildTestImage(0, kNewVersion, {}, 4096)));
    settings.fw_binary_name = "FW\\A\tB.BIN";
    auto r = Run({"/S", "/A"});
    EXPECT_EQ(r.status, 0) << r.out;
    const std::string log = ResultLog();
    std::size_t lines = 0;
    for (std::size_t at = 0, end; (end = log.find("\r\n", at)) != std::string::npos;
         at = end + 2, ++lines)
        EXPECT_EQ(std::count(log.begin() + static_cast<long>(at),
                             log.begin() + static_cast<long>(end), '\t'),
                  18)
            << log.substr(at, end - at);
    EXPECT_EQ(lines, 3u) << log;
    EXPECT_NE(log.find("\tPASS\tFW\\A B.BIN\r\n"), std::string::npos) << log;

    settings.fw_update_enable = 0;  // a check: the missing file is reported, not refused at load
    settings.fw_binary_name = "FW\\NO\x1b[2J\rNE.BIN";
    r = Run({"/S", "/A"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("NO?[2J?NE.BIN], (-3)"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
}

TEST_F(MPRunTest, AnAttachedUsbDeviceHoldsTheRunUntilItIsRemovedOrTheLimit) {
    settings.check_downstream_usb_enable = 1;
    // A device on the first port, pulled out 50 s of station time (0.5 s of wall time) after
    // the start, or left in: the message once, then a silent look every second; the run goes
    // on once it is gone and fails at the run's 200 s limit while it stays.
    struct Case {
        const char* device;
        int status;
        const char* hostLine;
    };
    const Case cases[] = {
        {R"({ "type": "device", "faults": { "unplug_after_ms": 50000 } })", 0,
         "Host[0],[FW Update ]--> [PASS]!!"},
        {R"({ "type": "device" })", 1, nullptr},
    };
    const std::string message = "Found a USB Device Connected , Please Remove it !!\r\n";
    for (const Case& c : cases) {
        WriteStation(
            {Controller(3, 0, std::string(R"("ports": { "usb2_port1": )") + c.device + " }")});
        const auto start = std::chrono::steady_clock::now();
        auto r = Run({"/S", "/A"});
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(r.status, c.status) << r.out;
        const auto first = r.out.find(message);
        ASSERT_NE(first, std::string::npos) << r.out;
        EXPECT_EQ(r.out.find(message, first + 1), std::string::npos) << r.out;
        if (c.hostLine != nullptr) {
            EXPECT_LT(first, r.out.find(c.hostLine)) << r.out;
            continue;
        }
        // Left in: FAIL at the limit (200 s at a time scale of 0.01), nothing programmed.
        EXPECT_GT(seconds, 1.9);
        EXPECT_LT(seconds, 30.0);
        EXPECT_NE(r.out.find("USB Device still Connected, Time Out, Fail!!!\r\n"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(r.out.find("Target Host[0]"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("ErroCode [1]\r\n"), std::string::npos);
        EXPECT_NE(ResultLog().find("\tFAIL\t"), std::string::npos) << ResultLog();
    }
}

}  // namespace
}  // namespace qnl::test
