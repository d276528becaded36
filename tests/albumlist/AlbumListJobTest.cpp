// SPDX-License-Identifier: GPL-3.0-or-later
#include "albumlist/AlbumListJob.h"
#include "albumlist/AlbumRows.h"
#include "app/Commands.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include "ScratchDir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#include "FakeHost.h"
#include "TestWeb.h"
#include "fs/FileNames.h"
#include "fs/ProgramFolder.h"
#include "model/AppState.h"
#include "model/Settings.h"
#include "net/HttpEngine.h"
#include "sites/Registry.h"

namespace albumora {
namespace {

using testweb::FakeHost;

// What the stand-in adapter saw, and how many albums it reports per list type.
struct AdapterCallSeen {
  int site;
  int listType;
  std::string address;
  std::string ownerBefore;
};
std::mutex gMutex;
std::vector<AdapterCallSeen> gCalls;
std::map<int, int> gAlbumsByListType;
int gSite = -1;
int gListType = LT_NONE;
std::string gCoverBase;  // non-empty: album i's cover is gCoverBase + i + ".jpg"
std::atomic<int> gPublished{0};

void StandInAdapter(const std::string& address, ListContext& list) {
  {
    std::lock_guard lock(gMutex);
    gCalls.push_back({gSite, gListType, address, list.Texts().strOwner});
  }
  const int count = gAlbumsByListType[gListType];
  for (int i = 0; i < count; ++i) {
    ST_PERLISTRECORD local;
    local.strName = "album";
    local.nCount = i;
    if (!gCoverBase.empty()) local.strCover = gCoverBase + std::to_string(i) + ".jpg";
    if (!list.Publish(local)) break;
    ++gPublished;
  }
}

// The registry's plans, with the stand-in in place of the album-list adapter of every form.
class StandIns : public Adapters {
 public:
  AlbumListFn AlbumList(int nSite, int nListType) const override {
    if (FormOf(nSite, nListType) == nullptr) return nullptr;
    gSite = nSite;
    gListType = nListType;
    return StandInAdapter;
  }
};

class AlbumListJob : public ::testing::Test {
 protected:
  void SetUp() override {
    gCalls.clear();
    gAlbumsByListType.clear();
    gCoverBase.clear();
    gPublished = 0;
    InitProgramFolder(home_);
    app_.bReady = 1;
  }
  void TearDown() override { SetEngineProxy(""); }

  ListOutcome Run(int site, const std::string& address) {
    host_.address = address;
    app_.nSite = site;
    app_.nListState = LIST_RUNNING;
    app_.nListType = LT_NONE;
    return RunAlbumList(app_, standIns_);
  }

  std::string RecentAddress(size_t i) const { return FieldText(app_.settings.recentAddr[i]); }

