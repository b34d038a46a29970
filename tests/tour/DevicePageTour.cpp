// The device settings page's steps of the screenshot tour: the page with extended access
// ("LUMBIX"), the "Setting Register" dialog as it opens and with 3 rows on, and the "ExtSet" box.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "Tour.h"
#include "app/qt/LoginDialog.h"
#include "app/qt/PageDeviceView.h"
#include "app/qt/SetRegDialogView.h"

namespace qnl::tour {
namespace {

PageDeviceView* Page(Tour& t) {
    return t.Window().findChild<PageDeviceView*>();
}

void Click(Tour& t, ControlId id) {
    if (auto* button = qobject_cast<QAbstractButton*>(Page(t)->Widget(id))) button->click();
}

const bool registered = [] {
    AddStep({200, "device-page-lumbix", [](Tour& t) {
                 t.Window().Tabs().setCurrentIndex(0);
                 // Lock, then unlock with extended access.
                 if (t.Dialog().Unlocked()) t.Window().Button(kCtlUnlock).click();
                 t.WhenDialogShown("login-lumbix", [](QDialog& dialog) {
                     if (auto* login = qobject_cast<LoginDialog*>(&dialog))
                         login->PasswordEdit().setText("LUMBIX");
                     dialog.accept();
                 });
                 t.Window().Button(kCtlUnlock).click();
                 t.Settle();
                 t.Shot("device-page-lumbix");
             }});
    AddStep(
        {210, "setting-register", [](Tour& t) {
             if (Page(t) == nullptr) return;
             if (!t.Context().setReg.m_ucManualSetting) Click(t, PageDevice::kCheckManual);
             t.WhenDialogShown("setting-register", [&t](QDialog& dialog) {
                 auto* view = qobject_cast<SetRegDialogView*>(&dialog);
                 if (view != nullptr) {
                     auto* number =
                         qobject_cast<QLineEdit*>(view->Widget(SetRegDialog::kEditNumber));
                     number->setText("3");
                     const char* rows[3][2] = {{"1A", "5"}, {"2B3C", "1234"}, {"44", "ABCDEF01"}};
                     for (int r = 0; r < 3; ++r) {
                         qobject_cast<QComboBox*>(view->Widget(SetRegDialog::Bytes(r)))
                             ->setCurrentIndex(r);
                         qobject_cast<QLineEdit*>(view->Widget(SetRegDialog::Address(r)))
                             ->setText(rows[r][0]);
                         qobject_cast<QLineEdit*>(view->Widget(SetRegDialog::Value(r)))
                             ->setText(rows[r][1]);
                     }
                     t.Settle();
                     t.Shot("setting-register-3-rows", &dialog);
                 }
                 dialog.reject();  // "取消": the list is emptied again
             });
             Click(t, PageDevice::kButtonRegSetting);
             t.Settle();
         }});
    AddStep({220, "extset", [](Tour& t) {
                 if (Page(t) == nullptr) return;
                 Click(t, PageDevice::kCheckExternal);
                 Click(t, PageDevice::kCheckBattery);
                 Click(t, PageDevice::kCheckBatteryA);
                 Click(t, PageDevice::kCheckDisablePort);
                 t.Settle();
                 t.Shot("device-page-external-on");
                 t.WhenDialogShown("extset-box", [](QDialog& dialog) { dialog.accept(); });
                 Click(t, PageDevice::kButtonExtSet);
                 t.Settle();
             }});
    return true;
}();

}  // namespace
}  // namespace qnl::tour
