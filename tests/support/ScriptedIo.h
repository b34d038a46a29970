// A scripted I/O library for protocol tests: records every call in order and answers from
// simple tables (configuration space, reply records, per-command results).
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "qnlio/IQnlIo.h"

namespace qnl::test {

class ScriptedIo : public IQnlIo {
  public:
    std::vector<std::string> calls;  // "WriteCmdALL 40 04 8 f38c 0 0", "PCI_Read_BYTE f0", ...

    std::map<std::uint32_t, std::uint32_t> configDwords;  // key: bus<<16|dev<<8|fn<<... see Key()
    std::map<std::uint32_t, std::uint8_t> configBytes;    // offset -> byte (any function)
    std::deque<std::array<std::uint8_t, 44>> replies;     // served by ReadCMD in order
    std::deque<std::int32_t> writeCmdResults;             // consumed per WriteCmdALL (default 0)
    std::deque<std::int32_t> waitReadResults;  // consumed per Wait_Read_Ready (default 0)
    std::uint32_t loadResult = 1;

    static std::uint32_t Key(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                             std::uint32_t offset) {
        return (bus & 0xFF) << 24 | (device & 0x1F) << 16 | (function & 7) << 12 | (offset & 0xFFF);
    }
    int CountCalls(const std::string& prefix) const;

    std::uint32_t LoadQnlIODriver() override;
    void UnloadQnlIODriver() override;
    std::uint32_t PCI_Read_DWORD(std::uint32_t b, std::uint32_t d, std::uint32_t f,
                                 std::uint32_t o) override;
    std::uint8_t PCI_Read_BYTE(std::uint32_t b, std::uint32_t d, std::uint32_t f,
                               std::uint32_t o) override;
    void PCI_Write_DWORD(std::uint32_t b, std::uint32_t d, std::uint32_t f, std::uint32_t o,
                         std::uint32_t v) override;
    void PCI_Write_Byte(std::uint32_t b, std::uint32_t d, std::uint32_t f, std::uint32_t o,
                        std::uint32_t v) override;
    MappedAddress MapQnlIO(std::uint32_t, std::uint32_t) override { return 0; }
    void UnmapQnlIO(MappedAddress, std::uint32_t) override {}
    std::int32_t ReadMEM(MappedAddress, std::uint32_t, std::uint32_t*) override { return -1; }
    std::int32_t WriteMEM(MappedAddress, std::uint32_t, const std::uint32_t*) override {
        return -1;
    }
    std::int32_t WriteCmdALL(std::uint32_t b, std::uint32_t d, std::uint32_t f,
                             std::uint32_t command, std::uint32_t space, std::uint32_t length,
                             std::uint32_t address, std::uint32_t low, std::uint32_t high) override;
    std::int32_t Wait_Write_Ready(std::uint32_t b, std::uint32_t d, std::uint32_t f) override;
    std::int32_t Wait_Read_Ready(std::uint32_t b, std::uint32_t d, std::uint32_t f) override;
    std::int32_t ReadCMD(std::uint32_t b, std::uint32_t d, std::uint32_t f,
                         std::uint8_t* reply) override;
};

// A reply record carrying 8 data bytes at bytes 12..19.
std::array<std::uint8_t, 44> ReplyWithData(std::initializer_list<std::uint8_t> data);

}  // namespace qnl::test
