// The USB device search over sysfs views in a temporary folder.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/SysfsUsbTopology.h"
#include "porttest/UsbDeviceSearch.h"
#include "qnlio/ChipIdTable.h"
#include "support/FakeSysfs.h"

namespace qnl::test {
namespace {

std::uint8_t Search(const FakeSysfs& tree) {
    SysfsUsbTopology topology(tree.Root());
    std::uint8_t found = 0;
    SearchConnectedUsbDevice(&topology, found);
    return found;
}

TEST(UsbDeviceSearch, FindsADeviceBehindAHubBehindTheRootHub) {
    FakeSysfs tree;
    tree.AddUsbController(5, 0, 0, kMakerVendorId, 0x7350, 3, 4);
    const std::string hub = tree.AttachUsb("usb3", 2, 4);
    EXPECT_EQ(Search(tree), 0);  // the hub alone is not a device
    tree.AttachUsb(hub, 3);
    EXPECT_EQ(Search(tree), 1);

    // Two levels deeper is still found.
    FakeSysfs deep;
    deep.AddUsbController(5, 0, 0, kMakerVendorId, 0x7352, 1, 2);
    const std::string h1 = deep.AttachUsb("usb1", 1, 4);
    const std::string h2 = deep.AttachUsb(h1, 4, 4);
    deep.AttachUsb(h2, 1);
    EXPECT_EQ(Search(deep), 1);
}

TEST(UsbDeviceSearch, OnlyTargetControllersCountAndEveryOneOfThemIsWalked) {
    FakeSysfs tree;
    tree.AddUsbController(0, 20, 0, 0x8086, 0xA36D, 1, 4);  // another maker's controller
    tree.AttachUsb("usb1", 1);
    EXPECT_EQ(Search(tree), 0);

    // The first target has no device; the second (kind 1, a second root hub) has one.
    tree.AddUsbController(5, 0, 0, kMakerVendorId, 0x7350, 3, 4);
    tree.AddUsbController(6, 0, 0, kMakerVendorId, 0x7354, 5, 2);
    EXPECT_EQ(Search(tree), 0);
    tree.AttachUsb("usb5", 2);
    EXPECT_EQ(Search(tree), 1);
}

TEST(UsbDeviceSearch, TheFlagIsNeverClearedAndBrokenViewsAreSkipped) {
    FakeSysfs tree;
    tree.AddUsbController(5, 0, 0, kMakerVendorId, 0x7350, 3, 4);
    SysfsUsbTopology topology(tree.Root());
    std::uint8_t found = 1;
    SearchConnectedUsbDevice(&topology, found);
    EXPECT_EQ(found, 1);  // the caller clears it
    SearchConnectedUsbDevice(nullptr, found);
    EXPECT_EQ(found, 1);

    // A hub with a port count out of range is skipped, its devices with it.
    const std::string hub = tree.AttachUsb("usb3", 1, 4);
    tree.AttachUsb(hub, 1);
    std::ofstream(tree.Root() + "/bus/usb/devices/" + hub + "/maxchild") << "70000\n";
    found = 0;
    SearchConnectedUsbDevice(&topology, found);
    EXPECT_EQ(found, 0);

    // No sysfs at all: nothing found, nothing thrown.
    SysfsUsbTopology none("/nonexistent-sysfs-root");
    SearchConnectedUsbDevice(&none, found);
    EXPECT_EQ(found, 0);
}

TEST(UsbDeviceSearch, AtMostEightTargetControllersAreTaken) {
    FakeSysfs tree;
    for (int i = 0; i < 9; ++i)
        tree.AddUsbController(i + 1, 0, 0, kMakerVendorId, 0x7350, i + 1, 1);
    SysfsUsbTopology topology(tree.Root());
    std::vector<UsbHostController> controllers;
    EXPECT_EQ(EnumTargetHostControllers(topology, controllers), 1);
    ASSERT_EQ(controllers.size(), 8u);
    EXPECT_EQ(controllers.front().bus, 1);
    EXPECT_EQ(controllers.back().bus, 8);
    // A device on the ninth controller is not seen.
    tree.AttachUsb("usb9", 1);
    EXPECT_EQ(Search(tree), 0);
    tree.AttachUsb("usb8", 1);
    EXPECT_EQ(Search(tree), 1);
}

}  // namespace
}  // namespace qnl::test
