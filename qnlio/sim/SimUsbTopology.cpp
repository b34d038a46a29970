#include "qnlio/sim/SimUsbTopology.h"

#include <charconv>

#include "qnlio/sim/SimStation.h"

namespace qnl::sim {

namespace {
bool ParseIndex(std::string_view text, std::size_t& value) {
    if (text.empty()) return false;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && ptr == text.data() + text.size();
}
}  // namespace

SimUsbTopology::SimUsbTopology(const StationConfig& station, IClock& clock)
    : station_(station), clock_(clock), startMs_(clock.NowMs()) {}

SimUsbTopology::SimUsbTopology(const SimStation& live, IClock& clock)
    : station_(live.Config()), live_(&live), clock_(clock), startMs_(clock.NowMs()) {}

const UsbAttachment* SimUsbTopology::RootAttachment(std::size_t controller,
                                                    std::uint32_t port) const {
    if (live_ != nullptr) return live_->PortAttachment(controller, port);
    const auto& ports = station_.controllers[controller].ports;
    if (port < 1 || port > ports.size() || !ports[port - 1]) return nullptr;
    return &*ports[port - 1];
}

std::vector<UsbHostController> SimUsbTopology::HostControllers() {
    std::vector<UsbHostController> list;
    for (std::size_t i = 0; i < station_.controllers.size(); ++i) {
        const ControllerConfig& c = station_.controllers[i];
        UsbHostController hc;
        hc.vendorId = c.vendorId;
        hc.deviceId = c.deviceId;
        hc.bus = c.bus;
        hc.device = c.device;
        hc.function = c.function;
        hc.name = std::to_string(i);
        list.push_back(hc);
    }
    return list;
}

std::vector<std::string> SimUsbTopology::RootHubs(const UsbHostController& controller) {
    std::size_t index = 0;
    if (!ParseIndex(controller.name, index) || index >= station_.controllers.size()) return {};
    return {controller.name};
}

std::optional<SimUsbTopology::HubRef> SimUsbTopology::FindHub(const std::string& name) const {
    HubRef ref;
    std::size_t start = 0;
    auto dot = name.find('.');
    if (!ParseIndex(std::string_view(name).substr(0, dot), ref.controller) ||
        ref.controller >= station_.controllers.size())
        return std::nullopt;
    while (dot != std::string::npos) {
        start = dot + 1;
        dot = name.find('.', start);
        std::size_t port = 0;
        if (!ParseIndex(std::string_view(name).substr(
                            start, dot == std::string::npos ? std::string::npos : dot - start),
                        port))
            return std::nullopt;
        const UsbAttachment* next = Attached(ref, static_cast<std::uint32_t>(port));
        if (next == nullptr || next->type != UsbAttachmentType::kHub) return std::nullopt;
        if (ref.hub == nullptr) ref.rootPort = static_cast<std::uint32_t>(port);
        ref.hub = next;
    }
    return ref;
}

const UsbAttachment* SimUsbTopology::Attached(const HubRef& hub, std::uint32_t index) const {
    if (index == 0) return nullptr;
    const UsbAttachment* found = nullptr;
    if (hub.hub == nullptr) {
        found = RootAttachment(hub.controller, index);
        if (found == nullptr) return nullptr;
    } else {
        if (index > hub.hub->children.size()) return nullptr;
        found = &hub.hub->children[index - 1];
    }
    if (found->type == UsbAttachmentType::kLoopback) return nullptr;
    // What sits in a root port may be pulled out after a while (hub children go with their hub).
    const UsbAttachment* root =
        hub.hub == nullptr ? found : RootAttachment(hub.controller, hub.rootPort);
    if (root == nullptr) return nullptr;
    if (root->faults.unplugAfterMs && clock_.NowMs() - startMs_ >= *root->faults.unplugAfterMs)
        return nullptr;
    return found;
}

std::optional<std::uint32_t> SimUsbTopology::PortCount(const std::string& hub) {
    auto ref = FindHub(hub);
    if (!ref) return std::nullopt;
    if (ref->hub == nullptr) return static_cast<std::uint32_t>(kRootPortCount);
    return static_cast<std::uint32_t>(ref->hub->children.size());
}

std::optional<UsbPortConnection> SimUsbTopology::PortConnection(const std::string& hub,
                                                                std::uint32_t index) {
    auto ref = FindHub(hub);
    if (!ref) return std::nullopt;
    const UsbAttachment* attached = Attached(*ref, index);
    UsbPortConnection connection;
    connection.connected = attached != nullptr;
    connection.deviceIsHub = attached != nullptr && attached->type == UsbAttachmentType::kHub;
    return connection;
}

std::optional<std::string> SimUsbTopology::AttachedHub(const std::string& hub,
                                                       std::uint32_t index) {
    auto ref = FindHub(hub);
    if (!ref) return std::nullopt;
    const UsbAttachment* attached = Attached(*ref, index);
    if (attached == nullptr || attached->type != UsbAttachmentType::kHub) return std::nullopt;
    return hub + "." + std::to_string(index);
}

}  // namespace qnl::sim
