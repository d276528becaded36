#include "gui/GallerixDlg.h"

#include <unistd.h>

#include <QActionGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplashScreen>
#include <QStandardPaths>
#include <QThread>
#include <QVBoxLayout>

#include <cerrno>
#include <chrono>
#include <system_error>
#include <type_traits>

#include "download/Workers.h"
#include "fs/ProgramFolder.h"
#include "gui/AlbumGrid.h"
#include "gui/AppIcon.h"
#include "gui/ComboBox2.h"
#include "gui/DlgFind.h"
#include "gui/FailedDlg.h"
#include "gui/LoginWindow.h"
#include "gui/SettingsDialogs.h"
#include "net/CookieStore.h"
#include "net/HttpEngine.h"
#include "sites/Registry.h"
#include "text/StringCtrl.h"

#ifndef ALBUMORA_VERSION
#error "ALBUMORA_VERSION comes from the project version in CMakeLists.txt"
#endif
#ifndef ALBUMORA_SOURCE_README
#define ALBUMORA_SOURCE_README ""
#endif

namespace albumora::gui {

namespace {

constexpr const char* kTitle = "Albumora 相册批量下载";
constexpr const char* kNotice = "输入QQ号或相册主页网址，点“获取相册”";

// The option items of the settings menu and their bits in the current site's wOptions.
struct OptionItem {
  int id;
  const char* caption;
  uint16_t option;
};
constexpr OptionItem kOptionItems[] = {
    {ID_THUNDER_ONLY, "只生成迅雷下载列表", OPT_THUNDER_ONLY},
    {ID_NAME_FILE, "生成图片原始名文件", OPT_NAME_FILE},
    {ID_FIX_ORDER, "修正图片顺序", OPT_FIX_ORDER},
    {ID_FIX_FORMAT, "修正图片格式", OPT_FIX_FORMAT},
    {ID_SKIP_OLD, "不下载以前下载过的图片", OPT_SKIP_OLD},
    {ID_OPEN_DIR, "下载完成后打开保存路径", OPT_OPEN_DIR},
    {ID_TAOBAO_MAIN, "只下载淘宝宝贝主图", OPT_TAOBAO_MAIN},
};

// The login items: the start address is the family's login address, or the item's own.
struct LoginItem {
  int id;
  const char* caption;
  int family;           // its site index, or -1
  const char* address;  // when family is -1; empty: the login window offers the clipboard
};
constexpr LoginItem kLoginItems[] = {
    {ID_LOGIN_QQ, "QQ（绑定的QQ不用在下载器里登录）", SITE_QZONE, nullptr},
    {ID_LOGIN_TWEIBO, "腾讯微博", -1, "http://t.qq.com/"},
    {ID_LOGIN_BAIDU, "百度", SITE_BAIDU, nullptr},
    {ID_LOGIN_NETEASE, "网易", SITE_NETEASE, nullptr},
    {ID_LOGIN_RENREN, "人人", SITE_RENREN, nullptr},
    {ID_LOGIN_YUPOO, "又拍", SITE_YUPOO, nullptr},
    {ID_LOGIN_MOKO, "美空", SITE_MOKO, nullptr},
    {ID_LOGIN_WEIBO, "新浪微博", SITE_SINA, nullptr},
    {ID_LOGIN_CUSTOM, "自定义登录", -1, ""},
};

QString Q(const std::string& text) { return QString::fromStdString(text); }

bool AllDigits(const QString& text) {
  if (text.isEmpty()) return false;
  for (QChar c : text) {
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
  }
  return true;
}

QString WithSlash(QString folder) {
  if (!folder.isEmpty() && !folder.endsWith('/')) folder += '/';
  return folder;
}

// The project's README: installed beside the program, else the source tree's.
QString ReadmePath() {
  const QString installed =
      QCoreApplication::applicationDirPath() + "/../share/doc/albumora/README.md";
  if (QFileInfo::exists(installed)) return QFileInfo(installed).canonicalFilePath();
  return ALBUMORA_SOURCE_README;
}

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

QString ProposedSavePath(const std::filesystem::path& currentDir, const QString& documentsDir) {
  const QString folder = WithSlash(Q(currentDir.string()));
  const QString lower = folder.toLower();
  // A program started from a temporary folder (an unpacked download), or from the root where
  // nobody may write, proposes the documents folder instead.
  const bool temporary = lower.contains("/temp/") || lower.contains("/tmp/") ||
                         lower.contains("\\temp\\") || lower.contains("\\locals") || folder == "/";
  if (!temporary) return folder;
  const QString albums = WithSlash(documentsDir) + "Albumora/";
  QDir().mkpath(albums);
  return albums;
}

bool MakeSaveFolder(const QString& folder, QString& reason) {
  const std::filesystem::path path(folder.toStdString());
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (!error && !std::filesystem::is_directory(path, error)) {
    error = std::make_error_code(std::errc::not_a_directory);
  }
  if (!error && ::access(path.c_str(), W_OK | X_OK) != 0) {
    error = std::error_code(errno, std::generic_category());
  }
  if (!error) return true;
  reason = "无法创建保存路径：" + folder + "\n" + QString::fromLocal8Bit(error.message());
  return false;
}

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
  setWindowTitle(kTitle);
  setWindowIcon(AppIcon());
  setAcceptDrops(true);
  BuildControls();
  BuildMenu();
  notice_->setText(kNotice);
  version_->setText(QString("版本 ") + ALBUMORA_VERSION);
  grid_->Reset(false);

