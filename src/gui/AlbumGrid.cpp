// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/AlbumGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <iterator>

namespace albumora::gui {

namespace {

// The number column is wider than the 50 pixels of the plain grid: it also holds the mark. The
// name column (1) stretches over the width the others leave.
constexpr int kListWidths[GridModel::kListColumns] = {72, 575, 50, 100, 0, 0};
constexpr int kNameColumn = 1;
const char* const kListTitles[GridModel::kListColumns] = {"序号", "名称", "数量", "备注", "", ""};
constexpr int kTextLine = 22;  // the line under a cover: its check box and name
constexpr int kCoverTop = 4;
const QColor kFoundColor(255, 226, 120);
const QColor kCurrentColor(204, 228, 255);

// The cover of an album that has none (or whose cover could not be read).
QPixmap Placeholder() {
  QPixmap pixmap(GridModel::kThumbWidth, GridModel::kThumbHeight);
  pixmap.fill(QColor(236, 238, 241));
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(190, 194, 200), 1));
  painter.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
  // A small picture sign: a frame, a sun and two hills.
  const QRect frame(31, 30, 50, 40);
  painter.drawRoundedRect(frame, 4, 4);
  painter.setBrush(QColor(190, 194, 200));
  painter.drawEllipse(QPoint(frame.left() + 13, frame.top() + 11), 5, 5);
  const QPoint hills[] = {{frame.left() + 4, frame.bottom() - 3},
                          {frame.left() + 18, frame.top() + 20},
                          {frame.left() + 28, frame.top() + 29},
                          {frame.left() + 36, frame.top() + 17},
                          {frame.right() - 4, frame.bottom() - 3}};
  painter.drawPolygon(hills, static_cast<int>(std::size(hills)));
  painter.setPen(QColor(140, 146, 154));
  painter.drawText(QRect(0, 78, pixmap.width(), 24), Qt::AlignCenter, "无封面");
  return pixmap;
}

// Thumbnail mode draws the cover, and under it the check box and the name, side by side so
// that neither covers the other. List mode is the plain item drawing.
class CoverDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const auto* model = static_cast<const AlbumGridModel*>(index.model());
    if (!model->Preview()) {
      QStyledItemDelegate::paint(painter, option, index);
      return;
    }
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &cell, painter, widget);
    if (!model->Used(index)) return;

    const QRect area = option.rect;
    const QRect cover(area.x() + (area.width() - GridModel::kThumbWidth) / 2, area.y() + kCoverTop,
                      GridModel::kThumbWidth, GridModel::kThumbHeight);
    painter->drawPixmap(cover, index.data(Qt::DecorationRole).value<QPixmap>());

    const QRect line(area.x() + AlbumGridView::kCellMargin, cover.bottom() + 1,
                     area.width() - 2 * AlbumGridView::kCellMargin, area.bottom() - cover.bottom());
    const int width = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, widget);
    const int height = style->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, widget);
    QStyleOptionViewItem check = cell;
    check.rect = QRect(line.x(), line.y() + (line.height() - height) / 2, width, height);
    check.state &= ~QStyle::State_HasFocus;
    check.state |= cell.checkState == Qt::Checked ? QStyle::State_On : QStyle::State_Off;
    style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &check, painter, widget);

    const QRect text = line.adjusted(width + 4, 0, 0, 0);
    const bool selected = (cell.state & QStyle::State_Selected) != 0;
    painter->save();
    painter->setFont(cell.font);
    painter->setPen(cell.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetrics(cell.font).elidedText(cell.text, Qt::ElideRight, text.width()));
    painter->restore();
  }
};

}  // namespace

AlbumGridModel::AlbumGridModel(const GridModel& grid, QObject* parent)
    : QAbstractTableModel(parent), grid_(grid), placeholder_(Placeholder()) {}

void AlbumGridModel::Reset(bool preview) {
  beginResetModel();
  preview_ = preview;
  rows_ = 0;
  foundRow_ = -1;
  foundColumn_ = -1;
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

void AlbumGridModel::SetFound(int viewRow, int column) {
  foundRow_ = viewRow;
  foundColumn_ = column;
  MarksChanged();
}

void AlbumGridModel::SetCurrent(int album) {
  if (current_ == album) return;
  current_ = album;
  MarksChanged();
}

int AlbumGridModel::AlbumAt(const QModelIndex& index) const {
  if (!Used(index)) return -1;
  return grid_.Cell(GridRow(index.row()), preview_ ? index.column() : 0).data;
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
      if (!preview_) return {};
      if (cell.image >= 0 && static_cast<size_t>(cell.image) < thumbnails_.size()) {
        return thumbnails_[static_cast<size_t>(cell.image)];
      }
      return placeholder_;
    case Qt::BackgroundRole:
    case Qt::FontRole: {
      const bool found =
          index.row() == foundRow_ && (foundColumn_ < 0 || index.column() == foundColumn_);
      if (!found) {
        if (current_ < 0 || AlbumAt(index) != current_) return {};
        if (role == Qt::BackgroundRole) return QBrush(kCurrentColor);
        QFont bold;
        bold.setBold(true);
        return bold;
      }
      if (role == Qt::BackgroundRole) return QBrush(kFoundColor);
      QFont bold;
      bold.setBold(true);
      return bold;
    }
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
  // Only the rows a selection change touches are looked at: ticking albums one by one in a
  // list of thousands stays linear.
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& selected, const QItemSelection& deselected) {
            for (const QItemSelection* cells : {&deselected, &selected}) {
              for (const QItemSelectionRange& range : *cells) {
                for (int row = range.top(); row <= range.bottom(); ++row) SyncRow(row);
              }
            }
            model_->MarksChanged();
          });
  connect(model_, &QAbstractItemModel::modelReset, this, [this] { SyncSelection(); });
  Reset(false);
}

