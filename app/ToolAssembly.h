// One running tool built from its environment: the context, the main window's core and the
// pages attached to it, built in this order and taken down in the reverse order after a run
// still going has been stopped. The composition root (main.cpp), the screenshot tour, the
// window measurement, the benchmarks and the window tests build their tool here.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/MPToolDlg.h"
#include "app/ToolContext.h"
#include "app/WindowPages.h"
#include "platform/DeviceChange.h"

namespace qnl {

class ToolAssembly {
  public:
    // What is built over the context: the main window's core with the tool's pages attached,
    // or the core alone (for tests that attach pages of their own).
    enum class Parts { WindowAndPages, WindowOnly };

    explicit ToolAssembly(const ToolEnvironment& environment, Parts parts = Parts::WindowAndPages);
    // Stops a run still going (at most kRunStopWait), then the pages, the main window's core
    // and the context go, in that order.
    ~ToolAssembly();
    ToolAssembly(const ToolAssembly&) = delete;
    ToolAssembly& operator=(const ToolAssembly&) = delete;

    // Start-up with the gathered command line (empty: the window). When the tool goes on as
    // the window, the test page follows `deviceChanges` (null: none). Returns the exit code
    // when start-up ends the tool.
    std::optional<std::int32_t> Start(const std::string& commandLine,
                                      std::unique_ptr<IDeviceChangeSource> deviceChanges = {});

    // The end of the process: stops a run still going and waits at most `exitWait` for every
    // worker thread of the process. False (logged) when one is still blocked inside a backend
    // call: what it uses must then stay alive, so the caller ends the process without
    // destroying the assembly or its environment.
    bool Finish(std::chrono::milliseconds exitWait);

  private:
    // First: everything below refers into them.
    std::unique_ptr<ToolContext> context_;
    std::unique_ptr<CQNL735_MPToolDlg> dialog_;
    std::unique_ptr<WindowPages> pages_;

  public:
    ToolContext& context;
    CQNL735_MPToolDlg& dialog;
    WindowPages* const pages;  // null with Parts::WindowOnly
};

}  // namespace qnl
