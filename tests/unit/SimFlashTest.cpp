// The simulated SPI flash as the tool drives it through the mailbox: identification, status
// register and protection, sector erase, bit-clearing programming, sections and AAI parts.
#include <gtest/gtest.h>

#include "qnlio/FlashPartTable.h"
#include "support/SimTestHelpers.h"

namespace qnl::sim {
namespace {

using namespace qnl::mailbox;
using simtest::Address;
using simtest::MakeStation;
using simtest::Pack;
using simtest::Post;
using simtest::ReadMemory;
using simtest::TempFolder;

constexpr Address kMxic{1, 0, 0};    // C2 20 13: 9F/0, 4 KB sectors, 512 KB
constexpr Address kPflash{2, 0, 0};  // 9D 7B 7F: AB/3
constexpr Address kPm90{3, 0, 0};    // 9D 05 7F: 90/3
constexpr Address kSst{4, 0, 0};     // BF 48 BF: AAI part
constexpr Address kAtmel{5, 0, 0};   // 1F 65 xx: 32 KB sectors

class SimFlashChip : public ::testing::Test {
  protected:
    void SetUp() override {
        station = MakeStation(folder, R"({ "controllers": [
            { "bus": 1, "flash_id": "C2 20 13" }, { "bus": 2, "flash_id": "9D 7B 7F" },
            { "bus": 3, "flash_id": "9D 05 7F" }, { "bus": 4, "flash_id": "BF 48 BF" },
            { "bus": 5, "flash_id": "1F 65 33", "flash_status": "9c" } ] })",
                              clock);
        ASSERT_TRUE(station);
    }
    SimController& Host(Address a) { return station->Controller(a.bus - 1); }
    const FlashChipModel& Chip(Address a) { return Host(a).Config().flashChip; }

    std::int32_t Erase(Address a, std::uint32_t count, std::uint32_t address) {
        const auto [low, high] = simtest::EraseWords(Chip(a));
        return Post(*station, a, CMD_SPI_ERASE, SPACE_SPI, count, address, low, high);
    }
    // Write enable, write status, and the wait the tool gives the status write.
    std::int32_t SetStatus(Address a, std::uint8_t value) {
        std::int32_t r = Post(*station, a, CMD_SPI_OPCODE, SPACE_SPI, 1, 0, SPI_WRITE_ENABLE);
        if (r < 0) return r;
        r = Post(*station, a, CMD_SPI_WRSR, SPACE_SPI, 2, 0, SPI_WRITE_STATUS | value << 8);
        clock.AdvanceMs(200);
        return r;
    }
    std::uint8_t StatusViaMailbox(Address a) {
        std::array<std::uint8_t, kReplyRecordBytes> reply{};
        EXPECT_EQ(station->WriteCmdALL(a.bus, 0, 0, CMD_SPI_READ_REG, SPACE_SPI, 2, 0,
                                       SPI_READ_STATUS, 0),
                  0);
        EXPECT_EQ(station->Wait_Read_Ready(a.bus, 0, 0), 0);
        station->ReadCMD(a.bus, 0, 0, reply.data());
        EXPECT_EQ(station->Wait_Read_Ready(a.bus, 0, 0), 0);
        station->ReadCMD(a.bus, 0, 0, reply.data());
        return reply[REPLY_DATA_OFFSET + 1];
    }
    // A whole section: begin, 8-byte groups, the last group with CMD_END.
    std::int32_t WriteSection(Address a, std::uint32_t address,
                              const std::vector<std::uint8_t>& data, bool aai = false) {
        std::int32_t r = Post(*station, a, aai ? CMD_SECTION_BEGIN_AAI : CMD_SECTION_BEGIN,
                              SPACE_SPI, 0, address, aai ? 0xF0 : 0);
        std::size_t at = 0;
        for (; r == 0 && data.size() - at > 8; at += 8) {
            const auto [low, high] = Pack(&data[at], 8);
            r = Post(*station, a, CMD_SECTION_DATA, SPACE_SPI, 8,
                     address + static_cast<std::uint32_t>(at), low, high);
        }
        if (r != 0) return r;
        const auto [low, high] = Pack(&data[at], data.size() - at);
        return Post(*station, a, CMD_END, SPACE_SPI, static_cast<std::uint32_t>(data.size() - at),
                    address + static_cast<std::uint32_t>(at), low, high);
    }
    std::uint8_t FlashByte(Address a, std::uint32_t address) {
        return Host(a).FlashContents().at(address);
    }

    TempFolder folder;
    ManualClock clock;
    std::unique_ptr<SimStation> station;
};