  addressBox_->setEditText(AddressFromClipboard(ClipboardText()));

  std::error_code error;
  const std::filesystem::path here =
      options_.currentDir.empty() ? std::filesystem::current_path(error) : options_.currentDir;
  const QString documents =
      options_.documentsDir.isEmpty()
          ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
          : options_.documentsDir;
  saveBox_->setEditText(ProposedSavePath(here, documents));

  LoadSettings(app_.settings, ProgramFile("soft.dat"));
  configUnreadable_ = !LoadConfig(ProgramFile(kConfigFileName), app_.config, configProblems_);
  for (const RecentField& entry : app_.settings.recentAddr) {
    if (entry[0] != 0) addressBox_->AddItem(Q(FieldText(entry)));
  }
  for (const RecentField& entry : app_.settings.recentDir) {
    if (entry[0] != 0) saveBox_->AddItem(Q(FieldText(entry)));
  }
  if (app_.settings.recentDir[0][0] != 0)
    saveBox_->setEditText(Q(FieldText(app_.settings.recentDir[0])));
  if (!options_.savePath.isEmpty()) saveBox_->setEditText(options_.savePath);

  const std::filesystem::path cookies = ProgramFile("cookies.txt");
  if (std::filesystem::exists(cookies, error)) CookieStore::Shared().Load(cookies);
  archive_ = Archive::Open(ProgramFile(kArchiveFileName), archiveError_);
  ApplyConfig(app_.config);
  // A host that asked to slow down: the main status line tells the wait.
  SetHostWaitObserver([this](const HostWait& wait) {
    SetStatus(StatusLine::Main, "等待 " + std::to_string(wait.seconds) + " 秒：" + wait.host +
                                    " 要求放慢（" + std::to_string(wait.status) + "）");
  });
  resize(980, 660);
}

CGallerixDlg::~CGallerixDlg() {
  Shutdown();
  if (startup_.joinable()) startup_.join();
}

void CGallerixDlg::BuildControls() {
  auto* central = new QWidget(this);
  setCentralWidget(central);
  auto* layout = new QVBoxLayout(central);

  auto* top = new QHBoxLayout;
  siteBox_ = new QComboBox(central);
  siteBox_->setMinimumWidth(150);
  addressBox_ = new CComboBox2(central);
  addressBox_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  listButton_ = new QPushButton("获取相册", central);
  downloadButton_ = new QPushButton("下载", central);
  downloadButton_->setEnabled(false);
  top->addWidget(siteBox_);
  top->addWidget(addressBox_, 1);
  top->addWidget(listButton_);
  top->addWidget(downloadButton_);
  layout->addLayout(top);

  auto* save = new QHBoxLayout;
  save->addWidget(new QLabel("保存路径:", central));
  saveBox_ = new CComboBox2(central);
  saveBox_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  browseButton_ = new QPushButton("设置", central);
  openButton_ = new QPushButton("打开", central);
  save->addWidget(saveBox_, 1);
  save->addWidget(browseButton_);
  save->addWidget(openButton_);
  layout->addLayout(save);

  listFrame_ = new QGroupBox("相册列表", central);
  auto* frame = new QVBoxLayout(listFrame_);
  grid_ = new AlbumGridView(app_.grid, listFrame_);
  frame->addWidget(grid_);
  layout->addWidget(listFrame_, 1);

  auto* tools = new QHBoxLayout;
  selectAll_ = new QCheckBox("全选", central);
  previewBox_ = new QCheckBox("预览图", central);
  findLink_ = new QLabel("<a href=\"#find\">查找</a>", central);
  progress_ = new QProgressBar(central);
  progress_->setRange(0, 1);
  progress_->setValue(0);
  progress_->setFormat("");
  tools->addWidget(selectAll_);
  tools->addWidget(previewBox_);
  tools->addWidget(findLink_);
  tools->addStretch(1);
  tools->addWidget(new QLabel("当前相册:", central));
  tools->addWidget(progress_, 1);
  layout->addLayout(tools);

  // The status lines keep one line's height, empty or not, and a long text is cut rather than
  // widening the window: the grid above them does not move as they fill.
  status1_ = new QLabel("就绪", central);
  status2_ = new QLabel(central);
  for (QLabel* status : {status1_, status2_}) {
    status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    status->setMinimumHeight(status->fontMetrics().height());
    layout->addWidget(status);
  }
  auto* notes = new QHBoxLayout;
  notice_ = new QLabel(central);
  // The notice keeps its place when it hides, so the version stays at the right.
  QSizePolicy noticePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  noticePolicy.setRetainSizeWhenHidden(true);
  notice_->setSizePolicy(noticePolicy);
  version_ = new QLabel(central);
  updateLink_ = new QLabel("<a href=\"#update\">程序有更新</a>", central);
  updateLink_->hide();
  notes->addWidget(notice_, 1);
  notes->addWidget(updateLink_);
  notes->addWidget(version_);
  layout->addLayout(notes);

  connect(siteBox_, qOverload<int>(&QComboBox::currentIndexChanged), this,
          [this] { SiteChanged(); });
  connect(addressBox_, &QComboBox::editTextChanged, this, [this] { AddressChanged(); });
  connect(listButton_, &QPushButton::clicked, this,
          [this] { runner_.List(siteBox_->currentIndex()); });
  // Enter in the address box lists, as the button does.
  connect(addressBox_, &CComboBox2::Entered, this, [this] {
    if (listButton_->isEnabled()) listButton_->click();
  });
  connect(downloadButton_, &QPushButton::clicked, this, [this] { DownloadClicked(); });
  connect(browseButton_, &QPushButton::clicked, this, [this] { Browse(); });
  connect(openButton_, &QPushButton::clicked, this, [this] { OpenSaveFolder(); });
  connect(selectAll_, &QCheckBox::clicked, this, [this](bool on) { SelectAllClicked(on); });
  connect(previewBox_, &QCheckBox::clicked, this, [this](bool on) { PreviewClicked(on); });
  connect(findLink_, &QLabel::linkActivated, this, [this] { ShowFind(); });
}

void CGallerixDlg::BuildMenu() {
  auto add = [this](QMenu* menu, int id, const QString& caption, bool checkable = false) {
    QAction* action = menu->addAction(caption);
    action->setCheckable(checkable);
    actions_[id] = action;
    connect(action, &QAction::triggered, this, [this, id] { MenuCommand(id); });
    return action;
  };
  QMenu* login = menuBar()->addMenu("<登录>");
  for (const LoginItem& item : kLoginItems) add(login, item.id, item.caption);

  settingsMenu_ = menuBar()->addMenu("<设置>");
  add(settingsMenu_, ID_DOWN_SET, "下载参数设置");
  add(settingsMenu_, ID_SAVE_SET, "文件名设置");
  for (size_t i = 0; i < std::size(kOptionItems); ++i) {
    // Separators before "只生成迅雷下载列表", "修正图片顺序" and "只下载淘宝宝贝主图".
    if (i == 0 || i == 2 || i == 6) settingsMenu_->addSeparator();
    add(settingsMenu_, kOptionItems[i].id, kOptionItems[i].caption, true);
  }

  // The import and export items are kept without action.
  QMenu* files = menuBar()->addMenu("<导入/导出>");
  add(files, ID_IMPORT, "导入下载文件并开始下载");
  files->addSeparator();
  add(files, ID_EXPORT_DOWN, "导出下载文件");
  add(files, ID_EXPORT_THUNDER, "导出迅雷下载列表");

  settingsMenu_->addSeparator();
  add(settingsMenu_, ID_FORCE_DOWNLOAD, "重新下载全部图片（不跳过已下载的）", true);

  QMenu* tools = menuBar()->addMenu("<辅助功能>");
  add(tools, ID_FILES, "文件处理");
  add(tools, ID_FAILED_LIST, "失败的图片");

  QAction* spacer = menuBar()->addAction(QString(13, QLatin1Char(' ')));
  spacer->setEnabled(false);

  QMenu* help = menuBar()->addMenu("<帮助>");
  add(help, ID_GUIDE, "使用说明");
  add(help, ID_ENQUIRY, "软件咨询");
  add(help, ID_FEEDBACK, "问题反馈");
  help->addSeparator();
  add(help, ID_VERSION, "版本信息");

  for (QMenu* menu : {login, settingsMenu_, files, tools, help}) {
    connect(menu, &QMenu::aboutToShow, this, [this] { UpdateMenuMarks(); });
  }
}

QAction* CGallerixDlg::MenuAction(int id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

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
  {
    const QSignalBlocker blocker(siteBox_);
    siteBox_->addItems(sites);
    siteBox_->setCurrentIndex(0);
  }
  if (splash_) {
    splash_->finish(this);
    splash_.reset();
  }
  show();
  app_.bReady = 1;
  SiteChanged();
  AddressChanged();
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
  if (find_) find_->hide();
  // The jobs may still call the window (and wait for it): answer while waiting.
  while (runner_.Running()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  runner_.Join();
  SetHostWaitObserver(nullptr);
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
  const bool other =
      grid_->Model().rowCount() > 0 && listed != BoxSite() && listed < siteBox_->count();
  downloadButton_->setToolTip(other ? "下载列表中" + siteBox_->itemText(listed) + "的相册"
                                    : QString());
}

int CGallerixDlg::BoxSite() const {
  const int site = siteBox_->currentIndex();
  return site >= 0 && site < static_cast<int>(kSettingsSlots) ? site : 0;
}

void CGallerixDlg::DownloadClicked() {
  // A save folder that cannot be made is said once, with the system's reason, before the job
  // starts (an empty box is the job's own message).
  const QString folder = saveBox_->currentText().trimmed();
  QString reason;
  if (app_.nDownState.load() == DOWN_IDLE && !folder.isEmpty() && !MakeSaveFolder(folder, reason)) {
    Message(reason);
    return;
  }
  StartDownload();
}

void CGallerixDlg::AddressChanged() {
  if (siteBox_->count() == 0) return;
  const int current = siteBox_->currentIndex();
  const int index = RecognizeSite(addressBox_->currentText().toStdString(), current);
  if (index != current && index >= 0 && index < siteBox_->count()) {
    siteBox_->setCurrentIndex(index);
  }
  SiteChanged();
}

void CGallerixDlg::Browse() {
  const QString chosen =
      prompts_.pickFolder(this, "请选择文件保存目录：", saveBox_->currentText().trimmed());
  if (chosen.isEmpty()) return;
  const QString folder = WithSlash(chosen);
  saveBox_->setEditText(folder);
  if (RememberRecent(app_.settings, 1, folder.toStdString())) {
    saveBox_->AddItem(folder);
    SaveSettingsFile();
  }
}

void CGallerixDlg::OpenSaveFolder() {
  QString folder;
  {
    std::lock_guard lock(albumMutex_);
    if (poolRunning_ && Pool().running.load()) folder = Q(albumFolder_);
  }
  if (folder.isEmpty()) folder = saveBox_->currentText();
  if (!folder.isEmpty()) OpenWithDesktop(QUrl::fromLocalFile(folder));
}

void CGallerixDlg::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CGallerixDlg::dropEvent(QDropEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  if (!urls.isEmpty() && urls.front().isLocalFile()) TakeDroppedPath(urls.front().toLocalFile());
  event->acceptProposedAction();
}

void CGallerixDlg::TakeDroppedPath(const QString& path) {
  QString folder = path;
  // A file gives its folder. A path that exists says itself what it is (a folder may have a
  // dot in its name); otherwise a last "." after the last "/" marks a file.
  const QFileInfo info(path);
  const qsizetype slash = folder.lastIndexOf('/');
  const bool file = info.exists() ? !info.isDir() : slash < folder.lastIndexOf('.');
  if (file && slash >= 0) folder = folder.left(slash);
  folder = WithSlash(folder);
  if (folder.isEmpty()) return;
  saveBox_->setEditText(folder);
  if (RememberRecent(app_.settings, 1, folder.toStdString())) {
    saveBox_->AddItem(folder);
    SaveSettingsFile();
  }
}

void CGallerixDlg::SelectAllClicked(bool checked) { grid_->SelectAllAlbums(checked); }

void CGallerixDlg::PreviewClicked(bool checked) {
  // The switch's grid reset keeps the ticks and "全选": the rows coming back are ticked again.
  switchingView_ = true;
  const bool switched = runner_.SwitchView(checked);
  switchingView_ = false;
  if (switched) return;
  // Refused or a rebuild is running: the box keeps its previous state.
  const QSignalBlocker blocker(previewBox_);
  previewBox_->setChecked(!checked);
}

void CGallerixDlg::ShowFind() {
  if (!find_) {
    find_ = std::make_unique<CDlgFind>(this, [this](const QString& text) { Message(text); });
  }
  find_->ShowFor(grid_);
}

void CGallerixDlg::UpdateMenuMarks() {
  const uint16_t options = MenuRule().wOptions;
  for (const OptionItem& item : kOptionItems) {
    if (QAction* action = MenuAction(item.id)) action->setChecked((options & item.option) != 0);
  }
  if (QAction* taobao = MenuAction(ID_TAOBAO_MAIN)) {
    taobao->setEnabled(BoxSite() == SITE_TAOBAO);
  }
  if (QAction* force = MenuAction(ID_FORCE_DOWNLOAD)) force->setChecked(forceDownload_);
  if (QAction* failed = MenuAction(ID_FAILED_LIST)) {
    std::lock_guard lock(failuresMutex_);
    failed->setEnabled(!failures_.empty());
  }
}

void CGallerixDlg::MenuCommand(int id) {
  for (const OptionItem& item : kOptionItems) {
    if (item.id == id) {
      ToggleOption(item.option);
      return;
    }
  }
  for (const LoginItem& item : kLoginItems) {
    if (item.id != id) continue;
    QString address;
    if (item.family >= 0) {
      address = FamilyOf(item.family)->loginAddress;
    } else {
      address = item.address;
    }
    if (id == ID_LOGIN_QQ) {
      // The owner's page when the address box holds an account number.
      const QString typed = addressBox_->currentText().trimmed();
      if (AllDigits(typed)) address += typed;
    }
    OpenLoginAt(address);
    return;
  }
  switch (id) {
    case ID_DOWN_SET:
      RunDownSet();
      break;
    case ID_SAVE_SET:
      RunSaveSet();
      break;
    case ID_GUIDE:
    case ID_ENQUIRY:
    case ID_FEEDBACK:
      if (ReadmePath().isEmpty()) {
        Message("找不到使用说明（README.md）。");
      } else {
        OpenWithDesktop(QUrl::fromLocalFile(ReadmePath()));
      }
      break;
    case ID_FILES:
      if (!saveBox_->currentText().isEmpty()) {
        OpenWithDesktop(QUrl::fromLocalFile(saveBox_->currentText()));
      }
      break;
    case ID_VERSION:
      ShowAbout();
      break;
    case ID_FORCE_DOWNLOAD:
      forceDownload_ = !forceDownload_;
      break;
    case ID_FAILED_LIST:
      ShowFailedPictures();
      break;
    default:
      break;  // the import and export items
  }
}

void CGallerixDlg::StartDownload() {
  if (app_.nDownState.load() == DOWN_IDLE) {
    if (!archive_ && !archiveError_.empty()) {
      // Once: the download runs all the same, without resume.
      Message(Q(archiveError_));
      archiveError_.clear();
    }
    std::lock_guard lock(failuresMutex_);
    failures_.clear();
  }
  DownloadJobOptions options;
  options.archive = archive_.get();
  options.force = forceDownload_;
  options.config = app_.config;
  options.report = [this](const AlbumReport& album) {
    std::lock_guard lock(failuresMutex_);
    failures_.insert(failures_.end(), album.failures.begin(), album.failures.end());
  };
  runner_.Download(options);
}

std::vector<FailedPicture> CGallerixDlg::FailedPictures() {
  std::lock_guard lock(failuresMutex_);
  return failures_;
}

void CGallerixDlg::ShowFailedPictures() {
  CFailedDlg dialog(FailedPictures(), this);
  dialog.exec();
}

void CGallerixDlg::ToggleOption(uint16_t option) {
  MenuRule().wOptions ^= option;
  SaveSettingsFile();
}

void CGallerixDlg::RunDownSet() {
  CDlgDownSet dialog(
      app_.settings.DownParams[static_cast<size_t>(BoxSite())],
      [this](const QString& text) { Message(text); }, this, &app_.config);
  if (dialog.exec() == QDialog::Accepted) {
    SaveSettingsFile();
    SaveConfigFile();
    ApplyConfig(app_.config);
  }
}

void CGallerixDlg::RunSaveSet() {
  CDlgSaveSet dialog(MenuRule(), this);
  if (dialog.exec() == QDialog::Accepted) SaveSettingsFile();
}

void CGallerixDlg::OpenLoginAt(const QString& address) {
  // One login window at a time: a new login command replaces the open one.
  login_.reset();
  login_ = MakeLoginWindow(this, address);
  login_->show();
}

void CGallerixDlg::ShowAbout() {
  QMessageBox about(this);
  about.setWindowTitle("关于");
  about.setIconPixmap(AppIcon().pixmap(48, 48));
  about.setText(QString("版本号：") + ALBUMORA_VERSION);
  about.setInformativeText(QString(kTitle) +
                           "\n相册批量下载工具，与命令行 albumora 共用设置与 Cookie。");
  about.addButton("确定", QMessageBox::AcceptRole);
  about.exec();
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
  return OnWindow([this] { return addressBox_->currentText().toStdString(); });
}

std::string CGallerixDlg::SavePathText() {
  return OnWindow([this] { return saveBox_->currentText().toStdString(); });
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
        status1_->setText(text);
        break;
      case StatusLine::Progress:
        status2_->setText(text);
        if (!moveBar) break;
        progress_->setRange(0, std::max(total, 1));
        progress_->setValue(finished);
        progress_->setFormat(total > 0 ? "%v/%m" : "");
        break;
      case StatusLine::ListTitle:
        listFrame_->setTitle(text);
        break;
    }
  });
}

