// The firmware path list of the device settings and upgrade pages (the last chosen firmware
// names, newest first, at most 5) and the firmware browse that fills it and writes the history
// file "BrowsedBINPath.txt" in the tool folder. One writer for both pages.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/EventLog.h"
#include "platform/OperatorPrompts.h"

namespace qnl {

inline constexpr const char* kBrowsedBinPathFileName = "BrowsedBINPath.txt";
inline constexpr std::size_t kFirmwareListMax = 5;
inline constexpr const char* kFirmwareBrowseFilter =
    "Firmware .bin File (*.bin)|*.bin|SPI ROM File (*.rom)|*.rom||";

// A refresh from the settings: `entry` goes on top (even when empty or already listed); a list
// that held 5 or more entries loses the one at index 5.
void InsertFirmwareListTop(std::vector<std::string>& list, const std::string& entry);

// A browsed path goes on top; an equal entry already listed (compared exactly: names on this
// system differ by case) is moved there instead of being listed twice. At most 5 entries.
void PutBrowsedPathOnTop(std::vector<std::string>& list, const std::string& path);

// What a browse ended with.
struct FirmwareBrowse {
    // The name to store in fw_binary_name: the chosen file in the settings' path form ('\'
    // separators, a leading '\' absolute), so that it resolves back to the same file.
    std::string settingsName;
    // The history file could not be written (the list and the setting still take the path).
    bool historyWriteFailed = false;
};

// The "Firmware Browser" button of either page: asks for a firmware file in the tool folder,
// checks it with the file-access check, refuses a path whose settings form is longer than a
// settings text holds (254 characters) or holds a control character (it would break the
// settings file's lines), puts it on top of `list` and writes the history file: the entries
// listed before (the chosen path left out), then the chosen path, each followed by CR LF.
// nullopt when nothing was chosen or the path was refused (the operator has been told);
// `function` names the caller in the diagnostic log.
std::optional<FirmwareBrowse> BrowseFirmwareFile(IOperatorPrompts& prompts, CEventLog& log,
                                                 const std::string& toolFolder,
                                                 std::vector<std::string>& list,
                                                 const char* function);

}  // namespace qnl
