#include "app/RunItems.h"

#include "app/ResultLayouts.h"
#include "platform/Format.h"

namespace qnl {

namespace {

bool On(std::uint8_t flag) {
    return flag == 1;
}

struct Item {
    std::uint8_t bit;
    const char* name;
};
// The console's order.
constexpr Item kItems[] = {{kItemFwUpdate, "FW Update"},
                           {kItemFwCheck, "FW Check"},
                           {kItemSignalLine, "Signal Line Test"},
                           {kItemTermination, "Termination Test"},
                           {kItemFixture, "Fixture Test"}};

// The speed and port bits a test's workers look at: the signal line and fixture tests run
// USB 2.0, USB 3.0 and USB 3.1 on Port 1 and Port 2; the termination test USB 2.0 only.
constexpr std::uint32_t kPortBits = 0x3;
constexpr std::uint32_t kSignalSpeedBits = 0x7;
constexpr std::uint32_t kTerminationSpeedBits = 0x1;

}  // namespace

std::uint8_t ItemMaskOf(const IniSettings& ini, std::uint8_t page) {
    std::uint8_t mask = 0;
    if (page != kPageTest) {
        if (On(ini.fw_update_enable)) mask |= kItemFwUpdate;
        if (On(ini.fw_check_enable)) mask |= kItemFwCheck;
    }
    if (page != kPageUpgrade) {
        if (On(ini.signal_line_test_enable)) mask |= kItemSignalLine;
        if (On(ini.termination_test_enable)) mask |= kItemTermination;
        if (On(ini.fixture_test_enable)) mask |= kItemFixture;
    }
    return mask;
}

std::string ItemNames(std::uint8_t mask) {
    std::string names;
    for (const Item& item : kItems) {
        if (!(mask & item.bit)) continue;
        if (!names.empty()) names += ", ";
        names += item.name;
    }
    return names;
}

std::vector<ResultItem> ItemResults(std::uint8_t mask) {
    std::vector<ResultItem> results;
    if (mask & kItemFwUpdate) results.push_back(ResultItem::FwUpdate);
    if (mask & kItemFwCheck) results.push_back(ResultItem::FwCheck);
    if (mask & (kItemSignalLine | kItemFixture)) results.push_back(ResultItem::SignalLineOverall);
    if (mask & kItemTermination) results.push_back(ResultItem::TerminationOverall);
    return results;
}

std::string RunRefusal(const IniSettings& ini, std::uint8_t mask) {
    const bool portSelected = (ini.test_port & kPortBits) != 0;
    for (const Item& item : kItems) {
        if (!(mask & item.bit) || !(item.bit & kItemPortTests)) continue;
        const std::uint32_t speeds =
            item.bit == kItemTermination ? kTerminationSpeedBits : kSignalSpeedBits;
        if (portSelected && (ini.test_speed & speeds) != 0) continue;
        return Format(
            "%s selects no sub-test (test_speed %u, test_port %u%s): the MP run does not start.",
            item.name, static_cast<unsigned>(ini.test_speed), static_cast<unsigned>(ini.test_port),
            item.bit == kItemTermination ? ", it tests USB 2.0 only" : "");
    }
    if ((mask & kItemFirmware) && On(ini.subsys_enable)) {
        const char* empty = ini.svid.empty() ? "SVID" : ini.ssid.empty() ? "SSID" : nullptr;
        if (empty != nullptr)
            return Format("Sub_Sys is on and the %s is empty: the MP run does not start.", empty);
    }
    return {};
}

}  // namespace qnl
