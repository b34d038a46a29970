// Every MP run ends, with its exit code: on every page and item mask, at the time limit, with a
// firmware file far too large to read, and when a controller hangs already at discovery.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>

#include "settings/CIni.h"
#include "support/TestImage.h"
#include "support/ToolRun.h"

namespace qnl::test {
namespace {

const std::array<std::uint8_t, 6> kNewVersion{0x17, 0x07, 0x07, 0x00, 0x50, 0x01};

class RunEndsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        settings.fw_update_enable = 1;
        settings.fw_check_enable = 1;
        settings.fw_binary_name = "NEW.BIN";
        const auto image = BuildTestImage(0, kNewVersion, {}, 4096);
        tool.Write("new.bin", std::string(image.begin(), image.end()));
    }
    // Two controllers; `faults0` goes into the first one's "faults" object.
    void WriteStation(const std::string& faults0 = {}, double timeScale = 0.01) {
        auto controller = [](int bus, const std::string& faults) {
            return "{ \"bus\": " + std::to_string(bus) +
                   ", \"device\": 0, \"function\": 0, \"kind\": 0, \"model\": 0, \"flash_id\": "
                   "\"C2 20 11\", \"flash\": \"h" +
                   std::to_string(bus) + ".flash\"" +
                   (faults.empty() ? "" : ", \"faults\": {" + faults + "}") + " }";
        };
        tool.Write("station.json", "{ \"time_scale\": " + std::to_string(timeScale) +
                                       ", \"controllers\": [" + controller(3, faults0) + "," +
                                       controller(4, {}) + "] }");
    }
    ToolResult Run(const std::vector<std::string>& args) {
        tool.Write(kIniFileName, BuildIniText(settings));
        return tool.Run(
            args, {{"QNLIO_STATION", tool.File("station.json")}, {"QNL_EVENT_STORE", "file"}});
    }
    static bool EndsWith(const std::string& text, const std::string& tail) {
        return text.size() >= tail.size() &&
               text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
    }

    TempToolFolder tool;
    IniSettings settings;
};

TEST_F(RunEndsTest, UpgradePageWithNoFirmwareItemEndsAtOnce) {
    WriteStation();
    settings.init_main = 1;
    settings.fw_update_enable = 0;
    settings.fw_check_enable = 0;
    const auto r = Run({"/S", "/A"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(EndsWith(r.out, "ErroCode [0]\r\n")) << r.out;
    EXPECT_EQ(r.out.find("Testing Item"), std::string::npos);
}

TEST_F(RunEndsTest, UpgradePageRunWithAHungControllerEndsAtTheLimitWithExitCodeOne) {
    // 200 s of the station's time pass in 1 s.
    WriteStation("\"hang_from_command\": 200", 0.005);
    settings.init_main = 1;
    settings.fw_check_enable = 0;
    settings.savelog_enable = 1;
    const auto r = Run({"/S", "/A"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Firmware Update Time Out, Fail!!!"), std::string::npos) << r.out;
    EXPECT_TRUE(EndsWith(r.out, "ErroCode [1]\r\n")) << r.out;
    // The host given up on is FAIL in the record too, never PASS.
    for (const auto& entry : std::filesystem::directory_iterator(tool.Path())) {
        if (entry.path().extension() != ".log") continue;
        const std::string log = tool.Read(entry.path().filename());
        // The header, then host 0's line.
        const auto first = log.find('\n');
        ASSERT_NE(first, std::string::npos) << log;
        const std::string line = log.substr(first + 1, log.find('\n', first + 1) - first - 1);
        EXPECT_NE(line.find("\t0\t"), std::string::npos) << line;
        EXPECT_NE(line.find("FAIL"), std::string::npos) << line;
        EXPECT_EQ(line.find("PASS"), std::string::npos) << line;
    }
    // So is the run record for the factory systems, with the time-out's code.
    std::string records;
    for (const auto& entry : std::filesystem::directory_iterator(tool.File("records")))
        records += tool.Read("records/" + entry.path().filename().string());
    EXPECT_NE(records.find(R"("fw_update":{"state":"fail","text":"Fail","error_code":-9,)"),
              std::string::npos)
        << records;
    EXPECT_NE(records.find(R"("exit_code":1,)"), std::string::npos) << records;
}

TEST_F(RunEndsTest, SignalOverrideOnTheUpgradePageRunsTheFirmwareItemsAndEnds) {
    WriteStation();
    settings.init_main = 1;
    const auto r = Run({"/S", "/G", "12"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Host[1],[FW Check ]--> [PASS]!!"), std::string::npos) << r.out;
    // The test /G asked for is named as left out, before the run; it does not run.
    const auto note =
        r.out.find("Testing items left out by the start page (init_main=1): Signal Line Test\r\n");
    EXPECT_LT(note, r.out.find("Testing Item [1]-->FW Update")) << r.out;
    EXPECT_EQ(r.out.find("Signal Line Test(", note), std::string::npos) << r.out;
    EXPECT_TRUE(EndsWith(r.out, "ErroCode [0]\r\n")) << r.out;
}

TEST_F(RunEndsTest, ThreeGigabyteFirmwareFileIsRefusedWithoutReadingIt) {
    WriteStation();
    {
        // A sparse file: 3 GB long, no blocks on the disk.
        const int fd = ::open(tool.File("new.bin").c_str(), O_WRONLY | O_TRUNC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 3LL * 1024 * 1024 * 1024), 0);
        ::close(fd);
    }
    const auto r = Run({"/S", "/A"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Open Frimware bin file Failed!![" + tool.File("new.bin") + "], (-8)"),
              std::string::npos)
        << r.out;
    // Far below the file's size (the sanitizers' own shadow memory included).
    EXPECT_LT(r.maxRssKb, 100 * 1024) << r.maxRssKb << " KB";
}

TEST_F(RunEndsTest, ControllerHungAtDiscoveryFailsEveryItemWithoutBeingTouched) {
    // The first controller stops answering in the middle of its device-information reads.
    WriteStation("\"hang_from_command\": 5");
    settings.savelog_enable = 1;
    std::string flash(128 * 1024, '\x5A');
    tool.Write("h3.flash", flash);
    const std::string message =
        "Bus:0x03 Device:0x00 Function:0x00 does not answer within 10 s: it is not programmed or "
        "tested\r\n";
    auto r = Run({"/S", "/D"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find(message), std::string::npos) << r.out;
    // It keeps its slot; the other controller is host 1.
    EXPECT_NE(r.out.find("Target Host[0] > Bus:0x03"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Target Host[1] > Bus:0x04"), std::string::npos) << r.out;
    // 10 s of the station's time are 0.1 s here; well inside a generous wall-time bound.
    EXPECT_LT(r.seconds, 60.0);

    // An MP run fails it at once, never touches its flash, and ends with 1.
    r = Run({"/S", "/A"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("Host[1],[FW Update ]--> [PASS]!!"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Host[0],["), std::string::npos) << r.out;
    EXPECT_EQ(tool.Read("h3.flash"), flash);
    std::string log;
    for (const auto& entry : std::filesystem::directory_iterator(tool.Path()))
        if (entry.path().extension() == ".log") log = tool.Read(entry.path().filename());
    EXPECT_NE(log.find("\t0\t \t3\t0\t0\t\t\t \t \t \t \t \t \t \t \tFAIL\tNEW.BIN\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\t4\t0\t0\t7350\t1e73\t \t \t \t \t \t \t \t \tPASS\tNEW.BIN\r\n"),
              std::string::npos)
        << log;
}

}  // namespace
}  // namespace qnl::test
