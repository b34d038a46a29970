// The window's side of the composition root on Windows: the common controls, the prompts that
// show dialogs, the start-up window and the main window's message loop. Used for an empty
// command line (and one that asks the console for nothing); console runs never make one.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "app/MPToolDlg.h"
#include "app/WindowPages.h"
#include "app/win/PageView.h"
#include "app/win/WinPrompts.h"

namespace qnl {

class WindowApp {
  public:
    // The arguments are the Qt window's; the system's controls need none.
    WindowApp(int& argc, char** argv);
    ~WindowApp();

    // The prompts for the tool's environment (start-up's boxes come before the main window).
    win::WinPrompts& Prompts() { return *prompts_; }

    // Runs start-up (`startUp`: the settings load, the driver, discovery) on a thread of its
    // own while a small window says "Searching controllers…", so that the operator sees the
    // tool at once; start-up's boxes are shown over it. Returns what `startUp` returns.
    std::optional<std::int32_t> StartUp(
        const std::function<std::optional<std::int32_t>()>& startUp);

    // Shows the main window with the pages' views and runs the message loop until the window
    // is closed. Returns the exit code.
    int Exec(CQNL735_MPToolDlg& dialog, ToolContext& context, win::PageViewFactories pages);

  private:
    std::unique_ptr<win::WinPrompts> prompts_;
};

// The pages' views, in tab order, over the pages' cores.
win::PageViewFactories MakePageViews(WindowPages& pages, CQNL735_MPToolDlg& dialog,
                                     ToolContext& context);

}  // namespace qnl
