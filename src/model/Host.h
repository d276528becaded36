// SPDX-License-Identifier: GPL-3.0-or-later
// The one interface through which the jobs talk to "the main window". Both front ends (the Qt
// window and the command line) implement it. Every call may come from a job thread; a call that
// must finish before the job goes on (a message, a question, the login window, a grid row)
// returns only when the front end has done it.
#pragma once

#include <string>
#include <vector>

#include "model/User.h"

namespace albumora {

// The window's status lines, by their control ids.
enum class StatusLine {
  Main = 1009,       // main status line
  Progress = 1006,   // second status line, per-picture progress
  ListTitle = 1011,  // title of the album-list frame
};

struct GridCell;

class Host : public User {
 public:
  // The save-path box (1000); the address box is the User's.
  virtual std::string SavePathText() = 0;

  virtual void SetStatus(StatusLine line, const std::string& text) = 0;

  // The album-list job's busy form (true) and idle form (false). In the idle form the download
  // button is enabled only when downloadEnabled is true.
  virtual void SetListBusy(bool busy, bool downloadEnabled) = 0;
  // The download job's downloading form (true) and idle form (false).
  virtual void SetDownloadBusy(bool busy) = 0;

  // The grid (its model is AppState::grid): emptied for the current view; a row was appended
  // or a cell was set. The call returns when the row or cell exists in the window.
  virtual void GridReset(bool preview) = 0;
  virtual void GridRowAdded(int row) = 0;
  virtual void GridCellChanged(int row, int column) = 0;
  // Fits row heights and the scroll range, and redraws.
  virtual void GridFinished() = 0;
  // Loads an image file into the thumbnail image list; its index, or -1 when it is no image.
  virtual int LoadThumbnail(const std::string& path) = 0;
  // Empties the thumbnail image list (the album-list job does at its start; a view switch
  // keeps it). Front ends without thumbnails need not implement it.
  virtual void ClearThumbnails() {}

  // A text taken into the recent-address list also joins the address box's suggestions.
  virtual void AddressRemembered(const std::string& text) = 0;
  // End of an album's worker pool: elapsed seconds and number of pictures.
  virtual void PoolFinished(long seconds, long pictures) = 0;
  // Opens a folder in the platform's file browser.
  virtual void OpenFolder(const std::string& path) = 0;
};

}  // namespace albumora
