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
    // `sharedClock`: run the tool on this clock instead of its own (a simulated station on the
    // same clock then sees the tool's waits pass).
    explicit ToolUnderTest(IQnlIo& io, std::string toolFolder = "/nonexistent-tool-folder",
                           ManualClock* sharedClock = nullptr, IClock* realClock = nullptr)
        : clock(sharedClock != nullptr ? *sharedClock : ownClock_), prompts(console) {
        // `realClock`: the tool runs on it instead (for runs whose threads must really wait).
        ToolEnvironment env{realClock != nullptr ? *realClock : static_cast<IClock&>(clock),
                            console, prompts, io};
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

  private:
    ManualClock ownClock_;

  public:
    ManualClock& clock;
    MemoryConsole console;
    ConsolePrompts prompts;
    MemoryEventStore events;
    std::unique_ptr<ToolContext> context;
};

}  // namespace qnl::test
