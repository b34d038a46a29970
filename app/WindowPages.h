// The pages' cores of one tool, in tab order, attached to its main window. The composition
// root (main.cpp) and the screenshot tour build them the same way; a page issue adds its core
// here, and its view in app/qt/PageViews.cpp.
#pragma once

#include "app/MPToolDlg.h"
#include "app/PageDevice.h"
#include "app/ToolContext.h"

namespace qnl {

struct WindowPages {
    explicit WindowPages(ToolContext& context) : device(context) {}
    WindowPages(const WindowPages&) = delete;
    WindowPages& operator=(const WindowPages&) = delete;

    // Attaches the pages to the window's core; a page without a core stays a placeholder.
    // The device page reaches the window through its hooks: Start's enable rule after a
    // browse, "Firmware Info" and the extended-access flag.
    void AttachTo(CQNL735_MPToolDlg& dialog) {
        dialog.AttachPages(&device, nullptr, nullptr);
        device.SetMainWindowHooks({[&dialog] { dialog.vEnableStartGUI(); },
                                   [&dialog] { dialog.OnBnClickedButtonFWInfo(); },
                                   [&dialog] { return dialog.ExtendedAccess(); }});
    }

    PageDevice device;
};

}  // namespace qnl
