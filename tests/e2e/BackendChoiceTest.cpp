// The real executable over the dll:<path> backend (the simulated station inside a shared
// library) and over the linux backend (a fake sysfs tree); the list of backends and a name that
// is none.
#include <gtest/gtest.h>

#include "qnlio/ChipIdTable.h"
#include "settings/CIni.h"
#include "support/FakeSysfs.h"
#include "support/TestImage.h"
#include "support/ToolRun.h"

namespace qnl::test {
namespace {

const std::string kBanner =
    "===================QNL7350A MPTool (Ver 1.1.2.1)=========================\r\n";
const std::string kDriverFailure =
    "\r\nCQNL735_MPToolDlg::OnInitDialog:803: InitializeQNLIO Error! !(-7)\n\r\n";

// Writes an all-default settings file into the tool folder; returns the line a silent run
// prints when it loads it.
std::string WriteDefaultSettings(const TempToolFolder& tool) {
    tool.Write(kIniFileName, BuildIniText(IniSettings{}));
    return "Load [" + tool.File(kIniFileName) + "] Setting file...\r\n";
}

class DllBackendTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string flash(128 * 1024, '\xFF');
        const auto image = BuildTestImage(0, {0x16, 0x05, 0x05, 0x00, 0x01, 0x02});
        std::copy(image.begin(), image.end(), flash.begin());
        tool.Write("h0.flash", flash);
        tool.Write("station.json", R"({ "time_scale": 0.001, "controllers": [
            { "bus": 5, "device": 0, "function": 0, "kind": 0, "model": 1,
              "flash_id": "C2 20 11", "flash": "h0.flash",
              "default_svid": "1d6a", "default_ssid": "7351" },
            { "bus": 2, "device": 1, "function": 0, "kind": 1, "model": 0,
              "flash_id": "C2 20 12", "flash": "h1.flash" } ] })");
        loadLine = WriteDefaultSettings(tool);
    }
    ToolResult Run(const std::string& backend, const std::vector<std::string>& args) {
        return tool.Run(args, {{"QNLIO_STATION", tool.File("station.json")},
                               {"QNLIO_BACKEND", backend},
                               {"QNL_EVENT_STORE", "file"}});
    }
    TempToolFolder tool;
    std::string loadLine;
};

TEST_F(DllBackendTest, ShowVersionThroughTheLibraryMatchesTheBuiltInStation) {
    const auto viaLibrary = Run(std::string("dll:") + QNL_DLLSIM_LIBRARY, {"/S", "/D"});
    const auto builtIn = Run("sim", {"/S", "/D"});
    EXPECT_EQ(viaLibrary.status, 0) << viaLibrary.err;
    EXPECT_EQ(viaLibrary.out, builtIn.out);
    EXPECT_EQ(viaLibrary.out, kBanner + loadLine +
                                  "Target Host[0] > Bus:0x05 Device:0x00 Function:0x00\r\n"
                                  "SSID-->7351 / SVID-->1d6a\r\n"
                                  "Version-->160505_00_01_02\r\n\r\n"
                                  "Target Host[1] > Bus:0x02 Device:0x01 Function:0x00\r\n"
                                  "SSID-->7352 / SVID-->1e73\r\n"
                                  "Version-->000000_00_00_00\r\n\r\n"
                                  "ErroCode [0]\r\n");
}

TEST_F(DllBackendTest, AMissingFunctionOrLibraryIsADriverThatFailsToLoad) {
    auto partial = Run(std::string("dll:") + QNL_DLLSIM_PARTIAL_LIBRARY, {"/S", "/D"});
    EXPECT_EQ(partial.status, 1);
    EXPECT_EQ(partial.out, kBanner + loadLine + kDriverFailure);
    EXPECT_NE(partial.err.find("does not export PCI_Read_BYTE"), std::string::npos) << partial.err;

    auto missing = Run("dll:" + tool.File("no-such-library.so"), {"/S", "/D"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, kBanner + loadLine + kDriverFailure);
    EXPECT_NE(missing.err.find("no-such-library.so"), std::string::npos) << missing.err;
    // The reason is kept in the diagnostic log too.
    EXPECT_NE(tool.Read("log/events.log").find("no-such-library.so"), std::string::npos);
}

TEST(LinuxBackend, ShowVersionListsTheControllersOfAFakeTree) {
    FakeSysfs tree;
    tree.AddPci(2, 1, 0, kMakerVendorId, 0x7354, 0xFE200000, 0x10000);
    tree.AddPci(5, 0, 0, kMakerVendorId, 0x7350, 0xFE100000, 0x10000);
    tree.AddPci(0, 2, 0, 0x8086, 0x3E92);
    TempToolFolder tool;
    const std::string loadLine = WriteDefaultSettings(tool);
    auto r = tool.Run({"/S", "/D"}, {{"QNLIO_BACKEND", "linux:sysfs.path=" + tree.PciPath() +
                                                           ",usb.sysfs=" + tree.Root()},
                                     {"QNL_EVENT_STORE", "file"}});
    EXPECT_EQ(r.status, 0) << r.err;
    // Without the maker's mailbox the hosts show only what configuration space gives.
    EXPECT_EQ(r.out, kBanner + loadLine +
                         "Target Host[0] > Bus:0x05 Device:0x00 Function:0x00\r\n"
                         "SSID--> / SVID-->\r\n"
                         "Version--> \r\n\r\n"
                         "Target Host[1] > Bus:0x02 Device:0x01 Function:0x00\r\n"
                         "SSID--> / SVID-->\r\n"
                         "Version--> \r\n\r\n"
                         "ErroCode [0]\r\n");
    EXPECT_NE(tool.Read("log/events.log").find("needs the maker's I/O library"), std::string::npos);

    auto bad = tool.Run({"/S", "/D"}, {{"QNLIO_BACKEND", "linux:colour=blue"}});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("unknown setting \"colour\""), std::string::npos) << bad.err;
}

TEST(BackendChoice, HelpListsTheBackendsAndAnUnknownNameIsADriverFailure) {
    TempToolFolder tool;
    auto help = tool.Run({"/S", "/A"}, {{"QNLIO_BACKEND", "help"}, {"QNL_EVENT_STORE", "file"}});
    EXPECT_EQ(help.status, 0) << help.err;
    EXPECT_EQ(help.err, "");
    for (const char* listed : {"\n  sim ", "\n  linux[:settings] ", "\n  dll:<path> ", " method ",
                               " sysfs.path ", " dump.name ", " mem ", " usb.sysfs ", "\n  help "})
        EXPECT_NE(help.out.find(listed), std::string::npos) << listed << "\n" << help.out;
    // Nothing was started: no station, no diagnostic store, no lock.
    EXPECT_FALSE(tool.Exists("sim_host0.flash"));
    EXPECT_FALSE(tool.Exists("log"));
    EXPECT_FALSE(tool.Exists("QNL7350AMPTool.lock"));

    const std::string loadLine = WriteDefaultSettings(tool);
    auto unknown =
        tool.Run({"/S", "/D"}, {{"QNLIO_BACKEND", "sim:x"}, {"QNL_EVENT_STORE", "file"}});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.out, kBanner + loadLine + kDriverFailure);
    EXPECT_EQ(unknown.err,
              "QNLIO_BACKEND=\"sim:x\" is not a backend (sim, linux[:settings] or dll:<path>)\n");
}

}  // namespace
}  // namespace qnl::test
