#include "app/qt/QtPrompts.h"

#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QSpacerItem>
#include <QThread>

#include "app/qt/LoginDialog.h"

namespace qnl {

QString QtFileFilter(const std::string& windowsFilter) {
    // Pairs of description and pattern; the description already names the pattern.
    const QStringList parts = QString::fromStdString(windowsFilter).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        if (!parts[i].isEmpty()) filters << parts[i];
    return filters.join(";;");
}

QString BoxText(const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.replace("\r\n", "\n");
    return shown;
}

namespace {

QMessageBox::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Error:
            return QMessageBox::Critical;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

void KeepTitleWhole(QMessageBox& box) {
    // The title bar's font is the window manager's: allow a quarter more than the box's own
    // bold font, and room for the title bar's buttons.
    QFont title = box.font();
    title.setBold(true);
    const int width = QFontMetrics(title).horizontalAdvance(box.windowTitle()) * 5 / 4 + 120;
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid == nullptr) return;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

namespace {

void ShowBox(QWidget* parent, const QString& caption, const QString& text, MessageIcon icon) {
    QMessageBox box(BoxIcon(icon), caption, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    KeepTitleWhole(box);
    box.exec();
}

bool AskRetryBox(QWidget* parent, const QString& caption, const QString& text, MessageIcon icon) {
    QMessageBox box(BoxIcon(icon), caption, text, QMessageBox::Retry | QMessageBox::Cancel, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Retry);
    box.setEscapeButton(QMessageBox::Cancel);
    KeepTitleWhole(box);
    return box.exec() == QMessageBox::Retry;
}

// Until the serial-number dialog's own view is given: one scan per input, Enter accepting.
bool AskSerialNumberPlain(QWidget* parent, ISerialNumberEntry& entry) {
    entry.OnInitDialog();
    for (;;) {
        bool ok = false;
        const QString text = QInputDialog::getText(parent, "Serial Number Entering",
                                                   "Serial Number :", QLineEdit::Normal, {}, &ok);
        if (!ok) {
            entry.OnCancel();
            return false;
        }
        entry.OnEnChangeEdit(text.toStdString());
        if (entry.OnEnter()) return true;
    }
}

std::optional<std::string> ChooseFileWithDialog(QWidget* parent, const FileQuestion& question) {
    QFileDialog dialog(parent, {}, QString::fromStdString(question.startFolder),
                       QtFileFilter(question.filter));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    const bool save = question.mode == FileQuestion::Mode::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!question.defaultExtension.empty())
        dialog.setDefaultSuffix(QString::fromStdString(question.defaultExtension).toLower());
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !question.confirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const std::string path = dialog.selectedFiles().front().toStdString();
    if (path.empty()) return std::nullopt;
    return path;
}

}  // namespace

QtPrompts::QtPrompts(QString defaultCaption, QObject* parent)
    : QObject(parent),
      defaultCaption_(std::move(defaultCaption)),
      messageBox_(ShowBox),
      retryBox_(AskRetryBox),
      serialNumber_(AskSerialNumberPlain),
      login_(LoginDialog::Ask),
      fileChooser_(ChooseFileWithDialog) {}

void QtPrompts::OnGuiThread(const std::function<void()>& call) {
    if (QThread::currentThread() == thread()) {
        call();
        return;
    }
    QMetaObject::invokeMethod(this, call, Qt::BlockingQueuedConnection);
}

void QtPrompts::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                            const std::string& /*consoleText*/) {
    const QString shownCaption =
        caption.empty() ? defaultCaption_ : QString::fromStdString(caption);
    OnGuiThread([&] { messageBox_(window_, shownCaption, BoxText(text), icon); });
}

bool QtPrompts::AskRetry(const std::string& text, const std::string& caption, MessageIcon icon) {
    const QString shownCaption =
        caption.empty() ? defaultCaption_ : QString::fromStdString(caption);
    bool retry = false;
    OnGuiThread([&] { retry = retryBox_(window_, shownCaption, BoxText(text), icon); });
    return retry;
}

bool QtPrompts::AskSerialNumber(ISerialNumberEntry& entry) {
    bool accepted = false;
    OnGuiThread([&] { accepted = serialNumber_(window_, entry); });
    return accepted;
}

std::optional<std::string> QtPrompts::AskLogin(const LoginQuestion& question) {
    std::optional<std::string> answer;
    OnGuiThread([&] { answer = login_(window_, question); });
    return answer;
}

std::optional<std::string> QtPrompts::ChooseFile(const FileQuestion& question) {
    std::optional<std::string> answer;
    OnGuiThread([&] { answer = fileChooser_(window_, question); });
    return answer;
}

}  // namespace qnl
