// The operating system's view of USB: host controllers, their root hubs, and per hub its
// ports with what is attached. Each call answers one question and may fail on its own, so a
// walk skips just the object concerned (a controller, a hub, a port).
//
// Hubs are named by opaque texts that only the implementation interprets.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qnl {

struct UsbHostController {
    std::uint16_t vendorId = 0;  // PCI identification of the controller function
    std::uint16_t deviceId = 0;
    std::uint8_t bus = 0, device = 0, function = 0;  // PCI address (domain 0)
    std::string name;  // how the implementation names the controller, for messages
};

struct UsbPortConnection {
    bool connected = false;    // a device is attached to the port
    bool deviceIsHub = false;  // the attached device is a hub
};

class IUsbTopology {
  public:
    virtual ~IUsbTopology() = default;
    // The present USB host controllers (PCI functions), in a stable order.
    virtual std::vector<UsbHostController> HostControllers() = 0;
    // The root hubs of a controller (an xHCI controller may present one per USB generation);
    // empty when they cannot be read.
    virtual std::vector<std::string> RootHubs(const UsbHostController& controller) = 0;
    // The number of downstream ports of a hub; nullopt when the hub cannot be read.
    virtual std::optional<std::uint32_t> PortCount(const std::string& hub) = 0;
    // What is attached to port `index` (1-based) of a hub; nullopt when it cannot be read.
    virtual std::optional<UsbPortConnection> PortConnection(const std::string& hub,
                                                            std::uint32_t index) = 0;
    // The hub attached to port `index` of a hub; nullopt when it cannot be named.
    virtual std::optional<std::string> AttachedHub(const std::string& hub, std::uint32_t index) = 0;
};

}  // namespace qnl
