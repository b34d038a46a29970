#include "qnlio/backends/StationBackends.h"

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <optional>
#include <vector>

#include "platform/Files.h"
#include "qnlio/ChipIdTable.h"
#include "qnlio/dll/DllIo.h"
#include "qnlio/sim/SimPlugControl.h"
#include "qnlio/sim/SimStation.h"
#include "qnlio/sim/SimUsbTopology.h"
#if !defined(_WIN32)
#include "platform/SysfsUsbTopology.h"
#include "platform/UdevDeviceChangeSource.h"
#include "qnlio/linux/LinuxIo.h"
#else
#include "platform/WinDeviceChangeSource.h"
#endif

namespace qnl {

namespace {

// The station file QNLIO_STATION names, else the built-in station in the tool folder, on a
// clock of the station's time scale. The station's own plug control is its device-change
// source, and the USB view is the running station's, so plugging while the tool runs shows.
bool OpenSim(const BackendChoice&, const std::string& toolFolder, BackendParts& parts,
             std::string& error) {
    std::optional<sim::StationConfig> station;
    if (const char* path = std::getenv("QNLIO_STATION"); path && *path)
        station = sim::LoadStationFile(path, error);
    else
        station = sim::DefaultStation(toolFolder);
    if (!station) return false;
    parts.clock = std::make_unique<RealClock>(sim::TimeScaleOf(*station));
    try {
        auto simulated = std::make_unique<sim::SimStation>(std::move(*station), *parts.clock);
        parts.usbTopology = std::make_unique<sim::SimUsbTopology>(*simulated, *parts.clock);
        parts.deviceChanges = std::make_unique<sim::SimPlugControl>(*simulated);
        parts.io = std::move(simulated);
    } catch (const std::exception& e) {
        // A flash file that cannot be read or made: the driver does not load.
        error = e.what();
        return false;
    }
    return true;
}

#if !defined(_WIN32)
bool CheckLinux(const std::string& parameter, std::string& error) {
    linuxio::LinuxIoSettings settings;
    return linuxio::ParseLinuxSettings(parameter, settings, error);
}

// Only the target controllers may be written and mapped; udev reports the device changes.
bool OpenLinux(const BackendChoice& choice, const std::string&, BackendParts& parts,
               std::string& error) {
    linuxio::LinuxIoSettings settings;
    if (!linuxio::ParseLinuxSettings(choice.parameter, settings, error)) return false;
    std::vector<std::uint32_t> targetIds;
    for (const ChipId& id : kKind0Ids) targetIds.push_back(id.ConfigDword0());
    for (const ChipId& id : kKind1Ids) targetIds.push_back(id.ConfigDword0());
    auto backend = std::make_unique<linuxio::LinuxIo>(settings, std::move(targetIds));
    linuxio::LinuxIo* linuxIo = backend.get();
    parts.setDiagnosticSink = [linuxIo](BackendDiagnosticSink sink) {
        linuxIo->SetDiagnosticSink(std::move(sink));
    };
    parts.io = std::move(backend);
    parts.usbTopology = std::make_unique<SysfsUsbTopology>(settings.usbSysfs);
    parts.deviceChanges = std::make_unique<UdevDeviceChangeSource>();
    return true;
}
#endif

// A library that cannot be loaded, or lacks a function, is a driver that fails to load:
// start-up ends with its driver-failure message. On Windows the USB view reads the system's
// USB host controllers and the device changes are the system's.
bool OpenDll(const BackendChoice& choice, const std::string& toolFolder, BackendParts& parts,
             std::string& error) {
    const std::string path =
        choice.inToolFolder ? files::Join(toolFolder, choice.parameter) : choice.parameter;
    parts.io = dll::DllIo::Open(path, error);
#if defined(_WIN32)
    parts.usbDeviceIo = MakeWinUsbDeviceIo();
    parts.usbTopology = std::make_unique<WinUsbTopology>(*parts.usbDeviceIo);
    // The system's USB device changes (WM_DEVICECHANGE), as udev gives them on Linux.
    parts.deviceChanges = std::make_unique<WinDeviceChangeSource>();
#endif
    return parts.io != nullptr;
}

#if defined(_WIN32)
constexpr std::span<const BackendSetting> kLinuxSettingList{};
constexpr BackendEntry::CheckFn kCheckLinux = nullptr;
constexpr BackendEntry::OpenFn kOpenLinux = nullptr;
#else
constexpr std::span<const BackendSetting> kLinuxSettingList{linuxio::kLinuxSettings};
constexpr BackendEntry::CheckFn kCheckLinux = CheckLinux;
constexpr BackendEntry::OpenFn kOpenLinux = OpenLinux;
#endif

constexpr BackendEntry kBackends[] = {
    {.name = "sim",
     .help = "the simulated station (its file: QNLIO_STATION; else built in)",
     .open = OpenSim},
    {.name = "linux",
     .parameter = BackendEntry::Parameter::Optional,
     .parameterForm = "[:settings]",
     .help = "this machine's controllers through libpci and sysfs",
     .settings = kLinuxSettingList,
     .onWindows = false,
     .realControllers = true,
     .check = kCheckLinux,
     .open = kOpenLinux},
    {.name = "dll",
     .parameter = BackendEntry::Parameter::Required,
     .parameterForm = ":<path>",
     .help = "a library exporting the fourteen I/O functions by name",
     .realControllers = true,
     .open = OpenDll},
};

}  // namespace

BackendRegistry StationBackends() {
    return kBackends;
}

}  // namespace qnl
