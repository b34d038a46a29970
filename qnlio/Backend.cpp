#include "qnlio/Backend.h"

#if !defined(_WIN32)
#include "qnlio/linux/LinuxIo.h"
#endif

namespace qnl {

BackendChoice ParseBackendChoice(const char* value, bool windows) {
    BackendChoice choice;
    const std::string text = value ? value : "";
    if (text.empty() && windows) {
        choice.kind = BackendChoice::Kind::Dll;
        choice.parameter = kDefaultIoLibraryName;
        choice.inToolFolder = true;
        return choice;
    }
    if (text.empty() || text == "sim") return choice;
    const bool linuxBackend = text == "linux" || text.rfind("linux:", 0) == 0;
    if (linuxBackend && windows) {
        choice.kind = BackendChoice::Kind::Invalid;
        choice.error = "QNLIO_BACKEND=\"" + text +
                       "\": the linux backend does not exist on Windows (sim or dll:<path>)";
        return choice;
    }
#if !defined(_WIN32)
    if (linuxBackend) {
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
#endif
    if (text.rfind("dll:", 0) == 0 && text.size() > 4) {
        choice.kind = BackendChoice::Kind::Dll;
        choice.parameter = text.substr(4);
        return choice;
    }
    choice.kind = BackendChoice::Kind::Invalid;
    choice.error = "QNLIO_BACKEND=\"" + text + "\" is not a backend (" +
                   (windows ? "sim or dll:<path>" : "sim, linux[:settings] or dll:<path>") + ")";
    return choice;
}

}  // namespace qnl
