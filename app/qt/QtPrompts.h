// The window's operator prompts: message boxes, the login, file choices and the serial-number
// dialog, always shown on the GUI thread and parented to the main window.
//
// A call from a worker thread is carried to the GUI thread (blocking queued) and returns the
// answer there, so the worker waits as it would behind a modal box; the GUI thread keeps
// running its timers meanwhile. No core lock may be held across a prompt.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

#include "platform/OperatorPrompts.h"

namespace qnl {

// "A (*.a)|*.a|B (*.b)|*.b||" as Qt's file dialogs take it: "A (*.a);;B (*.b)".
QString QtFileFilter(const std::string& windowsFilter);
// A message as a box shows it: "\r\n" line ends as "\n".
QString BoxText(const std::string& text);
// Widens a message box to its caption, which the title bar would otherwise cut ("QNL735…").
void KeepTitleWhole(QMessageBox& box);

class QtPrompts final : public QObject, public IOperatorPrompts {
    Q_OBJECT
  public:
    // Seams for the dialogs, each called on the GUI thread with the window as parent.
    using MessageBox = std::function<void(QWidget* parent, const QString& caption,
                                          const QString& text, MessageIcon icon)>;
    // A box with "Retry" and "Cancel": true for Retry.
    using RetryBox = std::function<bool(QWidget* parent, const QString& caption,
                                        const QString& text, MessageIcon icon)>;
    using SerialNumberDialog = std::function<bool(QWidget* parent, ISerialNumberEntry& entry)>;
    using LoginDialogFn =
        std::function<std::optional<std::string>(QWidget* parent, const LoginQuestion&)>;
    using FileChooser =
        std::function<std::optional<std::string>(QWidget* parent, const FileQuestion&)>;

    // Lives on the thread that makes it (the GUI thread). `defaultCaption` is used for boxes
    // without a caption of their own (the window title).
    explicit QtPrompts(QString defaultCaption, QObject* parent = nullptr);

    // The parent of every box and dialog: the main window (a box parented to a page inside a
    // disabled tab widget could not be clicked).
    void SetWindow(QWidget* window) { window_ = window; }
    QWidget* Window() const { return window_; }

    void SetMessageBox(MessageBox box) { messageBox_ = std::move(box); }
    void SetRetryBox(RetryBox box) { retryBox_ = std::move(box); }
    // The serial-number dialog's view; until one is given, a plain text input stands in.
    void SetSerialNumberDialog(SerialNumberDialog dialog) { serialNumber_ = std::move(dialog); }
    void SetLoginDialog(LoginDialogFn dialog) { login_ = std::move(dialog); }
    void SetFileChooser(FileChooser chooser) { fileChooser_ = std::move(chooser); }

    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                     const std::string& consoleText) override;
    bool AskRetry(const std::string& text, const std::string& caption, MessageIcon icon) override;
    bool AskSerialNumber(ISerialNumberEntry& entry) override;
    std::optional<std::string> AskLogin(const LoginQuestion& question) override;
    std::optional<std::string> ChooseFile(const FileQuestion& question) override;

  private:
    // Runs `call` on this object's thread and waits for it.
    void OnGuiThread(const std::function<void()>& call);

    QString defaultCaption_;
    QPointer<QWidget> window_;
    MessageBox messageBox_;
    RetryBox retryBox_;
    SerialNumberDialog serialNumber_;
    LoginDialogFn login_;
    FileChooser fileChooser_;
};

}  // namespace qnl
