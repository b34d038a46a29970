// qnlmptool: composition root. Chooses the I/O backend and the clock, builds one tool and runs
// it. Any command line runs the tool in console mode.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/MPToolDlg.h"
#include "app/ToolContext.h"
#include "app/WindowPages.h"
#include "platform/Files.h"
#include "platform/StationLock.h"
#include "platform/SystemInfo.h"
#include "platform/Worker.h"
#include "qnlio/Backend.h"
#include "qnlio/ChipIdTable.h"
#include "qnlio/dll/DllIo.h"
#include "qnlio/sim/SimPlugControl.h"
#include "qnlio/sim/SimStation.h"
#include "qnlio/sim/SimUsbTopology.h"
#if defined(QNL_WITH_QT)
#include "app/qt/PageViews.h"
#include "app/qt/WindowApp.h"
#endif
#if defined(_WIN32)
#include "platform/WinUsbTopology.h"
#else
#include "platform/SysfsUsbTopology.h"
#include "platform/UdevDeviceChangeSource.h"
#include "qnlio/linux/LinuxIo.h"
#endif

int main(int argc, char** argv) {
    using namespace qnl;

    std::vector<std::string> arguments(argv + 1, argv + argc);
    const std::string commandLine = GatherCommandLine(arguments);
    const std::string toolFolder = files::ExecutableFolder();

    // The I/O backend, and with it the clock: the simulated station may run on a scaled clock.
    std::unique_ptr<RealClock> clock;
    std::unique_ptr<IQnlIo> io;
#if !defined(_WIN32)
    linuxio::LinuxIo* linuxIo = nullptr;
#endif
    // The real USB view comes with the real backends (linux; on Windows, the library).
    std::unique_ptr<IUsbTopology> usbTopology;
    // The USB device changes the window's test page follows: the station's own with the
    // simulator, udev's with the linux backend.
    std::unique_ptr<IDeviceChangeSource> deviceChanges;
#if defined(_WIN32)
    std::unique_ptr<IWinUsbDeviceIo> usbDeviceIo;
#endif
    const BackendChoice choice = ParseBackendChoice(std::getenv("QNLIO_BACKEND"));
    std::string backendError;
    switch (choice.kind) {
        case BackendChoice::Kind::Sim: {
            std::optional<sim::StationConfig> station;
            if (const char* path = std::getenv("QNLIO_STATION"); path && *path)
                station = sim::LoadStationFile(path, backendError);
            else
                station = sim::DefaultStation(toolFolder);
            if (station) {
                clock = std::make_unique<RealClock>(sim::TimeScaleOf(*station));
                try {
                    auto simulated = std::make_unique<sim::SimStation>(std::move(*station), *clock);
                    // The view of the running station: plugging while the tool runs shows.
                    usbTopology = std::make_unique<sim::SimUsbTopology>(*simulated, *clock);
                    deviceChanges = std::make_unique<sim::SimPlugControl>(*simulated);
                    io = std::move(simulated);
                } catch (const std::exception& e) {
                    // A flash file that cannot be read or made: the driver does not load.
                    backendError = e.what();
                }
            }
            break;
        }
#if !defined(_WIN32)
        case BackendChoice::Kind::Linux: {
            linuxio::LinuxIoSettings settings;
            linuxio::ParseLinuxSettings(choice.parameter, settings, backendError);
            std::vector<std::uint32_t> targetIds;
            for (const ChipId& id : kKind0Ids) targetIds.push_back(id.ConfigDword0());
            for (const ChipId& id : kKind1Ids) targetIds.push_back(id.ConfigDword0());
            auto backend = std::make_unique<linuxio::LinuxIo>(settings, std::move(targetIds));
            linuxIo = backend.get();
            io = std::move(backend);
            usbTopology = std::make_unique<SysfsUsbTopology>(settings.usbSysfs);
            deviceChanges = std::make_unique<UdevDeviceChangeSource>();
            break;
        }
#else
        case BackendChoice::Kind::Linux:  // refused by ParseBackendChoice on Windows
            break;
#endif
        case BackendChoice::Kind::Dll: {
            // A library that cannot be loaded, or lacks a function, is a driver that fails to
            // load: start-up ends with its driver-failure message. On Windows the default is
            // the maker's library in the tool folder.
            const std::string path =
                choice.inToolFolder ? files::Join(toolFolder, choice.parameter) : choice.parameter;
            io = dll::DllIo::Open(path, backendError);
#if defined(_WIN32)
            usbDeviceIo = MakeWinUsbDeviceIo();
            usbTopology = std::make_unique<WinUsbTopology>(*usbDeviceIo);
#endif
            break;
        }
        case BackendChoice::Kind::Invalid:
            backendError = choice.error;
            break;
    }
    if (!clock) clock = std::make_unique<RealClock>(1.0);
    if (!io) {
        std::fprintf(stderr, "%s\n", backendError.c_str());
        io = std::make_unique<UnavailableIo>();
    }

    StdConsole console;
    ConsolePrompts consolePrompts(console);
#if defined(QNL_WITH_QT)
    // An empty command line opens the window; a console run never needs a display.
    std::unique_ptr<WindowApp> window;
    if (commandLine.empty()) window = std::make_unique<WindowApp>(argc, argv);
    IOperatorPrompts& prompts =
        window ? static_cast<IOperatorPrompts&>(window->Prompts()) : consolePrompts;
#else
    IOperatorPrompts& prompts = consolePrompts;
#endif
    // The systemd journal where one runs, else log/events.log in the tool folder
    // (QNL_EVENT_STORE=file keeps the events in the file even where a journal runs).
    const char* storePreference = std::getenv("QNL_EVENT_STORE");
    const std::unique_ptr<IEventStore> eventStore =
        OpenDiagnosticStore(toolFolder, kEventSourceName, storePreference ? storePreference : "");
    // A FIFO or device where the event file belongs is never waited on; say that the events
    // are not kept.
    if (const std::string problem = eventStore ? eventStore->Problem() : std::string();
        !problem.empty())
        std::fprintf(stderr, "%s\n", problem.c_str());
    ToolEnvironment environment{*clock, console, prompts, *io};
    environment.eventStore = eventStore.get();
    environment.usbTopology = usbTopology.get();
    environment.toolFolder = toolFolder;
    environment.currentFolder = files::CurrentFolder();
    // Real controllers are locked by PCI address in the system's lock folder, so that tools in
    // other folders cannot drive them at the same time (QNL_LOCK_FOLDER names another folder).
    if (choice.kind == BackendChoice::Kind::Linux || choice.kind == BackendChoice::Kind::Dll) {
        const char* lockFolder = std::getenv("QNL_LOCK_FOLDER");
        environment.controllerLockFolder =
            lockFolder != nullptr && *lockFolder != '\0' ? lockFolder : SystemLockFolder();
    }
    environment.userName = files::CurrentUserName();
    switch (choice.kind) {
        case BackendChoice::Kind::Sim:
            environment.backendName = "sim";
            break;
        case BackendChoice::Kind::Linux:
            environment.backendName = "linux";
            break;
        case BackendChoice::Kind::Dll:
            environment.backendName = "dll:" + choice.parameter;
            break;
        case BackendChoice::Kind::Invalid:
            environment.backendName = "unavailable";
            break;
    }
    environment.languageId = SystemLanguageId();

    ToolContext context(environment);
    if (!backendError.empty())
        context.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: %s", "main", 74,
                                    backendError.c_str());
