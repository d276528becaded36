// SPDX-License-Identifier: GPL-3.0-or-later
// The album grid (control 1003): a table view over the core's grid model. List mode: the fixed
// header and six columns (the last two hidden, the name column taking the free width), a check
// mark in the number column that shows whether the row is ticked; a click flips a row's mark.
// Thumbnail mode: six covers of 113 × 120 per row (a placeholder where an album has none), a
// check box and the album number and name under each, a click flips a cover's mark. The marks
// are the grid's selection, kept in the core model where the download job reads it.
//
// The ticks belong to the albums, not to the rows showing them: a view switch rebuilds the rows
// and ticks each album again as its row or cover comes back. The album search only moves the
// focus cell and highlights the hit; it leaves the ticks alone.
//
// The core model holds the rows as the jobs add them; this view shows the rows the host has
// announced (RowAdded), so it never shows a row before the window was told of it.
#pragma once

#include <QAbstractTableModel>
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
  // The search's hit: a view row (list mode) or cell (thumbnail mode, column >= 0); row -1: none.
  void SetFound(int viewRow, int column);
  // The album a download shows (its row or cover is marked); -1: none.
  void SetCurrent(int album);
  // The album of a view cell (list mode: its row's); -1 when the cell holds none.
  int AlbumAt(const QModelIndex& index) const;
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
  int foundRow_ = -1;
  int foundColumn_ = -1;
  int current_ = -1;
  std::vector<QPixmap> thumbnails_;
  QPixmap placeholder_;
};

class AlbumGridView : public QTableView {
 public:
  static constexpr int kCellMargin = 4;

  AlbumGridView(GridModel& grid, QWidget* parent);

  AlbumGridModel& Model() { return *model_; }
  const GridModel& Grid() const { return grid_; }

  // Set up for a mode: columns, widths, header, selection behaviour; no rows. keepTicks: the
  // albums ticked now are ticked again as their rows come back (a view switch); otherwise the
  // ticks are forgotten (a new list).
  void Reset(bool preview, bool keepTicks = false);
  // A row (or a cover) the job has added; a ticked album is ticked again.
  void RowAdded(int gridRow);
  void CellChanged(int gridRow, int column);
  // "全选": every album cell ticked, or none (and no focus cell).
  void SelectAllAlbums(bool all);
  // The core row of the focus cell; -1 when there is none.
  int FocusRow() const;
  // The search's hit: the focus cell moves to the row (a cover in thumbnail mode), which is
  // highlighted and scrolled to the top; the ticks stay as they are.
  void ShowFound(int gridRow, int column);
  // The search window closed: no highlight.
  void ClearFound();
  // The number of ticked rows (list mode) or covers, and of the albums shown.
  int TickedCount() const;
  int AlbumCount() const;
  // The album a download shows: marked and scrolled into view; -1: none.
  void ShowCurrent(int album);

 private:
  void SyncSelection();
  void SyncRow(int viewRow);
  void RestoreTicks(int gridRow);
  bool Ticked(int album) const;

  GridModel& grid_;
  AlbumGridModel* model_;
  std::vector<bool> ticked_;  // by album index
};

}  // namespace albumora::gui
