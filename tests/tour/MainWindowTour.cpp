// The main window's steps of the screenshot tour: locked, the login, unlocked, the file chooser,
// the boxes, a run in the middle and after it with a failing host, each table layout.
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>

#include "Tour.h"
#include "app/qt/LoginDialog.h"
#include "app/qt/WindowApp.h"

namespace qnl::tour {
namespace {

const bool registered = [] {
    AddStep({100, "main-locked", [](Tour& t) {
                 // What start-up shows while it searches the controllers.
                 std::unique_ptr<QWidget> splash(NewStartUpSplash());
                 splash->show();
                 t.Settle();
                 t.Shot("start-up-splash", splash.get());
                 splash.reset();
                 t.Shot("main-locked");
             }});
    AddStep({110, "login", [](Tour& t) {
                 t.WhenDialogShown("login", [](QDialog& dialog) {
                     if (auto* login = qobject_cast<LoginDialog*>(&dialog))
                         login->PasswordEdit().setText("KORVATE");
                     dialog.accept();
                 });
                 t.Window().Button(kCtlUnlock).click();
                 t.Settle();
                 t.Shot("main-unlocked");
             }});
    AddStep({120, "load-ini-chooser", [](Tour& t) {
                 t.WhenDialogShown("load-ini-chooser", [](QDialog& dialog) { dialog.reject(); });
                 t.Window().Button(kCtlLoadIni).click();
                 t.Settle();
             }});
    AddStep({130, "debug-log-box", [](Tour& t) {
                 t.WhenDialogShown("debug-log-box", [](QDialog& dialog) { dialog.accept(); });
                 t.Window().Button(kCtlDebugLog).click();
                 t.Settle();
             }});
    AddStep({140, "create-new-file-box", [](Tour& t) {
                 t.WhenDialogShown("create-new-file-box", [](QDialog& dialog) { dialog.accept(); });
                 t.Window().Button(kCtlCreateNewFile).click();
                 t.Settle();
             }});
    AddStep({150, "about", [](Tour& t) {
                 t.WhenDialogShown("about", [](QDialog& dialog) { dialog.accept(); });
                 t.Window().ShowAbout();
                 t.Settle();
             }});
    AddStep({160, "run", [](Tour& t) {
                 t.AcceptDialogsAs("run-message", true);
                 t.Window().Button(kCtlStart).click();
                 // In the middle: the cells read "doing", the progress bar moves.
                 t.WaitFor([&] { return t.Window().ProgressBar().value() >= 12; }, 5000);
                 t.Shot("main-mid-run");
                 if (!t.WaitFor([&] { return !t.Window().Timer1().isActive(); }, 180000))
                     std::fprintf(stderr, "tour: the run did not end\n");
                 t.AcceptDialogsAs("run-message", false);
                 // The failing host's row selected: its FAIL stays red.
                 t.Window().Table().selectRow(1);
                 t.Settle();
                 t.Shot("main-after-run-fail");
             }});
    AddStep({170, "table-layouts", [](Tour& t) {
                 t.Window().Tabs().setCurrentIndex(1);
                 t.Settle();
                 t.Shot("upgrade-tab");
                 t.Window().Tabs().setCurrentIndex(2);
                 t.Settle();
                 t.Shot("test-tab");
                 t.Window().Tabs().setCurrentIndex(0);
                 t.Settle();
             }});
    return true;
}();

}  // namespace
}  // namespace qnl::tour
