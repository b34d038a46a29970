// Station file parsing. Every value is checked before use; the first problem ends the parse with
// a message that names the file, the place in the file and the value.
#include "qnlio/sim/StationConfig.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <stdexcept>
#include <tuple>

namespace qnl::sim {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// A station file is a few kilobytes; anything far larger is not one.
constexpr std::uintmax_t kMaxStationFileBytes = 1024 * 1024;
constexpr std::uint32_t kDefaultBar0Base = 0xF0000000;
constexpr std::uint32_t kDefaultBar0Stride = 0x100000;
constexpr std::uint32_t kBar0RegionBytes = 0x10000;

// The controllers of the two generations, as their PCI functions identify themselves: the
// maker's vendor ID and one device ID per model.
constexpr std::array<std::uint16_t, 3> kKind0DeviceIds{0x7350, 0x7351, 0x7353};
constexpr std::array<std::uint16_t, 2> kKind1DeviceIds{0x7352, 0x7354};

// Thrown inside the parser only; LoadStationFile turns it into the error text.
struct ParseFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    throw ParseFailure(where.empty() ? what : where + ": " + what);
}

std::string Quote(const std::string& text) {
    return "\"" + text + "\"";
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Exactly `digits` hex digits, no prefix.
std::optional<std::uint32_t> ParseFixedHex(const std::string& text, std::size_t digits) {
    if (text.size() != digits) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        const int d = HexDigit(c);
        if (d < 0) return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(d);
    }
    return value;
}

// "0x1F", "1f": 1..8 hex digits with an optional 0x prefix.
std::optional<std::uint32_t> ParseHexNumber(std::string text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text = text.substr(2);
    }
    if (text.empty() || text.size() > 8) return std::nullopt;
    return ParseFixedHex(text, text.size());
}

// Reads the members of one JSON object, remembering which keys were used so that any key left
// over (a misspelling, or a key of a later version) is reported by name.
class ObjectReader {
  public:
    ObjectReader(const json& object, std::string where)
        : object_(object), where_(std::move(where)) {
        if (!object_.is_object()) Fail(where_, "must be an object");
    }

    const std::string& Where() const { return where_; }
    std::string Place(const std::string& key) const {
        return where_.empty() ? key : where_ + "." + key;
    }

    const json* Find(const std::string& key) {
        used_.insert(key);
        auto it = object_.find(key);
        return it == object_.end() ? nullptr : &*it;
    }

    std::optional<std::uint64_t> Integer(const std::string& key, std::uint64_t min,
                                         std::uint64_t max) {
        const json* value = Find(key);
        if (value == nullptr) return std::nullopt;
        if (!value->is_number_integer()) Fail(where_, Quote(key) + " must be a whole number");
        if (value->is_number_unsigned() || value->get<std::int64_t>() >= 0) {
            const std::uint64_t n = value->get<std::uint64_t>();
            if (n >= min && n <= max) return n;
        }
        Fail(where_, Quote(key) + " " + value->dump() + " is out of range " + std::to_string(min) +
                         ".." + std::to_string(max));
    }

    std::uint64_t RequiredInteger(const std::string& key, std::uint64_t min, std::uint64_t max) {
        auto value = Integer(key, min, max);
        if (!value) Fail(where_, "missing " + Quote(key));
        return *value;
    }

    std::optional<std::string> String(const std::string& key) {
        const json* value = Find(key);
        if (value == nullptr) return std::nullopt;
        if (!value->is_string()) Fail(where_, Quote(key) + " must be a text");
        return value->get<std::string>();
    }

    // A fixed number of hex digits ("1e73" for a 16-bit ID).
    std::optional<std::uint32_t> FixedHex(const std::string& key, std::size_t digits) {
        auto text = String(key);
        if (!text) return std::nullopt;
        auto value = ParseFixedHex(*text, digits);
        if (!value) {
            Fail(where_, Quote(key) + " " + Quote(*text) + " must be " + std::to_string(digits) +
                             " hex digits");
        }
        return value;
    }

