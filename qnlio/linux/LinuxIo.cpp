#include "qnlio/linux/LinuxIo.h"

extern "C" {
#include <pci/pci.h>
}
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "platform/Format.h"

namespace qnl::linuxio {
namespace {

constexpr std::size_t kAddresses = 65536;           // 256 buses x 32 devices x 8 functions
constexpr std::uint32_t kConfigBytes = 4096;        // extended configuration space
constexpr std::uint32_t kMaxWindowBytes = 0x10000;  // one MapQnlIO call

// libpci reports fatal errors through a callback that must not return. The callback jumps
// back to the guard around the libpci call that failed; only plain C frames lie in between.
thread_local std::jmp_buf* t_guard = nullptr;
thread_local char t_errorText[256];

// The GNU spelling: clang makes it part of the function type, as the callback field has it.
__attribute__((noreturn)) void PciError(char* message, ...) {
    va_list args;
    va_start(args, message);
    std::vsnprintf(t_errorText, sizeof t_errorText, message, args);
    va_end(args);
    if (t_guard != nullptr) std::longjmp(*t_guard, 1);
    std::abort();  // a libpci call outside a guard: a bug of this file
}

void PciQuiet(char*, ...) {}

// Runs `call` (which only calls libpci) and returns false when libpci raised an error.
template <typename Call>
bool Guarded(Call call) {
    std::jmp_buf env;
    std::jmp_buf* const previous = t_guard;
    t_guard = &env;
    t_errorText[0] = '\0';
    if (setjmp(env) != 0) {
        t_guard = previous;
        return false;
    }
    call();
    t_guard = previous;
    return true;
}

std::uint32_t Key(std::uint32_t bus, std::uint32_t device, std::uint32_t function) {
    return (bus & 0xFFu) << 8 | (device & 0x1Fu) << 3 | (function & 0x7u);
}

bool ValidAddress(std::uint32_t device, std::uint32_t function) {
    return (device & 0xFFu) < 32 && (function & 0xFFu) < 8;
}

std::string SysfsName(std::uint32_t key) {
    return Format("0000:%02x:%02x.%u", key >> 8, (key >> 3) & 0x1Fu, key & 0x7u);
}

std::uint32_t Le32(const std::uint8_t* b) {
    return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
           std::uint32_t{b[3]} << 24;
}

}  // namespace

struct LinuxIo::Pci {
    pci_access* access = nullptr;
    std::vector<pci_dev*> byKey = std::vector<pci_dev*>(kAddresses, nullptr);
    bool writable = true;
    std::size_t present = 0;
};

bool ParseLinuxSettings(const std::string& text, LinuxIoSettings& settings, std::string& error) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string::npos) end = text.size();
        const std::string item = text.substr(start, end - start);
        start = end + 1;
        if (item.empty()) continue;
        const auto eq = item.find('=');
        const std::string name = item.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : item.substr(eq + 1);
        if (eq == std::string::npos || value.empty()) {
            error = "linux backend: setting \"" + item + "\" has no value (name=value)";
            return false;
        }
        if (name == "method") {
            if (value != "linux-sysfs" && value != "dump") {
                error = "linux backend: method \"" + value + "\" is not linux-sysfs or dump";
                return false;
            }
            settings.method = value;
        } else if (name == "sysfs.path") {
            settings.sysfsPath = value;
        } else if (name == "dump.name") {
            settings.dumpName = value;
        } else if (name == "mem") {
            if (value != "resource0" && value != "devmem") {
                error = "linux backend: mem \"" + value + "\" is not resource0 or devmem";
                return false;
            }
            settings.memory = value;
        } else if (name == "usb.sysfs") {
            settings.usbSysfs = value;
        } else {
            std::string names;
            for (const BackendSetting& known : kLinuxSettings)
                names += (names.empty() ? "" : ", ") + std::string(known.name);
            error = "linux backend: unknown setting \"" + name + "\" (" + names + ")";
            return false;
        }
    }
    if (settings.method == "dump" && settings.dumpName.empty()) {
        error = "linux backend: method dump needs dump.name";
        return false;
    }
    return true;
}

