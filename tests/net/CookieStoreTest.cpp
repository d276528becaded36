// SPDX-License-Identifier: GPL-3.0-or-later
// The shared cookie store: what it holds for an address, the login window's way in, the
// cookies.txt file, and the Qzone token.
#include "net/CookieStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "ScratchDir.h"
#include "TestWeb.h"
#include "net/HttpEngine.h"

namespace albumora {
namespace {

namespace fs = std::filesystem;

class CookieStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { store.Clear(); }
  void TearDown() override { store.Clear(); }
  CookieStore& store = CookieStore::Shared();
};

TEST_F(CookieStoreTest, LongerPathsFirstThenOlderFirst) {
  store.SetCookie("http://h.test/", "a=1; Path=/");
  store.SetCookie("http://h.test/", "b=2; Path=/dir");
  store.SetCookie("http://h.test/", "c=3; Path=/");
  store.SetCookie("http://h.test/dir/x/page", "d=4; Path=/dir/x");
  store.SetCookie("http://h.test/", "a=9; Path=/");  // replaces a, keeps its place

  EXPECT_EQ(store.CookiesFor("http://h.test/dir/x/page"), "d=4; b=2; a=9; c=3");
  EXPECT_EQ(store.CookiesFor("http://h.test/dir"), "b=2; a=9; c=3");
  EXPECT_EQ(store.CookiesFor("http://h.test/directory"), "a=9; c=3");
  EXPECT_EQ(GetCookies("http://h.test/"), "a=9; c=3");
  EXPECT_EQ(GetCookies("http://other.test/"), "");
}

TEST_F(CookieStoreTest, DomainsSecureExpiryAndDefaultPath) {
  store.SetCookie("http://user.qzone.qq.com/123", "host=1");
  store.SetCookie("http://user.qzone.qq.com/", "wide=2; Domain=.qq.com; Path=/");
  store.SetCookie("http://user.qzone.qq.com/", "safe=3; Secure; Path=/");
  store.SetCookie("http://user.qzone.qq.com/", "foreign=4; Domain=baidu.com");
  store.SetCookie("http://user.qzone.qq.com/a/b", "deep=5");  // default path /a
  store.SetCookie("http://user.qzone.qq.com/", "old=6; Expires=Wed, 01 Jan 2003 00:00:00 GMT");

  EXPECT_EQ(store.CookiesFor("http://user.qzone.qq.com/"), "host=1; wide=2");
  EXPECT_EQ(store.CookiesFor("https://user.qzone.qq.com/"), "host=1; wide=2; safe=3");
  EXPECT_EQ(store.CookiesFor("http://qun.qzone.qq.com/"), "wide=2");
  EXPECT_EQ(store.CookiesFor("http://user.qzone.qq.com/a/c"), "deep=5; host=1; wide=2");
  EXPECT_EQ(store.CookiesFor("http://www.baidu.com/"), "");

  store.SetCookie("http://user.qzone.qq.com/", "wide=gone; Domain=qq.com; Path=/; Max-Age=0");
  EXPECT_EQ(store.CookiesFor("http://qun.qzone.qq.com/"), "");
}

TEST_F(CookieStoreTest, LoginCookiesReachTheEngine) {
  testweb::TestWeb web;
  SetEngineProxy(web.ProxyUrl());
  web.Route("user.qzone.qq.com", "/p",
            [](const testweb::Request& r) { return testweb::Reply::Text(r.Header("Cookie")); });
  store.SetCookie("http://user.qzone.qq.com/", "uin=o123; Path=/");
  store.SetCookie("http://user.qzone.qq.com/", "skey=@abc; Path=/");
  HttpRequest request;
  InitRequest(request, "http://user.qzone.qq.com/p", "", 5000);
  HttpResponse response;
  ASSERT_TRUE(HttpFetch(request, response, 0));
  EXPECT_NE(response.body.find("uin=o123"), std::string::npos);
  EXPECT_NE(response.body.find("skey=@abc"), std::string::npos);
  SetEngineProxy("");

  std::string cookies = GetCookies("http://user.qzone.qq.com/");
  EXPECT_EQ(CookieValue(cookies, "skey"), "@abc");
  EXPECT_EQ(CookieValue(cookies, "uin"), "");  // first in the text: not found
  EXPECT_EQ(CookieValue(cookies, "none"), "");
}

TEST_F(CookieStoreTest, SaveAndLoadRoundTripWithPrivateMode) {
  testweb::ScratchDir folder("cookies");
  fs::path file = folder.Dir() / "cookies.txt";
  store.SetCookie("http://h.test/", "a=1; Path=/");
  store.SetCookie("http://h.test/", "b=2; Path=/; HttpOnly; Max-Age=3600");
  store.SetCookie("http://www.h.test/", "c=3; Domain=h.test; Path=/");
  std::string before = store.CookiesFor("http://h.test/");
  ASSERT_EQ(before, "a=1; b=2; c=3");

  ASSERT_TRUE(store.Save(file));
  struct stat info {};
  ASSERT_EQ(stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("#HttpOnly_h.test"), std::string::npos);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.Dir()), {}), 1);

  store.Clear();
  EXPECT_EQ(store.CookiesFor("http://h.test/"), "");
  ASSERT_TRUE(store.Load(file));
  EXPECT_EQ(store.CookiesFor("http://h.test/"), before);
  EXPECT_EQ(store.CookiesFor("http://sub.h.test/"), "c=3");

  store.SetCookie("http://h.test/", "d=4");
  ASSERT_TRUE(store.Load(file));  // replaces what is held
  EXPECT_EQ(store.CookiesFor("http://h.test/"), before);
  EXPECT_FALSE(store.Load(folder.Dir() / "missing.txt"));
  EXPECT_EQ(store.CookiesFor("http://h.test/"), before);
}

