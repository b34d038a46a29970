// The result table on screen: a model over the core's ResultTable and the table view with the
// page's fixed column widths.
//
// Workers write the core's table from their threads; the model hears of it through the table's
// observer and passes the news to the GUI thread (queued), where it tells the view. The view
// reads the core's table when it paints, never the other way round.
#pragma once

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTableView>

#include <vector>

#include "app/ResultTable.h"

namespace qnl {

class ResultTableModel final : public QAbstractTableModel {
    Q_OBJECT
  public:
    explicit ResultTableModel(ResultTable& table, QObject* parent = nullptr);
    ~ResultTableModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The column set shown now (titles and widths), as of the last rebuild.
    const std::vector<ResultColumn>& Columns() const { return columns_; }
    const UiTextTable& Texts() const { return table_.Texts(); }

  signals:
    // The column set changed: the view sets its widths again.
    void layoutRebuilt();

  private:
    void OnTableChanged(const ResultTable::Change& change);  // any thread
    void Rebuild();
    void CellChanged(int row, int column);

    ResultTable& table_;
    int observer_ = 0;
    std::vector<ResultColumn> columns_;
};

// Paints a selected row's coloured cells in their own colours (a full-row selection would hide
// PASS and FAIL) with the selection shown as a frame.
class ResultCellDelegate final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

class ResultTableView final : public QTableView {
    Q_OBJECT
  public:
    explicit ResultTableView(ResultTableModel& model, QWidget* parent = nullptr);
    // The widths of the current column set, fixed.
    void ApplyColumnWidths();
    // The header and 8 rows, the widest column set whole; smaller on a small screen.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The widest column set's total width, so the window never needs a horizontal scroll bar.
    static int WidestLayoutWidth(const UiTextTable& texts);

  private:
    ResultTableModel& model_;
    ResultCellDelegate delegate_;
    int naturalHeight_ = 0;
};

}  // namespace qnl
