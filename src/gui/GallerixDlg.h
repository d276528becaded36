// SPDX-License-Identifier: GPL-3.0-or-later
// CGallerixDlg: the main window, and the Host the jobs report through. Every job call is
// brought onto the window's thread: the calls a job waits for (messages, questions, the login
// window, grid rows, thumbnails, the busy and idle forms, the boxes' texts) block until the
// window has done them; status texts are queued. A call made on the window's own thread runs at
// once (the view switch asks its stop question there).
//
// The window is made of the parts a user sees, each a class of its own: the address bar
// (AddressBar), the album views (AlbumViews), the download control (DownloadControl), the menus
// and their dialogs (MainMenus) and the status lines (StatusLines). The window lays them out,
// wires them to the jobs and answers the jobs' calls through them.
//
// The albums in the grid keep the site they were listed with (AppState::nSite): changing the
// site box after a listing names the site of the next listing, and "下载" still sends the listed
// albums to their own site. The menu and the settings dialogs edit the site box's slot.
//
// The window owns the records (AppState) and the job threads (JobRunner): closing it asks the
// jobs to stop, waits for their ends while still answering their calls, and only then goes.
#pragma once

#include <QMainWindow>
#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/JobRunner.h"
#include "archive/Archive.h"
#include "download/DownloadJob.h"
#include "gui/DownloadControl.h"
#include "gui/MainMenus.h"
#include "gui/Prompts.h"
#include "model/AppState.h"
#include "model/Host.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QSplashScreen;

namespace albumora {
class Adapters;
}

namespace albumora::gui {

class AddressBar;
class AlbumGridView;
class AlbumViews;
class CComboBox2;
class CDlgFind;
class CDlgWebOpen;
class StatusLines;

// What start-up reads from the platform; tests and the demo set their own.
struct StartOptions {
  std::filesystem::path currentDir;  // empty: the process's current directory
  QString documentsDir;              // empty: the desktop's documents folder
  bool splash = true;
  QString savePath;  // when set, the save path (the demo's)
};

// The clipboard's text for the address box: trimmed, 1 to 199 characters; else empty.
QString AddressFromClipboard(const std::string& clipboard);

class CGallerixDlg : public QMainWindow, public Host {
 public:
  CGallerixDlg(const Adapters& adapters, StartOptions options = {});
  ~CGallerixDlg() override;

  // Start-up's last step: the splash, the start-up thread that fills the site list; the
  // window shows itself and is ready when that thread is done.
  void Start();
  bool Ready() const { return app_.bReady.load() == 1; }
  // Asks the jobs to stop and waits for their ends (the window answers their calls meanwhile,
  // without dialogs). Closing the window does this.
  void Shutdown();

  AppState& App() { return app_; }
  JobRunner& Runner() { return runner_; }
  Prompts& prompts() { return prompts_; }

  // The parts.
  AddressBar& Bar() const { return *bar_; }
  AlbumViews& Views() const { return *views_; }
  DownloadControl& Download() const { return *download_; }
  MainMenus& Menus() const { return *menus_; }
  StatusLines& Lines() const { return *lines_; }

  // Controls, by role (for the tests and the demo).
  QComboBox* SiteBox() const;
  CComboBox2* AddressBox() const;
  CComboBox2* SaveBox() const;
  QPushButton* ListButton() const;
  QPushButton* DownloadButton() const;
  QPushButton* BrowseButton() const;
  QPushButton* OpenButton() const;
  QCheckBox* SelectAllBox() const;
  QCheckBox* PreviewBox() const;
  QGroupBox* ListFrame() const;
  AlbumGridView* Grid() const;
  QLabel* Status1() const;
  QLabel* Status2() const;
  QLabel* Notice() const;
  QProgressBar* Progress() const;
  QAction* MenuAction(int id) const;
  // What the last download did not get (after a restart: as the archive has it).
  std::vector<FailedRow> FailedRows();
  QMenu* SettingsMenu() const;
  CDlgFind* FindWindow() const;
  CDlgWebOpen* OpenLoginWindow() const;

