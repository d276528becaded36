// SPDX-License-Identifier: GPL-3.0-or-later
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
#include <fstream>
#include <memory>

#include <QTableWidget>
#include "DemoSite.h"
#include "ScratchDir.h"
#include "TestWeb.h"
#include "download/Workers.h"
#include "fs/ProgramFolder.h"

#include "gui/AlbumGrid.h"
#include "gui/ArchiveNote.h"
#include "gui/ChineseTexts.h"
#include "gui/ComboBox2.h"
#include "gui/DlgFind.h"
#include "gui/FailedDlg.h"
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
  QStringList notes;  // the notes that hold nothing up
  QStringList questions;
  QStringList logins;
  QList<QUrl> opened;
  QStringList answers;  // "yes"/"no" for the next questions; No when empty
  QString folder;       // the folder picker's answer
  QString pickedFrom;   // the folder the picker opened at
};

// One window on a scratch program folder, with the test's answers installed.
struct Window {
  // The program folder is a scratch folder of the window's own, or the one given.
  explicit Window(StartOptions options = {}, const Adapters& adapters = SiteAdapters(),
                  const std::string& programFolder = {}) {
    InitProgramFolder(programFolder.empty() ? home.Path() : programFolder);
    options.splash = false;
    // The scratch folders are under the temporary folder, which start-up would refuse.
    if (options.currentDir.empty() && options.savePath.isEmpty()) {
      options.savePath = QString::fromStdString(save.Folder());
    }
    dialog = std::make_unique<CGallerixDlg>(adapters, options);
    Prompts& prompts = dialog->prompts();
    prompts.message = [this](QWidget*, const QString& text, const QString&) {
      asked.messages.append(text);
    };
    prompts.note = [this](QWidget*, const QString& text) { asked.notes.append(text); };
    prompts.question = [this](QWidget*, const QString& text, const QString&) {
      asked.questions.append(text);
      return !asked.answers.isEmpty() && asked.answers.takeFirst() == "yes";
    };
    prompts.login = [this](QWidget*, const QString& address) { asked.logins.append(address); };
    prompts.openUrl = [this](const QUrl& url) {
      asked.opened.append(url);
      return true;
    };
    prompts.pickFolder = [this](QWidget*, const QString&, const QString& start) {
      asked.pickedFrom = start;
      return asked.folder;
    };
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

// Albums without a site: "http://names.test/A,B,C" lists albums of those names;
// "http://covers.test/N" lists N albums whose covers are on that host.
class MadeUpAlbums : public Adapters {
 public:
  ListPlan Plan(int, const std::string& addr) const override { return OneCall(LT_NONE, addr); }
  AlbumListFn AlbumList(int, int) const override { return &Publish; }
  PictureListFn PictureList(int, int) const override { return nullptr; }

 private:
  static void Publish(const std::string& address, ListContext& list) {
    const std::string names = "http://names.test/";
    const std::string covers = "http://covers.test/";
    std::vector<std::string> made;
    std::vector<std::string> coverOf;
    if (address.rfind(names, 0) == 0) {
      SplitBy(made, "," + address.substr(names.size()), ",");
      if (!made.empty()) made.erase(made.begin());  // the pieces after the first
    } else if (address.rfind(covers, 0) == 0) {
      const int count = std::stoi(address.substr(covers.size()));
      for (int i = 0; i < count; ++i) {
        made.push_back("相册" + std::to_string(i + 1));
        coverOf.push_back(covers + "cover/" + std::to_string(i + 1) + ".jpg");
      }
    }
    for (size_t i = 0; i < made.size(); ++i) {
      ST_PERLISTRECORD album;
      album.strName = made[i];
      album.strCover = i < coverOf.size() ? coverOf[i] : std::string();
      album.nCount = static_cast<int32_t>(i);
      if (!list.Publish(album)) return;
    }
  }
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
  void failedPicturesAreListedAndRetried();
  void stopsADownloadMidAlbum();
  void closingDuringADownloadWaitsForItsEnd();
  void startUpTakesClipboardAndSavePath();
  void addressBoxSuggestsInLowerCase();
  void droppedFileGivesItsFolder();
  void previewSwitchAsksBeforeStopping();
  void menuOptionsBelongToTheSite();
  void loginItemsOpenTheirPages();
  void downloadSettingsAreValidated();
  void nameSettingsAreStored();
  void searchFindsAndWraps();
  void transferSettingsAreStored();
  void addressBoxPicksAndEnters();
  void ticksSurviveViewSwitchAndSearch();
  void listKeepsItsSite();
  void nameColumnTakesTheWidth();
  void typedSavePathIsKept();
  void waitLineGoesWhenTheWaitEnds();
  void failedListSurvivesARestart();
  void noEnglishInTheWindowsTexts();
  void damagedArchiveIsToldInANote();
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
  // The end always counts what was written.
  QTRY_COMPARE_WITH_TIMEOUT(window->Status1()->text(), QString("下载完毕：写入 5/5"), kWaitMs);
  QCoreApplication::processEvents();                // the job's last status lines
  QCOMPARE(window->Progress()->text(), QString());  // not "0/2"
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

// A slow album: the stop button ends the download between pictures, the window returns to its
// idle form, the album keeps what landed and gets no marker.
void GuiTest::failedPicturesAreListedAndRetried() {
  Web web;
  testweb::ServeBenchAlbum(web.web, 6, 2000, 0);
  Window window;
  QVERIFY(window.Start());
  QVERIFY(ListAccount(window, "20002"));
  ClickRow(window, 0);
  window->App().Down().wMaxKB = 1;  // every 2000-byte picture is refused
  QTest::mouseClick(window->DownloadButton(), Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(window->Status1()->text(), QString("下载完毕：写入 0/6，失败 6"),
                            kWaitMs);
  QVERIFY(QTest::qWaitFor([&] { return window.DownloadIdle(); }, kWaitMs));
  const std::vector<FailedRow> failed = window->FailedRows();
  QCOMPARE(failed.size(), size_t{6});
  // The full-size address, then its preview as the fallback: what each gave.
  QCOMPARE(failed[0].tried.size(), size_t{2});
  QVERIFY(failed[0].tried[0].address != failed[0].tried[1].address);
  for (const FailedAttempt& attempt : failed[0].tried) {
    QVERIFY2(attempt.result.startsWith("大小不在设置的范围内（"), qPrintable(attempt.result));
  }
  CFailedDlg dialog(failed, window.dialog.get());
  QCOMPARE(dialog.Table()->rowCount(), 6);
  window->UpdateMenuMarks();
  QVERIFY(window->MenuAction(ID_FAILED_LIST)->isEnabled());

  // "下载" again fetches what failed; a third press finds everything there.
  window->App().Down().wMaxKB = 0;
  web.web.ClearRequests();
  QTest::mouseClick(window->DownloadButton(), Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(window->Status1()->text(), QString("下载完毕：写入 6/6"), kWaitMs);
  QVERIFY(QTest::qWaitFor([&] { return window.DownloadIdle(); }, kWaitMs));
  QCOMPARE(web.web.RequestsTo(".jpg").size(), size_t{6});
  QVERIFY(window->FailedRows().empty());
  web.web.ClearRequests();
  QTest::mouseClick(window->DownloadButton(), Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(window->Status1()->text(), QString("下载完毕：写入 0/6，已有 6"),
                            kWaitMs);
  QVERIFY(QTest::qWaitFor([&] { return window.DownloadIdle(); }, kWaitMs));
  QCOMPARE(web.web.RequestsTo(".jpg").size(), size_t{0});
}

void GuiTest::stopsADownloadMidAlbum() {
  Web web;
  testweb::BenchAccount shape;
  shape.albums = 3;
  shape.everyAlbum = true;
  shape.pictures = 40;
  shape.bytes = 2000;
  shape.delayMs = 150;
  testweb::ServeBenchAccount(web.web, shape);
  Window window;
  QVERIFY(window.Start());
  QVERIFY(ListAccount(window, "20002"));
  QCOMPARE(window->Grid()->Model().rowCount(), 3);
  for (int row : {0, 1, 2}) ClickRow(window, row);
  window->App().Down().wThreads = 2;
  const QRect frameAt = window->ListFrame()->geometry();

  QTest::mouseClick(window->DownloadButton(), Qt::LeftButton);
  QTRY_COMPARE_WITH_TIMEOUT(window->DownloadButton()->text(), QString("终止下载"), kWaitMs);
  QVERIFY(!window->ListButton()->isEnabled());
  QVERIFY(!window->AddressBox()->isEnabled());
  // The progress bar counts the album's pictures.
  QTRY_VERIFY_WITH_TIMEOUT(window->Progress()->value() >= 2, kWaitMs);
  QCOMPARE(window->Progress()->maximum(), 40);
  // The album shown is marked in the grid, the others not.
  // The status lines filling up move nothing above them.
  QTRY_VERIFY_WITH_TIMEOUT(!window->Status2()->text().isEmpty(), kWaitMs);
  QCOMPARE(window->ListFrame()->geometry(), frameAt);
  AlbumGridModel& rows = window->Grid()->Model();
  QVERIFY(rows.index(0, 1).data(Qt::BackgroundRole).isValid());
  QVERIFY(!rows.index(2, 1).data(Qt::BackgroundRole).isValid());
  QTest::mouseClick(window->DownloadButton(), Qt::LeftButton);
  QVERIFY(QTest::qWaitFor([&] { return window.DownloadIdle(); }, kWaitMs));
  // The end says the job was stopped and what was written of all the pictures ticked, the
  // albums the stop kept from being read included.
  QTRY_VERIFY_WITH_TIMEOUT(window->Status1()->text().startsWith("下载已停止：写入 "), kWaitMs);
  QVERIFY2(window->Status1()->text().endsWith("/120"), qPrintable(window->Status1()->text()));
  QCOMPARE(window->DownloadButton()->text(), QString("下载"));
  QCoreApplication::processEvents();
  QCOMPARE(window->Progress()->text(), QString());  // not "0/40"

  const std::filesystem::path album = window.save.Dir() / "20002" / "bench";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(album)) {
    if (entry.is_regular_file()) ++files;
  }
  QVERIFY(files >= 2);
  QVERIFY(files < 40);
  QVERIFY(!std::filesystem::exists(album / "pic.zrk"));
  // Albums read ahead that got no picture leave no empty folder.
  for (const char* other : {"bench00002", "bench00003"}) {
    const std::filesystem::path folder = window.save.Dir() / "20002" / other;
    QVERIFY(!std::filesystem::exists(folder) || !std::filesystem::is_empty(folder));
  }
  QVERIFY(!rows.index(0, 1).data(Qt::BackgroundRole).isValid());
}

// The window owns the job's threads: closing it mid-download stops the job and waits for it,
// so nothing runs on after the records are gone.
void GuiTest::closingDuringADownloadWaitsForItsEnd() {
  Web web;
  testweb::ServeBenchAlbum(web.web, 40, 2000, 150);
  Window window;
  QVERIFY(window.Start());
  QVERIFY(ListAccount(window, "20002"));
  ClickRow(window, 0);
  window->App().Down().wThreads = 2;
  QTest::mouseClick(window->DownloadButton(), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(Pool().finished.load() >= 2, kWaitMs);
  QVERIFY(window->Runner().Running());

  // Closing asks first: No keeps the download, Yes stops it and waits for its end.
  QVERIFY(!window->close());
  QCOMPARE(window.asked.questions, QStringList{"正在下载，确定退出？"});
  QVERIFY(window->Runner().Running());
  window.asked.answers = {"yes"};
  QVERIFY(window->close());
  QVERIFY(!window->Runner().Running());
  QCOMPARE(int(window->App().nDownState.load()), int(DOWN_IDLE));
  QVERIFY(!Pool().running.load());
  window.dialog.reset();
}

void GuiTest::startUpTakesClipboardAndSavePath() {
  ScratchDir documents("gui-docs");
  // A clipboard text of 199 characters is proposed as the address; one of 200 is not.
  QGuiApplication::clipboard()->setText(QString(199, QLatin1Char('7')));
  {
    Window window;
    QCOMPARE(window->AddressBox()->currentText(), QString(199, QLatin1Char('7')));
  }
  QGuiApplication::clipboard()->setText("  " + QString(200, QLatin1Char('7')) + "  ");
  {
    Window window;
    QCOMPARE(window->AddressBox()->currentText(), QString());
  }
  QGuiApplication::clipboard()->clear();

  // A program started from a temporary folder proposes the documents folder's Albumora folder
  // (not made before a download needs it); any other folder is proposed as it is.
  const QString docs = QString::fromStdString(documents.Path());
  QCOMPARE(ProposedSavePath("/var/TMP/unpacked", docs), docs + "/Albumora/");
  QVERIFY(!QFileInfo::exists(docs + "/Albumora"));
  QCOMPARE(ProposedSavePath("/home/someone/Temp/x", docs), docs + "/Albumora/");
  QCOMPARE(ProposedSavePath("/home/someone/Pictures", docs), QString("/home/someone/Pictures/"));

  StartOptions options;
  options.currentDir = "/tmp/unpacked";
  options.documentsDir = docs;
  {
    Window window(options);
    QCOMPARE(window->SaveBox()->currentText(), docs + "/Albumora/");
  }
  // A recent save path wins over the proposal.
  ScratchDir home("gui-home");
  SettingsRecord record;
  SetField(record.recentDir[0], "/srv/albums/");
  QVERIFY(SaveSettings(record, home.Dir() / "soft.dat"));
  Window window(options, SiteAdapters(), home.Path());
  QCOMPARE(window->SaveBox()->currentText(), QString("/srv/albums/"));
  QVERIFY(window->SaveBox()->Items().contains("/srv/albums/"));
}

void GuiTest::addressBoxSuggestsInLowerCase() {
  Window window;
  QVERIFY(window.Start());
  CComboBox2* box = window->AddressBox();
  box->AddItem("QQ空间");
  box->AddItem("http://example.com/pages/QQ");
  box->AddItem("http://example.com/other");
  box->AddItem(QString("http://example.com/hidden") + CComboBox2::kMarker + "QQ");
  box->setEditText("");
  box->setFocus();
  QTest::keyClicks(box->lineEdit(), "qq");
  QCOMPARE(box->Suggestions(),
           (QStringList{"qq空间", "http://example.com/pages/qq", "http://example.com/hidden"}));
  QVERIFY(box->SuggestionsShown());
  // The drop-down itself lists every item, sorted.
  QCOMPARE(box->count(), 4);
  QCOMPARE(box->itemText(0), QString("QQ空间"));
  QCOMPARE(box->itemText(1), QString("http://example.com/hidden"));
}

void GuiTest::droppedFileGivesItsFolder() {
  Window window;
  QVERIFY(window.Start());
  const std::filesystem::path pics = window.save.Dir() / "pics";
  const std::filesystem::path dotted = window.save.Dir() / "trip.2012";
  std::filesystem::create_directories(pics);
  std::filesystem::create_directories(dotted);
  { std::ofstream(pics / "a.jpg") << "x"; }

  // The folder picker opens at the save path.
  window->SaveBox()->setEditText(QString::fromStdString(pics.string()));
  window->Browse();
  QCOMPARE(window.asked.pickedFrom, QString::fromStdString(pics.string()));

  window->TakeDroppedPath(QString::fromStdString((pics / "a.jpg").string()));
  const QString folder = QString::fromStdString(pics.string()) + "/";
  QCOMPARE(window->SaveBox()->currentText(), folder);
  QVERIFY(window->SaveBox()->Items().contains(folder));
  SettingsRecord saved;
  LoadSettings(saved, ProgramFile("soft.dat"));
  QCOMPARE(QString::fromStdString(FieldText(saved.recentDir[0])), folder);

  // A folder whose name has a dot stays that folder; a path that does not exist is read by
  // its last "/" and ".".
  window->TakeDroppedPath(QString::fromStdString(dotted.string()));
  QCOMPARE(window->SaveBox()->currentText(), QString::fromStdString(dotted.string()) + "/");
  window->TakeDroppedPath("/nowhere/pics/b.jpg");
  QCOMPARE(window->SaveBox()->currentText(), QString("/nowhere/pics/"));
  // A save folder that cannot be made: one message with the folder and the system's reason.
  const QString blocked = QString::fromStdString((pics / "a.jpg" / "sub").string());
  window->SaveBox()->setEditText(blocked);
  window->DownloadClicked();
  QCOMPARE(window.asked.messages.size(), 1);
  QVERIFY(window.asked.messages[0].startsWith("无法创建保存路径：" + blocked + "\n"));
  QVERIFY(window.DownloadIdle());
  // A path of 400 characters is shown but not remembered.
  const QString longPath = "/" + QString(398, QLatin1Char('d'));
  window->TakeDroppedPath(longPath);
  QCOMPARE(window->SaveBox()->currentText(), longPath + "/");
  QVERIFY(!window->SaveBox()->Items().contains(longPath + "/"));
}

// The rebuild of the grid for thumbnails loads each cover: a second click while it runs asks
// whether to stop. No: the box keeps the first click's state and the rebuild goes on. Yes: the
// rebuild stops with the grid half filled.
void GuiTest::previewSwitchAsksBeforeStopping() {
  Web web;
  const std::string cover = testweb::Fixture("demo/lake.jpg");
  web.web.RoutePrefix("covers.test", "/cover/", [cover](const testweb::Request&) {
    testweb::Reply reply = testweb::Reply::Text(cover, "image/jpeg");
    reply.stallMs = 250;
    return reply;
  });
  MadeUpAlbums adapters;
  Window window({}, adapters);
  QVERIFY(window.Start());
  QVERIFY(ListAccount(window, "http://covers.test/10"));
  QCOMPARE(window->Grid()->Model().rowCount(), 10);

  QCheckBox* preview = window->PreviewBox();
  QTest::mouseClick(preview, Qt::LeftButton);
  QVERIFY(preview->isChecked());
  window.asked.answers = {"no"};
  QTest::mouseClick(preview, Qt::LeftButton);
  QCOMPARE(window.asked.questions, QStringList{"模式转换未完成,是否中断?"});
  QVERIFY(preview->isChecked());
  QVERIFY(QTest::qWaitFor([&] { return window->App().nModeSwitch.load() == 0; }, kWaitMs));
  AlbumGridModel& model = window->Grid()->Model();
  QCOMPARE(model.rowCount(), 2);  // 10 covers in rows of 6
  QCOMPARE(model.index(1, 3).data().toString(), QString("10.相册10"));
  QVERIFY(!model.index(1, 4).flags().testFlag(Qt::ItemIsSelectable));
  QVERIFY(model.index(0, 0).data(Qt::DecorationRole).value<QPixmap>().size() ==
          QSize(GridModel::kThumbWidth, GridModel::kThumbHeight));
  QCOMPARE(model.index(0, 1).data(Qt::ToolTipRole).toString(), QString("2.相册2"));

  // A new list clears the thumbnails: the next switch fetches the covers again.
  QTest::mouseClick(preview, Qt::LeftButton);
  QVERIFY(QTest::qWaitFor([&] { return window->App().nModeSwitch.load() == 0; }, kWaitMs));
  QVERIFY(!preview->isChecked());
  QVERIFY(ListAccount(window, "http://covers.test/10"));
  QTest::mouseClick(preview, Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(model.rowCount() >= 1, kWaitMs);  // the rebuild has begun
  window.asked.answers = {"yes"};
  QTest::mouseClick(preview, Qt::LeftButton);
  QVERIFY(preview->isChecked());
  QVERIFY(QTest::qWaitFor([&] { return window->App().nModeSwitch.load() == 0; }, kWaitMs));
  int shown = 0;
  for (int row = 0; row < model.rowCount(); ++row) {
    for (int column = 0; column < model.columnCount(); ++column) {
      if (!model.index(row, column).data().toString().isEmpty()) ++shown;
    }
  }
  QVERIFY(shown >= 1);
  QVERIFY(shown < 10);
}

void GuiTest::menuOptionsBelongToTheSite() {
  Window window;
  QVERIFY(window.Start());
  window->SiteBox()->setCurrentIndex(SITE_RENREN);
  window->MenuAction(ID_FIX_FORMAT)->trigger();
  QVERIFY(window->App().settings.NameRules[SITE_RENREN].wOptions & OPT_FIX_FORMAT);
  QVERIFY(!(window->App().settings.NameRules[SITE_SINA].wOptions & OPT_FIX_FORMAT));
  window->UpdateMenuMarks();
  QVERIFY(window->MenuAction(ID_FIX_FORMAT)->isChecked());
  QVERIFY(!window->MenuAction(ID_TAOBAO_MAIN)->isEnabled());

  window->SiteBox()->setCurrentIndex(SITE_SINA);
  window->UpdateMenuMarks();
  QVERIFY(!window->MenuAction(ID_FIX_FORMAT)->isChecked());
  window->SiteBox()->setCurrentIndex(SITE_TAOBAO);
  window->UpdateMenuMarks();
  QVERIFY(window->MenuAction(ID_TAOBAO_MAIN)->isEnabled());

  // Each toggle is saved at once.
  SettingsRecord saved;
  LoadSettings(saved, ProgramFile("soft.dat"));
  QVERIFY(saved.NameRules[SITE_RENREN].wOptions & OPT_FIX_FORMAT);
  // A recognised address selects its site, and with it the slot the menu shows.
  window->AddressBox()->setEditText("http://www.renren.com/12345/profile");
  QCOMPARE(window->SiteBox()->currentIndex(), int(SITE_RENREN));
  window->UpdateMenuMarks();
  QVERIFY(window->MenuAction(ID_FIX_FORMAT)->isChecked());
  // The import and export items do nothing.
  window->MenuAction(ID_IMPORT)->trigger();
  QVERIFY(window.asked.messages.isEmpty());
  QVERIFY(window.asked.opened.isEmpty());
}

void GuiTest::loginItemsOpenTheirPages() {
  Web web;  // the login window's browser loads the pages from the test web
  Window window;
  QVERIFY(window.Start());
  window->AddressBox()->setEditText("12345");
  window->MenuAction(ID_LOGIN_QQ)->trigger();
  QPointer<LoginWindow> first = window->OpenLoginWindow();
  QVERIFY(first);
  QCOMPARE(first->Address(), QString("http://user.qzone.qq.com/12345"));
  window->AddressBox()->setEditText("http://user.qzone.qq.com/12345");
  window->MenuAction(ID_LOGIN_QQ)->trigger();
  QVERIFY(!first);  // replaced
  QCOMPARE(window->OpenLoginWindow()->Address(), QString("http://user.qzone.qq.com/"));
  window->MenuAction(ID_LOGIN_MOKO)->trigger();
  QCOMPARE(window->OpenLoginWindow()->Address(),
           QString("http://www.moko.cc/jsps/common/login.jsp?tourl=http%3A//www.moko.cc/"));
  window->MenuAction(ID_LOGIN_TWEIBO)->trigger();
  QCOMPARE(window->OpenLoginWindow()->Address(), QString("http://t.qq.com/"));
  QGuiApplication::clipboard()->setText("http://example.com/page");
  window->MenuAction(ID_LOGIN_CUSTOM)->trigger();
  QCOMPARE(window->OpenLoginWindow()->Address(), QString("http://example.com/page"));
  QGuiApplication::clipboard()->clear();

  // A job's login request waits for the window (here answered by the test at once).
  window->OpenLogin("http://photo.163.com/");
  QCOMPARE(window.asked.logins, QStringList{"http://photo.163.com/"});
}

void GuiTest::downloadSettingsAreValidated() {
  QStringList messages;
  auto message = [&messages](const QString& text) { messages.append(text); };
  DownParam slot{0, 0, 5, 30};
  auto confirm = [&](const char* threads, const char* timeout, const char* minKB,
                     const char* maxKB) {
    CDlgDownSet dialog(slot, message, nullptr);
    dialog.ThreadsEdit()->setText(threads);
    dialog.TimeoutEdit()->setText(timeout);
    dialog.MinEdit()->setText(minKB);
    dialog.MaxEdit()->setText(maxKB);
    dialog.Confirm();
    return dialog.result() == QDialog::Accepted;
  };
  QVERIFY(confirm("15", "10", "0", "0"));
  QCOMPARE(slot.wThreads, uint16_t(15));
  QCOMPARE(slot.wTimeout, uint16_t(10));
  QVERIFY(messages.isEmpty());

  // Refused: the message, the dialog stays, and closing it then leaves the slot as it was.
  QVERIFY(!confirm("15", "9", "1", "2"));
  QVERIFY(!confirm("0", "30", "1", "2"));
  QVERIFY(!confirm("-1", "30", "1", "2"));
  QVERIFY(!confirm("abc", "30", "1", "2"));
  QVERIFY(!confirm("5", "-20", "1", "2"));
  // Checked as typed, not after a cut to 16 bits (65537 would be 1); the command line's rule.
  QVERIFY(!confirm("65537", "30", "1", "2"));
  QVERIFY(!confirm("5", "65546", "1", "2"));
  QVERIFY(!confirm("5", "30", "70000", "0"));
  QVERIFY(!confirm("5", "30", "500", "20"));
  // Each message names the field and the values it takes.
  const QString threads = "参数错误：线程数应为 1~15";
  const QString timeout = "参数错误：超时应为 10~65535 秒";
  QCOMPARE(messages, (QStringList{timeout, threads, threads, threads, timeout, threads, timeout,
                                  "参数错误：图片最小值应为 0~65535 K",
                                  "参数错误：图片最小值不能大于最大值"}));
  QCOMPARE(slot.wThreads, uint16_t(15));
  QCOMPARE(slot.wTimeout, uint16_t(10));
  QCOMPARE(slot.wMinKB, uint16_t(0));

  QVERIFY(confirm("3", "60", "20", "500"));
  QCOMPARE(slot.wThreads, uint16_t(3));
  QCOMPARE(slot.wMinKB, uint16_t(20));
  QCOMPARE(slot.wMaxKB, uint16_t(500));
  CDlgDownSet shown(slot, message, nullptr);
  QCOMPARE(shown.TimeoutEdit()->text(), QString("60"));
}

void GuiTest::nameSettingsAreStored() {
  NameRule slot;
  {
    CDlgSaveSet dialog(slot, nullptr);
    QVERIFY(dialog.Radio(1016)->isChecked());
    QVERIFY(dialog.Radio(1019)->isChecked());
    dialog.Radio(1018)->setChecked(true);
    dialog.Radio(1020)->setChecked(true);
    dialog.Edit(1000)->setText("?1_");
    dialog.Edit(1001)->setText(QString(40, QLatin1Char('s')));
    dialog.Edit(1021)->setText("a|b");
    dialog.Edit(1022)->setText("c|d");
    dialog.Confirm();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
  }
  QCOMPARE(slot.byNameMode, uint8_t(2));
  QCOMPARE(slot.byDirMode, uint8_t(1));
  QCOMPARE(QString::fromStdString(FieldText(slot.szPrefix)), QString("?1_"));
  QCOMPARE(QString::fromStdString(FieldText(slot.szSuffix)), QString(38, QLatin1Char('s')));
  QCOMPARE(QString::fromStdString(FieldText(slot.szTo)), QString("c|d"));
  CDlgSaveSet reopened(slot, nullptr);
  QVERIFY(reopened.Radio(1018)->isChecked());
  QVERIFY(reopened.Radio(1020)->isChecked());
  QCOMPARE(reopened.Edit(1021)->text(), QString("a|b"));
}

void GuiTest::searchFindsAndWraps() {
  MadeUpAlbums adapters;
  Window window({}, adapters);
  QVERIFY(window.Start());
  QVERIFY(ListAccount(window, "http://names.test/abc,Xabcx,other,ABC"));
  window->ShowFind();
  CDlgFind* find = window->FindWindow();
  QVERIFY(find->isVisible());
  AlbumGridView* grid = window->Grid();
  auto focus = [grid] { return grid->currentIndex().row(); };

  find->KeywordEdit()->setText("  ");
  find->FindNext();
  find->FindNext();
  QCOMPARE(window.asked.messages, QStringList(2, "关键字不能为空"));

  // Any case, anywhere in a cell: rows 1, 2, 4, then back to 1.
  find->KeywordEdit()->setText("abc");
  find->FindNext();
  QCOMPARE(focus(), 0);
  find->FindNext();
  QCOMPARE(focus(), 1);
  find->FindNext();
  QCOMPARE(focus(), 3);
  QVERIFY(window->App().grid.SelectedAlbums(4).empty());  // a hit is no tick
  find->FindNext();
  QCOMPARE(focus(), 0);
  find->FindPrevious();
  QCOMPARE(focus(), 3);

  // The whole text must equal the keyword; with the case, ABC is only row 4.
  find->WholeBox()->setChecked(true);
  find->FindNext();
  QCOMPARE(focus(), 0);
  find->FindNext();
  QCOMPARE(focus(), 3);
  find->CaseBox()->setChecked(true);
  find->KeywordEdit()->setText("ABC");
  find->FindNext();
  QCOMPARE(focus(), 3);
  find->KeywordEdit()->setText("bc");
  find->FindNext();
  QCOMPARE(focus(), 3);  // nothing found: the selection stays

  find->CloseBox();
  QVERIFY(!find->isVisible());
  QCOMPARE(grid->selectionMode(), QAbstractItemView::MultiSelection);
}

void GuiTest::transferSettingsAreStored() {
  QStringList messages;
  auto message = [&messages](const QString& text) { messages.append(text); };
  DownParam slot{0, 0, 5, 30};
  Config config;
  {
    CDlgDownSet dialog(slot, message, nullptr, &config);
    QCOMPARE(dialog.LowSpeedBytesEdit()->text(), QString("1024"));
    QVERIFY(dialog.ResumeBox()->isChecked());
    // A refused value leaves both the slot and the config as they were.
    dialog.ThreadsEdit()->setText("7");
    dialog.LowSpeedSecondsEdit()->setText("0");
    dialog.Confirm();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages[0].startsWith("参数错误"));
    QCOMPARE(slot.wThreads, uint16_t(5));
    QVERIFY(config == Config{});
    dialog.LowSpeedSecondsEdit()->setText("3600");
    // The politeness values are checked by the same rules.
    QCOMPARE(dialog.RetriesEdit()->text(), QString("5"));
    dialog.RetriesEdit()->setText("101");
    dialog.Confirm();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(config == Config{});
    dialog.RetriesEdit()->setText("2");
    dialog.WaitEdit()->setText("1500");
    dialog.RandomWaitBox()->setChecked(true);
    dialog.HostConnectionsEdit()->setText("4");
    dialog.LimitRateEdit()->setText("512000");
    dialog.LowSpeedBytesEdit()->setText(" 0 ");
    dialog.UserAgentEdit()->setText("TestAgent/1.0");
    dialog.ResumeBox()->setChecked(false);
    dialog.Confirm();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
  }
  QCOMPARE(slot.wThreads, uint16_t(7));
  QCOMPARE(config.lowSpeedBytes, 0u);
  QCOMPARE(config.lowSpeedSeconds, 3600u);
  QCOMPARE(config.userAgent, std::string("TestAgent/1.0"));
  QVERIFY(!config.resume);
  QCOMPARE(config.retries, 2u);
  QCOMPARE(config.waitMs, 1500u);
  QVERIFY(config.randomWait);
  QCOMPARE(config.perHostConnections, 4u);
  QCOMPARE(config.limitRate, 512000u);
  CDlgDownSet plain(slot, message, nullptr);
  QVERIFY(plain.LowSpeedBytesEdit() == nullptr);

  // Start-up tells the problems of albumora.toml once, when the window is ready.
  ScratchDir home("gui-home");
  std::ofstream(home.Dir() / kConfigFileName) << "[transfer]\nlow_speed_secs = 5\n";
  Window window({}, SiteAdapters(), home.Path());
  QVERIFY(window.asked.messages.isEmpty());
  QVERIFY(window.Start());
  QCOMPARE(window.asked.messages.size(), 1);
  QVERIFY(window.asked.messages[0].contains(":2: unknown setting transfer.low_speed_secs"));
}

// The address box: a mouse pick from the drop-down puts the item in the box; while suggestions
// show, a click on "获取相册" lists at once; Enter lists, or picks while suggestions show.
void GuiTest::addressBoxPicksAndEnters() {
  MadeUpAlbums adapters;
  Window window({}, adapters);
  QVERIFY(window.Start());
  CComboBox2* box = window->AddressBox();
  box->AddItem("http://names.test/a,b");
  box->AddItem("http://names.test/c");
  box->setEditText("");
  box->showPopup();
  emit box->view()->activated(box->view()->model()->index(1, 0));
  QCOMPARE(box->currentText(), QString("http://names.test/c"));
  QVERIFY(!box->view()->isVisible());

  // The click reaches the window as the person's would: through the open suggestion list.
  box->setFocus();
  box->setEditText("");
  QTest::keyClicks(box->lineEdit(), "names");
  QVERIFY(box->SuggestionsShown());
  QCoreApplication::processEvents();  // the list has shown itself
  QPushButton* list = window->ListButton();
  const QPoint at = list->mapTo(window.dialog.get(), list->rect().center());
  QTest::mousePress(window->windowHandle(), Qt::LeftButton, {}, at);
  QCoreApplication::processEvents();  // a person's release comes later
  QTest::mouseRelease(window->windowHandle(), Qt::LeftButton, {}, at);
  QVERIFY(!box->SuggestionsShown());
  QVERIFY(QTest::qWaitFor([&] { return window.ListIdle(); }, kWaitMs));
  QCOMPARE(window->Status1()->text(), QString("获取相册列表完成，共0个"));

  box->setEditText("http://names.test/a,b");
  QTest::keyClick(box->lineEdit(), Qt::Key_Return);
  QVERIFY(QTest::qWaitFor([&] { return window.ListIdle(); }, kWaitMs));
  QCOMPARE(window->Grid()->Model().rowCount(), 2);

  // One Enter lists while suggestions show: the typed text when none was chosen, the chosen
  // suggestion when one was (the keys go to the list).
  box->setEditText("");
  QTest::keyClicks(box->lineEdit(), "http://names.test/a");
  QVERIFY(box->SuggestionsShown());
  QWidget* suggestions = QApplication::activePopupWidget();
  QVERIFY(suggestions != nullptr);
  QTest::keyClick(suggestions, Qt::Key_Return);
  QVERIFY(!box->SuggestionsShown());
  QTRY_COMPARE_WITH_TIMEOUT(window->Status1()->text(), QString("获取相册列表完成，共1个"), kWaitMs);
  QVERIFY(QTest::qWaitFor([&] { return window.ListIdle(); }, kWaitMs));
  QCOMPARE(window.Text(0, 1), QString("a"));

  box->setEditText("");
  QTest::keyClicks(box->lineEdit(), "c");
  QVERIFY(box->SuggestionsShown());
  suggestions = QApplication::activePopupWidget();
  QVERIFY(suggestions != nullptr);
  QTest::keyClick(suggestions, Qt::Key_Down);
  QTest::keyClick(suggestions, Qt::Key_Return);
  QCOMPARE(box->currentText(), QString("http://names.test/c"));
  QTRY_COMPARE_WITH_TIMEOUT(window.Text(0, 1), QString("c"), kWaitMs);
  QVERIFY(QTest::qWaitFor([&] { return window.ListIdle(); }, kWaitMs));
}

// A save path typed (or pasted) and used for a download is kept as a picked one is: it is the
// newest of soft.dat's five recent save paths, which the drop-down offers, newest first, and
// start-up shows it again.
void GuiTest::typedSavePathIsKept() {
  MadeUpAlbums adapters;
  ScratchDir home("gui-home");
  QStringList typed;
  {
    Window window({}, adapters, home.Path());
    QVERIFY(window.Start());
    for (int i = 1; i <= 6; ++i) {
      typed.append(QString::fromStdString(window.save.Path()) + "/typed" + QString::number(i));
      window->SaveBox()->setEditText(typed.back());
      window->DownloadClicked();
      QVERIFY(QTest::qWaitFor([&] { return window.DownloadIdle(); }, kWaitMs));
    }
    // An older path used again becomes the newest.
    window->SaveBox()->setEditText(typed[2] + "/");
    window->DownloadClicked();
    QVERIFY(QTest::qWaitFor([&] { return window.DownloadIdle(); }, kWaitMs));
  }
  StartOptions options;
  options.currentDir = "/home/someone/Pictures";
  Window window(options, adapters, home.Path());
  const QStringList newestFirst{typed[2] + "/", typed[5] + "/", typed[4] + "/", typed[3] + "/",
                                typed[1] + "/"};
  QCOMPARE(window->SaveBox()->currentText(), newestFirst.front());
  QCOMPARE(window->SaveBox()->count(), 5);
  for (int i = 0; i < 5; ++i) QCOMPARE(window->SaveBox()->itemText(i), newestFirst[i]);
}

// A host's "slow down" shows in the main line while the wait lasts, counted down; then the
// album line is back for the rest of the download.
void GuiTest::waitLineGoesWhenTheWaitEnds() {
  Web web;
  testweb::BenchAccount shape;
  shape.rateLimit = std::make_shared<testweb::RateLimitedHost>(4);
  shape.pictures = 10;
  shape.delayMs = 150;
  testweb::ServeBenchAccount(web.web, shape);
  Window window;
  QVERIFY(window.Start());
  QVERIFY(ListAccount(window, "20002"));
  ClickRow(window, 0);
  window->App().Down().wThreads = 4;
  QTest::mouseClick(window->DownloadButton(), Qt::LeftButton);
  QTRY_VERIFY_WITH_TIMEOUT(window->Status1()->text().startsWith("等待 "), kWaitMs);
  QVERIFY2(window->Status1()->text().contains("要求放慢（429）"),
           qPrintable(window->Status1()->text()));
  QTRY_COMPARE_WITH_TIMEOUT(window->Status1()->text(), QString("正在下载第1/1个图集"), kWaitMs);
  QVERIFY(QTest::qWaitFor([&] { return window.DownloadIdle(); }, kWaitMs));
  QTRY_VERIFY_WITH_TIMEOUT(window->Status1()->text().startsWith("下载完毕："), kWaitMs);
}

// Ticks are the person's: a view switch (there and back) and the album search keep them.
void GuiTest::ticksSurviveViewSwitchAndSearch() {
  MadeUpAlbums adapters;
  Window window({}, adapters);
  QVERIFY(window.Start());
  QVERIFY(ListAccount(window, "http://names.test/a,b,c,d,e,f,g,h"));
  ClickRow(window, 1);
  ClickRow(window, 6);
  const std::vector<int> ticked{1, 6};
  // "全选" follows the ticks: some albums ticked, the box partly.
  QCOMPARE(window->SelectAllBox()->checkState(), Qt::PartiallyChecked);
  auto switchView = [&] {
    QTest::mouseClick(window->PreviewBox(), Qt::LeftButton);
    return QTest::qWaitFor([&] { return window->App().nModeSwitch.load() == 0; }, kWaitMs);
  };
  QVERIFY(switchView());
  AlbumGridModel& model = window->Grid()->Model();
  QCOMPARE(window->App().grid.SelectedAlbums(8), ticked);
  QCOMPARE(window->SelectAllBox()->checkState(), Qt::PartiallyChecked);
  QCOMPARE(model.index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));  // album 7
  QVERIFY(switchView());
  QCOMPARE(window->App().grid.SelectedAlbums(8), ticked);

  // "全选" too.
  QTest::mouseClick(window->SelectAllBox(), Qt::LeftButton);
  QVERIFY(switchView());
  QVERIFY(window->SelectAllBox()->isChecked());
  QCOMPARE(window->Grid()->TickedCount(), 8);
  QVERIFY(switchView());
  QTest::mouseClick(window->SelectAllBox(), Qt::LeftButton);
  QCOMPARE(window->Grid()->TickedCount(), 0);

  // With the search window open a click ticks one more album; a hit moves the focus only.
  window->ShowFind();
  ClickRow(window, 2);
  ClickRow(window, 4);
  window->FindWindow()->KeywordEdit()->setText("f");
  window->FindWindow()->FindNext();
  QCOMPARE(window->Grid()->currentIndex().row(), 5);
  QCOMPARE(window->App().grid.SelectedAlbums(8), (std::vector<int>{2, 4}));
}

// A site change after listing does not send the listed albums to the other site's adapter.
void GuiTest::listKeepsItsSite() {
  Web web;
  Window window;
  QVERIFY(window.Start());
  QVERIFY(ListAccount(window, testweb::kDemoAccount));
  window->SiteBox()->setCurrentIndex(SITE_NETEASE);
  QVERIFY(window->DownloadButton()->toolTip().contains("QQ空间"));
  ClickRow(window, 0);
  QTest::mouseClick(window->DownloadButton(), Qt::LeftButton);
  QVERIFY(QTest::qWaitFor([&] { return window.DownloadIdle(); }, kWaitMs));
  const std::filesystem::path album = window.save.Dir() / testweb::kDemoAccount / "西湖";
  QVERIFY(std::filesystem::is_directory(album));
  QVERIFY(!std::filesystem::is_empty(album));
  QCOMPARE(window->SiteBox()->currentIndex(), int(SITE_NETEASE));
}

// The name column takes the width the others leave: no scroll bar at 640 × 480, no empty band
// when the window is large.
void GuiTest::nameColumnTakesTheWidth() {
  MadeUpAlbums adapters;
  Window window({}, adapters);
  QVERIFY(window.Start());
  QVERIFY(ListAccount(window, "http://names.test/a,b"));
  AlbumGridView* grid = window->Grid();
  auto used = [grid] {
    int width = 0;
    for (int column = 0; column < 4; ++column) width += grid->columnWidth(column);
    return width;
  };
  for (const QSize size : {QSize(640, 480), QSize(1600, 1000)}) {
    window->resize(size);
    QTRY_COMPARE(used(), grid->viewport()->width());
    QVERIFY(grid->columnWidth(1) > 200);
  }
}

// "失败的图片" after a restart: the archive's newest run, each picture with the address tried
// and what it gave in Chinese, and the album whose list failed, one row, also named by the end
// text.
void GuiTest::failedListSurvivesARestart() {
  Web web;
  for (const char* host : {testweb::kDemoPictureListHost, testweb::kDemoAlbumViewHost}) {
    web.web.RoutePattern(host, "Vbench00002",
                         [](const testweb::Request&) { return testweb::Reply::Status(500); });
  }
  // The full-size pictures are gone; their previews are too large for the limit below.
  web.web.RoutePattern(testweb::kDemoPictureHost, "/full/",
                       [](const testweb::Request&) { return testweb::Reply::Status(404); });
  testweb::BenchAccount shape;
  shape.albums = 2;
  shape.everyAlbum = true;
  shape.pictures = 3;
  shape.bytes = 2000;
  const std::vector<std::string> pictures = testweb::ServeBenchAccount(web.web, shape);
  ScratchDir home("gui-home");
  {
    Window window({}, SiteAdapters(), home.Path());
    QVERIFY(window.Start());
    QVERIFY(ListAccount(window, "20002"));
    ClickRow(window, 0);
    ClickRow(window, 1);
    window->App().Down().wMaxKB = 1;  // every 2000-byte picture is refused
    QTest::mouseClick(window->DownloadButton(), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return window.DownloadIdle(); }, kWaitMs));
    QTRY_COMPARE_WITH_TIMEOUT(window->Status1()->text(),
                              QString("下载完毕：写入 0/3，失败 3，图集“bench00002”列表获取失败"),
                              kWaitMs);
    // Each address with what it gave.
    const std::vector<FailedRow> live = window->FailedRows();
    QCOMPARE(live.size(), size_t{4});
    QCOMPARE(live[0].tried.size(), size_t{2});
    QVERIFY2(live[0].tried[0].result.startsWith("网站回答 404（"),
             qPrintable(live[0].tried[0].result));
    QVERIFY2(live[0].tried[1].result.startsWith("大小不在设置的范围内（"),
             qPrintable(live[0].tried[1].result));
  }
  Window window({}, SiteAdapters(), home.Path());
  QVERIFY(window.Start());
  const std::vector<FailedRow> rows = window->FailedRows();
  QCOMPARE(rows.size(), size_t{4});
  std::vector<std::string> addresses;
  for (size_t i = 0; i < 3; ++i) {
    QCOMPARE(rows[i].album, std::string("bench"));
    // The address the site listed first; the last address tried with its words last.
    QVERIFY(!rows[i].tried.empty());
    addresses.push_back(rows[i].tried[0].address);
    QVERIFY2(rows[i].tried.back().result.contains("大小不在设置的范围内（"),
             qPrintable(rows[i].tried.back().result));
  }
  std::sort(addresses.begin(), addresses.end());
  QCOMPARE(addresses, std::vector<std::string>(pictures.begin(), pictures.begin() + 3));
  QCOMPARE(rows[3].album, std::string("bench00002"));
  QVERIFY(rows[3].file.empty());
  QCOMPARE(rows[3].tried.front().result, QString("图集列表获取失败"));
  window->UpdateMenuMarks();
  QVERIFY(window->MenuAction(ID_FAILED_LIST)->isEnabled());
  CFailedDlg dialog(rows, window.dialog.get());
  QCOMPARE(dialog.Table()->rowCount(), 4);
}

// Every text the program itself shows (captions, labels, buttons, menus, tool tips, headers,
// the dialogs, its notes and reasons) is Chinese: English words only where they are names.
void GuiTest::noEnglishInTheWindowsTexts() {
  QStringList texts;
  auto collect = [&texts](QWidget* root) {
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.append(root);
    for (QWidget* widget : widgets) {
      texts << widget->windowTitle() << widget->toolTip();
      if (auto* label = qobject_cast<QLabel*>(widget)) texts << label->text();
      if (auto* button = qobject_cast<QAbstractButton*>(widget)) texts << button->text();
      if (auto* group = qobject_cast<QGroupBox*>(widget)) texts << group->title();
      if (auto* edit = qobject_cast<QLineEdit*>(widget)) texts << edit->placeholderText();
      if (auto* view = qobject_cast<QAbstractItemView*>(widget); view && view->model()) {
        for (int column = 0; column < view->model()->columnCount(); ++column) {
          texts << view->model()->headerData(column, Qt::Horizontal).toString();
        }
      }
    }
    for (QAction* action : root->findChildren<QAction*>()) texts << action->text();
  };
  Window window;
  QVERIFY(window.Start());
  window->ShowFind();
  collect(window.dialog.get());
  collect(window->FindWindow());
  DownParam slot{0, 0, 5, 30};
  Config config;
  CDlgDownSet down(
      slot, [](const QString&) {}, nullptr, &config);
  collect(&down);
  NameRule rule;
  CDlgSaveSet naming(rule, nullptr);
  collect(&naming);
  CFailedDlg failed({FailedRow{"a", "/x/1.jpg", {{"http://p.test/1.jpg", "失败"}}}}, nullptr);
  collect(&failed);
  // The texts made from the system's and the engine's English.
  texts << ArchiveNote("", false) << ArchiveNote("", true)
        << SystemReason(std::make_error_code(std::errc::permission_denied)).section("（", 0, 0)
        << FailureInChinese("").section("（", 0, 0)
        << FailureInChinese("pics.test: HTTP 404 Not Found").section("（", 0, 0)
        << QCoreApplication::translate("QAbstractFileIconProvider", "Folder");
  // Names: the program, the file it reads, header and product names.
  const QStringList names{"Albumora", "albumora", "QQ",  "Cookie", "User", "Agent", "README", "md",
                          "archive",  "db",       "xdg", "open",   "HTTP", "K",     "S"};
  const QRegularExpression tags("<[^>]*>");
  const QRegularExpression word("[A-Za-z]+");
  QStringList english;
  for (QString text : texts) {
    text.remove(tags);
    for (auto it = word.globalMatch(text); it.hasNext();) {
      const QString found = it.next().captured();
      if (found.size() > 1 && !names.contains(found)) english << found + " in \"" + text + "\"";
    }
  }
  QVERIFY2(english.isEmpty(), qPrintable(english.join("\n")));
}

// A damaged archive is told once, in Chinese, in a note that holds nothing up: it was moved
// aside and a new one started, so the downloads keep their records.
void GuiTest::damagedArchiveIsToldInANote() {
  MadeUpAlbums adapters;
  ScratchDir home("gui-home");
  std::ofstream(home.Dir() / kArchiveFileName) << std::string(4096, 'x');
  Window window({}, adapters, home.Path());
  QVERIFY(window.Start());
  QCOMPARE(window.asked.notes.size(), 1);
  QVERIFY2(window.asked.notes[0].startsWith("下载记录 archive.db 已损坏，已把它移到一旁。已新建"),
           qPrintable(window.asked.notes[0]));
  QVERIFY(window.asked.messages.isEmpty());
  QVERIFY(ListAccount(window, "http://names.test/a"));
  window->DownloadClicked();
  QVERIFY(QTest::qWaitFor([&] { return window.DownloadIdle(); }, kWaitMs));
  QTRY_VERIFY_WITH_TIMEOUT(window->Status1()->text().startsWith("下载完毕"), kWaitMs);
  QVERIFY(!window->Status1()->text().endsWith(kNoArchiveRemark));
  QCOMPARE(window.asked.notes.size(), 1);
}

QTEST_MAIN(GuiTest)
#include "GuiTest.moc"
