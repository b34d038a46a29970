// The flash programming stages one by one against the simulated chip: identification,
// protection, the erase (plain and split), section writes and the verify.
#include <gtest/gtest.h>

#include "controller/ErrorCodes.h"
#include "support/FlashBench.h"
#include "support/ScriptedIo.h"
#include "support/ToolFixture.h"

namespace qnl::test {
namespace {

using namespace qnl::mailbox;
using Sleeps = std::vector<std::uint32_t>;

// ---- Identification ---------------------------------------------------------------------------

struct IdCase {
    const char* flashId;
    std::size_t row;  // 1-based, as the table lists it
    std::uint8_t spiMode;
};

class IdentifyFlashTest : public ::testing::TestWithParam<IdCase> {};

TEST_P(IdentifyFlashTest, FindsTheFirstMatchingRowAndUnprotects) {
    const IdCase c = GetParam();
    FlashBench f(c.flashId, 0, R"("flash_status": "9c")");
    ASSERT_TRUE(f.sim().FlashProtected());

    const FlashPart part = f.chip().IdentifyFlash(f.host());

    ASSERT_FALSE(part.IsNone());
    EXPECT_EQ(part.bytes, FlashPartRow(c.row - 1).bytes);
    EXPECT_EQ(f.sim().SpiMode(), c.spiMode);
    EXPECT_FALSE(f.sim().FlashProtected());
    // The search stopped at the matching row: one ID read per row up to it.
    EXPECT_EQ(f.CommandsOf(CMD_MEM_READ).size(), c.row);
    EXPECT_EQ(f.clock().Sleeps(), (Sleeps{200, 200}));
}

INSTANTIATE_TEST_SUITE_P(
    Parts, IdentifyFlashTest,
    ::testing::Values(IdCase{"C2 20 13", 6, 0x80},    // 9F, no address bytes
                      IdCase{"9D 7B 7F", 42, 0x80},   // answers only AB with 3 address bytes
                      IdCase{"9D 05 7F", 44, 0x80},   // answers only 90 with 3 address bytes
                      IdCase{"9D 40 11", 49, 0x80},   // 9F with 3 address bytes
                      IdCase{"1F 65 33", 40, 0x80},   // answers only 15; wildcard third byte
                      IdCase{"1F 66 00", 41, 0x80},   // wildcard row, another third byte
                      IdCase{"BF 48 BF", 54, 0x80},   // AAI part, 90 with address bytes
                      IdCase{"C2 22 10", 3, 0x20},    // rows 3/4 switch the SPI mode;
                      IdCase{"C2 22 11", 4, 0x20},    // rows 7/8 repeat their ID bytes
                      IdCase{"20 20 14", 56, 0x80}),  // after the 20 20 10/11 rows
    [](const auto& param) { return "Row" + std::to_string(param.param.row); });

TEST(IdentifyFlash, FailedIdReadGivesNoPartAtOnce) {
    FlashBench f("C2 20 13", 0, R"("flash_status": "9c")");
    f.sim().FailNthCommand(3);  // the second ID read
    EXPECT_TRUE(f.chip().IdentifyFlash(f.host()).IsNone());
    EXPECT_EQ(f.sim().Commands().size(), 3u);
    EXPECT_TRUE(f.sim().FlashProtected());
}

TEST(IdentifyFlash, FailedModeCommandGivesNoPart) {
    FlashBench f("C2 20 13");
    f.sim().FailNthCommand(1);
    EXPECT_TRUE(f.chip().IdentifyFlash(f.host()).IsNone());
    EXPECT_EQ(f.sim().Commands().size(), 1u);
}

TEST(IdentifyFlash, FailedModeSwitchReturnsThePartStillProtected) {
    FlashBench f("C2 22 10", 0, R"("flash_status": "9c")");
    f.sim().FailCommandAt(CMD_SPI_MODE, 0);  // both mode commands fail; the first one ends it
    EXPECT_TRUE(f.chip().IdentifyFlash(f.host()).IsNone());
    f.sim().ClearFaults();
    f.sim().FailNthCommand(5);  // mode 0x80, three ID reads, then the 0x20 switch
    const FlashPart part = f.chip().IdentifyFlash(f.host());
    EXPECT_EQ(part.bytes, FlashPartRow(2).bytes);
    EXPECT_TRUE(f.sim().FlashProtected());
}

TEST(IdentifyFlash, ChipThatAnswersNothingKnownGivesNoPartAndNoStatusWrite) {
    ScriptedIo io;  // every short read answers zero bytes
    ToolUnderTest tool(io);
    TargetHost host;
    EXPECT_TRUE(tool.context->interctl.IdentifyFlash(host).IsNone());
    EXPECT_EQ(io.CountCalls("WriteCmdALL 40 20 3"), 59);
    EXPECT_EQ(io.CountCalls("WriteCmdALL 1c"), 0);
}

// ---- Protection -------------------------------------------------------------------------------

TEST(SetFlashProtect, ProtectSendsEnableStatusDisableWithWaits) {
    FlashBench f("C2 20 13");
    ASSERT_EQ(f.chip().SetFlashProtect(f.host(), true), kOk);
    const auto cmds = f.sim().Commands();
    ASSERT_EQ(cmds.size(), 3u);
    EXPECT_EQ(cmds[0].command, CMD_SPI_OPCODE);
    EXPECT_EQ(cmds[0].dataLow, 0x06u);
    EXPECT_EQ(cmds[1].command, CMD_SPI_WRSR);
    EXPECT_EQ(cmds[1].dataLow, 0x9F01u);
    EXPECT_EQ(cmds[2].command, CMD_SPI_OPCODE);
    EXPECT_EQ(cmds[2].dataLow, 0x04u);
    EXPECT_EQ(f.clock().Sleeps(), (Sleeps{200, 200, 200}));
    EXPECT_TRUE(f.sim().FlashProtected());
    EXPECT_EQ(f.sim().FlashStatusRegister(), 0x9C);

    ASSERT_EQ(f.chip().SetFlashProtect(f.host(), false), kOk);
    EXPECT_FALSE(f.sim().FlashProtected());
    EXPECT_EQ(f.sim().Commands().size(), 5u);
}

TEST(SetFlashProtect, FailedWriteEnableStopsBeforeTheStatusWrite) {
    FlashBench f("C2 20 13");
    f.sim().FailNthCommand(1);
    EXPECT_EQ(f.chip().SetFlashProtect(f.host(), true), kErrIo);
    EXPECT_EQ(f.sim().Commands().size(), 1u);
    EXPECT_TRUE(f.clock().Sleeps().empty());
    EXPECT_FALSE(f.sim().FlashProtected());
}

// ---- Erase ------------------------------------------------------------------------------------

TEST(EraseSpiRom, PlainPartsEraseASectionInOneCommandWithPackedRowFields) {
    FlashBench f("C2 20 13");  // 4 KB sectors, erase opcode 20, factor 22
    const FlashPart part = FlashPartRow(5);
    f.sim().SetFlashContents(std::vector<std::uint8_t>(0x12000, 0x00));

    ASSERT_EQ(f.chip().Erase_SPIRom(f.host(), part, 0x10001, 0x1000, 2), kOk);

    const auto erases = f.CommandsOf(CMD_SPI_ERASE);
    ASSERT_EQ(erases.size(), 1u);
    EXPECT_EQ(erases[0].length, 17u);  // 0x10001 bytes round up to 17 sectors
    EXPECT_EQ(erases[0].address, 0x1000u);
    EXPECT_EQ(erases[0].dataLow, 0x0160009Fu);   // 9F 00 60 01
    EXPECT_EQ(erases[0].dataHigh, 0xC2162080u);  // 80 20 16 C2
    EXPECT_EQ(f.clock().Sleeps(), (Sleeps{500}));
    EXPECT_EQ(f.Flash(0x0FFF, 1)[0], 0x00);
    EXPECT_EQ(f.Flash(0x1000, 17 * 4096), std::vector<std::uint8_t>(17 * 4096, 0xFF));
}

TEST(EraseSpiRom, SplitEraseHalvesTheSectionAndWaitsLongerEachAttempt) {
    FlashBench f("C8 40 13");  // factor 150
    const FlashPart part = FlashPartRow(24);
    for (std::uint32_t attempt = 0; attempt < 3; ++attempt) {
        f.Forget();
        ASSERT_EQ(f.chip().Erase_SPIRom(f.host(), part, 0x10000, 0x10000, attempt), kOk);
        const auto erases = f.CommandsOf(CMD_SPI_ERASE);
        ASSERT_EQ(erases.size(), 2u);
        EXPECT_EQ(erases[0].length, 8u);
        EXPECT_EQ(erases[0].address, 0x10000u);
        EXPECT_EQ(erases[1].length, 8u);
        EXPECT_EQ(erases[1].address, 0x18000u);
        const std::uint32_t wait = 750 * (attempt + 1);
        EXPECT_EQ(f.clock().Sleeps(), (Sleeps{wait, wait, 500}));
    }
}

TEST(EraseSpiRom, SplitEraseOfOneSectorErasesItAndEnds) {
    FlashBench f("C8 40 13");
    f.sim().SetFlashContents(std::vector<std::uint8_t>(0x3000, 0x00));
    ASSERT_EQ(f.chip().Erase_SPIRom(f.host(), FlashPartRow(24), 100, 0x1000, 0), kOk);
    const auto erases = f.CommandsOf(CMD_SPI_ERASE);
    ASSERT_EQ(erases.size(), 1u);
    EXPECT_EQ(erases[0].length, 1u);
    EXPECT_EQ(f.Flash(0x0FFF, 1)[0], 0x00);
    EXPECT_EQ(f.Flash(0x1000, 0x1000), std::vector<std::uint8_t>(0x1000, 0xFF));
    EXPECT_EQ(f.Flash(0x2000, 1)[0], 0x00);
}

TEST(EraseSpiRom, SplitEraseOfAnOddCountErasesExactlyThoseSectors) {
    FlashBench f("20 20 11");  // 32 KB sectors, 128 KB
    f.sim().SetFlashContents(std::vector<std::uint8_t>(0x20000, 0x00));
    // 3 sectors: steps of 1.
    ASSERT_EQ(f.chip().Erase_SPIRom(f.host(), FlashPartRow(30), 3 * 0x8000, 0, 0), kOk);
    EXPECT_EQ(f.CommandsOf(CMD_SPI_ERASE).size(), 3u);
    EXPECT_EQ(f.Flash(0, 0x18000), std::vector<std::uint8_t>(0x18000, 0xFF));
    EXPECT_EQ(f.Flash(0x18000, 1)[0], 0x00);  // the fourth sector is kept
}

TEST(EraseSpiRom, SplitEraseErrorStillWaitsAndReturnsIt) {
    FlashBench f("C8 40 13");
    f.sim().FailNthCommand(2);
    EXPECT_EQ(f.chip().Erase_SPIRom(f.host(), FlashPartRow(24), 0x10000, 0, 1), kErrIo);
    EXPECT_EQ(f.CommandsOf(CMD_SPI_ERASE).size(), 2u);
    EXPECT_EQ(f.clock().Sleeps(), (Sleeps{1500, 500}));
}

TEST(EraseSpiRom, PlainEraseErrorIsLoggedAndReturnedWithoutTheWait) {
    FlashBench f("C2 20 13");
    f.sim().FailNthCommand(1);
    EXPECT_EQ(f.chip().Erase_SPIRom(f.host(), FlashPartRow(5), 0x10000, 0, 0), kErrIo);
    EXPECT_TRUE(f.clock().Sleeps().empty());
    EXPECT_NE(f.LogText().find("CInterctl::Erase_SPIRom:1224: Erease SPI Sector Failed , "
                               "sector_count = 16\n"),
              std::string::npos);
}

TEST(EraseSpiRom, ProtectedChipRefusesTheErase) {
    FlashBench f("C2 20 13", 0, R"("flash_status": "9c")");
    f.sim().SetFlashContents({1, 2, 3});
    EXPECT_EQ(f.chip().Erase_SPIRom(f.host(), FlashPartRow(5), 4096, 0, 0), kErrIo);
    EXPECT_EQ(f.Flash(0, 3), (std::vector<std::uint8_t>{1, 2, 3}));
}

// ---- Write --------------------------------------------------------------------------------------

TEST(WriteSection, GroupsOfEightThenTheLastBytesWithEnd) {
    FlashBench f("C2 20 13");
    const auto data = PatternImage(21);
    ASSERT_EQ(f.chip().Write_Section(f.host(), FlashPartRow(5), data.data(), 0x2000, 21), kOk);
    const auto cmds = f.sim().Commands();
    ASSERT_EQ(cmds.size(), 4u);
    EXPECT_EQ(cmds[0].command, CMD_SECTION_BEGIN);
    EXPECT_EQ(cmds[0].address, 0x2000u);
    EXPECT_EQ(cmds[1].command, CMD_SECTION_DATA);
    EXPECT_EQ(cmds[1].address, 0x2000u);
    EXPECT_EQ(cmds[1].dataLow,
              data[0] | data[1] << 8 | data[2] << 16 | std::uint32_t{data[3]} << 24);
    EXPECT_EQ(cmds[2].address, 0x2008u);
    EXPECT_EQ(cmds[3].command, CMD_END);
    EXPECT_EQ(cmds[3].length, 5u);
    EXPECT_EQ(cmds[3].address, 0x2010u);
    EXPECT_EQ(cmds[3].dataHigh, std::uint32_t{data[20]});  // zero-padded past the real bytes
    EXPECT_EQ(f.Flash(0x2000, 21), data);
}

TEST(WriteSection, ExactMultipleOfEightEndsWithAFullGroup) {
    FlashBench f("C2 20 13");
    const auto data = PatternImage(16);
    ASSERT_EQ(f.chip().Write_Section(f.host(), FlashPartRow(5), data.data(), 0, 16), kOk);
    const auto ends = f.CommandsOf(CMD_END);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].length, 8u);
    EXPECT_EQ(ends[0].address, 8u);
    EXPECT_EQ(f.Flash(0, 16), data);
}

