// SPDX-License-Identifier: GPL-3.0-or-later
// The menu bar and the dialogs it opens: the login items (one login window at a time), the
// settings dialogs and the per-site option switches of the site box's slot, the tools
// ("文件处理", "失败的图片"), help and the about box.
//
// The option items' check marks are set from the site box's slot each time a drop-down opens.
#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "gui/FailedDlg.h"

class QAction;
class QMainWindow;
class QMenu;

namespace albumora {
struct AppState;
}

namespace albumora::gui {

class CDlgWebOpen;

// Menu command ids.
enum MenuId : int {
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
  ID_CHECK_SITE = 32815,
};

// What the menus need of the window.
struct MenuNeeds {
  std::function<int()> site;          // the site box's slot
  std::function<QString()> address;   // the address box's text
  std::function<QString()> savePath;  // the save box's text
  std::function<std::vector<FailedRow>()> failures;
  std::function<void()> saveSettings;   // soft.dat
  std::function<void()> configChanged;  // albumora.toml edited: save and apply it
  std::function<void(const QString&)> message;
  std::function<void(const QUrl&)> open;  // with the desktop
};

class MainMenus : public QObject {
 public:
  MainMenus(QMainWindow& window, AppState& app, MenuNeeds needs);
  ~MainMenus() override;

  QAction* Action(int id) const;
  QMenu* SettingsMenu() const { return settings_; }
  CDlgWebOpen* LoginWindow() const { return login_.get(); }
  // "重新下载全部图片": the next download fetches what the archive has too.
  bool ForceDownload() const { return force_; }

  void Command(int id);
  // Before a drop-down opens: the option items' check marks.
  void UpdateMarks();

 private:
  void Build();
  void ToggleOption(uint16_t option);
  void RunDownSet();
  void RunSaveSet();
  void OpenLoginAt(const QString& address);
  void ShowAbout();
  void ShowFailed();

  QMainWindow& window_;
  AppState& app_;
  MenuNeeds needs_;
  bool force_ = false;
  QMenu* settings_ = nullptr;
  std::map<int, QAction*> actions_;
  std::unique_ptr<CDlgWebOpen> login_;
};

}  // namespace albumora::gui
