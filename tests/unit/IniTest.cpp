// The settings file: the writer's exact text, the reader's rules, the checks of a load.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "settings/CIni.h"
#include "support/FolderTool.h"

namespace qnl::test {
namespace {

// The file the writer produces for these settings, byte for byte.
const std::string kWrittenFile =
    "[version]\r\nver=18\r\n[main]\r\ninit_main=2\r\n"
    "[fw]\r\nfw_update_enable=0\r\nfw_binary_name=fw\\New.bin\r\nfw_check_enable=1\r\n"
    "[test]\r\nsignal_line_test_enable=1\r\nfixture_test_enable=0\r\ntest_speed=7\r\n"
    "test_port=3\r\ntest_timeout=-5\r\nloopback_test_enable=1\r\n"
    "[config]\r\nsubsys_enable=1\r\nsvid=1d6a\r\nssid=73aB\r\nPCISPEED_enable=1\r\n"
    "MAX_PCIe_SPEED=2\r\ncheck_downstream_usb_enable=1\r\nCustInfo_enable=1\r\n"
    "CustInfo=Line 7 station\r\nspi_wrsr_ver=160505_00_01_02\r\n"
    "\r\n[LOG]\r\nsavelog_enable=1\r\nsavelogBarCode_enable=1\r\nSN_Numbers=255\r\n";

void FillPersisted(IniSettings& s) {
    s.init_main = 2;
    s.fw_update_enable = 0;
    s.fw_binary_name = "fw\\New.bin";
    s.fw_check_enable = 1;
    s.signal_line_test_enable = 1;
    s.test_speed = 7;
    s.test_port = 3;
    s.test_timeout = -5;
    s.loopback_test_enable = 1;
    s.subsys_enable = 1;
    s.svid = "1d6a";
    s.ssid = "73aB";
    s.PCISPEED_enable = 1;
    s.MAX_PCIe_SPEED = 2;
    s.check_downstream_usb_enable = 1;
    s.CustInfo_enable = 1;
    s.CustInfo = "Line 7 station";
    s.spi_wrsr_ver = "160505_00_01_02";
    s.savelog_enable = 1;
    s.savelogBarCode_enable = 1;
    s.SN_Numbers = 255;
}

class IniTest : public ::testing::Test {
  protected:
    CIni& ini() { return bench.ctx().ini; }
    std::uint8_t Load(const std::string& text) {
        return ini().bLoadINIFile(bench.Write("QNL7350AMPTool.ini", text));
    }
    FolderTool bench;
};

TEST_F(IniTest, WriterProducesTheExactFileAndTheReaderGetsEverythingBack) {
    FillPersisted(ini());
    ini().termination_test_enable = 1;  // not persisted
    ini().serial_number = "SN1";
    const std::string path = bench.File("out.ini");
    ASSERT_EQ(ini().bSaveINIFile(path), 1);
    EXPECT_EQ(bench.Read("out.ini"), kWrittenFile);
    // The file did not exist before the save: it is created without a word.
    EXPECT_EQ(bench.Console().find("File/Path is not exist"), std::string::npos);

    ASSERT_EQ(ini().bLoadINIFile(path), 1);
    EXPECT_EQ(bench.ctx().g_Utility.m_ucIniLoaded, 1);
    IniSettings expected;
    FillPersisted(expected);
    expected.ver = 18;
    expected.fw_binary_name = "FW\\NEW.BIN";
    expected.svid = "1D6A";
    expected.ssid = "73AB";
    expected.CustInfo = "LINE 7 STATION";
    EXPECT_TRUE(ini().Values() == expected);

    // Saving over an existing file replaces it silently.
    const std::string before = bench.Console();
    ASSERT_EQ(ini().bSaveINIFile(path), 1);
    EXPECT_EQ(bench.Console(), before);
}

TEST_F(IniTest, VersionLineVariants) {
    EXPECT_EQ(Load("[VERSION]\r\n  VER = 18 / the format\r\n"), 1);
    EXPECT_EQ(ini().ver, 18);
    EXPECT_EQ(Load("[version]\r\nver=274\r\n"), 1);  // kept as the byte 18
    EXPECT_EQ(ini().ver, 18);

    EXPECT_EQ(Load("[version]\r\nver=0x12\r\nsvid=abcd\r\n"), 0);
    EXPECT_EQ(ini().ver, 0);
    EXPECT_EQ(ini().svid, "ABCD");  // the values read stay loaded
    EXPECT_NE(bench.Console().find("Loaded ini file is not match current MP Tool version(0) "
                                   "Please load property file(000012)\r\n"),
              std::string::npos);
    // A missing version line fails the same check.
    EXPECT_EQ(Load("svid=1\r\n"), 0);
    EXPECT_EQ(bench.ctx().g_Utility.m_ucIniLoaded, 0);
}

TEST_F(IniTest, ValuesAreUpperCasedAndEndAtASlashKeysInAnyCaseAndOrder) {
    ASSERT_EQ(Load("Svid= 1d6a \nfw_BINARY_name=dir/new.bin\n[version]\nver=18\nSVID=2e7b\n"
                   "test_timeout=-12abc\ntest_speed=263\n"),
              1);
    EXPECT_EQ(ini().svid, "2E7B");  // the last of two wins
    EXPECT_EQ(ini().fw_binary_name, "DIR");
    EXPECT_EQ(ini().test_timeout, -12);
    EXPECT_EQ(ini().test_speed, 7);  // 263 kept to its byte
}

TEST_F(IniTest, OnlyTheVersionLinesLoadEverythingElseEmpty) {
    FillPersisted(ini());
    ini().hs_rftime_a = "3";
    ini().serial_number = "X";
    ASSERT_EQ(Load("[version]\r\nver=18\r\n"), 1);
    IniSettings expected;
    expected.ver = 18;
    EXPECT_TRUE(ini().Values() == expected);
}

TEST_F(IniTest, UnknownKeyIsReportedWithItsCountedLineAndTheRestLoads) {
    // Empty lines do not count: the unknown key is the fourth counted line.
    ASSERT_EQ(Load("[version]\r\n\r\nver=18\r\n[main]\r\n\r\nColour=red\r\ninit_main=1\r\n"), 0);
    EXPECT_EQ(bench.Console(),
              "4 Line of Configuration String in INI file is invalid !(Colour)\r\n");
    EXPECT_EQ(ini().init_main, 1);
    EXPECT_EQ(ini().ver, 18);

    // Together with a version mismatch, the second message repeats the first.
    FolderTool other;
    other.ctx().ini.bLoadINIFile(other.Write("a.ini", "x=1\r\nver=17\r\n"));
    const std::string invalid = "1 Line of Configuration String in INI file is invalid !(x)\r\n";
    EXPECT_EQ(other.Console(),
              invalid + invalid +
                  "Loaded ini file is not match current MP Tool version(11) Please load property "
                  "file(000012)\r\n");
}

TEST_F(IniTest, AtMostThirtyCountedLines) {
    std::string text = kWrittenFile;  // 29 counted lines
    ASSERT_EQ(Load(text + "svid=1\r\n"), 1);
    ASSERT_EQ(Load(text + "svid=1\r\nssid=2\r\n"), 0);
    EXPECT_EQ(bench.Console(), "");  // silently
    EXPECT_EQ(ini().ssid, "2");
}

TEST_F(IniTest, MissingFileClearsEverything) {
    FillPersisted(ini());
    const std::string path = bench.File("none.ini");
    EXPECT_EQ(ini().bLoadINIFile(path), 0);
    EXPECT_TRUE(ini().Values() == IniSettings{});
    EXPECT_EQ(bench.Console(), path + " File/Path is not exist\r\n");
    // Something that is there but is no file is named as such (and never opened).
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    EXPECT_EQ(ini().bLoadINIFile(path), 0);
    EXPECT_NE(bench.Console().find(path + " is not a regular file\r\n"), std::string::npos)
        << bench.Console();
}

TEST_F(IniTest, LongTextValuesAreCut) {
    const std::string longName(600, 'a');
    ASSERT_EQ(Load("ver=18\r\nCustInfo=" + longName + "\r\n"), 1);
    EXPECT_EQ(ini().CustInfo, std::string(254, 'A'));
}

TEST_F(IniTest, FirmwareFileMustExistWhenTheUpdateIsOn) {
    const std::string text = "ver=18\r\nfw_update_enable=1\r\nfw_binary_name=Fw\\Image.bin\r\n";
    EXPECT_EQ(Load(text), 0);
    EXPECT_NE(bench.Console().find(bench.File("FW/IMAGE.BIN") + " File/Path is not exist"),
              std::string::npos)
        << bench.Console();

    // The name comes back upper-cased; the file is found whatever its case on disk.
    bench.Write("fw/Image.bin", std::string("x"));
    EXPECT_EQ(Load(text), 1);
}

TEST_F(IniTest, SaveDoesNotReplaceAFileItMayNotWrite) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write any file";
    const std::string path = bench.Write("ro.ini", std::string("keep"));
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    EXPECT_EQ(ini().bSaveINIFile(path), 0);
    EXPECT_EQ(bench.Read("ro.ini"), "keep");
}

TEST(IniText, BlankLinesCountAndEndingsMayBeLoneLineFeeds) {
    IniSettings s;
    const IniParseReport r = ParseIniText("ver=18\n   \nsvid=1\r\n\r\n", s);
    EXPECT_EQ(r.countedLines, 3);
    EXPECT_FALSE(r.allKeysKnown);
    EXPECT_EQ(r.invalidLines, "2 Line of Configuration String in INI file is invalid !()\r\n");
    EXPECT_EQ(s.svid, "1");
}

}  // namespace
}  // namespace qnl::test
