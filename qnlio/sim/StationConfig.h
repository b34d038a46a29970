// What a simulated station is made of: the controllers with their flash chips, unrelated PCI
// devices, the time scale, and faults to inject. Read from a JSON station file (docs/station.md)
// or built in (DefaultStation).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "qnlio/sim/SimFlashChips.h"

namespace qnl::sim {

// One command that always fails: a command code (any command when empty) at one address field.
struct FailAtRule {
    std::optional<std::uint32_t> command;
    std::uint32_t address = 0;
};

// The next `times` flash reads that cover `address` see the byte XOR `mask`.
struct FlipOnReadRule {
    std::uint32_t address = 0;
    std::uint8_t mask = 0;
    int times = 0;
};

// Faults armed when the station starts. Command numbers count WriteCmdALL calls to the
// controller from start, 1-based.
struct FaultConfig {
    std::optional<std::uint64_t> failCommand;
    std::vector<FailAtRule> failAt;
    std::optional<std::uint64_t> hangFromCommand;
    std::optional<std::uint64_t> offBusAtCommand;  // 0 = off the bus from the start
    std::vector<FlipOnReadRule> flipOnRead;
};

// What is plugged into a controller port or into a hub's downstream port.
enum class UsbAttachmentType { kDevice, kHub, kLoopback };
enum class UsbSpeed { kFull, kHigh, kSuper, kSuperPlus };
// How the link of a loop-back plug misbehaves at every loop-back start.
enum class LinkErrorKind {
    kNone,
    kRetrain,     // the link recovery pulse clears it
    kPhyReset,    // only a reset of the port's PHY clears it
    kPersistent,  // nothing clears it
};

// Faults of the thing plugged straight into a controller port (the "faults" object of a port).
struct AttachmentFaults {
    std::uint32_t enableDelayMs = 0;  // comes up this much later after reset / link training
    bool portResetHangs = false;      // a port reset (PR) never completes
    bool signalCheckFails = false;    // the microcontroller's signal check reports 0
    bool signalCheckNeverCompletes = false;
    bool terminationBroken = false;  // the termination check never sees the result bit
    LinkErrorKind linkError = LinkErrorKind::kNone;  // loop-back plugs only
    // The operator pulls it out this long after the station started (the operating system's
    // USB view no longer lists it); empty = it stays.
    std::optional<std::uint32_t> unplugAfterMs;
};

// The USB identifiers the station's devices and hubs present to the operating system, unless
// the station file gives others ("usb_id"): its test device and a plain hub.
inline constexpr std::uint16_t kSimTestDeviceVendorId = 0x1E73;
inline constexpr std::uint16_t kSimTestDeviceProductId = 0x0735;
inline constexpr std::uint16_t kSimHubVendorId = 0x05E3;
inline constexpr std::uint16_t kSimHubProductId = 0x0610;

struct UsbAttachment {
    UsbAttachmentType type = UsbAttachmentType::kDevice;
    UsbSpeed speed = UsbSpeed::kHigh;                 // a loop-back plug is always SuperSpeed
    std::uint16_t vendorId = kSimTestDeviceVendorId;  // USB IDs (a loop-back plug has none)
    std::uint16_t productId = kSimTestDeviceProductId;
    std::vector<UsbAttachment> children;  // a hub's downstream ports 1, 2, ... in order
    AttachmentFaults faults;              // only for what sits in a controller port
};

// Port numbering of the controller's root hub, as its xHCI registers count them: ports 1 and 2
// are the SuperSpeed halves of the two connectors ("usb3_port1", "usb3_port2"), ports 3 and 4
// their USB 2.0 halves ("usb2_port1", "usb2_port2").
inline constexpr std::size_t kRootPortCount = 4;
inline constexpr std::array<const char*, kRootPortCount> kRootPortKeys{"usb3_port1", "usb3_port2",
                                                                       "usb2_port1", "usb2_port2"};
constexpr bool IsSuperSpeedRootPort(std::size_t xhciPort) {
    return xhciPort == 1 || xhciPort == 2;
}
// Index i holds xHCI port i + 1; empty = nothing plugged in.
using RootPortsConfig = std::array<std::optional<UsbAttachment>, kRootPortCount>;
inline constexpr std::size_t kMaxHubChildren = 15;
inline constexpr std::size_t kMaxHubTiers = 5;  // hubs below a root port, as USB allows

const char* UsbSpeedName(UsbSpeed speed);
const char* UsbAttachmentTypeName(UsbAttachmentType type);

struct ControllerConfig {
    std::uint8_t bus = 0;
    std::uint8_t device = 0;
    std::uint8_t function = 0;
    int kind = 0;   // 0 or 1: the controller generation
    int model = 0;  // which controller of that generation (decides the default device ID)
    std::uint16_t vendorId = 0;  // what configuration dword 0 presents
    std::uint16_t deviceId = 0;
    std::array<std::uint8_t, 4> chipSignature{};
    std::array<std::uint8_t, 3> flashId{};  // what the chip answers to its ID opcode
    FlashChipModel flashChip;               // the chip on the controller's SPI bus
    std::string flashPath;                  // resolved: absolute, or relative to the cwd
    std::uint8_t flashStatus = 0;           // status register at power-on (non-volatile bits)
    std::uint16_t defaultSvid = 0x1E73;
    std::uint16_t defaultSsid = 0x7350;
    std::uint8_t pcieLink = 0x18;
    std::uint32_t bar0 = 0;
    std::uint8_t capLength = 0x20;  // where the xHCI operational registers begin
    RootPortsConfig ports;          // what is plugged into the four root ports
    FaultConfig faults;
};

struct OtherDeviceConfig {
    std::uint8_t bus = 0;
    std::uint8_t device = 0;
    std::uint8_t function = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t deviceId = 0;
    std::uint32_t classCode = 0x060000;  // host bridge
};

struct StationConfig {
    std::string sourcePath;  // the station file, empty for the built-in station
    double timeScale = 1.0;
    bool driverLoadFails = false;
    std::vector<ControllerConfig> controllers;
    std::vector<OtherDeviceConfig> otherDevices;
    // The station's plug control file ("plug_file"): lines appended to it plug and unplug
    // devices while the station runs (SimPlugControl). Empty: none.
    std::string plugFile;
};

// The built-in station's plug control file, in the tool folder.
inline constexpr const char* kDefaultPlugFileName = "sim_plug.txt";

// One attachment from its JSON text, as a port of the station file holds it, for the root port
// `xhciPort` (1..4). nullopt with `error` set when it does not parse or does not fit the port.
std::optional<UsbAttachment> ParseAttachmentText(const std::string& text, std::uint32_t xhciPort,
                                                 std::string& error);

// Parses and checks a station file. On failure returns nullopt and sets `error` to one line
// naming the file and the problem. Reads the file and looks at existing flash files; writes
// nothing.
std::optional<StationConfig> LoadStationFile(const std::string& path, std::string& error);

// Same, from text already in memory; `path` names the file in messages and anchors relative
// flash paths.
std::optional<StationConfig> ParseStationText(const std::string& text, const std::string& path,
                                              std::string& error);

// Two kind-0 controllers at 03:00.0 and 04:00.0 with 512 KB flash chips whose contents live in
// sim_host0.flash and sim_host1.flash in `toolFolder`, time scale 0.01, and one host bridge.
StationConfig DefaultStation(const std::string& toolFolder);

double TimeScaleOf(const StationConfig& config);

// Default flash chip, signature, PCI IDs and subsystem ID of a controller kind and model.
inline constexpr std::array<std::uint8_t, 3> kDefaultFlashId{0xC2, 0x20, 0x13};
std::array<std::uint8_t, 4> DefaultChipSignature(int kind);
// The models of each kind (3 of kind 0, 2 of kind 1); `model` is checked against it.
int ModelCount(int kind);
inline constexpr std::uint16_t kDefaultVendorId = 0x1E73;
std::uint16_t DefaultDeviceId(int kind, int model);
std::uint16_t DefaultSsid(int kind, int model);

}  // namespace qnl::sim
