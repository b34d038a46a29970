// What the Windows build does differently, tested on every system: the USB view over the hub
// I/O controls (a fake device layer answering with the drivers' records), the library loader's
// decorated names and image checks, the backend default and the settings path rule.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <tuple>

#include "platform/WinUsbTopology.h"
#include "platform/WindowsNames.h"
#include "porttest/UsbDeviceSearch.h"
#include "qnlio/backends/StationBackends.h"
#include "qnlio/ChipIdTable.h"
#include "qnlio/dll/LibraryExports.h"
#include "qnlio/dll/QnlIoExports.h"

namespace qnl::test {
namespace {

// Controllers and hubs as the USB drivers answer for them. Name replies follow the drivers'
// two-step protocol: a short buffer gets the header with the full length, a buffer of that
// length the whole name.
class FakeWinUsbIo final : public IWinUsbDeviceIo {
  public:
    struct Port {
        bool connected = false;
        bool isHub = false;
        std::string hubName;  // without "\\?\"
        bool failInformation = false;
    };
    struct Hub {
        std::vector<Port> ports;
        bool failNodeInformation = false;
        std::uint32_t nameLengthOverride = 0;  // a reported connection-name length, if not 0
    };
    struct Controller {
        std::string rootHub;  // without "\\.\"
        bool opens = true;
        bool driverKeyFails = false;
    };

    std::map<std::string, Controller> controllers;  // by interface path
    std::map<std::string, Hub> hubs;                // by the path the view opens
    bool listFails = false;
    std::uint32_t rootHubLengthOverride = 0;

    std::optional<std::vector<std::string>> HostControllerPaths() override {
        if (listFails) return std::nullopt;
        std::vector<std::string> paths;
        for (const auto& [path, c] : controllers) paths.push_back(path);
        return paths;
    }
    Handle OpenController(const std::string& path) override {
        const auto it = controllers.find(path);
        if (it == controllers.end() || !it->second.opens) return 0;
        return Open(path, false);
    }
    Handle OpenHub(const std::string& path) override {
        if (!hubs.count(path)) return 0;
        return Open(path, true);
    }
    bool Control(Handle handle, std::uint32_t code, std::vector<std::uint8_t>& buffer,
                 std::uint32_t& returned) override {
        const auto& [path, isHub] = open_.at(handle);
        if (!isHub) {
            const Controller& c = controllers.at(path);
            if (code == kIoctlGetHcdDriverKeyName)
                return !c.driverKeyFails &&
                       NameReply(buffer, returned, 0, 4, "{36fc9e60}\\0001", 0);
            if (code == kIoctlUsbGetRootHubName)
                return NameReply(buffer, returned, 0, 4, c.rootHub, rootHubLengthOverride);
            return false;
        }
        const Hub& hub = hubs.at(path);
        if (code == kIoctlUsbGetNodeInformation) {
            if (hub.failNodeInformation || buffer.size() != 76) return false;
            buffer[6] = static_cast<std::uint8_t>(hub.ports.size());
            returned = 76;
            return true;
        }
        const std::uint32_t index = buffer.size() >= 4 ? Word(buffer, 0) : 0;
        if (index < 1 || index > hub.ports.size()) return false;
        const Port& port = hub.ports[index - 1];
        if (code == kIoctlUsbGetNodeConnectionInformation) {
            if (port.failInformation || buffer.size() != 388) return false;
            buffer[24] = port.isHub ? 1 : 0;
            buffer[31] = port.connected ? 1 : 0;  // DeviceConnected, else NoDeviceConnected
            returned = 35;
            return true;
        }
        if (code == kIoctlUsbGetNodeConnectionName) {
            if (!port.isHub) return false;
            return NameReply(buffer, returned, 4, 8, port.hubName, hub.nameLengthOverride);
        }
        return false;
    }
    void Close(Handle handle) override { open_.erase(handle); }

    std::size_t OpenHandles() const { return open_.size(); }

