// The configuration image: entries built from the settings, the rebuilt block, the written file.
#include <gtest/gtest.h>

#include "controller/ErrorCodes.h"
#include "firmware/ConfigRom.h"
#include "firmware/FirmwareImageMaker.h"
#include "firmware/Upgrade.h"
#include "qnlio/sim/BootImage.h"
#include "support/FolderTool.h"

namespace qnl::test {
namespace {

std::vector<std::uint8_t> Image(std::uint8_t kind, std::uint32_t padTo = 0,
                                std::string customer = "ACME PRODUCTION LINE 7 - STATION",
                                std::vector<ConfigEntryBytes> entries = {
                                    MakeConfigEntry(4, 0x1000, 0xCAFEF00D)}) {
    FirmwareImageOptions options;
    options.kind = kind;
    options.version = {0x17, 0x07, 0x07, 0x00, 0x50, 0x01};
    options.entries = std::move(entries);
    options.customerText = std::move(customer);
    options.codeSize = 400;
    options.padTo = padTo;
    return BuildFirmwareImage(options);
}

std::vector<std::uint8_t> Bytes(const ConfigEntryBytes& e) {
    return {e.begin(), e.end()};
}

class ConfigRomTest : public ::testing::Test {
  protected:
    // Reads the image as the buttons do (check and version), then builds the file.
    bool Build(const std::vector<std::uint8_t>& image) {
        const FirmwareLoad load =
            LoadFirmwareFile("fw.bin", bench.Write("fw.bin", image), ctx().eventLog);
        if (load.rc != kOk) return false;
        built = ctx().upgrade.vCreateConfigRomFile(load.file, ctx().ini);
        return built.has_value();
    }
    std::vector<std::uint8_t> Written() { return bench.ReadBytes("Config_170707_00_50_01.rom"); }
    std::vector<std::uint8_t> EntryBlock(const std::vector<std::uint8_t>& image) {
        return {image.begin() + 48, image.begin() + ReadLe16(&image[4])};
    }
    ToolContext& ctx() { return bench.ctx(); }
    CUtility& util() { return bench.ctx().g_Utility; }
    FolderTool bench;
    std::optional<ProgrammedImage> built;
};

TEST(Crc32, OfAbc) {
    const std::uint8_t abc[] = {'a', 'b', 'c'};
    EXPECT_EQ(Crc32(abc), 0x352441C2u);
}

TEST_F(ConfigRomTest, NothingEnabledWritesTheFileUnchanged) {
    const auto image = Image(0, 8192);
    ASSERT_TRUE(Build(image));
    EXPECT_EQ(Written(), image);
    EXPECT_EQ(built->path, bench.File("Config_170707_00_50_01.rom"));
    EXPECT_EQ(built->bytes, image);
}

TEST_F(ConfigRomTest, SubsystemIdsOnAPaddedKindZeroImageKeepItsLength) {
    ctx().ini.subsys_enable = 1;
    ctx().ini.svid = "1D6A";
    ctx().ini.ssid = "12345";  // the low 16 bits count
    const auto image = Image(0, 8192);
    ASSERT_TRUE(Build(image));
    const auto out = Written();
    ASSERT_EQ(out.size(), image.size());

    EXPECT_EQ(ReadLe16(&out[4]), 56 + 16);
    auto expected = EntryBlock(image);
    for (const auto& e : {std::vector<std::uint8_t>{0xCC, 0x02, 0x60, 0xE2, 0x6A, 0x1D, 0, 0},
                          std::vector<std::uint8_t>{0xCC, 0x02, 0x62, 0xE2, 0x45, 0x23, 0, 0}})
        expected.insert(expected.end(), e.begin(), e.end());
    EXPECT_EQ(EntryBlock(out), expected);
    // Header and customer area unchanged; checksum and CRC moved 16 bytes on and recomputed.
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + 4, out.begin()));
    EXPECT_TRUE(std::equal(image.begin() + 6, image.begin() + 48, out.begin() + 6));
    EXPECT_EQ(out[72], Sum8({out.data(), 72}));
    EXPECT_EQ(ReadLe32(&out[73]), Crc32({out.data(), 72}));
    // Code, signature, checksum and trailing word follow unchanged, 16 bytes later.
    const std::size_t oldEnd = 56 + 5 + 2 + 400 + 8 + 1 + 4;
    EXPECT_TRUE(std::equal(image.begin() + 61, image.begin() + oldEnd, out.begin() + 77));
    // The padding that is left is zero-filled.
    EXPECT_TRUE(std::all_of(out.begin() + oldEnd + 16, out.end(), [](auto b) { return b == 0; }));

