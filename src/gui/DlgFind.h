// SPDX-License-Identifier: GPL-3.0-or-later
// CDlgFind: the album search window. Finds the next or previous grid row with a cell whose
// text contains (or equals) the keyword, moves the focus cell there, highlights it and scrolls
// it to the top. The ticks are the person's: the search never changes them.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "model/Grid.h"

class QCheckBox;
class QLineEdit;

namespace albumora::gui {

class AlbumGridView;

// A hit of the search: the grid row and column, or row -1.
struct FindHit {
  int row = -1;
  int column = -1;
};

// Rows from startRow + 1 down to the last (down), or from startRow - 1 up to the first
// non-fixed row; every column, the hidden ones too. The keyword must be non-empty; with
// ignoreCase it is compared lower-cased with the lower-cased cell texts.
FindHit SearchGrid(const GridModel& grid, int startRow, bool down, const QString& keyword,
                   bool ignoreCase, bool wholeText);

class CDlgFind : public QWidget {
 public:
  using MessageFn = std::function<void(const QString& text)>;
  CDlgFind(QWidget* owner, MessageFn message);

  // Shows the window for a grid, centred over the owner.
  void ShowFor(AlbumGridView* grid);
  // "下一个" and "上一个".
  void FindNext();
  void FindPrevious();
  // "×": the hit's highlight off, the window hidden.
  void CloseBox();

  QLineEdit* KeywordEdit() const { return keyword_; }
  QCheckBox* CaseBox() const { return matchCase_; }
  QCheckBox* WholeBox() const { return wholeText_; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  // The search of the buttons: false when nothing was found.
  bool Search(int startRow, bool down);

  MessageFn message_;
  AlbumGridView* grid_ = nullptr;
  QLineEdit* keyword_;
  QCheckBox* matchCase_;
  QCheckBox* wholeText_;
  QPoint dragFrom_;
};

}  // namespace albumora::gui
