// The real executable with a settings file in its tool folder, and the image maker that writes
// the demo's firmware and settings.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "controller/ErrorCodes.h"
#include "image/ImageCheck.h"
#include "settings/CIni.h"
#include "support/FolderTool.h"
#include "support/ToolRun.h"

namespace qnl::test {
namespace {

int RunMaker(const std::string& arguments) {
    const int status =
        std::system((std::string(QNL_FWIMAGE_BINARY) + " " + arguments + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SettingsFile, MakerImageAndSettingsLoadAtStartUp) {
    TempToolFolder tool;
    std::filesystem::create_directories(tool.File("fw"));
    ASSERT_EQ(RunMaker("-o " + tool.File("fw/Sample.bin") +
                       " --kind 1 --version 180102_70_00_07 --entry 2:0050:1D6A"
                       " --customer 'LINE 7' --code-size 4096 --pad-to 65536 --ini " +
                       tool.File(kIniFileName)),
              0);
    // The settings name the image as a Windows station would.
    EXPECT_NE(tool.Read(kIniFileName).find("fw_binary_name=fw\\Sample.bin\r\n"), std::string::npos);

    // The image is valid, of the kind and version asked for.
    FolderTool bench;
    const std::string image = tool.Read("fw/Sample.bin");
    ASSERT_EQ(image.size(), 65536u);
    const FirmwareLoad load =
        LoadFirmwareFile("Sample.bin", tool.File("fw/Sample.bin"), bench.ctx().eventLog);
    ASSERT_EQ(load.rc, kOk);
    EXPECT_EQ(load.file.version, "180102_70_00_07");
    EXPECT_EQ(load.file.facts.kind, 1);
    EXPECT_EQ(load.file.facts.variant, 1);

    // Start-up loads the settings (the update is on, so the upper-cased name must resolve).
    auto r = tool.Run({"/S", "/D"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Load [" + tool.File(kIniFileName) + "] Setting file...\r\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("File/Path is not exist"), std::string::npos) << r.out;

    // Bad requests write nothing.
    EXPECT_EQ(RunMaker("-o " + tool.File("x.bin") + " --version 1234"), 2);
    EXPECT_EQ(RunMaker("-o " + tool.File("x.bin") + " --version 170707_00_50_01 --entry 3:1:1"), 2);
    EXPECT_EQ(RunMaker("-o " + tool.File("x.bin") + " --version 170707_00_50_01 --code-size 100"),
              2);
    EXPECT_FALSE(tool.Exists("x.bin"));
}

TEST(SettingsFile, SilentRunOnAnotherPageEndsWhenTheFirmwareIsMissing) {
    TempToolFolder tool;
    tool.Write(kIniFileName,
               "[version]\r\nver=18\r\n[main]\r\ninit_main=2\r\n[fw]\r\nfw_update_enable=1\r\n"
               "fw_binary_name=GONE.BIN\r\n");
    auto r = tool.Run({"/S", "/D"});
    EXPECT_EQ(r.status, 255);
    EXPECT_NE(r.out.find(tool.File("GONE.BIN") +
                         " File/Path is not exist\r\n"
                         "Load [" +
                         tool.File(kIniFileName) +
                         "] Setting file failed!!...\r\n"
                         "ErroCode [-1]\r\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("Target Host"), std::string::npos);  // it ended before discovery
}

}  // namespace
}  // namespace qnl::test
