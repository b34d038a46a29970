#include "platform/SysfsUsbTopology.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <map>
#include <tuple>

#include "platform/Files.h"

namespace qnl {
namespace fs = std::filesystem;
namespace {

// sysfs attribute files are short; anything longer is not one.
constexpr std::uint64_t kMaxAttributeBytes = 64;
// Hubs have at most 255 downstream ports.
constexpr std::uint32_t kMaxHubPorts = 255;

std::optional<std::string> Attribute(const std::string& path) {
    auto text = files::ReadText(path, kMaxAttributeBytes);
    if (!text) return std::nullopt;
    while (!text->empty() && (text->back() == '\n' || text->back() == ' ')) text->pop_back();
    return text;
}

template <typename T>
std::optional<T> Number(const std::optional<std::string>& text, int base) {
    if (!text || text->empty()) return std::nullopt;
    std::string_view s(*text);
    if (base == 16 && s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        s.remove_prefix(2);
    T value{};
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
    if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
    return value;
}

// "usbN" with N a number.
bool IsRootHubName(const std::string& name) {
    return name.size() > 3 && name.compare(0, 3, "usb") == 0 &&
           std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A PCI function folder name "dddd:bb:dd.f".
bool ParsePciName(const std::string& name, UsbHostController& c) {
    unsigned domain = 0, bus = 0, device = 0, function = 0;
    char tail = 0;
    if (std::sscanf(name.c_str(), "%x:%x:%x.%x%c", &domain, &bus, &device, &function, &tail) != 4)
        return false;
    if (domain != 0 || bus > 0xFF || device > 31 || function > 7) return false;
    c.bus = static_cast<std::uint8_t>(bus);
    c.device = static_cast<std::uint8_t>(device);
    c.function = static_cast<std::uint8_t>(function);
    return true;
}

}  // namespace

std::string SysfsUsbTopology::DevicesFolder() const {
    return root_ + "/bus/usb/devices";
}

std::string SysfsUsbTopology::ChildName(const std::string& hub, std::uint32_t index) {
    if (IsRootHubName(hub)) return hub.substr(3) + "-" + std::to_string(index);
    if (hub.empty() || hub.find('/') != std::string::npos || hub.find("..") != std::string::npos)
        return {};
    return hub + "." + std::to_string(index);
}

std::vector<UsbHostController> SysfsUsbTopology::HostControllers() {
    std::map<std::tuple<int, int, int>, UsbHostController> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(DevicesFolder(), ec)) {
        const std::string name = entry.path().filename().string();
        if (!IsRootHubName(name)) continue;
        const fs::path real = fs::canonical(entry.path(), ec);
        if (ec) continue;
        const fs::path pci = real.parent_path();
        UsbHostController c;
        if (!ParsePciName(pci.filename().string(), c)) continue;
        const auto vendor = Number<std::uint16_t>(Attribute((pci / "vendor").string()), 16);
        const auto device = Number<std::uint16_t>(Attribute((pci / "device").string()), 16);
        if (!vendor || !device) continue;
        c.vendorId = *vendor;
        c.deviceId = *device;
        c.name = pci.string();
        found.emplace(std::make_tuple(c.bus, c.device, c.function), c);
    }
    std::vector<UsbHostController> list;
    for (auto& [key, c] : found) list.push_back(std::move(c));
    return list;
}

std::vector<std::string> SysfsUsbTopology::RootHubs(const UsbHostController& controller) {
    std::vector<std::pair<unsigned long, std::string>> hubs;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(DevicesFolder(), ec)) {
        const std::string name = entry.path().filename().string();
        if (!IsRootHubName(name)) continue;
        const fs::path real = fs::canonical(entry.path(), ec);
        if (ec || real.parent_path().string() != controller.name) continue;
        hubs.emplace_back(Number<unsigned long>(name.substr(3), 10).value_or(~0ul), name);
    }
    std::sort(hubs.begin(), hubs.end());
    std::vector<std::string> names;
    for (auto& [number, name] : hubs) names.push_back(name);
    return names;
}

std::optional<std::uint32_t> SysfsUsbTopology::PortCount(const std::string& hub) {
    if (ChildName(hub, 1).empty()) return std::nullopt;
    const auto count =
        Number<std::uint32_t>(Attribute(DevicesFolder() + "/" + hub + "/maxchild"), 10);
    if (!count || *count > kMaxHubPorts) return std::nullopt;
    return count;
}

std::optional<UsbPortConnection> SysfsUsbTopology::PortConnection(const std::string& hub,
                                                                  std::uint32_t index) {
    const std::string child = ChildName(hub, index);
    if (child.empty() || !files::IsDirectory(DevicesFolder() + "/" + hub)) return std::nullopt;
    UsbPortConnection connection;
    const std::string folder = DevicesFolder() + "/" + child;
    if (!files::IsDirectory(folder)) return connection;
    connection.connected = true;
    const auto deviceClass = Number<unsigned>(Attribute(folder + "/bDeviceClass"), 16);
    connection.deviceIsHub = deviceClass && *deviceClass == 0x09;
    return connection;
}

std::optional<std::string> SysfsUsbTopology::AttachedHub(const std::string& hub,
                                                         std::uint32_t index) {
    const auto connection = PortConnection(hub, index);
    if (!connection || !connection->connected || !connection->deviceIsHub) return std::nullopt;
    return ChildName(hub, index);
}

}  // namespace qnl
