// One SPI flash chip, as the controller's microcontroller sees it.
//
// The chip has a status register (bit 0 busy, always 0 here since every operation completes at
// once; bit 1 write-enable latch; bits 2..4 block protection BP0..BP2; bit 7 status-register
// protect), answers its ID opcode with its three ID bytes, erases whole sectors of its own sector
// size and programs by clearing bits only, so a write over unerased data yields the AND of old and
// new and shows up in a verify. While any BP bit is set the whole array is write-protected.
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

#include "qnlio/FlashPartTable.h"

namespace qnl::sim {

// A station that cannot be brought up (flash file unreadable, of the wrong size, or not
// creatable). The message names the file and the problem.
class StationError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class SimFlash {
  public:
    static constexpr std::uint8_t kStatusWel = 0x02;
    static constexpr std::uint8_t kStatusBpMask = 0x1C;
    static constexpr std::uint8_t kStatusSrwd = 0x80;
    static constexpr std::uint8_t kStatusWritable = kStatusBpMask | kStatusSrwd;

    // Loads `path`, or creates it erased when it does not exist. Throws StationError.
    SimFlash(const FlashPart& part, std::array<std::uint8_t, 3> idBytes, std::uint8_t status,
             std::string path);

    const FlashPart& Part() const { return part_; }
    std::uint32_t Capacity() const { return static_cast<std::uint32_t>(data_.size()); }
    const std::string& Path() const { return path_; }

    // SPI identification: the chip answers only its own ID opcode followed by the number of
    // address bytes it expects; anything else it ignores, and the bus reads 0xFF. Bytes past the
    // third repeat the ID, as the chips do while the clock keeps running.
    void ReadId(std::uint8_t opcode, std::uint32_t addressBytes, std::uint8_t* out,
                std::size_t length) const;
    // False when the range runs past the end of the chip.
    bool Read(std::uint32_t address, std::uint8_t* out, std::size_t length) const;

    // A bare opcode: write enable / write disable. Other opcodes are ignored.
    void Opcode(std::uint8_t opcode);
    // Write-status: accepted only while the write-enable latch is set; clears the latch.
    void WriteStatus(std::uint8_t value);
    std::uint8_t Status() const { return (status_ & kStatusWritable) | (wel_ ? kStatusWel : 0); }
    bool Protected() const { return (status_ & kStatusBpMask) != 0; }

    // Sector erase with `opcode` of the sector containing `address`. A chip erases only on its
    // own sector-erase opcode; another opcode does nothing (still "true": the chip gives no
    // answer to a command it does not know). False when protected or the address is past the end.
    bool EraseSector(std::uint8_t opcode, std::uint32_t address);
    // Page program: new = old AND data. False when protected or past the end.
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
    const FlashPart& part_;
    std::array<std::uint8_t, 3> idBytes_;
    std::uint8_t status_;
    bool wel_ = false;
    std::string path_;
    std::vector<std::uint8_t> data_;
    bool dirty_ = false;
};

}  // namespace qnl::sim
