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

int ResultColumnOf(ResultLayout layout, ResultItem item) {
    const int port = static_cast<int>(item) - static_cast<int>(ResultItem::Usb2Port1);
    const bool isPort = port >= 0 && item <= ResultItem::Usb31Port2;
    switch (layout) {
        case ResultLayout::Upgrade:
            return item == ResultItem::FwUpdate ? 9 : item == ResultItem::FwCheck ? 10 : -1;
        case ResultLayout::Test:
            if (isPort) return 5 + port;
            switch (item) {
                case ResultItem::SignalLineOverall:
                    return 11;
                case ResultItem::TerminationOverall:
                    return 12;
                case ResultItem::LoopBackOverall:
                    return 13;
                default:
                    return -1;
            }
        case ResultLayout::Main:
            if (isPort) return 8 + port;
            switch (item) {
                case ResultItem::FwUpdate:
                case ResultItem::FwCheck:
                    return 7;
                case ResultItem::SignalLineOverall:
                    return 14;
                case ResultItem::TerminationOverall:
                    return 15;
                case ResultItem::LoopBackOverall:
                    return 16;
                default:
                    return -1;
            }
    }
    return -1;
}

ResultTable::ResultTable(const UiTextTable& texts, CEventLog& log, CUtility& utility)
    : texts_(texts), log_(log), utility_(utility) {
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
    } catch (const std::exception&) {
        log_.LogMessage(kEventTypeError,
                        "\r\n%s:%d: vSetMainResultHeader: ucMainResultColumnCount : %d , "
                        "ucMainResultTotalCount : %d , dwErrorCode %d",
                        "CQNL735_MPToolDlg::vSetMainResultHeader", 2210, 0, 0, files::LastError());
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
    } catch (const std::exception&) {
        log_.LogMessage(
            kEventTypeError, "\r\n%s:%d: vSetMainResultItemTable: Idx/Max = [%d] , dwErrorCode %d",
            "CQNL735_MPToolDlg::vSetMainResultItemTable", 2240, reached, files::LastError());
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
    } catch (const std::exception&) {
        log_.LogMessage(kEventTypeError, "\r\n%s:%d: vUpdateResultItemTable: dwErrorCode : %d ",
                        kFunctionShow, 2270, files::LastError());
    }
}

std::string ResultTable::strGetResultItemTable(std::uint8_t row, int column) const {
    try {
        std::lock_guard lock(mutex_);
        return list_.GetItemText(row, column);
    } catch (const std::exception&) {
        log_.LogMessage(kEventTypeError, "\r\n%s:%d: vUpdateResultItemTable: dwErrorCode : %d ",
                        "CQNL735_MPToolDlg::strGetResultItemTable", 2285, files::LastError());
        return {};
    }
}

void ResultTable::ClearLocked() {
    std::vector<int> columns;
    switch (page_) {
        case kPageUpgrade:
            columns = {2, 6, 7, 8, 9, 10};
            break;
        case kPageTest:
            columns = {5, 6, 7, 8, 9, 10, 11, 12, 13};
            break;
        default:
            columns = {7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
            break;
    }
    for (int row = 0; row < kResultRows; ++row)
        for (int column : columns) SetCellLocked(row, column, kCellWhite, "");
}

void ResultTable::vClearCtrlListHostInfoTable() {
    {
        std::lock_guard lock(mutex_);
        failedThisRun_.clear();
        ClearLocked();
    }
    Notify(Change{Change::Kind::Rebuilt, -1, -1, {}});
}

void ResultTable::UpdateFixedLocked(const TargetHost& host) {
    const int row = host.ucIndex;
    auto number = [](int value) { return Format("%d", value); };
    switch (page_) {
        case kPageUpgrade:
            SetCellLocked(row, 1, kCellWhite, host.strFWVersion);
            SetCellLocked(row, 2, kCellWhite, Format("0x%02x", host.ucWrsrStatus));
            SetCellLocked(row, 3, kCellWhite, number(host.ucBus));
            SetCellLocked(row, 4, kCellWhite, number(host.ucDevice));
            SetCellLocked(row, 5, kCellWhite, number(host.ucFunction));
            SetCellLocked(row, 6, kCellWhite, host.strSSID);
            SetCellLocked(row, 7, kCellWhite, host.strSVID);
            SetCellLocked(row, 8, kCellWhite, Format("0x%02x", host.ucPcieLink));
            break;
        case kPageTest:
            SetCellLocked(row, 1, kCellWhite, host.strFWVersion);
            SetCellLocked(row, 2, kCellWhite, number(host.ucBus));
            SetCellLocked(row, 3, kCellWhite, number(host.ucDevice));
            SetCellLocked(row, 4, kCellWhite, number(host.ucFunction));
            break;
        default:
            SetCellLocked(row, 1, kCellWhite, host.strFWVersion);
            SetCellLocked(row, 2, kCellWhite, number(host.ucBus));
            SetCellLocked(row, 3, kCellWhite, number(host.ucDevice));
            SetCellLocked(row, 4, kCellWhite, number(host.ucFunction));
            SetCellLocked(row, 5, kCellWhite, host.strSSID);
            SetCellLocked(row, 6, kCellWhite, host.strSVID);
            break;
    }
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

void ResultTable::ShowResult(ResultLayout layout, std::uint8_t host, ResultItem item,
                             CellState state, const std::string& text) {
    const int column = ResultColumnOf(layout, item);
    if (column < 0) return;
    vShowResultItemTable(static_cast<std::uint8_t>(state), host, column, text);
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
    std::lock_guard lock(observerMutex_);
    const int id = nextObserver_++;
    observers_[id] = std::move(observer);
    return id;
}

void ResultTable::RemoveObserver(int id) {
    std::lock_guard lock(observerMutex_);
    observers_.erase(id);
}

void ResultTable::Notify(const Change& change) {
    std::vector<Observer> observers;
    {
        std::lock_guard lock(observerMutex_);
        for (const auto& [id, observer] : observers_) observers.push_back(observer);
    }
    for (const auto& observer : observers) observer(change);
}

}  // namespace qnl