TEST_F(SimFlashChip, ChipAnswersItsIdOnlyToItsOwnOpcodeAndAddressCount) {
    for (Address a : {kMxic, kPflash, kPm90, kAtmel}) {
        const FlashChipModel& chip = Chip(a);
        for (std::uint8_t opcode : {0x9F, 0x15, 0xAB, 0x90}) {
            for (std::uint32_t addressBytes : {0u, 3u}) {
                std::array<std::uint8_t, 3> id{};
                ASSERT_EQ(ReadMemory(*station, a, SPACE_SPI_ID, addressBytes, 3, id.data(), opcode),
                          0);
                const bool own = opcode == chip.idOpcode && addressBytes == chip.idAddressBytes;
                const std::array<std::uint8_t, 3> silent{0xFF, 0xFF, 0xFF};
                const auto expected = own ? Host(a).Config().flashId : silent;
                EXPECT_EQ(id, expected)
                    << chip.name << " opcode " << int{opcode} << "/" << addressBytes;
            }
        }
    }
}

TEST_F(SimFlashChip, StatusWriteNeedsWriteEnableAndOnlyProtectionBitsStick) {
    EXPECT_EQ(StatusViaMailbox(kMxic), 0x00);
    ASSERT_EQ(Post(*station, kMxic, CMD_SPI_WRSR, SPACE_SPI, 2, 0, SPI_WRITE_STATUS | 0x9C << 8),
              0);
    EXPECT_EQ(StatusViaMailbox(kMxic), 0x00) << "ignored without the latch";
    ASSERT_EQ(Post(*station, kMxic, CMD_SPI_OPCODE, SPACE_SPI, 1, 0, SPI_WRITE_ENABLE), 0);
    EXPECT_EQ(StatusViaMailbox(kMxic), 0x02) << "write-enable latch";
    ASSERT_EQ(Post(*station, kMxic, CMD_SPI_WRSR, SPACE_SPI, 2, 0, SPI_WRITE_STATUS | 0x9F << 8),
              0);
    EXPECT_EQ(StatusViaMailbox(kMxic), 0x9D) << "busy while the status is written";
    clock.AdvanceMs(10);
    EXPECT_EQ(StatusViaMailbox(kMxic), 0x9C) << "bits 0..1 are read-only; the latch clears";
    EXPECT_TRUE(Host(kMxic).FlashProtected());
    ASSERT_EQ(SetStatus(kMxic, 0x03), 0);
    EXPECT_EQ(Host(kMxic).FlashStatusRegister(), 0x00);
    EXPECT_FALSE(Host(kMxic).FlashProtected());
    // Power-on status from the station file, as far as the chip has those bits (two BP bits).
    EXPECT_EQ(StatusViaMailbox(kAtmel), 0x8C);
}

TEST_F(SimFlashChip, EraseIsRefusedWhileProtectedAndClearsWholeSectorsOtherwise) {
    std::vector<std::uint8_t> zeros(512 * 1024, 0x00);
    Host(kMxic).SetFlashContents(zeros);
    ASSERT_EQ(SetStatus(kMxic, 0x9F), 0);
    EXPECT_EQ(Erase(kMxic, 1, 0x1000), -1);
    EXPECT_EQ(FlashByte(kMxic, 0x1000), 0x00);
    ASSERT_EQ(SetStatus(kMxic, 0x03), 0);

    ASSERT_EQ(Erase(kMxic, 2, 0x1800), 0) << "starts at the sector holding the address";
    EXPECT_EQ(FlashByte(kMxic, 0x0FFF), 0x00);
    EXPECT_EQ(FlashByte(kMxic, 0x1000), 0xFF);
    EXPECT_EQ(FlashByte(kMxic, 0x2FFF), 0xFF);
    EXPECT_EQ(FlashByte(kMxic, 0x3000), 0x00);
    ASSERT_EQ(Erase(kMxic, 0, 0x4000), 0);
    EXPECT_EQ(FlashByte(kMxic, 0x4000), 0x00) << "count 0 erases nothing";
    ASSERT_EQ(Erase(kMxic, 100, 0x7E000), 0);
    EXPECT_EQ(FlashByte(kMxic, 0x7FFFF), 0xFF) << "stops at the end of the chip";
    EXPECT_EQ(Erase(kMxic, 1, 0x80000), -1);

    // A sector-erase opcode the chip does not know erases nothing.
    ASSERT_EQ(Post(*station, kMxic, CMD_SPI_ERASE, SPACE_SPI, 1, 0x5000, 1u << 24, 0xD8 << 8), 0);
    EXPECT_EQ(FlashByte(kMxic, 0x5000), 0x00);

    // 32 KB sectors on the ATMEL part (protected at power-on).
    Host(kAtmel).SetFlashContents(std::vector<std::uint8_t>(64 * 1024, 0x00));
    ASSERT_EQ(SetStatus(kAtmel, 0x03), 0);
    ASSERT_EQ(Erase(kAtmel, 1, 0x9000), 0);
    EXPECT_EQ(FlashByte(kAtmel, 0x7FFF), 0x00);
    EXPECT_EQ(FlashByte(kAtmel, 0x8000), 0xFF);
    EXPECT_EQ(FlashByte(kAtmel, 0xFFFF), 0xFF);
}

