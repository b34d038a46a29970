#include "settings/FileAccess.h"

#include "platform/Files.h"
#include "platform/HexText.h"

namespace qnl {

std::uint8_t bCheckFileAccess(IOperatorPrompts& prompts, const std::string& path,
                              bool showMessage) {
    if (files::IsReadWritableFile(path)) return 1;
    if (!showMessage) return 0;
    // Something that is there but is no regular file (a folder, a FIFO, a device) is named as
    // such; only what is not there is "not exist".
    const std::string notRegular = files::Exists(path) ? files::NotRegularFileReason(path) : "";
    prompts.ShowMessage(notRegular.empty() ? PrintableText(path) + " " + kFileNotExistText
                                           : PrintableText(notRegular),
                        {}, MessageIcon::Warning);
    return 0;
}

std::uint8_t bCheckSettingsFileName(IOperatorPrompts& prompts, const std::string& toolFolder,
                                    const std::string& name, std::string* resolvedPath) {
    const files::WindowsNameResolution resolved = ResolveSettingsName(toolFolder, name);
    if (resolvedPath != nullptr) *resolvedPath = resolved.path;
    if (!resolved.error.empty()) {
        prompts.ShowMessage(PrintableText(resolved.path) + " " + kFileNotExistText + "\r\n" +
                                PrintableText(resolved.error),
                            {}, MessageIcon::Warning);
        return 0;
    }
    return bCheckFileAccess(prompts, resolved.path, true);
}

}  // namespace qnl
