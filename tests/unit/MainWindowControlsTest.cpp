// "Create New File" and "Firmware Info" over a real tool folder.
#include <gtest/gtest.h>

#include "app/MainWindowControls.h"
#include "controller/ErrorCodes.h"
#include "firmware/FirmwareImageMaker.h"
#include "support/FolderTool.h"

namespace qnl::test {
namespace {

std::vector<std::uint8_t> Image(std::uint8_t kind, std::vector<ConfigEntryBytes> entries = {}) {
    FirmwareImageOptions options;
    options.kind = kind;
    options.version = {0x17, 0x07, 0x07, 0x00, 0x50, 0x01};
    options.entries = std::move(entries);
    return BuildFirmwareImage(options);
}

class MainWindowControlsTest : public ::testing::Test {
  protected:
    ToolContext& ctx() { return bench.ctx(); }
    FolderTool bench;
};

TEST_F(MainWindowControlsTest, CreateNewFileBuildsTheConfigurationImage) {
    bench.Write("Fw/New.bin", Image(0));
    ctx().ini.fw_binary_name = "FW\\NEW.BIN";  // as a settings file gives it back
    ctx().ini.subsys_enable = 1;
    ctx().ini.svid = "ABCD";
    MainWindowControls silent(ctx(), true);
    ASSERT_EQ(silent.OnBnClickedButtonCreateConfigFile(), kOk) << bench.LogText();
    const std::string rom = bench.File("Config_170707_00_50_01.rom");
    EXPECT_EQ(bench.Console(), "Config Rom File " + rom + " Created\r\n");
    const auto out = bench.ReadBytes("Config_170707_00_50_01.rom");
    ASSERT_EQ(out.size(), Image(0).size() + 16);
    EXPECT_EQ(out[52], 0xCD);  // SVID value, low byte first
    EXPECT_EQ(out[53], 0xAB);
}

TEST_F(MainWindowControlsTest, CreateNewFileReportsAMissingOrBadFile) {
    ctx().ini.fw_binary_name = "NOPE.BIN";
    MainWindowControls silent(ctx(), true);
    EXPECT_EQ(silent.OnBnClickedButtonCreateConfigFile(), kErrDataNotMatch);
    EXPECT_EQ(
        bench.Console(),
        "\r\nCQNL735_MPToolDlg::OnBnClickedButtonCreateConfigFile:1286:Open Frimware bin file "
        "Failed!!strFwFullName[NOPE.BIN], (-3)\n\r\n");
    EXPECT_NE(bench.LogText().find("OnBnClickedButtonCreateConfigFile:1285:   Open Frimware bin "
                                   "file Failed!!strFwFullName[NOPE.BIN], (-3)"),
              std::string::npos);

    bench.Write("bad.bin", std::string(300, '\x7F'));
    ctx().ini.fw_binary_name = "BAD.BIN";
    MainWindowControls window(ctx(), false);
    EXPECT_EQ(window.OnBnClickedButtonCreateConfigFile(), kErrDataNotMatch);
    EXPECT_EQ(window.LastMessage(),
              "\r\nCQNL735_MPToolDlg::OnBnClickedButtonCreateConfigFile:1302:Get_Version_From_File "
              "Failed!!(-3)\n");
    EXPECT_FALSE(std::filesystem::exists(bench.File("Config_170707_00_50_01.rom")));

    // Two files that differ only in case: the name is ambiguous, and the log says why.
    bench.Write("twin.bin", Image(0));
    bench.Write("TWIN.bin", Image(0));
    ctx().ini.fw_binary_name = "Twin.BIN";
    EXPECT_EQ(window.OnBnClickedButtonCreateConfigFile(), kErrFileNotFound);
    EXPECT_NE(bench.LogText().find("matches several entries"), std::string::npos);
}

TEST_F(MainWindowControlsTest, FirmwareInfoOfAKindZeroImage) {
    bench.Write("fw.bin",
                Image(0, {MakeConfigEntry(2, 0xE262, 0x1111), MakeConfigEntry(1, 0xE241, 0x08),
                          MakeConfigEntry(2, 0xE260, 0x1D6A),
                          MakeConfigEntry(2, 0xE262, 0x7351)}));  // replaces the first
    ctx().ini.fw_binary_name = "FW.BIN";
    MainWindowControls window(ctx(), false);
    ASSERT_EQ(window.OnBnClickedButtonFWInfo(), kOk);
    EXPECT_EQ(window.LastMessage(),
              "Firmware Name\t:FW.BIN\r\nFirmware Version\t:170707_00_50_01\r\nSSID\t\t:7351\r\n"
              "SVID\t\t:1D6A\r\nPCIe Link Speed set\t: Gen2 \r\n\t\t  Gen3 disabled\r\n");
    EXPECT_EQ(bench.Console(), window.LastMessage());  // console prompts print boxes as they are
}

TEST_F(MainWindowControlsTest, FirmwareInfoOfKindOneAndOfAnImageWithoutEntries) {
    bench.Write("sub/k1.bin",
                Image(1, {MakeConfigEntry(2, 0x0052, 0x7354), MakeConfigEntry(2, 0x0050, 0x1E73),
                          MakeConfigEntry(1, 0xE241, 0x18)}));
    ctx().ini.fw_binary_name = "SUB\\K1.BIN";
    MainWindowControls window(ctx(), false);
    ASSERT_EQ(window.OnBnClickedButtonFWInfo(), kOk);
    EXPECT_EQ(window.LastMessage(),
              "Firmware Name\t:K1.BIN\r\nFirmware Version\t:170707_00_50_01\r\nSSID\t\t:7354\r\n"
              "SVID\t\t:1E73\r\n\r\n");

    bench.Write("plain.bin", Image(0));
    ctx().ini.fw_binary_name = "PLAIN.BIN";
    ASSERT_EQ(window.OnBnClickedButtonFWInfo(), kOk);
    EXPECT_EQ(window.LastMessage(),
              "Firmware Name\t:PLAIN.BIN\r\nFirmware Version\t:170707_00_50_01\r\nSSID\t\t:\r\n"
              "SVID\t\t:\r\n\r\n");
}

}  // namespace
}  // namespace qnl::test
