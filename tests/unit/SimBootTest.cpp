// Boot from flash: version and configuration entries from a valid image, defaults otherwise, the
// end-of-access sequence, and flash contents that outlive the station.
#include <gtest/gtest.h>

#include "qnlio/sim/BootImage.h"
#include "support/SimTestHelpers.h"

namespace qnl::sim {
namespace {

using namespace qnl::mailbox;
using simtest::Address;
using simtest::BuildImage;
using simtest::EndFlashAccess;
using simtest::MakeStation;
using simtest::Pack;
using simtest::Post;
using simtest::ReadFileBytes;
using simtest::ReadMemory;
using simtest::TempFolder;

constexpr std::array<std::uint8_t, 6> kVersion{0x16, 0x05, 0x05, 0x00, 0x01, 0x02};
constexpr std::array<std::uint8_t, 6> kZero{};
constexpr const char* kTwoKinds = R"({ "controllers": [
    { "bus": 1, "kind": 0, "default_svid": "1e73", "default_ssid": "7350", "pcie_link": "18" },
    { "bus": 2, "kind": 1, "default_svid": "1e73", "default_ssid": "7352" } ] })";

std::uint16_t Word(SimController& c, std::uint32_t address) {
    return static_cast<std::uint16_t>(c.XdataByte(address) | c.XdataByte(address + 1) << 8);
}

class SimBoot : public ::testing::Test {
  protected:
    void SetUp() override {
        station = MakeStation(folder, kTwoKinds, clock);
        ASSERT_TRUE(station);
    }
    SimController& Kind0() { return station->Controller(0); }
    SimController& Kind1() { return station->Controller(1); }

    TempFolder folder;
    ManualClock clock;
    std::unique_ptr<SimStation> station;
};

TEST_F(SimBoot, BlankFlashBootsVersionZeroWithDefaults) {
    EXPECT_EQ(Kind0().RunningVersion(), kZero);
    EXPECT_EQ(Word(Kind0(), XDATA_SVID[0]), 0x1E73);
    EXPECT_EQ(Word(Kind0(), XDATA_SSID[0]), 0x7350);
    EXPECT_EQ(Kind0().XdataByte(XDATA_PCIE_LINK), 0x18);
    EXPECT_EQ(Word(Kind1(), XDATA_SSID[1]), 0x7352);
    EXPECT_EQ(Kind1().XdataByte(XDATA_CHIP_SIGNATURE[1]), 0x53);
}

TEST_F(SimBoot, ValidImageSetsVersionAndAppliesEntries) {
    Kind0().SetFlashContents(BuildImage(0, kVersion,
                                        {{2, 0xE260, 0x1D6A},      // SVID
                                         {1, 0xE241, 0x08},        // PCIe link
                                         {4, 0x1000, 0xAABBCCDD},  // plain 4-byte register
                                         {3, 0x2000, 0x55},        // bad width: skipped
                                         {2, 0xFFFF, 0x1234}}));   // runs past the end: skipped
    Kind0().Reboot();
    EXPECT_EQ(Kind0().RunningVersion(), kVersion);
    std::array<std::uint8_t, 6> version{};
    ASSERT_EQ(ReadMemory(*station, Address{1, 0, 0}, SPACE_FWINFO, FWINFO_VERSION_ADDRESS, 6,
                         version.data()),
              0);
    EXPECT_EQ(version, kVersion);
    EXPECT_EQ(Word(Kind0(), XDATA_SVID[0]), 0x1D6A);
    EXPECT_EQ(station->PCI_Read_DWORD(1, 0, 0, 0x2C), 0x73501D6Au) << "config space follows";
    EXPECT_EQ(Kind0().XdataByte(XDATA_PCIE_LINK), 0x08);
    EXPECT_EQ(Kind0().XdataByte(0x1000), 0xDD);
    EXPECT_EQ(Kind0().XdataByte(0x1003), 0xAA);
    EXPECT_EQ(Kind0().XdataByte(0x2000), 0x00);
    EXPECT_EQ(Kind0().XdataByte(0xFFFF), 0x00);
}

TEST_F(SimBoot, KindOneEntriesLandAbove64KB) {
    Kind1().SetFlashContents(BuildImage(1, kVersion, {{2, 0x0052, 0xBEEF}}, 300));
    Kind1().Reboot();
    EXPECT_EQ(Kind1().RunningVersion(), kVersion);
    EXPECT_EQ(Word(Kind1(), XDATA_SSID[1]), 0xBEEF);
    EXPECT_EQ(Word(Kind1(), 0x0052), 0x0000);
}

TEST_F(SimBoot, DamagedOrForeignImagesBootVersionZeroWithDefaults) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> image;
    };
    const auto good = BuildImage(0, kVersion, {{2, 0xE260, 0x1D6A}});
    const std::size_t configLength = 48 + 8;
    std::vector<Case> cases;
    auto damaged = [&](const char* what, std::size_t at, std::uint8_t value) {
        auto image = good;
        image.at(at) = value;
        cases.push_back({what, image});
    };
    damaged("configuration checksum", configLength,
            static_cast<std::uint8_t>(good[configLength] + 1));
    damaged("code byte (code checksum)", configLength + 7 + 10,
            static_cast<std::uint8_t>(good[configLength + 17] ^ 1));
    damaged("firmware signature", configLength + 7 + 256, 'X');
    damaged("configuration signature", 6, '8');
    damaged("block length below 48", 4, 40);
    damaged("code length changed", configLength + 6, 0x10);
    cases.push_back({"kind-1 image on a kind-0 controller", BuildImage(1, kVersion)});
    cases.push_back({"image cut after the configuration block", BuildImage(0, kVersion)});
    cases.back().image.resize(configLength);  // no code at all

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Kind0().SetFlashContents(c.image);
        Kind0().Reboot();
        EXPECT_EQ(Kind0().RunningVersion(), kZero);
        EXPECT_EQ(Word(Kind0(), XDATA_SVID[0]), 0x1E73);
    }
    // A code block one byte short of the version: drop the last code byte, fix N and the sum.
    auto shortCode = BuildImage(0, kVersion, {}, 134);
    const std::size_t codeStart = 48 + 7;
    shortCode.erase(shortCode.begin() + static_cast<std::ptrdiff_t>(codeStart + 133));
    shortCode[48 + 5] = 133;
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < 133; ++i)
        sum = static_cast<std::uint8_t>(sum + shortCode[codeStart + i]);
    shortCode[codeStart + 133 + 8] = sum;
    EXPECT_FALSE(ParseBootImage(shortCode, 0).has_value())
        << "the version needs code bytes 128..133";
    EXPECT_TRUE(ParseBootImage(BuildImage(0, kVersion, {}, 134), 0).has_value());
}

