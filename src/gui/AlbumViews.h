// SPDX-License-Identifier: GPL-3.0-or-later
// The album views: the list frame with the album grid (list or thumbnails), "全选", "预览图"
// and the link "查找" with its search window.
//
// "全选" shows whether every album, some or none are ticked; a click ticks all (from none or
// some) or none.
//
// "预览图" asks the job runner for the switch; a refused switch (or one that is still running)
// leaves the box as it was. The grid reset of a switch keeps the ticks and "全选".
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QBoxLayout;
class QCheckBox;
class QGroupBox;
class QLabel;
class QWidget;

namespace albumora {
class GridModel;
}

namespace albumora::gui {

class AlbumGridView;
class CDlgFind;

class AlbumViews : public QObject {
 public:
  // switchView runs the view switch (true when it was done); message shows a text.
  AlbumViews(QWidget* parent, GridModel& grid, std::function<bool(bool preview)> switchView,
             std::function<void(const QString&)> message);
  ~AlbumViews() override;

  // The frame goes into the window's column with the stretch; the tools into the row under it.
  QGroupBox* Frame() const { return frame_; }
  void AddTools(QBoxLayout* row);

  void SetTitle(const QString& title);
  // A listing starts (ticks and "全选" cleared) or ends.
  void SetListing(bool busy);
  // The jobs' grid calls.
  void Reset(bool preview);
  void RowAdded(int row);
  void CellChanged(int row, int column);
  void Repaint();

  void SelectAllClicked(bool checked);
  // The album a download shows, marked in the grid and scrolled into view; -1: none.
  void ShowCurrent(int album);
  void PreviewClicked(bool checked);
  void ShowFind();
  void HideFind();

  AlbumGridView* Grid() const { return grid_; }
  QCheckBox* SelectAllBox() const { return selectAll_; }
  QCheckBox* PreviewBox() const { return preview_; }
  CDlgFind* FindWindow() const { return find_.get(); }

 private:
  // "全选" follows the ticks: ticked when every album is, partly when some are.
  void FollowTicks();

  std::function<bool(bool)> switchView_;
  std::function<void(const QString&)> message_;
  bool switching_ = false;  // the grid reset of a view switch keeps the ticks
  QGroupBox* frame_;
  AlbumGridView* grid_;
  QCheckBox* selectAll_;
  QCheckBox* preview_;
  QLabel* findLink_;
  std::unique_ptr<CDlgFind> find_;
};

}  // namespace albumora::gui
