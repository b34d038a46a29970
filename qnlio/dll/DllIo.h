// The `dll:<path>` backend: a shared library that exports the fourteen functions by name
// (the maker's own library on a Windows station, or any library built to the same exports).
#pragma once

#include <memory>
#include <string>

#include "qnlio/IQnlIo.h"
#include "qnlio/dll/QnlIoExports.h"

namespace qnl::dll {

class DllIo final : public IQnlIo {
  public:
    // Loads the library and resolves all fourteen functions. nullptr when the library cannot
    // be loaded or a function is missing; `error` then names the library and the missing
    // function.
    static std::unique_ptr<DllIo> Open(const std::string& path, std::string& error);
    ~DllIo() override;
    DllIo(const DllIo&) = delete;
    DllIo& operator=(const DllIo&) = delete;

    std::uint32_t LoadQnlIODriver() override;
    void UnloadQnlIODriver() override;
    std::uint32_t PCI_Read_DWORD(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                                 std::uint32_t offset) override;
    std::uint8_t PCI_Read_BYTE(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                               std::uint32_t offset) override;
    void PCI_Write_DWORD(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                         std::uint32_t offset, std::uint32_t value) override;
    void PCI_Write_Byte(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                        std::uint32_t offset, std::uint32_t value) override;
    MappedAddress MapQnlIO(std::uint32_t physicalAddress, std::uint32_t size) override;
    void UnmapQnlIO(MappedAddress address, std::uint32_t size) override;
    std::int32_t ReadMEM(MappedAddress address, std::uint32_t width,
                         std::uint32_t* result) override;
    std::int32_t WriteMEM(MappedAddress address, std::uint32_t width,
                          const std::uint32_t* value) override;
    std::int32_t WriteCmdALL(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                             std::uint32_t command, std::uint32_t space, std::uint32_t length,
                             std::uint32_t address, std::uint32_t dataLow,
                             std::uint32_t dataHigh) override;
    std::int32_t Wait_Write_Ready(std::uint32_t bus, std::uint32_t device,
                                  std::uint32_t function) override;
    std::int32_t Wait_Read_Ready(std::uint32_t bus, std::uint32_t device,
                                 std::uint32_t function) override;
    std::int32_t ReadCMD(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                         std::uint8_t* reply) override;

  private:
    DllIo() = default;

    void* module_ = nullptr;  // dlopen handle, or the HMODULE on Windows
    LoadQnlIODriverFn load_ = nullptr;
    UnloadQnlIODriverFn unload_ = nullptr;
    PCI_Read_DWORDFn readDword_ = nullptr;
    PCI_Read_BYTEFn readByte_ = nullptr;
    PCI_Write_DWORDFn writeDword_ = nullptr;
    PCI_Write_ByteFn writeByte_ = nullptr;
    MapQnlIOFn map_ = nullptr;
    UnmapQnlIOFn unmap_ = nullptr;
    ReadMEMFn readMem_ = nullptr;
    WriteMEMFn writeMem_ = nullptr;
    WriteCmdALLFn writeCmd_ = nullptr;
    ReadCMDFn readCmd_ = nullptr;
    WaitReadyFn waitRead_ = nullptr;
    WaitReadyFn waitWrite_ = nullptr;
};

}  // namespace qnl::dll
