#include "app/qt/PageViews.h"

#include "app/qt/PageDeviceView.h"

namespace qnl {

std::array<QWidget*, 3> MakePageViews(WindowPages& pages, CQNL735_MPToolDlg& /*dialog*/,
                                      ToolContext& context) {
    // The device settings, upgrade and test pages' views plug in here. The "Setting Register"
    // dialog belongs to the window the page sits in (the main window).
    return {new PageDeviceView(pages.device, context.setReg), nullptr, nullptr};
}

}  // namespace qnl
