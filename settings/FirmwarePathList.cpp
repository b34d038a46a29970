#include "settings/FirmwarePathList.h"

#include <algorithm>

#include "platform/Files.h"
#include "platform/Format.h"
#include "platform/HexText.h"
#include "platform/WindowsNames.h"
#include "settings/CIni.h"
#include "settings/FileAccess.h"

namespace qnl {

void InsertFirmwareListTop(std::vector<std::string>& list, const std::string& entry) {
    if (list.size() >= kFirmwareListMax) list.erase(list.begin() + kFirmwareListMax, list.end());
    list.insert(list.begin(), entry);
    if (list.size() > kFirmwareListMax) list.erase(list.begin() + kFirmwareListMax);
}

void PutBrowsedPathOnTop(std::vector<std::string>& list, const std::string& path) {
    list.erase(std::remove(list.begin(), list.end(), path), list.end());
    InsertFirmwareListTop(list, path);
}

std::optional<FirmwareBrowse> BrowseFirmwareFile(IOperatorPrompts& prompts, CEventLog& log,
                                                 const std::string& toolFolder,
                                                 std::vector<std::string>& list,
                                                 const char* function) {
    FileQuestion question;
    question.mode = FileQuestion::Mode::Open;
    question.filter = kFirmwareBrowseFilter;
    question.startFolder = toolFolder;
    const std::optional<std::string> chosen = prompts.ChooseFile(question);
    if (!chosen || chosen->empty()) return std::nullopt;
    if (!bCheckFileAccess(prompts, *chosen, true)) return std::nullopt;

    FirmwareBrowse result;
    result.settingsName = files::ToWindowsName(*chosen);
    const bool control = std::any_of(result.settingsName.begin(), result.settingsName.end(),
                                     [](char c) { return static_cast<unsigned char>(c) < 0x20; });
    const std::string unnameable = files::SettingsNameProblem(*chosen);
    if (result.settingsName.size() > kIniTextMax || control || !unnameable.empty()) {
        // Cut, it would name another file; with a line end in it, the settings file would
        // carry a line of the operator's making; with a '\' in a name, the run would program
        // another file than the one chosen.
        const std::string shown = PrintableText(*chosen);
        const std::string message =
            control ? Format("The firmware path holds a control character: %s", shown.c_str())
            : !unnameable.empty()
                ? Format("The firmware path cannot be kept in the settings (%s): %s",
                         unnameable.c_str(), shown.c_str())
                : Format("The firmware path is longer than %zu characters: %s", kIniTextMax,
                         shown.c_str());
        log.LogMessage(kEventTypeError, "\r\n%s:%d: %s, dwErrorCode %d", function, 1601,
                       message.c_str(), -10);
        prompts.ShowMessage(message, {}, MessageIcon::Warning);
        return std::nullopt;
    }

    std::string text;
    for (const std::string& entry : list)
        if (entry != result.settingsName) text += entry + "\r\n";
    text += result.settingsName + "\r\n";
    PutBrowsedPathOnTop(list, result.settingsName);

    const std::string historyPath = files::Join(toolFolder, kBrowsedBinPathFileName);
    if (!files::WriteAtomic(historyPath, text)) {
        result.historyWriteFailed = true;
        log.LogMessage(kEventTypeError, "\r\n%s:%d: Write [%s] Failed, dwErrorCode %d", function,
                       1602, historyPath.c_str(), files::LastError());
    }
    return result;
}

}  // namespace qnl
