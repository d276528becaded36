// SPDX-License-Identifier: GPL-3.0-or-later
// albumora-gui: the window front end.
//
//   albumora-gui [--home DIR]
//   albumora-gui --demo [--screenshots DIR]
//   albumora-gui --login [URL] [--home DIR] [--proxy URL]
//   albumora-gui --help | --version
//
// --home names the program folder (settings soft.dat, cookies.txt, tmp/), shared with the
// command line. --demo serves the bundled sample site on loopback and opens the window on it,
// with a scratch program folder and the save path ./albumora-demo/. --screenshots (with --demo)
// lists the sample account, saves the window in list mode and in thumbnail mode as PNG files
// in DIR and quits (scripts/gui-screenshots.sh runs it under Xvfb). --login shows only the
// login window at URL (empty: the clipboard's text is offered) with the program folder's
// cookies, keeps cookies.txt up to date while it is open and ends when it is closed; `albumora
// login` runs it. --help and --version answer before Qt looks for a display; with no display
// at all the program says so in one line instead of letting Qt abort.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTranslator>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string_view>

#include "fs/ProgramFolder.h"
#include "gui/AlbumGrid.h"
#include "gui/AppIcon.h"
#include "gui/ComboBox2.h"
#include "gui/DemoServe.h"
#include "gui/GallerixDlg.h"
#include "gui/LoginWindow.h"
#include "net/CookieStore.h"
#include "net/HttpEngine.h"
#include "sites/Registry.h"
#include "text/StringCtrl.h"

namespace {

using albumora::gui::CGallerixDlg;

// The clipboard's text for the core; read on the window's thread.
std::string ReadClipboard() {
  QString text;
  auto read = [&text] { text = QGuiApplication::clipboard()->text(); };
  if (QThread::currentThread() == qApp->thread()) {
    read();
  } else {
    QMetaObject::invokeMethod(qApp, read, Qt::BlockingQueuedConnection);
  }
  return text.toStdString();
}

constexpr const char* kUsage =
    "usage: albumora-gui [--home DIR]\n"
    "       albumora-gui --demo [--screenshots DIR]\n"
    "       albumora-gui --login [URL] [--home DIR] [--proxy URL]\n"
    "       albumora-gui --help | --version\n";

int Usage() {
  std::cerr << kUsage;
  return 2;
}

int Help() {
  std::cout << "albumora-gui: the window of Albumora, downloads whole web photo albums in bulk.\n\n"
            << kUsage
            << "\n"
               "  --home DIR         the program folder (settings, cookies, download archive);\n"
               "                     shared with the command line albumora\n"
               "  --demo             open the window on the bundled sample site (loopback, no\n"
               "                     internet), with a scratch program folder\n"
               "  --screenshots DIR  with --demo: save the window as PNG files in DIR and quit\n"
               "  --login [URL]      only the login window, at URL; its cookies go to the\n"
               "                     program folder's cookies.txt\n"
               "  --proxy URL        send every request through this proxy\n"
               "  -h, --help         print this help and exit\n"
               "  -V, --version      print the version and exit\n"
               "\n"
               "The command line albumora does the same jobs without a window; see\n"
               "albumora-gui(1) and albumora(1).\n";
  return 0;
}

// --help and --version, found before Qt starts (the values of options that take one are
// skipped). Returns the exit status when one of them was given.
std::optional<int> AnswerWithoutWindow(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") return Help();
    if (arg == "--version" || arg == "-V") {
      std::cout << "albumora-gui " ALBUMORA_VERSION "\n";
      return 0;
    }
    if (arg == "--home" || arg == "--screenshots" || arg == "--proxy") ++i;
  }
  return std::nullopt;
}

// Whether Qt has anything to show the window on: a display of X11 or Wayland, or a platform
// named by QT_QPA_PLATFORM or -platform (offscreen, for the tests).
bool HasDisplay(int argc, char** argv) {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "-platform") return true;
  }
  return false;
}

