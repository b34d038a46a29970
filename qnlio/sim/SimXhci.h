// The xHCI register block of one simulated controller: capability and operational registers and
// a root hub of four ports with whatever the station plugs into them.
//
// Access is byte-wise, as the I/O library's ReadMEM/WriteMEM make it. A written byte is merged
// into its dword and the register's bit classes then apply to the written byte lanes only:
// read/write bits take the new value, write-1-to-clear bits are cleared where a 1 was written,
// write-1-to-start bits (HCRST, PR, WPR) start their operation. Unknown offsets read 0 and
// ignore writes.
//
// Time comes from the station clock: what hardware does "after a while" (the end of a
// controller reset, of a port reset, link training) is due at a clock time and takes effect on
// the first access at or after it, in the order it fell due.
//
// Not thread-safe on its own: the owning SimController calls it with its lock held.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "platform/Clock.h"
#include "qnlio/sim/StationConfig.h"

namespace qnl::sim {

// One register access as the trace hook sees it.
struct RegisterAccess {
    std::uint64_t timeUs = 0;  // station clock
    bool write = false;
    std::uint32_t offset = 0;  // byte offset in the register region
    std::uint8_t value = 0;    // the byte read or written
    const char* name = "";     // the register it falls into ("" for an unknown offset)
};
using RegisterTrace = std::function<void(const RegisterAccess&)>;

// A root port as the rest of the controller (its microcontroller) sees it.
struct RootPortStatus {
    bool superSpeed = false;
    bool powered = false;
    bool connected = false;
    bool enabled = false;
    std::uint8_t linkState = 0;  // PLS
    std::uint8_t speed = 0;      // Port Speed
    const UsbAttachment* attached = nullptr;
};

class SimXhci {
  public:
    // Nominal durations of what the hardware does on its own.
    static constexpr std::uint64_t kHostResetUs = 2'000;       // HCRST until it clears
    static constexpr std::uint64_t kNotReadyUs = 8'000;        // then CNR until it clears
    static constexpr std::uint64_t kHaltUs = 1'000;            // Run/Stop 0 until HCHalted
    static constexpr std::uint64_t kUsb2ConnectUs = 2'000;     // power (or reset) until CCS
    static constexpr std::uint64_t kUsb2PortResetUs = 15'000;  // PR until it clears
    static constexpr std::uint64_t kLinkTrainingUs = 20'000;   // SuperSpeed Polling until U0
    static constexpr std::uint64_t kHotResetUs = 5'000;        // SuperSpeed PR until it clears
    static constexpr std::uint64_t kWarmResetUs = 12'000;      // WPR until WRC

    static constexpr std::uint32_t kMaxSlots = 32;
    static constexpr std::uint32_t kPortCount = static_cast<std::uint32_t>(kRootPortCount);

    // Called when a SuperSpeed port's link comes up (U0, enabled) or goes away.
    using LinkListener = std::function<void(std::uint32_t port, bool up, bool superSpeedPlus)>;

    SimXhci(const ControllerConfig& config, IClock& clock);

    std::uint8_t ReadByte(std::uint32_t offset);
    void WriteByte(std::uint32_t offset, std::uint8_t value);

    // Applies what has fallen due by now (every access does this first).
    void Sync() { Advance(); }
    // port 1..4; a default status for any other number.
    RootPortStatus PortStatus(std::uint32_t port);
    // Plugs `attached` into root port `port` (1..4), or pulls out what is there (null). A
    // powered port sees the disconnect (CCS clears, CSC set, the link goes) and then detects
    // the new device as at power-on. `attached` must outlive the controller.
    void SetAttachment(std::uint32_t port, const UsbAttachment* attached);
    void SetTrace(RegisterTrace trace) { trace_ = std::move(trace); }
    void SetLinkListener(LinkListener listener) { linkListener_ = std::move(listener); }

  private:
    enum class PortEvent { kNone, kConnect, kResetDone, kEnable, kTrained, kWarmResetDone };
    struct Port {
        bool superSpeed = false;
        const UsbAttachment* attached = nullptr;
        std::uint32_t portsc = 0;
        std::uint32_t pmsc = 0;
        std::uint32_t hlpmc = 0;
        PortEvent pending = PortEvent::kNone;
        std::uint64_t dueUs = 0;
    };

    void Advance();
    void ApplyHostResetDone(std::uint64_t at);
    void ApplyPortEvent(std::uint32_t index, std::uint64_t at);

    std::uint32_t ReadDword(std::uint32_t offset, const char*& name);
    void WriteDword(std::uint32_t offset, std::uint32_t value, std::uint32_t lanes,
                    const char*& name);
    void WriteUsbCmd(std::uint32_t value, std::uint32_t lanes, std::uint64_t now);
    void WritePortsc(Port& port, std::uint32_t index, std::uint32_t value, std::uint32_t lanes,
                     std::uint64_t now);

    // Port state changes.
    void PowerOn(Port& port, std::uint64_t at);
    // Starts detecting what is attached to a powered port (its connect or link training).
    void Detect(Port& port, std::uint64_t at);
    void PowerOff(Port& port, std::uint32_t index);
    void StartPortReset(Port& port, std::uint64_t at, bool warm);
    void DisablePort(Port& port, std::uint32_t index);
    void EnablePort(Port& port, std::uint32_t index);
    void SetChangeBits(Port& port, std::uint32_t bits);
    void Schedule(Port& port, PortEvent event, std::uint64_t at);
    void ChangeLinkState(Port& port, std::uint32_t index, std::uint32_t requested);
    void NotifyLink(std::uint32_t index, bool up);

    const std::uint8_t capLength_;
    IClock& clock_;
    RegisterTrace trace_;
    LinkListener linkListener_;

    static constexpr std::size_t kTableRows = 17;
    std::array<std::uint32_t, kTableRows> values_{};  // the table registers, by table row
    std::array<Port, kRootPortCount> ports_{};
    std::optional<std::uint64_t> hostResetDueUs_;
    std::optional<std::uint64_t> notReadyDueUs_;
    std::optional<std::uint64_t> haltDueUs_;
};

}  // namespace qnl::sim
