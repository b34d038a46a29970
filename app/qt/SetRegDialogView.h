// The "Setting Register" dialog as widgets over its core (SetRegDialog): "Number of Register : "
// with a digits-only edit, 16 rows "Bytes" / "Address" / "Value", "Save" (the default button,
// so Enter saves) and "取消". Escape and the close box cancel, as "取消" does.
#pragma once

#include <QDialog>

#include "app/SetRegDialog.h"
#include "ui/qt/ControlBinder.h"

namespace qnl {

class SetRegDialogView final : public QDialog {
    Q_OBJECT
  public:
    // Opens the dialog's core (OnInitDialog) and shows its state.
    SetRegDialogView(SetRegDialog& core, QWidget* parent = nullptr);
    ~SetRegDialogView() override;

    QWidget* Widget(ControlId id) const { return binder_.Widget(id); }

  public slots:
    void reject() override;

  private:
    void OnSave();

    SetRegDialog& core_;
    ControlBinder binder_;
    bool ended_ = false;  // the core already ended the dialog
};

}  // namespace qnl
