// Through the executable: five boards, the first of which hangs inside the programming lock
// (after the erase of its first section). At the 200 s limit the run fails with "Firmware
// Update Time Out, Fail!!!" and exit code 1, and no board that was only waiting for the lock
// has had a byte of its flash changed (the station writes its flash files back when the tool
// unloads the driver, so the files are the flash as the run left it).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/CIni.h"
#include "support/TestImage.h"
#include "support/ToolRun.h"

namespace qnl::test {
namespace {

constexpr int kBoards = 5;
constexpr std::size_t kFlashBytes = 128 * 1024;  // the station's MX25L1005 (ID C2 20 11)

std::string FlashName(int board) {
    return "h" + std::to_string(board) + ".flash";
}

TEST(WaitingBoardsE2E, BoardsWaitingForTheLockKeepTheirFlashAfterTheTimeOut) {
    const auto older = BuildTestImage(0, {0x16, 0x01, 0x01, 0x00, 0x40, 0x01}, {}, 2048);
    const auto newer = BuildTestImage(0, {0x17, 0x07, 0x07, 0x00, 0x50, 0x01}, {}, 2048);
    int waited = 0;
    // Which board takes the lock first is up to the threads: two rounds, and at least one board
    // must have waited for the hung one in them.
    for (int round = 0; round < 2; ++round) {
        TempToolFolder tool;
        tool.Write("new.bin", std::string(newer.begin(), newer.end()));
        IniSettings settings;
        settings.fw_update_enable = 1;
        settings.fw_binary_name = "NEW.BIN";
        tool.Write(kIniFileName, BuildIniText(settings));
        // Every board holds the older firmware; the 200 s limit passes in 1 s of real time.
        std::string controllers;
        std::vector<std::string> before;
        for (int board = 0; board < kBoards; ++board) {
            std::string flash(kFlashBytes, '\xFF');
            flash.replace(0, older.size(), std::string(older.begin(), older.end()));
            tool.Write(FlashName(board), flash);
            before.push_back(flash);
            controllers +=
                std::string(board > 0 ? "," : "") + "{ \"bus\": " + std::to_string(board + 3) +
                ", \"device\": 0, \"function\": 0, \"kind\": 0, \"model\": 0, "
                "\"flash_id\": \"C2 20 11\", \"flash\": \"" +
                FlashName(board) + "\"" +
                (board == 0 ? ", \"faults\": { \"hang_from_command\": 200 }" : "") + " }";
        }
        tool.Write("station.json",
                   "{ \"time_scale\": 0.005, \"controllers\": [" + controllers + "] }");

        const auto r = tool.Run({"/S", "/A"}, {{"QNLIO_STATION", tool.File("station.json")},
                                               {"QNL_EVENT_STORE", "file"}});
        ASSERT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("Firmware Update Time Out, Fail!!!"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("ErroCode [1]"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Host[0],[FW Update ]--> [PASS]"), std::string::npos) << r.out;
        // The hung board's first section was erased before it hung: the files do show what the
        // run did to a flash.
        EXPECT_NE(tool.Read(FlashName(0)), before[0]);
        for (int board = 1; board < kBoards; ++board) {
            const std::string passLine =
                "Host[" + std::to_string(board) + "],[FW Update ]--> [PASS]!!";
            const std::string after = tool.Read(FlashName(board));
            if (r.out.find(passLine) != std::string::npos) {
                // Programmed before the hung board took the lock: it holds the new firmware.
                EXPECT_NE(after, before[static_cast<std::size_t>(board)]) << "board " << board;
                continue;
            }
            ++waited;
            EXPECT_TRUE(after == before[static_cast<std::size_t>(board)])
                << "round " << round << ": waiting board " << board << " was touched\n"
                << r.out;
        }
    }
    EXPECT_GE(waited, 1);
}

}  // namespace
}  // namespace qnl::test
