#include "gui/AlbumGrid.h"

#include <QHeaderView>
#include <QStyledItemDelegate>

namespace albumora::gui {

namespace {

// The number column is wider than the 50 pixels of the plain grid: it also holds the mark.
constexpr int kListWidths[GridModel::kListColumns] = {72, 575, 50, 100, 0, 0};
const char* const kListTitles[GridModel::kListColumns] = {"序号", "名称", "数量", "备注", "", ""};
constexpr int kTextLine = 22;  // the name line under a cover

// Thumbnail mode draws the cover above its name.
class CoverDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    const auto* model = static_cast<const AlbumGridModel*>(index.model());
    if (!model->Preview()) return;
    option->decorationPosition = QStyleOptionViewItem::Top;
    option->decorationAlignment = Qt::AlignHCenter | Qt::AlignTop;
    option->decorationSize = QSize(GridModel::kThumbWidth, GridModel::kThumbHeight);
    option->displayAlignment = Qt::AlignHCenter | Qt::AlignBottom;
    option->textElideMode = Qt::ElideRight;
  }
};

}  // namespace

AlbumGridModel::AlbumGridModel(const GridModel& grid, QObject* parent)
    : QAbstractTableModel(parent), grid_(grid) {}

void AlbumGridModel::Reset(bool preview) {
  beginResetModel();
  preview_ = preview;
  rows_ = 0;
  endResetModel();
}

void AlbumGridModel::RowAdded(int gridRow) {
  const int last = ViewRow(gridRow);
  if (last < rows_) return;
  beginInsertRows({}, rows_, last);
  rows_ = last + 1;
  endInsertRows();
}

void AlbumGridModel::CellChanged(int gridRow, int column) {
  const QModelIndex cell = index(ViewRow(gridRow), column);
  if (cell.isValid()) emit dataChanged(cell, cell);
}

void AlbumGridModel::MarksChanged() {
  if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, columnCount() - 1));
}

int AlbumGridModel::AddThumbnail(const QPixmap& pixmap) {
  thumbnails_.push_back(pixmap);
  return static_cast<int>(thumbnails_.size()) - 1;
}

void AlbumGridModel::ClearThumbnails() {
  thumbnails_.clear();
  MarksChanged();
}

bool AlbumGridModel::Used(const QModelIndex& index) const {
  if (!index.isValid()) return false;
  return !preview_ || !grid_.Cell(GridRow(index.row()), index.column()).text.empty();
}

int AlbumGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int AlbumGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : (preview_ ? GridModel::kThumbsPerRow : GridModel::kListColumns);
}

QVariant AlbumGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !Used(index)) return {};
  const int row = GridRow(index.row());
  const GridCell cell = grid_.Cell(row, index.column());
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromStdString(cell.text);
    case Qt::ToolTipRole:
      // The whole album name, which a narrow column cuts.
      return QString::fromStdString(preview_ ? cell.text : grid_.Cell(row, 1).text);
    case Qt::DecorationRole:
      if (preview_ && cell.image >= 0 && static_cast<size_t>(cell.image) < thumbnails_.size()) {
        return thumbnails_[static_cast<size_t>(cell.image)];
      }
      return {};
    case Qt::CheckStateRole:
      if (preview_) return cell.selected ? Qt::Checked : Qt::Unchecked;
      if (index.column() == 0) return grid_.Cell(row, 0).selected ? Qt::Checked : Qt::Unchecked;
      return {};
    case Qt::TextAlignmentRole:
      if (preview_) return QVariant::fromValue(Qt::AlignHCenter | Qt::AlignBottom);
      if (index.column() == 2) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
      return {};
  }
}

QVariant AlbumGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal || preview_) return {};
  if (section < 0 || section >= GridModel::kListColumns) return {};
  return QString(kListTitles[section]);
}