TEST_F(CookieStoreTest, ImportMergesABrowserExport) {
  testweb::ScratchDir folder("cookies");
  fs::path file = folder.Dir() / "export.txt";
  std::ofstream(file) << "# Netscape HTTP Cookie File\r\n"
                         "# exported by a browser\r\n"
                         "\r\n"
                         ".qq.com\tTRUE\t/\tFALSE\t0\tuin\to42\r\n"
                         "#HttpOnly_user.qzone.qq.com\tFALSE\t/\tFALSE\t4102444800\tskey\tk1\r\n"
                         "broken line\r\n";
  store.SetCookie("http://user.qzone.qq.com/", "kept=1; Path=/");
  ASSERT_TRUE(store.ImportFile(file));
  EXPECT_EQ(store.CookiesFor("http://user.qzone.qq.com/"), "kept=1; uin=o42; skey=k1");
  EXPECT_FALSE(store.ImportFile(folder.Dir() / "none.txt"));
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

// A cookie beyond 4096 bytes is refused, a domain keeps at most 150 cookies, so one host can
// no longer crowd its other cookies out of a request.
TEST_F(CookieStoreTest, BrowserLimitsPerCookieAndPerDomain) {
  testweb::ScratchDir folder("cookies");
  const fs::path file = folder.Dir() / "cookies.txt";
  {
    std::ofstream out(file);
    out << "h.test\tFALSE\t/\tFALSE\t0\tbig\t" << std::string(100000, 'v') << "\n";
    out << "h.test\tFALSE\t/\tFALSE\t0\tfits\t" << std::string(4092, 'v') << "\n";
    for (int i = 0; i < 200; ++i) out << "many.test\tFALSE\t/\tFALSE\t0\tc" << i << "\t1\n";
    out << "h.test\tFALSE\t/\tFALSE\t0\tsmall\t1\n";
  }
  ASSERT_TRUE(store.Load(file));
  const std::string sent = store.CookiesFor("http://h.test/");
  EXPECT_EQ(sent.find("big="), std::string::npos);
  EXPECT_NE(sent.find("fits="), std::string::npos);
  EXPECT_NE(sent.find("small=1"), std::string::npos);
  const std::string many = store.CookiesFor("http://many.test/");
  EXPECT_EQ(std::count(many.begin(), many.end(), '='), 150);

  store.SetCookie("http://h.test/", "huge=" + std::string(5000, 'x'));
  EXPECT_EQ(store.CookiesFor("http://h.test/").find("huge="), std::string::npos);
}

TEST_F(CookieStoreTest, ExpiredCookiesAreDroppedOnLoadAndSave) {
  testweb::ScratchDir folder("cookies");
  const fs::path file = folder.Dir() / "cookies.txt";
  std::ofstream(file) << "h.test\tFALSE\t/\tFALSE\t1000\told\t1\n"
                         "h.test\tFALSE\t/\tFALSE\t4102444800\tnew\t2\n";
  ASSERT_TRUE(store.Load(file));
  EXPECT_EQ(store.CookiesFor("http://h.test/"), "new=2");
  ASSERT_TRUE(store.Save(file));
  EXPECT_EQ(ReadText(file).find("old"), std::string::npos);
}

// Lines the store cannot hold as written are skipped whole; every line it accepts comes back
// from a save and a load unchanged.
TEST_F(CookieStoreTest, SaveAndLoadGiveTheSameStoreForEveryAcceptedLine) {
  testweb::ScratchDir folder("cookies");
  const fs::path file = folder.Dir() / "in.txt";
  const fs::path saved = folder.Dir() / "saved.txt";
  const fs::path again = folder.Dir() / "again.txt";
  std::ofstream(file) << "\tFALSE\t/\tFALSE\t0\tnodomain\t1\n"        // empty first field
                         "..dots.test\tTRUE\t/\tFALSE\t0\tdots\t1\n"  // several leading dots
                         "h.test\tFALSE\t/\tFALSE\t0\tkept\t1\n"
                         "h.test\tFALSE\tFALSE\t0\tkept\t2\n"            // old path-less form
                         "#HttpOnly_\tFALSE\t/\tFALSE\t0\tcomment\t1\n"  // nothing after the mark
                         ".Sub.H.test\tTRUE\t/a\tTRUE\t4102444800\ts\tv w\n"
                         "h.test\tFALSE\t/\tFALSE\t0\tempty\n"
                         "h.test\tFALSE\t/\tFALSE\t0\tsemi\ta;b\n"
                         "h.test\tFALSE\t/\tFALSE\t-5\tneg\t1\n";
  ASSERT_TRUE(store.Load(file));
  EXPECT_EQ(store.CookiesFor("http://h.test/"), "kept=1; empty=");
  ASSERT_TRUE(store.Save(saved));
  const std::vector<std::string> lines = SortedLines(ReadText(saved));
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "# Netscape HTTP Cookie File",
                       ".sub.h.test\tTRUE\t/a\tTRUE\t4102444800\ts\tv w",
                       "h.test\tFALSE\t/\tFALSE\t0\tempty\t",
                       "h.test\tFALSE\t/\tFALSE\t0\tkept\t1",
                   }));
  ASSERT_TRUE(store.Load(saved));
  ASSERT_TRUE(store.Save(again));
  EXPECT_EQ(SortedLines(ReadText(again)), lines);
}

