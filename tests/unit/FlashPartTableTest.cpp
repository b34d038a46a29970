#include "qnlio/FlashPartTable.h"

#include <gtest/gtest.h>

#include <set>

namespace qnl {
namespace {

TEST(FlashPartTable, EveryRowIsAUsablePart) {
    ASSERT_EQ(FlashPartCount(), 59u);
    const std::set<std::uint8_t> idOpcodes{0x9F, 0x15, 0xAB, 0x90};
    const std::set<std::uint8_t> sectorUnits{1, 4, 8, 16};
    for (std::size_t i = 0; i < FlashPartCount(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i + 1));
        const FlashPart& part = FlashPartRow(i);
        EXPECT_FALSE(part.IsNone());
        EXPECT_TRUE(idOpcodes.count(part.IdOpcode()));
        EXPECT_TRUE(part.IdAddressBytes() == 0 || part.IdAddressBytes() == 3);
        EXPECT_TRUE(sectorUnits.count(part.SectorUnits()));
        EXPECT_GE(part.CapacityBytes(), 64u * 1024);
        EXPECT_LE(part.CapacityBytes(), 1024u * 1024);
        EXPECT_EQ(part.CapacityBytes() % part.SectorSizeBytes(), 0u);
        EXPECT_GT(part.EraseTimeFactor(), 0);
        EXPECT_FALSE(part.Vendor().empty());
        EXPECT_FALSE(part.Name().empty());
        EXPECT_EQ(part.bytes[FlashPart::kSize - 1], 0);
        EXPECT_EQ(part.bytes[FlashPart::kNameOffset - 1], 0);  // vendor text is terminated
    }
}

TEST(FlashPartTable, RowsCarryTheTableValuesInThe522ByteForm) {
    // Row 40: the wildcard ID part with 32 KB sectors and its own opcodes.
    const FlashPart& atmel = FlashPartRow(39);
    const std::uint8_t head[11] = {0x15, 0, 0x62, 8, 16, 0, 0x52, 22, 0x1F, 0x65, 0xFF};
    for (std::size_t i = 0; i < 11; ++i) EXPECT_EQ(atmel.bytes[i], head[i]) << "byte " << i;
    EXPECT_EQ(atmel.Vendor(), "ATMEL");
    EXPECT_EQ(atmel.Name(), "AT25F512A(B)");
    EXPECT_EQ(atmel.SectorSizeBytes(), 32u * 1024);

    const FlashPart& giga = FlashPartRow(24);  // row 25
    EXPECT_EQ(giga.IdBytes(), (std::array<std::uint8_t, 3>{0xC8, 0x40, 0x13}));
    EXPECT_EQ(giga.EraseTimeFactor(), 150);
    EXPECT_EQ(giga.CapacityBytes(), 512u * 1024);

    // The 1 MB parts are listed as 1020 KB: 255 units.
    EXPECT_EQ(FlashPartRow(11).CapacityUnits(), 255);
    EXPECT_EQ(FlashPartRow(11).bytes[4], 255);
    EXPECT_EQ(FlashPartRow(11).bytes[5], 0);

    EXPECT_EQ(FlashPartRow(55).SectorSizeBytes(), 16u * 1024);  // row 56
    EXPECT_EQ(FlashPartRow(41).IdOpcode(), 0xAB);               // row 42
    EXPECT_EQ(FlashPartRow(43).IdOpcode(), 0x90);               // row 44
    EXPECT_EQ(FlashPartRow(43).IdAddressBytes(), 3);
}

TEST(FlashPartTable, IdentificationFindsEachRowExceptTheRepeatedIds) {
    for (std::size_t i = 0; i < FlashPartCount(); ++i) {
        auto id = FlashPartRow(i).IdBytes();
        if (id[2] == FlashPart::kWildcardIdByte) id[2] = 0x42;
        const auto found = FindFlashPartById(id.data());
        ASSERT_TRUE(found.has_value()) << "row " << i + 1;
        if (i == 6 || i == 7) {
            EXPECT_EQ(*found, i - 4) << "rows 7 and 8 repeat rows 3 and 4";
        } else {
            EXPECT_EQ(*found, i) << "row " << i + 1;
        }
    }
}

TEST(FlashPartTable, WildcardMatchesAnyCapacityByteOnlyWhereTheRowSaysSo) {
    const std::uint8_t atmelAny[3] = {0x1F, 0x65, 0x00};
    EXPECT_EQ(FindFlashPartById(atmelAny), std::optional<std::size_t>(39));
    const std::uint8_t mxicWrongCapacity[3] = {0xC2, 0x20, 0x15};
    EXPECT_FALSE(FindFlashPartById(mxicWrongCapacity).has_value());
    const std::uint8_t blank[3] = {0xFF, 0xFF, 0xFF};
    EXPECT_FALSE(FindFlashPartById(blank).has_value());
    EXPECT_FALSE(FlashIdMatches(FlashPart::None(), blank));
}

TEST(FlashPartTable, NoneIsAllOnesAndOutOfRangeRowsAreNone) {
    const FlashPart none = FlashPart::None();
    EXPECT_TRUE(none.IsNone());
    for (std::uint8_t b : none.bytes) ASSERT_EQ(b, 0xFF);
    EXPECT_TRUE(FlashPartRow(FlashPartCount()).IsNone());
    EXPECT_EQ(none.Name().size(), FlashPart::kTextBytes);  // never reads past its field
}

}  // namespace
}  // namespace qnl
