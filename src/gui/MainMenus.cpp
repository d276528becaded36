// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/MainMenus.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

#include "gui/AppIcon.h"
#include "gui/CheckDlg.h"
#include "gui/FailedDlg.h"
#include "gui/LoginWindow.h"
#include "gui/SettingsDialogs.h"
#include "model/AppState.h"
#include "sites/Registry.h"

#ifndef ALBUMORA_VERSION
#error "ALBUMORA_VERSION comes from the project version in CMakeLists.txt"
#endif
#ifndef ALBUMORA_SOURCE_README
#define ALBUMORA_SOURCE_README ""
#endif

namespace albumora::gui {

namespace {

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

bool AllDigits(const QString& text) {
  if (text.isEmpty()) return false;
  for (QChar c : text) {
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
  }
  return true;
}

// The project's README: installed beside the program, else the source tree's.
QString ReadmePath() {
  const QString installed =
      QCoreApplication::applicationDirPath() + "/../share/doc/albumora/README.md";
  if (QFileInfo::exists(installed)) return QFileInfo(installed).canonicalFilePath();
  return ALBUMORA_SOURCE_README;
}

}  // namespace

MainMenus::MainMenus(QMainWindow& window, AppState& app, MenuNeeds needs)
    : window_(window), app_(app), needs_(std::move(needs)) {
  Build();
}

MainMenus::~MainMenus() = default;

void MainMenus::Build() {
  QMenuBar* bar = window_.menuBar();
  auto add = [this](QMenu* menu, int id, const QString& caption, bool checkable = false) {
    QAction* action = menu->addAction(caption);
    action->setCheckable(checkable);
    actions_[id] = action;
    connect(action, &QAction::triggered, this, [this, id] { Command(id); });
    return action;
  };
  QMenu* login = bar->addMenu("<登录>");
  for (const LoginItem& item : kLoginItems) add(login, item.id, item.caption);

  settings_ = bar->addMenu("<设置>");
  add(settings_, ID_DOWN_SET, "下载参数设置");
  add(settings_, ID_SAVE_SET, "文件名设置");
  for (size_t i = 0; i < std::size(kOptionItems); ++i) {
    // Separators before "只生成迅雷下载列表", "修正图片顺序" and "只下载淘宝宝贝主图".
    if (i == 0 || i == 2 || i == 6) settings_->addSeparator();
    add(settings_, kOptionItems[i].id, kOptionItems[i].caption, true);
  }

  // The import and export items are kept without action.
  QMenu* files = bar->addMenu("<导入/导出>");
  add(files, ID_IMPORT, "导入下载文件并开始下载");
  files->addSeparator();
  add(files, ID_EXPORT_DOWN, "导出下载文件");
  add(files, ID_EXPORT_THUNDER, "导出迅雷下载列表");

  settings_->addSeparator();
  add(settings_, ID_FORCE_DOWNLOAD, "重新下载全部图片（不跳过已下载的）", true);

  QMenu* tools = bar->addMenu("<辅助功能>");
  add(tools, ID_FILES, "文件处理");
  add(tools, ID_FAILED_LIST, "失败的图片");

  QAction* spacer = bar->addAction(QString(13, QLatin1Char(' ')));
  spacer->setEnabled(false);

  QMenu* help = bar->addMenu("<帮助>");
  // One guide: the README holds the use, the questions and where to report a problem.
  add(help, ID_GUIDE, "使用说明");
  // Whether the site of the address in the box still reads its pages.
  add(help, ID_CHECK_SITE, "检查网站");
  help->addSeparator();
  add(help, ID_VERSION, "版本信息");

  for (QMenu* menu : {login, settings_, files, tools, help}) {
    connect(menu, &QMenu::aboutToShow, this, [this] { UpdateMarks(); });
  }
}

QAction* MainMenus::Action(int id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

void MainMenus::UpdateMarks() {
  const uint16_t options = app_.settings.NameRules[static_cast<size_t>(needs_.site())].wOptions;
  for (const OptionItem& item : kOptionItems) {
    if (QAction* action = Action(item.id)) action->setChecked((options & item.option) != 0);
  }
  if (QAction* taobao = Action(ID_TAOBAO_MAIN)) taobao->setEnabled(needs_.site() == SITE_TAOBAO);
  if (QAction* force = Action(ID_FORCE_DOWNLOAD)) force->setChecked(force_);
  if (QAction* failed = Action(ID_FAILED_LIST)) failed->setEnabled(!needs_.failures().empty());
}

void MainMenus::Command(int id) {
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
      const QString typed = needs_.address().trimmed();
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
      if (ReadmePath().isEmpty()) {
        needs_.message("找不到使用说明（README.md）。");
      } else {
        needs_.open(QUrl::fromLocalFile(ReadmePath()));
      }
      break;
    case ID_FILES:
      if (!needs_.savePath().isEmpty()) needs_.open(QUrl::fromLocalFile(needs_.savePath()));
      break;
    case ID_VERSION:
      ShowAbout();
      break;
    case ID_CHECK_SITE: {
      const QString typed = needs_.address().trimmed();
      if (typed.isEmpty()) {
        needs_.message("请先输入要检查的网址或账号。");
      } else {
        OpenCheckDialog(&window_, needs_.site(), typed.toStdString(), app_.settings, app_.config);
      }
      break;
    }
    case ID_FORCE_DOWNLOAD:
      force_ = !force_;
      break;
    case ID_FAILED_LIST:
      ShowFailed();
      break;
    default:
      break;  // the import and export items
  }
}

void MainMenus::ToggleOption(uint16_t option) {
  app_.settings.NameRules[static_cast<size_t>(needs_.site())].wOptions ^= option;
  needs_.saveSettings();
}

void MainMenus::RunDownSet() {
  CDlgDownSet dialog(app_.settings.DownParams[static_cast<size_t>(needs_.site())], needs_.message,
                     &window_, &app_.config);
  if (dialog.exec() == QDialog::Accepted) {
    needs_.saveSettings();
    needs_.configChanged();
  }
}

void MainMenus::RunSaveSet() {
  CDlgSaveSet dialog(app_.settings.NameRules[static_cast<size_t>(needs_.site())], &window_);
  if (dialog.exec() == QDialog::Accepted) needs_.saveSettings();
}

void MainMenus::OpenLoginAt(const QString& address) {
  // One login window at a time: a new login command replaces the open one.
  login_.reset();
  login_ = MakeLoginWindow(&window_, address);
  login_->show();
}

void MainMenus::ShowAbout() {
  QMessageBox about(&window_);
  about.setWindowTitle("关于");
  about.setIconPixmap(AppIcon().pixmap(48, 48));
  about.setText(QString("版本号：") + ALBUMORA_VERSION);
  about.setInformativeText(window_.windowTitle() +
                           "\n相册批量下载工具，与命令行 albumora 共用设置与 Cookie。");
  about.addButton("确定", QMessageBox::AcceptRole);
  about.exec();
}

void MainMenus::ShowFailed() {
  CFailedDlg dialog(needs_.failures(), &window_);
  dialog.exec();
}

}  // namespace albumora::gui
