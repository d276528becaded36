// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/GallerixDlg.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplashScreen>
#include <QStandardPaths>
#include <QThread>
#include <QVBoxLayout>

#include <chrono>
#include <system_error>
#include <type_traits>

#include "download/Workers.h"
#include "fs/ProgramFolder.h"
#include "gui/AddressBar.h"
#include "gui/AlbumGrid.h"
#include "gui/AlbumViews.h"
#include "gui/AppIcon.h"
#include "gui/ArchiveNote.h"
#include "gui/ChineseTexts.h"
#include "gui/ComboBox2.h"
#include "gui/StatusLines.h"
#include "net/CookieStore.h"
#include "net/HttpEngine.h"
#include "sites/Registry.h"
#include "text/StringCtrl.h"

namespace albumora::gui {

namespace {

constexpr const char* kTitle = "Albumora 相册批量下载";
constexpr const char* kNotice = "输入QQ号或相册主页网址，点“获取相册”";

QString Q(const std::string& text) { return QString::fromStdString(text); }

QPixmap SplashPixmap() {
  QPixmap pixmap(420, 150);
  pixmap.fill(QColor(0x2d, 0x6c, 0xb4));
  QPainter painter(&pixmap);
  painter.drawPixmap(24, 43, AppIcon().pixmap(64, 64));
  painter.setPen(Qt::white);
  QFont font = painter.font();
  font.setPointSize(16);
  font.setBold(true);
  painter.setFont(font);
  painter.drawText(QRect(104, 40, 300, 36), Qt::AlignLeft | Qt::AlignVCenter, kTitle);
  font.setPointSize(10);
  font.setBold(false);
  painter.setFont(font);
  painter.drawText(QRect(104, 80, 300, 24), Qt::AlignLeft | Qt::AlignVCenter, "正在启动…");
  return pixmap;
}

}  // namespace

QString AddressFromClipboard(const std::string& clipboard) {
  const QString text = Q(Trim(clipboard));
  return text.size() >= 1 && text.size() <= 199 ? text : QString();
}

template <typename F>
auto CGallerixDlg::OnWindow(F&& f) -> decltype(f()) {
  using Result = decltype(f());
  if (QThread::currentThread() == thread()) return f();
  if constexpr (std::is_void_v<Result>) {
    QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::BlockingQueuedConnection);
  } else {
    Result result{};
    QMetaObject::invokeMethod(
        this, [&result, &f] { result = f(); }, Qt::BlockingQueuedConnection);
    return result;
  }
}

template <typename F>
void CGallerixDlg::Post(F&& f) {
  if (QThread::currentThread() == thread()) {
    f();
  } else {
    QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::QueuedConnection);
  }
}

CGallerixDlg::CGallerixDlg(const Adapters& adapters, StartOptions options)
    : options_(std::move(options)), runner_(app_, adapters) {
  InstallChineseTexts(*QCoreApplication::instance());
  setWindowTitle(kTitle);
  setWindowIcon(AppIcon());
  setAcceptDrops(true);
  BuildParts();
  lines_->SetNotice(kNotice);

  bar_->AddressBox()->setEditText(AddressFromClipboard(ClipboardText()));

  std::error_code error;
  const std::filesystem::path here =
      options_.currentDir.empty() ? std::filesystem::current_path(error) : options_.currentDir;
  const QString documents =
      options_.documentsDir.isEmpty()
          ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
          : options_.documentsDir;
  download_->SetSavePath(ProposedSavePath(here, documents));

  LoadSettings(app_.settings, ProgramFile("soft.dat"));
  configUnreadable_ = !LoadConfig(ProgramFile(kConfigFileName), app_.config, configProblems_);
  for (const RecentField& entry : app_.settings.recentAddr) {
    if (entry[0] != 0) bar_->AddressBox()->AddItem(Q(FieldText(entry)));
  }
  download_->LoadRecent();
  if (!options_.savePath.isEmpty()) download_->SetSavePath(options_.savePath);

  const std::filesystem::path cookies = ProgramFile("cookies.txt");
  if (std::filesystem::exists(cookies, error)) CookieStore::Shared().Load(cookies);
  // A short wait at start-up: a lock held elsewhere must not hold the window up.
  archive_ = Archive::Open(ProgramFile(kArchiveFileName), archiveError_, std::chrono::seconds(2));
  if (archive_) failedRows_ = FailedRowsOf(*archive_);
  ApplyConfig(app_.config);
  // Every failed exchange: what each address of a picture gave, for "失败的图片".
  SetFetchFailureObserver([this](const std::string& url, const HttpResponse& response) {
    std::lock_guard lock(heardMutex_);
    if (app_.nDownState.load() != DOWN_IDLE) heard_[url] = response.strError;
  });
  // A host that asked to slow down: the main status line counts the wait down, then shows
  // the job's line again.
  SetHostWaitObserver([this](const HostWait& wait) {
    Post([this, host = Q(wait.host), seconds = static_cast<int>(wait.seconds),
          status = wait.status] { lines_->ShowWait(host, seconds, status); });
  });
  resize(980, 660);
}

