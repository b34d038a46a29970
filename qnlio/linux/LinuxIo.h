// The `linux` backend: this machine's PCI configuration space through libpci (pciutils), the
// xHCI register window through the device's sysfs resource0 (or /dev/mem).
//
// Settings, as in QNLIO_BACKEND=linux:<name>=<value>,... (unknown names are refused):
//   method      libpci access method: "linux-sysfs" (default) or "dump"
//   sysfs.path  the sysfs PCI folder (default /sys/bus/pci); a tree in a temporary folder
//               serves the tests
//   dump.name   the "lspci -x" style dump file for method "dump" (read only)
//   mem         how registers are reached: "resource0" (default) or "devmem" (/dev/mem)
//   usb.sysfs   the sysfs root of the USB view (default /sys)
//
// What works without the maker's documentation and what does not:
//   - configuration reads of any function; writes only to target controllers (the functions
//     whose dword 0 is one of the accepted identifications), never with method "dump";
//   - the register window: mapped only inside BAR0 of a target controller found by the scan;
//     any other window is refused (MapQnlIO returns 0, the refusal is logged with -10);
//   - the mailbox handshake (WriteCmdALL, Wait_Write_Ready, Wait_Read_Ready, ReadCMD) is the
//     maker's and is not known here: these calls return kErrMailboxUnsupported and log it once.
//     Everything built on the mailbox (device information, flash programming, the tests'
//     microcontroller reads) needs the maker's library (dll:<path>).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "qnlio/Backend.h"
#include "qnlio/IQnlIo.h"

namespace qnl::linuxio {

// Result of the four mailbox calls: the handshake needs the maker's library.
inline constexpr std::int32_t kErrMailboxUnsupported = -50;
// Result of register accesses outside a mapped window, and the code a refused mapping logs.
inline constexpr std::int32_t kErrRefused = -10;

struct LinuxIoSettings {
    std::string method = "linux-sysfs";
    std::string sysfsPath = "/sys/bus/pci";
    std::string dumpName;
    std::string memory = "resource0";
    std::string usbSysfs = "/sys";
};

// The settings' names, in the order messages and the help list them.
inline constexpr BackendSetting kLinuxSettings[] = {
    {"method", "linux-sysfs (default) or dump (read only)"},
    {"sysfs.path", "the sysfs PCI folder (default /sys/bus/pci)"},
    {"dump.name", "the lspci -x dump file for method=dump"},
    {"mem", "registers through resource0 (default) or devmem"},
    {"usb.sysfs", "the sysfs root of the USB view (default /sys)"},
};

// Reads "name=value,name=value" into `settings`; false with `error` for an unknown name or
// a bad value.
bool ParseLinuxSettings(const std::string& text, LinuxIoSettings& settings, std::string& error);

// Where the backend's diagnostic messages go (the tool's diagnostic log).
using DiagnosticSink = std::function<void(const std::string& message)>;

class LinuxIo final : public IQnlIo {
  public:
    // `targetIds`: configuration dword 0 of the target controllers (device ID x 65536 +
    // vendor ID); only these may be written and have their BAR0 mapped.
    LinuxIo(LinuxIoSettings settings, std::vector<std::uint32_t> targetIds,
            DiagnosticSink sink = {});
    ~LinuxIo() override;
    LinuxIo(const LinuxIo&) = delete;
    LinuxIo& operator=(const LinuxIo&) = delete;

    void SetDiagnosticSink(DiagnosticSink sink);

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

    // What the scan found (domain 0), for tests and the scan benchmark.
    std::size_t PresentFunctionCount() const;
    std::size_t TargetControllerCount() const;
    std::size_t MappingCount() const;

  private:
    struct Target {
        std::uint32_t key = 0;      // bus << 8 | device << 3 | function
        std::uint64_t barBase = 0;  // BAR0 with its flag bits cleared
        std::uint64_t barSize = 0;  // 0 when unknown: nothing is mapped
        std::string sysfsName;      // "0000:bb:dd.f"
    };
    struct Mapping {
        void* base = nullptr;      // what mmap returned
        std::size_t length = 0;    // of the whole mapping
        std::uintptr_t start = 0;  // the caller's window
        std::uint32_t size = 0;
    };
    struct Pci;  // the libpci state

    void Log(int line, const std::string& text);
    void LogOnce(const std::string& key, int line, const std::string& text);
    bool ReadConfig(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                    std::uint32_t offset, std::uint8_t* buffer, int length);
    bool WriteConfig(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                     std::uint32_t offset, const std::uint8_t* buffer, int length,
                     const char* caller);
    void ReadBarOf(Target& target);
    void Cleanup();
    std::int32_t Mailbox(const char* caller, int line);
    const Mapping* FindMapping(MappedAddress address, std::uint32_t width) const;

    const LinuxIoSettings settings_;
    const std::vector<std::uint32_t> targetIds_;

    mutable std::mutex sinkMutex_;
    DiagnosticSink sink_;
    std::set<std::string> logged_;

    mutable std::mutex pciMutex_;  // libpci keeps one open config file: calls are serialised
    std::unique_ptr<Pci> pci_;
    std::vector<Target> targets_;

    mutable std::mutex mapMutex_;
    std::map<std::uintptr_t, Mapping> mappings_;  // by the caller's window start
};

}  // namespace qnl::linuxio
