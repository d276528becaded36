// SPDX-License-Identifier: GPL-3.0-or-later
// The download control: "下载" (which stops a running download), the save path with its
// recent paths, "设置" (the folder picker) and "打开", and the current album's progress bar.
// A path picked, dropped or used for a download becomes the newest of soft.dat's five recent
// save paths; the drop-down offers them, the newest first, and start-up shows the newest.
#pragma once

#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>

#include "model/Settings.h"

class QBoxLayout;
class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

namespace albumora::gui {

class CComboBox2;
struct Prompts;

// The save path start-up proposes: the current directory; when that is a temporary folder, the
// documents folder's "Albumora/" (made only when a download uses it).
QString ProposedSavePath(const std::filesystem::path& currentDir, const QString& documentsDir);
// Makes the save folder (and those above it) and checks that files can be made in it; false
// with the folder and the system's reason when not.
bool MakeSaveFolder(const QString& folder, QString& reason);

class DownloadControl : public QObject {
  Q_OBJECT

 public:
  // The recent save paths live in settings; saveSettings writes the settings file.
  DownloadControl(QWidget* parent, SettingsRecord& settings, Prompts& prompts,
                  std::function<void()> saveSettings);

  // "下载" goes to the window's top row; the save row and the progress are laid out by the
  // window too.
  QPushButton* Button() const { return button_; }
  void AddSaveRow(QBoxLayout* row);
  void AddProgress(QBoxLayout* row);

  // The recent save paths of the settings into the drop-down; the newest is the save path.
  void LoadRecent();
  QString SavePath() const;
  void SetSavePath(const QString& folder);
  // A folder taken into the recent save paths (and the drop-down) as the newest; false when it
  // is not kept (too long for soft.dat, or the newest already).
  bool Remember(const QString& folder);
  // The save path a download is about to use (as typed or pasted), with its final "/".
  void RememberUsed();
  // "设置": the folder picker at the save path.
  void Browse();
  // A dropped path: a file gives its folder.
  void TakeDroppedPath(const QString& path);

  // The downloading form: "终止下载", the save path locked.
  void SetBusy(bool busy);
  void ShowProgress(int finished, int total);
  void ClearProgress();

  CComboBox2* SaveBox() const { return save_; }
  QPushButton* BrowseButton() const { return browse_; }
  QPushButton* OpenButton() const { return open_; }
  QProgressBar* Progress() const { return progress_; }

 signals:
  void DownloadRequested();
  void OpenRequested();

 private:
  SettingsRecord& settings_;
  Prompts& prompts_;
  std::function<void()> saveSettings_;
  QPushButton* button_;
  QLabel* saveLabel_;
  CComboBox2* save_;
  QPushButton* browse_;
  QPushButton* open_;
  QLabel* progressLabel_;
  QProgressBar* progress_;
};

}  // namespace albumora::gui
