#include "ui/ListCtrlEx.h"

namespace qnl {

CListCtrlEx::CellInfo* CListCtrlEx::ItemData::FindCell(int column) {
    for (auto& cell : cells)
        if (cell->column == column) return cell.get();
    return nullptr;
}

void CListCtrlEx::InsertColumn(const std::string& title, int width) {
    columns_.push_back(Column{title, width, kColourNone, kColourNone});
    for (auto& row : rows_) row.texts.resize(columns_.size());
}

bool CListCtrlEx::DeleteColumn(int index) {
    if (index < 0 || index >= ColumnCount()) return false;
    columns_.erase(columns_.begin() + index);
    for (auto& row : rows_)
        if (static_cast<std::size_t>(index) < row.texts.size())
            row.texts.erase(row.texts.begin() + index);
    return true;
}

int CListCtrlEx::InsertItem(int row, const std::string& text) {
    if (row < 0 || row > RowCount()) row = RowCount();
    Row r;
    r.texts.resize(std::max<std::size_t>(columns_.size(), 1));
    r.texts[0] = text;
    rows_.insert(rows_.begin() + row, std::move(r));
    return row;
}

void CListCtrlEx::DeleteAllItems() { rows_.clear(); }

bool CListCtrlEx::Inside(int row, int column) const {
    return row >= 0 && row < RowCount() && column >= 0 && column < ColumnCount();
}

bool CListCtrlEx::SetItemText(int row, int column, const std::string& text) {
    if (!Inside(row, column)) return false;
    rows_[static_cast<std::size_t>(row)].texts[static_cast<std::size_t>(column)] = text;
    return true;
}

std::string CListCtrlEx::GetItemText(int row, int column) const {
    if (!Inside(row, column)) return {};
    return rows_[static_cast<std::size_t>(row)].texts[static_cast<std::size_t>(column)];
}

CListCtrlEx::ItemData& CListCtrlEx::EnsureRowData(int row) {
    auto& data = rows_[static_cast<std::size_t>(row)].data;
    if (!data) data = std::make_unique<ItemData>();
    return *data;
}

void CListCtrlEx::SetCellColour(int row, int column, Colour background) {
    if (!Inside(row, column)) return;
    ItemData& data = EnsureRowData(row);
    CellInfo* cell = data.FindCell(column);
    if (cell == nullptr) {
        data.cells.push_back(std::make_unique<CellInfo>());
        cell = data.cells.back().get();
        cell->column = column;
    }
    cell->background = background;
    cell->text = kColourBlack;
}

void CListCtrlEx::SetRowData(int row, void* userData) {
    if (row < 0 || row >= RowCount()) return;
    EnsureRowData(row).userData = userData;
}

void CListCtrlEx::DeleteAllRowData() {
    for (auto& row : rows_) row.data.reset();
}

const CListCtrlEx::ItemData* CListCtrlEx::RowData(int row) const {
    if (row < 0 || row >= RowCount()) return nullptr;
    return rows_[static_cast<std::size_t>(row)].data.get();
}

CListCtrlEx::CellColours CListCtrlEx::ColoursOf(int row, int column) const {
    CellColours colours;
    if (!Inside(row, column)) return colours;
    const ItemData* data = RowData(row);
    const Column& col = columns_[static_cast<std::size_t>(column)];
    if (data != nullptr) {
        for (const auto& cell : data->cells) {
            if (cell->column != column || cell->background == kColourNone) continue;
            colours.background = cell->background;
            colours.text = cell->text != kColourNone ? cell->text : defaultText_;
            return colours;
        }
    }
    // Cells without a colour of their own: the row, then the column, then the defaults.
    auto pick = [](Colour a, Colour b, Colour c) {
        return a != kColourNone ? a : (b != kColourNone ? b : c);
    };
    colours.background = pick(data ? data->rowBackground : kColourNone, col.background,
                              defaultBackground_);
    colours.text = pick(data ? data->rowText : kColourNone, col.text, defaultText_);
    return colours;
}

void CListCtrlEx::SetDefaultColours(Colour text, Colour background) {
    defaultText_ = text;
    defaultBackground_ = background;
}

}  // namespace qnl
