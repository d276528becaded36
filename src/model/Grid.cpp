// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/Grid.h"

#include <utility>

namespace albumora {

void GridModel::Reset(bool preview) {
  std::lock_guard lock(mutex_);
  preview_ = preview;
  columns_ = preview ? kThumbsPerRow : kListColumns;
  rows_.clear();
}

bool GridModel::Preview() const {
  std::lock_guard lock(mutex_);
  return preview_;
}

int GridModel::FixedRows() const {
  std::lock_guard lock(mutex_);
  return preview_ ? 0 : 1;
}

int GridModel::AppendRow() {
  std::lock_guard lock(mutex_);
  rows_.emplace_back(static_cast<size_t>(columns_));
  return static_cast<int>(rows_.size()) - (preview_ ? 1 : 0);
}

// The grid row number of a stored row index, and back; -1 when outside the stored rows.
namespace {
int StoredIndex(int row, bool preview, size_t rowCount) {
  const int index = preview ? row : row - 1;
  return index >= 0 && static_cast<size_t>(index) < rowCount ? index : -1;
}
}  // namespace

void GridModel::SetCell(int row, int column, GridCell cell) {
  std::lock_guard lock(mutex_);
  const int index = StoredIndex(row, preview_, rows_.size());
  if (index < 0 || column < 0 || column >= columns_) return;
  rows_[static_cast<size_t>(index)][static_cast<size_t>(column)] = std::move(cell);
}

GridCell GridModel::Cell(int row, int column) const {
  std::lock_guard lock(mutex_);
  const int index = StoredIndex(row, preview_, rows_.size());
  if (index < 0 || column < 0 || column >= columns_) return {};
  return rows_[static_cast<size_t>(index)][static_cast<size_t>(column)];
}

int GridModel::RowCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(rows_.size()) + (preview_ ? 0 : 1);
}

int GridModel::ColumnCount() const {
  std::lock_guard lock(mutex_);
  return columns_;
}

void GridModel::Select(int row, int column, bool selected) {
  std::lock_guard lock(mutex_);
  const int index = StoredIndex(row, preview_, rows_.size());
  if (index < 0 || column < 0 || column >= columns_) return;
  rows_[static_cast<size_t>(index)][static_cast<size_t>(column)].selected = selected;
}

void GridModel::SelectRow(int row, bool selected) {
  std::lock_guard lock(mutex_);
  const int index = StoredIndex(row, preview_, rows_.size());
  if (index < 0) return;
  for (GridCell& cell : rows_[static_cast<size_t>(index)]) cell.selected = selected;
}

void GridModel::SelectAll(bool selected) {
  std::lock_guard lock(mutex_);
  for (auto& row : rows_) {
    for (GridCell& cell : row) cell.selected = selected;
  }
}

std::vector<int> GridModel::SelectedAlbums(int albumCount) const {
  std::lock_guard lock(mutex_);
  std::vector<int> albums;
  if (!preview_) {
    // Every row after the header that holds a selected cell, once, by its column-0 data. A
    // value that names no album (the grid and the list out of step) is left out rather than
    // handed to the download job.
    for (const auto& row : rows_) {
      bool any = false;
      for (const GridCell& cell : row) any = any || cell.selected;
      if (!any || row.empty()) continue;
      const int data = row.front().data;
      if (data >= 0 && data < albumCount) albums.push_back(data);
    }
    return albums;
  }
  // Reading order; the position counts every cell, so the unused cells of the last row never
  // contribute even when selected.
  int position = 0;
  for (const auto& row : rows_) {
    for (const GridCell& cell : row) {
      if (cell.selected && position < albumCount && cell.data >= 0 && cell.data < albumCount) {
        albums.push_back(cell.data);
      }
      ++position;
    }
  }
  return albums;
}

}  // namespace albumora
