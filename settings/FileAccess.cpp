#include "settings/FileAccess.h"

#include "platform/Files.h"

namespace qnl {

std::uint8_t bCheckFileAccess(IOperatorPrompts& prompts, const std::string& path,
                              bool showMessage) {
    if (files::IsReadWritableFile(path)) return 1;
    if (showMessage) prompts.ShowMessage(path + " " + kFileNotExistText, {}, MessageIcon::Warning);
    return 0;
}

std::uint8_t bCheckSettingsFileName(IOperatorPrompts& prompts, const std::string& toolFolder,
                                    const std::string& name, std::string* resolvedPath) {
    const files::WindowsNameResolution resolved = ResolveSettingsName(toolFolder, name);
    if (resolvedPath != nullptr) *resolvedPath = resolved.path;
    if (!resolved.error.empty()) {
        prompts.ShowMessage(resolved.path + " " + kFileNotExistText + "\r\n" + resolved.error, {},
                            MessageIcon::Warning);
        return 0;
    }
    return bCheckFileAccess(prompts, resolved.path, true);
}

}  // namespace qnl
