// A fresh tool over a given I/O library, with a manual clock, a memory console and a memory
// event store, for tests that drive the core directly.
#pragma once

#include <memory>
#include <string>

#include "app/ToolContext.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/EventStore.h"
#include "platform/OperatorPrompts.h"

namespace qnl::test {

class ToolUnderTest {
public:
    explicit ToolUnderTest(IQnlIo& io, std::string toolFolder = "/nonexistent-tool-folder")
        : prompts(console) {
        ToolEnvironment env{clock, console, prompts, io};
        env.eventStore = &events;
        env.toolFolder = std::move(toolFolder);
        env.currentFolder = env.toolFolder;
        env.userName = "tester";
        context = std::make_unique<ToolContext>(env);
    }

    // Texts of all diagnostic events so far, joined.
    std::string LogText() {
        std::string all;
        for (const auto& e : events.ReadAll()) all += e.text;
        return all;
    }

    ManualClock clock;
    MemoryConsole console;
    ConsolePrompts prompts;
    MemoryEventStore events;
    std::unique_ptr<ToolContext> context;
};

}  // namespace qnl::test