LinuxIo::LinuxIo(LinuxIoSettings settings, std::vector<std::uint32_t> targetIds,
                 DiagnosticSink sink)
    : settings_(std::move(settings)), targetIds_(std::move(targetIds)), sink_(std::move(sink)) {}

LinuxIo::~LinuxIo() {
    Cleanup();
}

void LinuxIo::SetDiagnosticSink(DiagnosticSink sink) {
    std::lock_guard lock(sinkMutex_);
    sink_ = std::move(sink);
}

void LinuxIo::Log(int line, const std::string& text) {
    std::lock_guard lock(sinkMutex_);
    if (sink_) sink_(Format("\r\n%s:%d: %s", "LinuxIo", line, text.c_str()));
}

void LinuxIo::LogOnce(const std::string& key, int line, const std::string& text) {
    {
        std::lock_guard lock(sinkMutex_);
        if (logged_.size() >= 256 || !logged_.insert(key).second) return;
    }
    Log(line, text);
}

std::uint32_t LinuxIo::LoadQnlIODriver() {
    Cleanup();
    auto pci = std::make_unique<Pci>();
    pci->writable = settings_.method != "dump";
    std::string failure;
    {
        std::lock_guard lock(pciMutex_);
        pci_access* a = nullptr;
        const bool ok = Guarded([&] {
            a = pci_alloc();
            a->error = PciError;
            a->warning = PciQuiet;
            a->debug = PciQuiet;
            a->method = static_cast<unsigned>(
                pci_lookup_method(const_cast<char*>(settings_.method.c_str())));
            if (settings_.method == "dump")
                pci_set_param(a, const_cast<char*>("dump.name"),
                              const_cast<char*>(settings_.dumpName.c_str()));
            else
                pci_set_param(a, const_cast<char*>("sysfs.path"),
                              const_cast<char*>(settings_.sysfsPath.c_str()));
            pci_init(a);
            pci_scan_bus(a);
        });
        if (!ok) {
            failure = t_errorText;
            if (a != nullptr) Guarded([&] { pci_cleanup(a); });
            a = nullptr;
        }
        pci->access = a;
        if (a != nullptr) {
            for (pci_dev* d = a->devices; d != nullptr; d = d->next) {
                if (d->domain != 0) {
                    LogOnce("domain", 301,
                            Format("PCI domain %d is not reachable by bus, device and function; "
                                   "its functions are left out",
                                   d->domain));
                    continue;
                }
                std::uint8_t id[4];
                // A function whose first dword cannot be read (a truncated config file) is
                // treated as absent.
                int read = 0;
                if (!Guarded([&] { read = pci_read_block(d, 0, id, 4); }) || !read) continue;
                if (Le32(id) == 0xFFFFFFFFu) continue;
                pci->byKey[Key(d->bus, d->dev, d->func)] = d;
                ++pci->present;
            }
        }
    }
    if (pci->access == nullptr) {
        Log(312, "LoadQnlIODriver: libpci method " + settings_.method + " failed: " + failure);
        return 0;
    }
    std::vector<Target> targets;
    for (std::uint32_t key = 0; key < kAddresses; ++key) {
        pci_dev* d = pci->byKey[key];
        if (d == nullptr) continue;
        std::uint8_t id[4];
        int read = 0;
        {
            std::lock_guard lock(pciMutex_);
            Guarded([&] { read = pci_read_block(d, 0, id, 4); });
        }
        if (!read || std::find(targetIds_.begin(), targetIds_.end(), Le32(id)) == targetIds_.end())
            continue;
        Target t;
        t.key = key;
        t.sysfsName = SysfsName(key);
        targets.push_back(t);
    }
    {
        std::lock_guard lock(pciMutex_);
        pci_ = std::move(pci);
    }
    for (Target& t : targets) ReadBarOf(t);
    std::lock_guard lock(pciMutex_);
    targets_ = std::move(targets);
    return 1;
}

