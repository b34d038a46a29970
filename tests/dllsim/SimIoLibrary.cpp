// A shared library that exports the I/O library's fourteen functions by name over the simulated
// station named by QNLIO_STATION: what the dll:<path> backend loads in the tests.
//
// Built twice: complete, and (QNL_DLLSIM_WITHOUT_READ_BYTE) without PCI_Read_BYTE, to show how a
// library with a missing function is refused.
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Clock.h"
#include "qnlio/dll/QnlIoExports.h"
#include "qnlio/sim/SimStation.h"

// The standard calling convention on Windows (QNLIO_CALL), as the maker's library has it.
#if defined(_WIN32)
#define QNL_EXPORT extern "C" __declspec(dllexport)
#else
#define QNL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

struct Library {
    std::mutex mutex;
    std::unique_ptr<qnl::RealClock> clock;
    std::unique_ptr<qnl::sim::SimStation> station;
};

Library& Lib() {
    static Library lib;
    return lib;
}

// The station, built from QNLIO_STATION on first use; nullptr when it cannot be.
qnl::sim::SimStation* Station() {
    Library& lib = Lib();
    std::lock_guard lock(lib.mutex);
    if (!lib.station) {
        const char* path = std::getenv("QNLIO_STATION");
        if (path == nullptr || *path == '\0') return nullptr;
        std::string error;
        auto config = qnl::sim::LoadStationFile(path, error);
        if (!config) return nullptr;
        try {
            lib.clock = std::make_unique<qnl::RealClock>(qnl::sim::TimeScaleOf(*config));
            lib.station = std::make_unique<qnl::sim::SimStation>(std::move(*config), *lib.clock);
        } catch (...) {
            return nullptr;
        }
    }
    return lib.station.get();
}

}  // namespace

QNL_EXPORT std::uint32_t QNLIO_CALL LoadQnlIODriver() {
    auto* s = Station();
    return s ? s->LoadQnlIODriver() : 0;
}

QNL_EXPORT void QNLIO_CALL UnloadQnlIODriver() {
    if (auto* s = Station()) s->UnloadQnlIODriver();
}

QNL_EXPORT std::uint32_t QNLIO_CALL PCI_Read_DWORD(std::uint32_t bus, std::uint32_t device,
                                        std::uint32_t function, std::uint32_t offset) {
    auto* s = Station();
    return s ? s->PCI_Read_DWORD(bus, device, function, offset) : 0xFFFFFFFFu;
}

#if !defined(QNL_DLLSIM_WITHOUT_READ_BYTE)
QNL_EXPORT std::uint8_t QNLIO_CALL PCI_Read_BYTE(std::uint32_t bus, std::uint32_t device,
                                      std::uint32_t function, std::uint32_t offset) {
    auto* s = Station();
    return s ? s->PCI_Read_BYTE(bus, device, function, offset) : 0xFF;
}
#endif

QNL_EXPORT void QNLIO_CALL PCI_Write_DWORD(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                                std::uint32_t offset, std::uint32_t value) {
    if (auto* s = Station()) s->PCI_Write_DWORD(bus, device, function, offset, value);
}

QNL_EXPORT void QNLIO_CALL PCI_Write_Byte(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                               std::uint32_t offset, std::uint32_t value) {
    if (auto* s = Station()) s->PCI_Write_Byte(bus, device, function, offset, value);
}

QNL_EXPORT std::uintptr_t QNLIO_CALL MapQnlIO(std::uint32_t physicalAddress, std::uint32_t size) {
    auto* s = Station();
    return s ? s->MapQnlIO(physicalAddress, size) : 0;
}

QNL_EXPORT void QNLIO_CALL UnmapQnlIO(std::uintptr_t address, std::uint32_t size) {
    if (auto* s = Station()) s->UnmapQnlIO(address, size);
}

QNL_EXPORT std::int32_t QNLIO_CALL ReadMEM(std::uintptr_t address, std::uint32_t width,
                                std::uint32_t* result) {
    auto* s = Station();
    return s ? s->ReadMEM(address, width, result) : -1;
}

QNL_EXPORT std::int32_t QNLIO_CALL WriteMEM(std::uintptr_t address, std::uint32_t width,
                                 std::uint32_t* value) {
    auto* s = Station();
    return s ? s->WriteMEM(address, width, value) : -1;
}

QNL_EXPORT std::int32_t QNLIO_CALL WriteCmdALL(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                                    std::uint32_t command, std::uint32_t space,
                                    std::uint32_t length, std::uint32_t address,
                                    std::uint32_t dataLow, std::uint32_t dataHigh) {
    auto* s = Station();
    return s ? s->WriteCmdALL(bus, device, function, command, space, length, address, dataLow,
                              dataHigh)
             : -1;
}

QNL_EXPORT std::int32_t QNLIO_CALL ReadCMD(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                                std::uint8_t* reply) {
    auto* s = Station();
    return s ? s->ReadCMD(bus, device, function, reply) : -1;
}

QNL_EXPORT std::int32_t QNLIO_CALL Wait_Read_Ready(std::uint32_t bus, std::uint32_t device,
                                        std::uint32_t function) {
    auto* s = Station();
    return s ? s->Wait_Read_Ready(bus, device, function) : -1;
}

QNL_EXPORT std::int32_t QNLIO_CALL Wait_Write_Ready(std::uint32_t bus, std::uint32_t device,
                                         std::uint32_t function) {
    auto* s = Station();
    return s ? s->Wait_Write_Ready(bus, device, function) : -1;
}
