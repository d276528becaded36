// The window against the loopback test web, on the offscreen platform: the whole road from a
// typed account to files on disk, a stop mid-album, and the window's own rules (start-up, the
// boxes, drag and drop, the preview switch, the menu's per-site options, the dialogs, the
// album search).
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <atomic>
#include <filesystem>
#include <memory>

#include "DemoSite.h"
#include "ScratchDir.h"
#include "TestWeb.h"
#include "download/Workers.h"
#include "fs/ProgramFolder.h"
#include "gui/AlbumGrid.h"
#include "gui/ComboBox2.h"
#include "gui/DlgFind.h"
#include "gui/GallerixDlg.h"
#include "gui/LoginWindow.h"
#include "gui/SettingsDialogs.h"
#include "model/Settings.h"
#include "net/HttpEngine.h"
#include "sites/Registry.h"
#include "text/StringCtrl.h"

using namespace albumora;
using namespace albumora::gui;
using albumora::testweb::ScratchDir;
using albumora::testweb::TestWeb;

namespace {

constexpr int kWaitMs = 60000;  // a bound for a hung test, not a speed assertion

std::string ReadClipboard() { return QGuiApplication::clipboard()->text().toStdString(); }

// What the window asked of the person, answered by the test.
struct Asked {
  QStringList messages;
  QStringList questions;
  QStringList logins;
  QList<QUrl> opened;
  QStringList answers;  // "yes"/"no" for the next questions; No when empty
  QString folder;       // the folder picker's answer
};

// One window on a scratch program folder, with the test's answers installed.
struct Window {
  explicit Window(StartOptions options = {}) {
    InitProgramFolder(home.Dir());
    options.splash = false;
    // The scratch folders are under the temporary folder, which start-up would refuse.
    if (options.currentDir.empty() && options.savePath.isEmpty()) {
      options.savePath = QString::fromStdString(save.Folder());
    }
    dialog = std::make_unique<CGallerixDlg>(SiteAdapters(), options);
    Prompts& prompts = dialog->prompts();
    prompts.message = [this](QWidget*, const QString& text, const QString&) {
      asked.messages.append(text);
    };
    prompts.question = [this](QWidget*, const QString& text, const QString&) {
      asked.questions.append(text);
      return !asked.answers.isEmpty() && asked.answers.takeFirst() == "yes";
    };
    prompts.login = [this](QWidget*, const QString& address) { asked.logins.append(address); };
    prompts.openUrl = [this](const QUrl& url) { asked.opened.append(url); };
    prompts.pickFolder = [this](QWidget*, const QString&) { return asked.folder; };
  }
  bool Start() {
    dialog->Start();
    return QTest::qWaitFor([this] { return dialog->Ready(); }, kWaitMs);
  }
  CGallerixDlg* operator->() const { return dialog.get(); }
  bool ListIdle() const { return dialog->App().nListState.load() == LIST_IDLE; }
  bool DownloadIdle() const { return dialog->App().nDownState.load() == DOWN_IDLE; }
  // The grid text of a list-mode view row and column.
  QString Text(int row, int column) const {
    return dialog->Grid()->Model().index(row, column).data().toString();
  }

  ScratchDir home{"gui-home"};
  ScratchDir save{"gui-save"};
  Asked asked;
  std::unique_ptr<CGallerixDlg> dialog;
};

// The sample site on loopback, the engine pointed at it, for one test.
struct Web {
  Web() {
    testweb::ServeDemoSite(web);
    SetEngineProxy(web.ProxyUrl());
    Pool().retryPauseSec = 0;
  }
  ~Web() {
    SetEngineProxy("");
    Pool().retryPauseSec = 1;
  }
  TestWeb web;
};

bool ListAccount(Window& window, const QString& account) {
  window->AddressBox()->setEditText(account);
  QTest::mouseClick(window->ListButton(), Qt::LeftButton);
  return QTest::qWaitFor([&] { return window.ListIdle(); }, kWaitMs);
}

// A click on a list-mode row's number cell flips its mark.
void ClickRow(Window& window, int row) {
  AlbumGridView* grid = window->Grid();
  const QRect cell = grid->visualRect(grid->Model().index(row, 1));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

}  // namespace

class GuiTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { SetClipboardReader(ReadClipboard); }
  void cleanupTestCase() { SetClipboardReader(nullptr); }

  void listsTicksAndDownloads();
};

void GuiTest::listsTicksAndDownloads() {
  Web web;
  Window window;
  QVERIFY(window.Start());
  QCOMPARE(window->windowTitle(), QString("Albumora 相册批量下载"));
  QCOMPARE(window->SiteBox()->count(), 15);
  QCOMPARE(window->SiteBox()->itemText(0), QString("QQ空间/腾讯微博"));
  QVERIFY(!window->DownloadButton()->isEnabled());

  QVERIFY(ListAccount(window, testweb::kDemoAccount));
  QVERIFY(window.asked.messages.isEmpty());
  QCOMPARE(window->Grid()->Model().rowCount(), 3);
  QCOMPARE(window.Text(0, 0), QString("0001"));
  QCOMPARE(window.Text(0, 1), QString("西湖"));
  QCOMPARE(window.Text(0, 2), QString("   3"));
  QCOMPARE(window.Text(2, 1), QString("家人"));
  QCOMPARE(window.Text(2, 3), QString("私密相册"));
  QCOMPARE(window->ListFrame()->title(), QString("相册列表(共3个)"));
  QCOMPARE(window->Status1()->text(), QString("获取相册列表完成，共3个"));
  QVERIFY(window->DownloadButton()->isEnabled());
  QVERIFY(window->AddressBox()->Items().contains(testweb::kDemoAccount));

  // Tick the first two albums: each click flips its row's mark.
  ClickRow(window, 0);
  ClickRow(window, 1);
  ClickRow(window, 2);
  ClickRow(window, 2);
  QCOMPARE(window->Grid()->Model().index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
  QCOMPARE(window->Grid()->Model().index(2, 0).data(Qt::CheckStateRole).toInt(),
           int(Qt::Unchecked));
  QCOMPARE(window->App().grid.SelectedAlbums(3), (std::vector<int>{0, 1}));

  QTest::mouseClick(window->DownloadButton(), Qt::LeftButton);
  QVERIFY(QTest::qWaitFor([&] { return window.DownloadIdle(); }, kWaitMs));
  QTRY_COMPARE_WITH_TIMEOUT(window->Status1()->text(), QString("下载完毕"), kWaitMs);
  QCOMPARE(window->DownloadButton()->text(), QString("下载"));
  QVERIFY(window->ListButton()->isEnabled());
  QVERIFY(window->SaveBox()->isEnabled());
  const std::filesystem::path owner = window.save.Dir() / testweb::kDemoAccount;
  QVERIFY(std::filesystem::is_directory(owner / "西湖"));
  QVERIFY(std::filesystem::is_directory(owner / "花园"));
  QVERIFY(!std::filesystem::exists(owner / "家人"));
  int files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(owner)) {
    if (entry.is_regular_file() && entry.path().filename() != "pic.zrk") ++files;
  }
  QCOMPARE(files, 5);
}

QTEST_MAIN(GuiTest)
#include "GuiTest.moc"
