// What the operator sees or answers: message boxes, the serial-number prompt, the login and
// file choices.
//
// The window implementation shows dialogs; the console implementation prints the text and
// reads answers from the console. Nothing may wait for a click that cannot come: a question
// the console cannot answer is answered "cancelled" at once.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/Console.h"

namespace qnl {

enum class MessageIcon { None, Information, Warning, Error };

// The serial-number dialog's logic as a prompt drives it: the prompt passes on what the
// operator (normally a barcode scanner) types and presses, the logic filters the text and
// decides whether Enter accepts it.
class ISerialNumberEntry {
  public:
    virtual ~ISerialNumberEntry() = default;
    // The dialog starts: an empty edit.
    virtual void OnInitDialog() = 0;
    // The edit's text changed to `text`; returns what the edit shows afterwards.
    virtual std::string OnEnChangeEdit(const std::string& text) = 0;
    // Enter: true when the number is accepted (the dialog closes); otherwise the edit is
    // emptied for the next scan.
    virtual bool OnEnter() = 0;
    // Escape or the window closed: the dialog ends cancelled.
    virtual void OnCancel() = 0;
};

// The login dialog's texts. The answer is the typed password, unchecked.
struct LoginQuestion {
    std::string caption;
    std::string passwordLabel;
    std::string acceptText;
    std::string cancelText;
    std::size_t maxLength = 7;
};

// A file chooser: open an existing file or name one to save.
struct FileQuestion {
    enum class Mode { Open, Save };
    Mode mode = Mode::Open;
    // Windows filter form: "Description (*.ext)|*.ext|...||".
    std::string filter;
    // Where the chooser opens.
    std::string startFolder;
    // Added to a typed name without an extension ("INI"); empty: none.
    std::string defaultExtension;
    // Save: ask before replacing an existing file.
    bool confirmOverwrite = false;
};

class IOperatorPrompts {
  public:
    virtual ~IOperatorPrompts() = default;
    // A message box. `consoleText` is the console form of the message where it has one: console
    // mode prints it exactly as given, line ends included. Without one (empty) console mode
    // prints `text` as a line of its own (with "\r\n" added when it does not end in one).
    virtual void ShowMessage(const std::string& text, const std::string& caption = {},
                             MessageIcon icon = MessageIcon::None,
                             const std::string& consoleText = {}) = 0;
    // A message box with "Retry" and "Cancel": true when the operator chose Retry. The console
    // cannot be answered: it prints the message and answers Cancel at once.
    virtual bool AskRetry(const std::string& text, const std::string& caption = {},
                          MessageIcon icon = MessageIcon::Warning) = 0;
    // Runs the serial-number dialog over `entry`; true when a number was accepted, false when
    // the dialog was cancelled.
    virtual bool AskSerialNumber(ISerialNumberEntry& entry) = 0;
    // The login dialog: the typed password, or nullopt when cancelled.
    virtual std::optional<std::string> AskLogin(const LoginQuestion& question) = 0;
    // A file chooser: the chosen path, or nullopt when cancelled or nothing was chosen.
    virtual std::optional<std::string> ChooseFile(const FileQuestion& question) = 0;
};

// Console mode: every message box is printed on the console; the serial number is read from
// the console, one scan per line, the end of input cancelling; the login and the file choices
// need a window and are answered "cancelled" without reading anything.
class ConsolePrompts final : public IOperatorPrompts {
  public:
    explicit ConsolePrompts(IConsole& console) : console_(console) {}
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                     const std::string& consoleText) override;
    bool AskRetry(const std::string& text, const std::string& caption, MessageIcon icon) override;
    bool AskSerialNumber(ISerialNumberEntry& entry) override;
    std::optional<std::string> AskLogin(const LoginQuestion& question) override;
    std::optional<std::string> ChooseFile(const FileQuestion& question) override;

  private:
    IConsole& console_;
};

}  // namespace qnl
