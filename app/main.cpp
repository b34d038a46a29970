// qnlmptool: composition root. Chooses the I/O backend (and with it the clock), builds one tool
// and runs it. Any command line runs the tool in console mode.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/ToolAssembly.h"
#include "platform/Files.h"
#include "platform/StationLock.h"
#include "platform/SystemInfo.h"
#include "qnlio/backends/StationBackends.h"
#if defined(QNL_WITH_QT)
#include "app/qt/PageViews.h"
#include "app/qt/WindowApp.h"
#define QNL_WINDOW 1
#elif defined(QNL_WITH_WIN32_WINDOW)
// The same window in the system's own controls, with the same entry points.
#include "app/win/WindowApp.h"
#define QNL_WINDOW 1
#endif

int main(int argc, char** argv) {
    using namespace qnl;

    const BackendChoice choice = ChooseBackend(std::getenv("QNLIO_BACKEND"));
#if defined(QNL_WINDOW_SUBSYSTEM)
    // The window program (qnlmptool.exe) given a command line is the console tool: what it
    // prints goes to the console it was started from, a redirect or a pipe.
    if (argc > 1 || choice.help) UseParentConsole();
#endif
    if (choice.help) {
        // The list of backends, and nothing else is touched.
        std::fputs(BackendHelp(StationBackends()).c_str(), stdout);
        return 0;
    }

    std::vector<std::string> arguments(argv + 1, argv + argc);
    const std::string commandLine = GatherCommandLine(arguments);
    const std::string toolFolder = files::ExecutableFolder();
#if defined(QNL_WINDOW)
    const bool windowPossible = HasDisplay();
#else
    const bool windowPossible = false;
#endif
    if (commandLine.empty() && !windowPossible) {
        // Nothing would be done: say why, and how the console runs the tool.
        std::fputs(
            "The operator window cannot open: no display (DISPLAY and WAYLAND_DISPLAY are not "
            "set) or a build without the window. The console runs with a command line, for "
            "example \"qnlmptool /S /A\" for the MP run or \"qnlmptool /S /D\" to list the "
            "hosts; \"qnlmptool /?\" shows every option.\n",
            stderr);
        return 1;
    }

    // The I/O backend with what it brings: the clock (the simulated station may run on a
    // scaled clock), the system's USB view, the USB device changes the window's test page
    // follows. One that cannot be set up leaves a driver that never loads.
    OpenedBackend backend = OpenBackend(choice, toolFolder);
    if (!backend.error.empty()) std::fprintf(stderr, "%s\n", backend.error.c_str());
    BackendParts& parts = backend.parts;

    StdConsole console;
    ConsolePrompts consolePrompts(console);
#if defined(QNL_WINDOW)
    // The window opens for an empty command line and for one that asks the console for
    // nothing (no /S, /A, /D, /T, /O, /I), when there is a display; a console run never needs
    // one.
    const bool windowShown = CommandLineOpensWindow(commandLine) && HasDisplay();
    std::unique_ptr<WindowApp> window;
    if (windowShown) window = std::make_unique<WindowApp>(argc, argv);
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
    ToolEnvironment environment{*parts.clock, console, prompts, *parts.io};
    environment.eventStore = eventStore.get();
    environment.usbTopology = parts.usbTopology.get();
    environment.toolFolder = toolFolder;
    environment.currentFolder = files::CurrentFolder();
    // Real controllers are locked by PCI address in the system's lock folder, so that tools in
    // other folders cannot drive them at the same time (QNL_LOCK_FOLDER names another folder).
    if (choice.backend != nullptr && choice.backend->realControllers) {
        const char* lockFolder = std::getenv("QNL_LOCK_FOLDER");
        environment.controllerLockFolder =
            lockFolder != nullptr && *lockFolder != '\0' ? lockFolder : SystemLockFolder();
    }
    environment.userName = files::CurrentUserName();
    // The backend as the run records name it: "sim", "linux", "dll:<path>".
    if (choice.backend == nullptr)
        environment.backendName = "unavailable";
    else if (choice.Is("dll"))
        environment.backendName = "dll:" + choice.parameter;
    else
        environment.backendName = std::string(choice.backend->name);
    environment.languageId = SystemLanguageId();

    ToolAssembly tool(environment);
#if defined(QNL_WINDOW)
    tool.dialog.SetWindowFollows(window != nullptr);
#endif
    if (!backend.error.empty())
        tool.context.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: %s", "main", 74,
                                         backend.error.c_str());
    if (parts.setDiagnosticSink)
        parts.setDiagnosticSink([&tool](const std::string& message) {
            tool.context.eventLog.LogMessage(kEventTypeError, "%s", message.c_str());
        });
    auto startUp = [&] { return tool.Start(commandLine, std::move(parts.deviceChanges)); };
    std::optional<std::int32_t> code;
#if defined(QNL_WINDOW)
    // The window's start-up shows the tool at once, while it searches the controllers.
    code = window ? window->StartUp(startUp) : startUp();
    if (!code && window) {
        code = window->Exec(tool.dialog, tool.context,
                            MakePageViews(*tool.pages, tool.dialog, tool.context));
    }
#else
    code = startUp();
#endif
    if (parts.setDiagnosticSink) parts.setDiagnosticSink({});
#if defined(_WIN32)
    // Windows keeps the whole code as the process's exit code (a script sees -2 as -2).
    const int status = code.value_or(0);
#else
    // The process status carries the low 8 bits of the code (-2 ends as 254).
    const int status = code.value_or(0) & 0xFF;
#endif

    // The end waits a bounded time. A worker still blocked inside a backend call after that is
    // left alone: the process ends around it without destroying anything it may still use.
    constexpr auto kExitWait = std::chrono::seconds(10);
    if (!tool.Finish(kExitWait)) {
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(status);
    }
    return status;
}