TEST_F(CookieStoreTest, SaveMergedKeepsALoginAnotherProcessSaved) {
  testweb::ScratchDir dir("merge");
  const fs::path file = dir.Dir() / "cookies.txt";
  store.SetCookie("http://a.test/", "mine=1; Path=/; Max-Age=3600");
  ASSERT_TRUE(store.Save(file));
  // Unchanged since our own save: the store is saved as it is (a cookie it dropped stays gone).
  store.Clear();
  store.SetCookie("http://a.test/", "other=2; Path=/; Max-Age=3600");
  ASSERT_TRUE(store.SaveMerged(file));
  store.Clear();
  ASSERT_TRUE(store.Load(file));
  EXPECT_EQ(store.CookiesFor("http://a.test/"), "other=2");

  // Another process writes a login into the file meanwhile: it is merged, not overwritten.
  {
    std::ofstream out(file, std::ios::app);
    out << "b.test\tFALSE\t/\tFALSE\t" << (std::time(nullptr) + 3600) << "\tlogin\tyes\n";
  }
  fs::last_write_time(file, fs::last_write_time(file) + std::chrono::seconds(2));
  store.SetCookie("http://a.test/", "later=3; Path=/; Max-Age=3600");
  ASSERT_TRUE(store.SaveMerged(file));
  store.Clear();
  ASSERT_TRUE(store.Load(file));
  EXPECT_EQ(store.CookiesFor("http://b.test/"), "login=yes");
  EXPECT_EQ(store.CookiesFor("http://a.test/"), "other=2; later=3");
}

TEST(ComputeGtkTest, HashOverUtf16Units) {
  EXPECT_EQ(ComputeGtk(""), 5381u);
  EXPECT_EQ(ComputeGtk("a"), 177670u);
  EXPECT_EQ(ComputeGtk("\xe4\xb8\xad"), 5381u * 33 + 0x4E2D);  // 中: one unit, not three bytes
  EXPECT_EQ(ComputeGtk("abcdefghijklmnop"), 2014620301u);      // wraps, top bit cleared
  EXPECT_EQ(ComputeGtk(CookieValue("skey=abc", "skey")), 5381u);
}

}  // namespace
}  // namespace albumora
