// The simulated station's USB device changes, and the hand that plugs and unplugs.
//
// As a device-change source it passes on the station's plug events (SimStation::Plug) as the
// system's arrivals and removals. It also reads the station's plug control file
// ("plug_file"; the built-in station's is sim_plug.txt in the tool folder) while it runs: each
// line appended to it is one action, so a person or a test plugs with `echo ... >> file`:
//
//     plug <controller> <port> [<attachment JSON>]
//     unplug <controller> <port>
//
// <controller> is the index in the station file, <port> one of usb3_port1, usb3_port2,
// usb2_port1, usb2_port2, the attachment as a port of the station file describes it (default:
// the port's test device, {"type":"device"}). A bad line is reported on standard error and
// skipped. A file that gets shorter (emptied) is read again from its start.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "platform/DeviceChange.h"
#include "qnlio/sim/SimStation.h"

namespace qnl::sim {

class SimPlugControl final : public IDeviceChangeSource {
  public:
    // `pollMs`: how often (real time) the control file is looked at.
    explicit SimPlugControl(SimStation& station, std::uint32_t pollMs = 100);
    ~SimPlugControl() override;
    SimPlugControl(const SimPlugControl&) = delete;
    SimPlugControl& operator=(const SimPlugControl&) = delete;

    bool Start(Listener listener, std::string& error) override;
    void Stop() override;

    // Carries out one control line; false with `error` set when it is not one.
    bool Apply(const std::string& line, std::string& error);
    // Reads what was appended to the control file since the last look and carries it out.
    void PollOnce();

  private:
    SimStation& station_;
    const std::uint32_t pollMs_;
    int token_ = 0;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool stopping_ = false;
    std::thread poller_;
    std::mutex pollMutex_;  // one look at the file at a time (the poller's, a test's)
    std::uint64_t readOffset_ = 0;
    std::string partial_;  // an unfinished last line
};

}  // namespace qnl::sim
