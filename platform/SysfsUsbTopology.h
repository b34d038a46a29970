// The USB view from sysfs: <root>/bus/usb/devices holds one entry per USB device, root hubs
// named "usbN" (their sysfs parent is the host controller's PCI function), other devices
// named by bus and port path ("3-1", "3-1.4"). A hub lists its port count in "maxchild"; the
// device on port p of hub "usbN" is "N-p", of hub "N-x" it is "N-x.p". bDeviceClass 09 is a hub.
//
// The root is /sys on a running system; tests point it at a tree in a temporary folder.
#pragma once

#include <string>

#include "platform/UsbTopology.h"

namespace qnl {

class SysfsUsbTopology final : public IUsbTopology {
  public:
    explicit SysfsUsbTopology(std::string sysRoot = "/sys") : root_(std::move(sysRoot)) {}

    std::vector<UsbHostController> HostControllers() override;
    std::vector<std::string> RootHubs(const UsbHostController& controller) override;
    std::optional<std::uint32_t> PortCount(const std::string& hub) override;
    std::optional<UsbPortConnection> PortConnection(const std::string& hub,
                                                    std::uint32_t index) override;
    std::optional<std::string> AttachedHub(const std::string& hub, std::uint32_t index) override;

  private:
    std::string DevicesFolder() const;
    // The sysfs name of the device on port `index` of `hub`; empty for a bad hub name.
    static std::string ChildName(const std::string& hub, std::uint32_t index);
    std::string root_;
};

}  // namespace qnl
