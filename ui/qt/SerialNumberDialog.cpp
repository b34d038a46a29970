#include "ui/qt/SerialNumberDialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

namespace qnl {

int CaretAfterFilter(const std::string& typed, int caret, const std::string& kept) {
    // Walk the typed text up to the caret, matching the characters that stayed (in order).
    int stayed = 0;
    std::size_t k = 0;
    for (int i = 0; i < caret && static_cast<std::size_t>(i) < typed.size(); ++i) {
        if (k < kept.size() && std::toupper(static_cast<unsigned char>(typed[i])) == kept[k]) {
            ++k;
            ++stayed;
        }
    }
    return std::min<int>(stayed, static_cast<int>(kept.size()));
}

SerialNumberDialog::SerialNumberDialog(ISerialNumberEntry& entry, QWidget* parent)
    : QDialog(parent), entry_(entry), edit_(new QLineEdit(this)) {
    setWindowTitle(tr("Serial Number Entering"));
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    auto* label = new QLabel(tr("Serial Number :"), this);
    label->setBuddy(edit_);
    edit_->setAccessibleName(tr("Serial Number :"));
    edit_->setMinimumWidth(220);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(edit_);
    connect(edit_, &QLineEdit::textChanged, this, &SerialNumberDialog::OnTextChanged);
    entry_.OnInitDialog();
    qApp->installEventFilter(this);
}

void SerialNumberDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    raise();
    activateWindow();
    edit_->setFocus();
}

void SerialNumberDialog::OnTextChanged(const QString& text) {
    const std::string typed = text.toStdString();
    const std::string shown = entry_.OnEnChangeEdit(typed);
    if (shown == typed) return;
    const int caret = CaretAfterFilter(typed, edit_->cursorPosition(), shown);
    QSignalBlocker blocker(edit_);
    edit_->setText(QString::fromStdString(shown));
    edit_->setCursorPosition(caret);
}

void SerialNumberDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Enter is consumed: it accepts a long enough number, else the edit starts over.
        if (entry_.OnEnter()) {
            qApp->removeEventFilter(this);
            accept();
        } else {
            QSignalBlocker blocker(edit_);
            edit_->clear();
        }
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool SerialNumberDialog::eventFilter(QObject* watched, QEvent* event) {
    // A key aimed at another window or widget while the dialog is up goes to the edit (the
    // scanner types blindly).
    if (event->type() == QEvent::KeyPress && watched != edit_ && isVisible()) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter ||
            key->key() == Qt::Key_Escape) {
            if (watched != this) {
                keyPressEvent(key);
                return true;
            }
            return false;
        }
        if (watched != this && qobject_cast<QWidget*>(watched) != nullptr) {
            edit_->setFocus();
            QApplication::sendEvent(edit_, event);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void SerialNumberDialog::reject() {
    qApp->removeEventFilter(this);
    entry_.OnCancel();
    QDialog::reject();
}

bool RunSerialNumberDialog(ISerialNumberEntry& entry, QWidget* parent) {
    SerialNumberDialog dialog(entry, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace qnl