Qt::ItemFlags AlbumGridModel::flags(const QModelIndex& index) const {
  if (!Used(index)) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

AlbumGridView::AlbumGridView(GridModel& grid, QWidget* parent) : QTableView(parent), grid_(grid) {
  model_ = new AlbumGridModel(grid, this);
  setModel(model_);
  setItemDelegate(new CoverDelegate(this));
  verticalHeader()->setVisible(false);
  setWordWrap(false);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::MultiSelection);
  // A click changes one row's marks: only the cells the selection gained or lost are marked,
  // so ticking albums one by one costs the same in a list of thousands as in a short one.
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& selected, const QItemSelection& deselected) {
            MarkCells(deselected, false);
            MarkCells(selected, true);
            model_->MarksChanged();
          });
  connect(model_, &QAbstractItemModel::modelReset, this, [this] { SyncSelection(); });
  Reset(false);
}

void AlbumGridView::Reset(bool preview) {
  model_->Reset(preview);
  setSelectionBehavior(preview ? QAbstractItemView::SelectItems : QAbstractItemView::SelectRows);
  horizontalHeader()->setVisible(!preview);
  if (preview) {
    setIconSize(QSize(GridModel::kThumbWidth, GridModel::kThumbHeight));
    setShowGrid(false);
    verticalHeader()->setDefaultSectionSize(GridModel::kThumbHeight + 10 + kTextLine);
    for (int column = 0; column < GridModel::kThumbsPerRow; ++column) {
      setColumnHidden(column, false);
      setColumnWidth(column, GridModel::kThumbWidth + 2 * kCellMargin);
    }
  } else {
    setShowGrid(true);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    for (int column = 0; column < GridModel::kListColumns; ++column) {
      setColumnWidth(column, kListWidths[column]);
      setColumnHidden(column, kListWidths[column] == 0);
    }
  }
}

void AlbumGridView::SelectAllAlbums(bool all) {
  if (all) {
    if (!single_) selectAll();
    return;
  }
  clearSelection();
  selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
}

void AlbumGridView::SetSingleSelection(bool single) {
  single_ = single;
  setSelectionMode(single ? QAbstractItemView::SingleSelection : QAbstractItemView::MultiSelection);
}

int AlbumGridView::FocusRow() const {
  const QModelIndex current = currentIndex();
  return current.isValid() ? model_->GridRow(current.row()) : -1;
}

void AlbumGridView::SelectAlone(int gridRow, int column) {
  const QModelIndex cell = model_->index(model_->ViewRow(gridRow), model_->Preview() ? column : 0);
  if (!cell.isValid()) return;
  clearSelection();
  QItemSelectionModel::SelectionFlags how = QItemSelectionModel::ClearAndSelect;
  if (!model_->Preview()) how |= QItemSelectionModel::Rows;
  selectionModel()->setCurrentIndex(cell, how);
  scrollTo(cell, QAbstractItemView::PositionAtTop);
}

int AlbumGridView::TickedCount() const {
  return static_cast<int>(grid_.SelectedAlbums(1 << 30).size());
}

void AlbumGridView::MarkCells(const QItemSelection& cells, bool selected) {
  for (const QItemSelectionRange& range : cells) {
    for (int row = range.top(); row <= range.bottom(); ++row) {
      for (int column = range.left(); column <= range.right(); ++column) {
        grid_.Select(model_->GridRow(row), column, selected);
      }
    }
  }
}

// The view's selection is the grid's: every cell's mark follows it.
void AlbumGridView::SyncSelection() {
  const int fixed = model_->Preview() ? 0 : 1;
  const int rows = grid_.RowCount();
  const int columns = grid_.ColumnCount();
  for (int row = fixed; row < rows; ++row) {
    for (int column = 0; column < columns; ++column) {
      const QModelIndex cell = model_->index(row - fixed, column);
      grid_.Select(row, column, cell.isValid() && selectionModel()->isSelected(cell));
    }
  }
  model_->MarksChanged();
}

}  // namespace albumora::gui