  StandIns standIns_;
  testweb::ScratchDir scratch_{"job"};
  std::filesystem::path home_ = scratch_.Dir();
  FakeHost host_;
  AppState app_{host_};
};

TEST_F(AlbumListJob, EmptyAddressIsRefusedBeforeTheBusyForm) {
  app_.strOwner = "old";
  EXPECT_EQ(Run(SITE_QZONE, "  \t "), ListOutcome::Refused);
  EXPECT_EQ(host_.messages, std::vector<std::string>{kEmptyAddressMessage});
  EXPECT_EQ(app_.nListState.load(), LIST_IDLE);
  EXPECT_TRUE(host_.listForms.empty());
  EXPECT_EQ(host_.gridResets, std::vector<bool>{false});
  EXPECT_EQ(app_.strOwner, "");
  EXPECT_TRUE(gCalls.empty());
}

TEST_F(AlbumListJob, BareTextForOtherSitesIsRefusedThenFinished) {
  EXPECT_EQ(Run(SITE_BAIDU, "xiangce.baidu.com/someone"), ListOutcome::Refused);
  EXPECT_EQ(host_.messages, std::vector<std::string>{kEmptyAddressMessage});
  EXPECT_TRUE(gCalls.empty());
  EXPECT_EQ(host_.LastStatus(StatusLine::ListTitle), "相册列表(共0个)");
  EXPECT_EQ(host_.LastStatus(StatusLine::Main), "获取相册列表完成，共0个");
  EXPECT_EQ(host_.listForms, (std::vector<std::pair<bool, bool>>{{true, false}, {false, false}}));
  EXPECT_EQ(app_.nListState.load(), LIST_IDLE);
}

TEST_F(AlbumListJob, PersonalAlbumsFoundSkipTheGroupAndAreRemembered) {
  gAlbumsByListType[LT_QZONE_PERSONAL] = 2;
  EXPECT_EQ(Run(SITE_QZONE, " http://user.qzone.qq.com/10001#!/app=4 "), ListOutcome::Ran);
  ASSERT_EQ(gCalls.size(), 1u);
  EXPECT_EQ(gCalls[0].address, "10001");
  EXPECT_EQ(app_.nListType.load(), LT_QZONE_PERSONAL);
  EXPECT_EQ(app_.strOwner, std::string("10001") + kPathSep);
  EXPECT_EQ(app_.albumList.size(), 2u);
  EXPECT_TRUE(host_.messages.empty());
  EXPECT_EQ(host_.LastStatus(StatusLine::ListTitle), "相册列表(共2个)");
  EXPECT_EQ(host_.LastStatus(StatusLine::Main), "获取相册列表完成，共2个");
  EXPECT_EQ(host_.listForms.back(), std::make_pair(false, true));
  EXPECT_EQ(host_.remembered, std::vector<std::string>{"http://user.qzone.qq.com/10001#!/app=4"});
  EXPECT_EQ(RecentAddress(0), "http://user.qzone.qq.com/10001#!/app=4");
  // The record was written: a fresh load sees the address.
  SettingsRecord reloaded;
  LoadSettings(reloaded, ProgramFile("soft.dat"));
  EXPECT_EQ(FieldText(reloaded.recentAddr[0]), "http://user.qzone.qq.com/10001#!/app=4");

  // The same address again is not added twice; the list is rebuilt from scratch.
  host_.remembered.clear();
  Run(SITE_QZONE, "HTTP://user.qzone.qq.com/10001#!/app=4");
  EXPECT_TRUE(host_.remembered.empty());
  EXPECT_EQ(app_.albumList.size(), 2u);
}

TEST_F(AlbumListJob, NoPersonalAlbumTriesTheGroupThenShowsTheQzoneMessage) {
  EXPECT_EQ(Run(SITE_QZONE, "10001"), ListOutcome::Ran);
  ASSERT_EQ(gCalls.size(), 2u);
  EXPECT_EQ(gCalls[1].listType, LT_QZONE_GROUP);
  EXPECT_EQ(gCalls[1].address, "10001");
  EXPECT_EQ(gCalls[1].ownerBefore, "10001");
  EXPECT_EQ(app_.nListType.load(), LT_QZONE_GROUP);
  EXPECT_EQ(host_.messages,
            std::vector<std::string>{NormalizeAddress(SITE_QZONE, "1").emptyMessage});
  EXPECT_EQ(host_.LastStatus(StatusLine::ListTitle), "相册列表(共0个)");
  EXPECT_TRUE(host_.remembered.empty());
  EXPECT_EQ(RecentAddress(0), "");
}

TEST_F(AlbumListJob, GroupAlbumsFoundAfterEmptyPersonalList) {
  gAlbumsByListType[LT_QZONE_GROUP] = 1;
  Run(SITE_QZONE, "20002");
  EXPECT_EQ(app_.nListType.load(), LT_QZONE_GROUP);
  EXPECT_TRUE(host_.messages.empty());
  EXPECT_EQ(host_.remembered, std::vector<std::string>{"20002"});
}

TEST_F(AlbumListJob, SecureAddressIsTakenInItsPlainForm) {
  gAlbumsByListType[LT_BAIDU_ALBUM] = 1;
  EXPECT_EQ(Run(SITE_BAIDU, "https://xiangce.baidu.com/someone"), ListOutcome::Ran);
  ASSERT_EQ(gCalls.size(), 1u);
  EXPECT_EQ(gCalls[0].address, "http://xiangce.baidu.com/someone");
  // The typed text is what is remembered.
  EXPECT_EQ(RecentAddress(0), "https://xiangce.baidu.com/someone");
}

TEST_F(AlbumListJob, TiebaOwnerIsDecodedAndEndsInTheSeparator) {
  gAlbumsByListType[LT_BAIDU_TIEBA] = 1;
  Run(SITE_BAIDU, "http://tieba.baidu.com/f?kw=%C3%C0%C5%AE");
  ASSERT_EQ(gCalls.size(), 1u);
  EXPECT_EQ(gCalls[0].address, "%C3%C0%C5%AE");
  EXPECT_EQ(app_.strSiteParam1, "%C3%C0%C5%AE");
  EXPECT_EQ(app_.strOwner, std::string("美女") + kPathSep);
  EXPECT_EQ(app_.nListType.load(), LT_BAIDU_TIEBA);
}

TEST_F(AlbumListJob, SiteMessagesWhenNothingIsFound) {
  Run(SITE_SINA, "http://weibo.com/u/1");
  EXPECT_EQ(host_.messages,
            std::vector<std::string>{NormalizeAddress(SITE_SINA, "http://x").emptyMessage});
  host_.messages.clear();
  Run(SITE_RENREN, "http://zhan.renren.com/x");
  EXPECT_EQ(host_.messages,
            std::vector<std::string>{
                NormalizeAddress(SITE_RENREN, "http://zhan.renren.com/x").emptyMessage});
  host_.messages.clear();
  Run(SITE_MOKO, "http://www.moko.cc/x/");
  EXPECT_TRUE(host_.messages.empty());
}

TEST_F(AlbumListJob, BabytreeSecondReaderWhenTheFirstFindsNothing) {
  gAlbumsByListType[LT_BABYTREE_SECOND] = 3;
  Run(SITE_BABYTREE, "http://home.babytree.com/u77/journal");
  ASSERT_EQ(gCalls.size(), 2u);
  EXPECT_EQ(gCalls[1].address, "77");
  EXPECT_EQ(app_.nListType.load(), LT_BABYTREE_SECOND);
  EXPECT_EQ(app_.albumList.size(), 3u);
  EXPECT_EQ(app_.albumList[2].strName, "album (2)");

  gCalls.clear();
  gAlbumsByListType[LT_BABYTREE_FIRST] = 1;
  Run(SITE_BABYTREE, "http://home.babytree.com/u77/journal");
  EXPECT_EQ(gCalls.size(), 1u);
  EXPECT_EQ(app_.nListType.load(), LT_BABYTREE_FIRST);
}

TEST_F(AlbumListJob, SiteValuesOfEarlierJobsStayOwnerTextsAreEmptied) {
  app_.strSiteParam1 = "kept";
  app_.strOwnerTitle = "old title";
  gAlbumsByListType[LT_NONE] = 1;
  Run(SITE_ZOL, "http://album.zol.com.cn/someone/");
  EXPECT_EQ(app_.strSiteParam1, "kept");
  EXPECT_EQ(app_.strOwnerTitle, "");
  EXPECT_EQ(app_.strOwner, "");
  EXPECT_EQ(gCalls.at(0).address, "someone");
}

TEST_F(AlbumListJob, LongAddressIsUsedButNeverRemembered) {
  gAlbumsByListType[LT_QZONE_PERSONAL] = 1;
  const std::string address = "http://user.qzone.qq.com/10001?" + std::string(400, 'x');
  Run(SITE_QZONE, address);
  EXPECT_EQ(gCalls.at(0).address, "10001");
  EXPECT_EQ(app_.albumList.size(), 1u);
  EXPECT_TRUE(host_.remembered.empty());
  EXPECT_EQ(RecentAddress(0), "");
}

TEST_F(AlbumListJob, RenrenUserNameIsLookedUpFirst) {
  testweb::TestWeb web;
  web.Route("www.renren.com", "/someuser",
            testweb::Reply::Text("<script>var x = {pid: '778899', n: 1};</script>"));
  web.Route("page.renren.com", "/somepage",
            testweb::Reply::Text("<script>profile_owner = 445566 ;</script>"));
  SetEngineProxy(web.ProxyUrl());
  gAlbumsByListType[LT_RENREN] = 1;

  Run(SITE_RENREN, "http://www.renren.com/someuser/album");
  ASSERT_EQ(gCalls.size(), 1u);
  EXPECT_EQ(gCalls[0].address, "778899");
  Run(SITE_RENREN, "http://page.renren.com/somepage/channel-photo");
  ASSERT_EQ(gCalls.size(), 2u);
  EXPECT_EQ(gCalls[1].address, "445566");
  EXPECT_EQ(web.RequestsTo("renren.com/").size(), 2u);
  // Digits need no lookup.
  Run(SITE_RENREN, "http://www.renren.com/profile.do?id=123456");
  EXPECT_EQ(gCalls.back().address, "123456");
  EXPECT_EQ(web.RequestsTo("renren.com/").size(), 2u);
}

TEST_F(AlbumListJob, RenrenLookupThatCannotFetchCallsNoAdapter) {
  testweb::TestWeb web;
  testweb::Reply broken = testweb::Reply::Text("pid: '1'");
  broken.contentLength = 4096;  // the connection closes short of the announced body
  web.Route("www.renren.com", "/someuser", broken);
  SetEngineProxy(web.ProxyUrl());
  Run(SITE_RENREN, "http://www.renren.com/someuser");
  EXPECT_TRUE(gCalls.empty());
  EXPECT_EQ(app_.nListType.load(), LT_RENREN);
  EXPECT_EQ(host_.LastStatus(StatusLine::ListTitle), "相册列表(共0个)");
}

TEST_F(AlbumListJob, CommandStartsStopsAndRefuses) {
  // Before start-up is done nothing happens.
  app_.bReady = 0;
  ListCommand(app_, SITE_QZONE, standIns_);
  EXPECT_EQ(app_.nListState.load(), LIST_IDLE);
  app_.bReady = 1;

  // A running job only gets a stop request.
  app_.nListState = LIST_RUNNING;
  ListCommand(app_, SITE_BAIDU, standIns_);
  EXPECT_EQ(app_.nListState.load(), LIST_STOP);
  app_.nListState = LIST_IDLE;

  // A view switch in progress keeps the list as it is.
  app_.nModeSwitch = 1;
  ListCommand(app_, SITE_QZONE, standIns_);
  EXPECT_EQ(app_.nListState.load(), LIST_IDLE);
  app_.nModeSwitch = 0;

  // A real start: the job runs on its own thread and returns the state to idle.
  gAlbumsByListType[LT_NONE] = 1;
  host_.address = "http://album.zol.com.cn/someone/";
  app_.nListType = 5;
  ListCommand(app_, SITE_ZOL, standIns_);
  EXPECT_EQ(app_.nSite.load(), SITE_ZOL);
  while (app_.nListState.load() != LIST_IDLE) std::this_thread::yield();
  EXPECT_EQ(app_.nListType.load(), LT_NONE);
  EXPECT_EQ(app_.albumList.size(), 1u);
}

// The thumbnail wall: the list goes on while covers are fetched several at a time, and the
// covers are loaded into their cells in cell order. Each cover answer is held until every album
// was published and a second cover request has been in flight (bounded waits, so a job that fetched
// covers one by one before going on fails the checks instead of hanging).
TEST_F(AlbumListJob, CoversLoadSeveralAtATimeInCellOrderWhileTheListGoesOn) {
  constexpr int kAlbums = 9;
  testweb::TestWeb web;
  std::mutex mutex;
  std::condition_variable changed;
  int inFlight = 0;
  int mostInFlight = 0;
  bool listedFirst = true;
  web.RoutePrefix("img.example.com", "/c/", [&](const testweb::Request&) {
    std::unique_lock lock(mutex);
    mostInFlight = std::max(mostInFlight, ++inFlight);
    changed.notify_all();
    changed.wait_for(lock, std::chrono::seconds(5),
                     [&] { return mostInFlight >= 2 && gPublished.load() == kAlbums; });
    if (gPublished.load() != kAlbums) listedFirst = false;
    --inFlight;
    return testweb::Reply::Text("JPEG", "image/jpeg");
  });
  SetEngineProxy(web.ProxyUrl());
  gAlbumsByListType[LT_QZONE_PERSONAL] = kAlbums;
  gCoverBase = "http://img.example.com/c/";
  host_.thumbnailResult = 4;
  app_.bPreview = true;
  EXPECT_EQ(Run(SITE_QZONE, "http://user.qzone.qq.com/10001"), ListOutcome::Ran);

  EXPECT_TRUE(listedFirst);
  EXPECT_GE(mostInFlight, 2);
  EXPECT_LE(mostInFlight, 6);
  std::vector<std::string> expected;
  for (int i = 0; i < kAlbums; ++i) {
    expected.push_back((home_ / "tmp" / (std::to_string(i) + ".jpg")).string());
    EXPECT_EQ(app_.albumList[static_cast<size_t>(i)].nImage, 4);
    EXPECT_EQ(app_.grid.Cell(i / GridModel::kThumbsPerRow, i % GridModel::kThumbsPerRow).image, 4);
  }
  EXPECT_EQ(host_.thumbnails, expected);
  EXPECT_EQ(app_.nListState.load(), LIST_IDLE);
}

}  // namespace
}  // namespace albumora