void LinuxIo::ReadBarOf(Target& t) {
    std::uint8_t bar[8] = {};
    if (!ReadConfig(t.key >> 8, (t.key >> 3) & 0x1F, t.key & 7, 0x10, bar, 8)) return;
    const std::uint32_t low = Le32(bar);
    const std::uint32_t high = Le32(bar + 4);
    if (low & 0x1u) {
        Log(330, Format("%s: BAR0 0x%08X is an I/O port range, not registers", t.sysfsName.c_str(),
                        low));
        return;
    }
    const bool is64 = ((low >> 1) & 0x3u) == 0x2u;
    if (is64 && high != 0) {
        // The tool carries register bases as 32-bit values.
        Log(337, Format("%s: BAR0 0x%08X%08X lies above 4 GB; its registers cannot be mapped",
                        t.sysfsName.c_str(), high, low & ~0xFu));
        return;
    }
    t.barBase = low & ~0xFu;
    // The BAR's size: the kernel's resource table, else the size of resource0.
    const std::string folder = settings_.sysfsPath + "/devices/" + t.sysfsName;
    std::ifstream resource(folder + "/resource");
    unsigned long long start = 0, end = 0, flags = 0;
    if (resource >> std::hex >> start >> end >> flags && end > start) {
        t.barSize = end - start + 1;
        return;
    }
    struct stat st {};
    if (::stat((folder + "/resource0").c_str(), &st) == 0 && st.st_size > 0)
        t.barSize = static_cast<std::uint64_t>(st.st_size);
}

void LinuxIo::Cleanup() {
    {
        std::lock_guard lock(mapMutex_);
        for (auto& [start, m] : mappings_) ::munmap(m.base, m.length);
        mappings_.clear();
    }
    std::lock_guard lock(pciMutex_);
    if (pci_ && pci_->access) {
        pci_access* a = pci_->access;
        Guarded([&] { pci_cleanup(a); });
    }
    pci_.reset();
    targets_.clear();
}

void LinuxIo::UnloadQnlIODriver() {
    Cleanup();
}

bool LinuxIo::ReadConfig(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                         std::uint32_t offset, std::uint8_t* buffer, int length) {
    if (!ValidAddress(device, function) ||
        offset + static_cast<std::uint32_t>(length) > kConfigBytes)
        return false;
    // Looked up under the lock that also guards unloading, so the device cannot go away.
    std::lock_guard lock(pciMutex_);
    if (!pci_) return false;
    pci_dev* const d = pci_->byKey[Key(bus, device, function)];
    if (d == nullptr) return false;
    int ok = 0;
    const int position = static_cast<int>(offset);
    if (!Guarded([&] { ok = pci_read_block(d, position, buffer, length); })) return false;
    return ok != 0;
}

std::uint32_t LinuxIo::PCI_Read_DWORD(std::uint32_t bus, std::uint32_t device,
                                      std::uint32_t function, std::uint32_t offset) {
    std::uint8_t b[4];
    if ((offset & 3u) != 0 || !ReadConfig(bus, device, function, offset, b, 4)) return 0xFFFFFFFFu;
    return Le32(b);
}

std::uint8_t LinuxIo::PCI_Read_BYTE(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                                    std::uint32_t offset) {
    std::uint8_t b = 0xFF;
    if (!ReadConfig(bus, device, function, offset, &b, 1)) return 0xFF;
    return b;
}

