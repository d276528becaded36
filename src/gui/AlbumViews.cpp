// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/AlbumViews.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QSignalBlocker>

#include "gui/AlbumGrid.h"
#include "gui/DlgFind.h"

namespace albumora::gui {

AlbumViews::AlbumViews(QWidget* parent, GridModel& grid,
                       std::function<bool(bool preview)> switchView,
                       std::function<void(const QString&)> message)
    : switchView_(std::move(switchView)), message_(std::move(message)) {
  frame_ = new QGroupBox("相册列表", parent);
  auto* inside = new QVBoxLayout(frame_);
  grid_ = new AlbumGridView(grid, frame_);
  inside->addWidget(grid_);
  selectAll_ = new QCheckBox("全选", parent);
  preview_ = new QCheckBox("预览图", parent);
  findLink_ = new QLabel("<a href=\"#find\">查找</a>", parent);
  grid_->Reset(false);

  selectAll_->setTristate(true);
  // A click from none or some ticks all (Qt's own next state from none would be "some").
  connect(selectAll_, &QCheckBox::clicked, this,
          [this] { SelectAllClicked(selectAll_->checkState() != Qt::Unchecked); });
  connect(grid_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { FollowTicks(); });
  connect(&grid_->Model(), &QAbstractItemModel::modelReset, this, [this] { FollowTicks(); });
  connect(&grid_->Model(), &QAbstractItemModel::rowsInserted, this, [this] { FollowTicks(); });
  connect(preview_, &QCheckBox::clicked, this, [this](bool on) { PreviewClicked(on); });
  connect(findLink_, &QLabel::linkActivated, this, [this] { ShowFind(); });
}

AlbumViews::~AlbumViews() = default;

void AlbumViews::AddTools(QBoxLayout* row) {
  row->addWidget(selectAll_);
  row->addWidget(preview_);
  row->addWidget(findLink_);
}

void AlbumViews::SetTitle(const QString& title) { frame_->setTitle(title); }

void AlbumViews::SetListing(bool busy) {
  preview_->setEnabled(!busy);
  if (busy) selectAll_->setCheckState(Qt::Unchecked);
}

void AlbumViews::Reset(bool preview) {
  if (!switching_) selectAll_->setCheckState(Qt::Unchecked);
  grid_->Reset(preview, switching_);
}

void AlbumViews::RowAdded(int row) { grid_->RowAdded(row); }

void AlbumViews::CellChanged(int row, int column) {
  grid_->CellChanged(row, column);
  // A cover's cell filled later (thumbnails) is one more album for "全选".
  FollowTicks();
}

void AlbumViews::Repaint() { grid_->viewport()->update(); }

void AlbumViews::SelectAllClicked(bool checked) {
  grid_->SelectAllAlbums(checked);
  FollowTicks();
}

void AlbumViews::FollowTicks() {
  // Rows arriving without ticks (a listing) need no count.
  if (!grid_->selectionModel()->hasSelection()) {
    selectAll_->setCheckState(Qt::Unchecked);
    return;
  }
  const int ticked = grid_->TickedCount();
  Qt::CheckState state = Qt::PartiallyChecked;
  if (ticked == 0) state = Qt::Unchecked;
  if (ticked > 0 && ticked >= grid_->AlbumCount()) state = Qt::Checked;
  selectAll_->setCheckState(state);
}

void AlbumViews::ShowCurrent(int album) { grid_->ShowCurrent(album); }

void AlbumViews::PreviewClicked(bool checked) {
  // The switch's grid reset keeps the ticks and "全选": the rows coming back are ticked again.
  switching_ = true;
  const bool switched = switchView_(checked);
  switching_ = false;
  if (switched) return;
  // Refused or a rebuild is running: the box keeps its previous state.
  const QSignalBlocker blocker(preview_);
  preview_->setChecked(!checked);
}

void AlbumViews::ShowFind() {
  if (!find_) find_ = std::make_unique<CDlgFind>(frame_->window(), message_);
  find_->ShowFor(grid_);
}

void AlbumViews::HideFind() {
  if (find_) find_->hide();
}

}  // namespace albumora::gui
