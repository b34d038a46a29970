#include "app/ResultTable.h"

#include <array>
#include <exception>

#include "platform/Files.h"
#include "platform/Format.h"
#include "platform/Worker.h"

namespace qnl {

namespace {
constexpr const char* kFunctionShow = "CQNL735_MPToolDlg::vShowResultItemTable";
}

Colour CellColourOf(std::uint8_t code) {
    switch (code) {
        case kCellGreen:
            return RgbColour(0, 255, 0);
        case kCellRed:
            return RgbColour(255, 0, 0);
        default:
            return RgbColour(255, 255, 255);
    }
}

ResultTable::ResultTable(const UiTextTable& texts, CEventLog& log, CUtility& utility,
                         RunRecord& record)
    : texts_(texts), log_(log), utility_(utility), record_(record) {
    vSetMainResultHeader();
    vSetMainResultItemTable();
}

void ResultTable::SetPage(std::uint8_t page) {
    std::lock_guard lock(mutex_);
    page_ = page <= kPageTest ? page : kPageMain;
}

std::uint8_t ResultTable::Page() const {
    std::lock_guard lock(mutex_);
    return page_;
}

void ResultTable::vSetMainResultHeader() {
    try {
        BeginRecord();
        {
            std::lock_guard lock(mutex_);
            list_.DeleteAllRowData();
            list_.DeleteAllItems();
            colourCodes_.clear();
            failedThisRun_.clear();
            while (list_.ColumnCount() > 0) list_.DeleteColumn(0);
            for (const auto& column : ResultColumnsOf(page_, texts_))
                list_.InsertColumn(column.title, column.width);
        }
        Notify(Change{Change::Kind::Rebuilt, -1, -1, {}});
    } catch (const std::exception& e) {
        log_.LogMessage(kEventTypeError,
                        "\r\n%s:%d: vSetMainResultHeader: ucMainResultColumnCount : %d , "
                        "ucMainResultTotalCount : %d , dwErrorCode %d, what: %s",
                        "CQNL735_MPToolDlg::vSetMainResultHeader", 2210, 0, 0, files::LastError(),
                        e.what());
    }
}

void ResultTable::vSetMainResultItemTable() {
    int reached = 0;
    try {
        {
            std::lock_guard lock(mutex_);
            list_.DeleteAllRowData();
            list_.DeleteAllItems();
            colourCodes_.clear();
            failedThisRun_.clear();
            for (reached = 0; reached < kResultRows; ++reached) {
                list_.InsertItem(reached, Format("%d", reached));
                list_.SetRowData(reached, &utility_.hosts[static_cast<std::size_t>(reached)]);
            }
        }
        Notify(Change{Change::Kind::Rebuilt, -1, -1, {}});
    } catch (const std::exception& e) {
        log_.LogMessage(
            kEventTypeError,
            "\r\n%s:%d: vSetMainResultItemTable: Idx/Max = [%d] , dwErrorCode %d, what: %s",
            "CQNL735_MPToolDlg::vSetMainResultItemTable", 2240, reached, files::LastError(),
            e.what());
    }
}

void ResultTable::SetCellLocked(int row, int column, std::uint8_t colour, const std::string& text) {
    if (row < 0 || row >= list_.RowCount() || column < 0 || column >= list_.ColumnCount()) return;
    // Within a run a FAIL is never replaced by anything but another FAIL.
    if (colour == kCellRed)
        failedThisRun_.insert({row, column});
    else if (failedThisRun_.count({row, column}) != 0)
        return;
    list_.SetCellColour(row, column, CellColourOf(colour));
    list_.SetItemText(row, column, text.substr(0, kMaxCellText));
    colourCodes_[{row, column}] = colour;
}

void ResultTable::vShowResultItemTable(std::uint8_t colour, std::uint8_t row, int column,
                                       const std::string& text) {
    // A worker given up on writes nothing.
    GatedWrite([&] { ShowCell(colour, row, column, text); });
}

void ResultTable::ShowCell(std::uint8_t colour, std::uint8_t row, int column,
                           const std::string& text) {
    try {
        {
            std::lock_guard lock(mutex_);
            SetCellLocked(row, column, colour, text);
        }
        Notify(Change{Change::Kind::Cell, row, column, {}});
    } catch (const std::exception& e) {
        log_.LogMessage(kEventTypeError,
                        "\r\n%s:%d: vUpdateResultItemTable: dwErrorCode : %d , what: %s",
                        kFunctionShow, 2270, files::LastError(), e.what());
    }
}

std::string ResultTable::strGetResultItemTable(std::uint8_t row, int column) const {
    try {
        std::lock_guard lock(mutex_);
        return list_.GetItemText(row, column);
    } catch (const std::exception& e) {
        log_.LogMessage(
            kEventTypeError, "\r\n%s:%d: vUpdateResultItemTable: dwErrorCode : %d , what: %s",
            "CQNL735_MPToolDlg::strGetResultItemTable", 2285, files::LastError(), e.what());
        return {};
    }
}

void ResultTable::ClearLocked() {
    for (int row = 0; row < kResultRows; ++row)
        for (int column : LayoutOfPage(page_).clearColumns)
            SetCellLocked(row, column, kCellWhite, "");
}

void ResultTable::BeginRecord() {
    // The records are copied under their locks before the record's own lock is taken.
    std::array<TargetHost, kMaxHosts> hosts;
    for (std::size_t i = 0; i < kMaxHosts; ++i) hosts[i] = utility_.RecordSnapshot(i);
    record_.Begin(hosts, utility_.ucHostCount);
}

void ResultTable::vClearCtrlListHostInfoTable() {
    BeginRecord();
    {
        std::lock_guard lock(mutex_);
        failedThisRun_.clear();
        ClearLocked();
    }
    Notify(Change{Change::Kind::Rebuilt, -1, -1, {}});
}

namespace {
std::string FixedText(FixedColumn fact, const TargetHost& host) {
    switch (fact) {
        case FixedColumn::FwVersion:
            // A controller that did not answer at discovery is marked where its version goes.
            return host.bNoAnswer ? std::string(kNoAnswerText) : host.strFWVersion;
        case FixedColumn::WrsrStatus:
            return Format("0x%02x", host.ucWrsrStatus);
        case FixedColumn::Bus:
            return Format("%d", host.ucBus);
        case FixedColumn::Device:
            return Format("%d", host.ucDevice);
        case FixedColumn::Function:
            return Format("%d", host.ucFunction);
        case FixedColumn::Ssid:
            return host.strSSID;
        case FixedColumn::Svid:
            return host.strSVID;
        case FixedColumn::PcieLink:
            return Format("0x%02x", host.ucPcieLink);
    }
    return {};
}
}  // namespace

void ResultTable::UpdateFixedLocked(const TargetHost& host) {
    for (const auto& [fact, column] : LayoutOfPage(page_).fixedColumns)
        SetCellLocked(host.ucIndex, column, kCellWhite, FixedText(fact, host));
}

void ResultTable::vUpdateResultFixedItem(std::uint8_t hostIndex) {
    if (hostIndex >= kMaxHosts) return;
    GatedWrite([&] {
        const TargetHost host = utility_.RecordSnapshot(hostIndex);
        {
            std::lock_guard lock(mutex_);
            UpdateFixedLocked(host);
        }
        Notify(Change{Change::Kind::Rebuilt, -1, -1, {}});
    });
}

namespace {
ItemState ItemStateOf(CellState state) {
    switch (state) {
        case CellState::Pass:
            return ItemState::Pass;
        case CellState::Fail:
            return ItemState::Fail;
        default:
            return ItemState::Doing;
    }
}
std::uint8_t ColourOf(ItemState state) {
    return state == ItemState::Pass ? kCellGreen : state == ItemState::Fail ? kCellRed : kCellWhite;
}
}  // namespace

void ResultTable::ShowResult(ResultLayout layout, std::uint8_t host, ResultItem item,
                             CellState state, const std::string& text, std::int32_t errorCode) {
    // A worker given up on writes nothing, into the record or the table.
    GatedWrite([&] {
        const ItemEntry entry = record_.Set(host, item, ItemStateOf(state), text, errorCode);
        const int column = ResultColumnOf(layout, item);
        if (column >= 0) ShowCell(ColourOf(entry.state), host, column, entry.text);
    });
}

void ResultTable::MarkPending(ResultLayout layout, std::uint8_t host, ResultItem item) {
    const ItemEntry entry = record_.Set(host, item, ItemState::Pending, "doing");
    const int column = ResultColumnOf(layout, item);
    if (column >= 0) ShowCell(ColourOf(entry.state), host, column, entry.text);
}

void ResultTable::EndRun(ResultLayout layout) {
    for (const RunRecord::Settled& s : record_.SettleUnfinished()) {
        const int column = ResultColumnOf(layout, s.item);
        if (column >= 0) ShowCell(ColourOf(s.entry.state), s.host, column, s.entry.text);
    }
}

void ResultTable::RefreshHost(std::uint8_t host) {
    vUpdateResultFixedItem(host);
}

void ResultTable::ConsoleLine(const std::string& text) {
    GatedWrite([&] {
        IConsole* console = nullptr;
        {
            std::lock_guard lock(mutex_);
            console = console_;
        }
        if (console != nullptr) console->Write(text);
        Notify({Change::Kind::ConsoleLine, -1, -1, text});
    });
}

void ResultTable::BeginRun() {
    BeginRecord();
    std::lock_guard lock(mutex_);
    failedThisRun_.clear();
}

void ResultTable::SetConsole(IConsole* console) {
    std::lock_guard lock(mutex_);
    console_ = console;
}

std::string ResultTable::ResultText(ResultLayout layout, std::uint8_t host, ResultItem item) const {
    const int column = ResultColumnOf(layout, item);
    return column < 0 ? std::string() : strGetResultItemTable(host, column);
}

std::uint8_t ResultTable::ResultColour(ResultLayout layout, std::uint8_t host,
                                       ResultItem item) const {
    const int column = ResultColumnOf(layout, item);
    return column < 0 ? kCellWhite : ColourCodeOf(host, column);
}

void ResultTable::vUpdateAllMainResultSubItemTable() {
    // A run's workers may be writing the records: each is copied under its record lock (the one
    // their report gates write under), before the table's own lock is taken (a worker holds
    // its record's lock while it writes a cell).
    std::array<TargetHost, kMaxHosts> hosts;
    for (std::size_t i = 0; i < kMaxHosts; ++i) hosts[i] = utility_.RecordSnapshot(i);
    {
        std::lock_guard lock(mutex_);
        ClearLocked();
        for (const auto& host : hosts)
            if (host.ucIndex != kNoHostIndex) UpdateFixedLocked(host);
    }
    Notify(Change{Change::Kind::Rebuilt, -1, -1, {}});
}

void ResultTable::ShowPage(std::uint8_t page) {
    SetPage(page);
    vSetMainResultHeader();
    vSetMainResultItemTable();
    vUpdateAllMainResultSubItemTable();
}

int ResultTable::ColumnCount() const {
    std::lock_guard lock(mutex_);
    return list_.ColumnCount();
}

std::vector<ResultColumn> ResultTable::Columns() const {
    std::lock_guard lock(mutex_);
    std::vector<ResultColumn> columns;
    for (int i = 0; i < list_.ColumnCount(); ++i)
        columns.push_back({list_.ColumnAt(i).title, list_.ColumnAt(i).width});
    return columns;
}

CListCtrlEx::CellColours ResultTable::ColoursOf(int row, int column) const {
    std::lock_guard lock(mutex_);
    return list_.ColoursOf(row, column);
}

std::uint8_t ResultTable::ColourCodeOf(int row, int column) const {
    std::lock_guard lock(mutex_);
    auto it = colourCodes_.find({row, column});
    return it == colourCodes_.end() ? kCellWhite : it->second;
}

int ResultTable::AddObserver(Observer observer) {
    return observers_.Add(std::move(observer));
}

void ResultTable::RemoveObserver(int id) {
    observers_.Remove(id);
}

void ResultTable::Notify(const Change& change) {
    observers_.Notify(change);
}

}  // namespace qnl
