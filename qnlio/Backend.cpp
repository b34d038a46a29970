#include "qnlio/Backend.h"

#include "qnlio/linux/LinuxIo.h"

namespace qnl {

BackendChoice ParseBackendChoice(const char* value) {
    BackendChoice choice;
    const std::string text = value ? value : "";
    if (text.empty() || text == "sim") return choice;
    if (text == "linux" || text.rfind("linux:", 0) == 0) {
        // linux:<name>=<value>,... names the backend's settings; an unknown one is an error.
        choice.parameter = text.size() > 6 ? text.substr(6) : "";
        linuxio::LinuxIoSettings settings;
        if (!linuxio::ParseLinuxSettings(choice.parameter, settings, choice.error)) {
            choice.kind = BackendChoice::Kind::Invalid;
            return choice;
        }
        choice.kind = BackendChoice::Kind::Linux;
        return choice;
    }
    if (text.rfind("dll:", 0) == 0 && text.size() > 4) {
        choice.kind = BackendChoice::Kind::Dll;
        choice.parameter = text.substr(4);
        return choice;
    }
    choice.kind = BackendChoice::Kind::Invalid;
    choice.error =
        "QNLIO_BACKEND=\"" + text + "\" is not a backend (sim, linux[:settings] or dll:<path>)";
    return choice;
}

}  // namespace qnl
