// The result table: one row per host-table slot, one column per fact or result, with the
// column set of the page shown. Workers write PASS/FAIL cells from their threads; the window
// (an observer) redraws what changed.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "app/ResultLayouts.h"
#include "controller/CUtility.h"
#include "controller/RunRecord.h"
#include "controller/RunReporter.h"
#include "platform/Console.h"
#include "platform/EventLog.h"
#include "platform/ListenerList.h"
#include "ui/ListCtrlEx.h"
#include "ui/UiTextTable.h"

namespace qnl {

inline constexpr int kResultRows = 8;
inline constexpr std::size_t kMaxCellText = 126;
// The FW Version cell of a controller that did not answer at discovery.
inline constexpr const char* kNoAnswerText = "No answer";

// Colour codes of vShowResultItemTable.
inline constexpr std::uint8_t kCellWhite = 0;
inline constexpr std::uint8_t kCellGreen = 1;
inline constexpr std::uint8_t kCellRed = 2;
Colour CellColourOf(std::uint8_t code);

// The result table. As the runs' reporter it is thread-safe; every write from a worker thread
// passes the worker's report gate. A run's results go into the run's record first (where a FAIL
// stays), and the cell shows the record's entry: the table is a view of the record. Within a
// run a FAIL cell keeps its FAIL.
class ResultTable final : public IRunReporter {
  public:
    struct Change {
        enum class Kind { Rebuilt, Cell, ConsoleLine } kind;
        int row = -1;
        int column = -1;
        std::string text{};  // the line of a ConsoleLine change
    };
    using Observer = std::function<void(const Change&)>;

    ResultTable(const UiTextTable& texts, CEventLog& log, CUtility& utility, RunRecord& record);

    // --- IRunReporter -------------------------------------------------------------------------
    void ShowResult(ResultLayout layout, std::uint8_t host, ResultItem item, CellState state,
                    const std::string& text, std::int32_t errorCode = 0) override;
    void RefreshHost(std::uint8_t host) override;
    void ConsoleLine(const std::string& text) override;
    void BeginRun() override;
    // RunRecord::SettleUnfinished, in the record and in the cells of `layout`.
    void EndRun(ResultLayout layout) override;
    // A result the run will write, "doing" until its step starts and gives its verdict.
    void MarkPending(ResultLayout layout, std::uint8_t host, ResultItem item);
    // Where console lines go (console mode); null: nowhere but the observers.
    void SetConsole(IConsole* console);
    // The text of a run's result cell ("" when the layout has no such column).
    std::string ResultText(ResultLayout layout, std::uint8_t host, ResultItem item) const;
    std::uint8_t ResultColour(ResultLayout layout, std::uint8_t host, ResultItem item) const;

    // The texts its titles come from.
    const UiTextTable& Texts() const { return texts_; }

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
    // Once RemoveObserver has returned the observer is not called again (a call already
    // running on another thread is waited for).
    int AddObserver(Observer observer);
    void RemoveObserver(int id);

  private:
    void SetCellLocked(int row, int column, std::uint8_t colour, const std::string& text);
    void ShowCell(std::uint8_t colour, std::uint8_t row, int column, const std::string& text);
    void ClearLocked();
    // The record starts again (with the table's FAIL cells): a run's start, a cleared table.
    void BeginRecord();
    void UpdateFixedLocked(const TargetHost& host);
    void Notify(const Change& change);

    const UiTextTable& texts_;
    CEventLog& log_;
    CUtility& utility_;
    RunRecord& record_;

    mutable std::mutex mutex_;
    std::uint8_t page_ = kPageMain;
    CListCtrlEx list_;
    std::map<std::pair<int, int>, std::uint8_t> colourCodes_;
    // Cells that showed FAIL since the run began: they keep it until the next run.
    std::set<std::pair<int, int>> failedThisRun_;
    IConsole* console_ = nullptr;

    ListenerList<const Change&> observers_;
};

}  // namespace qnl
