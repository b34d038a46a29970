// The real executable programs the simulated flash: the flash file then holds the configuration
// image and its second copy, and the next run boots it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "settings/CIni.h"
#include "support/ToolRun.h"

namespace qnl::test {
namespace {

constexpr const char* kVersion = "170707_00_50_01";

class FlashProgrammingE2E : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(tool.File("fw"));
        const std::string maker = std::string(QNL_FWIMAGE_BINARY) + " -o " +
                                  tool.File("fw/Sample.bin") + " --kind 0 --version " + kVersion +
                                  " --entry 2:E260:1D6A --code-size 4096 --pad-to 65536 --ini " +
                                  tool.File(kIniFileName) + " 2>/dev/null";
        const int status = std::system(maker.c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    void Station(const std::string& faults) {
        tool.Write("st.json", R"({ "time_scale": 0.01, "controllers": [ { "bus": 2,
            "flash_id": "C2 20 13", "flash": "host0.flash")" +
                                  (faults.empty() ? "" : ", \"faults\": " + faults) + " } ] }");
    }
    ToolResult Run(const std::vector<std::string>& arguments) {
        return tool.Run(arguments, {{"QNLIO_STATION", tool.File("st.json")}});
    }

    TempToolFolder tool;
};

TEST_F(FlashProgrammingE2E, FlashFileHoldsTheImageTwiceAndTheNextRunBootsIt) {
    Station("");
    const auto r = Run({"/S", "/A"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Host[0],[FW Update ]--> [PASS]!!"), std::string::npos) << r.out;

    const std::string rom = tool.Read("Config_" + std::string(kVersion) + ".rom");
    const std::string flash = tool.Read("host0.flash");
    ASSERT_EQ(rom.size(), 0x10000u);
    ASSERT_EQ(flash.size(), 0x80000u);
    EXPECT_TRUE(flash.compare(0, 0x10000, rom) == 0);
    EXPECT_TRUE(flash.compare(0x10000, 0x10000, rom) == 0);
    EXPECT_EQ(flash.find_first_not_of('\xFF', 0x20000), std::string::npos);

    const auto again = Run({"/S", "/T", kVersion});
    EXPECT_EQ(again.status, 0) << again.out;
    const auto ids = Run({"/S", "/D"});
    EXPECT_NE(ids.out.find("1d6a"), std::string::npos) << ids.out;
}

TEST_F(FlashProgrammingE2E, VerifyThatKeepsFailingFailsTheHost) {
    Station(R"({ "flip_on_read": [ { "address": 256, "mask": 1, "times": 9 } ] })");
    const auto r = Run({"/S", "/A"});
    EXPECT_NE(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Host[0],[FW Update ]--> [FAIL]!!"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("[PASS]"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace qnl::test
