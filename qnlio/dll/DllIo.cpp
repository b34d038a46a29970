#include "qnlio/dll/DllIo.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "platform/Files.h"
#include "qnlio/dll/LibraryExports.h"

namespace qnl::dll {
namespace {

void* OpenLibrary(const std::string& path, std::string& error) {
#if defined(_WIN32)
    // No "bad image" or "missing drive" box: a station runs without anyone to click it away.
    DWORD oldMode = 0;
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
    // A library named by a full path finds the libraries it needs beside itself first (the
    // altered search order is defined for full paths only).
    const bool fullPath = path.find(':') != std::string::npos || path.rfind("\\\\", 0) == 0;
    HMODULE module =
        ::LoadLibraryExA(path.c_str(), nullptr, fullPath ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
    const DWORD code = ::GetLastError();
    ::SetThreadErrorMode(oldMode, nullptr);
    if (module == nullptr) {
        std::string why;
        if (!files::Exists(path)) {
            why = "the file does not exist";
        } else {
            // The file's header tells a non-library and a library for another machine apart.
            const auto head = files::ReadAll(path, std::uint64_t{64} << 20);
            if (head) {
                const std::vector<std::uint8_t> first(
                    head->begin(), head->begin() + static_cast<std::ptrdiff_t>(
                                                       std::min<std::size_t>(head->size(), 4096)));
                why = DescribeLibraryImage(first, ToolMachine());
            }
            if (why.empty()) why = "Windows error " + std::to_string(code);
        }
        error = "cannot load the I/O library \"" + path + "\": " + why;
    }
    return reinterpret_cast<void*>(module);
#else
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* why = ::dlerror();
        error = "cannot load the I/O library \"" + path + "\": " + (why ? why : "unknown error");
    }
    return module;
#endif
}

void* Symbol(void* module, const char* name) {
#if defined(_WIN32)
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
#else
    return ::dlsym(module, name);
#endif
}

void CloseLibrary(void* module) {
    if (module == nullptr) return;
#if defined(_WIN32)
    ::FreeLibrary(static_cast<HMODULE>(module));
#else
    ::dlclose(module);
#endif
}

// ReadCMD gets a buffer this large, whatever the library fills; the caller gets its 44 bytes.
constexpr std::size_t kReplyScratchBytes = 256;

}  // namespace

std::unique_ptr<DllIo> DllIo::Open(const std::string& path, std::string& error) {
    std::unique_ptr<DllIo> io(new DllIo());
    io->module_ = OpenLibrary(path, error);
    if (io->module_ == nullptr) return nullptr;
    // Each function under its plain name or, from a 32-bit library, its decorated name.
    const ResolvedExports exports =
        ResolveExports([&io](const char* name) { return Symbol(io->module_, name); });
    if (!exports.missing.empty()) {
        std::string missing;
        for (const std::string& name : exports.missing)
            missing += (missing.empty() ? "" : ", ") + name;
        error = "the I/O library \"" + path + "\" does not export " + missing;
        return nullptr;  // the destructor unloads the library
    }
    const std::array<void*, 14>& found = exports.functions;
    // Function pointers from the exported names (kExportNames order).
    auto as = [&](std::size_t i, auto& target) {
        static_assert(sizeof(void*) == sizeof(target));
        std::memcpy(&target, &found[i], sizeof target);
    };
    as(0, io->load_);
    as(1, io->unload_);
    as(2, io->readDword_);
    as(3, io->readByte_);
    as(4, io->writeDword_);
    as(5, io->writeByte_);
    as(6, io->map_);
    as(7, io->unmap_);
    as(8, io->readMem_);
    as(9, io->writeMem_);
    as(10, io->writeCmd_);
    as(11, io->readCmd_);
    as(12, io->waitRead_);
    as(13, io->waitWrite_);
    return io;
}

DllIo::~DllIo() {
    CloseLibrary(module_);
}

std::uint32_t DllIo::LoadQnlIODriver() {
    return load_();
}
void DllIo::UnloadQnlIODriver() {
    unload_();
}

std::uint32_t DllIo::PCI_Read_DWORD(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                                    std::uint32_t offset) {
    return readDword_(bus, device, function, offset);
}

std::uint8_t DllIo::PCI_Read_BYTE(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                                  std::uint32_t offset) {
    return readByte_(bus, device, function, offset);
}

void DllIo::PCI_Write_DWORD(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                            std::uint32_t offset, std::uint32_t value) {
    writeDword_(bus, device, function, offset, value);
}

void DllIo::PCI_Write_Byte(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                           std::uint32_t offset, std::uint32_t value) {
    writeByte_(bus, device, function, offset, value);
}

MappedAddress DllIo::MapQnlIO(std::uint32_t physicalAddress, std::uint32_t size) {
    return map_(physicalAddress, size);
}

void DllIo::UnmapQnlIO(MappedAddress address, std::uint32_t size) {
    unmap_(address, size);
}

std::int32_t DllIo::ReadMEM(MappedAddress address, std::uint32_t width, std::uint32_t* result) {
    if (result == nullptr) return -10;
    std::uint32_t value = 0;
    const std::int32_t status = readMem_(address, width, &value);
    *result = width == 1 ? (value & 0xFFu) : value;
    return status;
}

std::int32_t DllIo::WriteMEM(MappedAddress address, std::uint32_t width,
                             const std::uint32_t* value) {
    if (value == nullptr) return -10;
    std::uint32_t copy = width == 1 ? (*value & 0xFFu) : *value;
    return writeMem_(address, width, &copy);
}

std::int32_t DllIo::WriteCmdALL(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                                std::uint32_t command, std::uint32_t space, std::uint32_t length,
                                std::uint32_t address, std::uint32_t dataLow,
                                std::uint32_t dataHigh) {
    return writeCmd_(bus, device, function, command, space, length, address, dataLow, dataHigh);
}

std::int32_t DllIo::Wait_Write_Ready(std::uint32_t bus, std::uint32_t device,
                                     std::uint32_t function) {
    return waitWrite_(bus, device, function);
}

std::int32_t DllIo::Wait_Read_Ready(std::uint32_t bus, std::uint32_t device,
                                    std::uint32_t function) {
    return waitRead_(bus, device, function);
}

std::int32_t DllIo::ReadCMD(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                            std::uint8_t* reply) {
    std::array<std::uint8_t, kReplyScratchBytes> scratch{};
    const std::int32_t status = readCmd_(bus, device, function, scratch.data());
    if (reply != nullptr) std::memcpy(reply, scratch.data(), kReplyRecordBytes);
    return status;
}

}  // namespace qnl::dll
