// SPDX-License-Identifier: GPL-3.0-or-later
// The store's whole-cookie exchange with the login window's browser: cookies go in and come
// out with their attributes, survive cookies.txt, and can be deleted one by one.
#include <gtest/gtest.h>

#include <ctime>
#include <fstream>

#include "ScratchDir.h"
#include "net/CookieStore.h"

namespace albumora {
namespace {

using testweb::ScratchDir;

class CookieExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override { store.Clear(); }
  void TearDown() override { store.Clear(); }
  CookieStore& store = CookieStore::Shared();
};

StoredCookie Cookie(const std::string& domain, bool subdomains, const std::string& path,
                    const std::string& name, const std::string& value) {
  StoredCookie cookie;
  cookie.domain = domain;
  cookie.includeSubdomains = subdomains;
  cookie.path = path;
  cookie.name = name;
  cookie.value = value;
  return cookie;
}

TEST_F(CookieExchangeTest, AttributesGoInComeOutAndSurviveTheFile) {
  const long long later = static_cast<long long>(std::time(nullptr)) + 3600;
  StoredCookie login = Cookie(".Login.Test", true, "/", "skey", "@abc");
  login.httpOnly = true;
  login.expires = later;
  StoredCookie secure = Cookie("www.login.test", false, "/app", "s", "1");
  secure.secure = true;
  ASSERT_TRUE(store.PutCookie(login));
  ASSERT_TRUE(store.PutCookie(secure));
  EXPECT_FALSE(store.PutCookie(Cookie("login.test", false, "/", "bad", "a\tb")));
  EXPECT_FALSE(store.PutCookie(Cookie("", false, "/", "nodomain", "1")));
  EXPECT_FALSE(store.PutCookie(Cookie("login.test", false, "/", "a b", "1")));
  EXPECT_FALSE(store.PutCookie(Cookie("login.test", false, "/", "semi", "a;b")));

  // What the engine sends: the domain cookie to subdomains, the secure one only over https.
  EXPECT_EQ(store.CookiesFor("http://www.login.test/app/x"), "skey=@abc");
  EXPECT_EQ(store.CookiesFor("https://www.login.test/app/x"), "s=1; skey=@abc");
  EXPECT_EQ(store.CookiesFor("http://other.login.test/"), "skey=@abc");

  ScratchDir dir("cookie-exchange");
  const auto file = std::filesystem::path(dir.Path()) / "cookies.txt";
  ASSERT_TRUE(store.Save(file));
  store.Clear();
  ASSERT_TRUE(store.Load(file));
  std::vector<StoredCookie> held = store.AllCookies();
  ASSERT_EQ(held.size(), 2u);
  const StoredCookie& first = held[0].name == "skey" ? held[0] : held[1];
  const StoredCookie& second = held[0].name == "skey" ? held[1] : held[0];
  EXPECT_EQ(first.domain, "login.test");
  EXPECT_TRUE(first.includeSubdomains);
  EXPECT_TRUE(first.httpOnly);
  EXPECT_FALSE(first.secure);
  EXPECT_EQ(first.expires, later);
  EXPECT_EQ(first.value, "@abc");
  EXPECT_EQ(second.domain, "www.login.test");
  EXPECT_FALSE(second.includeSubdomains);
  EXPECT_EQ(second.path, "/app");
  EXPECT_TRUE(second.secure);
  EXPECT_FALSE(second.httpOnly);
  EXPECT_EQ(second.expires, 0);
}

TEST_F(CookieExchangeTest, DeletingRemovesOnlyThatCookie) {
  ASSERT_TRUE(store.PutCookie(Cookie("h.test", false, "/", "a", "1")));
  ASSERT_TRUE(store.PutCookie(Cookie("h.test", false, "/dir", "a", "2")));
  ASSERT_TRUE(store.PutCookie(Cookie("h.test", true, "/", "b", "3")));
  store.DeleteCookie("h.test", "/", "a");
  EXPECT_EQ(store.CookiesFor("http://h.test/dir/x"), "a=2; b=3");
  store.DeleteCookie(".h.test", "/", "b");
  EXPECT_EQ(store.CookiesFor("http://h.test/dir/x"), "a=2");
  store.DeleteCookie("h.test", "/", "missing");
  EXPECT_EQ(store.AllCookies().size(), 1u);

  // An expiry in the past deletes too.
  StoredCookie expired = Cookie("h.test", false, "/dir", "a", "");
  expired.expires = 1;
  ASSERT_TRUE(store.PutCookie(expired));
  EXPECT_EQ(store.CookiesFor("http://h.test/dir/x"), "");
  EXPECT_TRUE(store.AllCookies().empty());

  // Deleted cookies do not linger in cookies.txt.
  ScratchDir dir("cookie-delete");
  const auto file = std::filesystem::path(dir.Path()) / "cookies.txt";
  ASSERT_TRUE(store.Save(file));
  std::ifstream in(file);
  std::string line;
  int lines = 0;
  while (std::getline(in, line)) lines += line.empty() || line[0] == '#' ? 0 : 1;
  EXPECT_EQ(lines, 0);
}

}  // namespace
}  // namespace albumora
