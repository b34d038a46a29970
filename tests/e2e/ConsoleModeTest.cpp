// The console paths of the real executable against station files in a temporary tool folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/CommandLine.h"
#include "settings/CIni.h"
#include "support/TestImage.h"
#include "support/ToolRun.h"

namespace qnl::test {
namespace {

const std::string kBanner =
    "===================QNL7350A MPTool (Ver 1.1.2.1)=========================\r\n";

// A flash file of `capacity` bytes holding `image` at address 0.
std::string FlashWith(const std::vector<std::uint8_t>& image, std::size_t capacity) {
    std::string flash(capacity, '\xFF');
    std::copy(image.begin(), image.end(), flash.begin());
    return flash;
}

class ConsoleModeTest : public ::testing::Test {
  protected:
    // Every station has a settings file (the writer's own, every option off), so start-up
    // loads it quietly; silent runs print its load line.
    void SetUp() override { tool.Write(kIniFileName, BuildIniText(IniSettings{})); }
    std::string LoadLine() const {
        return "Load [" + tool.File(kIniFileName) + "] Setting file...\r\n";
    }

    // Two controllers: a kind-0 one at bus 5 device 0 and a kind-1 one at bus 2 device 1,
    // both function 0, with firmware 160505_00_01_02 and 170707_00_50_01 in their flash.
    void WriteTwoHostStation(const std::string& extra = {}) {
        tool.Write("h0.flash",
                   FlashWith(BuildTestImage(0, {0x16, 0x05, 0x05, 0x00, 0x01, 0x02}), 128 * 1024));
        tool.Write("h1.flash",
                   FlashWith(BuildTestImage(1, {0x17, 0x07, 0x07, 0x00, 0x50, 0x01}), 256 * 1024));
        tool.Write("station.json", R"({ "time_scale": 0.001,)" + extra + R"(
          "controllers": [
            { "bus": 2, "device": 1, "function": 0, "kind": 1, "model": 1,
              "flash_id": "C2 20 12", "flash": "h1.flash",
              "default_svid": "1e73", "default_ssid": "7354" },
            { "bus": 5, "device": 0, "function": 0, "kind": 0, "model": 1,
              "chip_signature": "31 34 32 41", "flash_id": "C2 20 11", "flash": "h0.flash",
              "default_svid": "1d6a", "default_ssid": "7351", "pcie_link": "18" } ],
          "other_devices": [ { "bus": 0, "device": 2, "function": 0,
                               "vendor": "8086", "device_id": "3e92" } ] })");
    }
    void WriteOneHostStation() {
        tool.Write("h0.flash",
                   FlashWith(BuildTestImage(0, {0x16, 0x05, 0x05, 0x00, 0x01, 0x0A}), 128 * 1024));
        tool.Write("station.json", R"({ "time_scale": 0.001, "controllers": [
            { "bus": 5, "device": 0, "function": 0, "kind": 0, "model": 1,
              "flash_id": "C2 20 11", "flash": "h0.flash",
              "default_svid": "1d6a", "default_ssid": "7351" } ] })");
    }
    ToolResult Run(const std::vector<std::string>& args, const std::string& workdir = {}) {
        return tool.Run(args, {{"QNLIO_STATION", tool.File("station.json")}}, {}, workdir);
    }

    TempToolFolder tool;
};

