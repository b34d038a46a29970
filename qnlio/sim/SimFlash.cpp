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

SimFlash::SimFlash(const FlashPart& part, std::array<std::uint8_t, 3> idBytes, std::uint8_t status,
                   std::string path)
    : part_(part),
      idBytes_(idBytes),
      status_(status & kStatusWritable),
      path_(std::move(path)),
      data_(part.CapacityBytes(), kErased) {
    if (part.IsNone() || data_.empty())
        throw StationError("flash file " + path_ + ": no flash part");
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

void SimFlash::ReadId(std::uint8_t opcode, std::uint32_t addressBytes, std::uint8_t* out,
                      std::size_t length) const {
    const bool answers = opcode == part_.IdOpcode() && addressBytes == part_.IdAddressBytes();
    for (std::size_t i = 0; i < length; ++i) out[i] = answers ? idBytes_[i % 3] : kErased;
}

bool SimFlash::Read(std::uint32_t address, std::uint8_t* out, std::size_t length) const {
    if (address > data_.size() || length > data_.size() - address) return false;
    std::copy_n(data_.begin() + address, length, out);
    return true;
}

void SimFlash::Opcode(std::uint8_t opcode) {
    if (opcode == mailbox::SPI_WRITE_ENABLE) wel_ = true;
    if (opcode == mailbox::SPI_WRITE_DISABLE) wel_ = false;
}

void SimFlash::WriteStatus(std::uint8_t value) {
    if (!wel_) return;  // the chip ignores a status write without the latch
    status_ = value & kStatusWritable;
    wel_ = false;
}

bool SimFlash::EraseSector(std::uint8_t opcode, std::uint32_t address) {
    if (Protected() || address >= data_.size()) return false;
    if (opcode != part_.SectorEraseOpcode()) return true;
    const std::uint32_t sector = part_.SectorSizeBytes();
    const std::uint32_t start = address / sector * sector;
    const std::uint32_t end = std::min<std::uint32_t>(start + sector, Capacity());
    std::fill(data_.begin() + start, data_.begin() + end, kErased);
    dirty_ = true;
    return true;
}

bool SimFlash::Program(std::uint32_t address, const std::uint8_t* data, std::size_t length) {
    if (Protected()) return false;
    if (address > data_.size() || length > data_.size() - address) return false;
    for (std::size_t i = 0; i < length; ++i) data_[address + i] &= data[i];
    dirty_ = true;
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