#if !defined(_WIN32)
    if (linuxIo != nullptr)
        linuxIo->SetDiagnosticSink([&context](const std::string& message) {
            context.eventLog.LogMessage(kEventTypeError, "%s", message.c_str());
        });
#endif
    CQNL735_MPToolDlg dialog(context);
    // The pages the window shows; console mode refreshes them from the settings too (the
    // device and test pages' refreshes validate what was loaded).
    WindowPages pages(context, dialog);
    pages.AttachTo(dialog);
    std::optional<std::int32_t> code = dialog.OnInitDialog(commandLine);
    // Window mode: the test page follows USB device changes (console mode never does).
    if (!code) pages.FollowDeviceChanges(std::move(deviceChanges));
#if defined(QNL_WITH_QT)
    if (!code && window) {
        code = window->Exec(dialog, context, MakePageViews(pages, dialog, context));
    }
#endif
#if !defined(_WIN32)
    if (linuxIo != nullptr) linuxIo->SetDiagnosticSink({});
#endif
#if defined(_WIN32)
    // Windows keeps the whole code as the process's exit code (a script sees -2 as -2).
    const int status = code.value_or(0);
#else
    // The process status carries the low 8 bits of the code (-2 ends as 254).
    const int status = code.value_or(0) & 0xFF;
#endif

    // The end waits a bounded time: a run still going is stopped, and workers given up on
    // (asked to stop already) get kExitWait to return. One that is still blocked inside a
    // backend call after that is left alone: the process ends around it without destroying
    // anything it may still use.
    dialog.StopRun(CQNL735_MPToolDlg::kRunStopWait);
    constexpr auto kExitWait = std::chrono::seconds(10);
    if (!Worker::WaitAllFinished(kExitWait)) {
        context.eventLog.LogMessage(kEventTypeError,
                                    "\r\n%s:%d: %d worker(s) still blocked at exit, left behind",
                                    "main", 130, Worker::Running());
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(status);
    }
    return status;
}
