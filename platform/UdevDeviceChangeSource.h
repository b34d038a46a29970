// USB device arrival and removal from udev: a monitor on udev's netlink group, subsystem "usb",
// device type "usb_device", read on a thread of its own. "add" is an arrival, "remove" a
// removal; the identifiers come from the PRODUCT property, which remove events still carry.
//
// Where there is no netlink socket (a container), Start fails with the reason and the tool
// goes on without events.
#pragma once

#include <memory>
#include <string>

#include "platform/DeviceChange.h"

namespace qnl {

class UdevDeviceChangeSource final : public IDeviceChangeSource {
  public:
    UdevDeviceChangeSource();
    ~UdevDeviceChangeSource() override;
    UdevDeviceChangeSource(const UdevDeviceChangeSource&) = delete;
    UdevDeviceChangeSource& operator=(const UdevDeviceChangeSource&) = delete;

    bool Start(Listener listener, std::string& error) override;
    void Stop() override;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The event of one udev message: its ACTION ("add", "remove"), PRODUCT and DEVPATH properties.
// nullopt for any other action or a PRODUCT that does not parse.
std::optional<DeviceChangeEvent> UdevEventOf(const char* action, const char* product,
                                             const char* devpath);

}  // namespace qnl
