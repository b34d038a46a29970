// The simulated station describes its hardware itself, so a wrong entry in the tool's own tables
// or a protocol wait the tool leaves out shows up as a failed run instead of being mirrored.
#include <gtest/gtest.h>

#include "support/FlashBench.h"
#include "support/SimFixture.h"
#include "support/TestImage.h"

namespace qnl::test {
namespace {

using namespace qnl::mailbox;
using Bytes = std::vector<std::uint8_t>;

const std::array<std::uint8_t, 6> kVersion = {0x16, 0x05, 0x05, 0x00, 0x01, 0x02};

Bytes Image64k() {
    Bytes image = BuildTestImage(0, kVersion, {});
    image.resize(0x10000, 0xFF);
    return image;
}

// Identifies the part (which unprotects it) and programs `image` with the row `part`.
std::int32_t Program(FlashBench& f, const FlashPart& part, const Bytes& image) {
    return f.chip().Update_Firmware(0, f.host(), part, image.data(),
                                    static_cast<std::uint32_t>(image.size()));
}

bool FlashHolds(FlashBench& f, const Bytes& image) {
    return f.Flash(0, image.size()) == image;
}

// ---- The tool's flash part table against the chips ----------------------------------------------

TEST(StationChecksTool, CorrectRowProgramsTheChip) {
    // The control case for the altered rows below: the same chip, the tool's own row.
    FlashBench f("C2 20 13");
    const FlashPart part = f.chip().IdentifyFlash(f.host());
    ASSERT_FALSE(part.IsNone());
    const Bytes image = Image64k();
    EXPECT_EQ(Program(f, part, image), kOk);
    EXPECT_TRUE(FlashHolds(f, image));
}

// A copy of the tool's row with one field wrong, as a bad table entry would be.
struct AlteredRow {
    const char* name;
    std::size_t byte;
    std::uint8_t value;
};

class AlteredRowTest : public ::testing::TestWithParam<AlteredRow> {};

TEST_P(AlteredRowTest, FailsTheUpdate) {
    const AlteredRow c = GetParam();
    FlashBench f("C2 20 13");  // 4 KB sectors, sector-erase opcode 0x20
    FlashPart part = f.chip().IdentifyFlash(f.host());
    ASSERT_FALSE(part.IsNone());
    f.sim().SetFlashContents(Bytes(0x20000, 0x00));  // nothing erased yet
    part.bytes[c.byte] = c.value;
    const Bytes image = Image64k();

    EXPECT_NE(Program(f, part, image), kOk);
    EXPECT_FALSE(FlashHolds(f, image));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AlteredRowTest,
    ::testing::Values(AlteredRow{"SectorEraseOpcode", 6, 0xD8},  // the chip ignores it
                      AlteredRow{"SectorEraseOpcode52", 6, 0x52},
                      AlteredRow{"SectorSizeTooSmall", 3, 0}),  // nothing is erased at all
    [](const auto& param) { return std::string(param.param.name); });

TEST(StationChecksTool, RowThatDiffersFromTheChipIsCaught) {
    // The chip answers the ID of the tool's C2 20 13 row but erases 64 KB sectors with D8: the
    // tool's row (4 KB, opcode 20) does not fit it, and the run must fail rather than pass.
    FlashBench f("", 0,
                 R"("flash_chip": { "id": "C2 20 13", "capacity_kb": 512, "sector_kb": 64,
                                    "sector_erase_opcode": "d8" })");
    const FlashPart part = f.chip().IdentifyFlash(f.host());
    ASSERT_FALSE(part.IsNone()) << "the tool finds its row by the ID bytes";
    f.sim().SetFlashContents(Bytes(0x20000, 0x00));
    const Bytes image = Image64k();
    EXPECT_EQ(Program(f, part, image), kErrNoDevice);
    EXPECT_FALSE(FlashHolds(f, image));
}

TEST(StationChecksTool, ChipTheToolDoesNotKnowIsNotIdentified) {
    FlashBench f("", 0, R"("flash_chip": { "id": "12 34 56", "capacity_kb": 512 })");
    EXPECT_TRUE(f.chip().IdentifyFlash(f.host()).IsNone());
    // Every one of the tool's rows was tried, none answered.
    EXPECT_EQ(f.CommandsOf(CMD_MEM_READ).size(), FlashPartCount());
}

TEST(StationChecksTool, ChipAnsweringAnotherIdOpcodeIsNotIdentified) {
    // The tool's row for these ID bytes asks with 9F; this chip only answers 90 with 3 address
    // bytes, so a row with the wrong ID opcode would find nothing.
    FlashBench f("", 0,
                 R"("flash_chip": { "id": "C2 20 13", "id_opcode": "90", "id_address_bytes": 3,
                                    "capacity_kb": 512 })");
    EXPECT_TRUE(f.chip().IdentifyFlash(f.host()).IsNone());
}

