// qnlmptool: composition root. Chooses the I/O backend and the clock, builds one tool and runs
// it. Any command line runs the tool in console mode.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/MPToolDlg.h"
#include "app/ToolContext.h"
#include "platform/Files.h"
#include "platform/SystemInfo.h"
#include "qnlio/Backend.h"
#include "qnlio/sim/SimStation.h"

int main(int argc, char** argv) {
    using namespace qnl;

    std::vector<std::string> arguments(argv + 1, argv + argc);
    const std::string commandLine = GatherCommandLine(arguments);
    const std::string toolFolder = files::ExecutableFolder();

    // The I/O backend, and with it the clock: the simulated station may run on a scaled clock.
    std::unique_ptr<RealClock> clock;
    std::unique_ptr<IQnlIo> io;
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
                io = std::make_unique<sim::SimStation>(std::move(*station), *clock);
            }
            break;
        }
        case BackendChoice::Kind::Linux:
        case BackendChoice::Kind::Dll:
            backendError = "QNLIO_BACKEND: this backend is not available in this version";
            break;
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
    ConsolePrompts prompts(console);
    FileEventStore eventStore(files::Join(files::Join(toolFolder, "log"), "events.log"));
    ToolEnvironment environment{*clock, console, prompts, *io};
    environment.eventStore = &eventStore;
    environment.toolFolder = toolFolder;
    environment.currentFolder = files::CurrentFolder();
    environment.userName = files::CurrentUserName();
    environment.languageId = SystemLanguageId();

    ToolContext context(environment);
    CQNL735_MPToolDlg dialog(context);
    const std::optional<std::int32_t> code = dialog.OnInitDialog(commandLine);
    // The process status carries the low 8 bits of the code (-2 ends as 254).
    return code.value_or(0) & 0xFF;
}