void AlbumGridView::Reset(bool preview, bool keepTicks) {
  if (!keepTicks) ticked_.clear();
  model_->Reset(preview);
  setSelectionBehavior(preview ? QAbstractItemView::SelectItems : QAbstractItemView::SelectRows);
  horizontalHeader()->setVisible(!preview);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
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
    horizontalHeader()->setSectionResizeMode(kNameColumn, QHeaderView::Stretch);
  }
}

void AlbumGridView::RowAdded(int gridRow) {
  model_->RowAdded(gridRow);
  RestoreTicks(gridRow);
}

void AlbumGridView::CellChanged(int gridRow, int column) {
  model_->CellChanged(gridRow, column);
  RestoreTicks(gridRow);
}

void AlbumGridView::SelectAllAlbums(bool all) {
  if (all) {
    selectAll();
    return;
  }
  clearSelection();
  selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
}

int AlbumGridView::FocusRow() const {
  const QModelIndex current = currentIndex();
  return current.isValid() ? model_->GridRow(current.row()) : -1;
}

void AlbumGridView::ShowFound(int gridRow, int column) {
  const bool preview = model_->Preview();
  const QModelIndex cell = model_->index(model_->ViewRow(gridRow), preview ? column : 0);
  if (!cell.isValid()) return;
  selectionModel()->setCurrentIndex(cell, QItemSelectionModel::NoUpdate);
  model_->SetFound(cell.row(), preview ? column : -1);
  scrollTo(cell, QAbstractItemView::PositionAtTop);
}

void AlbumGridView::ClearFound() { model_->SetFound(-1, -1); }

int AlbumGridView::TickedCount() const {
  return static_cast<int>(grid_.SelectedAlbums(1 << 30).size());
}

int AlbumGridView::AlbumCount() const {
  const int rows = model_->rowCount();
  if (!model_->Preview() || rows == 0) return rows;
  int last = 0;
  for (int column = 0; column < model_->columnCount(); ++column) {
    if (model_->Used(model_->index(rows - 1, column))) ++last;
  }
  return (rows - 1) * model_->columnCount() + last;
}

void AlbumGridView::ShowCurrent(int album) {
  model_->SetCurrent(album);
  if (album < 0) return;
  const int columns = model_->Preview() ? model_->columnCount() : 1;
  for (int row = 0; row < model_->rowCount(); ++row) {
    for (int column = 0; column < columns; ++column) {
      const QModelIndex cell = model_->index(row, column);
      if (model_->AlbumAt(cell) == album) {
        scrollTo(cell, QAbstractItemView::EnsureVisible);
        return;
      }
    }
  }
}

bool AlbumGridView::Ticked(int album) const {
  return album >= 0 && static_cast<size_t>(album) < ticked_.size() &&
         ticked_[static_cast<size_t>(album)];
}

// The albums of a row that comes back after a view switch get their ticks again.
void AlbumGridView::RestoreTicks(int gridRow) {
  if (ticked_.empty()) return;
  const bool preview = model_->Preview();
  const int row = model_->ViewRow(gridRow);
  const int columns = preview ? model_->columnCount() : 1;
  for (int column = 0; column < columns; ++column) {
    const QModelIndex cell = model_->index(row, column);
    if (!model_->Used(cell) || selectionModel()->isSelected(cell)) continue;
    if (!Ticked(grid_.Cell(gridRow, column).data)) continue;
    QItemSelectionModel::SelectionFlags how = QItemSelectionModel::Select;
    if (!preview) how |= QItemSelectionModel::Rows;
    selectionModel()->select(cell, how);
  }
}

// The view's selection is the grid's: every cell's mark follows it, and so does the tick of
// every album shown.
void AlbumGridView::SyncSelection() {
  const int fixed = model_->Preview() ? 0 : 1;
  for (int row = fixed; row < grid_.RowCount(); ++row) SyncRow(row - fixed);
  model_->MarksChanged();
}

// The marks of one view row's cells follow the view's selection, and so do the ticks of the
// albums it shows.
void AlbumGridView::SyncRow(int viewRow) {
  const bool preview = model_->Preview();
  const int row = viewRow + (preview ? 0 : 1);
  if (row < 0 || row >= grid_.RowCount()) return;
  const int columns = grid_.ColumnCount();
  for (int column = 0; column < columns; ++column) {
    const QModelIndex cell = model_->index(viewRow, column);
    const bool selected = cell.isValid() && selectionModel()->isSelected(cell);
    grid_.Select(row, column, selected);
    if (!model_->Used(cell) || (!preview && column != 0)) continue;
    const int album = grid_.Cell(row, column).data;
    if (album < 0) continue;
    if (static_cast<size_t>(album) >= ticked_.size()) {
      if (!selected) continue;
      ticked_.resize(static_cast<size_t>(album) + 1, false);
    }
    ticked_[static_cast<size_t>(album)] = selected;
  }
}

}  // namespace albumora::gui