TEST(WriteSection, SectionOfEightBytesOrLessIsOneEndGroup) {
    for (std::uint32_t n : {1u, 5u, 8u}) {
        FlashBench f("C2 20 13");
        const auto data = PatternImage(n, 7);
        ASSERT_EQ(f.chip().Write_Section(f.host(), FlashPartRow(5), data.data(), 0x30, n), kOk);
        EXPECT_TRUE(f.CommandsOf(CMD_SECTION_DATA).empty());
        ASSERT_EQ(f.CommandsOf(CMD_END).size(), 1u);
        EXPECT_EQ(f.CommandsOf(CMD_END)[0].length, n);
        EXPECT_EQ(f.Flash(0x30, n), data);
        EXPECT_EQ(f.Flash(0x30 + n, 1)[0], 0xFF);
    }
}

TEST(WriteSection, AaiPartsBeginWithTheParameterFromDataMemoryPlusTheRetryShift) {
    FlashBench f("BF 49 BF");
    const FlashPart part = FlashPartRow(54);
    const auto data = PatternImage(20);
    ASSERT_EQ(f.chip().Write_Section(f.host(), part, data.data(), 0x100, 20, 256), kOk);
    f.sim().SetXdataByte(XDATA_AAI_PARAMETER, 0x02);
    ASSERT_EQ(f.chip().Write_Section(f.host(), part, data.data(), 0x200, 20, 0), kOk);

    const auto begins = f.CommandsOf(CMD_SECTION_BEGIN_AAI);
    ASSERT_EQ(begins.size(), 2u);
    EXPECT_EQ(begins[0].dataLow, 0xF0u + 256);
    EXPECT_EQ(begins[1].dataLow, 0x80u);
    EXPECT_TRUE(f.CommandsOf(CMD_SECTION_BEGIN).empty());
    EXPECT_EQ(f.Flash(0x100, 20), data);
    EXPECT_EQ(f.Flash(0x200, 20), data);
}