    // A 32-bit number given as hex text ("0x30") or as a JSON number.
    std::optional<std::uint32_t> HexOrInteger(const std::string& key) {
        const json* value = Find(key);
        if (value == nullptr) return std::nullopt;
        if (value->is_number_integer()) {
            return static_cast<std::uint32_t>(*Integer(key, 0, 0xFFFFFFFFu));
        }
        if (value->is_string()) {
            auto n = ParseHexNumber(value->get<std::string>());
            if (n) return n;
        }
        Fail(where_, Quote(key) + " " + value->dump() + " must be a hex text such as \"0x1F\"");
    }

    // Hex bytes separated by spaces ("C2 20 13").
    template <std::size_t N>
    std::optional<std::array<std::uint8_t, N>> HexBytes(const std::string& key) {
        auto text = String(key);
        if (!text) return std::nullopt;
        std::istringstream in(*text);
        std::array<std::uint8_t, N> bytes{};
        std::string token;
        std::size_t count = 0;
        while (in >> token) {
            auto byte = ParseFixedHex(token, 2);
            if (!byte || count == N) {
                count = N + 1;
                break;
            }
            bytes[count++] = static_cast<std::uint8_t>(*byte);
        }
        if (count != N) {
            Fail(where_, Quote(key) + " " + Quote(*text) + " must be " + std::to_string(N) +
                             " hex bytes separated by spaces");
        }
        return bytes;
    }

    std::optional<bool> Bool(const std::string& key) {
        const json* value = Find(key);
        if (value == nullptr) return std::nullopt;
        if (!value->is_boolean()) Fail(where_, Quote(key) + " must be true or false");
        return value->get<bool>();
    }

    const json* Array(const std::string& key) {
        const json* value = Find(key);
        if (value != nullptr && !value->is_array()) Fail(where_, Quote(key) + " must be a list");
        return value;
    }

    // Call after reading every known key.
    void RejectUnknownKeys() const {
        for (auto it = object_.begin(); it != object_.end(); ++it) {
            if (used_.count(it.key()) == 0) Fail(where_, "unknown key " + Quote(it.key()));
        }
    }

  private:
    const json& object_;
    std::string where_;
    std::set<std::string> used_;
};

std::string Indexed(const std::string& list, std::size_t index) {
    return list + "[" + std::to_string(index) + "]";
}

FaultConfig ParseFaults(const json& node, const std::string& where) {
    ObjectReader r(node, where);
    FaultConfig faults;
    faults.failCommand = r.Integer("fail_command", 1, UINT64_MAX);
    faults.hangFromCommand = r.Integer("hang_from_command", 1, UINT64_MAX);
    faults.offBusAtCommand = r.Integer("off_bus_at_command", 0, UINT64_MAX);
    if (const json* list = r.Array("fail_at")) {
        for (std::size_t i = 0; i < list->size(); ++i) {
            ObjectReader item((*list)[i], Indexed(r.Place("fail_at"), i));
            FailAtRule rule;
            rule.command = item.HexOrInteger("command");
            auto address = item.HexOrInteger("address");
            if (!address) Fail(item.Where(), "missing \"address\"");
            rule.address = *address;
            item.RejectUnknownKeys();
            faults.failAt.push_back(rule);
        }
    }
    if (const json* list = r.Array("flip_on_read")) {
        for (std::size_t i = 0; i < list->size(); ++i) {
            ObjectReader item((*list)[i], Indexed(r.Place("flip_on_read"), i));
            FlipOnReadRule rule;
            auto address = item.HexOrInteger("address");
            auto mask = item.HexOrInteger("mask");
            if (!address || !mask) Fail(item.Where(), "needs \"address\" and \"mask\"");
            if (*mask == 0 || *mask > 0xFF) Fail(item.Where(), "\"mask\" must be 0x01..0xFF");
            rule.address = *address;
            rule.mask = static_cast<std::uint8_t>(*mask);
            rule.times = static_cast<int>(item.Integer("times", 1, 1000000).value_or(1));
            item.RejectUnknownKeys();
            faults.flipOnRead.push_back(rule);
        }
    }
    r.RejectUnknownKeys();
    return faults;
}

