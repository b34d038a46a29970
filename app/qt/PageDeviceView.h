// The device settings page (" MainPage ") as widgets over its core, PageDevice: every control
// of the core's table, the hidden ones created and hidden, the extended block hidden with its
// room kept (showing it moves nothing), and the "Setting Register" dialog on " Reg Setting".
#pragma once

#include <QWidget>

#include <map>

#include "app/PageDevice.h"
#include "app/SetRegDialog.h"
#include "ui/qt/ControlBinder.h"

class QGridLayout;
class QLineEdit;

namespace qnl {

class PageDeviceView final : public QWidget {
    Q_OBJECT
  public:
    // `dialogParent`: the window the "Setting Register" dialog belongs to (the main window;
    // a dialog parented to a page inside a disabled tab widget could not be used).
    PageDeviceView(PageDevice& core, SET_REG& registerList, QWidget* dialogParent = nullptr,
                   QWidget* parent = nullptr);
    ~PageDeviceView() override;

    PageDevice& Core() { return core_; }
    // The widget of a control (tests, the screenshot tour).
    QWidget* Widget(ControlId id) const { return binder_.Widget(id); }
    // Runs the "Setting Register" dialog modally, as " Reg Setting" does.
    void RunRegisterDialog();
    // Set while the dialog runs (for the screenshot tour); null otherwise.
    QWidget* OpenRegisterDialog() const { return openDialog_; }

  private:
    QWidget* Check(ControlId id);
    QWidget* Button(ControlId id);
    QWidget* Radio(ControlId id);
    QWidget* Edit(ControlId id);
    QWidget* Combo(ControlId id);
    QWidget* Label(ControlId id, QWidget* buddy = nullptr);
    QWidget* BuildFirmware();
    QWidget* BuildConfiguration();
    QWidget* BuildTests();
    QWidget* BuildTuning();
    QWidget* BuildExtended();

    PageDevice& core_;
    SET_REG& registerList_;
    QWidget* dialogParent_;
    ControlBinder binder_;
    SetRegDialog registerDialog_;
    QWidget* openDialog_ = nullptr;
};

}  // namespace qnl
