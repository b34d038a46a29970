#include "platform/OperatorPrompts.h"

namespace qnl {

void ConsolePrompts::ShowMessage(const std::string& text, const std::string& /*caption*/,
                                 MessageIcon /*icon*/, const std::string& consoleText) {
    if (!consoleText.empty()) {
        console_.Write(consoleText);
        return;
    }
    if (text.empty()) return;
    std::string line = text;
    if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0) line += "\r\n";
    console_.Write(line);
}

bool ConsolePrompts::AskRetry(const std::string& text, const std::string& caption,
                              MessageIcon icon) {
    ShowMessage(text, caption, icon, {});
    return false;
}

// A scanner is a keyboard: each input line is one scan followed by Enter.
bool ConsolePrompts::AskSerialNumber(ISerialNumberEntry& entry) {
    entry.OnInitDialog();
    for (;;) {
        console_.Write("Serial Number : ");
        const auto line = console_.ReadLine();
        if (!line) {
            console_.Write("\r\n");
            entry.OnCancel();
            return false;
        }
        entry.OnEnChangeEdit(*line);
        if (entry.OnEnter()) return true;
    }
}

std::optional<std::string> ConsolePrompts::AskLogin(const LoginQuestion& /*question*/) {
    return std::nullopt;
}

std::optional<std::string> ConsolePrompts::ChooseFile(const FileQuestion& /*question*/) {
    return std::nullopt;
}

}  // namespace qnl
