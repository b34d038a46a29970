// The controller maker's I/O library, as one abstract interface.
//
// Fourteen operations, each taking 32-bit arguments and giving the results the rest of the
// tool relies on. Backends (the simulated station, the Linux backend, a shared library that
// exports the same fourteen functions) implement it; the core sees nothing else of them.
#pragma once

#include <cstdint>

namespace qnl {

// A mapped 4 KB register window. On the maker's 32-bit library this is a plain address; here
// it is an opaque handle that only the backend that produced it can interpret.
using MappedAddress = std::uintptr_t;

// Size of a reply record filled by ReadCMD. Callers pass a buffer of at least this many bytes.
inline constexpr std::uint32_t kReplyRecordBytes = 44;

class IQnlIo {
public:
    virtual ~IQnlIo() = default;

    // Nonzero when the driver is ready, 0 on failure.
    virtual std::uint32_t LoadQnlIODriver() = 0;
    virtual void UnloadQnlIODriver() = 0;

    // Configuration space. Only the low 8 bits of bus, device and function count.
    virtual std::uint32_t PCI_Read_DWORD(std::uint32_t bus, std::uint32_t device,
                                         std::uint32_t function, std::uint32_t offset) = 0;
    virtual std::uint8_t PCI_Read_BYTE(std::uint32_t bus, std::uint32_t device,
                                       std::uint32_t function, std::uint32_t offset) = 0;
    virtual void PCI_Write_DWORD(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                                 std::uint32_t offset, std::uint32_t value) = 0;
    virtual void PCI_Write_Byte(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                                std::uint32_t offset, std::uint32_t value) = 0;

    // Physical memory: a 4 KB window (size 0x1000) over the xHCI registers. MapQnlIO returns 0
    // when the window cannot be mapped.
    virtual MappedAddress MapQnlIO(std::uint32_t physicalAddress, std::uint32_t size) = 0;
    virtual void UnmapQnlIO(MappedAddress address, std::uint32_t size) = 0;
    // Width is 1 (one byte). 0 = success.
    virtual std::int32_t ReadMEM(MappedAddress address, std::uint32_t width,
                                 std::uint32_t* result) = 0;
    virtual std::int32_t WriteMEM(MappedAddress address, std::uint32_t width,
                                  const std::uint32_t* value) = 0;

    // Microcontroller mailbox. Negative results are error codes that callers pass up unchanged.
    virtual std::int32_t WriteCmdALL(std::uint32_t bus, std::uint32_t device,
                                     std::uint32_t function, std::uint32_t command,
                                     std::uint32_t space, std::uint32_t length,
                                     std::uint32_t address, std::uint32_t dataLow,
                                     std::uint32_t dataHigh) = 0;
    virtual std::int32_t Wait_Write_Ready(std::uint32_t bus, std::uint32_t device,
                                          std::uint32_t function) = 0;
    virtual std::int32_t Wait_Read_Ready(std::uint32_t bus, std::uint32_t device,
                                         std::uint32_t function) = 0;
    // Fills kReplyRecordBytes bytes of reply; its result is not used by callers.
    virtual std::int32_t ReadCMD(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                                 std::uint8_t* reply) = 0;
};

}  // namespace qnl
