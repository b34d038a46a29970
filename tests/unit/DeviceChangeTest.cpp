// What the tool reads from the system's USB device changes.
#include <gtest/gtest.h>

#include "platform/DeviceChange.h"
#include "platform/UdevDeviceChangeSource.h"

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

TEST(UsbInterfaceNameTest, ReadsVendorAndProductAndRefusesAnythingElse) {
    auto id = ParseUsbInterfaceName(
        "\\\\?\\USB#VID_1E73&PID_0735#5&1a2b3c&0&2#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->vendorId, 0x1E73);
    EXPECT_EQ(id->productId, 0x0735);
    id = ParseUsbInterfaceName("\\\\?\\usb#vid_0bda&pid_0411&mi_00#6&abc#{guid}");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->productId, 0x0411);
    for (const char* bad :
         {"", "\\\\?\\USB", "\\\\?\\USB#VID_1E73&PID_0735", "\\\\?\\HID#VID_1E73&PID_0735#x#{g}",
          "\\\\?\\USB#VID_1E7&PID_0735#x#{g}", "\\\\?\\USB#VID_1E73&PID_07350#x#{g}",
          "\\\\?\\USB#VID_1E7G&PID_0735#x#{g}", "\\\\?\\USB#PID_0735&VID_1E73#x#{g}",
          "\\\\?\\USB#ROOT_HUB30#x#{g}"})
        EXPECT_FALSE(ParseUsbInterfaceName(bad)) << bad;
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

}  // namespace
}  // namespace qnl::test