// ---- PCI identification ------------------------------------------------------------------------

TEST(StationChecksTool, ControllerWithAnotherDeviceIdIsNotFound) {
    SimBench bench(R"([{ "bus": 3, "device_id": "7355", "flash": "h.flash" }])");
    EXPECT_EQ(bench.chip().ScanPciBus(""), kErrNoDevice);
    EXPECT_EQ(bench.util().ucHostCount, 0);
}

TEST(StationChecksTool, EveryControllerModelOfTheStationIsFoundAsItsKind) {
    SimBench bench(R"([{ "bus": 1, "kind": 0, "model": 0, "flash": "a.flash" },
                       { "bus": 2, "kind": 0, "model": 1, "flash": "b.flash" },
                       { "bus": 3, "kind": 0, "model": 2, "flash": "c.flash" },
                       { "bus": 4, "kind": 1, "model": 0, "flash": "d.flash" },
                       { "bus": 5, "kind": 1, "model": 1, "flash": "e.flash" }])");
    ASSERT_EQ(bench.chip().ScanPciBus(""), kOk);
    ASSERT_EQ(bench.util().ucHostCount, 5);
    for (int i = 0; i < 5; ++i) {
        const TargetHost& host = bench.util().Host(static_cast<std::size_t>(i));
        EXPECT_EQ(host.ucKind, i < 3 ? 0 : 1) << "bus " << int{host.ucBus};
    }
}

// ---- Protocol waits against the chip's busy time
// -------------------------------------------------

// The stages of one section as Update_Firmware runs them, with or without its 1000 ms wait
// between the erase and the write.
std::int32_t OneSection(FlashBench& f, const FlashPart& part, const Bytes& image,
                        bool waitAfterErase) {
    const auto n = static_cast<std::uint32_t>(image.size());
    std::int32_t rc = f.chip().Erase_SPIRom(f.host(), part, n, 0, 0);
    if (rc != kOk) return rc;
    if (waitAfterErase) f.clock().SleepMs(1000);
    rc = f.chip().Write_Section(f.host(), part, image.data(), 0, n);
    if (rc != kOk) return rc;
    return f.chip().Compare_Section(f.host(), image.data(), 0, n);
}

TEST(StationChecksTool, WriteRightAfterTheEraseSettleFailsTheVerify) {
    // 16 sectors of 40 ms are still being erased 500 ms after the command: the chip ignores the
    // program groups and the verify reads its busy bus.
    FlashBench f("C2 20 13");
    const FlashPart part = f.chip().IdentifyFlash(f.host());
    const Bytes image = Image64k();
    EXPECT_EQ(OneSection(f, part, image, false), kErrNoDevice);
    EXPECT_FALSE(FlashHolds(f, image));
}

TEST(StationChecksTool, WriteAfterTheFullWaitPasses) {
    FlashBench f("C2 20 13");
    const FlashPart part = f.chip().IdentifyFlash(f.host());
    const Bytes image = Image64k();
    EXPECT_EQ(OneSection(f, part, image, true), kOk);
    EXPECT_TRUE(FlashHolds(f, image));
}

TEST(StationChecksTool, SlowEraseChipFailsTheUpdateItsWaitsDoNotCover) {
    // A chip twice as slow as the 1500 ms after a 16-sector erase allows: every attempt writes
    // into a chip that is still erasing, and the update ends in a failure, not a pass.
    FlashBench f(
        "", 0, R"("flash_chip": { "id": "C2 20 13", "capacity_kb": 512, "sector_erase_ms": 190 })");
    const FlashPart part = f.chip().IdentifyFlash(f.host());
    ASSERT_FALSE(part.IsNone());
    const Bytes image = Image64k();
    EXPECT_EQ(Program(f, part, image), kErrNoDevice);
}

TEST(StationChecksTool, ChipSlowerToProgramThanTheMicrocontrollerPollsLosesGroups) {
    FlashBench f("", 0,
                 R"("flash_chip": { "id": "C2 20 13", "capacity_kb": 512, "program_us": 20000 })");
    const FlashPart part = f.chip().IdentifyFlash(f.host());
    ASSERT_FALSE(part.IsNone());
    EXPECT_EQ(Program(f, part, Image64k()), kErrNoDevice);
}

}  // namespace
}  // namespace qnl::test
