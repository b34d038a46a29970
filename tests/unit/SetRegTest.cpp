// The manual register list: rows to configuration entries, and what cancels the dialog.
#include <gtest/gtest.h>

#include "settings/SetReg.h"
#include "support/FolderTool.h"

namespace qnl::test {
namespace {

std::vector<std::uint8_t> Bytes(const ConfigEntryBytes& e) {
    return {e.begin(), e.end()};
}

class SetRegTest : public ::testing::Test {
  protected:
    void SetUp() override { regs().OnInitDialog(); }
    SET_REG& regs() { return bench.ctx().setReg; }
    FolderTool bench;
};

TEST_F(SetRegTest, OpeningEnablesTheFirstRowOnly) {
    EXPECT_EQ(regs().m_iRegNumber, 1);
    EXPECT_EQ(regs().m_bRegValid, 0);
    EXPECT_TRUE(regs().rows[0].enabled);
    EXPECT_FALSE(regs().rows[1].enabled);
}

TEST_F(SetRegTest, RowsOfEachWidthBecomeEntries) {
    regs().OnEnChangeEditNumber("3");
    EXPECT_TRUE(regs().rows[2].enabled);
    EXPECT_FALSE(regs().rows[3].enabled);
    regs().rows[0] = {0, "1A", "5", true};
    regs().rows[1] = {1, "2B3C", "1234", true};
    regs().rows[2] = {2, "44", "ABCDEF01", true};
    ASSERT_EQ(regs().vSaveRegisterRows(), SET_REG::DialogEnd::Accepted);
    ASSERT_EQ(regs().ValidEntries().size(), 3u);
    EXPECT_EQ(Bytes(regs().m_RegEntry[0]),
              (std::vector<std::uint8_t>{0xCC, 1, 0x1A, 0, 5, 0, 0, 0}));
    EXPECT_EQ(Bytes(regs().m_RegEntry[1]),
              (std::vector<std::uint8_t>{0xCC, 2, 0x3C, 0x2B, 0x34, 0x12, 0, 0}));
    EXPECT_EQ(Bytes(regs().m_RegEntry[2]),
              (std::vector<std::uint8_t>{0xCC, 4, 0x44, 0, 0x01, 0xEF, 0xCD, 0xAB}));
    EXPECT_EQ(regs().m_bRegValid, 1);
}

TEST_F(SetRegTest, EmptyRowLowerCaseAndLongAddress) {
    regs().rows[0] = {1, "", "", true};
    ASSERT_EQ(regs().vSaveRegisterRows(), SET_REG::DialogEnd::Accepted);
    EXPECT_EQ(Bytes(regs().m_RegEntry[0]), (std::vector<std::uint8_t>{0xCC, 2, 0, 0, 0, 0, 0, 0}));
    // The address keeps its low 16 bits; the width cuts the value.
    EXPECT_EQ(regs().EditGetsettingAfddress("12abcd"), 0xABCD);
    regs().rows[0] = {0, "12abcd", "1ff", true};
    ASSERT_EQ(regs().vSaveRegisterRows(), SET_REG::DialogEnd::Accepted);
    EXPECT_EQ(Bytes(regs().m_RegEntry[0]),
              (std::vector<std::uint8_t>{0xCC, 1, 0xCD, 0xAB, 0xFF, 0, 0, 0}));
}

TEST_F(SetRegTest, AnInvalidCharacterCancelsAndEmptiesTheList) {
    regs().OnEnChangeEditNumber("3");
    regs().rows[0] = {0, "10", "1", true};
    regs().rows[1] = {0, "11", "G", true};
    regs().rows[2] = {0, "12", "3", true};
    EXPECT_EQ(regs().vSaveRegisterRows(), SET_REG::DialogEnd::Cancelled);
    EXPECT_EQ(bench.Console(), "Manual Setting Value Invalid (0-F)\r\n");
    EXPECT_EQ(regs().m_iRegNumber, 0);
    EXPECT_EQ(regs().m_bRegValid, 0);
    EXPECT_EQ(regs().m_RegEntry[0][2], 0x10);  // row 1 was stored before the failure
    EXPECT_TRUE(regs().ValidEntries().empty());

    regs().rows[0] = {0, "1 0", "1", true};
    regs().OnEnChangeEditNumber("1");
    EXPECT_EQ(regs().vSaveRegisterRows(), SET_REG::DialogEnd::Cancelled);
    EXPECT_NE(bench.Console().find("Manual Setting Address Invalid (0-F)\r\n"), std::string::npos);
}

TEST_F(SetRegTest, NumberZeroAcceptsAnEmptyListAndCancelEmptiesIt) {
    regs().OnEnChangeEditNumber("0");
    EXPECT_EQ(regs().vSaveRegisterRows(), SET_REG::DialogEnd::Accepted);
    EXPECT_TRUE(regs().ValidEntries().empty());
    regs().OnEnChangeEditNumber("2");
    EXPECT_EQ(regs().OnCancel(), SET_REG::DialogEnd::Cancelled);
    EXPECT_EQ(regs().m_iRegNumber, 0);
}

TEST_F(SetRegTest, ANumberAboveSixteenNeverUsesMoreThanSixteenEntries) {
    regs().OnEnChangeEditNumber("40");
    EXPECT_EQ(bench.Console(), "Manual Setting Number Invalid (0-16)\r\n");
    EXPECT_EQ(regs().m_iRegNumber, 40);  // stays as typed
    EXPECT_TRUE(regs().rows[15].enabled);
    for (auto& row : regs().rows) row = {0, "1", "2", true};
    EXPECT_EQ(regs().vSaveRegisterRows(), SET_REG::DialogEnd::Accepted);
    EXPECT_EQ(regs().ValidEntries().size(), 16u);
    EXPECT_EQ(regs().m_iRegNumber, 16) << "Save stores the count it saved";

    regs().OnEnChangeEditNumber("99999999999999999999");  // beyond any int
    EXPECT_EQ(regs().ValidEntries().size(), 16u);
    regs().OnEnChangeEditNumber("-3");
    EXPECT_TRUE(regs().ValidEntries().empty());
    EXPECT_EQ(regs().vSaveRegisterRows(), SET_REG::DialogEnd::Accepted);
}

}  // namespace
}  // namespace qnl::test
