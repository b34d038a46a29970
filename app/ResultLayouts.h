// The result table's three layouts, one per page: its columns with their titles and widths,
// which column shows which of a run's results, the cells a run clears, the results a run marks
// "doing" before it starts, and where the day's result log takes its per-host texts from.
// Nothing else in the tool knows a column number.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "controller/RunRecord.h"
#include "controller/RunReporter.h"
#include "settings/CIni.h"
#include "ui/PageHooks.h"
#include "ui/UiTextTable.h"

namespace qnl {

struct ResultColumn {
    std::string title;
    int width;
};

// The fixed facts of a host a layout shows.
enum class FixedColumn : std::uint8_t {
    FwVersion,
    WrsrStatus,
    Bus,
    Device,
    Function,
    Ssid,
    Svid,
    PcieLink,
};

struct PageLayout {
    std::uint8_t page;
    ResultLayout layout;
    // The column that shows each result item (-1: none).
    std::array<int, kResultItemCount> itemColumn;
    // The columns of the host's facts, as (fact, column) pairs.
    std::vector<std::pair<FixedColumn, int>> fixedColumns;
    // The result columns a run (and a page change) clears.
    std::vector<int> clearColumns;

    int ColumnOf(ResultItem item) const { return itemColumn[static_cast<std::size_t>(item)]; }
    // Whether the layout shows the six port results (the log's port texts come from them).
    bool HasPortColumns() const { return ColumnOf(ResultItem::Usb2Port1) >= 0; }
};

const PageLayout& LayoutOfPage(std::uint8_t page);
inline const PageLayout& LayoutOf(ResultLayout layout) {
    return LayoutOfPage(static_cast<std::uint8_t>(layout));
}

// The column set of a page, in table order (titles from the UI texts where they are UI texts).
std::vector<ResultColumn> ResultColumnsOf(std::uint8_t page, const UiTextTable& texts);

// The column of a layout that shows a run's result; -1 when the layout has none.
inline int ResultColumnOf(ResultLayout layout, ResultItem item) {
    return LayoutOf(layout).ColumnOf(item);
}

// The results a run started on `page` with `settings` marks "doing" for every host before it
// starts: exactly those its workers will write.
std::vector<ResultItem> DoingItems(std::uint8_t page, const IniSettings& settings);

}  // namespace qnl