TEST(WriteSection, FailedDataGroupIsLoggedWithItsFlashAddress) {
    FlashBench f("C2 20 13");
    const auto data = PatternImage(40);
    f.sim().FailCommandAt(CMD_SECTION_DATA, 0x1010);
    EXPECT_EQ(f.chip().Write_Section(f.host(), FlashPartRow(5), data.data(), 0x1000, 40), kErrIo);
    EXPECT_TRUE(f.CommandsOf(CMD_END).empty());
    EXPECT_NE(f.LogText().find("CInterctl::Write_Section:1268: Write Section Failed , add = 4112,"),
              std::string::npos);
}

TEST(WriteSection, FailedEndIsLoggedWithItsOffsetInTheSection) {
    FlashBench f("C2 20 13");
    const auto data = PatternImage(40);
    f.sim().FailCommandAt(CMD_END, 0x1020);
    EXPECT_EQ(f.chip().Write_Section(f.host(), FlashPartRow(5), data.data(), 0x1000, 40), kErrIo);
    EXPECT_NE(f.LogText().find("Write Section (CMD_END) failed!! , add = 32,"), std::string::npos);
}

// ---- Verify -----------------------------------------------------------------------------------

class CompareSectionTest : public ::testing::Test {
  protected:
    CompareSectionTest() : f("C2 20 13"), data(PatternImage(100)) {
        f.sim().SetFlashContents(data);
        // Something in the mailbox data registers that only a clearing end of access removes.
        f.bench.station->PCI_Write_DWORD(3, 0, 0, 0xF8, 0xCAFEF00D);
    }
    std::int32_t Compare() { return f.chip().Compare_Section(f.host(), data.data(), 0, 100); }

