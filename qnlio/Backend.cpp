#include "qnlio/Backend.h"

namespace qnl {

BackendChoice ParseBackendChoice(const char* value) {
    BackendChoice choice;
    const std::string text = value ? value : "";
    if (text.empty() || text == "sim") return choice;
    if (text == "linux") {
        choice.kind = BackendChoice::Kind::Linux;
        return choice;
    }
    if (text.rfind("dll:", 0) == 0 && text.size() > 4) {
        choice.kind = BackendChoice::Kind::Dll;
        choice.parameter = text.substr(4);
        return choice;
    }
    choice.kind = BackendChoice::Kind::Invalid;
    choice.error = "QNLIO_BACKEND=\"" + text + "\" is not a backend (sim, linux or dll:<path>)";
    return choice;
}

}  // namespace qnl