// ---- Root ports ------------------------------------------------------------------------------

bool IsSuperSpeed(UsbSpeed speed) {
    return speed == UsbSpeed::kSuper || speed == UsbSpeed::kSuperPlus;
}

AttachmentFaults ParseAttachmentFaults(const json& node, const std::string& where,
                                       UsbAttachmentType type) {
    ObjectReader r(node, where);
    AttachmentFaults faults;
    faults.enableDelayMs =
        static_cast<std::uint32_t>(r.Integer("enable_delay_ms", 0, 3600000).value_or(0));
    faults.portResetHangs = r.Bool("port_reset_hangs").value_or(false);
    faults.signalCheckFails = r.Bool("signal_check_fails").value_or(false);
    faults.signalCheckNeverCompletes = r.Bool("signal_check_never_completes").value_or(false);
    faults.terminationBroken = r.Bool("termination_broken").value_or(false);
    if (auto ms = r.Integer("unplug_after_ms", 0, 3600000))
        faults.unplugAfterMs = static_cast<std::uint32_t>(*ms);
    if (auto text = r.String("link_error")) {
        if (type != UsbAttachmentType::kLoopback) {
            Fail(where, "\"link_error\" is only for a loop-back plug");
        }
        if (*text == "retrain") {
            faults.linkError = LinkErrorKind::kRetrain;
        } else if (*text == "phy_reset") {
            faults.linkError = LinkErrorKind::kPhyReset;
        } else if (*text == "persistent") {
            faults.linkError = LinkErrorKind::kPersistent;
        } else {
            Fail(where, "\"link_error\" " + Quote(*text) +
                            " must be one of retrain, phy_reset, persistent");
        }
    }
    r.RejectUnknownKeys();
    return faults;
}

// One attachment. `superSpeed` says which half of a connector (or which kind of hub) it sits
// on; `tier` counts the hubs above it; root attachments may carry faults.
UsbAttachment ParseAttachment(const json& node, const std::string& where, bool superSpeed,
                              std::size_t tier) {
    ObjectReader r(node, where);
    UsbAttachment a;
    auto type = r.String("type");
    if (!type) Fail(where, "missing \"type\" (device, hub or loopback)");
    if (*type == "device") {
        a.type = UsbAttachmentType::kDevice;
    } else if (*type == "hub") {
        a.type = UsbAttachmentType::kHub;
    } else if (*type == "loopback") {
        a.type = UsbAttachmentType::kLoopback;
    } else {
        Fail(where, "\"type\" " + Quote(*type) + " must be one of device, hub, loopback");
    }

    auto speed = r.String("speed");
    if (a.type == UsbAttachmentType::kLoopback) {
        if (speed) Fail(where, "a loop-back plug has no \"speed\" (it is always SuperSpeed)");
        if (!superSpeed || tier > 0) {
            Fail(where, "a loop-back plug fits only a SuperSpeed root port (usb3_port1/2)");
        }
        a.speed = UsbSpeed::kSuper;
    } else if (!speed) {
        a.speed = superSpeed ? UsbSpeed::kSuper : UsbSpeed::kHigh;
    } else if (*speed == "full") {
        a.speed = UsbSpeed::kFull;
    } else if (*speed == "high") {
        a.speed = UsbSpeed::kHigh;
    } else if (*speed == "super") {
        a.speed = UsbSpeed::kSuper;
    } else if (*speed == "superplus") {
        a.speed = UsbSpeed::kSuperPlus;
    } else {
        Fail(where, "\"speed\" " + Quote(*speed) + " must be one of full, high, super, superplus");
    }
    if (IsSuperSpeed(a.speed) != superSpeed) {
        Fail(where, "\"speed\" " + Quote(UsbSpeedName(a.speed)) + " does not fit a " +
                        (superSpeed ? "SuperSpeed port (super or superplus)"
                                    : "USB 2.0 port (full or high)"));
    }

    if (a.type == UsbAttachmentType::kHub) {
        a.vendorId = kSimHubVendorId;
        a.productId = kSimHubProductId;
    }
    if (auto id = r.String("usb_id")) {
        // "vvvv:pppp", 4 hex digits each.
        const auto vendor =
            id->size() == 9 && (*id)[4] == ':' ? ParseFixedHex(id->substr(0, 4), 4) : std::nullopt;
        const auto product =
            id->size() == 9 && (*id)[4] == ':' ? ParseFixedHex(id->substr(5), 4) : std::nullopt;
        if (!vendor || !product)
            Fail(where, "\"usb_id\" " + Quote(*id) + " must be vvvv:pppp (hex)");
        if (a.type == UsbAttachmentType::kLoopback)
            Fail(where, "a loop-back plug has no \"usb_id\" (the system does not enumerate it)");
        a.vendorId = static_cast<std::uint16_t>(*vendor);
        a.productId = static_cast<std::uint16_t>(*product);
    }

    if (const json* children = r.Array("children")) {
        if (a.type != UsbAttachmentType::kHub) Fail(where, "only a hub has \"children\"");
        if (tier + 1 > kMaxHubTiers) {
            Fail(where, "more than " + std::to_string(kMaxHubTiers) + " hubs in a chain");
        }
        if (children->size() > kMaxHubChildren) {
            Fail(where, "a hub has at most " + std::to_string(kMaxHubChildren) + " ports");
        }
        for (std::size_t i = 0; i < children->size(); ++i) {
            a.children.push_back(ParseAttachment((*children)[i], Indexed(r.Place("children"), i),
                                                 superSpeed, tier + 1));
        }
    }
    if (tier == 0) {
        if (const json* faults = r.Find("faults")) {
            a.faults = ParseAttachmentFaults(*faults, r.Place("faults"), a.type);
        }
    }
    r.RejectUnknownKeys();
    return a;
}

