// The window's operator prompts on Windows: message boxes, the login, the file choosers and the
// serial-number dialog, always shown on the GUI thread and owned by the main window.
//
// A call from a worker thread is sent to the GUI thread (SendMessageW to a message-only window
// of the prompts) and returns the answer there, so the worker waits as it would behind a modal
// box while the GUI thread's loop and timers go on. No core lock may be held across a prompt.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/OperatorPrompts.h"

namespace qnl::win {

// "A (*.a)|*.a|B (*.b)|*.b||" as the file choosers take it: the parts separated by NULs.
std::wstring ChooserFilter(const std::string& windowsFilter);

class WinPrompts final : public IOperatorPrompts {
  public:
    // Seams for the dialogs, each called on the GUI thread with the owner window.
    using MessageBoxFn = std::function<void(HWND owner, const std::string& caption,
                                            const std::string& text, MessageIcon icon)>;
    using RetryBoxFn = std::function<bool(HWND owner, const std::string& caption,
                                          const std::string& text, MessageIcon icon)>;
    using SerialNumberFn = std::function<bool(HWND owner, ISerialNumberEntry& entry)>;
    using LoginFn =
        std::function<std::optional<std::string>(HWND owner, const LoginQuestion& question)>;
    using FileChooserFn =
        std::function<std::optional<std::string>(HWND owner, const FileQuestion& question)>;

    // Made on the GUI thread. `defaultCaption`: the caption of boxes without one of their own.
    explicit WinPrompts(std::string defaultCaption);
    ~WinPrompts() override;
    WinPrompts(const WinPrompts&) = delete;
    WinPrompts& operator=(const WinPrompts&) = delete;

    // The owner of every box and dialog: the main window (or the start-up window).
    void SetWindow(HWND owner) { owner_ = owner; }
    HWND Window() const { return owner_; }

    void SetMessageBox(MessageBoxFn box) { messageBox_ = std::move(box); }
    void SetRetryBox(RetryBoxFn box) { retryBox_ = std::move(box); }
    void SetSerialNumberDialog(SerialNumberFn dialog) { serialNumber_ = std::move(dialog); }
    void SetLoginDialog(LoginFn dialog) { login_ = std::move(dialog); }
    void SetFileChooser(FileChooserFn chooser) { fileChooser_ = std::move(chooser); }

    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                     const std::string& consoleText) override;
    bool AskRetry(const std::string& text, const std::string& caption, MessageIcon icon) override;
    bool AskSerialNumber(ISerialNumberEntry& entry) override;
    std::optional<std::string> AskLogin(const LoginQuestion& question) override;
    std::optional<std::string> ChooseFile(const FileQuestion& question) override;

  private:
    static LRESULT CALLBACK BridgeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Runs `call` on the GUI thread and waits for it.
    void OnGuiThread(const std::function<void()>& call);

    std::string defaultCaption_;
    DWORD guiThread_ = 0;
    HWND bridge_ = nullptr;
    HWND owner_ = nullptr;
    MessageBoxFn messageBox_;
    RetryBoxFn retryBox_;
    SerialNumberFn serialNumber_;
    LoginFn login_;
    FileChooserFn fileChooser_;
};

// The dialogs behind the prompts.
void ShowMessageBox(HWND owner, const std::string& caption, const std::string& text,
                    MessageIcon icon);
bool AskRetryBox(HWND owner, const std::string& caption, const std::string& text, MessageIcon icon);
std::optional<std::string> AskLoginDialog(HWND owner, const LoginQuestion& question);
std::optional<std::string> ChooseFileDialog(HWND owner, const FileQuestion& question);
// "Serial Number Entering": the scanner types into the edit, Enter accepts a long enough
// number (else the edit starts over), Escape cancels.
bool RunSerialNumberDialog(HWND owner, ISerialNumberEntry& entry);

}  // namespace qnl::win
