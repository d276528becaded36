// SPDX-License-Identifier: GPL-3.0-or-later
// The shared page walk ends a list a site would page for ever: the same page again, pages that
// only repeat what the list holds, or too many pages. Run through the ZOL adapters, whose pages
// link a further page as long as the site says so, on the real album-list job and a recording
// picture side.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeHost.h"
#include "ScratchDir.h"
#include "TestWeb.h"
#include "albumlist/AlbumListJob.h"
#include "fs/ProgramFolder.h"
#include "model/AppState.h"
#include "net/HttpEngine.h"
#include "sites/Registry.h"
#include "sites/Walk.h"

namespace albumora {
namespace {

using testweb::Reply;
using testweb::Request;
using testweb::TestWeb;
using testweb::ToGbk;

// How the endless site answers page n: always the same page, the same item under a page
// heading that changes, or a new item on every page.
enum class Endless { SamePage, SameItems, NewItems };

// A ZOL page with one item and a live "下一页" link.
std::string ZolPage(Endless kind, int n) {
  const std::string item = kind == Endless::NewItems ? std::to_string(n) : "1";
  const std::string heading =
      kind == Endless::SamePage ? "" : "<p>第" + std::to_string(n) + "页</p>";
  return ToGbk("<title>小张的全部相册</title>" + heading + "<li id=\"pic_" + item +
               "\"><a href=\"/m/a" + item + "_1.html\" title=\"相册" + item + "\"><img src=\"" +
               "http://img.zol.com.cn/t_s100/p" + item + ".jpg\"></a><span class=\"K_11\">" +
               "3张</span></li><a class=\"nor\">下一页</a>");
}

void ServeEndless(TestWeb& web, Endless kind, const std::string& prefix) {
  web.RoutePrefix("album.zol.com.cn", prefix, [kind, prefix](const Request& request) {
    const int n = std::stoi(request.path.substr(prefix.size()));
    return Reply::Text(ZolPage(kind, n), "text/html");
  });
}

// A picture side that records its pictures and tells the page walk about each.
class Pictures : public PictureContext {
 public:
  bool Halted() const override { return false; }
  JobTexts& Texts() override { return texts; }
  User& user() override { return host; }
  ST_PERLISTRECORD& Album() override { return album; }
  bool AddPicture(const std::string& address, const std::string& description,
                  const std::string&) override {
    if (WalkNotesItem(address + '\n' + description)) addresses.push_back(address);
    return true;
  }
  size_t PictureCount() const override { return addresses.size(); }
  const NameRule& Naming() const override { return rule; }
  uint32_t PageCap() const override { return cap; }

  ST_PERLISTRECORD album;
  JobTexts texts;
  testweb::FakeHost host;
  std::vector<std::string> addresses;
  NameRule rule{};
  uint32_t cap = 10000;
};

struct EndlessCase {
  const char* name;
  Endless kind;
  uint32_t cap;
  size_t items;         // albums or pictures the list ends with
  size_t pages;         // pages fetched
  const char* message;  // the one message, before the address of the last page fetched
};

// The same page again is refused before it adds anything; a page of known items is read once
// (its repeats stay); a site of always new items ends at the cap.
const EndlessCase kCases[] = {
    {"SamePage", Endless::SamePage, 10000, 1, 2, "第2页与前一页相同，已停止翻页："},
    {"SameItems", Endless::SameItems, 10000, 2, 2, "第2页没有新的相册，已停止翻页："},
    {"NewItemsUpToTheCap", Endless::NewItems, 4, 4, 4, "已翻到第4页（页数上限），已停止翻页："},
};

class EndlessSite : public ::testing::TestWithParam<EndlessCase> {
 protected:
  void SetUp() override {
    InitProgramFolder(scratch_.Dir());
    SetEngineProxy(web_.ProxyUrl());
  }
  void TearDown() override { SetEngineProxy(""); }

  testweb::ScratchDir scratch_{"walk"};
  TestWeb web_;
};

TEST_P(EndlessSite, AlbumListEndsWithOneMessage) {
  const EndlessCase& c = GetParam();
  ServeEndless(web_, c.kind, "/m/album_");
  testweb::FakeHost host;
  AppState app{host};
  app.bReady = 1;
  app.nSite = SITE_ZOL;
  app.grid.Reset(false);
  app.config.albumListPageCap = c.cap;
  {
    JobListContext context(app);
    FormOf(SITE_ZOL, LT_NONE)->albumList("m", context);
  }
  EXPECT_EQ(app.albumList.size(), c.items);
  EXPECT_EQ(web_.Requests().size(), c.pages);
  const std::string last = "http://album.zol.com.cn/m/album_" + std::to_string(c.pages) + ".html";
  EXPECT_EQ(host.messages, std::vector<std::string>{c.message + last});
}

TEST_P(EndlessSite, PictureListEndsWithOneMessage) {
  const EndlessCase& c = GetParam();
  ServeEndless(web_, c.kind, "/m/a1_");
  Pictures pictures;
  pictures.album.strAddr = "/m/a1_";
  pictures.cap = c.cap;
  FormOf(SITE_ZOL, LT_NONE)->pictureList(pictures);
  EXPECT_EQ(pictures.addresses.size(), c.items);
  EXPECT_EQ(web_.Requests().size(), c.pages);
  std::string message = c.message;
  if (c.kind == Endless::SameItems) message = "第2页没有新的图片，已停止翻页：";
  const std::string last = "http://album.zol.com.cn/m/a1_" + std::to_string(c.pages) + ".html";
  EXPECT_EQ(pictures.host.messages, std::vector<std::string>{message + last});
}

INSTANTIATE_TEST_SUITE_P(Walk, EndlessSite, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace albumora
