// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/DlgFind.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

#include "gui/AlbumGrid.h"

namespace albumora::gui {

FindHit SearchGrid(const GridModel& grid, int startRow, bool down, const QString& keyword,
                   bool ignoreCase, bool wholeText) {
  const QString key = ignoreCase ? keyword.toLower() : keyword;
  const int rows = grid.RowCount();
  const int columns = grid.ColumnCount();
  const int first = grid.FixedRows();
  const int step = down ? 1 : -1;
  for (int row = startRow + step; down ? row < rows : row >= first; row += step) {
    if (row < first) continue;
    for (int column = 0; column < columns; ++column) {
      QString text = QString::fromStdString(grid.Cell(row, column).text);
      if (ignoreCase) text = text.toLower();
      if (wholeText ? text == key : text.contains(key)) return {row, column};
    }
  }
  return {};
}

CDlgFind::CDlgFind(QWidget* owner, MessageFn message)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint), message_(std::move(message)) {
  auto* frame = new QFrame(this);
  frame->setFrameShape(QFrame::Box);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(frame);
  auto* layout = new QGridLayout(frame);
  layout->addWidget(new QLabel("相册搜索", frame), 0, 0, 1, 2);
  auto* close = new QPushButton("×", frame);
  close->setFixedWidth(24);
  close->setFlat(true);
  layout->addWidget(close, 0, 2, Qt::AlignRight);
  layout->addWidget(new QLabel("关键字:", frame), 1, 0);
  keyword_ = new QLineEdit(frame);
  layout->addWidget(keyword_, 1, 1, 1, 2);
  matchCase_ = new QCheckBox("区分大小写", frame);
  wholeText_ = new QCheckBox("全字匹配", frame);
  layout->addWidget(matchCase_, 2, 0, 1, 2);
  layout->addWidget(wholeText_, 2, 2);
  auto* previous = new QPushButton("上一个", frame);
  auto* next = new QPushButton("下一个", frame);
  next->setDefault(true);
  layout->addWidget(previous, 3, 1);
  layout->addWidget(next, 3, 2);
  connect(close, &QPushButton::clicked, this, [this] { CloseBox(); });
  connect(previous, &QPushButton::clicked, this, [this] { FindPrevious(); });
  connect(next, &QPushButton::clicked, this, [this] { FindNext(); });
  connect(keyword_, &QLineEdit::returnPressed, this, [this] { FindNext(); });
}

void CDlgFind::ShowFor(AlbumGridView* grid) {
  grid_ = grid;
  adjustSize();
  show();
  if (QWidget* owner = parentWidget()) {
    const QRect area = owner->frameGeometry();
    move(area.center() - rect().center());
  }
  raise();
  activateWindow();
  keyword_->setFocus();
}

void CDlgFind::CloseBox() {
  if (grid_ != nullptr) grid_->ClearFound();
  hide();
}

bool CDlgFind::Search(int startRow, bool down) {
  const QString keyword = keyword_->text().trimmed();
  if (keyword.isEmpty()) {
    message_("关键字不能为空");
    return true;  // reported: no second search
  }
  if (grid_ == nullptr) return true;
  const FindHit hit = SearchGrid(grid_->Grid(), startRow, down, keyword, !matchCase_->isChecked(),
                                 wholeText_->isChecked());
  if (hit.row < 0) return false;
  grid_->ShowFound(hit.row, hit.column);
  return true;
}

void CDlgFind::FindNext() {
  if (grid_ == nullptr) return;
  if (!Search(grid_->FocusRow(), true)) Search(grid_->Grid().FixedRows() - 1, true);
}

void CDlgFind::FindPrevious() {
  if (grid_ == nullptr) return;
  if (!Search(grid_->FocusRow(), false)) Search(grid_->Grid().RowCount(), false);
}

// A press anywhere on the body moves the window, as a caption bar would.
void CDlgFind::mousePressEvent(QMouseEvent* event) {
  dragFrom_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
  event->accept();
}

void CDlgFind::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) move(event->globalPosition().toPoint() - dragFrom_);
  event->accept();
}

}  // namespace albumora::gui
