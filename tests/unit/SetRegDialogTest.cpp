// The "Setting Register" dialog over the manual register list.
#include <gtest/gtest.h>

#include "app/SetRegDialog.h"
#include "support/RecordingPrompts.h"

namespace qnl::test {
namespace {

using D = SetRegDialog;
using End = SET_REG::DialogEnd;

std::vector<std::uint8_t> Bytes(const ConfigEntryBytes& e) {
    return {e.begin(), e.end()};
}

class SetRegDialogTest : public ::testing::Test {
  protected:
    void SetUp() override { dialog.OnInitDialog(); }
    void Row(int r, int width, const std::string& address, const std::string& value) {
        dialog.OnSelectionChanged(D::Bytes(r), width);
        dialog.OnTextChanged(D::Address(r), address);
        dialog.OnTextChanged(D::Value(r), value);
    }
    bool RowEnabled(int r) {
        const bool bytes = dialog.Controls().Get(D::Bytes(r)).enabled;
        EXPECT_EQ(dialog.Controls().Get(D::Address(r)).enabled, bytes);
        EXPECT_EQ(dialog.Controls().Get(D::Value(r)).enabled, bytes);
        return bytes;
    }

    RecordingPrompts prompts;
    SET_REG list{prompts};
    SetRegDialog dialog{list};
};

TEST_F(SetRegDialogTest, OpeningShowsOneEmptyRowOfWidthOne) {
    EXPECT_EQ(dialog.Controls().Get(D::kEditNumber).text, "1");
    EXPECT_TRUE(RowEnabled(0));
    for (int r = 1; r < 16; ++r) EXPECT_FALSE(RowEnabled(r)) << r;
    const ControlState bytes = dialog.Controls().Get(D::Bytes(5));
    EXPECT_EQ(bytes.items, (std::vector<std::string>{"1", "2", "4"}));
    EXPECT_EQ(bytes.selection, 0);
    EXPECT_EQ(dialog.Controls().Get(D::kButtonCancel).text, "取消");
    EXPECT_EQ(dialog.Controls().Get(D::kLabelNumber).text, "Number of Register : ");
}

TEST_F(SetRegDialogTest, ThreeRowsOfEachWidthBecomeTheirEntries) {
    dialog.OnTextChanged(D::kEditNumber, "3");
    EXPECT_TRUE(RowEnabled(2));
    EXPECT_FALSE(RowEnabled(3));
    Row(0, 0, "1a", "5");
    Row(1, 1, "2B3C", "1234");
    Row(2, 2, "44", "abcdef01");
    EXPECT_EQ(dialog.Controls().Get(D::Value(2)).text, "ABCDEF01");
    ASSERT_EQ(dialog.OnSave(), End::Accepted);
    ASSERT_EQ(list.ValidEntries().size(), 3u);
    EXPECT_EQ(Bytes(list.m_RegEntry[0]),
              (std::vector<std::uint8_t>{0xCC, 0x01, 0x1A, 0x00, 0x05, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Bytes(list.m_RegEntry[1]),
              (std::vector<std::uint8_t>{0xCC, 0x02, 0x3C, 0x2B, 0x34, 0x12, 0x00, 0x00}));
    EXPECT_EQ(Bytes(list.m_RegEntry[2]),
              (std::vector<std::uint8_t>{0xCC, 0x04, 0x44, 0x00, 0x01, 0xEF, 0xCD, 0xAB}));
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(SetRegDialogTest, AGInTheValueOfRowTwoOfThreeCancelsAndEmptiesTheList) {
    dialog.OnTextChanged(D::kEditNumber, "3");
    Row(0, 0, "10", "1");
    Row(1, 0, "11", "1G");  // no message while typing: the parsers run at Save
    Row(2, 0, "12", "3");
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(dialog.OnSave(), End::Cancelled);
    EXPECT_EQ(prompts.messages, std::vector<std::string>{"Manual Setting Value Invalid (0-F)\r\n"});
    EXPECT_EQ(list.m_iRegNumber, 0);
    EXPECT_TRUE(list.ValidEntries().empty());
    EXPECT_EQ(Bytes(list.m_RegEntry[0]),
              (std::vector<std::uint8_t>{0xCC, 0x01, 0x10, 0x00, 0x01, 0x00, 0x00, 0x00}));
}

TEST_F(SetRegDialogTest, SeventeenEnablesAllRowsAndSaveStoresSixteen) {
    dialog.OnTextChanged(D::kEditNumber, "17");
    EXPECT_EQ(prompts.messages,
              std::vector<std::string>{"Manual Setting Number Invalid (0-16)\r\n"});
    for (int r = 0; r < 16; ++r) EXPECT_TRUE(RowEnabled(r)) << r;
    EXPECT_EQ(dialog.Controls().Get(D::kEditNumber).text, "17");
    for (int r = 0; r < 16; ++r) Row(r, 1, std::to_string(r), "FF");
    EXPECT_EQ(dialog.OnSave(), End::Accepted);
    EXPECT_EQ(list.m_iRegNumber, 16);
    EXPECT_EQ(list.ValidEntries().size(), 16u);
    EXPECT_EQ(Bytes(list.m_RegEntry[15])[2], 0x15);
}

TEST_F(SetRegDialogTest, ReopeningShowsOneEmptyRowSaveStoresItAndCancelEmptiesTheList) {
    dialog.OnTextChanged(D::kEditNumber, "2");
    Row(0, 2, "AB", "CD");
    Row(1, 2, "EF", "12");
    ASSERT_EQ(dialog.OnSave(), End::Accepted);
    dialog.OnInitDialog();
    EXPECT_EQ(dialog.Controls().Get(D::Address(0)).text, "");
    EXPECT_EQ(dialog.Controls().Get(D::Bytes(0)).selection, 0);
    EXPECT_FALSE(RowEnabled(1));
    ASSERT_EQ(dialog.OnSave(), End::Accepted);
    ASSERT_EQ(list.ValidEntries().size(), 1u);
    EXPECT_EQ(Bytes(list.m_RegEntry[0]),
              (std::vector<std::uint8_t>{0xCC, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
    dialog.OnInitDialog();
    EXPECT_EQ(dialog.OnCancel(), End::Cancelled);
    EXPECT_TRUE(list.ValidEntries().empty());
    dialog.OnTextChanged(D::kEditNumber, "0");
    EXPECT_EQ(dialog.OnSave(), End::Accepted);
    EXPECT_TRUE(list.ValidEntries().empty());
}

}  // namespace
}  // namespace qnl::test
