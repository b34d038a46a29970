// The controller's PCI function, microcontroller and mailbox. Flash commands are in
// SimControllerFlash.cpp.
#include "qnlio/sim/SimController.h"

#include <algorithm>

#include "platform/Cancellation.h"
#include "qnlio/MailboxProtocol.h"
#include "qnlio/sim/BootImage.h"

namespace qnl::sim {

using namespace qnl::mailbox;

namespace {

constexpr std::uint32_t kXdataBytes[2] = {0x10000, 0x20000};
// The ROM leaves bit 2 of this byte set; the tool clears it once it has found the controller.
constexpr std::uint8_t kF3B4ResetValue = 0x04;
constexpr std::uint8_t kControlDataValid = 0x01;

// Configuration registers (byte offsets).
constexpr std::uint32_t kCfgCommand = 0x04;
constexpr std::uint32_t kCfgRevision = 0x08;
constexpr std::uint32_t kCfgCacheLine = 0x0C;
constexpr std::uint32_t kCfgLatency = 0x0D;
constexpr std::uint32_t kCfgSubsystem = 0x2C;
constexpr std::uint32_t kCfgInterruptLine = 0x3C;
constexpr std::uint32_t kCfgInterruptPin = 0x3D;
constexpr std::uint32_t kLastDwordOffset = 0xFC;
// BAR0 claims 64 KB: its low 16 bits read back 0 (the flag bits say 32-bit, non-prefetchable).
constexpr std::uint32_t kBar0WritableMask = 0xFFFF0000;
// Command register: I/O, memory, bus master, parity, SERR, interrupt disable.
constexpr std::uint16_t kCommandWritableMask = 0x0547;

void PutLe(std::uint8_t* at, std::uint32_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

SimController::SimController(const ControllerConfig& config, IClock& clock)
    : config_(config),
      clock_(clock),
      xdataSize_(kXdataBytes[config.kind == 1 ? 1 : 0]),
      flash_(config.flashChip, config.flashId, config.flashStatus, config.flashPath, clock),
      xhci_(config_, clock),
      portFirmware_(config_, xhci_, xdata_, clock) {
    xhci_.SetLinkListener([this](std::uint32_t port, bool up, bool superSpeedPlus) {
        portFirmware_.OnLinkChange(port, up, superSpeedPlus);
    });
    PutLe(&configSpace_[0], (std::uint32_t{config_.deviceId} << 16) | config_.vendorId, 4);
    PutLe(&configSpace_[kCfgCommand], 0x0006, 2);  // memory space and bus master on
    configSpace_[kCfgRevision] = 0x01;
    PutLe(&configSpace_[kCfgRevision + 1], kClassCodeXhci, 3);
    PutLe(&configSpace_[CFG_BAR0], config_.bar0 & kBar0WritableMask, 4);
    configSpace_[kCfgInterruptLine] = 0xFF;
    configSpace_[kCfgInterruptPin] = 0x01;

    const FaultConfig& faults = config_.faults;
    if (faults.failCommand) failAtNumber_.push_back(*faults.failCommand);
    failAtRules_ = faults.failAt;
    hangAtNumber_ = faults.hangFromCommand;
    if (faults.offBusAtCommand) {
        if (*faults.offBusAtCommand == 0) {
            offBus_ = true;
        } else {
            offBusAtNumber_ = faults.offBusAtCommand;
        }
    }
    flipRules_ = faults.flipOnRead;

    Lock lock(mutex_);
    BootLocked();
}

SimController::~SimController() {
    Lock lock(mutex_);
    shuttingDown_ = true;
    hangCv_.notify_all();
    hangCv_.wait(lock, [this] { return hangWaiters_ == 0; });
    std::string ignored;  // nobody is left to tell; the station reports write-back errors earlier
    flash_.WriteBack(ignored);
}

// ---- Boot ----------------------------------------------------------------------------------

void SimController::BootLocked() {
    const int kind = config_.kind;
    xdata_.assign(xdataSize_, 0);
    fwInfo_.fill(0);
    spiMode_ = 0;
    section_ = {};
    endAccessArmed_ = false;
    ++rebootCount_;

    // What the ROM sets before it looks at the flash.
    PutLe(&xdata_[XDATA_SVID[kind]], config_.defaultSvid, 2);
    PutLe(&xdata_[XDATA_SSID[kind]], config_.defaultSsid, 2);
    if (kind == 0) xdata_[XDATA_PCIE_LINK] = config_.pcieLink;
    std::copy(config_.chipSignature.begin(), config_.chipSignature.end(),
              xdata_.begin() + XDATA_CHIP_SIGNATURE[kind]);
    xdata_[XDATA_F3B4] = kF3B4ResetValue;
    portFirmware_.OnBoot();

    if (auto image = ParseBootImage(flash_.Data(), kind)) {
        std::copy(image->version.begin(), image->version.end(),
                  fwInfo_.begin() + FWINFO_VERSION_ADDRESS);
        const std::uint32_t base = kind == 1 ? KIND1_CONFIG_BASE : 0;
        for (const ConfigEntry& entry : image->entries) {
            const std::uint32_t width = entry.width;
            const std::uint32_t target = base + entry.address;
            if (width != 1 && width != 2 && width != 4) continue;
            if (target + width > xdataSize_) continue;
            PutLe(&xdata_[target], entry.value, width);
        }
    }
    // The function's subsystem IDs are loaded from data memory once boot is done.
    std::copy_n(xdata_.begin() + XDATA_SVID[kind], 2, configSpace_.begin() + kCfgSubsystem);
    std::copy_n(xdata_.begin() + XDATA_SSID[kind], 2, configSpace_.begin() + kCfgSubsystem + 2);
}

void SimController::EndAccessLocked() {
    std::string error;
    if (!flash_.WriteBack(error)) lastWriteBackError_ = error;
    BootLocked();
}

// ---- Configuration space ---------------------------------------------------------------------

std::uint32_t SimController::ConfigDwordLocked(std::uint32_t offset) const {
    std::uint32_t value = 0;
    for (std::uint32_t i = 0; i < 4; ++i)
        value |= std::uint32_t{configSpace_[offset + i]} << (8 * i);
    return value;
}

std::uint32_t SimController::ConfigRead32(std::uint32_t offset) {
    Lock lock(mutex_);
    if (offBus_ || offset > kLastDwordOffset + 3) return 0xFFFFFFFF;
    return ConfigDwordLocked(offset & ~3u);  // configuration cycles are dword-aligned
}

std::uint8_t SimController::ConfigRead8(std::uint32_t offset) {
    Lock lock(mutex_);
    if (offBus_ || offset >= kConfigBytes) return 0xFF;
    return configSpace_[offset];
}

void SimController::ConfigWrite32(std::uint32_t offset, std::uint32_t value) {
    if (offset > kLastDwordOffset + 3) return;
    offset &= ~3u;
    for (std::uint32_t i = 0; i < 4; ++i) {
        ConfigWrite8(offset + i, static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

void SimController::ConfigWrite8(std::uint32_t offset, std::uint8_t value) {
    Lock lock(mutex_);
    if (offBus_ || offset >= kConfigBytes) return;
    auto merge = [&](std::uint8_t mask) {
        configSpace_[offset] =
            static_cast<std::uint8_t>((configSpace_[offset] & ~mask) | (value & mask));
    };
    if (offset == CFG_MAILBOX_CONTROL) {
        // Any write ends the current short reply; bit 0 is the host's acknowledge.
        ClearMailboxDataLocked();
        if (value & kControlDataValid) replies_.clear();
    } else if (offset >= CFG_MAILBOX_DATA0) {
        configSpace_[offset] = value;
    } else if (offset == kCfgCommand) {
        merge(static_cast<std::uint8_t>(kCommandWritableMask & 0xFF));
    } else if (offset == kCfgCommand + 1) {
        merge(static_cast<std::uint8_t>(kCommandWritableMask >> 8));
    } else if (offset >= CFG_BAR0 && offset < CFG_BAR0 + 4) {
        merge(static_cast<std::uint8_t>(kBar0WritableMask >> (8 * (offset - CFG_BAR0))));
    } else if (offset == kCfgCacheLine || offset == kCfgLatency || offset == kCfgInterruptLine) {
        configSpace_[offset] = value;
    }
    // Everything else is read-only.
}

std::uint32_t SimController::RegisterBase() {
    Lock lock(mutex_);
    return ConfigDwordLocked(CFG_BAR0) & ~0xFu;
}

void SimController::ClearMailboxDataLocked() {
    configSpace_[CFG_MAILBOX_CONTROL] = 0;
    std::fill(configSpace_.begin() + CFG_MAILBOX_DATA0, configSpace_.end(), 0);
}

// ---- Mailbox ---------------------------------------------------------------------------------

bool SimController::MailboxAnswersLocked() const {
    return !offBus_;
}

std::int32_t SimController::HangLocked(Lock& lock) {
    // The microcontroller has stopped answering. The caller waits until its own stop token is
    // requested (its supervisor gave up) or the fault is cleared; the wait releases mutex_, so
    // other threads can still inspect and clear this controller.
    const std::uint64_t generation = hangGeneration_;
    ++hangWaiters_;
    hangCv_.wait(lock, CurrentStopToken(),
                 [&] { return shuttingDown_ || hangGeneration_ != generation; });
    --hangWaiters_;
    hangCv_.notify_all();
    return kMailboxTimedOut;
}

bool SimController::InjectedFailureLocked(std::uint32_t command, std::uint32_t address) {
    auto nth = std::find(failAtNumber_.begin(), failAtNumber_.end(), commandCount_);
    if (nth != failAtNumber_.end()) {
        failAtNumber_.erase(nth);
        return true;
    }
    return std::any_of(failAtRules_.begin(), failAtRules_.end(), [&](const FailAtRule& rule) {
        return (!rule.command || *rule.command == command) && rule.address == address;
    });
}

std::int32_t SimController::WriteCmdAll(std::uint32_t command, std::uint32_t space,
                                        std::uint32_t length, std::uint32_t address,
                                        std::uint32_t dataLow, std::uint32_t dataHigh) {
    Lock lock(mutex_);
    if (!MailboxAnswersLocked()) return kMailboxTimedOut;
    ++commandCount_;
    CommandRecord record{command, space, length, address, dataLow, dataHigh, 0, clock_.NowUs()};
    auto log = [&](std::int32_t result) {
        record.result = result;
        commands_.push_back(record);
        if (commands_.size() > kMaxCommandLog) commands_.pop_front();
        return result;
    };

    if (offBusAtNumber_ && commandCount_ >= *offBusAtNumber_) {
        offBusAtNumber_.reset();
        offBus_ = true;
        return log(kMailboxTimedOut);
    }
    if (hangAtNumber_ && commandCount_ >= *hangAtNumber_) {
        hangAtNumber_.reset();
        hanging_ = true;
    }
    if (hanging_) {
        log(kMailboxTimedOut);
        return HangLocked(lock);
    }

    replies_.clear();  // replies nobody fetched belong to the previous command
    const std::int32_t result =
        InjectedFailureLocked(command, address)
            ? kMailboxIoError
            : ExecuteLocked(command, space, length, address, dataLow, dataHigh);
    writeState_ = result == kMailboxOk ? WriteState::kTaken : WriteState::kRefused;
    return log(result);
}

std::int32_t SimController::WaitWriteReady() {
    Lock lock(mutex_);
    if (!MailboxAnswersLocked()) return kMailboxTimedOut;
    if (hanging_) return HangLocked(lock);
    const WriteState state = writeState_;
    writeState_ = WriteState::kNone;
    switch (state) {
        case WriteState::kTaken:
            return kMailboxOk;
        case WriteState::kRefused:
            return kMailboxIoError;
        case WriteState::kNone:
            break;
    }
    return kMailboxTimedOut;
}

std::int32_t SimController::WaitReadReady() {
    Lock lock(mutex_);
    if (!MailboxAnswersLocked()) return kMailboxTimedOut;
    if (hanging_) return HangLocked(lock);
    return replies_.empty() ? kMailboxTimedOut : kMailboxOk;
}

std::int32_t SimController::ReadCmd(std::uint8_t* reply) {
    Lock lock(mutex_);
    if (!MailboxAnswersLocked()) {
        std::fill_n(reply, kReplyRecordBytes, 0xFF);
        return kMailboxTimedOut;
    }
    if (hanging_) return HangLocked(lock);
    if (replies_.empty()) {
        std::fill_n(reply, kReplyRecordBytes, 0);
        return kMailboxTimedOut;
    }
    std::copy(replies_.front().begin(), replies_.front().end(), reply);
    replies_.pop_front();
    return kMailboxOk;
}

void SimController::QueueReplyLocked(std::uint32_t command, std::uint32_t space,
                                     std::uint32_t length, std::uint32_t address,
                                     const std::uint8_t* data) {
    Reply ack{};
    ack[0] = static_cast<std::uint8_t>(command);
    ack[1] = static_cast<std::uint8_t>(space);
    ack[2] = static_cast<std::uint8_t>(length);
    ack[3] = 0;  // status: done
    PutLe(&ack[4], address, 4);
    Reply payload = ack;
    std::copy_n(data, length, payload.begin() + REPLY_DATA_OFFSET);
    replies_.push_back(ack);
    replies_.push_back(payload);
    if (length < 8) {
        ClearMailboxDataLocked();
        std::copy_n(data, length, configSpace_.begin() + CFG_MAILBOX_DATA0);
        configSpace_[CFG_MAILBOX_CONTROL] = kControlDataValid;
    }
}

std::int32_t SimController::ExecuteLocked(std::uint32_t command, std::uint32_t space,
                                          std::uint32_t length, std::uint32_t address,
                                          std::uint32_t dataLow, std::uint32_t dataHigh) {
    switch (command) {
        case CMD_MEM_READ:
            return MemoryReadLocked(space, length, address, dataLow);
        case CMD_MEM_WRITE:
            if (space != SPACE_XDATA) return kMailboxIoError;
            return MemoryWriteLocked(length, address, dataLow, dataHigh);
        case CMD_TEST:
            if (space != SPACE_XDATA) return kMailboxIoError;
            if (length != 1) return kMailboxInvalidParameter;
            return portFirmware_.StartSignalCheck(dataLow) ? kMailboxOk : kMailboxIoError;
        case CMD_SPI_MODE:
        case CMD_SPI_OPCODE:
        case CMD_SPI_WRSR:
        case CMD_SPI_READ_REG:
        case CMD_SPI_ERASE:
        case CMD_SECTION_BEGIN:
        case CMD_SECTION_BEGIN_AAI:
        case CMD_SECTION_DATA:
        case CMD_END:
            if (space != SPACE_SPI) return kMailboxIoError;
            return FlashCommandLocked(command, length, address, dataLow, dataHigh);
        default:
            return kMailboxIoError;
    }
}

std::int32_t SimController::MemoryReadLocked(std::uint32_t space, std::uint32_t length,
                                             std::uint32_t address, std::uint32_t dataLow) {
    if (length < 1 || length > 8) return kMailboxInvalidParameter;
    std::array<std::uint8_t, 8> data{};
    auto inside = [&](std::uint32_t size) { return address < size && length <= size - address; };
    switch (space) {
        case SPACE_XDATA:
            if (!inside(xdataSize_)) return kMailboxIoError;
            portFirmware_.Sync();
            std::copy_n(xdata_.begin() + address, length, data.begin());
            break;
        case SPACE_FWINFO:
            if (!inside(kFwInfoBytes)) return kMailboxIoError;
            std::copy_n(fwInfo_.begin() + address, length, data.begin());
            break;
        case SPACE_SPI:
            if (!flash_.Read(address, data.data(), length)) return kMailboxIoError;
            for (FlipOnReadRule& rule : flipRules_) {
                if (rule.times > 0 && rule.address >= address && rule.address - address < length) {
                    data[rule.address - address] ^= rule.mask;
                    --rule.times;
                }
            }
            std::erase_if(flipRules_, [](const FlipOnReadRule& rule) { return rule.times <= 0; });
            break;
        case SPACE_SPI_ID:
            // The address field counts the address bytes clocked out after the opcode.
            if (address > 4) return kMailboxInvalidParameter;
            flash_.ReadId(static_cast<std::uint8_t>(dataLow), address, data.data(), length);
            break;
        case SPACE_TEST_STATUS:
            if (address != 0) return kMailboxIoError;
            if (!portFirmware_.ReadCompletion(data[0])) return kMailboxIoError;  // still busy
            break;
        default:
            return kMailboxIoError;
    }
    QueueReplyLocked(CMD_MEM_READ, space, length, address, data.data());
    return kMailboxOk;
}

std::int32_t SimController::MemoryWriteLocked(std::uint32_t length, std::uint32_t address,
                                              std::uint32_t dataLow, std::uint32_t dataHigh) {
    if (length < 1 || length > 8) return kMailboxInvalidParameter;
    if (address >= xdataSize_ || length > xdataSize_ - address) return kMailboxIoError;
    std::array<std::uint8_t, 8> data{};
    PutLe(&data[0], dataLow, 4);
    PutLe(&data[4], dataHigh, 4);
    std::array<std::uint8_t, 8> before{};
    std::copy_n(xdata_.begin() + address, length, before.begin());
    portFirmware_.Sync();
    std::copy_n(data.begin(), length, xdata_.begin() + address);
    for (std::uint32_t i = 0; i < length; ++i) portFirmware_.AfterHostWrite(address + i, before[i]);

    // End of flash access: 0x02 to the first byte arms it, 0x01 to the second then makes the
    // microcontroller leave flash access and boot again from the flash.
    const int kind = config_.kind;
    auto covers = [&](std::uint32_t at) { return at >= address && at - address < length; };
    if (covers(XDATA_END_ACCESS_1[kind])) {
        endAccessArmed_ = xdata_[XDATA_END_ACCESS_1[kind]] == 0x02;
    }
    if (covers(XDATA_END_ACCESS_2[kind]) && xdata_[XDATA_END_ACCESS_2[kind]] == 0x01 &&
        endAccessArmed_) {
        EndAccessLocked();
    }
    return kMailboxOk;
}

// ---- Register window -------------------------------------------------------------------------

std::uint8_t SimController::RegisterRead(std::uint32_t offset) {
    Lock lock(mutex_);
    if (offBus_ || offset >= kRegisterWindowBytes) return 0xFF;
    return xhci_.ReadByte(offset);
}

void SimController::RegisterWrite(std::uint32_t offset, std::uint8_t value) {
    Lock lock(mutex_);
    if (offBus_ || offset >= kRegisterWindowBytes) return;
    xhci_.WriteByte(offset, value);
}

void SimController::SetRegisterTrace(RegisterTrace trace) {
    Lock lock(mutex_);
    xhci_.SetTrace(std::move(trace));
}

RootPortStatus SimController::PortStatus(std::uint32_t xhciPort) {
    Lock lock(mutex_);
    return xhci_.PortStatus(xhciPort);
}

void SimController::SetPortAttachment(std::uint32_t xhciPort, const UsbAttachment* attached) {
    Lock lock(mutex_);
    xhci_.SetAttachment(xhciPort, attached);
}

// ---- Persistence, inspection, faults ---------------------------------------------------------

bool SimController::WriteBackFlash(std::string& error) {
    Lock lock(mutex_);
    if (flash_.WriteBack(error)) return true;
    lastWriteBackError_ = error;
    return false;
}

std::string SimController::LastWriteBackError() const {
    Lock lock(mutex_);
    return lastWriteBackError_;
}

std::vector<std::uint8_t> SimController::FlashContents() const {
    Lock lock(mutex_);
    return flash_.Contents();
}

void SimController::SetFlashContents(const std::vector<std::uint8_t>& data) {
    Lock lock(mutex_);
    if (!flash_.SetContents(data)) {
        throw std::invalid_argument("SetFlashContents: " + std::to_string(data.size()) +
                                    " bytes do not fit a flash of " +
                                    std::to_string(flash_.Capacity()));
    }
}

bool SimController::FlashDirty() const {
    Lock lock(mutex_);
    return flash_.Dirty();
}

std::uint8_t SimController::XdataByte(std::uint32_t address) const {
    Lock lock(mutex_);
    return address < xdataSize_ ? xdata_[address] : 0xFF;
}

void SimController::SetXdataByte(std::uint32_t address, std::uint8_t value) {
    Lock lock(mutex_);
    if (address < xdataSize_) xdata_[address] = value;
}

std::array<std::uint8_t, 6> SimController::RunningVersion() const {
    Lock lock(mutex_);
    std::array<std::uint8_t, 6> version{};
    std::copy_n(fwInfo_.begin() + FWINFO_VERSION_ADDRESS, 6, version.begin());
    return version;
}

std::uint8_t SimController::FlashStatusRegister() const {
    Lock lock(mutex_);
    return flash_.Status();
}

bool SimController::FlashProtected() const {
    Lock lock(mutex_);
    return flash_.Protected();
}

std::uint8_t SimController::SpiMode() const {
    Lock lock(mutex_);
    return spiMode_;
}

void SimController::Reboot() {
    Lock lock(mutex_);
    BootLocked();
}

std::uint64_t SimController::RebootCount() const {
    Lock lock(mutex_);
    return rebootCount_;
}

bool SimController::OnBus() const {
    Lock lock(mutex_);
    return !offBus_;
}

std::uint64_t SimController::CommandCount() const {
    Lock lock(mutex_);
    return commandCount_;
}

std::vector<CommandRecord> SimController::Commands() const {
    Lock lock(mutex_);
    return {commands_.begin(), commands_.end()};
}

void SimController::ClearCommands() {
    Lock lock(mutex_);
    commands_.clear();
}

void SimController::FailNthCommand(std::uint64_t k) {
    Lock lock(mutex_);
    failAtNumber_.push_back(commandCount_ + std::max<std::uint64_t>(k, 1));
}

void SimController::FailCommandAt(std::optional<std::uint32_t> command, std::uint32_t address) {
    Lock lock(mutex_);
    failAtRules_.push_back({command, address});
}

void SimController::HangFromCommand(std::uint64_t k) {
    Lock lock(mutex_);
    hangAtNumber_ = commandCount_ + std::max<std::uint64_t>(k, 1);
}

void SimController::DropOffBusAtCommand(std::uint64_t k) {
    Lock lock(mutex_);
    if (k == 0) {
        offBus_ = true;
    } else {
        offBusAtNumber_ = commandCount_ + k;
    }
}

void SimController::FlipBitsOnFlashRead(std::uint32_t address, std::uint8_t mask, int times) {
    Lock lock(mutex_);
    if (times > 0 && mask != 0) flipRules_.push_back({address, mask, times});
}

void SimController::ClearFaults() {
    Lock lock(mutex_);
    failAtNumber_.clear();
    failAtRules_.clear();
    hangAtNumber_.reset();
    offBusAtNumber_.reset();
    flipRules_.clear();
    hanging_ = false;
    offBus_ = false;
    ++hangGeneration_;  // callers blocked in the hang give up with "timed out"
    hangCv_.notify_all();
}

}  // namespace qnl::sim
