// Shared pieces of the simulated-station tests: a temporary folder, station construction from
// JSON text, an independent builder of flash boot images, and the host side of the mailbox
// exchanges written out step by step.
#pragma once

#include "support/TestImage.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "qnlio/MailboxProtocol.h"
#include "qnlio/sim/SimStation.h"

namespace qnl::sim::simtest {

namespace fs = std::filesystem;

class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "qnl-simtest-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    std::string Write(const std::string& name, const std::string& text) const {
        std::ofstream(path_ / name, std::ios::binary) << text;
        return File(name);
    }
    std::size_t EntryCount() const {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(path_)) ++n;
        return n;
    }

  private:
    fs::path path_;
};

inline std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A station from JSON text written as station.json into `folder`. Fails the test on a parse error.
inline std::unique_ptr<SimStation> MakeStation(const TempFolder& folder, const std::string& json,
                                               IClock& clock) {
    const std::string path = folder.Write("station.json", json);
    std::string error;
    auto config = LoadStationFile(path, error);
    if (!config) {
        ADD_FAILURE() << error;
        return nullptr;
    }
    return std::make_unique<SimStation>(std::move(*config), clock);
}

// ---- Flash images --------------------------------------------------------------------------

using Entry = test::TestEntry;

// A valid image (see tests/support/TestImage.h).
inline std::vector<std::uint8_t> BuildImage(int kind, std::array<std::uint8_t, 6> version,
                                            const std::vector<Entry>& entries = {},
                                            std::uint32_t codeSize = 256) {
    return test::BuildTestImage(kind, version, entries, codeSize);
}

// ---- Host side of the mailbox ----------------------------------------------------------------

struct Address {
    std::uint32_t bus, device, function;
};

// Post-and-wait: the command, then Wait_Write_Ready.
inline std::int32_t Post(IQnlIo& io, Address a, std::uint32_t command, std::uint32_t space,
                         std::uint32_t length, std::uint32_t address, std::uint32_t dataLow = 0,
                         std::uint32_t dataHigh = 0) {
    std::int32_t r = io.WriteCmdALL(a.bus, a.device, a.function, command, space, length, address,
                                    dataLow, dataHigh);
    if (r < 0) return r;
    return io.Wait_Write_Ready(a.bus, a.device, a.function);
}

// One memory read as the tool makes it: 8-byte reads from the second reply record, shorter ones
// from configuration bytes 0xF0.. followed by the acknowledge in 0xE0.
inline std::int32_t ReadMemory(IQnlIo& io, Address a, std::uint32_t space, std::uint32_t address,
                               std::uint32_t length, std::uint8_t* out, std::uint32_t dataLow = 0) {
    using namespace qnl::mailbox;
    std::int32_t r = io.WriteCmdALL(a.bus, a.device, a.function, CMD_MEM_READ, space, length,
                                    address, dataLow, 0);
    if (r < 0) return r;
    if ((r = io.Wait_Read_Ready(a.bus, a.device, a.function)) < 0) return r;
    std::array<std::uint8_t, kReplyRecordBytes> reply{};
    io.ReadCMD(a.bus, a.device, a.function, reply.data());
    if ((r = io.Wait_Read_Ready(a.bus, a.device, a.function)) < 0) return r;
    if (length == 8) {
        reply.fill(0);
        io.ReadCMD(a.bus, a.device, a.function, reply.data());
        std::copy_n(reply.begin() + REPLY_DATA_OFFSET, 8, out);
    } else {
        for (std::uint32_t i = 0; i < length; ++i) {
            out[i] = io.PCI_Read_BYTE(a.bus, a.device, a.function, CFG_MAILBOX_DATA0 + i);
        }
        io.PCI_Write_Byte(a.bus, a.device, a.function, CFG_MAILBOX_CONTROL, 1);
    }
    return 0;
}

// Packs bytes into the two data words, little-endian.
inline std::pair<std::uint32_t, std::uint32_t> Pack(const std::uint8_t* bytes, std::size_t n) {
    std::uint32_t low = 0, high = 0;
    for (std::size_t i = 0; i < n && i < 8; ++i) {
        (i < 4 ? low : high) |= std::uint32_t{bytes[i]} << (8 * (i % 4));
    }
    return {low, high};
}

// The two data words of a CMD_SPI_ERASE that erases sectors of `chip` the way the chip itself
// is built (its sector size and sector-erase opcode), whatever the tool's table says.
inline std::pair<std::uint32_t, std::uint32_t> EraseWords(const FlashChipModel& chip) {
    return {(chip.sectorBytes / 4096) << 24, std::uint32_t{chip.sectorEraseOpcode} << 8};
}

inline std::int32_t WriteXdata(IQnlIo& io, Address a, std::uint32_t address,
                               const std::vector<std::uint8_t>& bytes) {
    const auto [low, high] = Pack(bytes.data(), bytes.size());
    return Post(io, a, qnl::mailbox::CMD_MEM_WRITE, qnl::mailbox::SPACE_XDATA,
                static_cast<std::uint32_t>(bytes.size()), address, low, high);
}

inline std::int32_t EndFlashAccess(IQnlIo& io, Address a, int kind) {
    std::int32_t r = WriteXdata(io, a, qnl::mailbox::XDATA_END_ACCESS_1[kind], {0x02});
    if (r < 0) return r;
    return WriteXdata(io, a, qnl::mailbox::XDATA_END_ACCESS_2[kind], {0x01});
}

}  // namespace qnl::sim::simtest
