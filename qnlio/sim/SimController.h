// One simulated host controller: its PCI function, its microcontroller (data memory, firmware
// information, command mailbox, boot from flash, the port-test firmware), its SPI flash chip and
// its xHCI register window with the root ports (SimXhci).
//
// Mailbox handshake (what the four mailbox calls of the I/O library do here):
//   WriteCmdALL     hands one command record to the microcontroller, which executes it at once.
//                   0 when taken; -1 when the microcontroller refuses it (unknown command or
//                   space, address out of range, flash protected, no open section, injected
//                   failure); -10 when the length field is impossible for the command. A new
//                   command discards replies of the previous one that were never fetched.
//   Wait_Write_Ready 0 when the last command was taken and not yet confirmed; -1 when it was
//                   refused; -9 when there is nothing to confirm.
//   Wait_Read_Ready 0 while a reply record is waiting, -9 when none is.
//   ReadCMD         takes the next reply record (44 bytes; all zeros and -9 when none).
// A command that reads (CMD_MEM_READ, CMD_SPI_READ_REG) leaves two reply records: an
// acknowledgement (byte 0 command, 1 space, 2 length, 3 status 0, bytes 4..7 address) and a data
// record (the same header, the data bytes at 12..19). A read of 1..7 bytes also places its data in
// configuration bytes 0xF0.. and sets bit 0 of control byte 0xE0; writing 1 to 0xE0 acknowledges
// it: the data dwords are cleared and the unfetched data record is dropped.
// A controller that is off the bus answers nothing: every mailbox call gives -9, configuration
// reads give all ones.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "qnlio/IQnlIo.h"
#include "qnlio/sim/SimFlash.h"
#include "qnlio/sim/SimPortFirmware.h"
#include "qnlio/sim/SimXhci.h"
#include "qnlio/sim/StationConfig.h"

namespace qnl::sim {

// Result codes of the mailbox calls.
inline constexpr std::int32_t kMailboxOk = 0;
inline constexpr std::int32_t kMailboxIoError = -1;
inline constexpr std::int32_t kMailboxTimedOut = -9;
inline constexpr std::int32_t kMailboxInvalidParameter = -10;

// One WriteCmdALL as the controller received it, with what it answered.
struct CommandRecord {
    std::uint32_t command = 0;
    std::uint32_t space = 0;
    std::uint32_t length = 0;
    std::uint32_t address = 0;
    std::uint32_t dataLow = 0;
    std::uint32_t dataHigh = 0;
    std::int32_t result = 0;
    std::uint64_t timeUs = 0;  // station clock when it arrived

    bool operator==(const CommandRecord&) const = default;
};

class SimController {
  public:
    static constexpr std::size_t kConfigBytes = 256;
    static constexpr std::size_t kFwInfoBytes = 256;
    static constexpr std::uint32_t kRegisterWindowBytes = 0x10000;
    static constexpr std::uint32_t kClassCodeXhci = 0x0C0330;
    // The command log keeps this many of the newest commands (a full 512 KB update sends about
    // 130,000), so a long session cannot grow it without bound.
    static constexpr std::size_t kMaxCommandLog = 1 << 18;

    // Loads (or creates) the flash file and boots. Throws StationError.
    SimController(const ControllerConfig& config, IClock& clock);
    // Releases callers blocked in the hang fault and waits until they have left.
    ~SimController();
    SimController(const SimController&) = delete;
    SimController& operator=(const SimController&) = delete;

    const ControllerConfig& Config() const { return config_; }
    int Kind() const { return config_.kind; }

    // PCI configuration space of the function. Offsets past 255 read all ones.
    std::uint32_t ConfigRead32(std::uint32_t offset);
    std::uint8_t ConfigRead8(std::uint32_t offset);
    void ConfigWrite32(std::uint32_t offset, std::uint32_t value);
    void ConfigWrite8(std::uint32_t offset, std::uint8_t value);
    // Base of the 64 KB register region (BAR0 without its flag bits).
    std::uint32_t RegisterBase();

    // The mailbox (see the handshake above).
    std::int32_t WriteCmdAll(std::uint32_t command, std::uint32_t space, std::uint32_t length,
                             std::uint32_t address, std::uint32_t dataLow, std::uint32_t dataHigh);
    std::int32_t WaitWriteReady();
    std::int32_t WaitReadReady();
    std::int32_t ReadCmd(std::uint8_t* reply);

    // Register window (the xHCI registers), byte-wise. Off the bus reads give 0xFF and writes
    // are lost.
    std::uint8_t RegisterRead(std::uint32_t offset);
    void RegisterWrite(std::uint32_t offset, std::uint8_t value);
    // Every register access, for test diagnostics (an empty function turns it off). The hook
    // runs with the controller's lock held: it must not call back into this controller.
    void SetRegisterTrace(RegisterTrace trace);
    RootPortStatus PortStatus(std::uint32_t xhciPort);
    // Plugs a device into a root port (1..4), or pulls it out (null); see SimXhci.
    void SetPortAttachment(std::uint32_t xhciPort, const UsbAttachment* attached);

