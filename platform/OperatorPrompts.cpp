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

}  // namespace qnl
