// xHCI register access for the port tests: byte-wise reads and writes through 4 KB windows of
// the I/O library, a register shadow per host, and the controller and port operations the
// tests are built from. One instance per tool, beside the tool's chip interface (CInterctl): it
// uses the chip interface's microcontroller memory writes and test commands on the same host.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "controller/CInterctl.h"
#include "controller/TargetHost.h"

namespace qnl {

// Register offsets from the host's register base and the bits the operations use. The
// controllers served have CAPLENGTH 0x20, so the operational registers start at 0x20.
namespace xhci {
inline constexpr std::uint32_t kServedCapLength = 0x20;
inline constexpr std::uint32_t REG_CAPLENGTH = 0x00;
inline constexpr std::uint32_t REG_HCSPARAMS1 = 0x04;
inline constexpr std::uint32_t REG_USBCMD = 0x20;
inline constexpr std::uint32_t REG_USBSTS = 0x24;
inline constexpr std::uint32_t REG_CONFIG = 0x58;
constexpr std::uint32_t RegPortsc(std::uint32_t port) {
    return 0x410 + 16 * port;
}

inline constexpr std::uint32_t USBCMD_RUN = 0x1;
inline constexpr std::uint32_t USBCMD_HCRST = 0x2;
inline constexpr std::uint32_t USBSTS_HCHALTED = 0x1;
inline constexpr std::uint32_t USBSTS_CNR = 0x800;
inline constexpr std::uint32_t HCSPARAMS1_MAX_SLOTS = 0xFF;

inline constexpr std::uint32_t PORTSC_CCS = 0x1;
inline constexpr std::uint32_t PORTSC_PED = 0x2;
inline constexpr std::uint32_t PORTSC_PR = 0x10;
inline constexpr std::uint32_t PORTSC_PP = 0x200;
inline constexpr std::uint32_t PORTSC_WRC = 0x80000;
inline constexpr std::uint32_t PORTSC_WPR = 0x80000000;

// What the waits compare PORTSC with.
inline constexpr std::uint32_t kConnectedMask = 0x201, kConnectedValue = 0x201;
inline constexpr std::uint32_t kEnabledMask = 0x3E3, kEnabledValue = 0x203;
inline constexpr std::uint32_t kSuperSpeedPlusLow16 = 0x1603;

inline constexpr std::uint32_t kFirstPort = 1;
inline constexpr std::uint32_t kLastPort = 4;
static_assert(RegPortsc(1) == 0x420 && RegPortsc(4) == 0x450, "port register sets");
}  // namespace xhci

class CXhci {
  public:
    static constexpr std::uint32_t kShadowBytes = 0x1410;  // capability + operational + ports
    static constexpr std::uint32_t kWindowBytes = 0x1000;
    static constexpr std::uint32_t kProbeBytes = 4;
    static constexpr std::uint32_t kWriteSettleMs = 100;
    // What a register read inside the operations yields for a host without a register base.
    static constexpr std::uint32_t kNoBaseValue = 0xFFFFFFF6;
    static constexpr std::uint32_t kGoneValue = 0xFFFFFFFF;
    static constexpr std::uint32_t kScanPowerWaitMs = 200;

    explicit CXhci(CInterctl& chip);
    ~CXhci();
    CXhci(const CXhci&) = delete;
    CXhci& operator=(const CXhci&) = delete;

    // The chip interface of the same hosts (mailbox, test commands), and its clock and log.
    CInterctl& Chip() { return chip_; }
    IClock& Clock() { return clock_; }
    CEventLog& Log() { return log_; }

    // Reads `length` bytes (at least 4, a multiple of 4) from MMIO `offset`, one byte per
    // library call, re-mapping the 4 KB window as the read crosses it.
    std::int32_t ReadMmio(const TargetHost& host, std::uint8_t* destination, std::uint32_t length,
                          std::uint32_t offset);
    // Writes one 32-bit register byte by byte (lowest address first), then lets it settle
    // for 100 ms.
    std::int32_t WriteMmio(const TargetHost& host, const std::uint8_t source[4],
                           std::uint32_t offset);

    // Probes the mapping and loads the host's register shadow. Refuses (-10) a host without a
    // register base and a controller whose operational registers do not start at 0x20.
    std::int32_t LoadRegisters(TargetHost& host);

    std::int32_t ResetHostController(const TargetHost& host);
    void SetMaxSlotsEnabled(const TargetHost& host);
    void RunHostController(const TargetHost& host);
    std::int32_t HaltHostController(const TargetHost& host);
    std::int32_t WaitRegister(const TargetHost& host, std::uint32_t offset, std::uint32_t mask,
                              std::uint32_t expected, std::int32_t timeoutMs);

    std::int32_t PowerPortAndWaitConnect(const TargetHost& host, std::uint32_t port,
                                         std::int32_t timeoutMs);
    std::int32_t ResetPort(const TargetHost& host, std::uint32_t port, std::int32_t timeoutMs);
    std::int32_t WaitPortEnabled(const TargetHost& host, std::uint32_t port,
                                 std::int32_t timeoutMs);
    std::int32_t CheckSuperSpeedPlusLink(const TargetHost& host, std::uint32_t port);
    std::int32_t WarmResetPort(const TargetHost& host, std::uint32_t port);
    // The termination measurement of Port 1 or 2 (xHCI port 1 or 2): 0 detected, -1 not
    // detected or port not enabled, or an error code.
    std::int32_t TerminationCheck(const TargetHost& host, std::uint32_t port);

    // Powers every port of every host and records which have a device (ucPortConnected).
    // Returns the result of the last port power wait (0 when none was made).
    std::int32_t ScanPortConnections();
    std::uint8_t ScanProgress() const { return ucScanProgress.load(); }

    // The shadow of host-table index `hostIndex`: the dword at `offset`, and HCSPARAMS1.
    std::uint32_t ShadowDword(std::size_t hostIndex, std::uint32_t offset) const;
    std::uint32_t HcsParams1(std::size_t hostIndex) const;

    // Progress of ScanPortConnections, 0..100; read by the page timer without the lock.
    std::atomic<std::uint8_t> ucScanProgress{0};

  private:
    struct ShadowBlock {
        std::array<std::uint8_t, kShadowBytes> image{};
        std::uint32_t dwHcsParams1 = 0;
    };

    ShadowBlock* ShadowOf(const TargetHost& host);
    // A register read inside the operations: kNoBaseValue without a register base, kGoneValue
    // when the access fails. Stored in the shadow.
    std::uint32_t ReadRegister(const TargetHost& host, std::uint32_t offset);
    // 0, the library's code, or -10 without a register base (nothing is written then).
    std::int32_t WriteRegister(const TargetHost& host, std::uint32_t offset, std::uint32_t value);
    void StoreShadow(const TargetHost& host, std::uint32_t offset, std::uint32_t value);
    // Polls PORTSC(port) every 10 ms until `done` holds or `timeoutMs` has passed.
    template <typename Done>
    std::int32_t PollPort(const TargetHost& host, std::uint32_t port, std::int32_t timeoutMs,
                          Done done);

    CInterctl& chip_;
    IQnlIo& io_;
    IClock& clock_;
    CEventLog& log_;
    CUtility& utility_;
    std::array<ShadowBlock, kMaxHosts> shadow_{};
    std::mutex registerLock_;         // held by ScanPortConnections
    mutable std::mutex shadowMutex_;  // guards shadow_ (workers of several hosts write it)
};

}  // namespace qnl
