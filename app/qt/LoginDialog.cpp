#include "app/qt/LoginDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace qnl {

LoginDialog::LoginDialog(const LoginQuestion& question, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromStdString(question.caption));
    setObjectName("LoginDialog");
    auto* label = new QLabel(QString::fromStdString(question.passwordLabel), this);
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    password_->setMaxLength(static_cast<int>(question.maxLength));
    password_->setAccessibleName(QString::fromStdString(question.passwordLabel));
    label->setBuddy(password_);
    auto* ok = new QPushButton(QString::fromStdString(question.acceptText), this);
    auto* cancel = new QPushButton(QString::fromStdString(question.cancelText), this);
    ok->setDefault(true);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(ok, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancel, QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QGridLayout(this);
    layout->addWidget(label, 0, 0);
    layout->addWidget(password_, 0, 1);
    layout->addWidget(buttons, 1, 0, 1, 2);
    password_->setMinimumWidth(password_->fontMetrics().horizontalAdvance(QChar('W')) * 10);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    password_->setFocus();
}

std::optional<std::string> LoginDialog::Ask(QWidget* parent, const LoginQuestion& question) {
    LoginDialog dialog(question, parent);
    // On "Ok" the dialog comes to the front before its text is taken.
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.PasswordEdit().text().toStdString();
}

}  // namespace qnl