    FlashBench f;
    std::vector<std::uint8_t> data;
};

TEST_F(CompareSectionTest, MatchingFlashReadsEachGroupOnce) {
    EXPECT_EQ(Compare(), kOk);
    const auto reads = f.CommandsOf(CMD_MEM_READ);
    ASSERT_EQ(reads.size(), 13u);
    EXPECT_EQ(reads.back().address, 96u);
    EXPECT_EQ(reads.back().length, 4u);
    EXPECT_EQ(f.chip().Compare_Section(f.host(), data.data(), 0, 0), kOk);
}

TEST_F(CompareSectionTest, TwoMismatchesOfAGroupAreRereadAndPass) {
    f.sim().FlipBitsOnFlashRead(40, 0x10, 2);
    EXPECT_EQ(Compare(), kOk);
    EXPECT_EQ(f.CommandsOf(CMD_MEM_READ).size(), 15u);
}

TEST_F(CompareSectionTest, ThirdMismatchEndsAccessWithoutClearingTheMailbox) {
    f.sim().FlipBitsOnFlashRead(40, 0x10, 3);
    const auto boots = f.sim().RebootCount();
    EXPECT_EQ(Compare(), kErrNoDevice);
    EXPECT_EQ(f.sim().RebootCount(), boots + 1);
    EXPECT_EQ(f.bench.station->PCI_Read_DWORD(3, 0, 0, 0xF8), 0xCAFEF00Du);
    EXPECT_EQ(f.clock().Sleeps(), (Sleeps{500}));
}

