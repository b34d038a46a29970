// What the operator sees or answers: message boxes, the serial-number prompt, file choices.
//
// The window implementation shows dialogs; the console implementation prints the text and
// reads answers from the console. Nothing may wait for a click that cannot come.
#pragma once

#include <string>

#include "platform/Console.h"

namespace qnl {

enum class MessageIcon { None, Information, Warning, Error };

class IOperatorPrompts {
  public:
    virtual ~IOperatorPrompts() = default;
    // A message box. `consoleText` is the console form of the message where it has one: console
    // mode prints it exactly as given, line ends included. Without one (empty) console mode
    // prints `text` as a line of its own (with "\r\n" added when it does not end in one).
    virtual void ShowMessage(const std::string& text, const std::string& caption = {},
                             MessageIcon icon = MessageIcon::None,
                             const std::string& consoleText = {}) = 0;
};

// Console mode: every message box is printed on the console.
class ConsolePrompts final : public IOperatorPrompts {
  public:
    explicit ConsolePrompts(IConsole& console) : console_(console) {}
    void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                     const std::string& consoleText) override;

  private:
    IConsole& console_;
};

}  // namespace qnl
