// The upgrade and test pages' steps of the screenshot tour, and the serial-number dialog: each
// page idle, in the middle of its own run and after it (the tour's station has a failing host),
// "Reflash", and "Serial Number Entering" with a scan typed into it.
#include <QAbstractButton>
#include <QLineEdit>

#include "Tour.h"
#include "firmware/UpgradePageCore.h"
#include "porttest/FunTestPageCore.h"
#include "qnlio/sim/SimStation.h"
#include "ui/SerialNumber.h"
#include "ui/qt/SerialNumberDialog.h"

namespace qnl::tour {
namespace {

// The page's button with this caption (the views name their widgets by what they show).
QAbstractButton* Button(QWidget* page, const QString& caption) {
    for (auto* b : page->findChildren<QAbstractButton*>())
        if (b->text() == caption && !b->isCheckable()) return b;
    return nullptr;
}

void RunPage(Tour& t, int tab, const QString& caption, const std::string& name) {
    t.Window().Tabs().setCurrentIndex(tab);
    t.Settle();
    QWidget* page = t.Window().Tabs().currentWidget();
    // A test switched off in the settings: its enable check first.
    for (auto* check : page->findChildren<QAbstractButton*>())
        if (check->isCheckable() && check->text() == caption && !check->isChecked() &&
            check->isVisible())
            check->click();
    t.Settle();
    QAbstractButton* start = Button(page, caption);
    if (start == nullptr || !start->isEnabled()) {
        std::fprintf(stderr, "tour: %s is not there or not enabled\n", name.c_str());
        return;
    }
    t.AcceptDialogsAs(name + "-message", true);
    start->click();
    t.Settle();  // the cells read "doing", the window is off
    t.Shot(name + "-mid-run");
    if (!t.WaitFor([&] { return !t.Window().Timer1().isActive(); }, 180000))
        std::fprintf(stderr, "tour: %s did not end\n", name.c_str());
    t.AcceptDialogsAs(name + "-message", false);
    t.Window().Table().selectRow(1);  // the failing host
    t.Settle();
    t.Shot(name + "-after-run");
}

const bool registered = [] {
    AddStep({300, "upgrade-page", [](Tour& t) {
                 t.Window().Tabs().setCurrentIndex(1);
                 t.Settle();
                 t.Shot("upgrade-page");
             }});
    AddStep({310, "upgrade-run",
             [](Tour& t) { RunPage(t, 1, "Firmware Upgrade", "upgrade-page-run"); }});
    AddStep({400, "test-page", [](Tour& t) {
                 t.Window().Tabs().setCurrentIndex(2);
                 t.Settle();
                 t.Shot("test-page");
                 // Host 0 gets a SuperSpeedPlus device in Port 1 and a high-speed one in USB 2.0
                 // Port 1; "Reflash" finds them.
                 if (auto* station = dynamic_cast<sim::SimStation*>(&t.Context().io)) {
                     std::string error;
                     sim::UsbAttachment superPlus;
                     superPlus.speed = sim::UsbSpeed::kSuperPlus;
                     sim::UsbAttachment high;
                     station->Plug(0, 1, superPlus, error);
                     station->Plug(0, 3, high, error);
                 }
                 QWidget* page = t.Window().Tabs().currentWidget();
                 if (QAbstractButton* reflash = Button(page, "Reflash")) {
                     reflash->click();
                     t.WaitFor([&] { return !t.Pages().test.Checks().Running(); }, 60000);
                     t.Settle();
                     t.Shot("test-page-after-reflash");
                 }
             }});
    AddStep({410, "test-run", [](Tour& t) {
                 // USB 3.0 on Port 1: host 0 has its device there, host 1 has none (FAIL).
                 t.Window().Tabs().setCurrentIndex(2);
                 t.Settle();
                 for (auto* box :
                      t.Window().Tabs().currentWidget()->findChildren<QAbstractButton*>())
                     if (box->isCheckable() &&
                         (box->text() == "USB 3.0" || box->text() == "Port 1") && !box->isChecked())
                         box->click();
                 RunPage(t, 2, "Signal Line Test", "test-page-run");
             }});
    AddStep({500, "serial-number", [](Tour& t) {
                 t.WhenDialogShown("serial-number", [&t](QDialog& dialog) {
                     if (auto* sn = qobject_cast<SerialNumberDialog*>(&dialog))
                         for (QChar c : QString("12-34 ab"))
                             sn->Edit()->insert(QString(c));  // as typed
                     t.Settle();
                     t.Shot("serial-number-typed", &dialog);
                     dialog.reject();  // Escape: the run would report the failed scan
                 });
                 std::string serial;
                 CSNDlg entry(t.Context().g_Utility, serial, 0);
                 RunSerialNumberDialog(entry, &t.Window());
                 t.Settle();
             }});
    return true;
}();

}  // namespace
}  // namespace qnl::tour