RootPortsConfig ParseRootPorts(const json& node, const std::string& where) {
    ObjectReader r(node, where);
    RootPortsConfig ports;
    for (std::size_t i = 0; i < kRootPortCount; ++i) {
        const json* port = r.Find(kRootPortKeys[i]);
        if (port == nullptr || port->is_null()) continue;
        ports[i] =
            ParseAttachment(*port, r.Place(kRootPortKeys[i]), IsSuperSpeedRootPort(i + 1), 0);
    }
    r.RejectUnknownKeys();
    return ports;
}

fs::path ResolveBeside(const std::string& stationPath, const std::string& name) {
    fs::path p(name);
    if (p.is_absolute()) return p;
    return fs::path(stationPath).parent_path() / p;
}

// A chip of the station file's own: what it answers, its geometry, opcodes and times.
FlashChipModel ParseFlashChip(const json& node, const std::string& where) {
    ObjectReader r(node, where);
    FlashChipModel chip;
    chip.name = r.String("name").value_or("station file chip");
    auto id = r.HexBytes<3>("id");
    if (!id) Fail(where, "missing \"id\"");
    chip.id = *id;
    chip.twoByteId = r.Bool("two_byte_id").value_or(false);
    chip.idOpcode = static_cast<std::uint8_t>(r.FixedHex("id_opcode", 2).value_or(0x9F));
    chip.idAddressBytes =
        static_cast<std::uint8_t>(r.Integer("id_address_bytes", 0, 4).value_or(0));
    const auto sectorKb = r.Integer("sector_kb", 1, 1024).value_or(4);
    const auto capacityKb = r.RequiredInteger("capacity_kb", 1, 16384);
    if (capacityKb % sectorKb != 0) {
        Fail(where, "\"capacity_kb\" must be a whole number of sectors of \"sector_kb\"");
    }
    chip.sectorBytes = static_cast<std::uint32_t>(sectorKb * 1024);
    chip.capacityBytes = static_cast<std::uint32_t>(capacityKb * 1024);
    chip.sectorEraseOpcode =
        static_cast<std::uint8_t>(r.FixedHex("sector_erase_opcode", 2).value_or(0x20));
    chip.aai = r.Bool("aai").value_or(false);
    chip.bpMask = static_cast<std::uint8_t>(r.FixedHex("bp_mask", 2).value_or(0x1C));
    if ((chip.bpMask & ~0x7Cu) != 0 || chip.bpMask == 0) {
        Fail(where, "\"bp_mask\" must name block-protection bits among 0x7c");
    }
    chip.sectorEraseMs =
        static_cast<std::uint32_t>(r.Integer("sector_erase_ms", 0, 60000).value_or(40));
    chip.programUs = static_cast<std::uint32_t>(r.Integer("program_us", 0, 1000000).value_or(50));
    chip.statusWriteMs =
        static_cast<std::uint32_t>(r.Integer("status_write_ms", 0, 60000).value_or(10));
    r.RejectUnknownKeys();
    return chip;
}

