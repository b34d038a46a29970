// The pages' views, in tab order, over the pages' cores: what the main window shows in its
// tabs. A null entry is a page without a view yet (the window shows a placeholder).
#pragma once

#include <QWidget>

#include <array>

#include "app/WindowPages.h"

namespace qnl {

std::array<QWidget*, 3> MakePageViews(WindowPages& pages, CQNL735_MPToolDlg& dialog,
                                      ToolContext& context);

}  // namespace qnl
