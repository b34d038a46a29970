// The fixture sub-test: the counterpart of the signal line sub-test that leaves the controller
// to the operating system. Nothing is written to the controller: the port must already have an
// enabled link (at SuperSpeedPlus for USB 3.1), and the operating system must see a USB device
// below one of the target controllers.
#pragma once

#include <cstdint>

#include "controller/TargetHost.h"
#include "platform/UsbTopology.h"
#include "porttest/CXhci.h"

namespace qnl {

// speed 1 (USB 2.0), 2 (USB 3.0) or 4 (USB 3.1); port 1 or 2; timeoutMs for the enabled wait
// (-1 = 30 ms). The search is system-wide over the target controllers: a device on another target
// host also counts. 0 = PASS; -1 no device found; -3 SuperSpeedPlus link check; -9 port not enabled
// in time; -10 bad arguments or no register base; or a library code.
std::int32_t FixtureSubTest(CXhci& xhci, TargetHost& host, IUsbTopology* topology,
                            std::uint32_t speed, std::uint32_t port, std::int32_t timeoutMs);

}  // namespace qnl