ControllerConfig ParseController(const json& node, std::size_t index,
                                 const std::string& stationPath) {
    const std::string where = Indexed("controllers", index);
    ObjectReader r(node, where);
    ControllerConfig c;
    c.bus = static_cast<std::uint8_t>(r.RequiredInteger("bus", 0, 255));
    c.device = static_cast<std::uint8_t>(r.Integer("device", 0, 31).value_or(0));
    c.function = static_cast<std::uint8_t>(r.Integer("function", 0, 7).value_or(0));
    c.kind = static_cast<int>(r.Integer("kind", 0, 1).value_or(0));
    const auto maxModel = static_cast<std::uint64_t>(ModelCount(c.kind) - 1);
    c.model = static_cast<int>(r.Integer("model", 0, maxModel).value_or(0));
    c.vendorId = static_cast<std::uint16_t>(r.FixedHex("vendor_id", 4).value_or(kDefaultVendorId));
    if (c.vendorId == 0xFFFF) Fail(where, "vendor_id ffff is what an absent function reads");
    c.deviceId = static_cast<std::uint16_t>(
        r.FixedHex("device_id", 4).value_or(DefaultDeviceId(c.kind, c.model)));

    c.chipSignature = r.HexBytes<4>("chip_signature").value_or(DefaultChipSignature(c.kind));
    if (const json* chip = r.Find("flash_chip")) {
        if (r.Find("flash_id") != nullptr)
            Fail(where, "give \"flash_id\" or \"flash_chip\", not both");
        c.flashChip = ParseFlashChip(*chip, r.Place("flash_chip"));
        c.flashId = c.flashChip.id;
    } else {
        c.flashId = r.HexBytes<3>("flash_id").value_or(kDefaultFlashId);
        auto known = FindFlashChip(c.flashId);
        if (!known) {
            char text[16];
            std::snprintf(text, sizeof text, "%02X %02X %02X", c.flashId[0], c.flashId[1],
                          c.flashId[2]);
            Fail(where, "flash_id " + Quote(text) +
                            " is no chip the station knows (describe it with \"flash_chip\")");
        }
        c.flashChip = *known;
    }
    c.flashStatus = static_cast<std::uint8_t>(r.FixedHex("flash_status", 2).value_or(0));

    const std::string flashName =
        r.String("flash").value_or("host" + std::to_string(index) + ".flash");
    if (flashName.empty()) Fail(where, "\"flash\" must name a file");
    c.flashPath = ResolveBeside(stationPath, flashName).lexically_normal().string();

    c.defaultSvid = static_cast<std::uint16_t>(r.FixedHex("default_svid", 4).value_or(0x1E73));
    c.defaultSsid = static_cast<std::uint16_t>(
        r.FixedHex("default_ssid", 4).value_or(DefaultSsid(c.kind, c.model)));
    c.pcieLink = static_cast<std::uint8_t>(r.FixedHex("pcie_link", 2).value_or(0x18));

    c.bar0 = kDefaultBar0Base + static_cast<std::uint32_t>(index) * kDefaultBar0Stride;
    if (auto bar = r.HexOrInteger("bar0")) {
        if (*bar == 0 || *bar % kBar0RegionBytes != 0) {
            Fail(where, "\"bar0\" must be a nonzero multiple of 0x10000 (the register region)");
        }
        c.bar0 = *bar;
    }
    if (auto capLength = r.HexOrInteger("cap_length")) {
        if (*capLength < 0x20 || *capLength > 0x80 || *capLength % 4 != 0) {
            Fail(where, "\"cap_length\" must be a multiple of 4 from 0x20 to 0x80");
        }
        c.capLength = static_cast<std::uint8_t>(*capLength);
    }
    if (const json* ports = r.Find("ports")) {
        if (!ports->is_null()) c.ports = ParseRootPorts(*ports, r.Place("ports"));
    }
    if (const json* faults = r.Find("faults")) c.faults = ParseFaults(*faults, r.Place("faults"));
    r.RejectUnknownKeys();
    return c;
}

