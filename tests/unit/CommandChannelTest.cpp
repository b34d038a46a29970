// The command channel's exchanges, checked call by call against a scripted I/O library.
#include <gtest/gtest.h>

#include "controller/ErrorCodes.h"
#include "support/ScriptedIo.h"
#include "support/ToolFixture.h"

namespace qnl::test {
namespace {

class CommandChannelTest : public ::testing::Test {
protected:
    CommandChannelTest() : tool(io) {
        host.ucBus = 5;
        host.ucKind = 0;
    }
    CInterctl& chip() { return tool.context->interctl; }

    ScriptedIo io;
    ToolUnderTest tool;
    TargetHost host;
};

TEST_F(CommandChannelTest, ReadOfNineBytesIsRefusedWithoutAnyAccess) {
    std::uint8_t out[9] = {};
    EXPECT_EQ(chip().ReadMemory(host, 0x04, 0x100, 9, out), kErrInvalidParameter);
    EXPECT_TRUE(io.calls.empty());
}

TEST_F(CommandChannelTest, ShortReadTakesConfigBytesThenAcknowledges) {
    for (std::uint32_t i = 0; i < 8; ++i) io.configBytes[0xF0 + i] = static_cast<std::uint8_t>(0xA0 + i);
    std::uint8_t out[7] = {};
    ASSERT_EQ(chip().ReadMemory(host, 0x04, 0xF38C, 7, out), kOk);
    const std::vector<std::string> expected = {
        "WriteCmdALL 40 4 7 f38c 0 0", "Wait_Read_Ready", "ReadCMD", "Wait_Read_Ready",
        "PCI_Read_BYTE f0", "PCI_Read_BYTE f1", "PCI_Read_BYTE f2", "PCI_Read_BYTE f3",
        "PCI_Read_BYTE f4", "PCI_Read_BYTE f5", "PCI_Read_BYTE f6", "PCI_Write_Byte e0 1"};
    EXPECT_EQ(io.calls, expected);
    EXPECT_EQ(out[0], 0xA0);
    EXPECT_EQ(out[6], 0xA6);
}

TEST_F(CommandChannelTest, EightByteReadUsesSecondReplyAndLeavesConfigAlone) {
    io.replies.push_back(ReplyWithData({9, 9, 9, 9, 9, 9, 9, 9}));
    io.replies.push_back(ReplyWithData({1, 2, 3, 4, 5, 6, 7, 8}));
    std::uint8_t out[8] = {};
    ASSERT_EQ(chip().ReadMemory(host, 0x04, 0xE260, 8, out), kOk);
    const std::vector<std::string> expected = {"WriteCmdALL 40 4 8 e260 0 0", "Wait_Read_Ready",
                                               "ReadCMD", "Wait_Read_Ready", "ReadCMD"};
    EXPECT_EQ(io.calls, expected);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[7], 8);
}

TEST_F(CommandChannelTest, SpiIdReadCarriesOpcodeAndAddressByteCount) {
    std::uint8_t out[3] = {};
    ASSERT_EQ(chip().ReadMemory(host, 0x20, 3, 3, out, 0x90), kOk);
    EXPECT_EQ(io.calls.front(), "WriteCmdALL 40 20 3 3 90 0");
}

TEST_F(CommandChannelTest, ReadErrorsOfPostAndBothWaitsPassUpUnchanged) {
    std::uint8_t out[8] = {};
    io.writeCmdResults = {-9};
    EXPECT_EQ(chip().ReadMemory(host, 0x04, 0, 4, out), -9);
    io.waitReadResults = {-1};
    EXPECT_EQ(chip().ReadMemory(host, 0x04, 0, 4, out), -1);
    io.waitReadResults = {0, -7};
    EXPECT_EQ(chip().ReadMemory(host, 0x04, 0, 4, out), -7);
}

TEST_F(CommandChannelTest, WritesSplitIntoCommandsOfAtMostEightBytes) {
    std::uint8_t data[16];
    for (int i = 0; i < 16; ++i) data[i] = static_cast<std::uint8_t>(i + 1);

    ASSERT_EQ(chip().WriteMemory(host, 0x1000, 8, data), kOk);
    EXPECT_EQ(io.CountCalls("WriteCmdALL"), 1);
    EXPECT_EQ(io.calls[0], "WriteCmdALL 23 4 8 1000 4030201 8070605");

    io.calls.clear();
    ASSERT_EQ(chip().WriteMemory(host, 0x1000, 9, data), kOk);
    ASSERT_EQ(io.CountCalls("WriteCmdALL"), 2);
    EXPECT_EQ(io.calls[0], "WriteCmdALL 23 4 8 1000 4030201 8070605");
    EXPECT_EQ(io.calls[2], "WriteCmdALL 23 4 1 1008 9 0");

    io.calls.clear();
    ASSERT_EQ(chip().WriteMemory(host, 0x1000, 16, data), kOk);
    ASSERT_EQ(io.CountCalls("WriteCmdALL"), 2);
    EXPECT_EQ(io.calls[2], "WriteCmdALL 23 4 8 1008 c0b0a09 100f0e0d");
}

TEST_F(CommandChannelTest, WriteStopsAtFirstError) {
    std::uint8_t data[24] = {};
    io.writeCmdResults = {0, -1};
    EXPECT_EQ(chip().WriteMemory(host, 0, 24, data), -1);
    EXPECT_EQ(io.CountCalls("WriteCmdALL"), 2);
}

TEST_F(CommandChannelTest, Read8051MemoryChunksAndLogsTheFailedPiece) {
    std::uint8_t out[20] = {};
    io.writeCmdResults = {0, 0, -1};
    EXPECT_EQ(chip().Read_8051_Memory(host, 0x04, 0x100, 20, out), -1);
    ASSERT_EQ(io.CountCalls("WriteCmdALL"), 3);
    EXPECT_EQ(io.calls[0], "WriteCmdALL 40 4 8 100 0 0");
    EXPECT_NE(tool.LogText().find("CInterctl::Read_8051_Memory:402: Read_Memory Fail!!, "
                                  "dwReadSize[4] , dwDoneSize + addr[110]"),
              std::string::npos);
}

TEST_F(CommandChannelTest, SpiStatusIsByteOneOfTheSecondReply) {
    io.replies.push_back(ReplyWithData({0xEE, 0xEE}));
    io.replies.push_back(ReplyWithData({0x05, 0x9C}));
    std::array<std::uint8_t, 8> status{};
    ASSERT_EQ(chip().ReadSpiStatus(host, status), kOk);
    EXPECT_EQ(status[1], 0x9C);
    EXPECT_EQ(io.calls.front(), "WriteCmdALL 4c 10 2 0 5 0");
}

TEST_F(CommandChannelTest, EndFlashAccessClearsMailboxOnlyWhenAsked) {
    ASSERT_EQ(chip().EndFlashAccess(host, true), kOk);
    const std::vector<std::string> cleared = {
        "PCI_Write_Byte e0 0",         "PCI_Write_DWORD f0 0",      "PCI_Write_DWORD f4 0",
        "PCI_Write_DWORD f8 0",        "PCI_Write_DWORD fc 0",      "WriteCmdALL 23 4 1 f340 2 0",
        "Wait_Write_Ready",            "WriteCmdALL 23 4 1 f342 1 0", "Wait_Write_Ready"};
    EXPECT_EQ(io.calls, cleared);
    EXPECT_EQ(tool.clock.Sleeps(), std::vector<std::uint32_t>{500});

    io.calls.clear();
    tool.clock.ClearSleeps();
    host.ucKind = 1;
    ASSERT_EQ(chip().EndFlashAccess(host, false), kOk);
    const std::vector<std::string> kept = {"WriteCmdALL 23 4 1 15040 2 0", "Wait_Write_Ready",
                                           "WriteCmdALL 23 4 1 15042 1 0", "Wait_Write_Ready"};
    EXPECT_EQ(io.calls, kept);
}

TEST_F(CommandChannelTest, EndFlashAccessFailureSkipsTheWait) {
    io.writeCmdResults = {0, -1};
    EXPECT_EQ(chip().EndFlashAccess(host, false), -1);
    EXPECT_TRUE(tool.clock.Sleeps().empty());
}

TEST_F(CommandChannelTest, ClearF3B4ClearsOnlyBitTwo) {
    io.configBytes[0xF0] = 0xFF;
    ASSERT_EQ(chip().ClearXdataF3B4Bit2(host), kOk);
    EXPECT_EQ(io.calls.back(), "Wait_Write_Ready");
    EXPECT_EQ(io.calls[io.calls.size() - 2], "WriteCmdALL 23 4 1 f3b4 fb 0");
}

TEST_F(CommandChannelTest, TestCommandCompletion) {
    // Completed at the first poll.
    io.configBytes[0xF0] = 1;
    EXPECT_EQ(chip().RunTestCommand(host, 0x21), kOk);
    EXPECT_EQ(io.calls.front(), "WriteCmdALL 80 4 1 0 21 0");
    EXPECT_EQ(tool.clock.Sleeps(), std::vector<std::uint32_t>{500});

    // A completion byte of 0 fails.
    io.configBytes[0xF0] = 0;
    EXPECT_EQ(chip().RunTestCommand(host, 0x21), kErrIo);

    // Six failed polls fail after six waits; a success on the sixth passes.
    tool.clock.ClearSleeps();
    io.configBytes[0xF0] = 1;
    io.writeCmdResults = {0, -1, -1, -1, -1, -1, -1};
    EXPECT_EQ(chip().RunTestCommand(host, 1), kErrIo);
    EXPECT_EQ(tool.clock.Sleeps().size(), 6u);
    io.writeCmdResults = {0, -1, -1, -1, -1, -1, 0};
    EXPECT_EQ(chip().RunTestCommand(host, 1), kOk);
}

}  // namespace
}  // namespace qnl::test
