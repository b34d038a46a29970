// Captions and messages set at run time, defined in one place. Filled once before any window
// exists and read-only afterwards. Every system gets the English texts.
#pragma once

#include <cstdint>
#include <string>

namespace qnl {

inline constexpr const char* kProductName = "QNL7350A MPTool";
inline constexpr const char* kProductVersion = "Ver 1.1.2.1";

struct UiTextTable {
    explicit UiTextTable(std::uint16_t languageId = 0x0409);

    std::uint16_t languageId;  // recorded only; no text depends on it

    std::string windowTitle;   // "%s %s" of the product name and version
    std::string unlockCaption;
    std::string lockCaption;
    std::string hostColumn;
    std::string fwVersionColumn;
    std::string wrsrColumn;
    std::string busColumn;
    std::string devColumn;
    std::string funColumn;
    std::string ssidColumn;
    std::string svidColumn;
    std::string updateColumn;
    std::string checkColumn;
    std::string pcieLinkColumn;
    std::string pass;
    std::string fail;
    std::string loginCaption;
    std::string passwordLabel;
    std::string acceptButton;
    std::string cancelButton;
    std::string invalidIniLine;
};

}  // namespace qnl
