// The simulated station's USB view, walked by the same search the upgrade and fixture test use.
#include <gtest/gtest.h>

#include "porttest/UsbDeviceSearch.h"
#include "qnlio/sim/SimUsbTopology.h"

namespace qnl::sim {
namespace {

StationConfig Parse(const std::string& controllers) {
    std::string error;
    auto config = ParseStationText(R"({ "controllers": )" + controllers + "}",
                                   "/tmp/station.json", error);
    if (!config) throw std::runtime_error(error);
    return *config;
}

std::string Controller(int bus, const std::string& ports) {
    return "{ \"bus\": " + std::to_string(bus) +
           R"(, "device": 0, "function": 0, "kind": 0, "model": 0, "flash_id": "C2 20 11",
              "flash": "/tmp/qnl-usbview-never-written-)" + std::to_string(bus) + R"(.flash", "ports": )" +
           ports + " }";
}

std::uint8_t Search(const StationConfig& station, IClock& clock) {
    SimUsbTopology topology(station, clock);
    std::uint8_t found = 0;
    SearchConnectedUsbDevice(&topology, found);
    return found;
}

TEST(SimUsbTopology, DevicesBehindHubsAreFoundEmptyHubsAndLoopbackPlugsAreNot) {
    ManualClock clock;
    EXPECT_EQ(Search(Parse("[" + Controller(3, "{}") + "]"), clock), 0);
    EXPECT_EQ(Search(Parse("[" + Controller(3, R"({ "usb2_port2": { "type": "hub" } })") + "]"),
                     clock),
              0);
    EXPECT_EQ(Search(Parse("[" + Controller(3, R"({ "usb3_port1": { "type": "loopback" } })") + "]"),
                     clock),
              0);
    EXPECT_EQ(Search(Parse("[" + Controller(3, R"({ "usb2_port2": { "type": "hub", "children": [
                  { "type": "hub" }, { "type": "hub", "children": [ { "type": "device" } ] } ] } })") +
                           "]"),
                     clock),
              1);
    // A second controller's device is found when the first has none.
    EXPECT_EQ(Search(Parse("[" + Controller(3, "{}") + "," +
                           Controller(4, R"({ "usb3_port2": { "type": "device", "speed": "superplus" } })") +
                           "]"),
                     clock),
              1);
}

TEST(SimUsbTopology, UnpluggedDeviceLeavesTheViewAfterItsTime) {
    ManualClock clock;
    const StationConfig station = Parse("[" + Controller(3, R"({ "usb2_port1": { "type": "hub",
        "children": [ { "type": "device" } ], "faults": { "unplug_after_ms": 3000 } } })") + "]");
    SimUsbTopology topology(station, clock);
    std::uint8_t found = 0;
    SearchConnectedUsbDevice(&topology, found);
    EXPECT_EQ(found, 1);
    clock.AdvanceMs(3000);
    found = 0;
    SearchConnectedUsbDevice(&topology, found);
    EXPECT_EQ(found, 0);
    EXPECT_FALSE(topology.PortCount("0.3").has_value());  // the hub is gone with it
    EXPECT_FALSE(topology.PortCount("7").has_value());
    EXPECT_FALSE(topology.PortCount("0.x").has_value());
}

}  // namespace
}  // namespace qnl::sim
