// What a page asks of the main window it sits in: the page cores live below the main window's
// core, so the composition root hands them these calls. Each may be empty (nothing happens), so
// a page core also works alone, in console mode and in tests.
#pragma once

#include <cstdint>
#include <functional>

namespace qnl {

struct IniSettings;

// The pages of the tab control.
inline constexpr std::uint8_t kPageMain = 0;
inline constexpr std::uint8_t kPageUpgrade = 1;
inline constexpr std::uint8_t kPageTest = 2;

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
    // A page's own run (the upgrade page's "Upgrade", a test button of the test page) through
    // the tool's run object, on the calling thread, which holds the hardware session: `page`
    // the page (1 upgrade, 2 test), `items` its run's items (the update and check bits, or the
    // one test), `settings` the values taken when the button was pressed.
    std::function<void(std::uint8_t page, std::uint8_t items, const IniSettings& settings)>
        RunPageItems;
};

}  // namespace qnl