TEST_F(SimFlashChip, EraseKeepsTheChipBusyAndDeafForItsSectorTimes) {
    ASSERT_EQ(Chip(kMxic).sectorEraseMs, 40u);
    Host(kMxic).SetFlashContents(std::vector<std::uint8_t>(0x4000, 0x00));
    ASSERT_EQ(Erase(kMxic, 2, 0), 0);
    EXPECT_EQ(StatusViaMailbox(kMxic), 0x01) << "WIP while erasing";

    // Only the status read is answered: ID and data reads see the idle bus, a program and a
    // write enable are ignored.
    std::array<std::uint8_t, 3> id{};
    ASSERT_EQ(ReadMemory(*station, kMxic, SPACE_SPI_ID, 0, 3, id.data(), 0x9F), 0);
    EXPECT_EQ(id, (std::array<std::uint8_t, 3>{0xFF, 0xFF, 0xFF}));
    std::array<std::uint8_t, 4> data{};
    ASSERT_EQ(ReadMemory(*station, kMxic, SPACE_SPI, 0x3000, 4, data.data()), 0);
    EXPECT_EQ(data[0], 0xFF) << "a busy chip does not drive the bus";
    EXPECT_EQ(FlashByte(kMxic, 0x3000), 0x00);
    ASSERT_EQ(WriteSection(kMxic, 0x100, std::vector<std::uint8_t>(16, 0x00)), 0);
    EXPECT_EQ(FlashByte(kMxic, 0x100), 0xFF) << "program ignored while busy";
    ASSERT_EQ(Post(*station, kMxic, CMD_SPI_OPCODE, SPACE_SPI, 1, 0, SPI_WRITE_ENABLE), 0);

    clock.AdvanceMs(79);
    EXPECT_EQ(StatusViaMailbox(kMxic), 0x01) << "two sectors take 80 ms";
    clock.AdvanceMs(1);
    EXPECT_EQ(StatusViaMailbox(kMxic), 0x00) << "done, and the ignored write enable left no latch";
    ASSERT_EQ(WriteSection(kMxic, 0x100, std::vector<std::uint8_t>(16, 0x00)), 0);
    EXPECT_EQ(FlashByte(kMxic, 0x100), 0x00);
    EXPECT_EQ(StatusViaMailbox(kMxic), 0x00) << "a program group ends within its command";

    // An erase sent while one runs waits for it: the chip is busy for both.
    ASSERT_EQ(Erase(kMxic, 1, 0x1000), 0);
    ASSERT_EQ(Erase(kMxic, 1, 0x2000), 0);
    clock.AdvanceMs(79);
    EXPECT_EQ(StatusViaMailbox(kMxic), 0x01);
    clock.AdvanceMs(1);
    EXPECT_EQ(StatusViaMailbox(kMxic), 0x00);
}

TEST_F(SimFlashChip, StatusWriteKeepsTheChipBusyForItsTime) {
    ASSERT_EQ(Post(*station, kMxic, CMD_SPI_OPCODE, SPACE_SPI, 1, 0, SPI_WRITE_ENABLE), 0);
    ASSERT_EQ(Post(*station, kMxic, CMD_SPI_WRSR, SPACE_SPI, 2, 0, SPI_WRITE_STATUS | 0x9C << 8),
              0);
    // A write enable and a second status write right after it are lost.
    ASSERT_EQ(Post(*station, kMxic, CMD_SPI_OPCODE, SPACE_SPI, 1, 0, SPI_WRITE_ENABLE), 0);
    ASSERT_EQ(Post(*station, kMxic, CMD_SPI_WRSR, SPACE_SPI, 2, 0, SPI_WRITE_STATUS | 0x00 << 8),
              0);
    clock.AdvanceMs(Chip(kMxic).statusWriteMs);
    EXPECT_EQ(StatusViaMailbox(kMxic), 0x9C);
    EXPECT_TRUE(Host(kMxic).FlashProtected());
}