// The screenshot run: list the sample account, tick two albums, save the window; switch to
// thumbnails, save it again; quit.
void TakeScreenshots(CGallerixDlg& window, const QString& folder) {
  auto* timer = new QTimer(&window);
  auto step = std::make_shared<int>(0);
  auto waited = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, &window, [&window, folder, timer, step, waited] {
    albumora::AppState& app = window.App();
    if (++*waited > 600) {
      std::cerr << "albumora-gui: the screenshots timed out" << std::endl;
      QApplication::exit(1);
      return;
    }
    switch (*step) {
      case 0:
        if (!window.Ready()) return;
        window.ListButton()->click();
        *step = 1;
        return;
      case 1:
        if (app.nListState.load() != albumora::LIST_IDLE || app.albumList.empty()) return;
        // Tick the first two albums; the ticks survive the switch to thumbnails.
        for (int row : {0, 1}) {
          window.Grid()->selectionModel()->select(
              window.Grid()->Model().index(row, 0),
              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
        *step = 2;
        return;
      case 2:
        window.grab().save(folder + "/window-list.png");
        window.PreviewBox()->click();
        *step = 3;
        return;
      case 3:
        if (app.nModeSwitch.load() != 0) return;
        *step = 4;
        return;
      case 4:
        window.grab().save(folder + "/window-thumbnails.png");
        timer->stop();
        QApplication::quit();
        return;
      default:
        return;
    }
  });
  timer->start(100);
}

// The login mode: the login window alone over the program folder's cookies.
int RunLogin(const QString& address, const QString& proxy) {
  albumora::CookieStore& store = albumora::CookieStore::Shared();
  const std::filesystem::path cookies = albumora::ProgramFile("cookies.txt");
  std::error_code error;
  if (std::filesystem::exists(cookies, error)) store.Load(cookies);
  if (!proxy.isEmpty()) albumora::SetEngineProxy(proxy.toStdString());
  {
    auto window = albumora::gui::MakeLoginWindow(nullptr, address);
    window->exec();
  }
  if (!store.Save(cookies)) {
    std::cerr << "albumora-gui: cannot write " << cookies.string() << std::endl;
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (const std::optional<int> answered = AnswerWithoutWindow(argc, argv)) return *answered;
  if (!HasDisplay(argc, argv)) {
    std::cerr << "albumora-gui: no display to show the window on (neither DISPLAY nor "
                 "WAYLAND_DISPLAY is set); the command line albumora works without one\n";
    return 1;
  }
  albumora::gui::PrepareBrowserProcess();
  QApplication application(argc, argv);
  QApplication::setApplicationName("Albumora");
  // Wayland matches the window to its desktop entry by this name.
  QGuiApplication::setDesktopFileName(ALBUMORA_APP_ID);
  // The browser's start-up report and the pages' console lines are not the person's business.
  QLoggingCategory::setFilterRules(
      "qt.webenginecontext.info=false\njs.debug=false\njs.info=false\n"
      "js.warning=false");
  QApplication::setWindowIcon(albumora::gui::AppIcon());
  // Qt's standard texts (the message boxes' buttons, the folder picker) in Chinese, like the
  // window's own.
  QTranslator qtTexts;
  if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), "qtbase", "_",
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtTexts);
  }

  bool demo = false;
  bool login = false;
  QString home;
  QString screenshots;
  QString loginAddress;
  QString proxy;
  const QStringList args = QApplication::arguments();
  for (qsizetype i = 1; i < args.size(); ++i) {
    if (args[i] == "--demo") {
      demo = true;
    } else if (args[i] == "--home" && i + 1 < args.size()) {
      home = args[++i];
    } else if (args[i] == "--screenshots" && i + 1 < args.size()) {
      screenshots = args[++i];
    } else if (args[i] == "--login") {
      login = true;
    } else if (args[i] == "--proxy" && i + 1 < args.size()) {
      proxy = args[++i];
    } else if (login && loginAddress.isEmpty() && !args[i].startsWith("-")) {
      loginAddress = args[i];
    } else {
      return Usage();
    }
  }
  if (!screenshots.isEmpty() && !demo) return Usage();
  if (login && demo) return Usage();

  // The demo keeps the person's own settings and cookies untouched.
  std::optional<QTemporaryDir> demoHome;
  if (demo) {
    demoHome.emplace();
    home = demoHome->path();
  }
  try {
    albumora::InitProgramFolder(home.toStdString());
  } catch (const std::filesystem::filesystem_error& failure) {
    QMessageBox::critical(nullptr, "Albumora", QString("程序目录不可用：") + failure.what());
    return 1;
  }
  if (login) {
    albumora::SetClipboardReader(ReadClipboard);
    const int status = RunLogin(loginAddress, proxy);
    albumora::SetClipboardReader(nullptr);
    return status;
  }
  if (!proxy.isEmpty()) albumora::SetEngineProxy(proxy.toStdString());

  std::unique_ptr<albumora::gui::DemoServer> server;
  albumora::gui::StartOptions options;
  if (demo) {
    std::string error;
    server = albumora::gui::DemoServer::Start(error);
    if (!server) {
      QMessageBox::critical(nullptr, "Albumora",
                            QString("示例网站无法启动：") + QString::fromStdString(error));
      return 1;
    }
    options.savePath = QDir::current().absoluteFilePath("albumora-demo") + "/";
    options.splash = screenshots.isEmpty();
  }

  albumora::SetClipboardReader(ReadClipboard);
  int status = 0;
  {
    CGallerixDlg window(albumora::SiteAdapters(), options);
    if (demo) window.AddressBox()->setEditText(albumora::gui::DemoServer::Account());
    window.Start();
    if (!screenshots.isEmpty()) {
      QDir().mkpath(screenshots);
      TakeScreenshots(window, screenshots);
    }
    status = QApplication::exec();
  }
  albumora::SetClipboardReader(nullptr);
  return status;
}
