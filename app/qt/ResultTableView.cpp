#include "app/qt/ResultTableView.h"

#include <QHeaderView>
#include <QMetaObject>
#include <QPainter>
#include <QThread>

#include <algorithm>

namespace qnl {

namespace {
QColor ToQColor(Colour colour) {
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}
}  // namespace

ResultTableModel::ResultTableModel(ResultTable& table, QObject* parent)
    : QAbstractTableModel(parent), table_(table), columns_(table.Columns()) {
    observer_ =
        table_.AddObserver([this](const ResultTable::Change& change) { OnTableChanged(change); });
}

ResultTableModel::~ResultTableModel() {
    table_.RemoveObserver(observer_);
}

void ResultTableModel::OnTableChanged(const ResultTable::Change& change) {
    using Kind = ResultTable::Change::Kind;
    if (change.kind == Kind::ConsoleLine) return;
    // The news goes to the GUI thread; the model reads the table there when it is delivered.
    QMetaObject::invokeMethod(
        this,
        [this, change] {
            if (change.kind == Kind::Rebuilt)
                Rebuild();
            else
                CellChanged(change.row, change.column);
        },
        Qt::QueuedConnection);
}

void ResultTableModel::Rebuild() {
    beginResetModel();
    columns_ = table_.Columns();
    endResetModel();
    emit layoutRebuilt();
}

void ResultTableModel::CellChanged(int row, int column) {
    if (row < 0 || row >= kResultRows || column < 0 || column >= static_cast<int>(columns_.size()))
        return;
    const QModelIndex at = index(row, column);
    emit dataChanged(at, at);
}

int ResultTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kResultRows;
}

int ResultTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant ResultTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const int row = index.row();
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return QString::fromStdString(table_.strGetResultItemTable(row, column));
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignCenter);
        case Qt::BackgroundRole: {
            const auto colours = table_.ColoursOf(row, column);
            if (colours.background == kColourNone) return {};
            return QBrush(ToQColor(colours.background));
        }
        case Qt::ForegroundRole: {
            const auto colours = table_.ColoursOf(row, column);
            if (colours.text == kColourNone) return {};
            return QBrush(ToQColor(colours.text));
        }
        default:
            return {};
    }
}

QVariant ResultTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) {
        // The rows are not numbered on screen (the H# column is); a screen reader reading the
        // row headers hears the host number of the H# column, not a count from 1.
        if (role == Qt::DisplayRole) return QString::number(section);
        return {};
    }
    if (section < 0 || section >= static_cast<int>(columns_.size())) return {};
    if (role == Qt::DisplayRole) return QString::fromStdString(columns_[section].title);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignCenter);
    return {};
}

void ResultCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    // PASS and FAIL cells keep their colours; white ones ("doing", the device facts) show the
    // selection as usual.
    const QVariant background = index.data(Qt::BackgroundRole);
    const bool coloured = background.isValid() && background.value<QBrush>().color() != Qt::white;
    if (!(option.state & QStyle::State_Selected) || !coloured) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // A coloured cell of the selected row: its own colours, the selection as a frame.
    QStyleOptionViewItem plain(option);
    plain.state &= ~QStyle::State_Selected;
    QStyledItemDelegate::paint(painter, plain, index);
    painter->save();
    QPen pen(option.palette.color(QPalette::Highlight));
    pen.setWidth(2);
    painter->setPen(pen);
    painter->drawLine(option.rect.topLeft() + QPoint(0, 1), option.rect.topRight() + QPoint(0, 1));
    painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
    painter->restore();
}

ResultTableView::ResultTableView(ResultTableModel& model, QWidget* parent)
    : QTableView(parent), model_(model), delegate_(this) {
    setModel(&model_);
    setItemDelegate(&delegate_);
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // A screen narrower than the widest column set scrolls the table, not the window.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Tab and Shift+Tab leave the table (the arrow keys move in it).
    setTabKeyNavigation(false);
    setWordWrap(false);
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setMinimumSectionSize(8);
    horizontalHeader()->setTextElideMode(Qt::ElideNone);
    setTextElideMode(Qt::ElideNone);
    // The columns' pixel widths are fixed: the table's text is one point smaller than the
    // window's, so the titles ("USB3.1 Port1" in 78 pixels) and a firmware version
    // ("170707_00_50_01" in 110) fit whole.
    QFont tableFont = font();
    tableFont.setPointSizeF(tableFont.pointSizeF() - 1);
    setFont(tableFont);
    horizontalHeader()->setFont(tableFont);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    connect(&model_, &ResultTableModel::layoutRebuilt, this, &ResultTableView::ApplyColumnWidths);
    ApplyColumnWidths();
}

void ResultTableView::ApplyColumnWidths() {
    const auto& columns = model_.Columns();
    for (int i = 0; i < static_cast<int>(columns.size()); ++i)
        horizontalHeader()->resizeSection(i, columns[i].width);
    const int rows = verticalHeader()->defaultSectionSize() * kResultRows;
    // The tallest header of the column sets seen: a page switch never resizes the window.
    naturalHeight_ =
        std::max(naturalHeight_, horizontalHeader()->sizeHint().height() + rows + 2 * frameWidth());
    updateGeometry();
}

QSize ResultTableView::sizeHint() const {
    // Every row, and the widest column set whole.
    return {WidestLayoutWidth(model_.Texts()) + 2 * frameWidth(), naturalHeight_};
}

QSize ResultTableView::minimumSizeHint() const {
    // A small screen shrinks the table to the header and two rows; the rest scrolls.
    return {240, horizontalHeader()->sizeHint().height() +
                     2 * verticalHeader()->defaultSectionSize() + 2 * frameWidth()};
}

int ResultTableView::WidestLayoutWidth(const UiTextTable& texts) {
    int widest = 0;
    for (std::uint8_t page : {kPageMain, kPageUpgrade, kPageTest}) {
        int total = 0;
        for (const auto& column : ResultColumnsOf(page, texts)) total += column.width;
        widest = std::max(widest, total);
    }
    return widest;
}

}  // namespace qnl
