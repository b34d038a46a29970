// The result table: one row per host-table slot, one column per fact or result, with the
// column set of the page shown. Workers write PASS/FAIL cells from their threads; the window
// (an observer) redraws what changed.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "controller/CUtility.h"
#include "platform/EventLog.h"
#include "ui/ListCtrlEx.h"
#include "ui/UiTextTable.h"

namespace qnl {

// The pages of the tab control.
inline constexpr std::uint8_t kPageMain = 0;
inline constexpr std::uint8_t kPageUpgrade = 1;
inline constexpr std::uint8_t kPageTest = 2;

inline constexpr int kResultRows = 8;
inline constexpr std::size_t kMaxCellText = 126;

// Colour codes of vShowResultItemTable.
inline constexpr std::uint8_t kCellWhite = 0;
inline constexpr std::uint8_t kCellGreen = 1;
inline constexpr std::uint8_t kCellRed = 2;
Colour CellColourOf(std::uint8_t code);

struct ResultColumn {
    std::string title;
    int width;
};

// The column set of a page, in table order.
std::vector<ResultColumn> ResultColumnsOf(std::uint8_t page, const UiTextTable& texts);

class ResultTable {
  public:
    struct Change {
        enum class Kind { Rebuilt, Cell } kind;
        int row = -1;
        int column = -1;
    };
    using Observer = std::function<void(const Change&)>;

    ResultTable(const UiTextTable& texts, CEventLog& log, CUtility& utility);

    // The page whose column set is shown (0 main, 1 upgrade, 2 test).
    void SetPage(std::uint8_t page);
    std::uint8_t Page() const;

    void vSetMainResultHeader();
    void vSetMainResultItemTable();
    void vShowResultItemTable(std::uint8_t colour, std::uint8_t row, int column,
                              const std::string& text);
    std::string strGetResultItemTable(std::uint8_t row, int column) const;
    void vClearCtrlListHostInfoTable();
    void vUpdateResultFixedItem(std::uint8_t hostIndex);
    void vUpdateAllMainResultSubItemTable();

    // Page change: the new page's column set, rows and fixed items.
    void ShowPage(std::uint8_t page);

    // Read access for views and tests.
    int ColumnCount() const;
    std::vector<ResultColumn> Columns() const;
    CListCtrlEx::CellColours ColoursOf(int row, int column) const;
    // The colour code last written to a cell (white when never written).
    std::uint8_t ColourCodeOf(int row, int column) const;

    // Observers are called after the table changed, outside its lock, on the writing thread.
    int AddObserver(Observer observer);
    void RemoveObserver(int id);

  private:
    void SetCellLocked(int row, int column, std::uint8_t colour, const std::string& text);
    void ClearLocked();
    void UpdateFixedLocked(const TargetHost& host);
    void Notify(const Change& change);

    const UiTextTable& texts_;
    CEventLog& log_;
    CUtility& utility_;

    mutable std::mutex mutex_;
    std::uint8_t page_ = kPageMain;
    CListCtrlEx list_;
    std::map<std::pair<int, int>, std::uint8_t> colourCodes_;

    std::mutex observerMutex_;
    std::map<int, Observer> observers_;
    int nextObserver_ = 1;
};

}  // namespace qnl