TEST_F(CompareSectionTest, MismatchCountStartsAgainAtEachGroup) {
    f.sim().FlipBitsOnFlashRead(8, 0x01, 2);
    f.sim().FlipBitsOnFlashRead(16, 0x01, 2);
    EXPECT_EQ(Compare(), kOk);
}

TEST_F(CompareSectionTest, FailedReadsAreRetriedAndLogged) {
    f.sim().FailNthCommand(1);
    f.sim().FailNthCommand(2);
    EXPECT_EQ(Compare(), kOk);
    const std::string log = f.LogText();
    EXPECT_NE(log.find("CInterctl::Compare_Section:1305: Read_Memory Fail, retry[0]\n"),
              std::string::npos);
    EXPECT_NE(log.find("Read_Memory Fail, retry[1]\n"), std::string::npos);
}

TEST_F(CompareSectionTest, GroupThatCannotBeReadNeverPassesEvenWhenItsDataIsZero) {
    std::fill(data.begin() + 16, data.begin() + 24, 0x00);
    f.sim().SetFlashContents(data);
    f.sim().FailCommandAt(CMD_MEM_READ, 16);
    EXPECT_EQ(Compare(), kErrNoDevice);
    EXPECT_EQ(f.CommandsOf(CMD_MEM_READ).size(), 2u + 9u);  // two groups, then 3 x 3 reads
}

}  // namespace
}  // namespace qnl::test