    // The booting controller sees both new entries.
    const auto boot = sim::ParseBootImage(out, 0);
    ASSERT_TRUE(boot.has_value());
    ASSERT_EQ(boot->entries.size(), 3u);
    EXPECT_EQ(boot->entries[1].address, 0xE260);
    EXPECT_EQ(boot->entries[2].value, 0x2345u);
}

TEST_F(ConfigRomTest, AnImageWithoutRoomLeftGrowsInsteadOfLosingItsEnd) {
    ctx().ini.subsys_enable = 1;
    const auto image = Image(1);  // no padding
    ASSERT_TRUE(Build(image));
    const auto out = Written();
    ASSERT_EQ(out.size(), image.size() + 16);
    EXPECT_EQ(built->bytes, out);  // what programming will write
    // Kind-1 addresses, and the image still checks (its end is all there).
    EXPECT_EQ(Bytes(MakeConfigEntry(2, 0x0050, 0)),
              std::vector<std::uint8_t>(out.begin() + 56, out.begin() + 64));
    EXPECT_EQ(Bytes(MakeConfigEntry(2, 0x0052, 0)),
              std::vector<std::uint8_t>(out.begin() + 64, out.begin() + 72));
    ImageFacts facts;
    EXPECT_EQ(CheckFirmwareImage(out, facts, ctx().eventLog), kOk);
    EXPECT_TRUE(std::equal(image.end() - 4, image.end(), out.end() - 4));
}

TEST_F(ConfigRomTest, PcieSpeedLimitClearsTheGenerationBitsOfHostZerosLink) {
    util().Host(0).ucPcieLink = 0x1B;  // Gen3 and Gen2 enabled, other bits set
    ctx().ini.PCISPEED_enable = 1;
    for (const auto& [speed, link] :
         std::vector<std::pair<std::uint8_t, std::uint8_t>>{{3, 0x1B}, {2, 0x0B}, {1, 0x03}}) {
        ctx().ini.MAX_PCIe_SPEED = speed;
        ASSERT_TRUE(Build(Image(0, 8192)));
        const auto out = Written();
        EXPECT_EQ(ReadLe16(&out[4]), 64);
        EXPECT_EQ(std::vector<std::uint8_t>(out.begin() + 56, out.begin() + 64),
                  Bytes(MakeConfigEntry(1, 0xE241, link)))
            << int(speed);
    }
    // Kind 1 has no speed entry; the block is still rebuilt.
    ASSERT_TRUE(Build(Image(1, 8192)));
    EXPECT_EQ(ReadLe16(&Written()[4]), 56);
}

TEST_F(ConfigRomTest, CustomerTextReplacesHeaderBytes16To46) {
    ctx().ini.CustInfo_enable = 1;
    ctx().ini.CustInfo = "NEW OWNER";
    const auto image = Image(0, 8192);
    ASSERT_TRUE(Build(image));
    const auto out = Written();
    std::vector<std::uint8_t> expected(31, 0);
    std::copy_n("NEW OWNER", 9, expected.begin());
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin() + 16, out.begin() + 47), expected);
    EXPECT_EQ(out[47], image[47]);  // 'N', the file's 32nd customer byte
    EXPECT_EQ(ReadLe32(&out[57]), Crc32({out.data(), 56}));

    ctx().ini.CustInfo = std::string(40, 'Z');
    ASSERT_TRUE(Build(image));
    const auto cut = Written();
    EXPECT_EQ(std::vector<std::uint8_t>(cut.begin() + 16, cut.begin() + 47),
              std::vector<std::uint8_t>(31, 'Z'));
}

