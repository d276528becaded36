// SPDX-License-Identifier: GPL-3.0-or-later
// Baidu albums and Tieba: the flows the case folders cannot express (blocks of 100, stops).
#include <gtest/gtest.h>

#include <memory>

#include <string>
#include <vector>

#include "FakeHost.h"
#include "ScratchDir.h"
#include "TestWeb.h"
#include "albumlist/AlbumListJob.h"
#include "albumlist/AlbumRows.h"
#include "download/DownloadJob.h"
#include "fs/FileNames.h"
#include "fs/ProgramFolder.h"
#include "model/AppState.h"
#include "net/CookieStore.h"
#include "net/HttpEngine.h"
#include "sites/Registry.h"

namespace albumora {
namespace {

using testweb::Reply;
using testweb::Request;
using testweb::TestWeb;

// A host that can act when a row is added or a picture is collected.
class HookHost : public testweb::FakeHost {
 public:
  std::function<void()> onRow;
  std::function<void()> onProgress;
  void GridRowAdded(int row) override {
    FakeHost::GridRowAdded(row);
    if (onRow) onRow();
  }
  void SetStatus(StatusLine line, const std::string& text) override {
    FakeHost::SetStatus(line, text);
    if (line == StatusLine::Progress && onProgress && !text.empty()) onProgress();
  }
};

// n picture records of the album interface, named from first on.
std::string AlbumBlock(int first, int n) {
  std::string json = R"({"errno":0,"data":{"list":[)";
  for (int i = first; i < first + n; ++i) {
    if (i > first) json += ",";
    json += R"({"picture_name":"p)" + std::to_string(i) +
            R"(","img_src":"http:\/\/imgsrc.baidu.com\/album\/s%3D80\/sign=1\/)" +
            std::to_string(i) + R"(.jpg"})";
  }
  return json + "]}}";
}

class Baidu : public ::testing::Test {
 protected:
  void SetUp() override {
    InitProgramFolder(scratch_.Dir());
    SetEngineProxy(web_.ProxyUrl());
    CookieStore::Shared().Clear();
    app_.bReady = 1;
    app_.nSite = SITE_BAIDU;
    app_.grid.Reset(false);
    listFolder_ = scratch_.Folder();
  }
  void TearDown() override { SetEngineProxy(""); }

  void Pictures(int nListType, const std::string& addr, int count) {
    ST_PERLISTRECORD album;
    album.strName = "album";
    album.strAddr = addr;
    album.nCount = count;
    PublishAlbum(album, app_);
    app_.nListType = nListType;
    app_.nDownState = DOWN_RUNNING;
    album_ = std::make_unique<AlbumState>(app_, static_cast<int>(app_.albumList.size()) - 1,
                                          listFolder_);
    JobPictureContext context(app_, *album_);
    SiteAdapters().PictureList(SITE_BAIDU, nListType)(context);
  }

  testweb::ScratchDir scratch_{"baidu"};
  TestWeb web_;
  HookHost host_;
  AppState app_{host_};
  std::string listFolder_;  // where the album listed on its own lands
  std::unique_ptr<AlbumState> album_;
};

TEST_F(Baidu, AlbumBlocksMoveTheOffsetByTheirRecords) {
  web_.RoutePattern("xiangce.baidu.com", "&pn=0&",
                    [](const Request&) { return Reply::Text(AlbumBlock(0, 100)); });
  web_.RoutePattern("xiangce.baidu.com", "&pn=100&",
                    [](const Request&) { return Reply::Text(AlbumBlock(100, 37)); });
  web_.RoutePattern("xiangce.baidu.com", "&pn=137&",
                    [](const Request&) { return Reply::Text(AlbumBlock(137, 0)); });
  Pictures(LT_BAIDU_ALBUM, "a1f0", 137);
  ASSERT_EQ(album_->list.size(), 137u);
  EXPECT_EQ(album_->list.arrUrl[136], "http://imgsrc.baidu.com/album/pic/item/136.jpg");
  const std::vector<Request> sent = web_.Requests();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_NE(sent[2].query.find("&pn=137&"), std::string::npos) << sent[2].query;
  EXPECT_TRUE(host_.questions.empty());
}

TEST_F(Baidu, StoppingATiebaDownloadEndsAfterTheCurrentPicture) {
  app_.strSiteParam1 = "abc";
  web_.RoutePattern("tieba.baidu.com", "^/photo/g/bw/picture/list\\?", [](const Request&) {
    return Reply::Text(R"({"data":{"pic_list":[{"pic_id":"a1","descr":"x"},)"
                       R"({"pic_id":"a2","descr":"y"}]}})");
  });
  host_.onProgress = [this] { app_.nDownState = DOWN_STOP; };
  Pictures(LT_BAIDU_TIEBA, "2001", -1);
  ASSERT_EQ(album_->list.size(), 1u);
  EXPECT_EQ(album_->list.arrUrl[0], "http://imgsrc.baidu.com/forum/pic/item/a1.jpg");
  EXPECT_EQ(web_.Requests().size(), 1u);
}

TEST_F(Baidu, StoppingTheTiebaListEndsAfterTheCurrentThread) {
  web_.RoutePattern("tieba.baidu.com", "^/photo/g\\?", [](const Request&) {
    return Reply::Text(
        R"({"data":{"html":"<li class=\"grbm_ele_wrapper\"><a href=\"\/p\/1\">)"
        R"(<span class=\"grbm_ele_pic_amount\">2<\/span><a title=\"a\"><li class=\"grbm_ele_wrapper\">)"
        R"(<a href=\"\/p\/2\"><span class=\"grbm_ele_pic_amount\">3<\/span><a title=\"b\">"}})");
  });
  host_.onRow = [this] { app_.nListState = LIST_STOP; };
  host_.address = "http://tieba.baidu.com/f?kw=abc";
  app_.nListState = LIST_RUNNING;
  RunAlbumList(app_, SiteAdapters());
  ASSERT_EQ(app_.albumList.size(), 1u);
  EXPECT_EQ(app_.albumList[0].strAddr, "1");
  EXPECT_EQ(web_.Requests().size(), 1u);
}

}  // namespace
}  // namespace albumora
