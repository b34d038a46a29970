#include "porttest/CXhci.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <vector>

#include "controller/ErrorCodes.h"
#include "platform/Cancellation.h"
#include "platform/Files.h"
#include "platform/Worker.h"
#include "qnlio/MailboxProtocol.h"
#include "qnlio/PortTestMemory.h"

namespace qnl {

using namespace xhci;

namespace {

std::uint32_t LoadLe(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

void StoreLe(std::uint8_t* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool ValidPort(std::uint32_t port) {
    return port >= kFirstPort && port <= kLastPort;
}

// Elapsed time of one poll pass, in milliseconds, as the waits accumulate it.
double PassMs(std::uint64_t t0Us, std::uint64_t t1Us) {
    return t1Us >= t0Us ? static_cast<double>(t1Us - t0Us) / 1000.0 : 0.0;
}

}  // namespace

CXhci::CXhci(CInterctl& chip)
    : chip_(chip),
      io_(chip.Io()),
      clock_(chip.Clock()),
      log_(chip.Log()),
      utility_(chip.Utility()) {}

CXhci::~CXhci() = default;

// ---- Byte-wise access --------------------------------------------------------------------------

std::int32_t CXhci::ReadMmio(const TargetHost& host, std::uint8_t* destination,
                             std::uint32_t length, std::uint32_t offset) {
    if (length < 4 || length % 4 != 0 || destination == nullptr) return kErrInvalidParameter;
    // Never map physical page 0 or run past the 32-bit address space.
    if (host.dwMmioBase == 0 ||
        std::uint64_t{host.dwMmioBase} + offset + length > std::uint64_t{0x100000000}) {
        return kErrInvalidParameter;
    }
    std::vector<std::uint8_t> buffer;
    try {
        buffer.assign(length, 0);
    } catch (const std::bad_alloc&) {
        return kErrNoMemory;
    }
    MappedAddress window = io_.MapQnlIO(host.dwMmioBase + offset, kWindowBytes);
    std::uint32_t used = 0;  // bytes of the current window consumed
    auto fail = [&](std::int32_t rc) {
        files::LastError();  // fetched and dropped: the library's code is what counts
        if (window != 0) io_.UnmapQnlIO(window, kWindowBytes);
        return rc;
    };
    for (std::uint32_t done = 0; done < length; done += 4) {
        if (used == kWindowBytes) {
            if (window != 0) io_.UnmapQnlIO(window, kWindowBytes);
            window = io_.MapQnlIO(host.dwMmioBase + offset + done, kWindowBytes);
            used = 0;
        }
        if (window == 0) return fail(kErrIo);  // nothing mapped: no access through address 0
        for (std::uint32_t i = 0; i < 4; ++i) {
            std::uint32_t byte = 0;
            const std::int32_t rc = io_.ReadMEM(window + used + i, 1, &byte);
            if (rc != 0) return fail(rc);
            buffer[done + i] = static_cast<std::uint8_t>(byte);
        }
        used += 4;
    }
    std::memcpy(destination, buffer.data(), length);
    io_.UnmapQnlIO(window, kWindowBytes);
    return kOk;
}

std::int32_t CXhci::WriteMmio(const TargetHost& host, const std::uint8_t source[4],
                              std::uint32_t offset) {
    if (source == nullptr || host.dwMmioBase == 0 ||
        std::uint64_t{host.dwMmioBase} + offset + 4 > std::uint64_t{0x100000000}) {
        return kErrInvalidParameter;
    }
    // A worker that was asked to stop writes no register.
    if (StopRequested()) return kErrTimeout;
    const MappedAddress window = io_.MapQnlIO(host.dwMmioBase + offset, kWindowBytes);
    if (window == 0) {
        files::LastError();
        return kErrIo;
    }
    for (std::uint32_t i = 0; i < 4; ++i) {
        if (StopRequested()) {
            io_.UnmapQnlIO(window, kWindowBytes);
            return kErrTimeout;
        }
        const std::uint32_t byte = source[i];
        const std::int32_t rc = io_.WriteMEM(window + i, 1, &byte);
        if (rc != 0) {
            files::LastError();
            io_.UnmapQnlIO(window, kWindowBytes);
            return rc;
        }
    }
    const bool slept = clock_.SleepMs(kWriteSettleMs);
    io_.UnmapQnlIO(window, kWindowBytes);
    return slept ? kOk : kErrTimeout;
}

// ---- Shadow ------------------------------------------------------------------------------------

CXhci::ShadowBlock* CXhci::ShadowOf(const TargetHost& host) {
    return host.ucIndex < kMaxHosts ? &shadow_[host.ucIndex] : nullptr;
}

void CXhci::StoreShadow(const TargetHost& host, std::uint32_t offset, std::uint32_t value) {
    ShadowBlock* block = ShadowOf(host);
    if (block == nullptr || offset > kShadowBytes - 4) return;
    // A worker given up on no longer writes the shadow a later run reads.
    GatedWrite([&] {
        std::lock_guard lock(shadowMutex_);
        StoreLe(&block->image[offset], value);
    });
}

std::uint32_t CXhci::ShadowDword(std::size_t hostIndex, std::uint32_t offset) const {
    if (hostIndex >= kMaxHosts || offset > kShadowBytes - 4) return 0;
    std::lock_guard lock(shadowMutex_);
    return LoadLe(&shadow_[hostIndex].image[offset]);
}

std::uint32_t CXhci::HcsParams1(std::size_t hostIndex) const {
    if (hostIndex >= kMaxHosts) return 0;
    std::lock_guard lock(shadowMutex_);
    return shadow_[hostIndex].dwHcsParams1;
}

std::uint32_t CXhci::ReadRegister(const TargetHost& host, std::uint32_t offset) {
    std::uint32_t value = kNoBaseValue;
    if (host.dwMmioBase != 0) {
        std::uint8_t bytes[4] = {};
        value = ReadMmio(host, bytes, 4, offset) == kOk ? LoadLe(bytes) : kGoneValue;
    }
    StoreShadow(host, offset, value);
    return value;
}

std::int32_t CXhci::WriteRegister(const TargetHost& host, std::uint32_t offset,
                                  std::uint32_t value) {
    if (host.dwMmioBase == 0) return kErrInvalidParameter;
    std::uint8_t bytes[4];
    StoreLe(bytes, value);
    const std::int32_t rc = WriteMmio(host, bytes, offset);
    if (rc == kOk) StoreShadow(host, offset, value);
    return rc;
}

std::int32_t CXhci::LoadRegisters(TargetHost& host) {
    ShadowBlock* block = ShadowOf(host);
    // A host without a register base is refused before anything is mapped: mapping physical
    // address 0 would reach memory that is not the controller's.
    if (block == nullptr || host.dwMmioBase == 0) return kErrInvalidParameter;
    const MappedAddress probe = io_.MapQnlIO(host.dwMmioBase, kProbeBytes);
    if (probe == 0) return kErrIo;
    std::int32_t rc = kOk;
    try {
        std::vector<std::uint8_t> image(kShadowBytes, 0);
        rc = ReadMmio(host, image.data(), kShadowBytes, 0);
        if (rc == kOk) {
            GatedWrite([&] {
                std::lock_guard lock(shadowMutex_);
                std::copy_n(image.begin(), kServedCapLength, block->image.begin());
            });
            const std::uint8_t capLength = image[REG_CAPLENGTH];
            if (LoadLe(&image[REG_CAPLENGTH]) == kGoneValue) {
                // All ones is what the bus returns for a controller that has gone, not a
                // register layout: keep what was read; the first register wait sees the
                // controller gone and ends with -1.
                std::copy(image.begin() + kServedCapLength, image.end(),
                          block->image.begin() + kServedCapLength);
                block->dwHcsParams1 = ReadRegister(host, REG_HCSPARAMS1);
            } else if (capLength != kServedCapLength) {
                // Every operation addresses the operational registers at fixed offsets from
                // 0x20; another layout would be driven at the wrong registers.
                log_.LogMessage(kEventTypeError,
                                "\r\n%s:%d: Bus=%d, Device=%d, Function=%d, CAPLENGTH 0x%02X is "
                                "not 0x20, controller not served",
                                "CXhci::LoadRegisters", 171, host.ucBus, host.ucDevice,
                                host.ucFunction, capLength);
                rc = kErrInvalidParameter;
            } else {
                GatedWrite([&] {
                    std::lock_guard lock(shadowMutex_);
                    std::copy(image.begin() + kServedCapLength, image.end(),
                              block->image.begin() + kServedCapLength);
                });
                const std::uint32_t hcsParams1 = ReadRegister(host, REG_HCSPARAMS1);
                GatedWrite([&] {
                    std::lock_guard lock(shadowMutex_);
                    block->dwHcsParams1 = hcsParams1;
                });
            }
        }
    } catch (const std::exception& e) {
        log_.LogMessage(kEventTypeError, "\r\n%s:%d: dwErrorCode %d, what: %s",
                        "CXhci::LoadRegisters", 184, files::LastError(), e.what());
        rc = kErrNoMemory;
    }
    io_.UnmapQnlIO(probe, kProbeBytes);
    return rc;
}

// ---- Controller operations ---------------------------------------------------------------------

std::int32_t CXhci::WaitRegister(const TargetHost& host, std::uint32_t offset, std::uint32_t mask,
                                 std::uint32_t expected, std::int32_t timeoutMs) {
    double elapsedMs = 0.0;
    for (;;) {
        const std::uint64_t t0 = clock_.NowUs();
        const std::uint32_t value = ReadRegister(host, offset);
        if (value == kGoneValue) return kErrIo;  // the controller has gone
        if ((value & mask) == expected) return kOk;
        if (!clock_.SleepMs(1)) return kErrTimeout;
        elapsedMs += PassMs(t0, clock_.NowUs());
        if (elapsedMs >= static_cast<double>(timeoutMs)) return kErrTimeout;
    }
}

std::int32_t CXhci::ResetHostController(const TargetHost& host) {
    ReadRegister(host, REG_USBSTS);
    const std::uint32_t command = ReadRegister(host, REG_USBCMD);
    if (WriteRegister(host, REG_USBCMD, command | USBCMD_HCRST) != kOk) return kErrIo;
    if (WaitRegister(host, REG_USBCMD, USBCMD_HCRST, 0, 250) != kOk) return kErrIo;
    if (WaitRegister(host, REG_USBSTS, USBSTS_CNR, 0, 250) != kOk) return kErrIo;
    return clock_.SleepMs(250) ? kOk : kErrTimeout;
}

void CXhci::SetMaxSlotsEnabled(const TargetHost& host) {
    const std::uint32_t maxSlots = HcsParams1(host.ucIndex) & HCSPARAMS1_MAX_SLOTS;
    WriteRegister(host, REG_CONFIG, maxSlots);
    ReadRegister(host, REG_CONFIG);
}

void CXhci::RunHostController(const TargetHost& host) {
    const std::uint32_t command = ReadRegister(host, REG_USBCMD);
    WriteRegister(host, REG_USBCMD, command | USBCMD_RUN);
    WaitRegister(host, REG_USBSTS, USBSTS_HCHALTED, 0, 250);
    ReadRegister(host, REG_USBSTS);
}

std::int32_t CXhci::HaltHostController(const TargetHost& host) {
    if (ReadRegister(host, REG_USBSTS) & USBSTS_HCHALTED) return kErrIo;  // already halted
    const std::uint32_t command = ReadRegister(host, REG_USBCMD);
    WriteRegister(host, REG_USBCMD, command & ~USBCMD_RUN);
    return WaitRegister(host, REG_USBSTS, USBSTS_HCHALTED, USBSTS_HCHALTED, 2);
}

// ---- Port operations ---------------------------------------------------------------------------

template <typename Done>
std::int32_t CXhci::PollPort(const TargetHost& host, std::uint32_t port, std::int32_t timeoutMs,
                             Done done) {
    double elapsedMs = 0.0;
    for (;;) {
        const std::uint64_t t0 = clock_.NowUs();
        if (!clock_.SleepMs(10)) return kErrTimeout;
        // All ones is a controller that has gone; it never counts as the awaited state, so the
        // wait goes on to its time-out.
        const std::uint32_t value = ReadRegister(host, RegPortsc(port));
        if (value != kGoneValue && done(value)) return kOk;
        elapsedMs += PassMs(t0, clock_.NowUs());
        if (elapsedMs >= static_cast<double>(timeoutMs)) return kErrTimeout;
    }
}

std::int32_t CXhci::PowerPortAndWaitConnect(const TargetHost& host, std::uint32_t port,
                                            std::int32_t timeoutMs) {
    if (!ValidPort(port)) return kErrInvalidParameter;
    const std::uint32_t status = ReadRegister(host, RegPortsc(port));
    if (!(status & PORTSC_PP)) WriteRegister(host, RegPortsc(port), status | PORTSC_PP);
    return PollPort(host, port, timeoutMs, [](std::uint32_t value) {
        return (value & kConnectedMask) == kConnectedValue;
    });
}

std::int32_t CXhci::ResetPort(const TargetHost& host, std::uint32_t port, std::int32_t timeoutMs) {
    if (!ValidPort(port)) return kErrInvalidParameter;
    const std::uint32_t status = ReadRegister(host, RegPortsc(port));
    WriteRegister(host, RegPortsc(port), status | PORTSC_PR);
    return PollPort(host, port, timeoutMs,
                    [](std::uint32_t value) { return (value & PORTSC_PR) == 0; });
}

std::int32_t CXhci::WaitPortEnabled(const TargetHost& host, std::uint32_t port,
                                    std::int32_t timeoutMs) {
    if (!ValidPort(port)) return kErrInvalidParameter;
    return PollPort(host, port, timeoutMs,
                    [](std::uint32_t value) { return (value & kEnabledMask) == kEnabledValue; });
}

std::int32_t CXhci::CheckSuperSpeedPlusLink(const TargetHost& host, std::uint32_t port) {
    if (!ValidPort(port)) return kErrInvalidParameter;
    if ((ReadRegister(host, RegPortsc(port)) & 0xFFFF) == kSuperSpeedPlusLow16) return kOk;
    using namespace porttest_memory;
    const std::size_t which = port == 1 ? 0 : 1;
    std::uint32_t address = 0;
    if (host.ucChipType == 0) {
        address = XDATA_SSP_LINK_CHIP0[which];
    } else if (host.ucChipType == 1) {
        address = XDATA_SSP_LINK_CHIP1[which];
    } else {
        return kErrInvalidParameter;
    }
    std::uint8_t link = 0;
    const std::int32_t rc = chip_.Read_8051_Memory(host, mailbox::SPACE_XDATA, address, 1, &link);
    if (rc != kOk) return rc;
    return (link & 0x01) ? kOk : kErrDataNotMatch;
}

std::int32_t CXhci::WarmResetPort(const TargetHost& host, std::uint32_t port) {
    if (!ValidPort(port)) return kErrInvalidParameter;
    const std::uint32_t status = ReadRegister(host, RegPortsc(port));
    WriteRegister(host, RegPortsc(port), status | PORTSC_WPR);
    return WaitRegister(host, RegPortsc(port), PORTSC_WRC, PORTSC_WRC, 250) == kOk ? kOk : kErrIo;
}

std::int32_t CXhci::TerminationCheck(const TargetHost& host, std::uint32_t port) {
    using namespace porttest_memory;
    if (port != 1 && port != 2) return kErrInvalidParameter;
    // No enabled device on the port: nothing to measure.
    const std::uint32_t status = ReadRegister(host, RegPortsc(port));
    if (!(status & PORTSC_PED)) return kErrIo;

    WriteRegister(host, RegPortsc(port), status | PORTSC_PED);  // writing PED disables the port
    ReadRegister(host, RegPortsc(port));

    const std::uint32_t address = XDATA_TERMINATION[port - 1];
    std::int32_t result = kOk;
    std::uint8_t control = 0;
    do {
        result = chip_.Read_8051_Memory(host, mailbox::SPACE_XDATA, address, 1, &control);
        if (result != kOk) break;
        std::uint8_t start = control | TERMINATION_START;
        result = chip_.WriteMemory(host, address, 1, &start);
        if (result != kOk) break;
        if (!clock_.SleepMs(200)) {
            result = kErrTimeout;
            break;
        }
        result = chip_.Read_8051_Memory(host, mailbox::SPACE_XDATA, address, 1, &control);
        if (result != kOk) break;
        std::uint8_t stop = control & static_cast<std::uint8_t>(~TERMINATION_START);
        result = chip_.WriteMemory(host, address, 1, &stop);
        if (result != kOk) break;
        if (control & TERMINATION_RESULT) {
            if (!clock_.SleepMs(600)) result = kErrTimeout;
        } else {
            result = kErrIo;
        }
    } while (false);

    HaltHostController(host);
    ResetHostController(host);
    ReadRegister(host, RegPortsc(port));
    return result;
}

// ---- Port connection scan ----------------------------------------------------------------------

std::int32_t CXhci::ScanPortConnections() {
    std::lock_guard lock(registerLock_);
    ucScanProgress = 0;
    std::int32_t last = kOk;
    const std::size_t count = std::min<std::size_t>(utility_.ucHostCount, kMaxHosts);
    // With no host there is nothing to scan (and no step to divide into).
    const std::uint8_t step = count == 0 ? 0 : static_cast<std::uint8_t>(100 / (count * 10));
    auto advance = [&] { ucScanProgress = static_cast<std::uint8_t>(ucScanProgress + step); };
    for (std::size_t i = 0; i < count; ++i) {
        // The scan works on a copy of the record and publishes what it found under the
        // record's lock: only the port states, never the rest of a copy that another writer
        // may have changed meanwhile.
        TargetHost host = utility_.RecordSnapshot(i);
        const auto publish = [&] {
            utility_.WriteRecord(i,
                                 [&](TargetHost& h) { h.ucPortConnected = host.ucPortConnected; });
        };
        if (host.bNoAnswer) {
            // It did not answer at discovery: never driven again, nothing connected.
            host.ucPortConnected.fill(0);
            publish();
            ucScanProgress = static_cast<std::uint8_t>(ucScanProgress + 10 * step);
            continue;
        }
        const std::int32_t loaded = LoadRegisters(host);
        if (ShadowDword(host.ucIndex, 0) == 0) {  // no controller behind it: stop here
            publish();
            break;
        }
        if (loaded != kOk) {
            // Refused (another register layout) or not mappable: not driven, nothing connected.
            host.ucPortConnected.fill(0);
            publish();
            ucScanProgress = static_cast<std::uint8_t>(ucScanProgress + 9 * step);
            continue;
        }
        advance();
        ResetHostController(host);
        advance();
        SetMaxSlotsEnabled(host);
        advance();
        RunHostController(host);
        advance();
        for (std::uint32_t port = kFirstPort; port <= kLastPort; ++port) {
            advance();
            last = PowerPortAndWaitConnect(host, port, kScanPowerWaitMs);
            host.ucPortConnected[port - 1] = last == kOk ? 1 : 0;
        }
        advance();
        HaltHostController(host);
        publish();
    }
    ucScanProgress = 100;
    return last;
}

}  // namespace qnl
