// Whole flash updates against the simulated chip: section layout, the second copy, retries,
// and the faults an update must survive.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "platform/Cancellation.h"
#include "support/FlashBench.h"
#include "support/SimTestHelpers.h"
#include "support/TestImage.h"

namespace qnl::test {
namespace {

using namespace qnl::mailbox;
using Bytes = std::vector<std::uint8_t>;
using Sleeps = std::vector<std::uint32_t>;

// Identifies the part (which unprotects it) and programs the image, as one host's upgrade does.
struct Programmer {
    explicit Programmer(FlashBench& bench) : f(bench) {
        part = f.chip().IdentifyFlash(f.host());
        if (part.IsNone()) throw std::runtime_error("no flash part");
        f.Forget();
    }
    std::int32_t Run(const Bytes& image) {
        return f.chip().Update_Firmware(0, f.host(), part, image.data(),
                                        static_cast<std::uint32_t>(image.size()));
    }
    FlashBench& f;
    FlashPart part;
};

Bytes Padded(Bytes image, std::size_t size) {
    image.resize(size, 0xFF);
    return image;
}

const std::array<std::uint8_t, 6> kVersion = {0x16, 0x05, 0x05, 0x00, 0x01, 0x02};

// ---- Layout -------------------------------------------------------------------------------------

TEST(UpdateFirmware, SixtyFourKbOnA256KbPartIsOneSectionAndASecondCopy) {
    FlashBench f("C2 20 12");
    f.sim().SetFlashContents(Bytes(0x40000, 0x00));
    Programmer p(f);
    const Bytes image = Padded(BuildTestImage(0, kVersion, {{2, 0xE260, 0x1D6B}}), 0x10000);
    f.bench.station->PCI_Write_DWORD(3, 0, 0, 0xF8, 0xCAFEF00D);

    ASSERT_EQ(p.Run(image), kOk);

    const auto erases = f.CommandsOf(CMD_SPI_ERASE);
    ASSERT_EQ(erases.size(), 2u);
    EXPECT_EQ(erases[0].length, 16u);
    EXPECT_EQ(erases[0].address, 0u);
    EXPECT_EQ(erases[1].length, 16u);
    EXPECT_EQ(erases[1].address, 0x10000u);
    EXPECT_EQ(f.CommandsOf(CMD_SECTION_DATA).size(), 2u * (0x10000 / 8 - 1));
    EXPECT_EQ(f.clock().Sleeps(), (Sleeps{500, 1000, 500, 1000, 200, 200, 200, 500}));
    EXPECT_EQ(f.Flash(0, 0x10000), image);
    EXPECT_EQ(f.Flash(0x10000, 0x10000), image);
    EXPECT_EQ(f.Flash(0x20000, 0x20000), Bytes(0x20000, 0x00));  // untouched
    EXPECT_TRUE(f.sim().FlashProtected());
    EXPECT_EQ(f.chip().m_dwRetryShift, 0u);

    // The end of access cleared the mailbox, booted the new firmware and wrote the flash file.
    EXPECT_EQ(f.bench.station->PCI_Read_DWORD(3, 0, 0, 0xF8), 0u);
    EXPECT_EQ(f.sim().RunningVersion(), kVersion);
    EXPECT_EQ(f.bench.station->PCI_Read_DWORD(3, 0, 0, 0x2C) & 0xFFFF, 0x1D6Bu);
    EXPECT_FALSE(f.sim().FlashDirty());
    EXPECT_EQ(sim::simtest::ReadFileBytes(f.FlashFile()), f.sim().FlashContents());
    ASSERT_EQ(f.chip().UpdateDeviceInfo(0, "", 0), kOk);
    EXPECT_EQ(f.host().strFWVersion, "160505_00_01_02");
    EXPECT_EQ(f.host().strSVID, "1d6b");
}

TEST(UpdateFirmware, SixtyFourKbPartGetsNoSecondCopy) {
    FlashBench f("C2 20 10");
    Programmer p(f);
    const Bytes image = PatternImage(0x10000);
    ASSERT_EQ(p.Run(image), kOk);
    EXPECT_EQ(f.CommandsOf(CMD_SPI_ERASE).size(), 1u);
    EXPECT_EQ(f.sim().FlashContents(), image);
}

TEST(UpdateFirmware, ImageOverSixtyFourKbIsWrittenOnceInSectionsOfSixteenSectors) {
    FlashBench f("C2 20 13");
    f.sim().SetFlashContents(Bytes(0x80000, 0x00));
    Programmer p(f);
    const Bytes image = PatternImage(100000);
    ASSERT_EQ(p.Run(image), kOk);
    const auto erases = f.CommandsOf(CMD_SPI_ERASE);
    ASSERT_EQ(erases.size(), 2u);
    EXPECT_EQ(erases[1].address, 0x10000u);
    EXPECT_EQ(erases[1].length, 9u);  // 34,464 bytes
    EXPECT_EQ(f.Flash(0, 100000), image);
    EXPECT_EQ(f.Flash(100000, 102400 - 100000), Bytes(2400, 0xFF));
    EXPECT_EQ(f.Flash(102400, 0x80000 - 102400), Bytes(0x80000 - 102400, 0x00));
}

TEST(UpdateFirmware, LastSectionOfAFewBytesIsProgrammed) {
    FlashBench f("C2 20 13");
    Programmer p(f);
    const Bytes image = PatternImage(0x10000 + 5);
    ASSERT_EQ(p.Run(image), kOk);
    EXPECT_EQ(f.Flash(0, image.size()), image);
    EXPECT_EQ(f.Flash(0x10005, 1)[0], 0xFF);
    const auto ends = f.CommandsOf(CMD_END);
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_EQ(ends[1].address, 0x10000u);
    EXPECT_EQ(ends[1].length, 5u);
}

TEST(UpdateFirmware, ShortImageWithSecondCopyKeepsTheFirstCopyWhole) {
    // The image ends inside the first sector: the second copy starts at the next sector, so its
    // erase cannot take the first copy's tail with it.
    FlashBench f("C2 20 11");
    f.sim().SetFlashContents(Bytes(0x20000, 0x00));
    Programmer p(f);
    const Bytes image = BuildTestImage(0, kVersion);
    const auto n = image.size();
    ASSERT_LT(n, 4096u);

    ASSERT_EQ(p.Run(image), kOk);

    EXPECT_EQ(f.Flash(0, n), image);
    EXPECT_EQ(f.Flash(n, 4096 - n), Bytes(4096 - n, 0xFF));
    EXPECT_EQ(f.Flash(4096, n), image);
    EXPECT_EQ(f.Flash(4096 + n, 4096 - n), Bytes(4096 - n, 0xFF));
    EXPECT_EQ(f.Flash(8192, 0x20000 - 8192), Bytes(0x20000 - 8192, 0x00));
    EXPECT_EQ(f.sim().RunningVersion(), kVersion);
}

TEST(UpdateFirmware, ShortImageOverStaleSecondCopyArea) {
    // A flash whose second sector holds programmed bytes: the copy's sector is erased before it
    // is written, so the verify passes at the first attempt.
    FlashBench f("C2 20 11");
    Programmer p(f);
    const Bytes image = PatternImage(6000);  // ends inside sector 1
    f.sim().SetFlashContents(Bytes(0x20000, 0x00));
    ASSERT_EQ(p.Run(image), kOk);
    EXPECT_EQ(f.Flash(0, 6000), image);
    EXPECT_EQ(f.Flash(8192, 6000), image);
    EXPECT_EQ(f.CommandsOf(CMD_SPI_ERASE).size(), 2u);
    EXPECT_EQ(f.LogText().find("Compare_Section Fail"), std::string::npos);
}

TEST(UpdateFirmware, SplitErasePartOfOneSectorSectionsProgramsAndEnds) {
    FlashBench f("20 20 14");  // 16 KB sectors: a 12 KB image is one sector
    Programmer p(f);
    const Bytes image = PatternImage(0x3000);
    ASSERT_EQ(p.Run(image), kOk);
    ASSERT_EQ(f.CommandsOf(CMD_SPI_ERASE).size(), 1u);
    EXPECT_EQ(f.CommandsOf(CMD_SPI_ERASE)[0].length, 1u);
    EXPECT_EQ(f.Flash(0, 0x3000), image);
    EXPECT_EQ(f.clock().Sleeps().front(), 100u);  // (0 + 1) x 20 x 5
}

TEST(UpdateFirmware, AaiPartProgramsBothCopies) {
    FlashBench f("BF 49 BF");
    Programmer p(f);
    const Bytes image = PatternImage(0x10000);
    ASSERT_EQ(p.Run(image), kOk);
    EXPECT_EQ(f.CommandsOf(CMD_SECTION_BEGIN_AAI).size(), 2u);
    EXPECT_EQ(f.Flash(0, 0x10000), image);
    EXPECT_EQ(f.Flash(0x10000, 0x10000), image);
}

TEST(UpdateFirmware, RefusesAnEmptyImageOrOneLargerThanTheChipBeforeErasing) {
    FlashBench f("C2 20 10");
    Programmer p(f);
    EXPECT_EQ(p.Run(PatternImage(0x10001)), kErrInvalidParameter);
    EXPECT_EQ(p.Run(Bytes{}), kErrInvalidParameter);
    EXPECT_EQ(f.chip().Update_Firmware(0, f.host(), FlashPart::None(), nullptr, 10),
              kErrInvalidParameter);
    EXPECT_TRUE(f.sim().Commands().empty());
    EXPECT_NE(f.LogText().find("invalid image length 65537"), std::string::npos);
}

// ---- Verify failures and retries ----------------------------------------------------------------

TEST(UpdateFirmware, MismatchRetriesWithLongerSplitErasesAndAHigherShift) {
    FlashBench f("C8 40 13");
    Programmer p(f);
    const Bytes image = PatternImage(0x10000);
    f.sim().FlipBitsOnFlashRead(0x100, 0x01, 3);  // one group reads wrong three times

    ASSERT_EQ(p.Run(image), kOk);

    EXPECT_EQ(f.clock().Sleeps(),
              (Sleeps{750, 750, 500, 1000, 500,                      // attempt 0, end of access
                      1500, 1500, 500, 1000, 1500, 1500, 500, 1000,  // attempt 1, two copies
                      200, 200, 200, 500}));
    EXPECT_EQ(f.chip().m_dwRetryShift, 128u);
    EXPECT_NE(f.LogText().find("CInterctl::Update_Firmware:1377: ucTargetNumber[0],"
                               "Compare_Section Fail!!, ucRetry[0] "),
              std::string::npos);
    EXPECT_EQ(f.Flash(0, 0x10000), image);
    EXPECT_EQ(f.Flash(0x10000, 0x10000), image);
    EXPECT_TRUE(f.sim().FlashProtected());
}

TEST(UpdateFirmware, ThreeFailedAttemptsReturnMinusSixProtectedWithMailboxKept) {
    FlashBench f("C8 40 13");
    Programmer p(f);
    const Bytes image = PatternImage(0x10000);
    f.sim().FlipBitsOnFlashRead(0x100, 0x01, 9);
    f.bench.station->PCI_Write_DWORD(3, 0, 0, 0xF8, 0xCAFEF00D);

    EXPECT_EQ(p.Run(image), kErrNoDevice);

    EXPECT_EQ(f.clock().Sleeps(), (Sleeps{750, 750, 500, 1000, 500, 1500, 1500, 500, 1000, 500,
                                          2250, 2250, 500, 1000, 500, 200, 200, 200}));
    const std::string log = f.LogText();
    for (int r = 0; r < 3; ++r)
        EXPECT_NE(log.find("Compare_Section Fail!!, ucRetry[" + std::to_string(r) + "] "),
                  std::string::npos);
    EXPECT_TRUE(f.sim().FlashProtected());
    EXPECT_EQ(f.bench.station->PCI_Read_DWORD(3, 0, 0, 0xF8), 0xCAFEF00Du);
    EXPECT_EQ(f.chip().m_dwRetryShift, 256u);
}

TEST(UpdateFirmware, MismatchInTheSecondCopyRetriesTheWholeAttempt) {
    FlashBench f("C2 20 12");
    Programmer p(f);
    const Bytes image = PatternImage(0x10000);
    f.sim().FlipBitsOnFlashRead(0x18000, 0x80, 3);
    ASSERT_EQ(p.Run(image), kOk);
    EXPECT_EQ(f.CommandsOf(CMD_SPI_ERASE).size(), 4u);
    EXPECT_EQ(f.Flash(0x10000, 0x10000), image);
}

TEST(UpdateFirmware, AaiRetryRaisesTheProgrammingParameter) {
    FlashBench f("BF 49 BF");
    Programmer p(f);
    f.sim().FlipBitsOnFlashRead(0x20, 0x04, 3);
    ASSERT_EQ(p.Run(PatternImage(0x10000)), kOk);
    const auto begins = f.CommandsOf(CMD_SECTION_BEGIN_AAI);
    ASSERT_EQ(begins.size(), 3u);
    EXPECT_EQ(begins[0].dataLow, 0xF0u);
    EXPECT_EQ(begins[1].dataLow, 0xF0u + 128);
    EXPECT_EQ(begins[2].dataLow, 0xF0u + 128);
}

// ---- Command failures ---------------------------------------------------------------------------

TEST(UpdateFirmware, FailedEraseReturnsAtOnceAndLeavesTheFlashUnprotected) {
    FlashBench f("C2 20 12");
    Programmer p(f);
    f.sim().FailCommandAt(CMD_SPI_ERASE, 0x10000);  // the second copy's erase
    EXPECT_EQ(p.Run(PatternImage(0x10000)), kErrIo);
    EXPECT_EQ(f.CommandsOf(CMD_SPI_ERASE).size(), 2u);
    EXPECT_TRUE(f.CommandsOf(CMD_SPI_OPCODE).empty());
    EXPECT_FALSE(f.sim().FlashProtected());
    EXPECT_NE(f.LogText().find("CInterctl::Update_Firmware:1361: Erease SPI Sector Failed , "
                               "dwSectorCount = 16\n"),
              std::string::npos);
}

TEST(UpdateFirmware, WriteFailuresInEveryAttemptReturnTheWriteError) {
    FlashBench f("C2 20 11");
    Programmer p(f);
    f.sim().FailCommandAt(CMD_SECTION_DATA, 0x108);
    EXPECT_EQ(p.Run(PatternImage(0x1000)), kErrIo);
    EXPECT_EQ(f.CommandsOf(CMD_SPI_ERASE).size(), 3u);
    EXPECT_TRUE(f.sim().FlashProtected());
    EXPECT_NE(f.LogText().find("Write_Section Fail!!, ucRetry[2] "), std::string::npos);
    EXPECT_EQ(f.sim().RebootCount(), 1u);  // no end of access after a failed update
}

// Every command of a short update fails once, one position per run. Whatever fails, the tool
// never reports success for an image that is not in the flash; a failed write or read is
// retried and the update succeeds with the flash protected.
struct SweepCase {
    const char* flashId;
    bool offBus;
    bool everyPosition;  // else the non-data commands and every 53rd data command
};

class UpdateFaultSweep : public ::testing::TestWithParam<SweepCase> {};

TEST_P(UpdateFaultSweep, NoPositionGivesAFalseSuccess) {
    const SweepCase c = GetParam();
    const Bytes image = BuildTestImage(0, kVersion);
    FlashBench f(c.flashId);
    const bool secondCopy =
        FlashPartRow(FindFlashPartById(f.sim().Config().flashId.data()).value()).CapacityBytes() >=
        0x20000;
    auto program = [&] {
        const FlashPart part = f.chip().IdentifyFlash(f.host());
        if (part.IsNone()) return kErrIo;
        return f.chip().Update_Firmware(0, f.host(), part, image.data(),
                                        static_cast<std::uint32_t>(image.size()));
    };
    auto reset = [&] {
        f.sim().ClearFaults();
        f.sim().SetFlashContents(Bytes(0x2000, 0x00));
        f.chip().SetFlashProtect(f.host(), false);
        f.Forget();
    };
    reset();
    ASSERT_EQ(program(), kOk);
    const auto clean = f.sim().Commands();
    ASSERT_GT(clean.size(), 80u);

    for (std::uint64_t k = 1; k <= clean.size(); ++k) {
        const auto& expected = clean[k - 1];
        const bool data = expected.command == CMD_SECTION_DATA ||
                          (expected.command == CMD_MEM_READ && expected.space == SPACE_SPI);
        if (!c.everyPosition && data && k % 53 != 0) continue;
        SCOPED_TRACE("command " + std::to_string(k));
        reset();
        if (c.offBus) {
            f.sim().DropOffBusAtCommand(k);
        } else {
            f.sim().FailNthCommand(k);
        }
        const std::int32_t rc = program();
        const bool inFlash = f.Flash(0, image.size()) == image &&
                             (!secondCopy || f.Flash(4096, image.size()) == image);
        if (rc == kOk) {
            EXPECT_TRUE(inFlash);
            EXPECT_TRUE(f.sim().FlashProtected());
        }
        if (c.offBus) {
            // Once gone, only the end of access may be lost after a complete update.
            if (rc == kOk) {
                EXPECT_GE(k, clean.size() - 1);
            }
            continue;
        }
        const bool retried = expected.command == CMD_SECTION_BEGIN ||
                             expected.command == CMD_SECTION_BEGIN_AAI ||
                             expected.command == CMD_SECTION_DATA || expected.command == CMD_END ||
                             (expected.command == CMD_MEM_READ && expected.space != SPACE_SPI_ID);
        if (retried) {
            EXPECT_EQ(rc, kOk);
            EXPECT_TRUE(inFlash);
            EXPECT_TRUE(f.sim().FlashProtected());
        }
        if (expected.command == CMD_SPI_ERASE) {
            EXPECT_EQ(rc, kErrIo);
            EXPECT_FALSE(f.sim().FlashProtected());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UpdateFaultSweep,
    ::testing::Values(SweepCase{"C2 20 10", false, true}, SweepCase{"BF 48 BF", false, true},
                      SweepCase{"C8 40 10", false, true}, SweepCase{"C2 20 10", true, true},
                      SweepCase{"C2 20 11", false, false}),
    [](const auto& param) {
        return std::string(param.param.offBus ? "OffBus" : "Fail") + std::to_string(param.index);
    });

// ---- A controller that stops answering
// ------------------------------------------------------------

TEST(UpdateFirmware, HungControllerEndsWhenTheWorkerIsAskedToStop) {
    FlashBench f("C2 20 12");
    Programmer p(f);
    const Bytes image = PatternImage(0x10000);
    f.sim().HangFromCommand(500);  // in the middle of the first section's data

    std::stop_source stop;
    auto done = std::async(std::launch::async, [&] {
        StopTokenScope scope(stop.get_token());
        return p.Run(image);
    });
    ASSERT_EQ(done.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    stop.request_stop();
    ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(done.get(), kErrTimeout);
    EXPECT_EQ(f.CommandsOf(CMD_SPI_ERASE).size(), 1u);  // no further attempt
}

}  // namespace
}  // namespace qnl::test
