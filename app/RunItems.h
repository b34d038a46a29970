// The testing items of an MP run: which items a page's run takes from the settings, which
// enabled items its page leaves out, and why a run must not start at all. Pure rules, used by
// the window's Start and by console start-up alike.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "controller/RunReporter.h"
#include "settings/CIni.h"

namespace qnl {

// Testing items of an MP run (the item mask).
inline constexpr std::uint8_t kItemSignalLine = 0x01;
inline constexpr std::uint8_t kItemTermination = 0x02;
inline constexpr std::uint8_t kItemFixture = 0x08;
inline constexpr std::uint8_t kItemPortTests = 0x0F;
inline constexpr std::uint8_t kItemFwUpdate = 0x10;
inline constexpr std::uint8_t kItemFwCheck = 0x20;
inline constexpr std::uint8_t kItemFirmware = 0x30;

// The items of a run started on `page` (0 main, 1 upgrade, 2 test): the firmware items unless
// it is the test page, the port tests unless it is the upgrade page, each when its switch is 1.
std::uint8_t ItemMaskOf(const IniSettings& settings, std::uint8_t page);

// The names of the items in `mask`, in the console's order, separated by ", ".
std::string ItemNames(std::uint8_t mask);

// The results that stand for the items of `mask` (a port test's overall result).
std::vector<ResultItem> ItemResults(std::uint8_t mask);

// Why a run of the items `mask` with `settings` must not start; empty when it may:
//  - a port test whose speed and port bits select none of its sub-tests (it would test
//    nothing and show a PASS of nothing);
//  - with Sub_Sys on, a firmware item while the SVID or SSID is empty (a refused value is
//    emptied at loading): the configuration would carry 0000 and the check expect it.
std::string RunRefusal(const IniSettings& settings, std::uint8_t mask);

// The enabled items that a run started on `page` leaves out (the firmware items on the test
// page, the port tests on the upgrade page).
inline std::uint8_t ItemsLeftOut(const IniSettings& settings, std::uint8_t page) {
    return static_cast<std::uint8_t>(ItemMaskOf(settings, 0) & ~ItemMaskOf(settings, page));
}

}  // namespace qnl
