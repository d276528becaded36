// SPDX-License-Identifier: GPL-3.0-or-later
// Renren member albums: the choice between the two picture-list methods.
#include <gtest/gtest.h>

#include <memory>

#include <filesystem>
#include <string>

#include "FakeHost.h"
#include "ScratchDir.h"
#include "TestWeb.h"
#include "download/DownloadJob.h"
#include "download/Naming.h"
#include "fs/FileNames.h"
#include "fs/ProgramFolder.h"
#include "model/AppState.h"
#include "net/HttpEngine.h"
#include "sites/Registry.h"

namespace albumora {
namespace {

using testweb::Reply;
using testweb::TestWeb;

constexpr const char* kAlbum = "http://photo.renren.com/photo/200001/album-301";
constexpr const char* kFirstPicture = "http://fmn.rrimg.com/original_new.jpg";

class RenrenPictures : public ::testing::Test {
 protected:
  void SetUp() override {
    InitProgramFolder(scratch_.Dir() / "home");
    SetEngineProxy(web_.ProxyUrl());
    web_.Route("photo.renren.com", "/photo/200001/album-301",
               Reply::Text("<div class=\"ablum-infor\"><h1>海边<span>(1张)</span></h1></div>"
                           "<div data-info=\"{album:'301'}\"><a href=\"http://photo.renren.com/"
                           "photo/200001/photo-1/ajax\"></a></div>",
                           "text/html"));
    web_.Route("photo.renren.com", "/photo/200001/album-301/bypage/ajax",
               Reply::Text("{\"photoList\":[{\"position\":1,\"largeUrl\":\"http:\\/\\/fmn.rrimg."
                           "com\\/original_new.jpg\",\"title\":\"\"}]}",
                           "application/json"));
    web_.Route("photo.renren.com", "/photo/200001/photo-1/ajax",
               Reply::Text("{\"list\":[{\"position\":1,\"largeurl\":\"http:\\/\\/fmn.rrimg.com\\/"
                           "old.jpg\",\"link\":\"\"}]}",
                           "application/json"));
    app_.bReady = 1;
    app_.nSite = SITE_RENREN;
    app_.nListType = LT_RENREN;
    auto album = std::make_unique<ST_PERLISTRECORD>();
    album->strName = "海边";
    album->strAddr = kAlbum;
    app_.albumList.Append(std::move(album));
    listFolder_ = save_;
  }
  void TearDown() override { SetEngineProxy(""); }

  void Run() {
    app_.nDownState = DOWN_RUNNING;
    album_ = std::make_unique<AlbumState>(app_, 0, listFolder_);
    JobPictureContext context(app_, *album_);
    SiteAdapters().PictureList(SITE_RENREN, LT_RENREN)(context);
  }

  testweb::ScratchDir scratch_{"renren"};
  std::string save_ = (scratch_.Dir() / "save").string() + kPathSep;
  TestWeb web_;
  testweb::FakeHost host_;
  AppState app_{host_};
  std::string listFolder_;  // where the album listed on its own lands
  std::unique_ptr<AlbumState> album_;
};

// The skip rule meets the first picture of an earlier download: the first method ends with an
// empty list because the job has enough, so the second method must not read the album again.
TEST_F(RenrenPictures, EnoughAfterTheFirstMethodSkipsTheSecond) {
  std::filesystem::create_directories(save_ + "海边");
  WriteMarker(kFirstPicture, save_ + "海边" + kPathSep);
  app_.Rule().wOptions = static_cast<uint16_t>(app_.Rule().wOptions | OPT_SKIP_OLD);
  Run();
  EXPECT_TRUE(album_->list.empty());
  EXPECT_EQ(app_.nDownState.load(), DOWN_ENOUGH);
  EXPECT_EQ(web_.RequestsTo("/photo-1/ajax").size(), 0u);
}

// Without the marker the same first method lists the picture; with a first method that finds
// nothing, the chained data is read.
TEST_F(RenrenPictures, SecondMethodOnlyWhenTheFirstFoundNothing) {
  Run();
  ASSERT_EQ(album_->list.size(), 1u);
  EXPECT_EQ(album_->list.arrUrl[0], kFirstPicture);
  EXPECT_EQ(web_.RequestsTo("/photo-1/ajax").size(), 0u);
  // The test web answers every page number with the same photos: the repeat ends the list.
  EXPECT_EQ(web_.RequestsTo("/bypage/ajax").size(), 2u);

  TestWeb empty;
  SetEngineProxy(empty.ProxyUrl());
  empty.Route("photo.renren.com", "/photo/200001/album-301",
              Reply::Text("<div class=\"ablum-infor\"><h1>海边<span></span></h1></div>"
                          "<div data-info=\"{album:'301'}\"><a href=\"http://photo.renren.com/"
                          "photo/200001/photo-1/ajax\"></a></div>",
                          "text/html"));
  empty.Route("photo.renren.com", "/photo/200001/photo-1/ajax",
              Reply::Text("{\"list\":[{\"position\":1,\"largeurl\":\"http:\\/\\/fmn.rrimg.com\\/"
                          "old.jpg\",\"link\":\"\"}]}",
                          "application/json"));
  listFolder_ = save_;
  Run();
  ASSERT_EQ(album_->list.size(), 1u);
  EXPECT_EQ(album_->list.arrUrl[0], "http://fmn.rrimg.com/old.jpg");
}

}  // namespace
}  // namespace albumora