TEST_F(SimFlashChip, ProgrammingOnlyClearsBits) {
    std::vector<std::uint8_t> data(20);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(0xF0 + i);
    ASSERT_EQ(WriteSection(kMxic, 0x100, data), 0);
    std::array<std::uint8_t, 8> back{};
    ASSERT_EQ(ReadMemory(*station, kMxic, SPACE_SPI, 0x110, 4, back.data()), 0);
    EXPECT_EQ(back[3], 0x03);
    EXPECT_EQ(FlashByte(kMxic, 0x114), 0xFF) << "the END group wrote only its real bytes";

    ASSERT_EQ(WriteSection(kMxic, 0x100, std::vector<std::uint8_t>(20, 0x0F)), 0);
    EXPECT_EQ(FlashByte(kMxic, 0x100), 0x00) << "0xF0 AND 0x0F without an erase";
    EXPECT_EQ(FlashByte(kMxic, 0x10F), 0x0F);
    EXPECT_TRUE(Host(kMxic).FlashDirty());
}

TEST_F(SimFlashChip, SectionCommandsNeedAnOpenSectionAnUnprotectedChipAndRoom) {
    const auto [low, high] = Pack(std::array<std::uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}.data(), 8);
    EXPECT_EQ(Post(*station, kMxic, CMD_SECTION_DATA, SPACE_SPI, 8, 0, low, high), -1);
    EXPECT_EQ(Post(*station, kMxic, CMD_END, SPACE_SPI, 1, 0, low, high), -1);
    ASSERT_EQ(Post(*station, kMxic, CMD_SECTION_BEGIN, SPACE_SPI, 0, 0), 0);
    EXPECT_EQ(Post(*station, kMxic, CMD_SECTION_DATA, SPACE_SPI, 7, 0, low, high), -10);
    EXPECT_EQ(Post(*station, kMxic, CMD_SECTION_DATA, SPACE_SPI, 8, 0x7FFFC, low, high), -1);
    ASSERT_EQ(Post(*station, kMxic, CMD_END, SPACE_SPI, 2, 0, low, high), 0);
    EXPECT_EQ(Post(*station, kMxic, CMD_SECTION_DATA, SPACE_SPI, 8, 8, low, high), -1)
        << "END closed the section";
    EXPECT_EQ(Post(*station, kMxic, CMD_SECTION_BEGIN, SPACE_SPI, 0, 0x80000), -1);
    ASSERT_EQ(SetStatus(kMxic, 0x9F), 0);
    EXPECT_EQ(Post(*station, kMxic, CMD_SECTION_BEGIN, SPACE_SPI, 0, 0), -1);
    EXPECT_EQ(FlashByte(kMxic, 0), 0x01);
    EXPECT_EQ(FlashByte(kMxic, 2), 0xFF);
}

TEST_F(SimFlashChip, AaiPartsNeedTheAaiBeginAndProgramAtTheirRunningAddress) {
    EXPECT_EQ(Post(*station, kSst, CMD_SECTION_BEGIN, SPACE_SPI, 0, 0), -1);
    EXPECT_EQ(Post(*station, kMxic, CMD_SECTION_BEGIN_AAI, SPACE_SPI, 0, 0, 0xF0), -1);
    std::vector<std::uint8_t> data(17);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
    ASSERT_EQ(WriteSection(kSst, 0x2000, data, true), 0);
    EXPECT_EQ(FlashByte(kSst, 0x2000), 0);
    EXPECT_EQ(FlashByte(kSst, 0x2010), 16);

    // The address field does not reach an AAI chip: data follows the running address.
    ASSERT_EQ(Post(*station, kSst, CMD_SECTION_BEGIN_AAI, SPACE_SPI, 0, 0x3000, 0xF0), 0);
    const auto [low, high] = Pack(data.data(), 8);
    ASSERT_EQ(Post(*station, kSst, CMD_SECTION_DATA, SPACE_SPI, 8, 0x5000, low, high), 0);
    ASSERT_EQ(Post(*station, kSst, CMD_END, SPACE_SPI, 1, 0x5008, low, high), 0);
    EXPECT_EQ(FlashByte(kSst, 0x3007), 7);
    EXPECT_EQ(FlashByte(kSst, 0x3008), 0);
    EXPECT_EQ(FlashByte(kSst, 0x5000), 0xFF);
}

TEST_F(SimFlashChip, FlashChangesReachTheFileOnlyAtWriteBack) {
    const std::string file = Host(kMxic).Config().flashPath;
    ASSERT_EQ(WriteSection(kMxic, 0, std::vector<std::uint8_t>(16, 0x00)), 0);
    EXPECT_EQ(simtest::ReadFileBytes(file).at(0), 0xFF);
    station->UnloadQnlIODriver();
    EXPECT_EQ(simtest::ReadFileBytes(file).at(0), 0x00);
    EXPECT_FALSE(Host(kMxic).FlashDirty());
}

}  // namespace
}  // namespace qnl::sim