TEST_F(ConsoleModeTest, UsageGoesToStandardOutputAndExitsZero) {
    WriteTwoHostStation();
    auto r = Run({"/S", "/?"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, UsageText());
}

TEST_F(ConsoleModeTest, ShowVersionListsHostsInScanOrder) {
    WriteTwoHostStation();
    auto r = Run({"/S", "/D"});
    EXPECT_EQ(r.status, 0);
    // Device is compared before bus: bus 5 device 0 comes before bus 2 device 1.
    EXPECT_EQ(r.out, kBanner + LoadLine() +
                         "Target Host[0] > Bus:0x05 Device:0x00 Function:0x00\r\n"
                         "SSID-->7351 / SVID-->1d6a\r\n"
                         "Version-->160505_00_01_02\r\n\r\n"
                         "Target Host[1] > Bus:0x02 Device:0x01 Function:0x00\r\n"
                         "SSID-->7354 / SVID-->1e73\r\n"
                         "Version-->170707_00_50_01\r\n\r\n"
                         "ErroCode [0]\r\n");
}

TEST_F(ConsoleModeTest, ShowVersionWithoutHostsStillExitsZero) {
    tool.Write("station.json", R"({ "time_scale": 0.001, "controllers": [] })");
    auto r = Run({"/D"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kBanner + "Device Not Found !!\nErroCode [0]\r\n");
}

TEST_F(ConsoleModeTest, CompareVersionPassesFailsAndNeedsHosts) {
    // The first host differs: exit -2 (status 254) after its lines.
    WriteTwoHostStation();
    auto r = Run({"/t", "170707_00_50_01"});
    EXPECT_EQ(r.status, 254);
    EXPECT_EQ(r.out, kBanner +
                         "Input Version is 170707_00_50_01 \r\n"
                         "Target Host[0] > Bus:0x05 Device:0x00 Function:0x00\r\n"
                         "Version-->160505_00_01_02\r\n\r\n"
                         "FAIL!!\r\n\r\n\r\nErroCode [-2]\r\n");

    // /T takes the whole remaining text, so a /P before it becomes part of the version.
    r = Run({"/P", "2:1:0", "/T", "170707_00_50_01"});
    EXPECT_EQ(r.status, 254);
    EXPECT_NE(r.out.find("Input Version is /P 2:1:0  170707_00_50_01 \r\n"), std::string::npos)
        << r.out;

    // Every host at the version, compared without regard to case.
    WriteOneHostStation();
    r = Run({"/T", "160505_00_01_0a"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Version-->160505_00_01_0A\r\n\r\nPASS!!\r\n\r\n\r\nErroCode [0]\r\n"),
              std::string::npos)
        << r.out;

    tool.Write("station.json", R"({ "time_scale": 0.001, "controllers": [] })");
    r = Run({"/T", "1.0"});
    EXPECT_EQ(r.status, 252);
    EXPECT_NE(r.out.find("DeviceNot Found!!\r\n\r\n\r\nErroCode [-4]\r\n"), std::string::npos);
}

TEST_F(ConsoleModeTest, CompareIdsUsesSsidSlashSvid) {
    WriteTwoHostStation();
    auto r = Run({"/I", "7351/1d6a"});
    EXPECT_EQ(r.status, 246);  // the second host differs: -10
    EXPECT_NE(r.out.find("SSID-->7354 / SVID-->1e73\r\nFAIL!!"), std::string::npos) << r.out;

    WriteOneHostStation();
    r = Run({"/I", "7351/1D6A"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Input SSID/SVID is 7351/1D6A \r\n"), std::string::npos);
    EXPECT_NE(r.out.find("PASS!!\r\n\r\n\r\nErroCode [0]\r\n"), std::string::npos);
}

TEST_F(ConsoleModeTest, VersionFileGoesToTheCurrentFolder) {
    WriteTwoHostStation();
    const std::string elsewhere = tool.File("work");
    std::filesystem::create_directory(elsewhere);
    auto r = Run({"/O"}, elsewhere);
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(tool.Exists("QNL735xVersion.txt"));
    EXPECT_EQ(tool.Read("work/QNL735xVersion.txt"),
              "0:160505_00_01_02\tSVID: 1d6a\tSSID: 7351\r\n"
              "1:170707_00_50_01\tSVID: 1e73\tSSID: 7354\r\n");

    tool.Write("station.json", R"({ "time_scale": 0.001, "controllers": [] })");
    std::filesystem::remove(tool.File("work/QNL735xVersion.txt"));
    r = Run({"/O"}, elsewhere);
    EXPECT_EQ(r.status, 252);
    EXPECT_FALSE(tool.Exists("work/QNL735xVersion.txt"));
}

TEST_F(ConsoleModeTest, AssignedAddressWithoutController) {
    WriteTwoHostStation();
    auto r = Run({"/P", "7:0:0", "/D"});
    EXPECT_EQ(r.status, 252);
    EXPECT_EQ(r.out, kBanner +
                         "Input [Bus:Dev:Fun]=[7:0:0] \r\n"
                         "Assigned location can't find QNL device!!\r\nErroCode [-4]\r\n");
    r = Run({"/P"});
    EXPECT_EQ(r.status, 246);
    EXPECT_NE(r.out.find("Please Input PCI Address Parameter Bus:Device:Function!!! "),
              std::string::npos);
}

TEST_F(ConsoleModeTest, AddressPartLongerThanItsBufferIsRefusedNotCut) {
    tool.Write("station.json", R"({ "time_scale": 0.001, "controllers": [
        { "bus": 0, "flash_id": "C2 20 11", "flash": "b0.flash" },
        { "bus": 4, "flash_id": "C2 20 11", "flash": "b4.flash" } ] })");
    // Cut to seven characters this would read as bus 0, a controller that is there.
    auto r = Run({"/P", "00000004:0:0", "/D"});
    EXPECT_EQ(r.status, 246) << r.out;
    // Refused while the command line is read, before the console's banner.
    EXPECT_EQ(r.out,
              "Please Input PCI Address Parameter Bus:Device:Function!!! \r\nErroCode [-10]\r\n");
    r = Run({"/P", "0000004:0:0", "/D"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Input [Bus:Dev:Fun]=[4:0:0] \r\n"
                         "Target Host[0] > Bus:0x04 Device:0x00 Function:0x00\r\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("Target Host[1]"), std::string::npos);
}

TEST_F(ConsoleModeTest, MissingValueEndsWithMinusOne) {
    WriteTwoHostStation();
    auto r = Run({"/S", "/T"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "Please Input Version!!\r\nErroCode [-1]\r\n");
}

// Without a display, a command line that asks for nothing the console does ends with the usage
// and the code of an invalid parameter, never with 0; an empty one says why no window opens.
TEST_F(ConsoleModeTest, CommandLineThatAsksForNothingEndsWithTheUsage) {
    WriteTwoHostStation();
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"hello"}, {"-S", "-A"}, {"/X"}, {"/SA"}, {"/P", "5:0:0"}}) {
        auto r = Run(args);
        EXPECT_EQ(r.status, 246) << args[0] << "\n" << r.out;
        EXPECT_EQ(r.out.rfind(kBanner, 0), 0u) << r.out;
        EXPECT_NE(r.out.find(UsageText() + "ErroCode [-10]\r\n"), std::string::npos) << r.out;
    }
    auto r = Run({});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("The operator window cannot open: no display"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("qnlmptool /S /A"), std::string::npos) << r.err;
}

TEST_F(ConsoleModeTest, DriverLoadFailureExitsOneWithoutExitCodeLine) {
    WriteTwoHostStation(R"( "driver_load_fails": true,)");
    auto r = Run({"/S", "/D"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              kBanner + LoadLine() +
                  "\r\nCQNL735_MPToolDlg::OnInitDialog:803: InitializeQNLIO Error! !(-7)\n\r\n");
}

TEST_F(ConsoleModeTest, BadStationFilesFailCleanlyAndWriteNothing) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"{ not json", "station.json"},
        {R"({ "controllers": [ { "bus": 1, "device": 0, "function": 0, "kind": 0, "model": 0,
              "flash_id": "12 34 56", "flash": "x.flash" } ] })",
         "12 34 56"},
        {R"({ "controllers": [
              { "bus": 1, "device": 0, "function": 0, "kind": 0, "model": 0, "flash_id": "C2 20 11", "flash": "x.flash" },
              { "bus": 1, "device": 0, "function": 0, "kind": 1, "model": 0, "flash_id": "C2 20 11", "flash": "y.flash" } ] })",
         "station.json"},
    };
    for (const auto& [content, mentioned] : cases) {
        tool.Write("station.json", content);
        auto r = Run({"/S", "/D"});
        EXPECT_EQ(r.status, 1) << content;
        EXPECT_NE(r.err.find(mentioned), std::string::npos) << r.err;
        EXPECT_NE(r.out.find("InitializeQNLIO Error!"), std::string::npos);
        EXPECT_FALSE(tool.Exists("x.flash"));
        EXPECT_FALSE(tool.Exists("y.flash"));
    }
}

TEST_F(ConsoleModeTest, ExecutableCopiedAloneUsesItsFolderForTheBuiltInStation) {
    auto r = tool.Run({"/S", "/D"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Target Host[1]"), std::string::npos) << r.out;
    EXPECT_TRUE(tool.Exists("sim_host0.flash"));
    EXPECT_TRUE(tool.Exists("sim_host1.flash"));
}

}  // namespace
}  // namespace qnl::test