CGallerixDlg::~CGallerixDlg() {
  Shutdown();
  if (startup_.joinable()) startup_.join();
}

// The parts, laid out top to bottom: the address bar with "下载", the save row, the album
// views, their tools beside the progress, the status lines.
void CGallerixDlg::BuildParts() {
  auto* central = new QWidget(this);
  setCentralWidget(central);
  auto* layout = new QVBoxLayout(central);

  bar_ = std::make_unique<AddressBar>(central);
  download_ = std::make_unique<DownloadControl>(central, app_.settings, prompts_,
                                                [this] { SaveSettingsFile(); });
  views_ = std::make_unique<AlbumViews>(
      central, app_.grid, [this](bool preview) { return runner_.SwitchView(preview); },
      [this](const QString& text) { Message(text); });
  lines_ = std::make_unique<StatusLines>(central);

  auto* top = new QHBoxLayout;
  bar_->AddTo(top);
  top->addWidget(download_->Button());
  layout->addLayout(top);

  auto* save = new QHBoxLayout;
  download_->AddSaveRow(save);
  layout->addLayout(save);

  layout->addWidget(views_->Frame(), 1);

  auto* tools = new QHBoxLayout;
  views_->AddTools(tools);
  tools->addStretch(1);
  download_->AddProgress(tools);
  layout->addLayout(tools);

  lines_->AddTo(layout);

  MenuNeeds needs;
  needs.site = [this] { return bar_->Site(); };
  needs.address = [this] { return bar_->Address(); };
  needs.savePath = [this] { return download_->SavePath(); };
  needs.failures = [this] { return FailedRows(); };
  needs.saveSettings = [this] { SaveSettingsFile(); };
  needs.configChanged = [this] {
    SaveConfigFile();
    ApplyConfig(app_.config);
  };
  needs.message = [this](const QString& text) { Message(text); };
  needs.open = [this](const QUrl& url) { OpenWithDesktop(url); };
  menus_ = std::make_unique<MainMenus>(*this, app_, std::move(needs));

  connect(bar_.get(), &AddressBar::SiteChanged, this, [this] { SiteChanged(); });
  connect(bar_.get(), &AddressBar::ListRequested, this,
          [this] { runner_.List(bar_->SiteBox()->currentIndex()); });
  connect(download_.get(), &DownloadControl::DownloadRequested, this,
          [this] { DownloadClicked(); });
  connect(download_.get(), &DownloadControl::OpenRequested, this, [this] { OpenSaveFolder(); });
}

QComboBox* CGallerixDlg::SiteBox() const { return bar_->SiteBox(); }
CComboBox2* CGallerixDlg::AddressBox() const { return bar_->AddressBox(); }
CComboBox2* CGallerixDlg::SaveBox() const { return download_->SaveBox(); }
QPushButton* CGallerixDlg::ListButton() const { return bar_->ListButton(); }
QPushButton* CGallerixDlg::DownloadButton() const { return download_->Button(); }
QPushButton* CGallerixDlg::BrowseButton() const { return download_->BrowseButton(); }
QPushButton* CGallerixDlg::OpenButton() const { return download_->OpenButton(); }
QCheckBox* CGallerixDlg::SelectAllBox() const { return views_->SelectAllBox(); }
QCheckBox* CGallerixDlg::PreviewBox() const { return views_->PreviewBox(); }
QGroupBox* CGallerixDlg::ListFrame() const { return views_->Frame(); }
AlbumGridView* CGallerixDlg::Grid() const { return views_->Grid(); }
QLabel* CGallerixDlg::Status1() const { return lines_->Main(); }
QLabel* CGallerixDlg::Status2() const { return lines_->Progress(); }
QLabel* CGallerixDlg::Notice() const { return lines_->Notice(); }
QProgressBar* CGallerixDlg::Progress() const { return download_->Progress(); }
QAction* CGallerixDlg::MenuAction(int id) const { return menus_->Action(id); }
QMenu* CGallerixDlg::SettingsMenu() const { return menus_->SettingsMenu(); }
CDlgFind* CGallerixDlg::FindWindow() const { return views_->FindWindow(); }
CDlgWebOpen* CGallerixDlg::OpenLoginWindow() const { return menus_->LoginWindow(); }

