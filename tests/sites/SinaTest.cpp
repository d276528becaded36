// SPDX-License-Identifier: GPL-3.0-or-later
// Sina: what the case folders cannot show — the Weibo adapter's diagnostic copies in the program
// folder, and a stop between blog picture pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FakeHost.h"
#include "ScratchDir.h"
#include "TestFiles.h"
#include "TestWeb.h"
#include "albumlist/AlbumListJob.h"
#include "download/DownloadJob.h"
#include "fs/ProgramFolder.h"
#include "model/AppState.h"
#include "net/CookieStore.h"
#include "net/HttpEngine.h"
#include "sites/Registry.h"
#include "text/StringCtrl.h"

namespace albumora {
namespace {

using testweb::ReadFile;
using testweb::Reply;
using testweb::TestWeb;

using testweb::Serve;

std::string CaseFile(const std::string& name) {
  return ReadFile(std::filesystem::path(ALBUMORA_SITE_CASES) / "sina" / name);
}

using testweb::ReadUnicodeFile;

// A host that can act when a status line is set.
class StatusHookHost : public testweb::FakeHost {
 public:
  std::function<void(StatusLine, const std::string&)> onStatus;
  void SetStatus(StatusLine line, const std::string& text) override {
    FakeHost::SetStatus(line, text);
    if (onStatus) onStatus(line, text);
  }
};

class Sina : public ::testing::Test {
 protected:
  void SetUp() override {
    InitProgramFolder(home_);
    SetEngineProxy(web_.ProxyUrl());
    CookieStore::Shared().Clear();
    app_.bReady = 1;
    app_.grid.Reset(false);
    app_.nSite = SITE_SINA;
  }
  void TearDown() override {
    SetEngineProxy("");
    CookieStore::Shared().Clear();
  }

  void List(const std::string& address) {
    host_.address = address;
    app_.nListState = LIST_RUNNING;
    app_.nListType = LT_NONE;
    RunAlbumList(app_, SiteAdapters());
  }
  void Pictures(int albumIndex) {
    app_.nDownState = DOWN_RUNNING;
    album_ = std::make_unique<AlbumState>(app_, albumIndex, scratch_.Folder());
    JobPictureContext context(app_, *album_);
    SiteAdapters().PictureList(SITE_SINA, app_.nListType.load())(context);
  }

  testweb::ScratchDir scratch_{"sina"};
  std::filesystem::path home_ = scratch_.Dir() / "home";
  TestWeb web_;
  StatusHookHost host_;
  AppState app_{host_};
  std::unique_ptr<AlbumState> album_;
};

TEST_F(Sina, WeiboKeepsItsLastAnswersInTheProgramFolder) {
  const std::string home = CaseFile("weibo-albums-and-pictures/home.html");
  web_.Route("weibo.com", "/u/1234567890", Reply::Text(home, "text/html"));
  web_.Route("photo.weibo.com", "/albums/get_all",
             Reply::Text(CaseFile("weibo-albums-and-pictures/albums.json")));
  web_.RoutePattern("photo.weibo.com", "page=1$",
                    Serve(Reply::Text(CaseFile("weibo-albums-and-pictures/photos1.json"))));
  web_.RoutePattern("photo.weibo.com", "page=2$", Serve(Reply::Text(std::string())));

  List("http://weibo.com/u/1234567890");
  ASSERT_EQ(app_.albumList.size(), 2u);
  EXPECT_EQ(ReadUnicodeFile(ProgramFile("1.tmp")), home);
  EXPECT_FALSE(std::filesystem::exists(ProgramFile("sinawb.tmp")));

  // Page 2 answers empty: the copy is replaced by the empty answer, and the album ends there.
  Pictures(0);
  EXPECT_EQ(album_->list.size(), 4u);
  EXPECT_EQ(ReadUnicodeFile(ProgramFile("sinawb.tmp")), "");
  EXPECT_EQ(web_.RequestsTo("/photos/get_all").size(), 2u);
  // Nothing lands in the folder the program was started from.
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::current_path() / "sinawb.tmp"));
}

// Every "Cookie" header of a request, in the order sent.
std::vector<std::string> CookieLines(const testweb::Request& request) {
  std::vector<std::string> lines;
  for (const auto& [name, value] : request.headers) {
    if (EqualsNoCase(name, "Cookie")) lines.push_back(value);
  }
  return lines;
}

TEST_F(Sina, WeiboAlbumListSendsTheOriginsCookiesInALineOfItsOwn) {
  // SUB belongs to weibo.com alone: the store never sends it to the photo host by itself.
  CookieStore::Shared().SetCookie("http://weibo.com/", "SUB=login; Path=/");
  CookieStore::Shared().SetCookie("http://weibo.com/", "SUBP=wide; Domain=.weibo.com; Path=/");
  web_.Route("weibo.com", "/u/1234567890",
             Reply::Text(CaseFile("weibo-albums-and-pictures/home.html"), "text/html"));
  web_.Route("photo.weibo.com", "/albums/get_all",
             Reply::Text(CaseFile("weibo-albums-and-pictures/albums.json")));
  web_.RoutePattern("photo.weibo.com", "/photos/get_all",
                    Serve(Reply::Text(CaseFile("weibo-albums-and-pictures/empty.json"))));
  List("http://weibo.com/u/1234567890");
  Pictures(1);
  const auto requests = web_.Requests();
  ASSERT_EQ(requests.size(), 3u);
  // Both album-list requests carry the origin's cookie text in a line beside what the store
  // sends.
  const std::string originCookies = GetCookies("http://weibo.com/");
  ASSERT_EQ(originCookies, "SUB=login; SUBP=wide");
  for (size_t i = 0; i < 2; ++i) {
    const std::vector<std::string> lines = CookieLines(requests[i]);
    EXPECT_NE(std::find(lines.begin(), lines.end(), originCookies), lines.end())
        << requests[i].url << " sent " << testing::PrintToString(lines);
  }
  EXPECT_EQ(CookieLines(requests[1]).front(), "SUBP=wide");
  // The picture list has no line of its own: the photo host gets what the store gives it.
  EXPECT_EQ(CookieLines(requests[2]), std::vector<std::string>{"SUBP=wide"});
}

TEST_F(Sina, StopBetweenBlogPicturePagesEndsTheAlbum) {
  web_.RoutePattern(
      "photo.blog.sina.com.cn", "/page1$",
      Serve(Reply::Text(CaseFile("blog-albums-and-pictures/page1.html"), "text/html")));
  web_.RoutePattern(
      "photo.blog.sina.com.cn", "/page2$",
      Serve(Reply::Text(CaseFile("blog-albums-and-pictures/page2.html"), "text/html")));
  auto album = std::make_unique<ST_PERLISTRECORD>();
  album->strName = "旅行";
  album->strAddr = "http://photo.blog.sina.com.cn/category/u/1/s/101";
  app_.albumList.Append(std::move(album));
  app_.nListType = LT_SINA_BLOG;
  // The stop comes while page 1's second picture is added.
  host_.onStatus = [&](StatusLine line, const std::string& text) {
    if (line == StatusLine::Progress && text.find("2张") != std::string::npos) {
      app_.nDownState = DOWN_STOP;
    }
  };
  Pictures(0);
  EXPECT_EQ(album_->list.size(), 2u);
  EXPECT_TRUE(web_.RequestsTo("/page2").empty());
}

}  // namespace
}  // namespace albumora
