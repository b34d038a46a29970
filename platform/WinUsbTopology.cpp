#include "platform/WinUsbTopology.h"

#include <algorithm>
#include <cctype>

namespace qnl {
namespace {

std::uint32_t Word32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(b[at + 3]) << 24;
}

void PutWord32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The UTF-16 text in b[from..end) up to its terminator. Device names are ASCII; anything else
// is not a name the view can open.
std::optional<std::string> Utf16Name(const std::vector<std::uint8_t>& b, std::size_t from,
                                     std::size_t end) {
    std::string name;
    for (std::size_t i = from; i + 1 < end; i += 2) {
        const unsigned unit = b[i] | static_cast<unsigned>(b[i + 1]) << 8;
        if (unit == 0) break;
        if (unit >= 0x80 || unit < 0x20) return std::nullopt;
        name.push_back(static_cast<char>(unit));
    }
    if (name.empty()) return std::nullopt;
    return name;
}

// Closes a handle when the scope ends.
class OpenHandle {
  public:
    OpenHandle(IWinUsbDeviceIo& io, IWinUsbDeviceIo::Handle handle) : io_(io), handle_(handle) {}
    ~OpenHandle() {
        if (handle_ != 0) io_.Close(handle_);
    }
    OpenHandle(const OpenHandle&) = delete;
    OpenHandle& operator=(const OpenHandle&) = delete;
    IWinUsbDeviceIo::Handle get() const { return handle_; }

  private:
    IWinUsbDeviceIo& io_;
    IWinUsbDeviceIo::Handle handle_;
};

bool HexDigits(const std::string& text, std::size_t at, std::uint16_t& value) {
    if (at + 4 > text.size()) return false;
    value = 0;
    for (std::size_t i = at; i < at + 4; ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return false;
        value = static_cast<std::uint16_t>(value << 4 | digit);
    }
    return true;
}

}  // namespace

bool WinUsbTopology::IdsFromPath(const std::string& path, std::uint16_t& vendorId,
                                 std::uint16_t& deviceId) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto ven = lower.find("ven_");
    const auto dev = lower.find("dev_");
    return ven != std::string::npos && dev != std::string::npos &&
           HexDigits(lower, ven + 4, vendorId) && HexDigits(lower, dev + 4, deviceId);
}

std::vector<UsbHostController> WinUsbTopology::HostControllers() {
    std::vector<UsbHostController> controllers;
    const auto paths = io_.HostControllerPaths();
    if (!paths) return controllers;
    for (const std::string& path : *paths) {
        UsbHostController c;
        if (!IdsFromPath(path, c.vendorId, c.deviceId)) continue;
        // An interface that cannot be opened is skipped.
        const OpenHandle handle(io_, io_.OpenController(path));
        if (handle.get() == 0) continue;
        c.name = path;
        controllers.push_back(std::move(c));
    }
    return controllers;
}

std::optional<std::string> WinUsbTopology::ReadName(IWinUsbDeviceIo::Handle handle,
                                                    std::uint32_t code, std::size_t headerBytes,
                                                    std::size_t lengthOffset,
                                                    std::size_t nameOffset,
                                                    std::uint32_t minimumBytes,
                                                    std::uint32_t connectionIndex) {
    std::vector<std::uint8_t> buffer(headerBytes, 0);
    if (lengthOffset > 0) PutWord32(buffer, 0, connectionIndex);  // the record starts with it
    std::uint32_t returned = 0;
    if (!io_.Control(handle, code, buffer, returned) || returned < lengthOffset + 4 ||
        buffer.size() < lengthOffset + 4)
        return std::nullopt;
    const std::uint32_t length = Word32(buffer, lengthOffset);
    if (length < minimumBytes || length <= nameOffset || length > kMaxNameReplyBytes)
        return std::nullopt;
    buffer.assign(length, 0);
    if (lengthOffset > 0) PutWord32(buffer, 0, connectionIndex);  // the record starts with it
    if (!io_.Control(handle, code, buffer, returned) || buffer.size() != length)
        return std::nullopt;
    return Utf16Name(buffer, nameOffset, std::min<std::size_t>(returned, length));
}

std::vector<std::string> WinUsbTopology::RootHubs(const UsbHostController& controller) {
    const OpenHandle handle(io_, io_.OpenController(controller.name));
    if (handle.get() == 0) return {};
    // The driver key name only proves the controller's driver answers.
    if (!ReadName(handle.get(), kIoctlGetHcdDriverKeyName, kNameReplyHeaderBytes, 0,
                  kNameReplyNameOffset, kNameReplyHeaderBytes, 0))
        return {};
    const auto rootHub = ReadName(handle.get(), kIoctlUsbGetRootHubName, kNameReplyHeaderBytes, 0,
                                  kNameReplyNameOffset, kNameReplyHeaderBytes, 0);
    if (!rootHub) return {};
    return {"\\\\.\\" + *rootHub};
}

std::optional<std::uint32_t> WinUsbTopology::PortCount(const std::string& hub) {
    const OpenHandle handle(io_, io_.OpenHub(hub));
    if (handle.get() == 0) return std::nullopt;
    std::vector<std::uint8_t> buffer(kNodeInformationBytes, 0);
    std::uint32_t returned = 0;
    if (!io_.Control(handle.get(), kIoctlUsbGetNodeInformation, buffer, returned) ||
        returned <= kNodeInformationPortsOffset || buffer.size() != kNodeInformationBytes)
        return std::nullopt;
    return buffer[kNodeInformationPortsOffset];
}

std::optional<UsbPortConnection> WinUsbTopology::PortConnection(const std::string& hub,
                                                                std::uint32_t index) {
    const OpenHandle handle(io_, io_.OpenHub(hub));
    if (handle.get() == 0) return std::nullopt;
    std::vector<std::uint8_t> buffer(kConnectionInformationBytes, 0);
    PutWord32(buffer, 0, index);
    std::uint32_t returned = 0;
    if (!io_.Control(handle.get(), kIoctlUsbGetNodeConnectionInformation, buffer, returned) ||
        returned < kConnectionStatusOffset + 4 || buffer.size() != kConnectionInformationBytes)
        return std::nullopt;
    UsbPortConnection connection;
    connection.connected = Word32(buffer, kConnectionStatusOffset) == kDeviceConnected;
    connection.deviceIsHub = buffer[kConnectionIsHubOffset] != 0;
    return connection;
}

std::optional<std::string> WinUsbTopology::AttachedHub(const std::string& hub,
                                                       std::uint32_t index) {
    const OpenHandle handle(io_, io_.OpenHub(hub));
    if (handle.get() == 0) return std::nullopt;
    const auto name =
        ReadName(handle.get(), kIoctlUsbGetNodeConnectionName, kConnectionNameHeaderBytes, 4,
                 kConnectionNameOffset, kConnectionNameMinimumBytes, index);
    if (!name) return std::nullopt;
    return "\\\\?\\" + *name;
}

}  // namespace qnl
