// SPDX-License-Identifier: GPL-3.0-or-later
// The login window's browser (Qt WebEngine, offscreen) against the loopback test web: one
// cookie store for the browser and the engine in both directions, and the window's own rules
// (resizing, the clipboard's address, Enter opens).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QWebEngineView>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ScratchDir.h"
#include "TestWeb.h"
#include "fs/ProgramFolder.h"
#include "gui/LoginWindow.h"
#include "net/CookieStore.h"
#include "net/HttpEngine.h"
#include "text/StringCtrl.h"

using namespace albumora;
using namespace albumora::gui;
using albumora::testweb::Reply;
using albumora::testweb::ScratchDir;
using albumora::testweb::TestWeb;

extern char** environ;

namespace {

constexpr int kWaitMs = 60000;  // a bound for a hung test, not a speed assertion

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The test web as the engine's (and so the browser's) proxy, on a scratch program folder.
struct Site {
  Site() {
    InitProgramFolder(home.Path());
    CookieStore::Shared().Clear();
    SetEngineProxy(web.ProxyUrl());
  }
  ~Site() {
    SetEngineProxy("");
    CookieStore::Shared().Clear();
  }
  ScratchDir home{"login-home"};
  TestWeb web;
};

bool Holds(const std::string& cookies, const std::string& pair) {
  return ("; " + cookies + ";").find("; " + pair + ";") != std::string::npos;
}

}  // namespace

class LoginWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void oneCookieStoreBothWays();
  void resizingKeepsTheButtonRightAligned();
  void clipboardAddressWaitsForEnter();
  void commandLineLoginKeepsTheCookies();
};

void LoginWindowTest::oneCookieStoreBothWays() {
  Site site;
  CookieStore& store = CookieStore::Shared();
  // Held before the window opens: one the page keeps, one the page deletes.
  store.SetCookie("http://login.test/", "held=old; Path=/");
  store.SetCookie("http://login.test/", "gone=1; Path=/");
  site.web.Route("login.test", "/login",
                 Reply::Text("<html><head><title>login</title></head><body><script>"
                             "document.cookie = 'script=j1; path=/; max-age=3600';"
                             "document.cookie = 'gone=; path=/; max-age=0';"
                             "document.title = 'done';"
                             "</script></body></html>")
                     .With("Set-Cookie", "server=s1; Path=/; HttpOnly"));
  site.web.Route("login.test", "/next", Reply::Text("next"));

  {
    auto window = MakeLoginWindow(nullptr, "http://login.test/login");
    window->show();
    QVERIFY(QTest::qWaitFor([&] { return window->Browser()->title() == "done"; }, kWaitMs));
    // Every change reaches the engine's store at once (no need to close the window first).
    QVERIFY(QTest::qWaitFor(
        [&] {
          const std::string held = store.CookiesFor("http://login.test/");
          return Holds(held, "script=j1") && !Holds(held, "gone=1");
        },
        kWaitMs));
  }

  // The browser's own page request carried what the store held before.
  const auto pages = site.web.RequestsTo("/login");
  QVERIFY(!pages.empty());
  const std::string sent = pages.front().Header("Cookie");
  QVERIFY2(Holds(sent, "held=old"), sent.c_str());
  QVERIFY2(Holds(sent, "gone=1"), sent.c_str());

  // The engine's next request to the host carries both new cookies; the deleted one is gone.
  HttpRequest request;
  InitRequest(request, "http://login.test/next", "", 20000);
  HttpResponse response;
  QVERIFY(HttpFetch(request, response, 0));
  const auto next = site.web.RequestsTo("/next");
  QCOMPARE(next.size(), size_t{1});
  const std::string engineSent = next.front().Header("Cookie");
  QVERIFY2(Holds(engineSent, "server=s1"), engineSent.c_str());
  QVERIFY2(Holds(engineSent, "script=j1"), engineSent.c_str());
  QVERIFY2(Holds(engineSent, "held=old"), engineSent.c_str());
  QVERIFY2(!Holds(engineSent, "gone=1"), engineSent.c_str());

  // cookies.txt holds them with their flags, readable by its owner only.
  const std::filesystem::path file = ProgramFile("cookies.txt");
  const std::string saved = ReadFile(file);
  QVERIFY2(saved.find("#HttpOnly_login.test\tFALSE\t/\tFALSE\t0\tserver\ts1") != std::string::npos,
           saved.c_str());
  QVERIFY2(saved.find("\tscript\tj1") != std::string::npos, saved.c_str());
  QVERIFY2(saved.find("\tgone\t") == std::string::npos, saved.c_str());
  struct stat status {};
  QCOMPARE(stat(file.c_str(), &status), 0);
  QCOMPARE(status.st_mode & 0777, 0600u);
  std::vector<StoredCookie> all = store.AllCookies();
  const auto script = std::find_if(all.begin(), all.end(),
                                   [](const StoredCookie& c) { return c.name == "script"; });
  QVERIFY(script != all.end());
  QVERIFY(script->expires > 0);  // max-age kept as an expiry
  QVERIFY(!script->httpOnly);
}