  // Handlers.
  void SiteChanged();
  // "下载": starts the download (after checking the save folder) or stops it.
  void DownloadClicked();
  void Browse();
  void OpenSaveFolder();
  // A dropped path, as a drop of that file or folder does.
  void TakeDroppedPath(const QString& path);
  void ShowFind();
  void MenuCommand(int id);
  // Before a drop-down of the menu bar opens: the option items' check marks.
  void UpdateMenuMarks();

  // Host.
  std::string AddressText() override;
  std::string SavePathText() override;
  void ShowMessage(const std::string& text, const std::string& caption = {}) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  void OpenLogin(const std::string& address) override;
  void SetStatus(StatusLine line, const std::string& text) override;
  void SetListBusy(bool busy, bool downloadEnabled) override;
  void SetDownloadBusy(bool busy) override;
  void GridReset(bool preview) override;
  void GridRowAdded(int row) override;
  void GridCellChanged(int row, int column) override;
  void GridFinished() override;
  int LoadThumbnail(const std::string& path) override;
  void ClearThumbnails() override;
  void AddressRemembered(const std::string& text) override;
  void PoolFinished(long seconds, long pictures) override;
  void OpenFolder(const std::string& path) override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Runs f on the window's thread and waits for it; at once when called there.
  template <typename F>
  auto OnWindow(F&& f) -> decltype(f());
  // Runs f on the window's thread later; at once when called there.
  template <typename F>
  void Post(F&& f);

  void BuildParts();
  void Ready(const QStringList& sites);
  void SaveSettingsFile();
  void SaveConfigFile();
  void SaveCookies();
  void Message(const QString& text);
  // "下载": the job with the download archive, the force toggle and a fresh failure list.
  void StartDownload();
  // The archive's report, once, in a note.
  void TellArchive();
  // The main line during a download names the album shown ("正在下载第3/7个图集"): its row
  // is marked and scrolled into view.
  void FollowShownAlbum(const QString& line);
  // Opens with the desktop; says so when nothing could open it.
  void OpenWithDesktop(const QUrl& url);

  StartOptions options_;
  AppState app_{*this};
  JobRunner runner_;
  Prompts prompts_ = Prompts::Desktop();
  std::atomic<bool> closing_{false};
  bool shuttingDown_ = false;
  std::thread startup_;
  // albumora.toml as start-up found it: its problems (shown once when the window is ready) and
  // whether it could not be read at all (then the dialog does not overwrite it).
  std::vector<std::string> configProblems_;
  bool configUnreadable_ = false;

  // The download archive (resume); none when it cannot be used. What it reported is said once
  // in a note that holds nothing up; a download without it says so in its end line.
  std::unique_ptr<Archive> archive_;
  std::string archiveError_;
  bool archiveTold_ = false;
  // The running job's album reports (from its thread), and the rows of "失败的图片" (window
  // thread): the last job's, or the archive's newest run after a restart.
  std::mutex reportsMutex_;
  std::vector<AlbumReport> reports_;
  std::vector<FailedRow> failedRows_;
  // The engine's words for each address that failed during the running job (any thread): a
  // picture's first address keeps its own reason when its fallback failed too.
  std::mutex heardMutex_;
  std::map<std::string, std::string> heard_;
  // The albums the running download took, in its order (window thread only): the one it shows
  // is marked in the grid.
  std::vector<int> downloading_;

  // The album being downloaded, as the job last reported it (for "打开" and the progress).
  std::mutex albumMutex_;
  std::string albumFolder_;
  bool poolRunning_ = false;
  bool downloadBusy_ = false;  // between the download's busy and idle forms

  // The parts; their widgets belong to the window, their own windows (the search, the login
  // window) to them, so they go before the window's widgets.
  std::unique_ptr<AddressBar> bar_;
  std::unique_ptr<AlbumViews> views_;
  std::unique_ptr<DownloadControl> download_;
  std::unique_ptr<StatusLines> lines_;
  std::unique_ptr<MainMenus> menus_;
  std::unique_ptr<QSplashScreen> splash_;
};

}  // namespace albumora::gui
