// sysfs trees in a temporary folder: PCI functions with config, resource and resource0 files
// (for the linux backend), USB host controllers with their hubs and devices (for the USB view).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace qnl::test {

class FakeSysfs {
  public:
    FakeSysfs() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "qnl-sysfs-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        std::filesystem::create_directories(PciPath() + "/devices");
        std::filesystem::create_directories(root_ + "/bus/usb/devices");
    }
    ~FakeSysfs() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    // The sysfs root ("/sys" on a real system) and its PCI folder ("/sys/bus/pci").
    const std::string& Root() const { return root_; }
    std::string PciPath() const { return root_ + "/bus/pci"; }

    static std::string PciName(int bus, int device, int function) {
        char name[32];
        std::snprintf(name, sizeof name, "0000:%02x:%02x.%d", bus, device, function);
        return name;
    }
    std::string PciFolder(int bus, int device, int function) const {
        return PciPath() + "/devices/" + PciName(bus, device, function);
    }

    // A PCI function with 256 bytes of configuration space: IDs, BAR0 (dword 0x10), and a
    // register file resource0 of barSize bytes described by the "resource" file. configBytes
    // below 256 writes a truncated config file.
    void AddPci(int bus, int device, int function, std::uint16_t vendor, std::uint16_t deviceId,
                std::uint32_t bar0 = 0, std::uint32_t barSize = 0, std::size_t configBytes = 256) {
        const std::string folder = PciFolder(bus, device, function);
        std::filesystem::create_directories(folder);
        std::vector<std::uint8_t> config(256, 0);
        Put32(config, 0, static_cast<std::uint32_t>(deviceId) << 16 | vendor);
        Put32(config, 0x10, bar0);
        config.resize(configBytes);
        WriteBytes(folder + "/config", config);
        if (barSize != 0) {
            WriteBytes(folder + "/resource0", std::vector<std::uint8_t>(barSize, 0));
            char line[128];
            std::snprintf(line, sizeof line, "0x%016llx 0x%016llx 0x0000000000040200\n",
                          static_cast<unsigned long long>(bar0 & ~0xFu),
                          static_cast<unsigned long long>((bar0 & ~0xFu) + barSize - 1));
            WriteText(folder + "/resource", line);
        }
    }

    std::vector<std::uint8_t> ReadFile(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // A USB host controller (a PCI function under devices/pci0000:00) with root hub usbN of
    // `ports` ports.
    void AddUsbController(int bus, int device, int function, std::uint16_t vendor,
                          std::uint16_t deviceId, int rootHubNumber, int ports) {
        const std::string pci = root_ + "/devices/pci0000:00/" + PciName(bus, device, function);
        std::filesystem::create_directories(pci);
        WriteText(pci + "/vendor", Hex(vendor) + "\n");
        WriteText(pci + "/device", Hex(deviceId) + "\n");
        const std::string hub = "usb" + std::to_string(rootHubNumber);
        AddUsbDevice(pci + "/" + hub, hub, 0x09, ports);
    }
    // A device on port `port` of hub `hub` ("usb3", "3-1"); a hub when `ports` > 0.
    std::string AttachUsb(const std::string& hub, int port, int ports = 0) {
        const std::string parent =
            std::filesystem::canonical(root_ + "/bus/usb/devices/" + hub).string();
        const std::string name = hub.rfind("usb", 0) == 0
                                     ? hub.substr(3) + "-" + std::to_string(port)
                                     : hub + "." + std::to_string(port);
        AddUsbDevice(parent + "/" + name, name, ports > 0 ? 0x09 : 0x00, ports);
        return name;
    }

  private:
    void AddUsbDevice(const std::string& folder, const std::string& name, int deviceClass,
                      int ports) {
        std::filesystem::create_directories(folder);
        char cls[8];
        std::snprintf(cls, sizeof cls, "%02x\n", deviceClass);
        WriteText(folder + "/bDeviceClass", cls);
        WriteText(folder + "/maxchild", std::to_string(ports) + "\n");
        std::filesystem::create_symlink(folder, root_ + "/bus/usb/devices/" + name);
    }
    static std::string Hex(std::uint16_t v) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%04x", v);
        return text;
    }
    static void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    static void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    static void WriteText(const std::string& path, const std::string& text) {
        std::ofstream out(path, std::ios::trunc);
        out << text;
    }
    std::string root_;
};

}  // namespace qnl::test