OtherDeviceConfig ParseOtherDevice(const json& node, std::size_t index) {
    ObjectReader r(node, Indexed("other_devices", index));
    OtherDeviceConfig d;
    d.bus = static_cast<std::uint8_t>(r.RequiredInteger("bus", 0, 255));
    d.device = static_cast<std::uint8_t>(r.Integer("device", 0, 31).value_or(0));
    d.function = static_cast<std::uint8_t>(r.Integer("function", 0, 7).value_or(0));
    auto vendor = r.FixedHex("vendor", 4);
    auto deviceId = r.FixedHex("device_id", 4);
    if (!vendor || !deviceId) Fail(r.Where(), "needs \"vendor\" and \"device_id\"");
    if (*vendor == 0xFFFF) Fail(r.Where(), "vendor ffff is what an absent function reads");
    d.vendorId = static_cast<std::uint16_t>(*vendor);
    d.deviceId = static_cast<std::uint16_t>(*deviceId);
    d.classCode = r.FixedHex("class", 6).value_or(0x060000);
    r.RejectUnknownKeys();
    return d;
}

// Checks that cannot be made on one entry alone: addresses, register regions and flash files
// used once, and flash files that exist having the chip's size.
void CheckStation(const StationConfig& station) {
    std::map<std::tuple<int, int, int>, std::string> functions;
    auto claim = [&](int bus, int device, int function, const std::string& who) {
        auto [it, fresh] = functions.emplace(std::make_tuple(bus, device, function), who);
        if (!fresh) {
            char address[16];
            std::snprintf(address, sizeof address, "%02x:%02x.%d", bus, device, function);
            Fail(who, std::string("PCI address ") + address + " is already taken by " + it->second);
        }
    };
    for (std::size_t i = 0; i < station.controllers.size(); ++i) {
        const ControllerConfig& c = station.controllers[i];
        claim(c.bus, c.device, c.function, Indexed("controllers", i));
    }
    for (std::size_t i = 0; i < station.otherDevices.size(); ++i) {
        const OtherDeviceConfig& d = station.otherDevices[i];
        claim(d.bus, d.device, d.function, Indexed("other_devices", i));
    }

    for (std::size_t i = 0; i < station.controllers.size(); ++i) {
        const ControllerConfig& c = station.controllers[i];
        const std::string where = Indexed("controllers", i);
        for (std::size_t j = 0; j < i; ++j) {
            const ControllerConfig& other = station.controllers[j];
            if (c.bar0 == other.bar0) {
                Fail(where,
                     "\"bar0\" overlaps the register region of " + Indexed("controllers", j));
            }
            std::error_code ec;
            if (c.flashPath == other.flashPath ||
                (fs::exists(c.flashPath, ec) && fs::equivalent(c.flashPath, other.flashPath, ec))) {
                Fail(where, "flash file " + Quote(c.flashPath) + " is already used by " +
                                Indexed("controllers", j));
            }
        }

        const std::uint32_t capacity = c.flashChip.capacityBytes;
        std::error_code ec;
        const fs::file_status status = fs::status(c.flashPath, ec);
        if (fs::exists(status)) {
            if (!fs::is_regular_file(status)) {
                Fail(where, "flash file " + Quote(c.flashPath) + " is not a regular file");
            }
            const std::uintmax_t size = fs::file_size(c.flashPath, ec);
            if (ec || size != capacity) {
                Fail(where, "flash file " + Quote(c.flashPath) + " has " +
                                (ec ? std::string("an unreadable size")
                                    : std::to_string(size) + " bytes") +
                                " but the flash part holds " + std::to_string(capacity));
            }
        } else {
            fs::path folder = fs::path(c.flashPath).parent_path();
            if (folder.empty()) folder = ".";
            if (!fs::is_directory(folder, ec)) {
                Fail(where, "folder of flash file " + Quote(c.flashPath) + " does not exist");
            }
        }
    }
}