// Writes `image` the way the tool does: erase, wait for it, sections, end-of-access.
void ProgramThroughMailbox(SimStation& station, ManualClock& clock, Address a,
                           const std::vector<std::uint8_t>& image) {
    const auto [low, high] = simtest::EraseWords(station.Controller(a.bus - 1).Config().flashChip);
    const std::uint32_t sectors = static_cast<std::uint32_t>((image.size() + 4095) / 4096);
    ASSERT_EQ(Post(station, a, CMD_SPI_ERASE, SPACE_SPI, sectors, 0, low, high), 0);
    clock.AdvanceMs(1500);
    ASSERT_EQ(Post(station, a, CMD_SECTION_BEGIN, SPACE_SPI, 0, 0), 0);
    std::size_t at = 0;
    for (; image.size() - at > 8; at += 8) {
        const auto [l, h] = Pack(&image[at], 8);
        ASSERT_EQ(
            Post(station, a, CMD_SECTION_DATA, SPACE_SPI, 8, static_cast<std::uint32_t>(at), l, h),
            0);
    }
    const auto [l, h] = Pack(&image[at], image.size() - at);
    ASSERT_EQ(Post(station, a, CMD_END, SPACE_SPI, static_cast<std::uint32_t>(image.size() - at),
                   static_cast<std::uint32_t>(at), l, h),
              0);
}

TEST_F(SimBoot, EndOfAccessWritesTheFileAndBootsTheNewFirmware) {
    const Address host{1, 0, 0};
    const std::string file = Kind0().Config().flashPath;
    const auto image = BuildImage(0, kVersion, {{2, 0xE262, 0x4242}});
    ProgramThroughMailbox(*station, clock, host, image);
    EXPECT_EQ(Kind0().RunningVersion(), kZero) << "still running the old firmware";
    const std::uint64_t boots = Kind0().RebootCount();

    // 0x01 alone, or after anything but 0x02, is no end of access.
    ASSERT_EQ(simtest::WriteXdata(*station, host, XDATA_END_ACCESS_2[0], {0x01}), 0);
    ASSERT_EQ(simtest::WriteXdata(*station, host, XDATA_END_ACCESS_1[0], {0x03}), 0);
    ASSERT_EQ(simtest::WriteXdata(*station, host, XDATA_END_ACCESS_2[0], {0x01}), 0);
    EXPECT_EQ(Kind0().RebootCount(), boots);
    EXPECT_EQ(ReadFileBytes(file).at(0), 0xFF);

    ASSERT_EQ(EndFlashAccess(*station, host, 0), 0);
    EXPECT_EQ(Kind0().RebootCount(), boots + 1);
    EXPECT_EQ(Kind0().RunningVersion(), kVersion);
    EXPECT_EQ(Word(Kind0(), XDATA_SSID[0]), 0x4242);
    EXPECT_EQ(Kind0().XdataByte(XDATA_END_ACCESS_1[0]), 0x00) << "data memory was reset";
    const auto onDisk = ReadFileBytes(file);
    ASSERT_EQ(onDisk.size(), 512u * 1024);
    EXPECT_TRUE(std::equal(image.begin(), image.end(), onDisk.begin()));
    EXPECT_FALSE(Kind0().FlashDirty());
}

TEST_F(SimBoot, KindOneEndOfAccessUsesItsOwnAddresses) {
    const Address host{2, 0, 0};
    ProgramThroughMailbox(*station, clock, host, BuildImage(1, kVersion));
    ASSERT_EQ(EndFlashAccess(*station, host, 0), 0);
    EXPECT_EQ(Kind1().RunningVersion(), kZero) << "kind-0 addresses are plain memory on kind 1";
    ASSERT_EQ(EndFlashAccess(*station, host, 1), 0);
    EXPECT_EQ(Kind1().RunningVersion(), kVersion);
}

TEST(SimBootPersistence, FirmwareWrittenByOneStationIsWhatTheNextOneBoots) {
    TempFolder folder;
    ManualClock clock;
    const auto image = BuildImage(0, kVersion);
    {
        auto first = MakeStation(folder, kTwoKinds, clock);
        ASSERT_TRUE(first);
        ProgramThroughMailbox(*first, clock, Address{1, 0, 0}, image);
        // No end of access: the destructor still writes the modified flash back.
    }
    auto second = MakeStation(folder, kTwoKinds, clock);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->Controller(0).RunningVersion(), kVersion);
    EXPECT_EQ(second->Controller(1).RunningVersion(), kZero);
    EXPECT_FALSE(std::filesystem::exists(folder.File("host0.flash.tmp")));
}

}  // namespace
}  // namespace qnl::sim
