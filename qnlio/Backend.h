// Choosing the I/O library backend: once, at start-up, from QNLIO_BACKEND.
//
//   sim              the simulated station (QNLIO_STATION names its file)
//   linux[:settings] configuration space and registers of this machine's real controllers
//                    (settings: qnlio/linux/LinuxIo.h); not on Windows
//   dll:<path>       a shared library exporting the fourteen functions by name
//
// Unset: the simulated station on Linux; on Windows, where the maker's library is, the library
// "qnliodll.dll" in the tool folder (a station without it fails to start, never falls back to
// the simulator).
#pragma once

#include <memory>
#include <string>

#include "qnlio/IQnlIo.h"

namespace qnl {

inline constexpr const char* kDefaultIoLibraryName = "qnliodll.dll";

#if defined(_WIN32)
inline constexpr bool kWindowsStation = true;
#else
inline constexpr bool kWindowsStation = false;
#endif

struct BackendChoice {
    enum class Kind { Sim, Linux, Dll, Invalid };
    Kind kind = Kind::Sim;
    std::string parameter;  // the library path for Dll, the settings text for Linux
    std::string error;      // for Invalid
    // Dll: `parameter` is a name in the tool folder (the Windows default).
    bool inToolFolder = false;
};

// `windows` selects the Windows rules (the default backend, no linux backend); tests pass it.
BackendChoice ParseBackendChoice(const char* value, bool windows = kWindowsStation);

// A backend that could not be set up: the driver never loads and every access fails like
// absent hardware. Start-up then takes its driver-failure path.
class UnavailableIo final : public IQnlIo {
public:
    std::uint32_t LoadQnlIODriver() override { return 0; }
    void UnloadQnlIODriver() override {}
    std::uint32_t PCI_Read_DWORD(std::uint32_t, std::uint32_t, std::uint32_t,
                                 std::uint32_t) override {
        return 0xFFFFFFFFu;
    }
    std::uint8_t PCI_Read_BYTE(std::uint32_t, std::uint32_t, std::uint32_t,
                               std::uint32_t) override {
        return 0xFF;
    }
    void PCI_Write_DWORD(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                         std::uint32_t) override {}
    void PCI_Write_Byte(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                        std::uint32_t) override {}
    MappedAddress MapQnlIO(std::uint32_t, std::uint32_t) override { return 0; }
    void UnmapQnlIO(MappedAddress, std::uint32_t) override {}
    std::int32_t ReadMEM(MappedAddress, std::uint32_t, std::uint32_t*) override { return -1; }
    std::int32_t WriteMEM(MappedAddress, std::uint32_t, const std::uint32_t*) override {
        return -1;
    }
    std::int32_t WriteCmdALL(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                             std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                             std::uint32_t) override {
        return -1;
    }
    std::int32_t Wait_Write_Ready(std::uint32_t, std::uint32_t, std::uint32_t) override {
        return -1;
    }
    std::int32_t Wait_Read_Ready(std::uint32_t, std::uint32_t, std::uint32_t) override {
        return -1;
    }
    std::int32_t ReadCMD(std::uint32_t, std::uint32_t, std::uint32_t, std::uint8_t*) override {
        return -1;
    }
};

}  // namespace qnl