  private:
    Handle Open(const std::string& path, bool isHub) {
        open_[++next_] = {path, isHub};
        return next_;
    }
    static std::uint32_t Word(const std::vector<std::uint8_t>& b, std::size_t at) {
        return b[at] | b[at + 1] << 8 | b[at + 2] << 16 |
               static_cast<std::uint32_t>(b[at + 3]) << 24;
    }
    static bool NameReply(std::vector<std::uint8_t>& buffer, std::uint32_t& returned,
                          std::size_t lengthAt, std::size_t nameAt, const std::string& name,
                          std::uint32_t lengthOverride) {
        const std::uint32_t length = lengthOverride
                                         ? lengthOverride
                                         : static_cast<std::uint32_t>(nameAt + 2 * name.size() + 2);
        if (buffer.size() < lengthAt + 4) return false;
        for (int i = 0; i < 4; ++i)
            buffer[lengthAt + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(length >> (8 * i));
        for (std::size_t i = 0; i < name.size() && nameAt + 2 * i + 1 < buffer.size(); ++i)
            buffer[nameAt + 2 * i] = static_cast<std::uint8_t>(name[i]);
        returned = static_cast<std::uint32_t>(std::min<std::size_t>(buffer.size(), length));
        return true;
    }
    std::map<Handle, std::pair<std::string, bool>> open_;
    Handle next_ = 0;
};

std::string ControllerPath(std::uint16_t vendor, std::uint16_t device, int n) {
    char text[128];
    std::snprintf(text, sizeof text,
                  "\\\\?\\pci#VEN_%04X&DEV_%04X&SUBSYS_00000000&REV_01#4&%d#"
                  "{3abf6f2d-71c4-462a-8a92-1e6861e6af27}",
                  vendor, device, n);
    return text;
}

std::uint8_t Search(FakeWinUsbIo& io) {
    WinUsbTopology topology(io);
    std::uint8_t found = 0;
    SearchConnectedUsbDevice(&topology, found);
    EXPECT_EQ(io.OpenHandles(), 0u) << "every handle the view opened is closed again";
    return found;
}

// A target controller whose root hub "ROOT<n>" has `ports` empty ports.
void AddTarget(FakeWinUsbIo& io, std::uint16_t device, int n, std::size_t ports) {
    const std::string root = "ROOT" + std::to_string(n);
    io.controllers[ControllerPath(kMakerVendorId, device, n)].rootHub = root;
    io.hubs["\\\\.\\" + root].ports.resize(ports);
}

TEST(WinUsbTopology, FindsADeviceBehindAnExternalHubOfTheSecondTargetController) {
    FakeWinUsbIo io;
    io.controllers[ControllerPath(0x8086, 0xA36D, 1)].rootHub = "OTHER";
    io.hubs["\\\\.\\OTHER"].ports = {{true, false, "", false}};  // another maker's: not counted
    AddTarget(io, 0x7350, 2, 2);
    AddTarget(io, 0x7354, 3, 4);
    EXPECT_EQ(Search(io), 0);

    // An empty external hub is not a device.
    io.hubs["\\\\.\\ROOT3"].ports[2] = {true, true, "HUB#A", false};
    io.hubs["\\\\?\\HUB#A"].ports.resize(4);
    EXPECT_EQ(Search(io), 0);
    io.hubs["\\\\?\\HUB#A"].ports[3] = {true, false, "", false};
    EXPECT_EQ(Search(io), 1);
}

TEST(WinUsbTopology, AFailedCallSkipsOnlyItsObject) {
    FakeWinUsbIo io;
    AddTarget(io, 0x7350, 1, 3);
    auto& root = io.hubs["\\\\.\\ROOT1"].ports;
    root[0] = {true, false, "", true};  // its connection information fails
    root[1] = {true, true, "HUB#SHORT", false};
    io.hubs["\\\\?\\HUB#SHORT"].ports = {{true, false, "", false}};
    io.hubs["\\\\.\\ROOT1"].nameLengthOverride = 10;  // below 11: the hub is not followed
    EXPECT_EQ(Search(io), 0);
    io.hubs["\\\\.\\ROOT1"].nameLengthOverride = 0;
    EXPECT_EQ(Search(io), 1);

    // The first port failing does not hide a device on the next.
    root[1] = {};
    root[2] = {true, false, "", false};
    EXPECT_EQ(Search(io), 1);

    // A controller that cannot be opened, or whose driver key name cannot be read, is skipped.
    io.controllers.begin()->second.opens = false;
    EXPECT_EQ(Search(io), 0);
    io.controllers.begin()->second.opens = true;
    io.controllers.begin()->second.driverKeyFails = true;
    EXPECT_EQ(Search(io), 0);
    io.controllers.begin()->second.driverKeyFails = false;
    io.hubs["\\\\.\\ROOT1"].failNodeInformation = true;
    EXPECT_EQ(Search(io), 0);
    io.hubs["\\\\.\\ROOT1"].failNodeInformation = false;
    io.listFails = true;
    EXPECT_EQ(Search(io), 0);
}

TEST(WinUsbTopology, ReportedLengthsAreBoundsChecked) {
    FakeWinUsbIo io;
    AddTarget(io, 0x7352, 1, 1);
    io.hubs["\\\\.\\ROOT1"].ports[0] = {true, false, "", false};
    WinUsbTopology topology(io);
    const auto controllers = topology.HostControllers();
    ASSERT_EQ(controllers.size(), 1u);
    EXPECT_EQ(topology.RootHubs(controllers[0]), std::vector<std::string>{"\\\\.\\ROOT1"});

    // A length beyond any name, or one that leaves no room for a name, is not believed.
    for (std::uint32_t bad : {0x7FFFFFFFu, 5000u, 4u}) {
        io.rootHubLengthOverride = bad;
        EXPECT_TRUE(topology.RootHubs(controllers[0]).empty()) << bad;
    }
    io.rootHubLengthOverride = 0;
    EXPECT_FALSE(topology.PortConnection("\\\\.\\ROOT1", 2).has_value());  // no such port
    EXPECT_EQ(io.OpenHandles(), 0u);
}

TEST(WinUsbTopology, IdentificationComesFromTheInterfacePathInAnyCase) {
    std::uint16_t vendor = 0, device = 0;
    EXPECT_TRUE(WinUsbTopology::IdsFromPath(
        "\\\\?\\PCI#VEN_1B73&DEV_7350&SUBSYS_73501B73&REV_00#4&1&0", vendor, device));
    EXPECT_EQ(std::tie(vendor, device),
              std::make_tuple(std::uint16_t{0x1B73}, std::uint16_t{0x7350}));
    // Leading zeros are digits like any other (a textual comparison with "%x" would lose them).
    EXPECT_TRUE(WinUsbTopology::IdsFromPath("pci#ven_0a5c&dev_00ff#x", vendor, device));
    EXPECT_EQ(std::tie(vendor, device),
              std::make_tuple(std::uint16_t{0x0A5C}, std::uint16_t{0x00FF}));
    EXPECT_FALSE(WinUsbTopology::IdsFromPath("usb#vid_1b73&pid_7350", vendor, device));
    EXPECT_FALSE(WinUsbTopology::IdsFromPath("pci#ven_1b7&dev_7350", vendor, device));
    EXPECT_FALSE(WinUsbTopology::IdsFromPath("pci#ven_1b73&dev_73", vendor, device));
}

// The argument count of an export's function type, to check the decorated names' byte counts.
template <typename R, typename... A>
constexpr unsigned ArgumentBytesOf(R(QNLIO_CALL*)(A...)) {
    return 4 * sizeof...(A);  // every argument is 32 bits on 32-bit x86
}

TEST(LibraryExports, DecoratedNamesCarryTheArgumentBytesOfEachFunction) {
    using namespace dll;
    const unsigned expected[14] = {
        ArgumentBytesOf(LoadQnlIODriverFn{}), ArgumentBytesOf(UnloadQnlIODriverFn{}),
        ArgumentBytesOf(PCI_Read_DWORDFn{}),  ArgumentBytesOf(PCI_Read_BYTEFn{}),
        ArgumentBytesOf(PCI_Write_DWORDFn{}), ArgumentBytesOf(PCI_Write_ByteFn{}),
        ArgumentBytesOf(MapQnlIOFn{}),        ArgumentBytesOf(UnmapQnlIOFn{}),
        ArgumentBytesOf(ReadMEMFn{}),         ArgumentBytesOf(WriteMEMFn{}),
        ArgumentBytesOf(WriteCmdALLFn{}),     ArgumentBytesOf(ReadCMDFn{}),
        ArgumentBytesOf(WaitReadyFn{}),       ArgumentBytesOf(WaitReadyFn{})};
    for (std::size_t i = 0; i < 14; ++i)
        EXPECT_EQ(kExportArgumentBytes[i], expected[i]) << kExportNames[i];
    EXPECT_EQ(ExportNameCandidates(10),
              (std::vector<std::string>{"WriteCmdALL", "_WriteCmdALL@36", "WriteCmdALL@36"}));
}

TEST(LibraryExports, EachFunctionIsFoundUnderItsPlainOrDecoratedNameAndMissingOnesAreNamed) {
    using namespace dll;
    // A 32-bit library of Microsoft's tools ("_Name@N"), one of GNU tools ("Name@N") for two
    // functions, plain names for two more; ReadCMD absent.
    std::map<std::string, int> exported;
    int tag = 0;
    for (std::size_t i = 0; i < 14; ++i) {
        const auto names = ExportNameCandidates(i);
        if (names[0] == "ReadCMD") continue;
        exported[names[i < 2 ? 0 : i < 4 ? 2 : 1]] = ++tag;
    }
    exported["ReadCMD@8"] = 99;  // the wrong byte count is another function
    std::vector<std::string> asked;
    const ResolvedExports r = ResolveExports([&](const char* name) -> void* {
        asked.emplace_back(name);
        const auto it = exported.find(name);
        return it == exported.end() ? nullptr : &it->second;
    });
    EXPECT_EQ(r.missing, std::vector<std::string>{"ReadCMD"});
    for (std::size_t i = 0; i < 14; ++i) {
        if (i == 11) {
            EXPECT_EQ(r.functions[i], nullptr);
            continue;
        }
        ASSERT_NE(r.functions[i], nullptr) << kExportNames[i];
        EXPECT_EQ(*static_cast<int*>(r.functions[i]), static_cast<int>(i < 11 ? i + 1 : i));
    }
    EXPECT_EQ(asked.front(), "LoadQnlIODriver");  // the plain name is tried first
}

// The first bytes of a PE file: DOS header with the PE offset, the PE signature, the machine
// and the characteristics.
std::vector<std::uint8_t> PeHead(std::uint16_t machine, bool dll, std::uint32_t peOffset = 0x80) {
    std::vector<std::uint8_t> b(0x200, 0);
    b[0] = 'M';
    b[1] = 'Z';
    for (int i = 0; i < 4; ++i)
        b[0x3C + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(peOffset >> (8 * i));
    if (peOffset + 24 <= b.size()) {
        b[peOffset] = 'P';
        b[peOffset + 1] = 'E';
        b[peOffset + 4] = static_cast<std::uint8_t>(machine);
        b[peOffset + 5] = static_cast<std::uint8_t>(machine >> 8);
        const std::uint16_t characteristics = dll ? 0x2102 : 0x0102;
        b[peOffset + 22] = static_cast<std::uint8_t>(characteristics);
        b[peOffset + 23] = static_cast<std::uint8_t>(characteristics >> 8);
    }
    return b;
}

TEST(LibraryExports, AFileThatIsNoLoadableLibraryIsDescribed) {
    using namespace dll;
    const std::string text = "LoadQnlIODriver\r\n";
    EXPECT_EQ(DescribeLibraryImage({text.begin(), text.end()}, kMachineX64),
              "it is not a Windows DLL (no executable header)");
    EXPECT_EQ(DescribeLibraryImage(PeHead(kMachineX64, true, 0x7FFFFFF0), kMachineX64),
              "it is not a Windows DLL (no PE header)");
    EXPECT_EQ(DescribeLibraryImage(PeHead(kMachineX64, false), kMachineX64),
              "it is not a Windows DLL but a program");
    EXPECT_EQ(DescribeLibraryImage(PeHead(kMachineX86, true), kMachineX64),
              "it is a 32-bit (x86) library and this tool is 64-bit (x64); it needs the 32-bit "
              "build of the tool");
    EXPECT_EQ(DescribeLibraryImage(PeHead(kMachineX64, true), kMachineX86),
              "it is a 64-bit (x64) library and this tool is 32-bit (x86); it needs the 64-bit "
              "build of the tool");
    EXPECT_EQ(DescribeLibraryImage(PeHead(kMachineX86, true), kMachineX86), "");
}

TEST(BackendChoiceOnWindows, TheMakersLibraryInTheToolFolderIsTheDefault) {
    const BackendChoice windows = ChooseBackend(nullptr, true);
    EXPECT_TRUE(windows.Is("dll"));
    EXPECT_EQ(windows.parameter, "qnliodll.dll");
    EXPECT_TRUE(windows.inToolFolder);
    EXPECT_TRUE(ChooseBackend("", true).Is("dll"));
    EXPECT_TRUE(ChooseBackend("sim", true).Is("sim"));
    const BackendChoice path = ChooseBackend("dll:D:\\io\\other.dll", true);
    EXPECT_EQ(path.parameter, "D:\\io\\other.dll");
    EXPECT_FALSE(path.inToolFolder);
    const BackendChoice linuxThere = ChooseBackend("linux", true);
    EXPECT_EQ(linuxThere.backend, nullptr);
    EXPECT_EQ(linuxThere.error, "QNLIO_BACKEND=\"linux\": the linux backend does not exist on "
                                "Windows (sim or dll:<path>)");
    // Linux keeps the simulated station.
    EXPECT_TRUE(ChooseBackend(nullptr, false).Is("sim"));
}

TEST(WindowsStationPath, DrivesAndUncNamesStandOtherNamesAreInTheToolFolder) {
    using files::WindowsStationPath;
    EXPECT_EQ(WindowsStationPath("D:\\tool", "C:\\FW\\A.BIN"), "C:\\FW\\A.BIN");
    EXPECT_EQ(WindowsStationPath("D:\\tool", "\\\\SERVER\\SHARE\\A.BIN"),
              "\\\\SERVER\\SHARE\\A.BIN");
    EXPECT_EQ(WindowsStationPath("D:\\tool", "FW\\A.BIN"), "D:\\tool\\FW\\A.BIN");
    EXPECT_EQ(WindowsStationPath("D:\\tool", "\\FW\\A.BIN"), "D:\\tool\\FW\\A.BIN");
    EXPECT_EQ(WindowsStationPath("C:\\", "A.BIN"), "C:\\A.BIN");
}

}  // namespace
}  // namespace qnl::test
