// The mailbox handshake and the data-memory, firmware-information and test spaces.
#include <gtest/gtest.h>

#include "support/SimTestHelpers.h"

namespace qnl::sim {
namespace {

using namespace qnl::mailbox;
using simtest::Address;
using simtest::MakeStation;
using simtest::Post;
using simtest::ReadMemory;
using simtest::TempFolder;
using simtest::WriteXdata;

constexpr Address kHost0{5, 0, 0};  // kind 0
constexpr Address kHost1{6, 0, 0};  // kind 1

class SimMailbox : public ::testing::Test {
  protected:
    void SetUp() override {
        station = MakeStation(folder, R"({ "controllers": [
            { "bus": 5, "default_svid": "1d6a", "pcie_link": "10" },
            { "bus": 6, "kind": 1, "chip_signature": "73 34 32 42" } ] })",
                              clock);
        ASSERT_TRUE(station);
    }
    std::int32_t Wait(Address a) { return station->Wait_Read_Ready(a.bus, a.device, a.function); }

    TempFolder folder;
    ManualClock clock;
    std::unique_ptr<SimStation> station;
};

TEST_F(SimMailbox, EightByteReadComesFromTheSecondReplyRecord) {
    std::array<std::uint8_t, kReplyRecordBytes> reply{};
    ASSERT_EQ(station->WriteCmdALL(5, 0, 0, CMD_MEM_READ, SPACE_XDATA, 8, XDATA_SVID[0], 0, 0), 0);
    ASSERT_EQ(Wait(kHost0), 0);
    station->ReadCMD(5, 0, 0, reply.data());
    EXPECT_EQ(reply[0], CMD_MEM_READ) << "the first record acknowledges";
    EXPECT_EQ(reply[REPLY_DATA_OFFSET], 0) << "and carries no data";
    ASSERT_EQ(Wait(kHost0), 0);
    station->ReadCMD(5, 0, 0, reply.data());
    EXPECT_EQ(reply[REPLY_DATA_OFFSET], 0x6A);
    EXPECT_EQ(reply[REPLY_DATA_OFFSET + 1], 0x1D);
    EXPECT_EQ(reply[REPLY_DATA_OFFSET + 2], 0x50) << "SSID follows SVID";
    EXPECT_EQ(Wait(kHost0), -9) << "nothing left";
    EXPECT_EQ(station->ReadCMD(5, 0, 0, reply.data()), -9);
    EXPECT_EQ(station->PCI_Read_BYTE(5, 0, 0, CFG_MAILBOX_CONTROL), 0) << "8-byte reads leave 0xE0";
}

TEST_F(SimMailbox, ShortReadSitsInConfigBytesUntilAcknowledged) {
    ASSERT_EQ(
        station->WriteCmdALL(5, 0, 0, CMD_MEM_READ, SPACE_XDATA, 4, XDATA_CHIP_SIGNATURE[0], 0, 0),
        0);
    EXPECT_EQ(station->PCI_Read_DWORD(5, 0, 0, CFG_MAILBOX_DATA0), 0x41323431u);
    EXPECT_EQ(station->PCI_Read_BYTE(5, 0, 0, CFG_MAILBOX_CONTROL), 1);
    station->PCI_Write_Byte(5, 0, 0, CFG_MAILBOX_CONTROL, 1);
    EXPECT_EQ(station->PCI_Read_DWORD(5, 0, 0, CFG_MAILBOX_DATA0), 0u);
    EXPECT_EQ(Wait(kHost0), -9) << "the acknowledge drops the unread reply";

    std::uint8_t link = 0;
    ASSERT_EQ(ReadMemory(*station, kHost0, SPACE_XDATA, XDATA_PCIE_LINK, 1, &link), 0);
    EXPECT_EQ(link, 0x10);
    std::array<std::uint8_t, 4> signature{};
    ASSERT_EQ(
        ReadMemory(*station, kHost1, SPACE_XDATA, XDATA_CHIP_SIGNATURE[1], 4, signature.data()), 0);
    EXPECT_EQ(signature[0], 0x73);
}

