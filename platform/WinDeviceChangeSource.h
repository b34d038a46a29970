// USB device arrival and removal on Windows: WM_DEVICECHANGE for the USB device interface
// class (RegisterDeviceNotificationW), received by a message-only window on a thread of the
// source. DBT_DEVICEARRIVAL is arrival, DBT_DEVICEREMOVECOMPLETE removal; the device's
// identifiers come from the interface name (ParseUsbInterfaceName). Built on Windows only
// (platform/win/WinDeviceChangeSource.cpp).
#pragma once

#include <atomic>
#include <future>
#include <mutex>
#include <thread>

#include "platform/DeviceChange.h"

namespace qnl {

class WinDeviceChangeSource final : public IDeviceChangeSource {
  public:
    WinDeviceChangeSource() = default;
    ~WinDeviceChangeSource() override;
    WinDeviceChangeSource(const WinDeviceChangeSource&) = delete;
    WinDeviceChangeSource& operator=(const WinDeviceChangeSource&) = delete;

    bool Start(Listener listener, std::string& error) override;
    void Stop() override;

    // The window's thread: passes one WM_DEVICECHANGE on (called by its window procedure).
    void OnDeviceChange(unsigned long event, const void* data);

  private:
    void Run(std::promise<std::string>* started);

    std::mutex mutex_;
    Listener listener_;
    std::thread thread_;
    std::atomic<unsigned long> threadId_{0};
};

}  // namespace qnl