void CGallerixDlg::Start() {
  if (options_.splash) {
    splash_ = std::make_unique<QSplashScreen>(SplashPixmap());
    splash_->show();
  }
  // The start-up thread: fills the site list (no network call), then the window is ready.
  startup_ = std::thread([this] {
    QStringList sites;
    for (const SiteFamily* family : Families()) sites.append(family->displayName);
    QMetaObject::invokeMethod(
        this, [this, sites] { Ready(sites); }, Qt::QueuedConnection);
  });
}

void CGallerixDlg::Ready(const QStringList& sites) {
  bar_->SetSites(sites);
  if (splash_) {
    splash_->finish(this);
    splash_.reset();
  }
  show();
  app_.bReady = 1;
  bar_->RecognizeTyped();
  SiteChanged();
  TellArchive();
  if (!configProblems_.empty()) {
    QString text = QString("设置文件 %1 有问题，相关设置使用默认值：\n")
                       .arg(Q(ProgramFile(kConfigFileName).string()));
    for (const std::string& problem : configProblems_) text += "\n" + Q(problem);
    configProblems_.clear();
    Message(text);
  }
}

void CGallerixDlg::Shutdown() {
  // A close arriving while this waits (events are processed) waits in this same loop.
  if (shuttingDown_) return;
  shuttingDown_ = true;
  closing_ = true;
  runner_.RequestStop();
  views_->HideFind();
  // The jobs may still call the window (and wait for it): answer while waiting.
  while (runner_.Running()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  runner_.Join();
  SetHostWaitObserver(nullptr);
  SetFetchFailureObserver(nullptr);
  SaveCookies();
  shuttingDown_ = false;
}

void CGallerixDlg::closeEvent(QCloseEvent* event) {
  if (!shuttingDown_ && app_.nDownState.load() != DOWN_IDLE &&
      !prompts_.question(this, "正在下载，确定退出？", "提示")) {
    event->ignore();
    return;
  }
  Shutdown();
  event->accept();
}

// The site box names the site of the next listing and the slot the menu edits. The albums in
// the grid keep the site they were listed with (nSite, set when the listing starts): "下载"
// sends them to that site's adapter whatever the box shows meanwhile.
void CGallerixDlg::SiteChanged() {
  const int listed = app_.nSite.load();
  QComboBox* sites = bar_->SiteBox();
  const bool other =
      views_->Grid()->Model().rowCount() > 0 && listed != bar_->Site() && listed < sites->count();
  download_->Button()->setToolTip(other ? "下载列表中" + sites->itemText(listed) + "的相册"
                                        : QString());
}

void CGallerixDlg::DownloadClicked() {
  // A save folder that cannot be made is said once, with the system's reason, before the job
  // starts (an empty box is the job's own message).
  const QString folder = download_->SavePath().trimmed();
  QString reason;
  if (app_.nDownState.load() == DOWN_IDLE && !folder.isEmpty()) {
    if (!MakeSaveFolder(folder, reason)) {
      Message(reason);
      return;
    }
    // The path as typed or pasted is kept, as a picked one is: start-up shows it again.
    download_->RememberUsed();
  }
  StartDownload();
}

void CGallerixDlg::Browse() { download_->Browse(); }

void CGallerixDlg::OpenSaveFolder() {
  QString folder;
  {
    std::lock_guard lock(albumMutex_);
    if (poolRunning_ && Pool().running.load()) folder = Q(albumFolder_);
  }
  if (folder.isEmpty()) folder = download_->SavePath().trimmed();
  if (folder.isEmpty()) return;
  if (!QFileInfo(folder).isDir()) {
    Message("保存路径还没有创建：" + folder + "\n第一次下载时会自动创建。");
    return;
  }
  OpenWithDesktop(QUrl::fromLocalFile(folder));
}

void CGallerixDlg::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CGallerixDlg::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (!urls.isEmpty() && urls.front().isLocalFile()) TakeDroppedPath(urls.front().toLocalFile());
  event->acceptProposedAction();
}

void CGallerixDlg::TakeDroppedPath(const QString& path) { download_->TakeDroppedPath(path); }

void CGallerixDlg::ShowFind() { views_->ShowFind(); }

void CGallerixDlg::UpdateMenuMarks() { menus_->UpdateMarks(); }