TEST_F(SimMailbox, ProtocolMistakesAreRefused) {
    std::uint8_t out[8];
    EXPECT_EQ(station->WriteCmdALL(5, 0, 0, CMD_MEM_READ, SPACE_XDATA, 9, 0, 0, 0), -10);
    EXPECT_EQ(station->WriteCmdALL(5, 0, 0, CMD_MEM_READ, SPACE_XDATA, 0, 0, 0, 0), -10);
    EXPECT_EQ(station->WriteCmdALL(5, 0, 0, CMD_MEM_WRITE, SPACE_XDATA, 9, 0, 0, 0), -10);
    EXPECT_EQ(station->WriteCmdALL(5, 0, 0, 0x55, SPACE_XDATA, 1, 0, 0, 0), -1)
        << "unknown command";
    EXPECT_EQ(station->WriteCmdALL(5, 0, 0, CMD_MEM_READ, 0x02, 1, 0, 0, 0), -1) << "unknown space";
    EXPECT_EQ(station->WriteCmdALL(5, 0, 0, CMD_MEM_WRITE, SPACE_FWINFO, 1, 0, 0, 0), -1);
    EXPECT_EQ(station->Wait_Write_Ready(5, 0, 0), -1) << "the refused command is reported";
    EXPECT_EQ(station->Wait_Write_Ready(5, 0, 0), -9) << "nothing posted since";
    EXPECT_EQ(Wait(kHost0), -9);
    // Data memory ends at 0xFFFF for kind 0 and at 0x1FFFF for kind 1.
    EXPECT_EQ(ReadMemory(*station, kHost0, SPACE_XDATA, 0xFFFC, 8, out), -1);
    EXPECT_EQ(ReadMemory(*station, kHost0, SPACE_XDATA, 0xFFF8, 8, out), 0);
    EXPECT_EQ(ReadMemory(*station, kHost0, SPACE_XDATA, 0x10000, 1, out), -1);
    EXPECT_EQ(ReadMemory(*station, kHost1, SPACE_XDATA, 0x1FFF8, 8, out), 0);
    EXPECT_EQ(ReadMemory(*station, kHost1, SPACE_XDATA, 0x1FFFF, 2, out), -1);
    EXPECT_EQ(ReadMemory(*station, kHost0, SPACE_FWINFO, 0xFC, 8, out), -1);
    EXPECT_EQ(WriteXdata(*station, kHost0, 0xFFFF, {1, 2}), -1);
}

TEST_F(SimMailbox, WritesLandLittleEndianInDataMemory) {
    ASSERT_EQ(WriteXdata(*station, kHost1, 0x12340, {1, 2, 3, 4, 5, 6, 7, 8}), 0);
    std::array<std::uint8_t, 8> back{};
    ASSERT_EQ(ReadMemory(*station, kHost1, SPACE_XDATA, 0x12340, 8, back.data()), 0);
    EXPECT_EQ(back, (std::array<std::uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
    ASSERT_EQ(WriteXdata(*station, kHost0, 0x100, {0xAA, 0xBB, 0xCC}), 0);
    EXPECT_EQ(station->Controller(0).XdataByte(0x102), 0xCC);
    EXPECT_EQ(station->Controller(0).XdataByte(0x103), 0x00) << "only `length` bytes written";
    EXPECT_EQ(station->Controller(0).XdataByte(XDATA_F3B4), 0x04) << "bit 2 set after boot";
}

TEST_F(SimMailbox, TestCommandRefusesReadsUntilItsCheckEnds) {
    std::uint8_t status = 0xEE;
    ASSERT_EQ(ReadMemory(*station, kHost0, SPACE_TEST_STATUS, 0, 1, &status), 0);
    EXPECT_EQ(status, 0) << "no check run since boot";
    EXPECT_EQ(Post(*station, kHost0, CMD_TEST, SPACE_XDATA, 1, 0, 0x21), -1)
        << "the parameter names an xHCI port, 1..4";
    ASSERT_EQ(Post(*station, kHost0, CMD_TEST, SPACE_XDATA, 1, 0, 3), 0);
    EXPECT_EQ(ReadMemory(*station, kHost0, SPACE_TEST_STATUS, 0, 1, &status), -1) << "busy";
    clock.AdvanceMs(300);
    ASSERT_EQ(ReadMemory(*station, kHost0, SPACE_TEST_STATUS, 0, 1, &status), 0);
    EXPECT_EQ(status, 0) << "nothing is plugged into port 3";
    EXPECT_EQ(ReadMemory(*station, kHost0, SPACE_TEST_STATUS, 1, 1, &status), -1);
}

TEST_F(SimMailbox, CommandLogRecordsEachCommandWithItsResult) {
    SimController& host = station->Controller(0);
    const std::uint64_t before = host.CommandCount();
    host.ClearCommands();
    ASSERT_EQ(WriteXdata(*station, kHost0, 0x200, {0x12}), 0);
    EXPECT_EQ(station->WriteCmdALL(5, 0, 0, 0x55, 0x04, 1, 0x300, 7, 8), -1);
    EXPECT_EQ(host.CommandCount(), before + 2);
    const auto log = host.Commands();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], (CommandRecord{CMD_MEM_WRITE, SPACE_XDATA, 1, 0x200, 0x12, 0, 0, 0}));
    EXPECT_EQ(log[1].result, -1);
    EXPECT_EQ(log[1].dataHigh, 8u);
}

}  // namespace
}  // namespace qnl::sim
