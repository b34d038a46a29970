// The USB view on Windows: the USB host controller device interfaces from SetupAPI, their root
// hubs and the hub ports through the USB hub I/O controls (DeviceIoControl).
//
// The view's logic (the identification in the interface path, the two-step name reads, the
// record offsets) sits over IWinUsbDeviceIo, the handful of system calls it needs, so that it is
// tested over a fake on every system; platform/win/WinUsbDeviceIo.cpp makes the real calls.
// Every answer is bounds-checked; an object whose call fails is skipped by the walk.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/UsbTopology.h"

namespace qnl {

// I/O control codes of the USB host controller and hub drivers.
inline constexpr std::uint32_t kIoctlGetHcdDriverKeyName = 0x220424;
inline constexpr std::uint32_t kIoctlUsbGetRootHubName = 0x220408;
inline constexpr std::uint32_t kIoctlUsbGetNodeInformation = 0x220408;
inline constexpr std::uint32_t kIoctlUsbGetNodeConnectionInformation = 0x22040C;
inline constexpr std::uint32_t kIoctlUsbGetNodeConnectionName = 0x220414;

// Record sizes and offsets the view reads.
inline constexpr std::size_t kNameReplyHeaderBytes = 6;  // length word + one UTF-16 unit
inline constexpr std::size_t kNameReplyNameOffset = 4;   // root hub, driver key name
inline constexpr std::size_t kNodeInformationBytes = 76;
inline constexpr std::size_t kNodeInformationPortsOffset = 6;
inline constexpr std::size_t kConnectionInformationBytes = 388;
inline constexpr std::size_t kConnectionIsHubOffset = 24;
inline constexpr std::size_t kConnectionStatusOffset = 31;
inline constexpr std::uint32_t kDeviceConnected = 1;
inline constexpr std::size_t kConnectionNameHeaderBytes = 10;  // index, length, one UTF-16 unit
inline constexpr std::size_t kConnectionNameOffset = 8;
inline constexpr std::uint32_t kConnectionNameMinimumBytes = 11;
// No name the drivers report comes near this; a longer reported length is not believed.
inline constexpr std::uint32_t kMaxNameReplyBytes = 4096;

class IWinUsbDeviceIo {
  public:
    using Handle = std::uintptr_t;  // 0: not open
    virtual ~IWinUsbDeviceIo() = default;
    // Device paths of the present interfaces of the USB host controller class
    // {3ABF6F2D-71C4-462A-8A92-1E6861E6AF27}; nullopt when the class cannot be listed. A path
    // whose detail cannot be read is left out.
    virtual std::optional<std::vector<std::string>> HostControllerPaths() = 0;
    // A host controller: read and write access, shared for read and write, existing only.
    virtual Handle OpenController(const std::string& path) = 0;
    // A hub: write access, shared for write, existing only.
    virtual Handle OpenHub(const std::string& path) = 0;
    // DeviceIoControl with `buffer` as input and output; `returned` the bytes written back.
    virtual bool Control(Handle handle, std::uint32_t code, std::vector<std::uint8_t>& buffer,
                         std::uint32_t& returned) = 0;
    virtual void Close(Handle handle) = 0;
};

// The real calls (Windows only).
std::unique_ptr<IWinUsbDeviceIo> MakeWinUsbDeviceIo();

class WinUsbTopology final : public IUsbTopology {
  public:
    explicit WinUsbTopology(IWinUsbDeviceIo& io) : io_(io) {}

    // Controllers whose path carries "ven_XXXX" and "dev_XXXX" (any case) and can be opened;
    // `name` is the device path, the PCI address is not known here (0).
    std::vector<UsbHostController> HostControllers() override;
    // The root hub, "\\.\<name>", after the driver key name and the root hub name were read.
    std::vector<std::string> RootHubs(const UsbHostController& controller) override;
    std::optional<std::uint32_t> PortCount(const std::string& hub) override;
    std::optional<UsbPortConnection> PortConnection(const std::string& hub,
                                                    std::uint32_t index) override;
    // The hub on a port, "\\?\<name>".
    std::optional<std::string> AttachedHub(const std::string& hub, std::uint32_t index) override;

    // The 4 hex digits after "ven_" and after "dev_" in a device path (case-insensitive).
    static bool IdsFromPath(const std::string& path, std::uint16_t& vendorId,
                            std::uint16_t& deviceId);

  private:
    // A name reply: a first call with `headerBytes` for the length, a second with the length
    // reported; the UTF-16 name starts at `nameOffset`.
    std::optional<std::string> ReadName(IWinUsbDeviceIo::Handle handle, std::uint32_t code,
                                        std::size_t headerBytes, std::size_t lengthOffset,
                                        std::size_t nameOffset, std::uint32_t minimumBytes,
                                        std::uint32_t connectionIndex);
    IWinUsbDeviceIo& io_;
};

}  // namespace qnl
