// The I/O backends: chosen once, at start-up, from QNLIO_BACKEND, by name from a registry.
//
// Each backend is an entry: its name, how its parameter is written, a line of help, the
// settings its parameter may name, and an open function that builds what the backend brings
// (the I/O library, the clock, the USB view, the device-change source, on Windows the USB device
// I/O). The registry of the tool's backends (sim, linux, dll) is
// qnlio/backends/StationBackends.h; this file knows them only by the names of the defaults.
//
// Unset: the simulated station on Linux; on Windows, where the maker's library is, the library
// "qnliodll.dll" in the tool folder (a station without it fails to start, never falls back to
// the simulator). "help" lists the backends.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/Clock.h"
#include "platform/DeviceChange.h"
#include "platform/UsbTopology.h"
#include "platform/WinUsbTopology.h"
#include "qnlio/IQnlIo.h"

namespace qnl {

inline constexpr const char* kDefaultIoLibraryName = "qnliodll.dll";

#if defined(_WIN32)
inline constexpr bool kWindowsStation = true;
#else
inline constexpr bool kWindowsStation = false;
#endif

// Where a backend's own diagnostic messages go (the tool's diagnostic log).
using BackendDiagnosticSink = std::function<void(const std::string& message)>;

// What a backend brings to the tool. Each member is declared after what it uses, so it goes
// first.
struct BackendParts {
    std::unique_ptr<IClock> clock;  // the simulated station may scale time
    std::unique_ptr<IQnlIo> io;
    std::unique_ptr<IWinUsbDeviceIo> usbDeviceIo;  // Windows: what the USB view reads through
    std::unique_ptr<IUsbTopology> usbTopology;     // null: no USB view
    std::unique_ptr<IDeviceChangeSource> deviceChanges;  // null: none to follow
    // Sets where the backend's diagnostic messages go (an empty sink: nowhere); null when the
    // backend has none.
    std::function<void(BackendDiagnosticSink)> setDiagnosticSink;
};

// A name=value setting a backend's parameter may hold, for the help.
struct BackendSetting {
    std::string_view name;
    std::string_view meaning;
};

struct BackendChoice;

struct BackendEntry {
    enum class Parameter { None, Optional, Required };
    using CheckFn = bool (*)(const std::string& parameter, std::string& error);
    using OpenFn = bool (*)(const BackendChoice& choice, const std::string& toolFolder,
                            BackendParts& parts, std::string& error);

    std::string_view name = {};  // "sim": QNLIO_BACKEND=sim, QNLIO_BACKEND=sim:<parameter>
    Parameter parameter = Parameter::None;
    std::string_view parameterForm = {};  // as the lists show it after the name: "[:settings]"
    std::string_view help = {};           // one line
    std::span<const BackendSetting> settings = {};  // what the parameter may name
    bool onWindows = true;                          // false: refused on Windows
    // Real controllers: a run locks each controller's PCI address in the system's lock folder.
    bool realControllers = false;
    CheckFn check = nullptr;  // checks the parameter when the backend is chosen; may be null
    // Builds the backend into `parts`; false with `error` when it cannot be set up (what it
    // built before that, the clock say, stays in `parts`).
    OpenFn open = nullptr;
};

using BackendRegistry = std::span<const BackendEntry>;

struct BackendChoice {
    const BackendEntry* backend = nullptr;  // null: no backend (help, or `error`)
    bool help = false;                      // QNLIO_BACKEND=help
    std::string parameter;  // after "<name>:"; the library name for the Windows default
    std::string error;      // when neither a backend nor help
    // The parameter is a name in the tool folder (the Windows default library).
    bool inToolFolder = false;

    bool Is(std::string_view name) const { return backend != nullptr && backend->name == name; }
};

// Reads QNLIO_BACKEND's value against `backends`. `windows` selects the Windows rules (the
// default backend, backends that do not exist there); tests pass it.
BackendChoice ParseBackendChoice(BackendRegistry backends, const char* value,
                                 bool windows = kWindowsStation);

// The list "help" prints: every backend of this system with its parameter, its help line and
// its settings, and what an unset QNLIO_BACKEND means.
std::string BackendHelp(BackendRegistry backends, bool windows = kWindowsStation);

struct OpenedBackend {
    BackendParts parts;
    std::string error;  // empty exactly when the backend was set up
};

// Sets the chosen backend up. A backend that cannot be set up (or no backend chosen) leaves an
// UnavailableIo as the I/O library and the reason in `error`; without a clock of its own the
// tool runs in real time.
OpenedBackend OpenBackend(const BackendChoice& choice, const std::string& toolFolder);

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
