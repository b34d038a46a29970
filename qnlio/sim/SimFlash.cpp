#include "qnlio/sim/SimFlash.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "qnlio/MailboxProtocol.h"

namespace qnl::sim {
namespace {

namespace fs = std::filesystem;
constexpr std::uint8_t kErased = 0xFF;

}  // namespace

SimFlash::SimFlash(FlashChipModel chip, std::array<std::uint8_t, 3> idBytes, std::uint8_t status,
                   std::string path, IClock& clock)
    : chip_(std::move(chip)),
      idBytes_(idBytes),
      clock_(clock),
      status_(status & chip_.StatusWritableMask()),
      path_(std::move(path)),
      data_(chip_.capacityBytes, kErased) {
    if (data_.empty() || chip_.sectorBytes == 0)
        throw StationError("flash file " + path_ + ": no flash chip");
    std::error_code ec;
    if (!fs::exists(path_, ec)) {
        // A new chip comes erased; the file exists from now on so that a second station sees it.
        dirty_ = true;
        std::string error;
        if (!WriteBack(error)) throw StationError(error);
        return;
    }
    const std::uintmax_t size = fs::file_size(path_, ec);
    if (ec || size != data_.size()) {
        throw StationError("flash file " + path_ + ": has " +
                           (ec ? std::string("an unreadable size") : std::to_string(size)) +
                           " bytes but the flash part holds " + std::to_string(data_.size()));
    }
    std::ifstream in(path_, std::ios::binary);
    in.read(reinterpret_cast<char*>(data_.data()), static_cast<std::streamsize>(data_.size()));
    if (!in || in.gcount() != static_cast<std::streamsize>(data_.size())) {
        throw StationError("flash file " + path_ + ": cannot be read");
    }
}

bool SimFlash::Busy() const {
    return NowUs() < busyUntilUs_;
}

std::uint8_t SimFlash::Status() const {
    return static_cast<std::uint8_t>((status_ & chip_.StatusWritableMask()) |
                                     (wel_ ? kStatusWel : 0) | (Busy() ? kStatusWip : 0));
}

void SimFlash::ReadId(std::uint8_t opcode, std::uint32_t addressBytes, std::uint8_t* out,
                      std::size_t length) const {
    const bool answers =
        !Busy() && opcode == chip_.idOpcode && addressBytes == chip_.idAddressBytes;
    for (std::size_t i = 0; i < length; ++i) out[i] = answers ? idBytes_[i % 3] : kErased;
}

bool SimFlash::Read(std::uint32_t address, std::uint8_t* out, std::size_t length) const {
    if (address > data_.size() || length > data_.size() - address) return false;
    if (Busy()) {
        std::fill_n(out, length, kErased);
    } else {
        std::copy_n(data_.begin() + address, length, out);
    }
    return true;
}

void SimFlash::Opcode(std::uint8_t opcode) {
    if (Busy()) return;
    if (opcode == mailbox::SPI_WRITE_ENABLE) wel_ = true;
    if (opcode == mailbox::SPI_WRITE_DISABLE) wel_ = false;
}

void SimFlash::WriteStatus(std::uint8_t value) {
    if (Busy() || !wel_) return;  // the chip ignores a status write without the latch
    status_ = value & chip_.StatusWritableMask();
    wel_ = false;
    busyUntilUs_ = NowUs() + std::uint64_t{chip_.statusWriteMs} * 1000;
}

bool SimFlash::Erase(std::uint8_t opcode, std::uint32_t address, std::uint32_t stepBytes,
                     std::uint32_t count) {
    if (Protected() || address >= data_.size() || stepBytes == 0) return false;
    const std::uint32_t sector = chip_.sectorBytes;
    std::uint64_t erased = 0;
    std::uint32_t at = address / stepBytes * stepBytes;
    for (std::uint32_t i = 0; i < count && at < Capacity(); ++i, at += stepBytes) {
        // A step larger than the chip's sector still reaches only the sector holding the
        // address sent; one smaller erases that whole sector.
        if (opcode != chip_.sectorEraseOpcode) continue;
        const std::uint32_t start = at / sector * sector;
        const std::uint32_t end = std::min<std::uint32_t>(start + sector, Capacity());
        std::fill(data_.begin() + start, data_.begin() + end, kErased);
        dirty_ = true;
        ++erased;
    }
    if (erased > 0) {
        // The microcontroller waits for a running erase or status write before its first sector.
        busyUntilUs_ = std::max(busyUntilUs_, NowUs()) + erased * chip_.sectorEraseMs * 1000;
    }
    return true;
}

bool SimFlash::Program(std::uint32_t address, const std::uint8_t* data, std::size_t length) {
    if (Protected()) return false;
    if (address > data_.size() || length > data_.size() - address) return false;
    const std::uint64_t now = NowUs();
    if (busyUntilUs_ > now + kProgramPollUs) return true;  // still erasing: ignored
    for (std::size_t i = 0; i < length; ++i) data_[address + i] &= data[i];
    dirty_ = true;
    // The microcontroller polls the busy bit after the group too; a chip slower than its poll
    // stays busy into the next command.
    if (chip_.programUs > kProgramPollUs) busyUntilUs_ = now + chip_.programUs - kProgramPollUs;
    return true;
}

bool SimFlash::SetContents(const std::vector<std::uint8_t>& data) {
    if (data.size() > data_.size()) return false;
    std::copy(data.begin(), data.end(), data_.begin());
    std::fill(data_.begin() + static_cast<std::ptrdiff_t>(data.size()), data_.end(), kErased);
    dirty_ = true;
    return true;
}

bool SimFlash::WriteBack(std::string& error) {
    if (!dirty_) return true;
    const std::string temp = path_ + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data_.data()),
                  static_cast<std::streamsize>(data_.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(temp, ignored);
            error = "flash file " + path_ + ": cannot write " + temp;
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, path_, ec);
    if (ec) {
        error = "flash file " + path_ + ": cannot replace it (" + ec.message() + ")";
        fs::remove(temp, ec);
        return false;
    }
    dirty_ = false;
    return true;
}

}  // namespace qnl::sim
