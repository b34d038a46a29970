#include "app/qt/PageViews.h"

#include "firmware/qt/UpgradePage.h"
#include "porttest/qt/FunTestPage.h"

namespace qnl {

std::array<QWidget*, 3> MakePageViews(WindowPages& pages, CQNL735_MPToolDlg& /*dialog*/,
                                      ToolContext& /*context*/) {
    // The device settings page's view plugs in here; the window owns the views.
    return {nullptr, new UpgradePage(pages.upgrade), new FunTestPage(pages.test)};
}

}  // namespace qnl