TEST_F(ConfigRomTest, ManualEntriesFollowInListOrderWhenOnAndValid) {
    SET_REG& regs = ctx().setReg;
    regs.OnInitDialog();
    regs.OnEnChangeEditNumber("2");
    regs.rows[0] = {0, "1A", "5", true};
    regs.rows[1] = {2, "44", "ABCDEF01", true};
    ASSERT_EQ(regs.vSaveRegisterRows(), SET_REG::DialogEnd::Accepted);
    ctx().ini.subsys_enable = 1;
    ctx().ini.svid = "1";

    regs.m_ucManualSetting = 1;
    ASSERT_TRUE(Build(Image(0, 8192)));
    auto out = Written();
    ASSERT_EQ(ReadLe16(&out[4]), 56 + 32);
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin() + 72, out.begin() + 88),
              (std::vector<std::uint8_t>{0xCC, 1, 0x1A, 0, 5, 0, 0, 0,  //
                                         0xCC, 4, 0x44, 0, 0x01, 0xEF, 0xCD, 0xAB}));

    // An invalid parse since: the list is not used.
    regs.EditGetsettingValue("XYZ");
    ASSERT_TRUE(Build(Image(0, 8192)));
    EXPECT_EQ(ReadLe16(&Written()[4]), 56 + 16);
}

TEST_F(ConfigRomTest, FailuresFailEveryHostAndWriteNothing) {
    for (auto& host : util().hosts) host.ucFwUpdateResult = 1;
    ctx().ini.subsys_enable = 1;
    // An image that cannot be taken apart.
    FirmwareFile junk;
    junk.bytes.assign(4096, 0x11);
    junk.facts.kind = 0;
    junk.version = "170707_00_50_01";
    EXPECT_FALSE(ctx().upgrade.vCreateConfigRomFile(junk, ctx().ini));
    EXPECT_NE(bench.LogText().find("Upgrade::vCreateConfigRomFile:2301: InsertCFGToBin Fail!!"),
              std::string::npos);
    for (const auto& host : util().hosts) EXPECT_EQ(host.ucFwUpdateResult, 0);
    EXPECT_FALSE(std::filesystem::exists(bench.File("Config_170707_00_50_01.rom")));

    // No version text: nothing written either.
    FirmwareFile unversioned;
    unversioned.bytes = Image(0);
    unversioned.facts.kind = 0;
    EXPECT_FALSE(ctx().upgrade.vCreateConfigRomFile(unversioned, ctx().ini));
    EXPECT_NE(bench.LogText().find("g_Utility.m_strFileFWVersion is empty"), std::string::npos);
}

TEST(InsertCFGToBin, RefusesMoreThan127EntriesAndA16BitOverflow) {
    FolderTool bench;
    const auto image = Image(0);
    ImageFacts facts;
    ASSERT_EQ(CheckFirmwareImage(image, facts, bench.ctx().eventLog), kOk);
    BinFileStruct parts;
    ASSERT_TRUE(TakeImageApart(image, facts.kind, parts, bench.ctx().eventLog));

    std::vector<ConfigEntryBytes> entries(127, MakeConfigEntry(1, 1, 1));
    std::vector<std::uint8_t> out(ImageLength(parts, 128), 0);
    EXPECT_EQ(InsertCFGToBin(parts, out, entries), kOk);
    entries.push_back(MakeConfigEntry(1, 1, 1));
    EXPECT_EQ(InsertCFGToBin(parts, out, entries), kErrInvalidParameter);

    // A block already near 64 KB cannot take more.
    parts.entries.resize(0xFFFF - 48 - 4);
    out.assign(ImageLength(parts, 1), 0);
    EXPECT_EQ(InsertCFGToBin(parts, out, std::vector{MakeConfigEntry(1, 1, 1)}),
              kErrInvalidParameter);
    // An output too small is refused, not overrun.
    std::vector<std::uint8_t> small(100, 0);
    EXPECT_EQ(InsertCFGToBin(parts, small, {}), kErrNoMemory);
}

}  // namespace
}  // namespace qnl::test
