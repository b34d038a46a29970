#include "app/ResultLayouts.h"

namespace qnl {

namespace {

constexpr std::size_t Index(ResultItem item) {
    return static_cast<std::size_t>(item);
}

// A layout's item columns: the six ports from `firstPort` on (or none), the overall columns and
// the firmware columns.
std::array<int, kResultItemCount> Columns(int firstPort, int signal, int termination, int loopBack,
                                          int update, int check) {
    std::array<int, kResultItemCount> columns{};
    for (int p = 0; p < 6; ++p)
        columns[Index(ResultItem::Usb2Port1) + static_cast<std::size_t>(p)] =
            firstPort < 0 ? -1 : firstPort + p;
    columns[Index(ResultItem::SignalLineOverall)] = signal;
    columns[Index(ResultItem::TerminationOverall)] = termination;
    columns[Index(ResultItem::LoopBackOverall)] = loopBack;
    columns[Index(ResultItem::FwUpdate)] = update;
    columns[Index(ResultItem::FwCheck)] = check;
    return columns;
}

using F = FixedColumn;

const PageLayout kLayouts[] = {
    // Main page: the update and the check share "Update".
    {kPageMain,
     ResultLayout::Main,
     Columns(8, 14, 15, 16, 7, 7),
     {{F::FwVersion, 1}, {F::Bus, 2}, {F::Device, 3}, {F::Function, 4}, {F::Ssid, 5}, {F::Svid, 6}},
     {7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
    // Upgrade page: no port columns; a run clears the flash status too.
    {kPageUpgrade,
     ResultLayout::Upgrade,
     Columns(-1, -1, -1, -1, 9, 10),
     {{F::FwVersion, 1},
      {F::WrsrStatus, 2},
      {F::Bus, 3},
      {F::Device, 4},
      {F::Function, 5},
      {F::Ssid, 6},
      {F::Svid, 7},
      {F::PcieLink, 8}},
     {2, 6, 7, 8, 9, 10}},
    // Test page.
    {kPageTest,
     ResultLayout::Test,
     Columns(5, 11, 12, 13, -1, -1),
     {{F::FwVersion, 1}, {F::Bus, 2}, {F::Device, 3}, {F::Function, 4}},
     {5, 6, 7, 8, 9, 10, 11, 12, 13}},
};

bool On(std::uint8_t flag) {
    return flag == 1;
}

}  // namespace

const PageLayout& LayoutOfPage(std::uint8_t page) {
    return kLayouts[page <= kPageTest ? page : kPageMain];
}

std::vector<ResultColumn> ResultColumnsOf(std::uint8_t page, const UiTextTable& t) {
    switch (page) {
        case kPageUpgrade:
            return {{t.hostColumn, 36},   {t.fwVersionColumn, 110}, {t.wrsrColumn, 44},
                    {t.busColumn, 32},    {t.devColumn, 32},        {t.funColumn, 32},
                    {t.ssidColumn, 40},   {t.svidColumn, 40},       {t.pcieLinkColumn, 60},
                    {t.updateColumn, 60}, {t.checkColumn, 60}};
        case kPageTest:
            return {{t.hostColumn, 36},   {t.fwVersionColumn, 110}, {t.busColumn, 32},
                    {t.devColumn, 32},    {t.funColumn, 32},        {"USB2 Port1", 84},
                    {"USB2 Port2", 84},   {"USB3 Port1", 84},       {"USB3 Port2", 84},
                    {"USB3.1 Port1", 84}, {"USB3.1 Port2", 84},     {"SLT Result", 78},
                    {"TT Result", 78},    {"LT Result", 78}};
        default:
            return {{t.hostColumn, 26},   {t.fwVersionColumn, 110}, {t.busColumn, 32},
                    {t.devColumn, 32},    {t.funColumn, 32},        {t.ssidColumn, 40},
                    {t.svidColumn, 40},   {t.updateColumn, 68},     {"USB2 Port1", 68},
                    {"USB2 Port2", 68},   {"USB3 Port1", 68},       {"USB3 Port2", 68},
                    {"USB3.1 Port1", 78}, {"USB3.1 Port2", 78},     {"SLT Result", 66},
                    {"TT Result", 66},    {"LT Result", 66}};
    }
}

std::vector<ResultItem> DoingItems(std::uint8_t page, const IniSettings& ini) {
    std::vector<ResultItem> items;
    const bool signal = On(ini.signal_line_test_enable) || On(ini.fixture_test_enable);
    const bool termination = On(ini.termination_test_enable);
    switch (page) {
        case kPageUpgrade:
            if (On(ini.fw_update_enable)) items.push_back(ResultItem::FwUpdate);
            if (On(ini.fw_check_enable)) items.push_back(ResultItem::FwCheck);
            break;
        case kPageTest:
            if (signal) {
                for (std::uint32_t speed : {1u, 2u, 4u})
                    for (std::uint32_t port : {1u, 2u})
                        if ((ini.test_speed & speed) && (ini.test_port & port))
                            items.push_back(PortResultItem(speed, port));
                items.push_back(ResultItem::SignalLineOverall);
            }
            if (termination) {
                // The cells the termination worker fills: USB 2.0 only, Port 1 and Port 2 (so
                // no "doing" stays behind in a cell no worker writes).
                if (ini.test_speed & 1) {
                    if (ini.test_port & 1) items.push_back(ResultItem::Usb2Port1);
                    if (ini.test_port & 2) items.push_back(ResultItem::Usb2Port2);
                }
                items.push_back(ResultItem::TerminationOverall);
            }
            break;
        default:
            if (On(ini.fw_update_enable)) items.push_back(ResultItem::FwUpdate);
            if (signal) items.push_back(ResultItem::SignalLineOverall);
            if (termination) items.push_back(ResultItem::TerminationOverall);
            break;
    }
    return items;
}

}  // namespace qnl
