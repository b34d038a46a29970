// Firmware image files: the check, the version, taking an image apart, and bad files.
#include <gtest/gtest.h>

#include <filesystem>

#include "controller/ErrorCodes.h"
#include "firmware/FirmwareImageMaker.h"
#include "image/ImageCheck.h"
#include "support/FolderTool.h"

namespace qnl::test {
namespace {

std::vector<std::uint8_t> Image(std::uint8_t kind, std::array<std::uint8_t, 6> version,
                                std::vector<ConfigEntryBytes> entries = {},
                                std::uint32_t codeSize = 300) {
    FirmwareImageOptions options;
    options.kind = kind;
    options.version = version;
    options.entries = std::move(entries);
    options.codeSize = codeSize;
    options.customerText = "CUSTOMER";
    return BuildFirmwareImage(options);
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class FirmwareFileTest : public ::testing::Test {
  protected:
    CEventLog& log() { return bench.ctx().eventLog; }
    std::int32_t Check(const std::vector<std::uint8_t>& image) {
        facts = {};
        return CheckFirmwareImage(image, facts, log());
    }
    std::int32_t Version(const std::vector<std::uint8_t>& image) {
        return GetVersionFromImage(image, facts, log());
    }
    bool Apart(const std::vector<std::uint8_t>& image, BinFileStruct& parts) {
        return TakeImageApart(image, facts.kind, parts, log());
    }
    FolderTool bench;
    ImageFacts facts;
};

TEST_F(FirmwareFileTest, KindZeroImageThroughCheckVersionAndTakeApart) {
    const auto entries =
        std::vector{MakeConfigEntry(2, 0xE260, 0x1D6A), MakeConfigEntry(1, 0xE241, 0x18)};
    const auto image = Image(0, {0x17, 0x07, 0x07, 0x00, 0x50, 0x01}, entries);
    ASSERT_EQ(Version(image), kOk);
    EXPECT_EQ(FormatFirmwareVersion(facts.version.data()), "170707_00_50_01");
    EXPECT_EQ(facts.kind, 0);
    EXPECT_EQ(facts.variant, 0);
    EXPECT_EQ(facts.cfgLength, 64u);
    EXPECT_EQ(facts.codeLength, 300u);
    EXPECT_EQ(facts.cfgCheckSum, image[64]);
    EXPECT_EQ(facts.codeCheckSum, image[64 + 7 + 300 + 8]);
    // A valid file logs the comparison with the other kind's signature, once.
    EXPECT_EQ(
        Count(bench.LogText(), "config signature [7351A_RCFG] invalid, CFG_SIGNATURE_OFFSET=6"), 1);

    BinFileStruct parts;
    ASSERT_TRUE(Apart(image, parts));
    EXPECT_EQ(parts.dwHeader[0], 0x5Au);
    EXPECT_EQ(parts.dwHeader[1], ReadLe32(&image[4]));
    EXPECT_EQ(std::string(parts.ucCustomerInfo.begin(), parts.ucCustomerInfo.begin() + 8),
              "CUSTOMER");
    EXPECT_EQ(parts.dwEntryCount, 2u);
    EXPECT_EQ(parts.entries, std::vector<std::uint8_t>(image.begin() + 48, image.begin() + 64));
    EXPECT_EQ(parts.ucCfgCheckSum, image[64]);
    EXPECT_EQ(parts.dwCrc, Crc32({image.data(), 64}));
    EXPECT_EQ(parts.dwFWLength, 300u);
    EXPECT_EQ(parts.code, std::vector<std::uint8_t>(image.begin() + 71, image.begin() + 371));
    EXPECT_EQ(parts.dwFWSignature[0], ReadLe32(reinterpret_cast<const std::uint8_t*>("7351")));
    EXPECT_EQ(parts.dwTrailer, 0xA5A5A5A5u);
    EXPECT_EQ(ImageLength(parts), image.size());
}

TEST_F(FirmwareFileTest, KindOneImageAndItsVariants) {
    for (const auto& [byte3, variant] :
         std::vector<std::pair<std::uint8_t, std::uint8_t>>{{0x50, 0}, {0x70, 1}, {0x58, 0xFF}}) {
        const auto image = Image(1, {0x18, 0x01, 0x02, byte3, 0x00, 0x07});
        ASSERT_EQ(Version(image), kOk);
        EXPECT_EQ(facts.version[3], byte3);
        EXPECT_EQ(facts.kind, 1);
        EXPECT_EQ(facts.variant, variant);
        BinFileStruct parts;
        ASSERT_TRUE(Apart(image, parts));
        EXPECT_EQ(parts.ucKind, 1);
        EXPECT_EQ(parts.code.size(), 300u);
        EXPECT_EQ(parts.code[128 + 3], byte3);  // the code starts at L+9 for kind 1
        EXPECT_EQ(ImageLength(parts), image.size());
    }
    EXPECT_NE(bench.LogText().find("config signature [7352A_RCFG] invalid"), std::string::npos);
}

TEST_F(FirmwareFileTest, OddConfigurationLengthSumsExactlyItsBytes) {
    auto image = Image(0, {1, 2, 3, 4, 5, 6}, {MakeConfigEntry(1, 0x1234, 0x56)});
    // One more byte in the configuration block: L = 57.
    image.insert(image.begin() + 56, 0x01);
    WriteLe16(&image[4], 57);
    image[57] = Sum8({image.data(), 57});
    EXPECT_EQ(Check(image), kOk);
    EXPECT_EQ(facts.cfgCheckSum, image[57]);

    image[57] = static_cast<std::uint8_t>(image[57] + 1);
    EXPECT_EQ(Check(image), kErrDataNotMatch);
}

TEST_F(FirmwareFileTest, OneChangedCodeByteFailsTheCodeChecksum) {
    auto image = Image(0, {1, 2, 3, 4, 5, 6});
    image[48 + 7 + 10] ^= 0x40;
    EXPECT_EQ(Check(image), kErrDataNotMatch);
    EXPECT_NE(bench.LogText().find("Bin File Check Sum["), std::string::npos);
}

TEST_F(FirmwareFileTest, WrongFirmwareSignatureIsLoggedWithItsEightBytes) {
    auto image = Image(1, {1, 2, 3, 4, 5, 6});
    image[48 + 9 + 300 + 3] = 'X';  // "735XA_FW"
    EXPECT_EQ(Check(image), kErrDataNotMatch);
    EXPECT_NE(bench.LogText().find("firmware signature [735XA_FW] invalid"), std::string::npos);
}

// Every case is an exact-size heap copy, so a read past the end stops the sanitizer.
TEST_F(FirmwareFileTest, LengthsPointingOutsideTheFileFailWithoutReadingPastIt) {
    const auto good0 = Image(0, {1, 2, 3, 4, 5, 6});
    const auto good1 = Image(1, {1, 2, 3, 4, 5, 6});
    auto with = [](std::vector<std::uint8_t> img, std::size_t at, std::vector<std::uint8_t> b) {
        std::copy(b.begin(), b.end(), img.begin() + static_cast<long>(at));
        return img;
    };
    auto cut = [](std::vector<std::uint8_t> img, std::size_t n) {
        img.resize(n);
        return img;
    };
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        const char* logged;
    };
    const std::vector<Case> cases = {
        {"empty", {}, "config signature [          ] invalid"},
        {"shorter than the signature", cut(good0, 12), "config signature [    7351A_] invalid"},
        {"header only", cut(good0, 48), "configuration length L[48] outside the file (48 bytes)"},
        {"L past the end", with(good0, 4, {0xFF, 0xFF}), "configuration length L[65535]"},
        {"L inside the header", with(good0, 4, {8, 0}), "configuration length L[8]"},
        {"no room for N", cut(good0, 48 + 6), "firmware length field at [53]"},
        {"N past the end (kind 0)", with(good0, 53, {0xFF, 0xFF}), "firmware length N[65535]"},
        {"N past the end (kind 1)", with(good1, 53, {0xF0, 0xFF, 0xFF, 0xFF}),
         "firmware length N[4294967280]"},
        {"no code checksum byte", cut(good1, good1.size() - 5), "firmware length N[300]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> bytes = c.bytes;  // exact size
        const std::size_t logged = bench.LogText().size();
        EXPECT_EQ(Version(bytes), kErrDataNotMatch);
        const std::string log = bench.LogText().substr(logged);
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        // Taking it apart refuses it as its own kind, and reads nothing outside as the other.
        const std::uint8_t ownKind =
            std::string(c.what).find("kind 1") != std::string::npos ||
                    std::string(c.what).find("checksum byte") != std::string::npos
                ? 1
                : 0;
        BinFileStruct parts;
        facts.kind = ownKind;
        EXPECT_FALSE(Apart(bytes, parts));
        facts.kind = static_cast<std::uint8_t>(1 - ownKind);
        Apart(bytes, parts);
    }
}

TEST_F(FirmwareFileTest, VersionBytesBeyondTheFileAreRefused) {
    // A code block of 10 bytes: bytes 128..133 of the code would lie past the end.
    auto image = Image(0, {1, 2, 3, 4, 5, 6});
    std::vector<std::uint8_t> shortCode(image.begin(), image.begin() + 48 + 7);
    WriteLe16(&shortCode[53], 10);
    for (int i = 0; i < 10; ++i) shortCode.push_back(static_cast<std::uint8_t>(i));
    const char* sig = "7351A_FW";
    shortCode.insert(shortCode.end(), sig, sig + 8);
    shortCode.push_back(45);  // 0+1+...+9
    EXPECT_EQ(Check(shortCode), kOk);
    EXPECT_EQ(Version(shortCode), kErrDataNotMatch);
    // The trailing word is missing from this file: it reads as 0.
    BinFileStruct parts;
    ASSERT_TRUE(Apart(shortCode, parts));
    EXPECT_EQ(parts.dwTrailer, 0u);
}

TEST_F(FirmwareFileTest, LoadingFiles) {
    const auto image = Image(1, {0x18, 0x01, 0x02, 0x70, 0x00, 0x07});
    const std::string path = bench.Write("fw.bin", image);
    const FirmwareLoad load = LoadFirmwareFile("fw.bin", path, log());
    ASSERT_EQ(load.failedAt, FirmwareLoadStep::Done);
    EXPECT_EQ(load.file.bytes, image);
    EXPECT_EQ(load.file.version, "180102_70_00_07");
    EXPECT_EQ(load.file.facts.kind, 1);
    EXPECT_EQ(load.file.facts.variant, 1);

    auto broken = image;
    broken[100] ^= 1;
    const FirmwareLoad bad = LoadFirmwareFile("bad.bin", bench.Write("bad.bin", broken), log());
    EXPECT_EQ(bad.failedAt, FirmwareLoadStep::Version);
    EXPECT_EQ(bad.rc, kErrDataNotMatch);

    const std::string missing = bench.File("none.bin");
    const FirmwareLoad none = LoadFirmwareFile("none.bin", missing, log());
    EXPECT_EQ(none.failedAt, FirmwareLoadStep::Read);
    EXPECT_EQ(none.rc, kErrDataNotMatch);
    EXPECT_NE(bench.LogText().find("bFWBinFileLength Failed, strFWFilePath[" + missing + "]"),
              std::string::npos);
    EXPECT_NE(bench.LogText().find("theFile.Open Failed, strFWFilePath[" + missing + "]"),
              std::string::npos);
}

TEST_F(FirmwareFileTest, AHundredMebibyteFileIsRefusedUnread) {
    const std::string path = bench.Write("huge.bin", std::string("7351"));
    std::filesystem::resize_file(path, 100u * 1024 * 1024);  // sparse
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(ReadFirmwareBytes(path, bytes, log()), kErrNoMemory);
    EXPECT_TRUE(bytes.empty());
    EXPECT_NE(bench.LogText().find("Memory located Failed, size=104857600"), std::string::npos);
}

}  // namespace
}  // namespace qnl::test