// Host: the jobs' forms.

void CGallerixDlg::SetListBusy(bool busy, bool downloadEnabled) {
  if (!busy) SaveCookies();
  OnWindow([&] {
    siteBox_->setEnabled(!busy);
    addressBox_->setEnabled(!busy);
    previewBox_->setEnabled(!busy);
    if (busy) {
      downloadButton_->setEnabled(false);
      selectAll_->setChecked(false);
      listButton_->setText("终止获取");
      notice_->hide();
    } else {
      downloadButton_->setEnabled(downloadEnabled);
      listButton_->setText("获取相册");
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
    downloadButton_->setText(busy ? "终止下载" : "下载");
    for (QWidget* control : std::initializer_list<QWidget*>{siteBox_, listButton_, browseButton_,
                                                            addressBox_, saveBox_}) {
      control->setEnabled(!busy);
    }
    if (!busy) {
      status1_->setText("下载完毕");
      status2_->setText("");
      progress_->setRange(0, 1);
      progress_->setValue(0);
      progress_->setFormat("");
      std::lock_guard lock(albumMutex_);
      poolRunning_ = false;
    }
  });
}

// Host: the grid.

void CGallerixDlg::GridReset(bool preview) {
  OnWindow([&] {
    if (!switchingView_) selectAll_->setChecked(false);
    grid_->Reset(preview, switchingView_);
  });
}

void CGallerixDlg::GridRowAdded(int row) {
  OnWindow([&] { grid_->RowAdded(row); });
}

void CGallerixDlg::GridCellChanged(int row, int column) {
  OnWindow([&] { grid_->CellChanged(row, column); });
}

void CGallerixDlg::GridFinished() {
  OnWindow([&] { grid_->viewport()->update(); });
}

// The cover is read and scaled on the calling thread; the window only stores it.
int CGallerixDlg::LoadThumbnail(const std::string& path) {
  QImageReader reader(Q(path));
  reader.setDecideFormatFromContent(true);
  const QImage image = reader.read();
  if (image.isNull()) return -1;
  const QImage thumbnail = image.scaled(GridModel::kThumbWidth, GridModel::kThumbHeight,
                                        Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  return OnWindow([&] { return grid_->Model().AddThumbnail(QPixmap::fromImage(thumbnail)); });
}

void CGallerixDlg::ClearThumbnails() {
  OnWindow([&] { grid_->Model().ClearThumbnails(); });
}

void CGallerixDlg::AddressRemembered(const std::string& text) {
  OnWindow([&] { addressBox_->AddItem(Q(text)); });
}

void CGallerixDlg::PoolFinished(long, long) {}

void CGallerixDlg::OpenFolder(const std::string& path) {
  OnWindow([&] {
    if (!closing_) OpenWithDesktop(QUrl::fromLocalFile(Q(path)));
  });
}

}  // namespace albumora::gui