    // Writes the flash file if the flash changed. False with `error` set when the write failed.
    bool WriteBackFlash(std::string& error);
    // The last write-back failure (empty when none), for the tool's diagnostics.
    std::string LastWriteBackError() const;

    // Inspection and test access.
    std::vector<std::uint8_t> FlashContents() const;
    void SetFlashContents(const std::vector<std::uint8_t>& data);  // from address 0, rest erased
    bool FlashDirty() const;
    std::uint8_t XdataByte(std::uint32_t address) const;  // out of range reads 0xFF
    void SetXdataByte(std::uint32_t address, std::uint8_t value);
    std::array<std::uint8_t, 6> RunningVersion() const;
    std::uint8_t FlashStatusRegister() const;
    bool FlashProtected() const;
    std::uint8_t SpiMode() const;       // last CMD_SPI_MODE value, 0 before any
    void Reboot();                      // as after the end-of-access sequence
    std::uint64_t RebootCount() const;  // boots since the station started, first = 1
    bool OnBus() const;

    std::uint64_t CommandCount() const;  // WriteCmdALL calls received since start
    std::vector<CommandRecord> Commands() const;
    void ClearCommands();

    // Fault injection. Command numbers count WriteCmdALL calls from now; k = 1 is the next one.
    void FailNthCommand(std::uint64_t k);
    void FailCommandAt(std::optional<std::uint32_t> command, std::uint32_t address);
    void HangFromCommand(std::uint64_t k);
    void DropOffBusAtCommand(std::uint64_t k);  // k = 0: at once
    void FlipBitsOnFlashRead(std::uint32_t address, std::uint8_t mask, int times);
    void ClearFaults();

  private:
    enum class WriteState { kNone, kTaken, kRefused };
    using Reply = std::array<std::uint8_t, kReplyRecordBytes>;
    using Lock = std::unique_lock<std::mutex>;

    struct Section {
        bool open = false;
        bool aai = false;
        std::uint32_t next = 0;  // AAI parts program at their own running address
    };

    // Everything below runs with mutex_ held.
    void BootLocked();
    bool MailboxAnswersLocked() const;
    std::int32_t HangLocked(Lock& lock);
    bool InjectedFailureLocked(std::uint32_t command, std::uint32_t address);
    std::int32_t ExecuteLocked(std::uint32_t command, std::uint32_t space, std::uint32_t length,
                               std::uint32_t address, std::uint32_t dataLow,
                               std::uint32_t dataHigh);
    std::int32_t MemoryReadLocked(std::uint32_t space, std::uint32_t length, std::uint32_t address,
                                  std::uint32_t dataLow);
    std::int32_t MemoryWriteLocked(std::uint32_t length, std::uint32_t address,
                                   std::uint32_t dataLow, std::uint32_t dataHigh);
    std::int32_t FlashCommandLocked(std::uint32_t command, std::uint32_t length,
                                    std::uint32_t address, std::uint32_t dataLow,
                                    std::uint32_t dataHigh);
    std::int32_t EraseLocked(std::uint32_t count, std::uint32_t address, std::uint32_t dataLow,
                             std::uint32_t dataHigh);
    std::int32_t SectionDataLocked(std::uint32_t length, std::uint32_t address,
                                   std::uint32_t dataLow, std::uint32_t dataHigh, bool last);
    void EndAccessLocked();
    void QueueReplyLocked(std::uint32_t command, std::uint32_t space, std::uint32_t length,
                          std::uint32_t address, const std::uint8_t* data);
    void ClearMailboxDataLocked();
    std::uint32_t ConfigDwordLocked(std::uint32_t offset) const;

    const ControllerConfig config_;
    IClock& clock_;
    const std::uint32_t xdataSize_;

    mutable std::mutex mutex_;
    std::condition_variable_any hangCv_;

    SimFlash flash_;
    std::array<std::uint8_t, kConfigBytes> configSpace_{};
    std::vector<std::uint8_t> xdata_;
    std::array<std::uint8_t, kFwInfoBytes> fwInfo_{};
    SimXhci xhci_;
    SimPortFirmware portFirmware_;
    std::uint8_t spiMode_ = 0;
    Section section_;
    bool endAccessArmed_ = false;
    std::uint64_t rebootCount_ = 0;
    std::string lastWriteBackError_;

    std::deque<Reply> replies_;
    WriteState writeState_ = WriteState::kNone;
    std::uint64_t commandCount_ = 0;
    std::deque<CommandRecord> commands_;  // the newest kMaxCommandLog commands

    // Faults; command numbers are absolute values of commandCount_.
    std::vector<std::uint64_t> failAtNumber_;
    std::vector<FailAtRule> failAtRules_;
    std::optional<std::uint64_t> hangAtNumber_;
    std::optional<std::uint64_t> offBusAtNumber_;
    std::vector<FlipOnReadRule> flipRules_;
    bool hanging_ = false;
    bool offBus_ = false;
    std::uint64_t hangGeneration_ = 0;  // raised to release the callers blocked now
    int hangWaiters_ = 0;
    bool shuttingDown_ = false;
};

}  // namespace qnl::sim
