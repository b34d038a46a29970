// The upgrade and test pages of the main window, built over one tool and its window core, and
// the device changes the test page's port check follows.
//
// The composition root builds this after the window core and attaches the pages; console mode
// refreshes them from the settings like the window does (the test page's time-out rule prints
// its message), but starts no port check and follows no device change.
#pragma once

#include <memory>

#include "app/MPToolDlg.h"
#include "app/ToolContext.h"
#include "firmware/UpgradePageCore.h"
#include "platform/DeviceChange.h"
#include "porttest/FunTestPageCore.h"

namespace qnl {

class WindowPages {
  public:
    WindowPages(ToolContext& context, CQNL735_MPToolDlg& window);
    // Stops following device changes first, then the pages go (their threads waited for).
    ~WindowPages();
    WindowPages(const WindowPages&) = delete;
    WindowPages& operator=(const WindowPages&) = delete;

    // Window mode: device changes from `source` start the test page's port check. False (the
    // diagnostic log says why) when the source cannot watch; the window goes on without.
    bool FollowDeviceChanges(std::unique_ptr<IDeviceChangeSource> source);

    UpgradePageCore upgrade;
    FunTestPageCore test;

  private:
    ToolContext& ctx_;
    std::unique_ptr<IDeviceChangeSource> source_;
};

}  // namespace qnl