void LoginWindowTest::resizingKeepsTheButtonRightAligned() {
  QApplication::clipboard()->clear();
  auto window = MakeLoginWindow(nullptr, "");
  window->show();
  const QPoint browserTopLeft = window->Browser()->pos();
  const QPoint editTopLeft = window->AddressEdit()->pos();
  for (const QSize size : {window->minimumSize(), QSize(900, 700), QSize(400, 300)}) {
    window->resize(size);
    QApplication::processEvents();
    const QSize client = window->size();
    QCOMPARE(window->OpenButton()->geometry().right() + 1, client.width());
    QCOMPARE(window->AddressEdit()->geometry().right() + 1 + 5, window->OpenButton()->x());
    QCOMPARE(window->AddressEdit()->pos(), editTopLeft);
    QCOMPARE(window->Browser()->pos(), browserTopLeft);
    QCOMPARE(window->Browser()->geometry().right() + 1, client.width());
    QCOMPARE(window->Browser()->geometry().bottom() + 1, client.height());
  }
  QCOMPARE(window->windowTitle(), QString("登录成功后手动关闭对话框"));
}

void LoginWindowTest::clipboardAddressWaitsForEnter() {
  Site site;
  site.web.Route("page.test", "/page", Reply::Text("<title>page</title>"));
  QApplication::clipboard()->setText("http://page.test/page");
  auto window = MakeLoginWindow(nullptr, "");
  window->show();
  QCOMPARE(window->Address(), QString("http://page.test/page"));
  QVERIFY(window->Browser()->url().isEmpty());  // nothing opened
  QTest::keyClick(window->AddressEdit(), Qt::Key_Return);
  QVERIFY(QTest::qWaitFor([&] { return window->Browser()->title() == "page"; }, kWaitMs));
  QCOMPARE(site.web.RequestsTo("/page").size(), size_t{1});
  QApplication::clipboard()->clear();
}

void LoginWindowTest::commandLineLoginKeepsTheCookies() {
  Site site;
  site.web.Route("login.test", "/login",
                 Reply::Text("<script>document.cookie = 'script=j1; path=/';</script>")
                     .With("Set-Cookie", "server=s1; Path=/"));
  // `albumora login` runs albumora-gui's login window (offscreen here); a termination request
  // closes it, and the command reports the cookies the program folder now holds.
  const std::filesystem::path err = std::filesystem::path(site.home.Path()) / "stderr.txt";
  std::vector<std::string> args = {ALBUMORA_CLI_PATH,        "login",   "--home",
                                   site.home.Path(),         "--proxy", site.web.ProxyUrl(),
                                   "http://login.test/login"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  QCOMPARE(posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  const std::filesystem::path cookies = std::filesystem::path(site.home.Path()) / "cookies.txt";
  const bool saved = QTest::qWaitFor(
      [&] {
        const std::string text = ReadFile(cookies);
        return text.find("\tserver\ts1") != std::string::npos &&
               text.find("\tscript\tj1") != std::string::npos;
      },
      kWaitMs);
  kill(pid, SIGTERM);
  int raw = 0;
  QCOMPARE(waitpid(pid, &raw, 0), pid);
  QVERIFY(saved);
  const std::string report = ReadFile(err);
  QVERIFY2(WIFEXITED(raw) && WEXITSTATUS(raw) == 0, report.c_str());
  QVERIFY2(report.find("(2 for login.test)") != std::string::npos, report.c_str());
}

int main(int argc, char** argv) {
  PrepareBrowserProcess();
  QApplication application(argc, argv);
  SetClipboardReader([] { return QApplication::clipboard()->text().toStdString(); });
  LoginWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "LoginWindowTest.moc"
