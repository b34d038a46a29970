// A tool over a scripted I/O library, in a temporary tool folder, whose message boxes are
// recorded, with the device settings page's core over it: for the page's rule and view tests.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "app/PageDevice.h"
#include "support/RecordingPrompts.h"
#include "support/ScriptedIo.h"

namespace qnl::test {

// Main-window hooks with one member set, the others empty.
template <typename Member, typename Call>
MainWindowHooks HooksWith(Member MainWindowHooks::*member, Call call) {
    MainWindowHooks hooks;
    hooks.*member = std::move(call);
    return hooks;
}

class PageBench {
  public:
    PageBench() {
        folder_ = (std::filesystem::temp_directory_path() / "qnl-page-XXXXXX").string();
        if (::mkdtemp(folder_.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        ToolEnvironment env{clock, console, prompts, io};
        env.eventStore = &events;
        env.toolFolder = folder_;
        env.currentFolder = folder_;
        context = std::make_unique<ToolContext>(env);
        page = std::make_unique<PageDevice>(*context);
    }
    ~PageBench() {
        page.reset();
        context.reset();
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    PageBench(const PageBench&) = delete;
    PageBench& operator=(const PageBench&) = delete;

    const std::string& Folder() const { return folder_; }

    ScriptedIo io;
    ManualClock clock;
    MemoryConsole console;
    RecordingPrompts prompts;
    MemoryEventStore events;
    std::unique_ptr<ToolContext> context;
    std::unique_ptr<PageDevice> page;

  private:
    std::string folder_;
};

}  // namespace qnl::test
