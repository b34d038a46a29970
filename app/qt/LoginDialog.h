// "Login": a "Password" edit of at most 7 masked characters, "Ok" and "Cancel". The answer is
// the typed text; the main window's core decides what it unlocks.
#pragma once

#include <QDialog>
#include <QLineEdit>

#include <optional>
#include <string>

#include "platform/OperatorPrompts.h"

namespace qnl {

class LoginDialog final : public QDialog {
    Q_OBJECT
  public:
    LoginDialog(const LoginQuestion& question, QWidget* parent = nullptr);
    QLineEdit& PasswordEdit() { return *password_; }

    // Shows the dialog modally: the typed text on "Ok" (or Enter), nullopt on "Cancel".
    static std::optional<std::string> Ask(QWidget* parent, const LoginQuestion& question);

  private:
    QLineEdit* password_ = nullptr;
};

}  // namespace qnl