bool LinuxIo::WriteConfig(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                          std::uint32_t offset, const std::uint8_t* buffer, int length,
                          const char* caller) {
    const std::uint32_t key = Key(bus, device, function);
    const std::string where =
        Format("%s(%u, %u, %u, 0x%X)", caller, bus & 0xFF, device & 0xFF, function & 0xFF, offset);
    if (!ValidAddress(device, function)) return false;
    std::lock_guard lock(pciMutex_);
    if (!pci_ || pci_->byKey[key] == nullptr) return false;
    const bool target = std::any_of(targets_.begin(), targets_.end(),
                                    [&](const Target& t) { return t.key == key; });
    if (!target) {
        LogOnce("write-other:" + std::to_string(key), 390,
                where + ": refused (-10): only target controllers are written");
        return false;
    }
    if (!pci_->writable) {
        LogOnce("write-dump", 395, where + ": refused (-10): a dump file cannot be written");
        return false;
    }
    if ((length == 4 && (offset & 3u) != 0) ||
        offset + static_cast<std::uint32_t>(length) > kConfigBytes) {
        LogOnce("write-range:" + std::to_string(offset), 400,
                where + ": refused (-10): bad offset");
        return false;
    }
    pci_dev* const d = pci_->byKey[key];
    auto* bytes = const_cast<std::uint8_t*>(buffer);
    int ok = 0;
    const int position = static_cast<int>(offset);
    if (!Guarded([&] { ok = pci_write_block(d, position, bytes, length); }) || !ok) {
        LogOnce("write-fail:" + std::to_string(key), 408,
                where + ": the write failed (" + t_errorText + ")");
        return false;
    }
    return true;
}

void LinuxIo::PCI_Write_DWORD(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                              std::uint32_t offset, std::uint32_t value) {
    const std::uint8_t b[4] = {
        static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
        static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    WriteConfig(bus, device, function, offset, b, 4, "PCI_Write_DWORD");
}

void LinuxIo::PCI_Write_Byte(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                             std::uint32_t offset, std::uint32_t value) {
    const std::uint8_t b = static_cast<std::uint8_t>(value);
    WriteConfig(bus, device, function, offset, &b, 1, "PCI_Write_Byte");
}

MappedAddress LinuxIo::MapQnlIO(std::uint32_t physicalAddress, std::uint32_t size) {
    Target target;
    bool found = false;
    {
        std::lock_guard lock(pciMutex_);
        for (const Target& t : targets_) {
            if (t.barSize == 0 || physicalAddress < t.barBase) continue;
            if (std::uint64_t{physicalAddress} + size > t.barBase + t.barSize) continue;
            target = t;
            found = true;
            break;
        }
    }
    if (size == 0 || size > kMaxWindowBytes || !found) {
        LogOnce(Format("map:%08X:%X", physicalAddress, size), 440,
                Format("MapQnlIO(0x%08X, 0x%X): refused (%d): not inside BAR0 of a target "
                       "controller",
                       physicalAddress, size, kErrRefused));
        return 0;
    }
    const std::uint64_t page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
    const std::uint64_t inBar = physicalAddress - target.barBase;
    const std::uint64_t pageStart = inBar & ~(page - 1);
    const std::uint64_t delta = inBar - pageStart;
    const std::uint64_t length = (delta + size + page - 1) & ~(page - 1);

    std::string file;
    std::uint64_t fileOffset = 0;
    if (settings_.memory == "devmem") {
        file = "/dev/mem";
        fileOffset = target.barBase + pageStart;
    } else {
        file = settings_.sysfsPath + "/devices/" + target.sysfsName + "/resource0";
        fileOffset = pageStart;
    }
    const int fd = ::open(file.c_str(), O_RDWR | O_SYNC | O_CLOEXEC);
    if (fd < 0) {
        LogOnce("open:" + file, 462,
                Format("MapQnlIO(0x%08X): cannot open %s (errno %d)", physicalAddress, file.c_str(),
                       errno));
        return 0;
    }
    // A regular file shorter than the window (a fake tree) would fault on access.
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<std::uint64_t>(st.st_size) < fileOffset + length) {
        ::close(fd);
        LogOnce("short:" + file, 471,
                Format("MapQnlIO(0x%08X): %s is shorter than the window", physicalAddress,
                       file.c_str()));
        return 0;
    }
    void* base = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd,
                        static_cast<off_t>(fileOffset));
    ::close(fd);
    if (base == MAP_FAILED) {
        LogOnce("mmap:" + file, 480,
                Format("MapQnlIO(0x%08X): mmap of %s failed (errno %d)", physicalAddress,
                       file.c_str(), errno));
        return 0;
    }
    Mapping m;
    m.base = base;
    m.length = static_cast<std::size_t>(length);
    m.start = reinterpret_cast<std::uintptr_t>(base) + static_cast<std::uintptr_t>(delta);
    m.size = size;
    std::lock_guard lock(mapMutex_);
    mappings_[m.start] = m;
    return m.start;
}

