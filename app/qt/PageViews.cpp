#include "app/qt/PageViews.h"

namespace qnl {

std::array<QWidget*, 3> MakePageViews(WindowPages& /*pages*/, CQNL735_MPToolDlg& /*dialog*/,
                                      ToolContext& /*context*/) {
    // The device settings, upgrade and test pages' views plug in here.
    return {nullptr, nullptr, nullptr};
}

}  // namespace qnl
