// The pages' cores of one tool, in tab order, attached to its main window, and the device
// changes the test page's port check follows. Built by ToolAssembly; a page's view goes in
// app/qt/PageViews.cpp.
//
// Console mode refreshes the pages from the settings like the window does (start-up has
// already validated what was loaded, settings/SettingsValidation.h, so the refreshes tell
// nothing), but starts no port check and follows no device change.
#pragma once

#include <memory>

#include "app/MPToolDlg.h"
#include "app/PageDevice.h"
#include "app/ToolContext.h"
#include "firmware/UpgradePageCore.h"
#include "platform/DeviceChange.h"
#include "porttest/FunTestPageCore.h"

namespace qnl {

class WindowPages {
  public:
    // The upgrade and test pages ask `window` for its hooks and its window lock.
    WindowPages(ToolContext& context, CQNL735_MPToolDlg& window);
    // Stops following device changes first, then the pages go (their threads waited for).
    ~WindowPages();
    WindowPages(const WindowPages&) = delete;
    WindowPages& operator=(const WindowPages&) = delete;

    // Attaches the three pages to the window's core: the device page reaches the window through
    // its hooks (Start's enable rule after a browse, "Firmware Info", the extended-access
    // flag); the test page's Reflash and port check serve the window's Rescan and start-up.
    void AttachTo(CQNL735_MPToolDlg& dialog);

    // Window mode: device changes from `source` start the test page's port check. False (the
    // diagnostic log says why) when the source cannot watch; the window goes on without.
    bool FollowDeviceChanges(std::unique_ptr<IDeviceChangeSource> source);

    PageDevice device;
    UpgradePageCore upgrade;
    FunTestPageCore test;

  private:
    ToolContext& ctx_;
    std::unique_ptr<IDeviceChangeSource> source_;
};

}  // namespace qnl
