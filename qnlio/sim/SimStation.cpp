#include "qnlio/sim/SimStation.h"

#include <algorithm>
#include <stdexcept>

#include "qnlio/sim/SimFlash.h"

namespace qnl::sim {
namespace {

// Mapped addresses are handles: each window gets its own block of address space, spaced wider
// than any window so that running past the end of one never lands in another. Handles are
// never reused, so a stale handle stays invalid.
constexpr MappedAddress kFirstHandle = 0x10000000;
constexpr MappedAddress kHandleStride = 0x20000;

void PutLe(std::uint8_t* at, std::uint32_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

SimStation::SimStation(StationConfig config, IClock& clock)
    : config_(std::move(config)), nextHandle_(kFirstHandle) {
    for (std::size_t i = 0; i < config_.controllers.size(); ++i) {
        const ControllerConfig& c = config_.controllers[i];
        const std::uint32_t key = Key(c.bus, c.device, c.function);
        if (!controllerByKey_.emplace(key, i).second) {
            throw StationError("station: two controllers at one PCI address");
        }
        controllers_.push_back(std::make_unique<SimController>(c, clock));
        std::array<const UsbAttachment*, kRootPortCount> ports{};
        for (std::size_t p = 0; p < kRootPortCount; ++p)
            ports[p] = c.ports[p] ? &*c.ports[p] : nullptr;
        livePorts_.push_back(ports);
    }
    for (std::size_t i = 0; i < config_.otherDevices.size(); ++i) {
        const OtherDeviceConfig& d = config_.otherDevices[i];
        const std::uint32_t key = Key(d.bus, d.device, d.function);
        if (controllerByKey_.count(key) != 0 || !otherByKey_.emplace(key, i).second) {
            throw StationError("station: two functions at one PCI address");
        }
        OtherDevice device;
        PutLe(&device.configSpace[0], d.vendorId, 2);
        PutLe(&device.configSpace[2], d.deviceId, 2);
        PutLe(&device.configSpace[9], d.classCode, 3);
        others_.push_back(device);
    }
}

SimStation::~SimStation() {
    // Each controller writes back its own flash as it goes.
    controllers_.clear();
}

std::uint32_t SimStation::Key(std::uint32_t bus, std::uint32_t device, std::uint32_t function) {
    return ((bus & 0xFF) << 16) | ((device & 0xFF) << 8) | (function & 0xFF);
}

SimController* SimStation::ControllerAt(std::uint32_t bus, std::uint32_t device,
                                        std::uint32_t function) {
    auto it = controllerByKey_.find(Key(bus, device, function));
    return it == controllerByKey_.end() ? nullptr : controllers_[it->second].get();
}

const SimStation::OtherDevice* SimStation::OtherAt(std::uint32_t bus, std::uint32_t device,
                                                   std::uint32_t function) const {
    auto it = otherByKey_.find(Key(bus, device, function));
    return it == otherByKey_.end() ? nullptr : &others_[it->second];
}

SimController& SimStation::Controller(std::size_t index) {
    if (index >= controllers_.size()) {
        throw std::out_of_range("SimStation::Controller: index " + std::to_string(index) + " of " +
                                std::to_string(controllers_.size()));
    }
    return *controllers_[index];
}

// ---- Driver ----------------------------------------------------------------------------------

std::uint32_t SimStation::LoadQnlIODriver() {
    std::lock_guard lock(mutex_);
    if (config_.driverLoadFails) return 0;
    driverLoaded_ = true;
    return 1;
}

void SimStation::UnloadQnlIODriver() {
    std::string ignored;  // LastWriteBackError() of the controller keeps the reason
    WriteBackAll(ignored);
    std::lock_guard lock(mutex_);
    driverLoaded_ = false;
    mappings_.clear();
}

bool SimStation::DriverLoaded() const {
    std::lock_guard lock(mutex_);
    return driverLoaded_;
}

bool SimStation::WriteBackAll(std::string& error) {
    bool ok = true;
    for (auto& controller : controllers_) {
        std::string one;
        if (!controller->WriteBackFlash(one)) {
            if (ok) error = one;
            ok = false;
        }
    }
    return ok;
}

// ---- Configuration space ---------------------------------------------------------------------

std::uint32_t SimStation::PCI_Read_DWORD(std::uint32_t bus, std::uint32_t device,
                                         std::uint32_t function, std::uint32_t offset) {
    if (SimController* c = ControllerAt(bus, device, function)) return c->ConfigRead32(offset);
    const OtherDevice* other = OtherAt(bus, device, function);
    if (other == nullptr || offset >= SimController::kConfigBytes) return 0xFFFFFFFF;
    const std::uint32_t aligned = offset & ~3u;
    std::uint32_t value = 0;
    for (std::uint32_t i = 0; i < 4; ++i) {
        value |= std::uint32_t{other->configSpace[aligned + i]} << (8 * i);
    }
    return value;
}

std::uint8_t SimStation::PCI_Read_BYTE(std::uint32_t bus, std::uint32_t device,
                                       std::uint32_t function, std::uint32_t offset) {
    if (SimController* c = ControllerAt(bus, device, function)) return c->ConfigRead8(offset);
    const OtherDevice* other = OtherAt(bus, device, function);
    if (other == nullptr || offset >= SimController::kConfigBytes) return 0xFF;
    return other->configSpace[offset];
}

void SimStation::PCI_Write_DWORD(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                                 std::uint32_t offset, std::uint32_t value) {
    // Writes to other devices are dropped: the tool has no business there.
    if (SimController* c = ControllerAt(bus, device, function)) c->ConfigWrite32(offset, value);
}

void SimStation::PCI_Write_Byte(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                                std::uint32_t offset, std::uint32_t value) {
    if (SimController* c = ControllerAt(bus, device, function)) {
        c->ConfigWrite8(offset, static_cast<std::uint8_t>(value));
    }
}

// ---- Register window -------------------------------------------------------------------------

MappedAddress SimStation::MapQnlIO(std::uint32_t physicalAddress, std::uint32_t size) {
    if (size == 0 || size > SimController::kRegisterWindowBytes) return 0;
    for (std::size_t i = 0; i < controllers_.size(); ++i) {
        const std::uint64_t base = controllers_[i]->RegisterBase();
        const std::uint64_t end = base + SimController::kRegisterWindowBytes;
        if (physicalAddress < base || std::uint64_t{physicalAddress} + size > end) continue;
        std::lock_guard lock(mutex_);
        const MappedAddress handle = nextHandle_;
        nextHandle_ += kHandleStride;
        mappings_[handle] = {i, static_cast<std::uint32_t>(physicalAddress - base), size};
        return handle;
    }
    return 0;
}

void SimStation::UnmapQnlIO(MappedAddress address, std::uint32_t /*size*/) {
    std::lock_guard lock(mutex_);
    mappings_.erase(address);
}

std::size_t SimStation::MappingCount() const {
    std::lock_guard lock(mutex_);
    return mappings_.size();
}

bool SimStation::Resolve(MappedAddress address, std::size_t& controller,
                         std::uint32_t& offset) const {
    std::lock_guard lock(mutex_);
    auto it = mappings_.upper_bound(address);
    if (it == mappings_.begin()) return false;
    --it;
    const MappedAddress within = address - it->first;
    if (within >= it->second.size) return false;
    controller = it->second.controller;
    offset = it->second.offset + static_cast<std::uint32_t>(within);
    return true;
}

std::int32_t SimStation::ReadMEM(MappedAddress address, std::uint32_t width,
                                 std::uint32_t* result) {
    std::size_t controller = 0;
    std::uint32_t offset = 0;
    if (width != 1 || result == nullptr || !Resolve(address, controller, offset)) return -1;
    *result = controllers_[controller]->RegisterRead(offset);
    return 0;
}

std::int32_t SimStation::WriteMEM(MappedAddress address, std::uint32_t width,
                                  const std::uint32_t* value) {
    std::size_t controller = 0;
    std::uint32_t offset = 0;
    if (width != 1 || value == nullptr || !Resolve(address, controller, offset)) return -1;
    controllers_[controller]->RegisterWrite(offset, static_cast<std::uint8_t>(*value));
    return 0;
}

// ---- Mailbox ---------------------------------------------------------------------------------

std::int32_t SimStation::WriteCmdALL(std::uint32_t bus, std::uint32_t device,
                                     std::uint32_t function, std::uint32_t command,
                                     std::uint32_t space, std::uint32_t length,
                                     std::uint32_t address, std::uint32_t dataLow,
                                     std::uint32_t dataHigh) {
    SimController* c = ControllerAt(bus, device, function);
    if (c == nullptr) return kMailboxTimedOut;
    return c->WriteCmdAll(command, space, length, address, dataLow, dataHigh);
}

std::int32_t SimStation::Wait_Write_Ready(std::uint32_t bus, std::uint32_t device,
                                          std::uint32_t function) {
    SimController* c = ControllerAt(bus, device, function);
    return c == nullptr ? kMailboxTimedOut : c->WaitWriteReady();
}

std::int32_t SimStation::Wait_Read_Ready(std::uint32_t bus, std::uint32_t device,
                                         std::uint32_t function) {
    SimController* c = ControllerAt(bus, device, function);
    return c == nullptr ? kMailboxTimedOut : c->WaitReadReady();
}

std::int32_t SimStation::ReadCMD(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                                 std::uint8_t* reply) {
    if (reply == nullptr) return kMailboxInvalidParameter;
    SimController* c = ControllerAt(bus, device, function);
    if (c == nullptr) {
        std::fill_n(reply, kReplyRecordBytes, 0xFF);
        return kMailboxTimedOut;
    }
    return c->ReadCmd(reply);
}

// ---- Plugging and unplugging -------------------------------------------------------------------

namespace {
// The devices the operating system sees come or go with `a`: itself and what hangs below it.
void CollectEnumerated(const UsbAttachment& a, std::vector<const UsbAttachment*>& out) {
    if (a.type == UsbAttachmentType::kLoopback) return;
    out.push_back(&a);
    for (const UsbAttachment& child : a.children) CollectEnumerated(child, out);
}
}  // namespace

const UsbAttachment* SimStation::PortAttachment(std::size_t controller,
                                                std::uint32_t xhciPort) const {
    std::lock_guard lock(plugMutex_);
    if (controller >= livePorts_.size() || xhciPort < 1 || xhciPort > kRootPortCount)
        return nullptr;
    return livePorts_[controller][xhciPort - 1];
}

bool SimStation::Plug(std::size_t controller, std::uint32_t xhciPort,
                      std::optional<UsbAttachment> what, std::string& error) {
    if (controller >= controllers_.size()) {
        error = "station: no controller " + std::to_string(controller);
        return false;
    }
    if (xhciPort < 1 || xhciPort > kRootPortCount) {
        error = "station: no root port " + std::to_string(xhciPort);
        return false;
    }
    const UsbAttachment* before = nullptr;
    const UsbAttachment* after = nullptr;
    {
        std::lock_guard lock(plugMutex_);
        if (what) {
            plugged_.push_back(std::move(*what));
            after = &plugged_.back();
        }
        before = livePorts_[controller][xhciPort - 1];
        livePorts_[controller][xhciPort - 1] = after;
    }
    controllers_[controller]->SetPortAttachment(xhciPort, after);

    std::vector<PlugEvent> events;
    auto add = [&](const UsbAttachment* root, bool arrived) {
        if (root == nullptr) return;
        std::vector<const UsbAttachment*> devices;
        CollectEnumerated(*root, devices);
        for (const UsbAttachment* d : devices)
            events.push_back({arrived, controller, xhciPort, d->vendorId, d->productId});
    };
    add(before, false);
    add(after, true);
    std::lock_guard lock(listenersMutex_);
    for (const PlugEvent& event : events)
        for (auto& [token, listener] : plugListeners_) listener(event);
    return true;
}

int SimStation::AddPlugListener(PlugListener listener) {
    std::lock_guard lock(listenersMutex_);
    const int token = nextListener_++;
    plugListeners_.emplace(token, std::move(listener));
    return token;
}

void SimStation::RemovePlugListener(int token) {
    std::lock_guard lock(listenersMutex_);
    plugListeners_.erase(token);
}

}  // namespace qnl::sim
