// Plugging and unplugging on the simulated station while it runs: the registers, the
// operating system's USB view and the device-change events all follow; the plug control file
// is the hand a person or a test uses.
#include <gtest/gtest.h>

#include <fstream>
#include <mutex>

#include "porttest/UsbDeviceSearch.h"
#include "qnlio/sim/SimPlugControl.h"
#include "qnlio/sim/SimUsbTopology.h"
#include "support/PageCores.h"
#include "support/SimFixture.h"

namespace qnl::test {
namespace {

using namespace std::chrono_literals;

struct Recorder {
    std::mutex mutex;
    std::vector<DeviceChangeEvent> events;
    IDeviceChangeSource::Listener Listener() {
        return [this](const DeviceChangeEvent& e) {
            std::lock_guard lock(mutex);
            events.push_back(e);
        };
    }
    std::size_t Count() {
        std::lock_guard lock(mutex);
        return events.size();
    }
};

class SimPlugTest : public ::testing::Test {
  protected:
    SimPlugTest() : bench("[" + ControllerJson(3, 0, 0) + "]") {}
    std::uint8_t DeviceFound() {
        sim::SimUsbTopology view(*bench.station, bench.clock);
        std::uint8_t found = 0;
        SearchConnectedUsbDevice(&view, found);
        return found;
    }
    SimBench bench;
};

TEST_F(SimPlugTest, APluggedDeviceIsSeenByTheRegistersAndTheSystemAndEachChangeIsAnEvent) {
    sim::SimPlugControl control(*bench.station);
    Recorder recorder;
    std::string error;
    ASSERT_TRUE(control.Start(recorder.Listener(), error));
    EXPECT_EQ(DeviceFound(), 0);
    ASSERT_TRUE(control.Apply("plug 0 usb2_port2", error)) << error;
    ASSERT_EQ(recorder.Count(), 1u);
    EXPECT_EQ(recorder.events[0].kind, DeviceChangeEvent::Kind::Arrival);
    EXPECT_EQ(recorder.events[0].vendorId, 0x1E73);
    EXPECT_EQ(recorder.events[0].productId, 0x0735);
    EXPECT_EQ(DeviceFound(), 1);
    bench.clock.AdvanceMs(10);  // the device's pull-up is seen after a moment
    EXPECT_TRUE(bench.controller(0).PortStatus(4).connected);

    ASSERT_TRUE(control.Apply("unplug 0 usb2_port2", error)) << error;
    ASSERT_EQ(recorder.Count(), 2u);
    EXPECT_EQ(recorder.events[1].kind, DeviceChangeEvent::Kind::Removal);
    EXPECT_FALSE(bench.controller(0).PortStatus(4).connected);
    EXPECT_EQ(DeviceFound(), 0);

    // A hub brings its devices (each an event); a loop-back plug is not enumerated.
    ASSERT_TRUE(control.Apply(
        R"(plug 0 usb3_port1 {"type":"hub","speed":"super","children":[{"type":"device","speed":"super","usb_id":"0bda:0411"}]})",
        error))
        << error;
    ASSERT_EQ(recorder.Count(), 4u);
    EXPECT_EQ(recorder.events[2].vendorId, 0x05E3);
    EXPECT_EQ(recorder.events[3].productId, 0x0411);
    ASSERT_TRUE(control.Apply(R"(plug 0 usb3_port2 {"type":"loopback"})", error)) << error;
    EXPECT_EQ(recorder.Count(), 4u);

    // Bad lines change nothing.
    for (const char* bad : {"plug", "plug 9 usb2_port1", "plug 0 usb4_port1",
                            "plug 0 usb2_port1 {\"type\":\"loopback\"}", "unplug 0 usb2_port1 x",
                            "shake 0 usb2_port1", "plug 0 usb2_port1 {\"speed\":\"super\"}"})
        EXPECT_FALSE(control.Apply(bad, error)) << bad;
    EXPECT_EQ(recorder.Count(), 4u);
    control.Stop();
    ASSERT_TRUE(control.Apply("unplug 0 usb3_port1", error));
    EXPECT_EQ(recorder.Count(), 4u);  // stopped: no more events
}

TEST_F(SimPlugTest, LinesAppendedToThePlugFileAreCarriedOut) {
    std::string error;
    const std::string text =
        R"({ "plug_file": "plug.txt", "controllers": [)" + ControllerJson(3, 0, 0) + "]}";
    auto config = sim::ParseStationText(text, bench.Folder() + "/station.json", error);
    ASSERT_TRUE(config) << error;
    EXPECT_EQ(config->plugFile, bench.Folder() + "/plug.txt");
    std::ofstream(config->plugFile) << "plug 0 usb2_port1\n";  // there before the start: not done
    ManualClock clock;
    sim::SimStation station(std::move(*config), clock);
    sim::SimPlugControl control(station, 5);
    Recorder recorder;
    ASSERT_TRUE(control.Start(recorder.Listener(), error));
    control.PollOnce();
    EXPECT_EQ(recorder.Count(), 0u);
    std::ofstream(station.Config().plugFile, std::ios::app) << "plug 0 usb2_port2\nnonsense\nunpl";
    control.PollOnce();
    EXPECT_EQ(recorder.Count(), 1u);
    std::ofstream(station.Config().plugFile, std::ios::app) << "ug 0 usb2_port2\r\n";
    // The poller finds it by itself.
    for (int i = 0; i < 200 && recorder.Count() < 2; ++i) std::this_thread::sleep_for(10ms);
    ASSERT_EQ(recorder.Count(), 2u);
    EXPECT_EQ(recorder.events[1].kind, DeviceChangeEvent::Kind::Removal);
    EXPECT_EQ(station.PortAttachment(0, 4), nullptr);
}

// The whole way: the station's plug event reaches the test page's port check, which scans the
// ports and updates the icon, with no click.
TEST(SimPlugToPortCheck, APlugEventUpdatesTheIconWithNoClick) {
    SimBench bench("[" + ControllerJson(3, 0, 0) + "]", "[]", 0.01);
    bench.util().ResetHostRecords();
    ASSERT_EQ(bench.chip().ScanPciBus(""), 0);
    PageCores cores(*bench.tool->context);
    sim::SimPlugControl control(*bench.station);
    std::string error;
    ASSERT_TRUE(
        control.Start([&](const DeviceChangeEvent& e) { cores.test.OnDeviceChange(e); }, error));
    EXPECT_EQ(cores.test.Controls().Get(IconId(2, 0)).value, kIconNotConnected);
    ASSERT_TRUE(control.Apply(R"(plug 0 usb3_port1 {"type":"device","speed":"superplus"})", error));
    ASSERT_TRUE(cores.test.Checks().WaitIdle(30s));
    EXPECT_EQ(cores.test.Checks().ChecksRun(), 1u);
    EXPECT_EQ(cores.test.Controls().Get(IconId(2, 0)).value, kIconConnected);  // USB3 PORT1
    // A device of another maker starts no check.
    ASSERT_TRUE(
        control.Apply(R"(plug 0 usb2_port1 {"type":"device","usb_id":"0bda:0411"})", error));
    ASSERT_TRUE(cores.test.Checks().WaitIdle(30s));
    EXPECT_EQ(cores.test.Checks().ChecksRun(), 1u);
    control.Stop();
}

}  // namespace
}  // namespace qnl::test