void LinuxIo::UnmapQnlIO(MappedAddress address, std::uint32_t /*size*/) {
    std::lock_guard lock(mapMutex_);
    auto it = mappings_.find(address);
    if (it == mappings_.end()) return;
    ::munmap(it->second.base, it->second.length);
    mappings_.erase(it);
}

const LinuxIo::Mapping* LinuxIo::FindMapping(MappedAddress address, std::uint32_t width) const {
    auto it = mappings_.upper_bound(address);
    if (it == mappings_.begin()) return nullptr;
    --it;
    const Mapping& m = it->second;
    if (address - m.start + width > m.size) return nullptr;
    return &m;
}

std::int32_t LinuxIo::ReadMEM(MappedAddress address, std::uint32_t width, std::uint32_t* result) {
    if (result == nullptr || (width != 1 && width != 2 && width != 4)) return kErrRefused;
    std::lock_guard lock(mapMutex_);
    if (FindMapping(address, width) == nullptr) return kErrRefused;
    // Register reads: exactly one access of the given width.
    switch (width) {
        case 1:
            *result = *reinterpret_cast<volatile const std::uint8_t*>(address);
            break;
        case 2:
            *result = *reinterpret_cast<volatile const std::uint16_t*>(address);
            break;
        default:
            *result = *reinterpret_cast<volatile const std::uint32_t*>(address);
            break;
    }
    return 0;
}

std::int32_t LinuxIo::WriteMEM(MappedAddress address, std::uint32_t width,
                               const std::uint32_t* value) {
    if (value == nullptr || (width != 1 && width != 2 && width != 4)) return kErrRefused;
    std::lock_guard lock(mapMutex_);
    if (FindMapping(address, width) == nullptr) return kErrRefused;
    switch (width) {
        case 1:
            *reinterpret_cast<volatile std::uint8_t*>(address) = static_cast<std::uint8_t>(*value);
            break;
        case 2:
            *reinterpret_cast<volatile std::uint16_t*>(address) =
                static_cast<std::uint16_t>(*value);
            break;
        default:
            *reinterpret_cast<volatile std::uint32_t*>(address) = *value;
            break;
    }
    return 0;
}

std::int32_t LinuxIo::Mailbox(const char* caller, int line) {
    LogOnce("mailbox", line,
            Format("%s: the microcontroller mailbox handshake needs the maker's I/O library "
                   "(QNLIO_BACKEND=dll:<path>); every mailbox call returns %d",
                   caller, kErrMailboxUnsupported));
    return kErrMailboxUnsupported;
}

std::int32_t LinuxIo::WriteCmdALL(std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                                  std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                                  std::uint32_t) {
    return Mailbox("WriteCmdALL", 540);
}

std::int32_t LinuxIo::Wait_Write_Ready(std::uint32_t, std::uint32_t, std::uint32_t) {
    return Mailbox("Wait_Write_Ready", 544);
}

std::int32_t LinuxIo::Wait_Read_Ready(std::uint32_t, std::uint32_t, std::uint32_t) {
    return Mailbox("Wait_Read_Ready", 548);
}

std::int32_t LinuxIo::ReadCMD(std::uint32_t, std::uint32_t, std::uint32_t, std::uint8_t* reply) {
    if (reply != nullptr) std::memset(reply, 0, kReplyRecordBytes);
    return Mailbox("ReadCMD", 553);
}

std::size_t LinuxIo::PresentFunctionCount() const {
    std::lock_guard lock(pciMutex_);
    return pci_ ? pci_->present : 0;
}

std::size_t LinuxIo::TargetControllerCount() const {
    std::lock_guard lock(pciMutex_);
    return targets_.size();
}

std::size_t LinuxIo::MappingCount() const {
    std::lock_guard lock(mapMutex_);
    return mappings_.size();
}

}  // namespace qnl::linuxio
