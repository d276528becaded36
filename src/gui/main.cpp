// albumora-gui: the window front end.
//
//   albumora-gui [--home DIR]
//   albumora-gui --demo [--screenshots DIR]
//   albumora-gui --login [URL] [--home DIR] [--proxy URL]
//
// --home names the program folder (settings soft.dat, cookies.txt, tmp/), shared with the
// command line. --demo serves the bundled sample site on loopback and opens the window on it,
// with a scratch program folder and the save path ./albumora-demo/. --screenshots (with --demo)
// lists the sample account, saves the window in list mode and in thumbnail mode as PNG files
// in DIR and quits (scripts/gui-screenshots.sh runs it under Xvfb). --login shows only the
// login window at URL (empty: the clipboard's text is offered) with the program folder's
// cookies, keeps cookies.txt up to date while it is open and ends when it is closed; `albumora
// login` runs it.
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
#include <filesystem>
#include <iostream>
#include <optional>

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

int Usage() {
  std::cerr << "usage: albumora-gui [--home DIR]\n"
               "       albumora-gui --demo [--screenshots DIR]\n"
               "       albumora-gui --login [URL] [--home DIR] [--proxy URL]\n";
  return 2;
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
  albumora::gui::PrepareBrowserProcess();
  QApplication application(argc, argv);
  QApplication::setApplicationName("Albumora");
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
