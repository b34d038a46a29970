// The part of a simulated controller's microcontroller firmware that the port tests talk to:
// the signal check behind the test command (0x80), the loop-back engine, the link recovery and
// PHY blocks, the termination check, and the SuperSpeedPlus link bytes. All of it lives in data
// memory (see qnlio/PortTestMemory.h); the firmware reacts to the host's writes there and looks
// at the xHCI root ports for what is plugged in and how the links stand.
//
// Not thread-safe on its own: the owning SimController calls it with its lock held.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/Clock.h"
#include "qnlio/sim/SimXhci.h"
#include "qnlio/sim/StationConfig.h"

namespace qnl::sim {

class SimPortFirmware {
  public:
    // How long the signal check of one port takes.
    static constexpr std::uint64_t kSignalCheckUs = 300'000;
    // The loop-back gates the boot code leaves closed (bit 7 USB 3.0, bit 6 USB 3.1).
    static constexpr std::uint8_t kLoopBackGlobalAtBoot = 0xC0;
    static constexpr std::uint8_t kPhyStateLinkUp = 0x02;
    static constexpr std::uint8_t kPhyStateNoLink = 0x01;

    // `config` and `xdata` must outlive this object.
    SimPortFirmware(const ControllerConfig& config, SimXhci& xhci, std::vector<std::uint8_t>& xdata,
                    IClock& clock);

    // After data memory was cleared at boot: the boot code's settings, and the link bytes of
    // the links that are up.
    void OnBoot();
    // Brings the root ports up to the current time, so data memory shows the links as they are.
    void Sync() { xhci_.Sync(); }
    // The host wrote `address` (it held `before`); xdata already holds the new byte.
    void AfterHostWrite(std::uint32_t address, std::uint8_t before);

    // The test command: checks the signal lines of xHCI port `parameter` (1..4). False when the
    // command is refused (a parameter that names no port).
    bool StartSignalCheck(std::uint32_t parameter);
    // The completion byte (1 passed, 0 failed or never run); false while a check is running.
    bool ReadCompletion(std::uint8_t& value);

    // From the xHCI: a SuperSpeed port's link came up or went away.
    void OnLinkChange(std::uint32_t port, bool up, bool superSpeedPlus);

  private:
    const UsbAttachment* AttachedTo(std::uint32_t xhciPort) const;
    bool PlugOn(std::size_t index) const;  // a loop-back plug in SuperSpeed port index + 1
    void StartLoopBack(bool gen2);
    void RetrainLinks();
    void ResetPhy(std::size_t index);
    void MeasureTermination(std::size_t index);
    std::uint32_t LinkByteAddress(std::uint32_t port) const;

    const ControllerConfig& config_;
    SimXhci& xhci_;
    std::vector<std::uint8_t>& xdata_;
    IClock& clock_;

    bool checkRunning_ = false;
    bool checkNeverEnds_ = false;
    std::uint64_t checkDoneUs_ = 0;
    std::uint8_t checkVerdict_ = 0;
    std::uint8_t completion_ = 0;
    bool phyCommandPending_ = false;
    std::array<LinkErrorKind, 2> linkErrorNow_{LinkErrorKind::kNone, LinkErrorKind::kNone};
};

}  // namespace qnl::sim
