#include "platform/OperatorPrompts.h"

namespace qnl {

void ConsolePrompts::ShowMessage(const std::string& text, const std::string& /*caption*/,
                                 MessageIcon /*icon*/, const std::string& consoleText) {
    const std::string& shown = consoleText.empty() ? text : consoleText;
    if (shown.empty()) return;
    std::string line = shown;
    if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0) line += "\r\n";
    console_.Write(line);
}

}  // namespace qnl
