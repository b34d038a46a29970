#include "qnlio/sim/SimPortFirmware.h"

#include "qnlio/PortTestMemory.h"

namespace qnl::sim {

using namespace qnl::porttest_memory;

namespace {

constexpr std::uint8_t kGen1StartBits = 0x03;
constexpr std::uint8_t kGen2StartBit = 0x01;
constexpr std::uint8_t kGen1GateClosed = 0x80;
constexpr std::uint8_t kGen2GateClosed = 0x40;
constexpr std::uint8_t kGen1LaneLoopBack = 0x08;
constexpr std::uint8_t kGen2LaneLoopBack = 0x18;
constexpr std::uint8_t kPatternEnable = 0x20;  // pattern control: a non-zero pattern is sent
constexpr std::uint8_t kLastPattern = 7;
constexpr std::uint8_t kGen1Passed = 0x30;
constexpr std::uint8_t kGen1Failed = 0x20;
constexpr std::uint8_t kGen2Passed = 0x04;
constexpr std::uint8_t kLinkErrorSeen = 0x01;
constexpr std::uint8_t kLinkAbsent = 0x02;
constexpr std::uint8_t kRecoveryPulse = 0x10;
constexpr std::uint8_t kPhyCommandReset = 0x04;
constexpr std::uint8_t kPhyCommandTaken = 0x80;
constexpr std::uint8_t kPhyCommandDone = 0x40;
constexpr std::uint8_t kPhyPortReset = 0x04;
constexpr std::uint8_t kLinkBitSuperSpeedPlus = 0x01;
constexpr std::uint8_t kLinkStateU0 = 0;

}  // namespace

SimPortFirmware::SimPortFirmware(const ControllerConfig& config, SimXhci& xhci,
                                 std::vector<std::uint8_t>& xdata, IClock& clock)
    : config_(config), xhci_(xhci), xdata_(xdata), clock_(clock) {}

std::uint32_t SimPortFirmware::LinkByteAddress(std::uint32_t port) const {
    const std::size_t i = port == 1 ? 0 : 1;
    return config_.kind == 1 ? XDATA_SSP_LINK_CHIP1[i] : XDATA_SSP_LINK_CHIP0[i];
}

const UsbAttachment* SimPortFirmware::AttachedTo(std::uint32_t xhciPort) const {
    if (xhciPort < 1 || xhciPort > kRootPortCount) return nullptr;
    const auto& port = config_.ports[xhciPort - 1];
    return port ? &*port : nullptr;
}

bool SimPortFirmware::PlugOn(std::size_t index) const {
    const UsbAttachment* a = AttachedTo(static_cast<std::uint32_t>(index + 1));
    return a != nullptr && a->type == UsbAttachmentType::kLoopback;
}

void SimPortFirmware::OnBoot() {
    checkRunning_ = false;
    checkNeverEnds_ = false;
    completion_ = 0;
    phyCommandPending_ = false;
    linkErrorNow_.fill(LinkErrorKind::kNone);
    xdata_[XDATA_LB_GLOBAL] = kLoopBackGlobalAtBoot;
    xdata_[XDATA_PHY_STATE] = kPhyStateLinkUp;
    for (std::uint32_t port = 1; port <= 2; ++port) {
        const RootPortStatus status = xhci_.PortStatus(port);
        const bool up = status.enabled && status.linkState == kLinkStateU0;
        OnLinkChange(
            port, up,
            up && status.attached != nullptr && status.attached->speed == UsbSpeed::kSuperPlus);
    }
}

void SimPortFirmware::OnLinkChange(std::uint32_t port, bool up, bool superSpeedPlus) {
    if (port != 1 && port != 2) return;
    std::uint8_t& byte = xdata_[LinkByteAddress(port)];
    if (up && superSpeedPlus) {
        byte |= kLinkBitSuperSpeedPlus;
    } else {
        byte &= static_cast<std::uint8_t>(~kLinkBitSuperSpeedPlus);
    }
}

// ---- Signal check (test command 0x80)
// ------------------------------------------------------------

bool SimPortFirmware::StartSignalCheck(std::uint32_t parameter) {
    if (parameter < 1 || parameter > kRootPortCount) return false;
    const RootPortStatus status = xhci_.PortStatus(parameter);
    const UsbAttachment* attached = status.attached;
    // The lines are good when a device (or hub) on the port brought it to an enabled link.
    const bool good = attached != nullptr && attached->type != UsbAttachmentType::kLoopback &&
                      status.connected && status.enabled && status.linkState == kLinkStateU0 &&
                      !attached->faults.signalCheckFails;
    checkRunning_ = true;
    checkNeverEnds_ = attached != nullptr && attached->faults.signalCheckNeverCompletes;
    checkDoneUs_ = clock_.NowUs() + kSignalCheckUs;
    checkVerdict_ = good ? 1 : 0;
    return true;
}

bool SimPortFirmware::ReadCompletion(std::uint8_t& value) {
    if (checkRunning_) {
        // The firmware is busy with the check and refuses to report until it is done.
        if (checkNeverEnds_ || clock_.NowUs() < checkDoneUs_) return false;
        checkRunning_ = false;
        completion_ = checkVerdict_;
    }
    value = completion_;
    return true;
}

// ---- Host writes to data memory -----------------------------------------------------------------

void SimPortFirmware::AfterHostWrite(std::uint32_t address, std::uint8_t before) {
    const std::uint8_t after = xdata_[address];
    if (address == XDATA_LB_START_GEN1) {
        if ((after & kGen1StartBits) == kGen1StartBits &&
            (before & kGen1StartBits) != kGen1StartBits) {
            StartLoopBack(false);
        }
    } else if (address == XDATA_LB_START_GEN2) {
        if ((after & kGen2StartBit) && !(before & kGen2StartBit)) StartLoopBack(true);
    } else if (address == XDATA_LB_RECOVERY) {
        // The link recovery runs on the falling edge of the pulse bit.
        if ((before & kRecoveryPulse) && !(after & kRecoveryPulse)) RetrainLinks();
    } else if (address == XDATA_PHY_COMMAND) {
        phyCommandPending_ = after & kPhyCommandReset;
        if (phyCommandPending_) xdata_[address] = after | kPhyCommandTaken;
    }
    for (std::size_t i = 0; i < 2; ++i) {
        if (address == XDATA_PHY_PORT_CONTROL[i] && (after & kPhyPortReset) && phyCommandPending_) {
            ResetPhy(i);
        }
        if (address == XDATA_TERMINATION[i] && (after & TERMINATION_START)) MeasureTermination(i);
    }
}

// ---- Loop-back engine
// ----------------------------------------------------------------------------

void SimPortFirmware::StartLoopBack(bool gen2) {
    const std::uint8_t global = xdata_[XDATA_LB_GLOBAL];
    const bool gateOpen = !(global & (gen2 ? kGen2GateClosed : kGen1GateClosed));
    for (std::size_t i = 0; i < 2; ++i) {
        const std::uint8_t lane = xdata_[XDATA_LB_LANE[i]];
        const std::uint8_t laneBits = gen2 ? kGen2LaneLoopBack : kGen1LaneLoopBack;
        if ((lane & laneBits) != laneBits) continue;  // this lane is not in loop-back mode

        const std::uint8_t pattern = xdata_[XDATA_LB_PATTERN[i]];
        const std::uint8_t control = xdata_[XDATA_LB_PATTERN_CONTROL[i]];
        const bool patternSetUp =
            pattern <= kLastPattern && ((control & kPatternEnable) != 0) == (pattern != 0);
        const bool plug = PlugOn(i);
        const bool passed = gateOpen && plug && patternSetUp;
        if (gen2) {
            std::uint8_t& result = xdata_[XDATA_LB_RESULT_GEN2[i]];
            result = passed ? (result | kGen2Passed) : (result & ~kGen2Passed);
        } else {
            xdata_[XDATA_LB_RESULT_GEN1[i]] = passed ? kGen1Passed : kGen1Failed;
        }
        linkErrorNow_[i] = plug ? AttachedTo(static_cast<std::uint32_t>(i + 1))->faults.linkError
                                : LinkErrorKind::kPersistent;
        xdata_[XDATA_LB_LINK_ERROR[i]] = !plug                                      ? kLinkAbsent
                                         : linkErrorNow_[i] != LinkErrorKind::kNone ? kLinkErrorSeen
                                                                                    : 0;
    }
}

void SimPortFirmware::RetrainLinks() {
    for (std::size_t i = 0; i < 2; ++i) {
        if (xdata_[XDATA_LB_LINK_ERROR[i]] != 0 && linkErrorNow_[i] == LinkErrorKind::kRetrain) {
            xdata_[XDATA_LB_LINK_ERROR[i]] = 0;
            linkErrorNow_[i] = LinkErrorKind::kNone;
        }
    }
}

void SimPortFirmware::ResetPhy(std::size_t index) {
    phyCommandPending_ = false;
    const bool linkBack = PlugOn(index) && linkErrorNow_[index] != LinkErrorKind::kPersistent;
    if (linkBack) {
        xdata_[XDATA_LB_LINK_ERROR[index]] = 0;
        linkErrorNow_[index] = LinkErrorKind::kNone;
    }
    xdata_[XDATA_PHY_STATE] = linkBack ? kPhyStateLinkUp : kPhyStateNoLink;
    xdata_[XDATA_PHY_COMMAND] |= kPhyCommandDone;
}

// ---- Termination
// ---------------------------------------------------------------------------------

void SimPortFirmware::MeasureTermination(std::size_t index) {
    // The far-end termination is measured on a disabled port: an enabled link drives the lines.
    const RootPortStatus status = xhci_.PortStatus(static_cast<std::uint32_t>(index + 1));
    const UsbAttachment* attached = status.attached;
    const bool terminated = attached != nullptr && !attached->faults.terminationBroken &&
                            status.powered && !status.enabled;
    std::uint8_t& control = xdata_[XDATA_TERMINATION[index]];
    control = terminated ? (control | TERMINATION_RESULT)
                         : static_cast<std::uint8_t>(control & ~TERMINATION_RESULT);
}

}  // namespace qnl::sim
