// "Serial Number Entering": the serial-number scan as a dialog over its logic
// (ISerialNumberEntry, ui/SerialNumber.h). One edit and its label, no visible button: Enter
// accepts a long enough number (a short one empties the edit for the next scan), Escape or
// closing cancels. Every key pressed while the dialog is up lands in the edit.
#pragma once

#include <QDialog>

#include "platform/OperatorPrompts.h"

class QLineEdit;

namespace qnl {

class SerialNumberDialog : public QDialog {
    Q_OBJECT
  public:
    SerialNumberDialog(ISerialNumberEntry& entry, QWidget* parent = nullptr);
    QLineEdit* Edit() const { return edit_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void reject() override;

  private:
    void OnTextChanged(const QString& text);

    ISerialNumberEntry& entry_;
    QLineEdit* edit_;
};

// Runs the dialog modally on the GUI thread; true when a number was accepted.
bool RunSerialNumberDialog(ISerialNumberEntry& entry, QWidget* parent);

// Where the caret goes after the edit was filtered: its old place less the characters dropped
// before it.
int CaretAfterFilter(const std::string& typed, int caret, const std::string& kept);

}  // namespace qnl
