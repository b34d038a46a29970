// The fourteen functions of the I/O library as a shared library exports them, by name.
//
// Every argument is a 32-bit value except the mapped window address, which is pointer-sized
// (32 bits in the maker's 32-bit library). On Windows the functions use the standard calling
// convention. ReadMEM and WriteMEM are given a pointer to a 32-bit value whose low byte
// carries the byte, so a library that reads or writes only one byte there works as well.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define QNLIO_CALL __stdcall
#else
#define QNLIO_CALL
#endif

namespace qnl::dll {

extern "C" {
using LoadQnlIODriverFn = std::uint32_t(QNLIO_CALL*)();
using UnloadQnlIODriverFn = void(QNLIO_CALL*)();
using PCI_Read_DWORDFn = std::uint32_t(QNLIO_CALL*)(std::uint32_t, std::uint32_t, std::uint32_t,
                                                    std::uint32_t);
using PCI_Read_BYTEFn = std::uint8_t(QNLIO_CALL*)(std::uint32_t, std::uint32_t, std::uint32_t,
                                                  std::uint32_t);
using PCI_Write_DWORDFn = void(QNLIO_CALL*)(std::uint32_t, std::uint32_t, std::uint32_t,
                                            std::uint32_t, std::uint32_t);
using PCI_Write_ByteFn = void(QNLIO_CALL*)(std::uint32_t, std::uint32_t, std::uint32_t,
                                           std::uint32_t, std::uint32_t);
using MapQnlIOFn = std::uintptr_t(QNLIO_CALL*)(std::uint32_t, std::uint32_t);
using UnmapQnlIOFn = void(QNLIO_CALL*)(std::uintptr_t, std::uint32_t);
using ReadMEMFn = std::int32_t(QNLIO_CALL*)(std::uintptr_t, std::uint32_t, std::uint32_t*);
using WriteMEMFn = std::int32_t(QNLIO_CALL*)(std::uintptr_t, std::uint32_t, std::uint32_t*);
using WriteCmdALLFn = std::int32_t(QNLIO_CALL*)(std::uint32_t, std::uint32_t, std::uint32_t,
                                                std::uint32_t, std::uint32_t, std::uint32_t,
                                                std::uint32_t, std::uint32_t, std::uint32_t);
using WaitReadyFn = std::int32_t(QNLIO_CALL*)(std::uint32_t, std::uint32_t, std::uint32_t);
using ReadCMDFn = std::int32_t(QNLIO_CALL*)(std::uint32_t, std::uint32_t, std::uint32_t,
                                            std::uint8_t*);
}

// The exported names, in the order the loader resolves them, and the bytes of arguments each
// takes on 32-bit x86 (4 a value or pointer), which the standard calling convention's decorated
// export names carry ("_ReadMEM@12").
inline constexpr const char* kExportNames[14] = {
    "LoadQnlIODriver", "UnloadQnlIODriver", "PCI_Read_DWORD", "PCI_Read_BYTE",
    "PCI_Write_DWORD", "PCI_Write_Byte",    "MapQnlIO",       "UnmapQnlIO",
    "ReadMEM",         "WriteMEM",          "WriteCmdALL",    "ReadCMD",
    "Wait_Read_Ready", "Wait_Write_Ready",
};
inline constexpr unsigned kExportArgumentBytes[14] = {0, 0,  16, 16, 20, 20, 8,
                                                      8, 12, 12, 36, 16, 12, 12};

}  // namespace qnl::dll
