// The file-access check every file user runs before it reads or replaces a file.
#pragma once

#include <cstdint>
#include <string>

#include "platform/OperatorPrompts.h"
#include "platform/WindowsNames.h"

namespace qnl {

inline constexpr const char* kFileNotExistText = "File/Path is not exist";

// 1 when `path` (native) is a file that exists and can be read and written; otherwise 0,
// after showing the path, a blank and "File/Path is not exist" when asked to.
std::uint8_t bCheckFileAccess(IOperatorPrompts& prompts, const std::string& path, bool showMessage);

// A file name from a settings value, resolved against the tool folder as Windows would
// (see platform/WindowsNames.h).
inline files::WindowsNameResolution ResolveSettingsName(const std::string& toolFolder,
                                                        const std::string& name) {
    return files::ResolveWindowsName(toolFolder, name);
}

// The check for a name from a settings value: resolved first; an ambiguous name or one with a
// drive letter shows the check's message followed by the reason. `resolvedPath` receives the
// native path. 1 when the file is there and accessible.
std::uint8_t bCheckSettingsFileName(IOperatorPrompts& prompts, const std::string& toolFolder,
                                    const std::string& name, std::string* resolvedPath = nullptr);

}  // namespace qnl
