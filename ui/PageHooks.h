// What a page asks of the main window it sits in: the page cores live below the main window's
// core, so the composition root hands them these calls. Each may be empty (nothing happens), so
// a page core also works alone, in console mode and in tests.
#pragma once

#include <functional>

namespace qnl {

struct MainWindowHooks {
    // Clears the result table's host information (vClearCtrlListHostInfoTable).
    std::function<void()> vClearCtrlListHostInfoTable;
    // Disables the main window's controls and its pages' (vDisableAllGUI) for a page run.
    std::function<void()> vDisableAllGUI;
    // Lets the main window enable Start when its rule allows (vEnableStartGUI).
    std::function<void()> vEnableStartGUI;
    // Starts the main window's timer 1 (80 ms, the progress bar) for a page run; the timer
    // restores the window once `runEnded` returns true (called on the timer's thread).
    std::function<void(std::function<bool()> runEnded)> StartPageRunTimer;
    // The main window's "Firmware Info" (the pages' buttons of that name call it).
    std::function<void()> OnBnClickedButtonFWInfo;
    // Whether the main window grants extended access (the device page's extended block).
    std::function<bool()> ExtendedAccess;
};

}  // namespace qnl
