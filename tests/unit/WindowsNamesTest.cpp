// Names from settings values resolved as Windows resolves them, and the way back.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/HexText.h"
#include "platform/WindowsNames.h"
#include "settings/CIni.h"
#include "support/FolderTool.h"

namespace qnl::test {
namespace {

using files::ResolveWindowsName;

TEST(WindowsNames, RelativeNamesStartAtTheToolFolderAndMatchWithoutCase) {
    FolderTool bench;
    const std::string file = bench.Write("Firmware/Line 2/new.bin", std::string("x"));
    for (const char* name : {"Firmware\\Line 2\\new.bin", "FIRMWARE\\LINE 2\\NEW.BIN",
                             "firmware/line 2/New.Bin", ".\\FIRMWARE\\x\\..\\LINE 2\\\\NEW.BIN"}) {
        const auto r = ResolveWindowsName(bench.Folder(), name);
        EXPECT_TRUE(r.found) << name;
        EXPECT_EQ(r.path, file) << name;
        EXPECT_EQ(r.error, "") << name;
    }
}

TEST(WindowsNames, AnExactMatchWinsAndSeveralCaseMatchesAreAnError) {
    FolderTool bench;
    const std::string lower = bench.Write("fw.bin", std::string("a"));
    bench.Write("FW.bin", std::string("b"));
    EXPECT_EQ(ResolveWindowsName(bench.Folder(), "fw.bin").path, lower);

    const auto r = ResolveWindowsName(bench.Folder(), "FW.BIN");
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.error, "\"FW.BIN\" matches several entries in " + bench.Folder() +
                           ": \"FW.bin\" \"fw.bin\"");
}

TEST(WindowsNames, MissingPartsAndDriveLetters) {
    FolderTool bench;
    auto r = ResolveWindowsName(bench.Folder(), "NO\\SUCH.BIN");
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.path, bench.File("NO/SUCH.BIN"));

    r = ResolveWindowsName(bench.Folder(), "C:\\FW\\NEW.BIN");
    EXPECT_FALSE(r.found);
    EXPECT_NE(r.error.find("drive"), std::string::npos);
}

TEST(WindowsNames, ABrowsedPathGoesThroughTheSettingsFileAndComesBackToTheSameFile) {
    FolderTool tool;
    FolderTool elsewhere;  // a folder outside the tool folder, as a browse would choose
    const std::string browsed = elsewhere.Write("Op/fw/new.bin", std::string("x"));
    const std::string stored = files::ToWindowsName(browsed);
    EXPECT_EQ(stored.front(), '\\');
    EXPECT_EQ(stored.find('/'), std::string::npos);

    CIni& ini = tool.ctx().ini;
    ini.fw_update_enable = 1;
    ini.fw_binary_name = stored;
    const std::string path = tool.File("QNL7350AMPTool.ini");
    ASSERT_EQ(ini.bSaveINIFile(path), 1);
    ASSERT_EQ(ini.bLoadINIFile(path), 1) << tool.Console();
    EXPECT_EQ(ini.fw_binary_name, files::ToWindowsName(ToUpperAscii(browsed)));
    EXPECT_EQ(ResolveWindowsName(tool.Folder(), ini.fw_binary_name).path, browsed);
}

}  // namespace
}  // namespace qnl::test
