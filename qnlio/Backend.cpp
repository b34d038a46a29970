#include "qnlio/Backend.h"

#include <cstddef>
#include <vector>

namespace qnl {

namespace {

const BackendEntry* Find(BackendRegistry backends, std::string_view name) {
    for (const BackendEntry& entry : backends)
        if (entry.name == name) return &entry;
    return nullptr;
}

// "sim, linux[:settings] or dll:<path>": the backends of this system as QNLIO_BACKEND names
// them.
std::string NameList(BackendRegistry backends, bool windows) {
    std::vector<std::string> names;
    for (const BackendEntry& entry : backends)
        if (entry.onWindows || !windows)
            names.push_back(std::string(entry.name) + std::string(entry.parameterForm));
    std::string list;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) list += i + 1 == names.size() ? " or " : ", ";
        list += names[i];
    }
    return list;
}

std::string Padded(std::string text, std::size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text;
}

}  // namespace

BackendChoice ParseBackendChoice(BackendRegistry backends, const char* value, bool windows) {
    BackendChoice choice;
    const std::string text = value ? value : "";
    if (text.empty()) {
        if (windows) {
            choice.backend = Find(backends, "dll");
            choice.parameter = kDefaultIoLibraryName;
            choice.inToolFolder = true;
        } else {
            choice.backend = Find(backends, "sim");
        }
        return choice;
    }
    if (text == "help") {
        choice.help = true;
        return choice;
    }
    for (const BackendEntry& entry : backends) {
        const std::size_t length = entry.name.size();
        const bool named = text == entry.name;
        const bool withParameter =
            text.size() > length && text.compare(0, length, entry.name) == 0 && text[length] == ':';
        if (!named && !withParameter) continue;
        if (windows && !entry.onWindows) {
            choice.error = "QNLIO_BACKEND=\"" + text + "\": the " + std::string(entry.name) +
                           " backend does not exist on Windows (" + NameList(backends, true) + ")";
            return choice;
        }
        const std::string parameter = withParameter ? text.substr(length + 1) : "";
        const bool shapeRight =
            entry.parameter == BackendEntry::Parameter::Optional ||
            (entry.parameter == BackendEntry::Parameter::None && !withParameter) ||
            (entry.parameter == BackendEntry::Parameter::Required && !parameter.empty());
        if (!shapeRight) break;
        // The parameter is checked now, so that a wrong one is refused before anything starts.
        if (entry.check != nullptr && !entry.check(parameter, choice.error)) return choice;
        choice.backend = &entry;
        choice.parameter = parameter;
        return choice;
    }
    choice.error =
        "QNLIO_BACKEND=\"" + text + "\" is not a backend (" + NameList(backends, windows) + ")";
    return choice;
}

std::string BackendHelp(BackendRegistry backends, bool windows) {
    constexpr std::size_t kNameWidth = 18;
    constexpr std::size_t kSettingWidth = 12;
    std::string text = "QNLIO_BACKEND chooses the I/O library the tool talks to:\n";
    for (const BackendEntry& entry : backends) {
        if (windows && !entry.onWindows) continue;
        text += "  " +
                Padded(std::string(entry.name) + std::string(entry.parameterForm), kNameWidth) +
                std::string(entry.help) + "\n";
        if (entry.settings.empty()) continue;
        text += std::string(2 + kNameWidth, ' ') + "settings, name=value separated by commas:\n";
        for (const BackendSetting& setting : entry.settings)
            text += std::string(4 + kNameWidth, ' ') +
                    Padded(std::string(setting.name), kSettingWidth) +
                    std::string(setting.meaning) + "\n";
    }
    text += "  " + Padded("help", kNameWidth) + "this list\n";
    text += windows ? std::string("Unset: dll:") + kDefaultIoLibraryName +
                          " from the tool folder (the maker's library).\n"
                    : std::string("Unset: sim.\n");
    return text;
}

OpenedBackend OpenBackend(const BackendChoice& choice, const std::string& toolFolder) {
    OpenedBackend opened;
    BackendParts& parts = opened.parts;
    if (choice.backend == nullptr) {
        opened.error = choice.error;
    } else if (choice.backend->open == nullptr) {
        opened.error = "QNLIO_BACKEND: the " + std::string(choice.backend->name) +
                       " backend does not exist on this system";
    } else if (!choice.backend->open(choice, toolFolder, parts, opened.error) || !parts.io) {
        parts.io.reset();
        if (opened.error.empty())
            opened.error = "QNLIO_BACKEND: the " + std::string(choice.backend->name) +
                           " backend could not be set up";
    }
    if (!parts.clock) parts.clock = std::make_unique<RealClock>(1.0);
    if (!parts.io) parts.io = std::make_unique<UnavailableIo>();
    return opened;
}

}  // namespace qnl
