#include "porttest/UsbDeviceSearch.h"

#include "qnlio/ChipIdTable.h"

namespace qnl {

bool IsTargetUsbController(const UsbHostController& controller) {
    // Kind 0 first, then kind 1, as the identification tables are ordered.
    for (const ChipId& id : kKind0Ids)
        if (controller.vendorId == (id.vendorId & 0xFFFFu) &&
            controller.deviceId == (id.deviceId & 0xFFFFu))
            return true;
    for (const ChipId& id : kKind1Ids)
        if (controller.vendorId == (id.vendorId & 0xFFFFu) &&
            controller.deviceId == (id.deviceId & 0xFFFFu))
            return true;
    return false;
}

int EnumTargetHostControllers(IUsbTopology& topology, std::vector<UsbHostController>& controllers) {
    bool matched = false;
    for (const UsbHostController& c : topology.HostControllers()) {
        if (!IsTargetUsbController(c)) continue;
        matched = true;
        // Further matches do not fit and are not stored.
        if (controllers.size() < kMaxUsbTargetControllers) controllers.push_back(c);
    }
    return matched ? 1 : 0;
}

void WalkHubPorts(IUsbTopology& topology, const std::string& hub, std::uint32_t ports, int depth,
                  std::uint8_t& usbDeviceFound) {
    for (std::uint32_t index = 1; index <= ports; ++index) {
        const auto connection = topology.PortConnection(hub, index);
        if (!connection || !connection->connected) continue;
        if (!connection->deviceIsHub) {
            usbDeviceFound = 1;
            continue;
        }
        if (depth + 1 > kMaxUsbHubDepth) continue;
        const auto child = topology.AttachedHub(hub, index);
        if (!child) continue;
        const auto childPorts = topology.PortCount(*child);
        if (!childPorts) continue;
        WalkHubPorts(topology, *child, *childPorts, depth + 1, usbDeviceFound);
    }
}

void SearchConnectedUsbDevice(IUsbTopology* topology, std::uint8_t& usbDeviceFound) {
    if (topology == nullptr) return;
    try {
        std::vector<UsbHostController> controllers;
        if (!EnumTargetHostControllers(*topology, controllers)) return;
        for (const UsbHostController& c : controllers) {
            for (const std::string& rootHub : topology->RootHubs(c)) {
                const auto ports = topology->PortCount(rootHub);
                if (!ports) continue;
                WalkHubPorts(*topology, rootHub, *ports, 0, usbDeviceFound);
            }
        }
    } catch (...) {
        // The search ends; the flag keeps what it had.
    }
}

}  // namespace qnl