StationConfig ParseStation(const std::string& text, const std::string& path) {
    json root;
    try {
        root = json::parse(text);
    } catch (const json::parse_error& e) {
        // e.what() reads "[json.exception.parse_error.101] parse error at line 3, column 5: ...";
        // keep the part after the bracketed id.
        std::string what = e.what();
        const std::size_t close = what.find("] ");
        Fail("", "not valid JSON: " + (close == std::string::npos ? what : what.substr(close + 2)));
    }
    ObjectReader r(root, "");
    StationConfig station;
    station.sourcePath = path;
    if (const json* scale = r.Find("time_scale")) {
        if (!scale->is_number()) Fail("", "\"time_scale\" must be a number");
        const double value = scale->get<double>();
        if (!(value > 0.0 && value <= 1.0)) {
            Fail("", "\"time_scale\" " + scale->dump() + " must be above 0 and at most 1");
        }
        station.timeScale = value;
    }
    station.driverLoadFails = r.Bool("driver_load_fails").value_or(false);
    if (auto plug = r.String("plug_file")) {
        if (plug->empty()) Fail("", "\"plug_file\" must name a file");
        station.plugFile = ResolveBeside(path, *plug).string();
    }
    if (const json* list = r.Array("controllers")) {
        for (std::size_t i = 0; i < list->size(); ++i) {
            station.controllers.push_back(ParseController((*list)[i], i, path));
        }
    }
    if (const json* list = r.Array("other_devices")) {
        for (std::size_t i = 0; i < list->size(); ++i) {
            station.otherDevices.push_back(ParseOtherDevice((*list)[i], i));
        }
    }
    r.RejectUnknownKeys();
    CheckStation(station);
    return station;
}

}  // namespace

const char* UsbSpeedName(UsbSpeed speed) {
    switch (speed) {
        case UsbSpeed::kFull:
            return "full";
        case UsbSpeed::kHigh:
            return "high";
        case UsbSpeed::kSuper:
            return "super";
        case UsbSpeed::kSuperPlus:
            return "superplus";
    }
    return "?";
}

const char* UsbAttachmentTypeName(UsbAttachmentType type) {
    switch (type) {
        case UsbAttachmentType::kDevice:
            return "device";
        case UsbAttachmentType::kHub:
            return "hub";
        case UsbAttachmentType::kLoopback:
            return "loopback";
    }
    return "?";
}

std::array<std::uint8_t, 4> DefaultChipSignature(int kind) {
    // "142A" and "S42B": what the two generations' boot code leaves in data memory.
    if (kind == 1) return {0x53, 0x34, 0x32, 0x42};
    return {0x31, 0x34, 0x32, 0x41};
}

int ModelCount(int kind) {
    return kind == 1 ? static_cast<int>(kKind1DeviceIds.size())
                     : static_cast<int>(kKind0DeviceIds.size());
}

std::uint16_t DefaultDeviceId(int kind, int model) {
    if (model < 0 || model >= ModelCount(kind)) model = 0;
    const auto index = static_cast<std::size_t>(model);
    return kind == 1 ? kKind1DeviceIds[index] : kKind0DeviceIds[index];
}

