// The screenshot tour: the real window over a simulated station with a failing host, walked
// step by step, a PNG of every top-level window and dialog on the way.
//
// A page or dialog adds its own steps in a file of this folder:
//
//   static const bool registered = qnl::tour::AddStep(
//       {300, "upgrade-page", [](qnl::tour::Tour& t) {
//            t.Window().Tabs().setCurrentIndex(1);
//            t.Settle();
//            t.Shot("upgrade-page");
//        }});
//
// Steps run in the order of their numbers (the main window's are 100..199 before the pages,
// 900.. after them). A modal dialog is shot with WhenDialogShown before the call that opens it.
#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>

#include <functional>
#include <string>

#include "app/MPToolDlg.h"
#include "app/ToolContext.h"
#include "app/WindowPages.h"
#include "app/qt/MainWindowView.h"
#include "app/qt/QtPrompts.h"

namespace qnl::tour {

class Tour {
  public:
    virtual ~Tour() = default;
    virtual MainWindowView& Window() = 0;
    virtual CQNL735_MPToolDlg& Dialog() = 0;
    virtual ToolContext& Context() = 0;
    virtual WindowPages& Pages() = 0;
    virtual QtPrompts& Prompts() = 0;

    // Saves "<NN>-<name>.png" of `widget` (the main window when null) in the tour's folder.
    virtual void Shot(const std::string& name, QWidget* widget = nullptr) = 0;
    // Lets queued updates and painting happen (about 100 ms).
    virtual void Settle() = 0;
    // Processes events until `done` holds or `ms` pass; false on time-out.
    virtual bool WaitFor(const std::function<bool()>& done, int ms) = 0;
    // The next dialog (a QDialog top-level window that appears) is shot as `name`, then `act`
    // closes it (accept, reject, type into it).
    virtual void WhenDialogShown(const std::string& name,
                                 std::function<void(QDialog& dialog)> act) = 0;
    // While on, every dialog that appears unasked (a run's message boxes) is shot as
    // "<prefix>-<n>" and accepted, so a worker waiting behind it goes on.
    virtual void AcceptDialogsAs(const std::string& prefix, bool on) = 0;
};

struct Step {
    int order;
    std::string name;
    std::function<void(Tour&)> run;
};

bool AddStep(Step step);

}  // namespace qnl::tour
