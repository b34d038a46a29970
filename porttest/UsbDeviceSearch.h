// Is a USB device attached to one of the target controllers, as the operating system sees it?
//
// The search finds the USB host controllers whose PCI vendor and device IDs are in the
// identification tables (at most 8), and walks every port of every hub below each of their
// root hubs, descending into external hubs; meeting an attached device that is not a hub sets
// the flag. It does not stop at the first device. A part that cannot be read (controller, hub,
// port) is skipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/UsbTopology.h"

namespace qnl {

// At most this many target controllers are searched.
inline constexpr std::size_t kMaxUsbTargetControllers = 8;
// External hubs nest at most five deep below a root hub; deeper entries are not followed, so a
// cyclic or corrupt view cannot recurse without end.
inline constexpr int kMaxUsbHubDepth = 5;

// True when the controller's IDs are those of a kind-0 or kind-1 target controller.
bool IsTargetUsbController(const UsbHostController& controller);

// Appends the target controllers (at most 8 in all) to `controllers`; 1 when at least one
// matched, else 0.
int EnumTargetHostControllers(IUsbTopology& topology, std::vector<UsbHostController>& controllers);

// Walks ports 1..ports of `hub`; sets `usbDeviceFound` to 1 at an attached non-hub device and
// never clears it.
void WalkHubPorts(IUsbTopology& topology, const std::string& hub, std::uint32_t ports, int depth,
                  std::uint8_t& usbDeviceFound);

// The whole search. A null topology (no USB view) finds nothing; the flag keeps its value.
void SearchConnectedUsbDevice(IUsbTopology* topology, std::uint8_t& usbDeviceFound);

}  // namespace qnl
