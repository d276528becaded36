// CGallerixDlg: the main window, and the Host the jobs report through. Every job call is
// brought onto the window's thread: the calls a job waits for (messages, questions, the login
// window, grid rows, thumbnails, the busy and idle forms, the boxes' texts) block until the
// window has done them; status texts are queued. A call made on the window's own thread runs at
// once (the view switch asks its stop question there).
//
// The albums in the grid keep the site they were listed with (AppState::nSite): changing the
// site box after a listing names the site of the next listing, and "下载" still sends the listed
// albums to their own site. The menu and the settings dialogs edit the site box's slot.
//
// The window owns the records (AppState) and the job threads (JobRunner): closing it asks the
// jobs to stop, waits for their ends while still answering their calls, and only then goes.
#pragma once

#include <QMainWindow>
#include <QPointer>
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

class AlbumGridView;
class CComboBox2;
class CDlgFind;
class CDlgWebOpen;

// What start-up reads from the platform; tests and the demo set their own.
struct StartOptions {
  std::filesystem::path currentDir;  // empty: the process's current directory
  QString documentsDir;              // empty: the desktop's documents folder
  bool splash = true;
  QString savePath;  // when set, the save path (the demo's)
};

// Menu command ids.
enum MenuId : int {
  ID_FEEDBACK = 32772,
  ID_ENQUIRY = 32773,
  ID_SKIP_OLD = 32774,
  ID_VERSION = 32775,
  ID_DOWN_SET = 32778,
  ID_SAVE_SET = 32779,
  ID_LOGIN_QQ = 32781,
  ID_LOGIN_TWEIBO = 32782,
  ID_LOGIN_BAIDU = 32789,
  ID_LOGIN_NETEASE = 32790,
  ID_LOGIN_RENREN = 32791,
  ID_LOGIN_YUPOO = 32792,
  ID_LOGIN_MOKO = 32793,
  ID_LOGIN_WEIBO = 32794,
  ID_LOGIN_CUSTOM = 32795,
  ID_FIX_ORDER = 32799,
  ID_FIX_FORMAT = 32800,
  ID_THUNDER_ONLY = 32802,
  ID_NAME_FILE = 32804,
  ID_GUIDE = 32806,
  ID_FILES = 32807,
  ID_TAOBAO_MAIN = 32808,
  ID_EXPORT_DOWN = 32809,
  ID_EXPORT_THUNDER = 32810,
  ID_IMPORT = 32811,
  ID_OPEN_DIR = 32812,
  ID_FORCE_DOWNLOAD = 32813,
  ID_FAILED_LIST = 32814,
};

// The save path start-up proposes: the current directory; when that is a temporary folder, the
// documents folder's "Albumora/" (created).
QString ProposedSavePath(const std::filesystem::path& currentDir, const QString& documentsDir);
// Makes the save folder (and those above it) and checks that files can be made in it; false
// with the folder and the system's reason when not.
bool MakeSaveFolder(const QString& folder, QString& reason);
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

  // Controls, by role (for the tests and the demo).
  QComboBox* SiteBox() const { return siteBox_; }
  CComboBox2* AddressBox() const { return addressBox_; }
  CComboBox2* SaveBox() const { return saveBox_; }
  QPushButton* ListButton() const { return listButton_; }
  QPushButton* DownloadButton() const { return downloadButton_; }
  QPushButton* BrowseButton() const { return browseButton_; }
  QPushButton* OpenButton() const { return openButton_; }
  QCheckBox* SelectAllBox() const { return selectAll_; }
  QCheckBox* PreviewBox() const { return previewBox_; }
  QGroupBox* ListFrame() const { return listFrame_; }
  AlbumGridView* Grid() const { return grid_; }
  QLabel* Status1() const { return status1_; }
  QLabel* Status2() const { return status2_; }
  QLabel* Notice() const { return notice_; }
  QProgressBar* Progress() const { return progress_; }
  QAction* MenuAction(int id) const;
  // The pictures of the last download that were not written.
  std::vector<FailedPicture> FailedPictures();
  QMenu* SettingsMenu() const { return settingsMenu_; }
  CDlgFind* FindWindow() const { return find_.get(); }
  CDlgWebOpen* OpenLoginWindow() const { return login_.get(); }

  // Handlers.
  void SiteChanged();
  void AddressChanged();
  // "下载": starts the download (after checking the save folder) or stops it.
  void DownloadClicked();
  void Browse();
  void OpenSaveFolder();
  // A dropped path, as a drop of that file or folder does.
  void TakeDroppedPath(const QString& path);
  void SelectAllClicked(bool checked);
  void PreviewClicked(bool checked);
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

  void BuildControls();
  void BuildMenu();
  void Ready(const QStringList& sites);
  // The site box's index, and the slot the menu and the settings dialogs edit.
  int BoxSite() const;
  NameRule& MenuRule() { return app_.settings.NameRules[static_cast<size_t>(BoxSite())]; }
  void ToggleOption(uint16_t option);
  void RunDownSet();
  void RunSaveSet();
  void OpenLoginAt(const QString& address);
  void ShowAbout();
  void SaveSettingsFile();
  void SaveConfigFile();
  void SaveCookies();
  void Message(const QString& text);
  // "下载": the job with the download archive, the force toggle and a fresh failure list.
  void StartDownload();
  void ShowFailedPictures();
  // Opens with the desktop; says so when nothing could open it.
  void OpenWithDesktop(const QUrl& url);

  StartOptions options_;
  AppState app_{*this};
  JobRunner runner_;
  Prompts prompts_ = Prompts::Desktop();
  std::atomic<bool> closing_{false};
  bool shuttingDown_ = false;
  bool switchingView_ = false;  // the grid reset of a view switch keeps the ticks
  std::thread startup_;
  // albumora.toml as start-up found it: its problems (shown once when the window is ready) and
  // whether it could not be read at all (then the dialog does not overwrite it).
  std::vector<std::string> configProblems_;
  bool configUnreadable_ = false;

  // The download archive (resume); none when it cannot be used (said once, at the first
  // download). The pictures of the last job that were not written, for "失败的图片".
  std::unique_ptr<Archive> archive_;
  std::string archiveError_;
  bool forceDownload_ = false;
  std::mutex failuresMutex_;
  std::vector<FailedPicture> failures_;

  // The album being downloaded, as the job last reported it (for "打开" and the progress).
  std::mutex albumMutex_;
  std::string albumFolder_;
  bool poolRunning_ = false;
  bool downloadBusy_ = false;  // between the download's busy and idle forms

  QComboBox* siteBox_ = nullptr;
  CComboBox2* addressBox_ = nullptr;
  CComboBox2* saveBox_ = nullptr;
  QPushButton* listButton_ = nullptr;
  QPushButton* downloadButton_ = nullptr;
  QPushButton* browseButton_ = nullptr;
  QPushButton* openButton_ = nullptr;
  QGroupBox* listFrame_ = nullptr;
  AlbumGridView* grid_ = nullptr;
  QCheckBox* selectAll_ = nullptr;
  QCheckBox* previewBox_ = nullptr;
  QLabel* status1_ = nullptr;
  QLabel* status2_ = nullptr;
  QLabel* notice_ = nullptr;
  QLabel* version_ = nullptr;
  QLabel* updateLink_ = nullptr;
  QLabel* findLink_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QMenu* settingsMenu_ = nullptr;
  std::map<int, QAction*> actions_;
  std::unique_ptr<QSplashScreen> splash_;
  std::unique_ptr<CDlgFind> find_;
  std::unique_ptr<CDlgWebOpen> login_;
};

}  // namespace albumora::gui
