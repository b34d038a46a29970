#include "qnlio/sim/SimXhci.h"

#include <limits>

namespace qnl::sim {
namespace {

// ---- Register layout -------------------------------------------------------------------------

enum class Block { kCapability, kOperational };

// One register of the table: where it is, its value after reset, which bits software may write
// and which it clears by writing 1. Bits in neither mask are read-only.
struct RegisterSpec {
    const char* name;
    Block block;
    std::uint32_t offset;  // from the start of its block
    std::uint32_t reset;
    std::uint32_t rwMask;
    std::uint32_t w1cMask;
};

// USBCMD
constexpr std::uint32_t USBCMD_RS = 1u << 0;
constexpr std::uint32_t USBCMD_HCRST = 1u << 1;
constexpr std::uint32_t USBCMD_INTE = 1u << 2;
constexpr std::uint32_t USBCMD_HSEE = 1u << 3;
constexpr std::uint32_t USBCMD_EWE = 1u << 10;
constexpr std::uint32_t USBCMD_EU3S = 1u << 11;
// USBSTS
constexpr std::uint32_t USBSTS_HCH = 1u << 0;
constexpr std::uint32_t USBSTS_HSE = 1u << 2;
constexpr std::uint32_t USBSTS_EINT = 1u << 3;
constexpr std::uint32_t USBSTS_PCD = 1u << 4;
constexpr std::uint32_t USBSTS_SRE = 1u << 10;
constexpr std::uint32_t USBSTS_CNR = 1u << 11;

// Capability values: 32 device slots, one interrupter, four ports; 64-bit addressing and port
// power control.
constexpr std::uint16_t kHciVersion = 0x0100;
constexpr std::uint32_t kHcsParams1 = (SimXhci::kPortCount << 24) | (1u << 8) | SimXhci::kMaxSlots;
constexpr std::uint32_t kHccParams1 = (1u << 0) | (1u << 3);
constexpr std::uint32_t kDoorbellOffset = 0x2000;
constexpr std::uint32_t kRuntimeOffset = 0x1000;

enum Row : std::size_t {
    kRowCapVersion,
    kRowHcsParams1,
    kRowHcsParams2,
    kRowHcsParams3,
    kRowHccParams1,
    kRowDbOff,
    kRowRtsOff,
    kRowHccParams2,
    kRowUsbCmd,
    kRowUsbSts,
    kRowPageSize,
    kRowDnCtrl,
    kRowCrcrLow,
    kRowCrcrHigh,
    kRowDcbaapLow,
    kRowDcbaapHigh,
    kRowConfig,
    kRowCount
};

constexpr std::array<RegisterSpec, kRowCount> kRegisters{{
    {"CAPLENGTH/HCIVERSION", Block::kCapability, 0x00, std::uint32_t{kHciVersion} << 16, 0, 0},
    {"HCSPARAMS1", Block::kCapability, 0x04, kHcsParams1, 0, 0},
    {"HCSPARAMS2", Block::kCapability, 0x08, 0, 0, 0},
    {"HCSPARAMS3", Block::kCapability, 0x0C, 0, 0, 0},
    {"HCCPARAMS1", Block::kCapability, 0x10, kHccParams1, 0, 0},
    {"DBOFF", Block::kCapability, 0x14, kDoorbellOffset, 0, 0},
    {"RTSOFF", Block::kCapability, 0x18, kRuntimeOffset, 0, 0},
    {"HCCPARAMS2", Block::kCapability, 0x1C, 0, 0, 0},
    // HCRST is write-1-to-start and handled before the table masks apply.
    {"USBCMD", Block::kOperational, 0x00, 0,
     USBCMD_RS | USBCMD_INTE | USBCMD_HSEE | USBCMD_EWE | USBCMD_EU3S, 0},
    {"USBSTS", Block::kOperational, 0x04, USBSTS_HCH, 0,
     USBSTS_HSE | USBSTS_EINT | USBSTS_PCD | USBSTS_SRE},
    {"PAGESIZE", Block::kOperational, 0x08, 0x1, 0, 0},
    {"DNCTRL", Block::kOperational, 0x14, 0, 0xFFFF, 0},
    {"CRCR", Block::kOperational, 0x18, 0, 0xFFFFFFC1, 0},
    {"CRCR_HI", Block::kOperational, 0x1C, 0, 0xFFFFFFFF, 0},
    {"DCBAAP", Block::kOperational, 0x30, 0, 0xFFFFFFC0, 0},
    {"DCBAAP_HI", Block::kOperational, 0x34, 0, 0xFFFFFFFF, 0},
    {"CONFIG", Block::kOperational, 0x38, 0, 0x3FF, 0},
}};
static_assert(kRowCount == 17, "keep SimXhci::kTableRows in step with the table");

constexpr std::uint32_t kPortRegisterBase = 0x400;  // from the operational base
constexpr std::uint32_t kPortRegisterStride = 0x10;
constexpr std::uint32_t kPortPmscRwMask = 0x0001FFFF;
constexpr std::uint32_t kPortHlpmcRwMask = 0x00003FFF;

// PORTSC
constexpr std::uint32_t PORTSC_CCS = 1u << 0;
constexpr std::uint32_t PORTSC_PED = 1u << 1;
constexpr std::uint32_t PORTSC_PR = 1u << 4;
constexpr std::uint32_t PORTSC_PLS_SHIFT = 5;
constexpr std::uint32_t PORTSC_PLS_MASK = 0xFu << PORTSC_PLS_SHIFT;
constexpr std::uint32_t PORTSC_PP = 1u << 9;
constexpr std::uint32_t PORTSC_SPEED_SHIFT = 10;
constexpr std::uint32_t PORTSC_SPEED_MASK = 0xFu << PORTSC_SPEED_SHIFT;
constexpr std::uint32_t PORTSC_PIC_MASK = 3u << 14;
constexpr std::uint32_t PORTSC_LWS = 1u << 16;
constexpr std::uint32_t PORTSC_CSC = 1u << 17;
constexpr std::uint32_t PORTSC_PEC = 1u << 18;
constexpr std::uint32_t PORTSC_WRC = 1u << 19;
constexpr std::uint32_t PORTSC_OCC = 1u << 20;
constexpr std::uint32_t PORTSC_PRC = 1u << 21;
constexpr std::uint32_t PORTSC_PLC = 1u << 22;
constexpr std::uint32_t PORTSC_CEC = 1u << 23;
constexpr std::uint32_t PORTSC_WCE = 1u << 25;
constexpr std::uint32_t PORTSC_WDE = 1u << 26;
constexpr std::uint32_t PORTSC_WOE = 1u << 27;
constexpr std::uint32_t PORTSC_WPR = 1u << 31;

constexpr std::uint32_t kPortChangeBits =
    PORTSC_CSC | PORTSC_PEC | PORTSC_WRC | PORTSC_OCC | PORTSC_PRC | PORTSC_PLC | PORTSC_CEC;
constexpr std::uint32_t kPortRwBits = PORTSC_PIC_MASK | PORTSC_WCE | PORTSC_WDE | PORTSC_WOE;
constexpr std::uint32_t kPortStartBits = PORTSC_PR | PORTSC_WPR;
static_assert(kPortChangeBits == 0x00FE0000, "change bits are bits 17..23");
static_assert((kPortChangeBits & kPortRwBits) == 0 && (kPortChangeBits & kPortStartBits) == 0 &&
                  (kPortRwBits & kPortStartBits) == 0,
              "each PORTSC bit belongs to one class");
static_assert((PORTSC_PLS_MASK & PORTSC_SPEED_MASK) == 0 && (PORTSC_PP & PORTSC_PLS_MASK) == 0,
              "PORTSC fields do not overlap");

// Link states (PLS).
constexpr std::uint32_t kLinkU0 = 0;
constexpr std::uint32_t kLinkU3 = 3;
constexpr std::uint32_t kLinkDisabled = 4;
constexpr std::uint32_t kLinkRxDetect = 5;
constexpr std::uint32_t kLinkPolling = 7;

// Port Speed values.
constexpr std::uint32_t kSpeedFull = 1;
constexpr std::uint32_t kSpeedHigh = 3;
constexpr std::uint32_t kSpeedSuper = 4;
constexpr std::uint32_t kSpeedSuperPlus = 5;

constexpr std::uint32_t WithLinkState(std::uint32_t portsc, std::uint32_t state) {
    return (portsc & ~PORTSC_PLS_MASK) | (state << PORTSC_PLS_SHIFT);
}

constexpr std::uint32_t LinkStateOf(std::uint32_t portsc) {
    return (portsc & PORTSC_PLS_MASK) >> PORTSC_PLS_SHIFT;
}

std::uint32_t SpeedValue(UsbSpeed speed) {
    switch (speed) {
        case UsbSpeed::kFull:
            return kSpeedFull;
        case UsbSpeed::kHigh:
            return kSpeedHigh;
        case UsbSpeed::kSuper:
            return kSpeedSuper;
        case UsbSpeed::kSuperPlus:
            return kSpeedSuperPlus;
    }
    return 0;
}

bool TrainsLink(const UsbAttachment* attached) {
    return attached != nullptr && attached->type != UsbAttachmentType::kLoopback;
}

std::uint64_t DelayUs(const UsbAttachment* attached) {
    return attached == nullptr ? 0 : std::uint64_t{attached->faults.enableDelayMs} * 1000;
}

constexpr const char* kPortRegisterNames[4] = {"PORTSC", "PORTPMSC", "PORTLI", "PORTHLPMC"};

}  // namespace

SimXhci::SimXhci(const ControllerConfig& config, IClock& clock)
    : capLength_(config.capLength), clock_(clock) {
    for (std::size_t i = 0; i < kRowCount; ++i) values_[i] = kRegisters[i].reset;
    values_[kRowCapVersion] |= capLength_;
    const std::uint64_t now = clock_.NowUs();
    for (std::uint32_t i = 0; i < kPortCount; ++i) {
        Port& port = ports_[i];
        port.superSpeed = IsSuperSpeedRootPort(i + 1);
        port.attached = config.ports[i] ? &*config.ports[i] : nullptr;
        PowerOn(port, now);  // port power is on after reset
    }
}

// ---- Time ------------------------------------------------------------------------------------

void SimXhci::Advance() {
    const std::uint64_t now = clock_.NowUs();
    // Each pass applies the earliest event that is due. An event only schedules later ones, so
    // the loop ends; the bound keeps one access cheap whatever happens.
    for (int pass = 0; pass < 64; ++pass) {
        constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();
        std::uint64_t earliest = kNever;
        int which = -1;  // 0 host reset, 1 not ready, 2 halt, 3 + i port i
        auto consider = [&](std::optional<std::uint64_t> due, int id) {
            if (due && *due < earliest) {
                earliest = *due;
                which = id;
            }
        };
        consider(hostResetDueUs_, 0);
        consider(notReadyDueUs_, 1);
        consider(haltDueUs_, 2);
        for (std::uint32_t i = 0; i < kPortCount; ++i) {
            if (ports_[i].pending != PortEvent::kNone) consider(ports_[i].dueUs, 3 + int(i));
        }
        if (which < 0 || earliest > now) return;
        switch (which) {
            case 0:
                hostResetDueUs_.reset();
                ApplyHostResetDone(earliest);
                break;
            case 1:
                notReadyDueUs_.reset();
                values_[kRowUsbSts] &= ~USBSTS_CNR;
                break;
            case 2:
                haltDueUs_.reset();
                values_[kRowUsbSts] |= USBSTS_HCH;
                break;
            default:
                ApplyPortEvent(static_cast<std::uint32_t>(which - 3), earliest);
                break;
        }
    }
}

void SimXhci::ApplyHostResetDone(std::uint64_t at) {
    for (std::size_t i = kRowUsbCmd; i < kRowCount; ++i) values_[i] = kRegisters[i].reset;
    values_[kRowUsbSts] |= USBSTS_HCH | USBSTS_CNR;
    notReadyDueUs_ = at + kNotReadyUs;
    for (std::uint32_t i = 0; i < kPortCount; ++i) {
        Port& port = ports_[i];
        if (port.superSpeed && (port.portsc & PORTSC_PED)) NotifyLink(i, false);
        port.pmsc = 0;
        port.hlpmc = 0;
        PowerOn(port, at);
    }
}

void SimXhci::ApplyPortEvent(std::uint32_t index, std::uint64_t at) {
    Port& port = ports_[index];
    const PortEvent event = port.pending;
    port.pending = PortEvent::kNone;
    switch (event) {
        case PortEvent::kNone:
            break;
        case PortEvent::kConnect:  // USB 2.0: the device's pull-up is seen
            port.portsc = WithLinkState(port.portsc | PORTSC_CCS, kLinkPolling);
            SetChangeBits(port, PORTSC_CSC);
            break;
        case PortEvent::kTrained:  // SuperSpeed: Polling reached U0
            if (!(port.portsc & PORTSC_CCS)) SetChangeBits(port, PORTSC_CSC);
            port.portsc |= PORTSC_CCS;
            EnablePort(port, index);
            break;
        case PortEvent::kResetDone:
            port.portsc &= ~PORTSC_PR;
            SetChangeBits(port, PORTSC_PRC);
            if (port.superSpeed || DelayUs(port.attached) == 0) {
                EnablePort(port, index);
            } else {
                Schedule(port, PortEvent::kEnable, at + DelayUs(port.attached));
            }
            break;
        case PortEvent::kEnable:
            EnablePort(port, index);
            break;
        case PortEvent::kWarmResetDone:
            port.portsc &= ~PORTSC_PR;
            SetChangeBits(port, PORTSC_WRC | PORTSC_PRC);
            if (TrainsLink(port.attached)) {
                port.portsc = WithLinkState(port.portsc, kLinkPolling);
                Schedule(port, PortEvent::kTrained, at + kLinkTrainingUs + DelayUs(port.attached));
            } else {
                port.portsc = WithLinkState(port.portsc & ~PORTSC_CCS,
                                            port.attached ? kLinkPolling : kLinkRxDetect);
            }
            break;
    }
}

// ---- Port state changes ------------------------------------------------------------------------

void SimXhci::Schedule(Port& port, PortEvent event, std::uint64_t at) {
    port.pending = event;
    port.dueUs = at;
}

void SimXhci::SetChangeBits(Port& port, std::uint32_t bits) {
    port.portsc |= bits;
    values_[kRowUsbSts] |= USBSTS_PCD;
}

void SimXhci::PowerOn(Port& port, std::uint64_t at) {
    port.portsc = WithLinkState(PORTSC_PP, kLinkRxDetect);
    port.pending = PortEvent::kNone;
    Detect(port, at);
}

void SimXhci::SetAttachment(std::uint32_t portNumber, const UsbAttachment* attached) {
    if (portNumber < 1 || portNumber > kPortCount) return;
    Advance();
    const std::uint32_t index = portNumber - 1;
    Port& port = ports_[index];
    port.attached = attached;
    if (!(port.portsc & PORTSC_PP)) return;  // an unpowered port sees nothing until powered
    const bool wasConnected = port.portsc & PORTSC_CCS;
    const bool wasUp = port.portsc & PORTSC_PED;
    port.portsc =
        WithLinkState(PORTSC_PP | (port.portsc & (kPortChangeBits | kPortRwBits)), kLinkRxDetect);
    port.pending = PortEvent::kNone;
    if (wasConnected) SetChangeBits(port, PORTSC_CSC);
    if (wasUp) NotifyLink(index, false);
    Detect(port, clock_.NowUs());
}

void SimXhci::Detect(Port& port, std::uint64_t at) {
    if (port.attached == nullptr) return;
    if (!port.superSpeed) {
        Schedule(port, PortEvent::kConnect, at + kUsb2ConnectUs);
    } else if (TrainsLink(port.attached)) {
        port.portsc = WithLinkState(port.portsc, kLinkPolling);
        Schedule(port, PortEvent::kTrained, at + kLinkTrainingUs + DelayUs(port.attached));
    } else {
        // A loop-back plug terminates the lines but never answers training: it stays in
        // Polling and is never reported as connected.
        port.portsc = WithLinkState(port.portsc, kLinkPolling);
    }
}

void SimXhci::PowerOff(Port& port, std::uint32_t index) {
    const bool wasConnected = port.portsc & PORTSC_CCS;
    const bool wasUp = port.portsc & PORTSC_PED;
    port.portsc = WithLinkState(0, kLinkDisabled);
    port.pending = PortEvent::kNone;
    if (wasConnected) SetChangeBits(port, PORTSC_CSC);
    if (wasUp) NotifyLink(index, false);
}

void SimXhci::StartPortReset(Port& port, std::uint64_t at, bool warm) {
    // A port reset needs a device to reset; a warm reset is signalled on the lines regardless.
    if (!warm && !(port.portsc & PORTSC_CCS)) return;
    const std::uint32_t index = static_cast<std::uint32_t>(&port - ports_.data());
    const bool wasUp = port.portsc & PORTSC_PED;
    port.portsc = (port.portsc | PORTSC_PR) & ~(PORTSC_PED | PORTSC_SPEED_MASK);
    if (port.superSpeed) port.portsc = WithLinkState(port.portsc, kLinkPolling);
    if (wasUp) NotifyLink(index, false);
    if (!warm && port.attached != nullptr && port.attached->faults.portResetHangs) {
        port.pending = PortEvent::kNone;  // the device holds the reset: PR stays set
        return;
    }
    if (warm) {
        Schedule(port, PortEvent::kWarmResetDone, at + kWarmResetUs);
    } else {
        Schedule(port, PortEvent::kResetDone,
                 at + (port.superSpeed ? kHotResetUs : kUsb2PortResetUs));
    }
}

void SimXhci::DisablePort(Port& port, std::uint32_t index) {
    if (!(port.portsc & PORTSC_PED)) return;  // writing 1 to a disabled port changes nothing
    port.portsc &= ~PORTSC_PED;
    // A disabled SuperSpeed link stays disabled until a warm reset (or RxDetect) restarts it.
    port.portsc = WithLinkState(port.portsc, port.superSpeed ? kLinkDisabled : kLinkPolling);
    port.pending = PortEvent::kNone;
    NotifyLink(index, false);
}

void SimXhci::EnablePort(Port& port, std::uint32_t index) {
    if (port.attached == nullptr || !TrainsLink(port.attached)) return;
    port.portsc = WithLinkState(port.portsc | PORTSC_PED, kLinkU0);
    port.portsc = (port.portsc & ~PORTSC_SPEED_MASK) |
                  (SpeedValue(port.attached->speed) << PORTSC_SPEED_SHIFT);
    NotifyLink(index, true);
}

void SimXhci::ChangeLinkState(Port& port, std::uint32_t index, std::uint32_t requested) {
    const std::uint32_t current = LinkStateOf(port.portsc);
    if (current == kLinkU0 && requested == kLinkU3 && (port.portsc & PORTSC_PED)) {
        port.portsc = WithLinkState(port.portsc, kLinkU3);
    } else if (current == kLinkU3 && requested == kLinkU0) {
        port.portsc = WithLinkState(port.portsc, kLinkU0);
        SetChangeBits(port, PORTSC_PLC);
    } else if (port.superSpeed && current == kLinkDisabled && requested == kLinkRxDetect) {
        port.portsc = WithLinkState(port.portsc, kLinkRxDetect);
        if (TrainsLink(port.attached)) {
            port.portsc = WithLinkState(port.portsc, kLinkPolling);
            Schedule(port, PortEvent::kTrained,
                     clock_.NowUs() + kLinkTrainingUs + DelayUs(port.attached));
        }
    }
    // Any other request is not a transition software may ask for; it is ignored.
    (void)index;
}

void SimXhci::NotifyLink(std::uint32_t index, bool up) {
    const Port& port = ports_[index];
    if (!port.superSpeed || !linkListener_) return;
    const bool plus =
        up && port.attached != nullptr && port.attached->speed == UsbSpeed::kSuperPlus;
    linkListener_(index + 1, up, plus);
}

// ---- Register access ---------------------------------------------------------------------------

std::uint8_t SimXhci::ReadByte(std::uint32_t offset) {
    Advance();
    const char* name = "";
    const std::uint32_t dword = ReadDword(offset & ~3u, name);
    const auto value = static_cast<std::uint8_t>(dword >> (8 * (offset & 3)));
    if (trace_) trace_({clock_.NowUs(), false, offset, value, name});
    return value;
}

void SimXhci::WriteByte(std::uint32_t offset, std::uint8_t value) {
    Advance();
    const char* name = "";
    const std::uint32_t shift = 8 * (offset & 3);
    WriteDword(offset & ~3u, std::uint32_t{value} << shift, 0xFFu << shift, name);
    if (trace_) trace_({clock_.NowUs(), true, offset, value, name});
}

std::uint32_t SimXhci::ReadDword(std::uint32_t offset, const char*& name) {
    if (offset < capLength_) {
        for (std::size_t i = 0; i < kRowCount; ++i) {
            if (kRegisters[i].block == Block::kCapability && kRegisters[i].offset == offset) {
                name = kRegisters[i].name;
                return values_[i];
            }
        }
        return 0;
    }
    const std::uint32_t relative = offset - capLength_;
    if (relative >= kPortRegisterBase) {
        const std::uint32_t index = (relative - kPortRegisterBase) / kPortRegisterStride;
        if (index >= kPortCount) return 0;
        const Port& port = ports_[index];
        const std::uint32_t which = (relative - kPortRegisterBase) % kPortRegisterStride / 4;
        name = kPortRegisterNames[which];
        switch (which) {
            case 0:
                return port.portsc;
            case 1:
                return port.pmsc;
            case 2:
                return 0;  // PORTLI: no link errors counted
            default:
                return port.hlpmc;
        }
    }
    for (std::size_t i = 0; i < kRowCount; ++i) {
        if (kRegisters[i].block == Block::kOperational && kRegisters[i].offset == relative) {
            name = kRegisters[i].name;
            return values_[i];
        }
    }
    return 0;  // reserved or not modelled (runtime registers, doorbells)
}

void SimXhci::WriteDword(std::uint32_t offset, std::uint32_t value, std::uint32_t lanes,
                         const char*& name) {
    const std::uint64_t now = clock_.NowUs();
    if (offset < capLength_) {
        ReadDword(offset, name);  // for the trace only: capability registers are read-only
        return;
    }
    const std::uint32_t relative = offset - capLength_;
    if (relative >= kPortRegisterBase) {
        const std::uint32_t index = (relative - kPortRegisterBase) / kPortRegisterStride;
        if (index >= kPortCount) return;
        Port& port = ports_[index];
        const std::uint32_t which = (relative - kPortRegisterBase) % kPortRegisterStride / 4;
        name = kPortRegisterNames[which];
        if (hostResetDueUs_) return;  // the controller is in reset
        if (which == 0) {
            WritePortsc(port, index, value, lanes, now);
        } else if (which == 1) {
            port.pmsc =
                (port.pmsc & ~(kPortPmscRwMask & lanes)) | (value & kPortPmscRwMask & lanes);
        } else if (which == 3) {
            port.hlpmc =
                (port.hlpmc & ~(kPortHlpmcRwMask & lanes)) | (value & kPortHlpmcRwMask & lanes);
        }
        return;
    }
    for (std::size_t i = 0; i < kRowCount; ++i) {
        const RegisterSpec& spec = kRegisters[i];
        if (spec.block != Block::kOperational || spec.offset != relative) continue;
        name = spec.name;
        if (i == kRowUsbCmd) {
            WriteUsbCmd(value, lanes, now);
            return;
        }
        if (hostResetDueUs_) return;
        std::uint32_t& v = values_[i];
        v = (v & ~(spec.rwMask & lanes)) | (value & spec.rwMask & lanes);
        v &= ~(value & spec.w1cMask & lanes);
        return;
    }
}

void SimXhci::WriteUsbCmd(std::uint32_t value, std::uint32_t lanes, std::uint64_t now) {
    if (hostResetDueUs_) return;  // nothing is taken while the reset runs
    std::uint32_t& cmd = values_[kRowUsbCmd];
    std::uint32_t& sts = values_[kRowUsbSts];
    if (value & lanes & USBCMD_HCRST) {
        // Write-1-to-start: the controller stops at once and comes back with every register at
        // its reset value; HCRST reads 1 until then and CNR stays set a little longer.
        cmd = USBCMD_HCRST;
        sts |= USBSTS_HCH | USBSTS_CNR;
        hostResetDueUs_ = now + kHostResetUs;
        notReadyDueUs_.reset();
        haltDueUs_.reset();
        return;
    }
    const std::uint32_t rw = kRegisters[kRowUsbCmd].rwMask;
    const bool wasRunning = cmd & USBCMD_RS;
    cmd = (cmd & ~(rw & lanes)) | (value & rw & lanes);
    const bool running = cmd & USBCMD_RS;
    if (running && !wasRunning) {
        if (sts & USBSTS_CNR) {
            cmd &= ~USBCMD_RS;  // not ready yet: Run is not taken
        } else {
            sts &= ~USBSTS_HCH;
            haltDueUs_.reset();
        }
    } else if (!running && wasRunning) {
        haltDueUs_ = now + kHaltUs;  // halts within a few microframes
    }
}

void SimXhci::WritePortsc(Port& port, std::uint32_t index, std::uint32_t value, std::uint32_t lanes,
                          std::uint64_t now) {
    const std::uint32_t written = value & lanes;
    const std::uint32_t merged = (port.portsc & ~lanes) | written;

    // Write-1-to-clear change bits.
    port.portsc &= ~(written & kPortChangeBits);

    // Port power is read/write; switching it changes the whole port.
    if (lanes & PORTSC_PP) {
        const bool want = written & PORTSC_PP;
        const bool have = port.portsc & PORTSC_PP;
        if (have && !want) {
            PowerOff(port, index);
            return;
        }
        if (!have && want) PowerOn(port, now);
    }
    if (!(port.portsc & PORTSC_PP)) return;  // an unpowered port ignores the rest

    // Write-1-to-start: warm reset (SuperSpeed only), port reset; else writing PED disables.
    if (port.superSpeed && (written & PORTSC_WPR)) {
        StartPortReset(port, now, true);
    } else if (written & PORTSC_PR) {
        StartPortReset(port, now, false);
    } else if (written & PORTSC_PED) {
        DisablePort(port, index);
    }

    // Link state, only with the strobe, and only where software may move the link.
    if (written & PORTSC_LWS) ChangeLinkState(port, index, LinkStateOf(merged));

    // Plain read/write bits.
    port.portsc = (port.portsc & ~(kPortRwBits & lanes)) | (written & kPortRwBits);
}

RootPortStatus SimXhci::PortStatus(std::uint32_t port) {
    RootPortStatus status;
    if (port < 1 || port > kPortCount) return status;
    Advance();
    const Port& p = ports_[port - 1];
    status.superSpeed = p.superSpeed;
    status.powered = p.portsc & PORTSC_PP;
    status.connected = p.portsc & PORTSC_CCS;
    status.enabled = p.portsc & PORTSC_PED;
    status.linkState = static_cast<std::uint8_t>(LinkStateOf(p.portsc));
    status.speed = static_cast<std::uint8_t>((p.portsc & PORTSC_SPEED_MASK) >> PORTSC_SPEED_SHIFT);
    status.attached = p.attached;
    return status;
}

}  // namespace qnl::sim
