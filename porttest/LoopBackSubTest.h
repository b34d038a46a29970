// The loop-back sub-test: the controller's loop-back engine runs on one SuperSpeed port at
// USB 3.0 or USB 3.1 rate, entirely through microcontroller data memory. Up to 80 attempts step
// through the pattern table; the first passing attempt ends the test.
#pragma once

#include <array>
#include <cstdint>

#include "controller/CInterctl.h"
#include "controller/TargetHost.h"

namespace qnl {

inline constexpr std::array<std::uint8_t, 8> kLoopBackPatterns{2, 0, 1, 3, 4, 5, 6, 7};
inline constexpr int kLoopBackPasses = 10;  // over the pattern table: 80 attempts at most
inline constexpr std::uint8_t kLoopBackPatternControlStart = 0xF2;

// port 1 or 2; speed 2 (USB 3.0) or 4 (USB 3.1). 0 = PASS, -1 = FAIL, or a command-channel
// code. Leaves the loop-back gates, patterns and pattern controls of both ports as it found
// them.
std::int32_t LoopBackSubTest(CInterctl& chip, const TargetHost& host, std::uint32_t port,
                             std::uint32_t speed);

// Reads the port's link error byte into `link`; at USB 3.1 a link error gets the recovery
// sequence (link retrain, then a PHY reset), and `link` is 0 when the link came back. 0 or a
// command-channel code.
std::int32_t LoopBackLinkCheck(CInterctl& chip, const TargetHost& host, std::uint32_t speed,
                               std::uint32_t port, std::uint8_t& link);

}  // namespace qnl
