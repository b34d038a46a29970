// USB device arrival and removal, as the system reports them.
//
// A source watches for devices coming and going and passes each event to its listener on a
// thread of its own. The window reacts to the events of the maker's USB device (see
// qnlio/ChipIdTable.h) with a port check; console mode starts no source at all.
//
// Sources: the udev monitor with the linux backend (platform/UdevDeviceChangeSource.h),
// WM_DEVICECHANGE for USB device interfaces with the dll backend on Windows
// (platform/WinDeviceChangeSource.h), the simulated station's own plug and unplug events
// otherwise (qnlio/sim/SimPlugBoard.h).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qnl {

struct DeviceChangeEvent {
    enum class Kind { Arrival, Removal };
    Kind kind = Kind::Arrival;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string path;  // where the system saw it, for messages ("1-2.3", a sysfs path, ...)
};

// A device's identifiers from udev's PRODUCT text, "vid/pid/bcd" in hex without leading zeros
// ("1e73/735/100"); nullopt for anything else (a field that is not hex, or above 16 bits).
struct UsbProductId {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};
std::optional<UsbProductId> ParseUdevProduct(std::string_view product);
// A device's identifiers from the name Windows gives a USB device interface in WM_DEVICECHANGE
// ("\\?\USB#VID_1E73&PID_0735#5&1a2b3c&0&2#{a5dcbf10-...}"): the "VID_" and "PID_" fields of
// the second part, four hex digits each, in either case; nullopt for anything else.
std::optional<UsbProductId> ParseUsbInterfaceName(std::string_view name);

class IDeviceChangeSource {
  public:
    using Listener = std::function<void(const DeviceChangeEvent&)>;

    virtual ~IDeviceChangeSource() = default;
    // Starts passing events to `listener` (from a thread of the source). False, with the reason
    // in `error`, when the source cannot watch (no netlink socket in a container, for one): the
    // tool then goes on without events.
    virtual bool Start(Listener listener, std::string& error) = 0;
    // Stops passing events; when it returns the listener is no longer called. Also done by the
    // destructor.
    virtual void Stop() = 0;
};

// Whether an event is one of the given device's.
inline bool IsDevice(const DeviceChangeEvent& event, std::uint16_t vendorId,
                     std::uint16_t productId) {
    return event.vendorId == vendorId && event.productId == productId;
}

}  // namespace qnl
