// SPDX-License-Identifier: GPL-3.0-or-later
// The album grid's model: what the window shows in control 1003, kept in the core so that the
// jobs can add rows and read the selection without a UI toolkit. Thread-safe.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace albumora {

struct GridCell {
  std::string text;
  int data = 0;  // the album index
  bool selected = false;
  int image = -1;  // thumbnail index, -1 = none
};

class GridModel {
 public:
  static constexpr int kListColumns = 6;
  static constexpr int kThumbsPerRow = 6;
  static constexpr int kThumbWidth = 113;
  static constexpr int kThumbHeight = 120;

  // Empties the grid: list mode has one fixed header row (row 0) and six columns; preview mode
  // has no fixed row and kThumbsPerRow columns.
  void Reset(bool preview);
  bool Preview() const;
  int FixedRows() const;
  // Appends a row; returns its grid row number (the header counts as row 0 in list mode).
  int AppendRow();
  void SetCell(int row, int column, GridCell cell);
  GridCell Cell(int row, int column) const;
  int RowCount() const;  // the fixed header row included
  int ColumnCount() const;

  void Select(int row, int column, bool selected);
  void SelectRow(int row, bool selected);
  void SelectAll(bool selected);

  // The selected albums as the download job collects them: in list mode every row after the
  // header with a selected cell, by the data value of its column 0; in preview mode every
  // selected cell in reading order whose position and data value are below albumCount.
  std::vector<int> SelectedAlbums(int albumCount) const;

 private:
  mutable std::mutex mutex_;
  bool preview_ = false;
  int columns_ = kListColumns;
  std::vector<std::vector<GridCell>> rows_;  // rows after the header row
};

}  // namespace albumora
