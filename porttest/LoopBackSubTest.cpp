#include "porttest/LoopBackSubTest.h"

#include <exception>

#include "controller/ErrorCodes.h"
#include "platform/Files.h"
#include "qnlio/MailboxProtocol.h"
#include "qnlio/PortTestMemory.h"

namespace qnl {

using namespace porttest_memory;

namespace {

constexpr std::uint32_t kSpeedUsb30 = 2;
constexpr std::uint32_t kSpeedUsb31 = 4;

// One byte of data memory.
std::int32_t ReadByte(CInterctl& chip, const TargetHost& host, std::uint32_t address,
                      std::uint8_t& value) {
    return chip.Read_8051_Memory(host, mailbox::SPACE_XDATA, address, 1, &value);
}

std::int32_t WriteByte(CInterctl& chip, const TargetHost& host, std::uint32_t address,
                       std::uint8_t value) {
    return chip.WriteMemory(host, address, 1, &value);
}

// What one attempt came to.
enum class Attempt { kPassed, kFailed, kCancelled };

}  // namespace

std::int32_t LoopBackLinkCheck(CInterctl& chip, const TargetHost& host, std::uint32_t speed,
                               std::uint32_t port, std::uint8_t& link) {
    if (port != 1 && port != 2) return kErrInvalidParameter;
    const std::size_t p = port - 1;
    IClock& clock = chip.Clock();
    std::int32_t rc = ReadByte(chip, host, XDATA_LB_LINK_ERROR[p], link);
    if (rc != kOk) return rc;
    if (speed != kSpeedUsb31 || link == 0) return kOk;

    // First the link retrain: a pulse on bit 4 of the recovery control.
    std::uint8_t recovery = 0;
    if ((rc = ReadByte(chip, host, XDATA_LB_RECOVERY, recovery)) != kOk) return rc;
    WriteByte(chip, host, XDATA_LB_RECOVERY, recovery & 0xEF);
    clock.SleepMs(2);
    WriteByte(chip, host, XDATA_LB_RECOVERY, recovery | 0x10);
    clock.SleepMs(2);
    WriteByte(chip, host, XDATA_LB_RECOVERY, recovery & 0xEF);
    clock.SleepMs(10);
    link = 0;
    if ((rc = ReadByte(chip, host, XDATA_LB_LINK_ERROR[p], link)) != kOk) return rc;
    if (link == 0) return kOk;

    // Then a reset of the port's PHY.
    WriteByte(chip, host, XDATA_PHY_COMMAND, 0x04);
    clock.SleepMs(5);
    std::uint8_t control = 0;
    ReadByte(chip, host, XDATA_PHY_PORT_CONTROL[p], control);  // a failure is logged; go on
    WriteByte(chip, host, XDATA_PHY_PORT_CONTROL[p], control | 0x04);
    clock.SleepMs(10);
    std::uint8_t command = 0, state = 0;
    if ((rc = ReadByte(chip, host, XDATA_PHY_COMMAND, command)) != kOk) return rc;
    if ((rc = ReadByte(chip, host, XDATA_PHY_STATE, state)) != kOk) return rc;
    if ((command & 0xC4) == 0xC4 && state == 2) link = 0;  // the link is back
    return kOk;
}

std::int32_t LoopBackSubTest(CInterctl& chip, const TargetHost& host, std::uint32_t port,
                             std::uint32_t speed) {
    if ((port != 1 && port != 2) || (speed != kSpeedUsb30 && speed != kSpeedUsb31)) {
        return kErrInvalidParameter;
    }
    const std::size_t p = port - 1;
    const bool gen2 = speed == kSpeedUsb31;
    IClock& clock = chip.Clock();
    std::int32_t rc = kOk;
    try {
        // Only whether the firmware answers matters here.
        std::uint8_t identification[4] = {};
        rc = chip.Read_8051_Memory(host, mailbox::SPACE_XDATA,
                                   mailbox::XDATA_CHIP_SIGNATURE[host.ucKind == 0 ? 0 : 1], 4,
                                   identification);
        if (rc != kOk) return rc;

        std::uint8_t global = 0;
        std::array<std::uint8_t, 2> pattern{}, control{};
        if ((rc = ReadByte(chip, host, XDATA_LB_GLOBAL, global)) != kOk) return rc;
        if ((rc = ReadByte(chip, host, XDATA_LB_PATTERN[0], pattern[0])) != kOk) return rc;
        if ((rc = ReadByte(chip, host, XDATA_LB_PATTERN[1], pattern[1])) != kOk) return rc;
        if ((rc = ReadByte(chip, host, XDATA_LB_PATTERN_CONTROL[0], control[0])) != kOk) return rc;
        if ((rc = ReadByte(chip, host, XDATA_LB_PATTERN_CONTROL[1], control[1])) != kOk) return rc;

        const std::uint32_t start = gen2 ? XDATA_LB_START_GEN2 : XDATA_LB_START_GEN1;
        const std::uint32_t result = gen2 ? XDATA_LB_RESULT_GEN2[p] : XDATA_LB_RESULT_GEN1[p];
        const std::uint8_t laneBits = gen2 ? 0x18 : 0x08;
        const std::uint8_t stopMask = gen2 ? 0xFE : 0xFC;
        std::uint8_t patternControl = kLoopBackPatternControlStart;
        std::uint8_t s0 = 0;  // the last value read from the start register
        std::int32_t fatal = kOk;

        auto attempt = [&](std::uint8_t v) -> Attempt {
            patternControl = v != 0 ? (patternControl | 0x20) : (patternControl & 0xDF);
            if (WriteByte(chip, host, XDATA_LB_PATTERN[p], v) != kOk ||
                WriteByte(chip, host, XDATA_LB_PATTERN_CONTROL[p], patternControl) != kOk) {
                return Attempt::kFailed;
            }
            // Open this speed's loop-back gate.
            const std::int32_t gate =
                WriteByte(chip, host, XDATA_LB_GLOBAL, global & (gen2 ? 0xBF : 0x7F));
            if (gate != kOk) {
                if (gen2) fatal = gate;
                return Attempt::kFailed;
            }
            bool ok = true;
            bool cancelled = false;
            std::uint8_t x0 = 0, r0 = 0, link = 0;
            ok = ReadByte(chip, host, start, s0) == kOk;
            ok = ok && ReadByte(chip, host, XDATA_LB_LANE[p], x0) == kOk;
            ok = ok && WriteByte(chip, host, XDATA_LB_LANE[p], x0 | laneBits) == kOk;
            if (ok && !gen2) {
                cancelled = !clock.SleepMs(100);
                ok = !cancelled && WriteByte(chip, host, start, s0 | 0x03) == kOk;
                cancelled = cancelled || (ok && !clock.SleepMs(100));
            } else if (ok) {
                ok = WriteByte(chip, host, start, s0 | 0x01) == kOk;
                cancelled = ok && !clock.SleepMs(20);
            }
            ok = ok && !cancelled && ReadByte(chip, host, result, r0) == kOk;
            ok = ok && LoopBackLinkCheck(chip, host, speed, port, link) == kOk;
            WriteByte(chip, host, start, s0 & stopMask);  // stop
            if (!ok) return cancelled ? Attempt::kCancelled : Attempt::kFailed;

            ok = WriteByte(chip, host, XDATA_LB_LANE[p], x0 & ~laneBits) == kOk;
            const bool passed = ok && link == 0 && (gen2 ? (r0 & 0x04) != 0 : r0 == 0x30);
            WriteByte(chip, host, start, s0 & stopMask);  // stop again
            if (gen2 && !clock.SleepMs(5)) return Attempt::kCancelled;
            return passed ? Attempt::kPassed : Attempt::kFailed;
        };

        Attempt last = Attempt::kFailed;
        for (int pass = 0; pass < kLoopBackPasses && last == Attempt::kFailed; ++pass) {
            for (std::uint8_t v : kLoopBackPatterns) {
                last = attempt(v);
                if (fatal != kOk) return fatal;  // nothing restored: the gate write failed
                // Close the gate again; without it the engine is left open.
                if ((rc = WriteByte(chip, host, XDATA_LB_GLOBAL, global)) != kOk) return rc;
                if (last != Attempt::kFailed) break;
            }
        }

        if ((rc = WriteByte(chip, host, XDATA_LB_PATTERN[0], pattern[0])) != kOk) return rc;
        if ((rc = WriteByte(chip, host, XDATA_LB_PATTERN[1], pattern[1])) != kOk) return rc;
        if ((rc = WriteByte(chip, host, XDATA_LB_PATTERN_CONTROL[0], control[0])) != kOk) return rc;
        if ((rc = WriteByte(chip, host, XDATA_LB_PATTERN_CONTROL[1], control[1])) != kOk) return rc;
        if (last == Attempt::kCancelled) return kErrTimeout;
        return last == Attempt::kPassed ? kOk : kErrIo;
    } catch (const std::exception& e) {
        chip.Log().LogMessage(kEventTypeError, "\r\n%s:%d: dwErrorCode %d, what: %s",
                              "LoopBackSubTest", 150, files::LastError(), e.what());
        return rc != kOk ? rc : kErrIo;
    }
}

}  // namespace qnl
