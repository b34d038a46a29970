// The window's side of the composition root: the QApplication (Fusion style, DejaVu Sans 9 pt),
// the prompts that show dialogs, and the main window's event loop. Built only for an empty
// command line: console runs never need a display.
#pragma once

#include <QApplication>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "app/MPToolDlg.h"
#include "app/qt/QtPrompts.h"

namespace qnl {

class WindowApp {
  public:
    WindowApp(int& argc, char** argv);
    ~WindowApp();

    // The prompts for the tool's environment (start-up's boxes come before the window).
    QtPrompts& Prompts() { return *prompts_; }

    // Runs start-up (`startUp`: the settings load, the driver, discovery) on a thread of its
    // own while a small window says "Searching controllers…", so that the operator sees the
    // tool at once, also while a hung controller is waited for; start-up's boxes are shown
    // over it. Returns what `startUp` returns.
    std::optional<std::int32_t> StartUp(
        const std::function<std::optional<std::int32_t>()>& startUp);

    // Shows the main window with the pages' views (the window owns them; null: a
    // placeholder) and runs the event loop until the window is closed. Returns the exit code.
    int Exec(CQNL735_MPToolDlg& dialog, ToolContext& context, std::array<QWidget*, 3> pages);

  private:
    std::unique_ptr<QApplication> app_;
    std::unique_ptr<QtPrompts> prompts_;
};

// What every window of the tool looks like: the Fusion style and DejaVu Sans 9 pt.
void ApplyWindowLook();

// The window shown while start-up searches the controllers (owned by the caller).
QWidget* NewStartUpSplash();

}  // namespace qnl
