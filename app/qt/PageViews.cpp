#include "app/qt/PageViews.h"

#include "app/qt/PageDeviceView.h"
#include "firmware/qt/UpgradePage.h"
#include "porttest/qt/FunTestPage.h"

namespace qnl {

std::array<QWidget*, 3> MakePageViews(WindowPages& pages, CQNL735_MPToolDlg& /*dialog*/,
                                      ToolContext& context) {
    // The pages' views, owned by the window. The "Setting Register" dialog belongs to the
    // window the device page sits in (the main window).
    return {new PageDeviceView(pages.device, context.setReg), new UpgradePage(pages.upgrade),
            new FunTestPage(pages.test)};
}

}  // namespace qnl
