// SPDX-License-Identifier: GPL-3.0-or-later
// Taobao and Tmall: what the case folders cannot show — the diagnostic copies in the program
// folder, the sales number in file names, and reading an item list past a filter form.
#include <gtest/gtest.h>

#include <memory>

#include <filesystem>
#include <string>

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
using testweb::ToGbk;

using testweb::Serve;

std::string CaseFile(const std::string& name) {
  return ReadFile(std::filesystem::path(ALBUMORA_SITE_CASES) / "taobao" / name);
}

using testweb::ReadUnicodeFile;

class Taobao : public ::testing::Test {
 protected:
  void SetUp() override {
    InitProgramFolder(home_);
    SetEngineProxy(web_.ProxyUrl());
    CookieStore::Shared().Clear();
    app_.bReady = 1;
    app_.grid.Reset(false);
    app_.nSite = SITE_TAOBAO;
  }
  void TearDown() override { SetEngineProxy(""); }

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
    SiteAdapters().PictureList(SITE_TAOBAO, app_.nListType.load())(context);
  }
  void ServeShop(const std::string& utf8Page) {
    web_.RoutePattern("someshop.taobao.com", "pageNum=1$",
                      Serve(Reply::Text(ToGbk(utf8Page), "text/html")));
  }

  testweb::ScratchDir scratch_{"taobao"};
  std::filesystem::path home_ = scratch_.Dir() / "home";
  TestWeb web_;
  testweb::FakeHost host_;
  AppState app_{host_};
  std::unique_ptr<AlbumState> album_;
};

// One item of a shop's list, with its sales number.
std::string Item(int id, const std::string& name, int sales) {
  return "<dl class=\"item\"><a href=\"http://item.taobao.com/item.htm?id=" + std::to_string(id) +
         "\"><img src=\"http://img.taobaocdn.com/" + std::to_string(id) +
         ".jpg_240x240.jpg\"/></a><a class=\"item-name\" href=\"#\">" + name +
         "</a><span class=\"sale-num\">" + std::to_string(sales) + "</span></dl>\n";
}

TEST_F(Taobao, AShopPageWithoutItemsLeavesItsTextInTheProgramFolder) {
  const std::string page =
      "<html><script>var c = {nickName:'shop'};</script><div>排序：<a>销量</a></div>"
      "<ul class=\"goods\"><li>宝贝</li></ul></html>";
  ServeShop(page);
  List("http://someshop.taobao.com/");
  EXPECT_EQ(app_.albumList.size(), 0u);
  EXPECT_TRUE(host_.messages.empty());
  EXPECT_EQ(ReadUnicodeFile(ProgramFile("taobao.tmp")), page);
  EXPECT_FALSE(std::filesystem::exists(ProgramFile("log.err")));
}

TEST_F(Taobao, AnItemPageWithoutDescriptionHostLeavesLogErr) {
  const std::string page = "<html><title>下架了-淘宝网</title><p>此宝贝已下架</p></html>";
  web_.Route("item.taobao.com", "/item.htm", Reply::Text(ToGbk(page), "text/html"));
  List("http://item.taobao.com/item.htm?id=5");
  ASSERT_EQ(app_.albumList.size(), 1u);
  Pictures(0);
  EXPECT_EQ(album_->list.size(), 0u);
  EXPECT_EQ(ReadUnicodeFile(ProgramFile("log.err")), page);
  ASSERT_EQ(host_.messages.size(), 1u);
  EXPECT_EQ(host_.messages[0], "获取信息出错(2),请将程序目录下的log.err文件发给作者,以便修改");
}

TEST_F(Taobao, FilterFormsAboveTheItemsCutNothing) {
  // Two filter forms with submit buttons stand between the sort bar and the items; the page
  // jump below the items ends the list.
  const std::string form = "<form><input/><button type=\"submit\">确定</button></form>\n";
  ServeShop("<div>排序：" + form + form + "</div>" + Item(1, "甲", 3) + Item(2, "乙", 4) +
            "<div class=\"page\">" + form + "</div>" + Item(9, "推荐", 5));
  List("http://someshop.taobao.com/");
  ASSERT_EQ(app_.albumList.size(), 2u);
  EXPECT_EQ(app_.albumList[0].strName, "甲");
  EXPECT_EQ(app_.albumList[1].strName, "乙");
  EXPECT_EQ(app_.albumList[1].strAddr, "http://item.taobao.com/item.htm?id=2");
}

TEST_F(Taobao, TheSalesNumberNamesFilesThroughItsPlaceholder) {
  ServeShop("<div>排序：</div>" + Item(1, "甲", 25) + Item(2, "乙", 1203));
  List("http://someshop.taobao.com/");
  ASSERT_EQ(app_.albumList.size(), 2u);
  EXPECT_EQ(app_.albumList[1].nNum2, 1203);

  web_.Route("item.taobao.com", "/item.htm",
             Reply::Text(CaseFile("shop-list-and-item-pictures/item.html"), "text/html"));
  NameRule& rule = app_.Rule();
  rule.byNameMode = 1;
  SetField(rule.szPrefix, "?5_");
  // The "main pictures only" option changes nothing: the strip is read as without it.
  rule.wOptions = OPT_TAOBAO_MAIN;
  Pictures(1);
  ASSERT_EQ(album_->list.size(), 3u);
  EXPECT_EQ(album_->list.arrName[0], "1203_1.jpg");
  EXPECT_EQ(album_->list.arrName[2], "1203_3.jpg");
  EXPECT_EQ(host_.messages.back(), "宝贝图片信息获取完毕");
}

}  // namespace
}  // namespace albumora
