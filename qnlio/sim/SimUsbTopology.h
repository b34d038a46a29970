// The operating system's view of USB on the simulated station: every controller of the station
// is a USB host controller with one root hub of four ports (xHCI port numbering), and what the
// station file plugs into a port is attached there, hubs with their children.
//
// A loop-back plug is a test fixture that the operating system does not enumerate: its port
// reads as empty here. An attachment with "unplug_after_ms" disappears from this view once
// that much station time has passed since the view was made.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/UsbTopology.h"
#include "qnlio/sim/StationConfig.h"

namespace qnl::sim {

class SimUsbTopology final : public IUsbTopology {
  public:
    SimUsbTopology(const StationConfig& station, IClock& clock);
    // The view of a running station: what is plugged and unplugged meanwhile shows (the root
    // ports are read from `live`, which must outlive the view).
    SimUsbTopology(const class SimStation& live, IClock& clock);

    std::vector<UsbHostController> HostControllers() override;
    std::vector<std::string> RootHubs(const UsbHostController& controller) override;
    std::optional<std::uint32_t> PortCount(const std::string& hub) override;
    std::optional<UsbPortConnection> PortConnection(const std::string& hub,
                                                    std::uint32_t index) override;
    std::optional<std::string> AttachedHub(const std::string& hub, std::uint32_t index) override;

  private:
    // A hub is named "<controller>" for the root hub, then ".<port>" per hub below it.
    struct HubRef {
        std::size_t controller = 0;
        const UsbAttachment* hub = nullptr;  // null: the root hub
        std::uint32_t rootPort = 0;          // the root port the hub chain hangs from
    };
    std::optional<HubRef> FindHub(const std::string& name) const;
    // What sits at a 1-based port of a hub, when the operating system sees it.
    const UsbAttachment* Attached(const HubRef& hub, std::uint32_t index) const;

    // The attachment in root port `port` (1-based) of a controller now.
    const UsbAttachment* RootAttachment(std::size_t controller, std::uint32_t port) const;

    const StationConfig& station_;
    const class SimStation* live_ = nullptr;
    IClock& clock_;
    const std::uint64_t startMs_;
};

}  // namespace qnl::sim
