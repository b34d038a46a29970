// One SPI flash chip, as the controller's microcontroller sees it.
//
// The chip has a status register (bit 0 busy, WIP; bit 1 write-enable latch; its block-protection
// bits, BP0..BP2 or fewer; bit 7 status-register protect), answers its ID opcode with its three
// ID bytes, erases whole sectors of its own sector size and programs by clearing bits only, so a
// write over unerased data yields the AND of old and new and shows up in a verify. While any BP
// bit is set the whole array is write-protected.
//
// Erase, program and status write take the chip's time on the station clock. While it is busy the
// chip answers only a status read: every other command is ignored (an erase, a program, a
// write-enable or a status write does nothing, a data or ID read sees the bus at 0xFF), as real
// parts do.
//
// The contents live in a file of exactly the chip's capacity. It is read once at power-on (and
// created erased when missing) and written back, through a temporary file and a rename, only when
// something changed since the last write-back.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "qnlio/sim/SimFlashChips.h"

namespace qnl::sim {

// A station that cannot be brought up (flash file unreadable, of the wrong size, or not
// creatable). The message names the file and the problem.
class StationError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class SimFlash {
  public:
    static constexpr std::uint8_t kStatusWip = 0x01;
    static constexpr std::uint8_t kStatusWel = 0x02;
    // How long the microcontroller polls the busy bit before it sends a program group: long
    // enough for the previous group to finish, far too short for an erase.
    static constexpr std::uint64_t kProgramPollUs = 5000;

    // Loads `path`, or creates it erased when it does not exist. Throws StationError.
    SimFlash(FlashChipModel chip, std::array<std::uint8_t, 3> idBytes, std::uint8_t status,
             std::string path, IClock& clock);

    const FlashChipModel& Chip() const { return chip_; }
    std::uint32_t Capacity() const { return static_cast<std::uint32_t>(data_.size()); }
    const std::string& Path() const { return path_; }

    // SPI identification: the chip answers only its own ID opcode followed by the number of
    // address bytes it expects; anything else it ignores, and the bus reads 0xFF. Bytes past the
    // third repeat the ID, as the chips do while the clock keeps running.
    void ReadId(std::uint8_t opcode, std::uint32_t addressBytes, std::uint8_t* out,
                std::size_t length) const;
    // False when the range runs past the end of the chip. A busy chip leaves the bus at 0xFF.
    bool Read(std::uint32_t address, std::uint8_t* out, std::size_t length) const;

    // A bare opcode: write enable / write disable. Other opcodes are ignored.
    void Opcode(std::uint8_t opcode);
    // Write-status: accepted only while the write-enable latch is set; clears the latch and
    // keeps the chip busy for its status-write time.
    void WriteStatus(std::uint8_t value);
    std::uint8_t Status() const;
    bool Protected() const { return (status_ & chip_.bpMask) != 0; }
    bool Busy() const;

    // The microcontroller's erase of `count` sectors of `stepBytes` from the one holding
    // `address`, sending `opcode` for each and polling the busy bit between them (and before the
    // first, so an erase waits for a running one). The chip erases its own sector on its own
    // sector-erase opcode and ignores another; it is busy for its erase time per sector erased.
    // False when protected or the address is past the end.
    bool Erase(std::uint8_t opcode, std::uint32_t address, std::uint32_t stepBytes,
               std::uint32_t count);
    // One program group (page program, or AAI words): new = old AND data. The microcontroller
    // polls the busy bit for at most kProgramPollUs first; a chip still busy then (an erase that
    // has not finished) ignores the program. False when protected or past the end.
    bool Program(std::uint32_t address, const std::uint8_t* data, std::size_t length);

    std::span<const std::uint8_t> Data() const { return data_; }
    // Test access: the bytes from address 0, the rest erased. False when longer than the chip.
    std::vector<std::uint8_t> Contents() const { return data_; }
    bool SetContents(const std::vector<std::uint8_t>& data);

    bool Dirty() const { return dirty_; }
    // Writes the file when the contents changed. On failure returns false with `error` set; the
    // contents stay dirty so a later write-back tries again.
    bool WriteBack(std::string& error);

  private:
    std::uint64_t NowUs() const { return clock_.NowUs(); }

    const FlashChipModel chip_;
    std::array<std::uint8_t, 3> idBytes_;
    IClock& clock_;
    std::uint8_t status_;
    std::uint64_t busyUntilUs_ = 0;
    bool wel_ = false;
    std::string path_;
    std::vector<std::uint8_t> data_;
    bool dirty_ = false;
};

}  // namespace qnl::sim
