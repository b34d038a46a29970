// Operations of the main window's buttons that do real work, as core operations: the window's
// buttons (later) and console mode call the same code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/ToolContext.h"
#include "image/FirmwareImage.h"
#include "image/ImageCheck.h"

namespace qnl {

// What "Firmware Info" reads from an image's configuration entries.
struct FirmwareInfoFields {
    std::string ssid;  // "%02X%02X" of the value's second and first byte
    std::string svid;
    std::string speedText;  // kind 0 only
};
// Walks the entries, 8 bytes each: a first byte 0xCC marks a register entry with its address in
// bytes 2..3 and its value in bytes 4..7. A later entry for an address replaces an earlier one.
FirmwareInfoFields ReadFirmwareInfoFields(const BinFileStruct& image, std::uint8_t kind);
// The information text from its parts.
std::string FirmwareInfoText(const std::string& fileName, const std::string& version,
                             const FirmwareInfoFields& fields);

class MainWindowControls {
  public:
    // `silent`: messages are printed on the console ("%s\r\n") instead of shown.
    MainWindowControls(ToolContext& context, bool silent) : ctx_(context), silent_(silent) {}

    // "Create New File": builds the configuration image from the firmware file named by the
    // settings. 0, or the error code of the step that failed.
    std::int32_t OnBnClickedButtonCreateConfigFile();
    // "Firmware Info": shows the firmware file's name, version, subsystem IDs and PCIe speed
    // entry. 0, or the error code of the step that failed.
    std::int32_t OnBnClickedButtonFWInfo();

    // The last message the operator was given (printed or shown).
    const std::string& LastMessage() const { return lastMessage_; }

  private:
    // Steps 1-3 shared by both buttons: resolve, read and check the settings' firmware file,
    // and take its version. The line numbers are the log and shown messages' own.
    FirmwareLoad ReadFirmwareFile(const char* function, int openLogLine, int openShowLine,
                                  int versionLogLine, int versionShowLine);
    void Show(const std::string& text);

    ToolContext& ctx_;
    bool silent_;
    std::string lastMessage_;
};

}  // namespace qnl