void CGallerixDlg::MenuCommand(int id) { menus_->Command(id); }

void CGallerixDlg::StartDownload() {
  if (app_.nDownState.load() == DOWN_IDLE) {
    // Each download is a run of its own in the archive: "失败的图片" after a restart shows the
    // last one.
    if (archive_) archive_->BeginRun();
    std::lock_guard lock(reportsMutex_);
    reports_.clear();
    std::lock_guard heard(heardMutex_);
    heard_.clear();
  }
  if (app_.nDownState.load() == DOWN_IDLE) {
    downloading_ = app_.grid.SelectedAlbums(static_cast<int>(app_.albumList.size()));
  }
  DownloadJobOptions options;
  options.archive = archive_.get();
  options.force = menus_->ForceDownload();
  options.config = app_.config;
  options.report = [this](const AlbumReport& album) {
    // The folder of an album a stop cut before any picture landed goes again (only when it is
    // empty): a look-ahead album named its pictures, and so made its folder, early.
    if (album.outcome == AlbumOutcome::Stopped && album.written == 0 && album.already == 0 &&
        !album.folder.empty()) {
      std::error_code error;
      std::filesystem::remove(album.folder, error);
    }
    std::lock_guard lock(reportsMutex_);
    reports_.push_back(album);
  };
  runner_.Download(options);
}

void CGallerixDlg::FollowShownAlbum(const QString& line) {
  static const QRegularExpression shown("^正在下载第(\\d+)/\\d+个图集$");
  const QRegularExpressionMatch match = shown.match(line);
  if (!match.hasMatch()) return;
  const size_t position = match.captured(1).toULong();
  if (position >= 1 && position <= downloading_.size()) {
    views_->ShowCurrent(downloading_[position - 1]);
  }
}

std::vector<FailedRow> CGallerixDlg::FailedRows() { return failedRows_; }

void CGallerixDlg::TellArchive() {
  std::string report = archiveError_;
  if (report.empty() && archive_) report = archive_->LastError();
  if (archiveTold_ || report.empty()) return;
  archiveTold_ = true;
  prompts_.note(this, ArchiveNote(report, archive_ != nullptr));
}

void CGallerixDlg::SaveSettingsFile() { SaveSettings(app_.settings, ProgramFile("soft.dat")); }

// A file start-up could not read is left for the person to fix: the values hold for this run.
void CGallerixDlg::SaveConfigFile() {
  const std::filesystem::path file = ProgramFile(kConfigFileName);
  std::string error;
  if (configUnreadable_) {
    Message(QString("设置文件 %1 无法读取，传输设置只在本次运行有效；请修改或删除该文件。")
                .arg(Q(file.string())));
  } else if (!SaveConfig(file, app_.config, error)) {
    Message(QString("传输设置未能保存：") + Q(error));
  }
}

void CGallerixDlg::SaveCookies() {
  // A login another process (albumora login) saved meanwhile is merged, not lost.
  CookieStore::Shared().SaveMerged(ProgramFile("cookies.txt"));
}

void CGallerixDlg::Message(const QString& text) { prompts_.message(this, text, QString()); }

void CGallerixDlg::OpenWithDesktop(const QUrl& url) {
  if (prompts_.openUrl(url)) return;
  const QString what = url.isLocalFile() ? url.toLocalFile() : url.toString();
  Message("无法打开 " + what + "\n系统中没有可用的打开程序（如 xdg-open）。");
}

// Host: the boxes' texts.

std::string CGallerixDlg::AddressText() {
  return OnWindow([this] { return bar_->Address().toStdString(); });
}

std::string CGallerixDlg::SavePathText() {
  return OnWindow([this] { return download_->SavePath().toStdString(); });
}

// Host: what the person must see or answer. While the window closes nobody answers: messages
// pass, questions are answered No, the login window stays shut.

void CGallerixDlg::ShowMessage(const std::string& text, const std::string& caption) {
  OnWindow([&] {
    if (!closing_) prompts_.message(this, Q(text), Q(caption));
  });
}

bool CGallerixDlg::AskYesNo(const std::string& text, const std::string& caption) {
  return OnWindow([&] { return !closing_ && prompts_.question(this, Q(text), Q(caption)); });
}

void CGallerixDlg::OpenLogin(const std::string& address) {
  OnWindow([&] {
    if (!closing_) prompts_.login(this, Q(address));
  });
}

// Host: status lines, queued. The second line also moves the progress bar: its numbers are
// those of the album the job shows.

