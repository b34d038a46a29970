// What the tool reads from the system's USB device changes, and the firmware path list the
// device and upgrade pages keep.
#include <gtest/gtest.h>

#include "platform/DeviceChange.h"
#include "platform/UdevDeviceChangeSource.h"
#include "settings/FirmwarePathList.h"
#include "support/FolderTool.h"

namespace qnl::test {
namespace {

TEST(UdevProductTest, ReadsHexFieldsWithoutLeadingZerosAndRefusesAnythingElse) {
    auto id = ParseUdevProduct("1e73/735/100");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->vendorId, 0x1E73);
    EXPECT_EQ(id->productId, 0x0735);
    id = ParseUdevProduct("0bda/0411/0001");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->productId, 0x0411);
    for (const char* bad : {"", "1e73", "1e73/735", "1e73/735/", "1e73//100", "1e73/7350a/100",
                            "1e73/735/100/1", "xyz/735/100", "1e73/-35/100", "11e73/735/100"})
        EXPECT_FALSE(ParseUdevProduct(bad)) << bad;
}

TEST(UdevProductTest, OnlyAddAndRemoveAreEvents) {
    auto event = UdevEventOf("add", "1e73/735/100", "/devices/pci0000:00/usb3/3-1");
    ASSERT_TRUE(event);
    EXPECT_EQ(event->kind, DeviceChangeEvent::Kind::Arrival);
    EXPECT_TRUE(IsDevice(*event, 0x1E73, 0x0735));
    EXPECT_EQ(event->path, "/devices/pci0000:00/usb3/3-1");
    event = UdevEventOf("remove", "1e73/735/100", nullptr);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->kind, DeviceChangeEvent::Kind::Removal);
    EXPECT_FALSE(UdevEventOf("bind", "1e73/735/100", nullptr));
    EXPECT_FALSE(UdevEventOf("change", "1e73/735/100", nullptr));
    EXPECT_FALSE(UdevEventOf("add", nullptr, nullptr));
    EXPECT_FALSE(UdevEventOf("add", "garbage", nullptr));
}

TEST(FirmwarePathListTest, NewestFirstAtMostFiveAndNoNameTwice) {
    FirmwarePathList list;
    for (const char* name : {"a.bin", "b.bin", "c.bin", "d.bin", "e.bin"}) list.PutOnTop(name);
    EXPECT_EQ(list.Entries(),
              (std::vector<std::string>{"e.bin", "d.bin", "c.bin", "b.bin", "a.bin"}));
    list.PutOnTop("f.bin");  // a sixth name drops the oldest
    EXPECT_EQ(list.Entries(),
              (std::vector<std::string>{"f.bin", "e.bin", "d.bin", "c.bin", "b.bin"}));
    list.PutOnTop("C.BIN");  // already listed (case aside): moved to the top, shown as chosen now
    EXPECT_EQ(list.Entries(),
              (std::vector<std::string>{"C.BIN", "f.bin", "e.bin", "d.bin", "b.bin"}));
}

TEST(FirmwarePathListTest, FileHoldsOnePathPerLineWithCrLfAndIsReplaced) {
    FolderTool tool;
    std::string error;
    ASSERT_TRUE(SaveBrowsedBinPaths(tool.Folder(), {"/fw/new.bin", "old.bin"}, error));
    EXPECT_EQ(tool.Read("BrowsedBINPath.txt"), "/fw/new.bin\r\nold.bin\r\n");
    ASSERT_TRUE(SaveBrowsedBinPaths(tool.Folder(), {"x.rom"}, error));
    EXPECT_EQ(tool.Read("BrowsedBINPath.txt"), "x.rom\r\n");
    EXPECT_FALSE(SaveBrowsedBinPaths(tool.Folder() + "/missing-folder", {"x.rom"}, error));
    EXPECT_NE(error.find("missing-folder"), std::string::npos);
}

}  // namespace
}  // namespace qnl::test