std::uint16_t DefaultSsid(int kind, int model) {
    // Without a configuration block the subsystem ID repeats the device ID.
    return DefaultDeviceId(kind, model);
}

std::optional<StationConfig> ParseStationText(const std::string& text, const std::string& path,
                                              std::string& error) {
    try {
        return ParseStation(text, path);
    } catch (const ParseFailure& e) {
        error = "station file " + path + ": " + e.what();
    } catch (const std::exception& e) {
        // nlohmann type errors and filesystem errors: still a one-line message, never a crash.
        error = "station file " + path + ": " + e.what();
    }
    return std::nullopt;
}

std::optional<UsbAttachment> ParseAttachmentText(const std::string& text, std::uint32_t xhciPort,
                                                 std::string& error) {
    const std::string where = xhciPort >= 1 && xhciPort <= kRootPortCount
                                  ? kRootPortKeys[xhciPort - 1]
                                  : std::string("port");
    try {
        if (xhciPort < 1 || xhciPort > kRootPortCount) Fail(where, "no such root port");
        const json node = json::parse(text);
        return ParseAttachment(node, where, IsSuperSpeedRootPort(xhciPort), 0);
    } catch (const ParseFailure& e) {
        error = e.what();
    } catch (const std::exception& e) {
        error = where + ": " + e.what();
    }
    return std::nullopt;
}

std::optional<StationConfig> LoadStationFile(const std::string& path, std::string& error) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        error = "station file " + path + ": " +
                (fs::exists(path, ec) ? "is not a regular file" : "does not exist");
        return std::nullopt;
    }
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > kMaxStationFileBytes) {
        error = "station file " + path + ": " +
                (ec ? "size cannot be read" : "is larger than 1 MB, not a station file");
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        error = "station file " + path + ": cannot be read";
        return std::nullopt;
    }
    return ParseStationText(text, path, error);
}

StationConfig DefaultStation(const std::string& toolFolder) {
    StationConfig station;
    station.timeScale = 0.01;
    const FlashChipModel chip = FindFlashChip(kDefaultFlashId).value();
    for (int i = 0; i < 2; ++i) {
        ControllerConfig c;
        c.bus = static_cast<std::uint8_t>(3 + i);
        c.kind = 0;
        c.model = 0;
        c.chipSignature = DefaultChipSignature(0);
        c.vendorId = kDefaultVendorId;
        c.deviceId = DefaultDeviceId(0, 0);
        c.flashId = kDefaultFlashId;
        c.flashChip = chip;
        c.flashPath = (fs::path(toolFolder) / ("sim_host" + std::to_string(i) + ".flash")).string();
        c.defaultSsid = DefaultSsid(0, 0);
        c.bar0 = kDefaultBar0Base + static_cast<std::uint32_t>(i) * kDefaultBar0Stride;
        // A test fixture on every connector: SuperSpeedPlus devices on the SuperSpeed halves,
        // high-speed devices on the USB 2.0 halves.
        auto device = [](UsbSpeed speed) {
            UsbAttachment a;
            a.type = UsbAttachmentType::kDevice;
            a.speed = speed;
            return a;
        };
        c.ports = {device(UsbSpeed::kSuperPlus), device(UsbSpeed::kSuperPlus),
                   device(UsbSpeed::kHigh), device(UsbSpeed::kHigh)};
        station.controllers.push_back(c);
    }
    // Lines appended to this file plug and unplug devices while the tool runs.
    station.plugFile = (fs::path(toolFolder) / kDefaultPlugFileName).string();
    station.otherDevices.push_back({.bus = 0,
                                    .device = 0,
                                    .function = 0,
                                    .vendorId = 0x8086,
                                    .deviceId = 0x3E92,
                                    .classCode = 0x060000});
    return station;
}

double TimeScaleOf(const StationConfig& config) {
    return config.timeScale;
}

}  // namespace qnl::sim
