// The termination sub-test: with a device on Port 1 or 2 (xHCI port 1 or 2), the port is
// disabled and the microcontroller measures whether the far end terminates the lines.
#pragma once

#include <cstdint>

#include "controller/TargetHost.h"
#include "porttest/CXhci.h"

namespace qnl {

// port 1 or 2. 0 = PASS; -1 when no termination was seen or the port had no enabled device;
// otherwise the failing step's code. Leaves the controller reset and halted.
std::int32_t TerminationSubTest(CXhci& xhci, TargetHost& host, std::uint32_t port);

}  // namespace qnl
