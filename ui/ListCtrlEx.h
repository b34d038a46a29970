// The result table's list control, as data: columns, rows of cell texts, and per-row records
// that carry row and cell colours. The window draws it; the core writes it.
//
// Not thread-safe by itself: the result table serialises access.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qnl {

// Colours are 0x00BBGGRR values; kColourNone means "not set at this level".
using Colour = std::int32_t;
inline constexpr Colour kColourNone = -1;
inline constexpr Colour RgbColour(int red, int green, int blue) {
    return static_cast<Colour>((blue & 0xFF) << 16 | (green & 0xFF) << 8 | (red & 0xFF));
}
inline constexpr Colour kColourBlack = RgbColour(0, 0, 0);

class CListCtrlEx {
public:
    struct CellInfo {
        int column = 0;
        Colour background = kColourNone;
        Colour text = kColourNone;
    };
    struct ItemData {
        Colour rowText = kColourNone;
        Colour rowBackground = kColourNone;
        void* userData = nullptr;
        std::vector<std::unique_ptr<CellInfo>> cells;
        CellInfo* FindCell(int column);
    };
    struct Column {
        std::string title;
        int width = 0;
        Colour text = kColourNone;
        Colour background = kColourNone;
    };
    // Colours a cell is painted with; kColourNone = the list view's own.
    struct CellColours {
        Colour background = kColourNone;
        Colour text = kColourNone;
    };

    // Columns.
    void InsertColumn(const std::string& title, int width);
    bool DeleteColumn(int index);
    int ColumnCount() const { return static_cast<int>(columns_.size()); }
    const Column& ColumnAt(int index) const { return columns_.at(static_cast<std::size_t>(index)); }

    // Rows and texts.
    int InsertItem(int row, const std::string& text);
    void DeleteAllItems();
    int RowCount() const { return static_cast<int>(rows_.size()); }
    bool SetItemText(int row, int column, const std::string& text);
    std::string GetItemText(int row, int column) const;

    // Per-row records and cell colours.
    void SetCellColour(int row, int column, Colour background);
    void SetRowData(int row, void* userData);
    void DeleteAllRowData();
    const ItemData* RowData(int row) const;
    CellColours ColoursOf(int row, int column) const;

    void SetDefaultColours(Colour text, Colour background);

private:
    struct Row {
        std::vector<std::string> texts;
        std::unique_ptr<ItemData> data;
    };
    bool Inside(int row, int column) const;
    ItemData& EnsureRowData(int row);

    std::vector<Column> columns_;
    std::vector<Row> rows_;
    Colour defaultText_ = kColourNone;
    Colour defaultBackground_ = kColourNone;
};

}  // namespace qnl
