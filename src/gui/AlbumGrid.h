// The album grid (control 1003): a table view over the core's grid model. List mode: the fixed
// header and six columns (the last two hidden), a check mark in the number column that shows
// whether the row is ticked; a click flips a row's mark. Thumbnail mode: six covers of
// 113 × 120 per row, the album number and name under each, a click flips a cover's mark. The
// marks are the grid's selection, kept in the core model where the download job reads it.
//
// The core model holds the rows as the jobs add them; this view shows the rows the host has
// announced (RowAdded), so it never shows a row before the window was told of it.
#pragma once

#include <QAbstractTableModel>
#include <QItemSelection>
#include <QPixmap>
#include <QTableView>
#include <vector>

#include "model/Grid.h"

namespace albumora::gui {

class AlbumGridModel : public QAbstractTableModel {
 public:
  AlbumGridModel(const GridModel& grid, QObject* parent);

  void Reset(bool preview);
  void RowAdded(int gridRow);
  void CellChanged(int gridRow, int column);
  void MarksChanged();
  int AddThumbnail(const QPixmap& pixmap);
  void ClearThumbnails();
  int ThumbnailCount() const { return static_cast<int>(thumbnails_.size()); }

  bool Preview() const { return preview_; }
  // The core's row number of a view row, and back.
  int GridRow(int viewRow) const { return viewRow + (preview_ ? 0 : 1); }
  int ViewRow(int gridRow) const { return gridRow - (preview_ ? 0 : 1); }
  // Whether a view cell holds an album (the last thumbnail row may end early).
  bool Used(const QModelIndex& index) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  const GridModel& grid_;
  bool preview_ = false;
  int rows_ = 0;
  std::vector<QPixmap> thumbnails_;
};

class AlbumGridView : public QTableView {
 public:
  static constexpr int kCellMargin = 4;

  AlbumGridView(GridModel& grid, QWidget* parent);

  AlbumGridModel& Model() { return *model_; }
  const GridModel& Grid() const { return grid_; }

  // Set up for a mode: columns, widths, header, selection behaviour; no rows.
  void Reset(bool preview);
  // "全选": every album cell ticked, or none (and no focus cell).
  void SelectAllAlbums(bool all);
  // The album search's single-row selection: one row (or cover) at a time.
  void SetSingleSelection(bool single);
  // The core row of the focus cell; -1 when there is none.
  int FocusRow() const;
  // Clears the marks and the focus cell, marks one row (a cover in thumbnail mode) and
  // scrolls it to the top.
  void SelectAlone(int gridRow, int column);
  // The number of ticked rows (list mode) or covers.
  int TickedCount() const;

 private:
  void SyncSelection();
  // Marks the grid's cells of a view selection (or clears their marks).
  void MarkCells(const QItemSelection& cells, bool selected);

  GridModel& grid_;
  AlbumGridModel* model_;
  bool single_ = false;
};

}  // namespace albumora::gui
