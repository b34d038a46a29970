// A small in-memory view of USB for tests that need the operating system's answer: host
// controllers, each with one root hub, and per hub what is attached to its ports.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/UsbTopology.h"

namespace qnl::test {

class FakeUsbTopology final : public IUsbTopology {
  public:
    // Adds a controller whose root hub is named `rootHub` and has `ports` ports.
    void AddController(std::uint16_t vendor, std::uint16_t device, const std::string& rootHub,
                       std::uint32_t ports) {
        UsbHostController c;
        c.vendorId = vendor;
        c.deviceId = device;
        c.name = rootHub;
        controllers_.push_back(c);
        hubs_[rootHub].resize(ports);
    }
    // Attaches a device (or, with hubPorts, a hub named `hubName`) to a port of a hub.
    void Attach(const std::string& hub, std::uint32_t index, const std::string& hubName = {},
                std::uint32_t hubPorts = 0) {
        Port& port = hubs_.at(hub).at(index - 1);
        port.connected = true;
        port.hub = hubName;
        if (!hubName.empty()) hubs_[hubName].resize(hubPorts);
    }

    std::vector<UsbHostController> HostControllers() override { return controllers_; }
    std::vector<std::string> RootHubs(const UsbHostController& controller) override {
        return {controller.name};
    }
    std::optional<std::uint32_t> PortCount(const std::string& hub) override {
        auto it = hubs_.find(hub);
        if (it == hubs_.end()) return std::nullopt;
        return static_cast<std::uint32_t>(it->second.size());
    }
    std::optional<UsbPortConnection> PortConnection(const std::string& hub,
                                                    std::uint32_t index) override {
        const Port* port = Find(hub, index);
        if (port == nullptr) return std::nullopt;
        return UsbPortConnection{port->connected, !port->hub.empty()};
    }
    std::optional<std::string> AttachedHub(const std::string& hub, std::uint32_t index) override {
        const Port* port = Find(hub, index);
        if (port == nullptr || port->hub.empty()) return std::nullopt;
        return port->hub;
    }

  private:
    struct Port {
        bool connected = false;
        std::string hub;  // non-empty: the attached device is this hub
    };
    const Port* Find(const std::string& hub, std::uint32_t index) const {
        auto it = hubs_.find(hub);
        if (it == hubs_.end() || index == 0 || index > it->second.size()) return nullptr;
        return &it->second[index - 1];
    }
    std::vector<UsbHostController> controllers_;
    std::map<std::string, std::vector<Port>> hubs_;
};

}  // namespace qnl::test