void CGallerixDlg::SetStatus(StatusLine line, const std::string& text) {
  int total = 0;
  int finished = 0;
  bool moveBar = false;
  if (line == StatusLine::Progress && QThread::currentThread() != thread()) {
    std::lock_guard lock(albumMutex_);
    // Only a running download moves the bar: after the idle form it keeps the idle form's.
    moveBar = downloadBusy_;
    if (moveBar) {
      const AppState::ShownAlbum shown = app_.Shown();
      total = shown.total;
      finished = std::min(shown.finished, total);
      albumFolder_ = shown.folder;
      poolRunning_ = Pool().running.load() && !shown.folder.empty();
    }
  }
  Post([this, line, text = Q(text), total, finished, moveBar] {
    switch (line) {
      case StatusLine::Main:
        // A download's end line, without the archive: the rerun fetched everything again.
        if (!archive_ && !downloadBusy_ &&
            (text.startsWith("下载完毕") || text.startsWith("下载已停止"))) {
          lines_->SetMain(text + kNoArchiveRemark);
          break;
        }
        lines_->SetMain(text);
        FollowShownAlbum(text);
        break;
      case StatusLine::Progress:
        lines_->SetProgress(text);
        if (moveBar) download_->ShowProgress(finished, total);
        break;
      case StatusLine::ListTitle:
        views_->SetTitle(text);
        break;
    }
  });
}

// Host: the jobs' forms.

void CGallerixDlg::SetListBusy(bool busy, bool downloadEnabled) {
  if (!busy) SaveCookies();
  OnWindow([&] {
    bar_->SetListing(busy);
    views_->SetListing(busy);
    if (busy) {
      download_->Button()->setEnabled(false);
      lines_->HideNotice();
    } else {
      lines_->EndWait();
      download_->Button()->setEnabled(downloadEnabled);
      SiteChanged();
    }
  });
}

void CGallerixDlg::SetDownloadBusy(bool busy) {
  if (!busy) SaveCookies();
  OnWindow([&] {
    {
      std::lock_guard lock(albumMutex_);
      downloadBusy_ = busy;
    }
    bar_->SetLocked(busy);
    download_->SetBusy(busy);
    if (!busy) {
      std::vector<std::string> names;
      for (size_t i = 0; i < app_.albumList.size(); ++i) names.push_back(app_.albumList[i].strName);
      {
        std::lock_guard lock(reportsMutex_);
        failedRows_ = FailedRowsOf(reports_, names, [this](const std::string& address) {
          std::lock_guard heard(heardMutex_);
          auto it = heard_.find(address);
          return it == heard_.end() ? std::string() : it->second;
        });
      }
      TellArchive();
      views_->ShowCurrent(-1);
      lines_->EndWait();
      lines_->SetMain("下载完毕");
      lines_->SetProgress("");
      std::lock_guard lock(albumMutex_);
      poolRunning_ = false;
    }
  });
}

// Host: the grid.

void CGallerixDlg::GridReset(bool preview) {
  OnWindow([&] { views_->Reset(preview); });
}

void CGallerixDlg::GridRowAdded(int row) {
  OnWindow([&] { views_->RowAdded(row); });
}

void CGallerixDlg::GridCellChanged(int row, int column) {
  OnWindow([&] { views_->CellChanged(row, column); });
}

void CGallerixDlg::GridFinished() {
  OnWindow([&] { views_->Repaint(); });
}

// The cover is read and scaled on the calling thread; the window only stores it.
int CGallerixDlg::LoadThumbnail(const std::string& path) {
  QImageReader reader(Q(path));
  reader.setDecideFormatFromContent(true);
  const QImage image = reader.read();
  if (image.isNull()) return -1;
  const QImage thumbnail = image.scaled(GridModel::kThumbWidth, GridModel::kThumbHeight,
                                        Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  return OnWindow(
      [&] { return views_->Grid()->Model().AddThumbnail(QPixmap::fromImage(thumbnail)); });
}

void CGallerixDlg::ClearThumbnails() {
  OnWindow([&] { views_->Grid()->Model().ClearThumbnails(); });
}

void CGallerixDlg::AddressRemembered(const std::string& text) {
  OnWindow([&] { bar_->AddressBox()->AddItem(Q(text)); });
}

void CGallerixDlg::PoolFinished(long, long) {}

void CGallerixDlg::OpenFolder(const std::string& path) {
  OnWindow([&] {
    if (!closing_) OpenWithDesktop(QUrl::fromLocalFile(Q(path)));
  });
}

}  // namespace albumora::gui
