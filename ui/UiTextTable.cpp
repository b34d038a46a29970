#include "ui/UiTextTable.h"

#include "platform/Format.h"

namespace qnl {

UiTextTable::UiTextTable(std::uint16_t language)
    : languageId(language),
      windowTitle(Format("%s %s", kProductName, kProductVersion)),
      unlockCaption("Unlock MP Tool"),
      lockCaption("Lock MP Tool"),
      hostColumn("H#"),
      fwVersionColumn("FW Version"),
      wrsrColumn("WRSR"),
      busColumn("Bus"),
      devColumn("Dev"),
      funColumn("Fun"),
      ssidColumn("SSID"),
      svidColumn("SVID"),
      updateColumn("Update"),
      checkColumn("Check"),
      pcieLinkColumn("PCIe Link"),
      pass("PASS"),
      fail("FAIL"),
      loginCaption("Login"),
      passwordLabel("Password"),
      acceptButton("Ok"),
      cancelButton("Cancel"),
      invalidIniLine("Line of Configuration String in INI file is invalid !") {}

}  // namespace qnl
