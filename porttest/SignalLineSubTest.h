// The signal line sub-test: one host, one speed, one port. The controller is reset and started,
// the port is powered, reset and brought to an enabled link, and the microcontroller's signal
// check (the test command) decides the verdict.
#pragma once

#include <cstdint>

#include "controller/TargetHost.h"
#include "porttest/CXhci.h"

namespace qnl {

// Test speeds as the speed mask counts them.
inline constexpr std::uint32_t kTestSpeedUsb20 = 1;
inline constexpr std::uint32_t kTestSpeedUsb30 = 2;
inline constexpr std::uint32_t kTestSpeedUsb31 = 4;
// A time-out setting of -1 stands for this many milliseconds.
inline constexpr std::int32_t kDefaultPortTimeoutMs = 30;

// The xHCI port a test of `port` (1 or 2) at `speed` drives: the USB 2.0 halves are ports 3
// and 4, the SuperSpeed halves ports 1 and 2.
constexpr std::uint32_t XhciPortFor(std::uint32_t speed, std::uint32_t port) {
    return speed == kTestSpeedUsb20 ? port + 2 : port;
}

// One of the three test speeds and port 1 or 2.
constexpr bool IsTestSpeedAndPort(std::uint32_t speed, std::uint32_t port) {
    return (speed == kTestSpeedUsb20 || speed == kTestSpeedUsb30 || speed == kTestSpeedUsb31) &&
           (port == 1 || port == 2);
}

// The wait of one port step for a time-out setting (-1 = the default).
constexpr std::int32_t PortTimeoutMs(std::int32_t setting) {
    return setting == -1 ? kDefaultPortTimeoutMs : setting;
}

// speed 1 (USB 2.0), 2 (USB 3.0) or 4 (USB 3.1); port 1 or 2; timeoutMs for each port wait
// (-1 = 30 ms). 0 = PASS; otherwise the failing step's code: -1 reset or signal check, -3
// SuperSpeedPlus link check, -9 a port wait, -10 no register base / bad arguments, or a
// library code unchanged.
std::int32_t SignalLineSubTest(CXhci& xhci, TargetHost& host, std::uint32_t speed,
                               std::uint32_t port, std::int32_t timeoutMs);

}  // namespace qnl
