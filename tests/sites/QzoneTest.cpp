// SPDX-License-Identifier: GPL-3.0-or-later
#include "albumlist/AlbumRows.h"
#include "download/DownloadJob.h"
#include "sites/Registry.h"

#include <gtest/gtest.h>

#include <memory>

#include <unistd.h>
#include "ScratchDir.h"

#include <atomic>
#include <filesystem>

#include "FakeHost.h"
#include "TestWeb.h"
#include "albumlist/AlbumListJob.h"
#include "fs/FileNames.h"
#include "fs/ProgramFolder.h"
#include "model/AppState.h"
#include "net/CookieStore.h"
#include "net/HttpEngine.h"

namespace albumora {
namespace {

using testweb::Fixture;
using testweb::Reply;
using testweb::Request;
using testweb::TestWeb;
using testweb::ToGbk;

constexpr const char* kRoutePath = "/GetRoute";
constexpr const char* kAlbumHost = "alist.photo.qq.com";  // "sznewp" in the route answer
constexpr const char* kAlbumPath = "/fcgi-bin/fcg_list_album_v2";
constexpr const char* kListHost = "ctplist.photo.qq.com";  // "ctstatic" in the route answer
constexpr const char* kListPath = "/fcgi-bin/fcg_list_photo_v2";
constexpr const char* kViewHost = "ctnu.photo.qq.com";
constexpr const char* kViewPath = "/cgi-bin/common/cgi_view_album_v2";

// The token as the site computes it, written out here on its own.
uint32_t Token(const std::string& ascii) {
  uint32_t h = 5381;
  for (unsigned char c : ascii) h = h * 33 + c;
  return h & 0x7FFFFFFFu;
}

// A host that can act when a row is added or a status is set.
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

class Qzone : public ::testing::Test {
 protected:
  void SetUp() override {
    InitProgramFolder(home_);
    SetEngineProxy(web_.ProxyUrl());
    CookieStore::Shared().Clear();
    app_.bReady = 1;
    app_.grid.Reset(false);
  }
  void TearDown() override {
    SetEngineProxy("");
    CookieStore::Shared().Clear();
  }

  void LogIn() {
    // skey and uin must not stand first in the cookie text to be read.
    CookieStore& store = CookieStore::Shared();
    store.SetCookie("http://user.qzone.qq.com/", "pt2gguin=o0123; Domain=qq.com; Path=/");
    store.SetCookie("http://user.qzone.qq.com/", "uin=o0123; Domain=qq.com; Path=/");
    store.SetCookie("http://user.qzone.qq.com/", "skey=@abc; Domain=qq.com; Path=/");
  }

  void ServeRoute() {
    web_.Route("route.store.qq.com", kRoutePath,
               Reply::Text(Fixture("qzone/route.json"), "application/json"));
  }
  void ServeAlbums(const std::string& body) {
    web_.Route(kAlbumHost, kAlbumPath, Reply::Text(body, "application/javascript"));
  }

  ListOutcome RunJob(const std::string& address) {
    host_.address = address;
    app_.nSite = SITE_QZONE;
    app_.nListState = LIST_RUNNING;
    app_.nListType = LT_NONE;
    return RunAlbumList(app_, SiteAdapters());
  }

  void QzoneAlbumList(const std::string& account) {
    JobListContext context(app_);
    FormOf(SITE_QZONE, LT_QZONE_PERSONAL)->albumList(account, context);
  }
  void QzonePictureList(int albumIndex) {
    album_ = std::make_unique<AlbumState>(app_, albumIndex, listFolder_);
    JobPictureContext context(app_, *album_);
    FormOf(SITE_QZONE, LT_QZONE_PERSONAL)->pictureList(context);
  }

  testweb::ScratchDir scratch_{"qzone"};
  std::filesystem::path home_ = scratch_.Dir();
  TestWeb web_;
  HookHost host_;
  AppState app_{host_};
  std::string listFolder_;  // where the album listed on its own lands
  std::unique_ptr<AlbumState> album_;
};

TEST_F(Qzone, AlbumListFromTheRouteHosts) {
  LogIn();
  ServeRoute();
  ServeAlbums(Fixture("qzone/albums.js"));
  ASSERT_EQ(RunJob("10001"), ListOutcome::Ran);

  ASSERT_EQ(app_.albumList.size(), 5u);
  const struct {
    const char* name;
    const char* count;
    const char* remark;
    const char* id;
  } expected[] = {
      {"旅行。2019", "  12", "", "V10a"},          {"旅行。2019 (1)", "   0", "私密相册", "V10b"},
      {"家人 & 朋友", "   5", "好友可见", "V10d"}, {"密码", "   3", "加密相册", "V10e"},
      {"同学", "1234", "好友可见", "V10f"},
  };
  for (size_t i = 0; i < 5; ++i) {
    const ST_PERLISTRECORD& album = app_.albumList[i];
    EXPECT_EQ(album.strName, expected[i].name);
    EXPECT_EQ(CountText(album.nCount), expected[i].count);
    EXPECT_EQ(RemarkText(album.nFlags), expected[i].remark);
    EXPECT_EQ(album.strAddr, std::string("hostUin=10001&albumid=") + expected[i].id);
  }
  EXPECT_EQ(app_.albumList[0].strCover, "http://b.photo.qq.com/a/V10a/cover.jpg");
  EXPECT_EQ(app_.strSiteParam1, kListHost);
  EXPECT_EQ(app_.strSiteParam2, kViewHost);
  EXPECT_EQ(app_.nListType.load(), LT_QZONE_PERSONAL);
  EXPECT_EQ(app_.strOwner, std::string("10001") + kPathSep);
  EXPECT_TRUE(host_.messages.empty());
  EXPECT_EQ(host_.LastStatus(StatusLine::ListTitle), "相册列表(共5个)");

  const std::vector<Request> route = web_.RequestsTo(kRoutePath);
  ASSERT_EQ(route.size(), 1u);
  EXPECT_EQ(route[0].url, "http://route.store.qq.com/GetRoute?UIN=10001&version=2&type=json");
  EXPECT_EQ(route[0].Header("Referer"), "http://user.qzone.qq.com/10001");
  const std::vector<Request> list = web_.RequestsTo(kAlbumPath);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].host, kAlbumHost);
  EXPECT_EQ(list[0].Header("Referer"), "http://user.qzone.qq.com/10001");
  EXPECT_EQ(list[0].query.rfind("hostUin=10001&format=jsonp&plat=qzone&source=qzone&t=0.", 0), 0u)
      << list[0].query;
  EXPECT_NE(list[0].query.find("&g_tk=" + std::to_string(Token("@abc"))), std::string::npos)
      << list[0].query;
  // The fraction's closing line feed travels percent-encoded.
  EXPECT_EQ(list[0].query.find('\n'), std::string::npos);
  EXPECT_NE(list[0].query.find("%0A&g_tk="), std::string::npos) << list[0].query;
}

TEST_F(Qzone, VisitorSendsTheEmptyToken) {
  ServeRoute();
  ServeAlbums(Fixture("qzone/albums.js"));
  QzoneAlbumList("10001");
  const std::vector<Request> list = web_.RequestsTo(kAlbumPath);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_NE(list[0].query.find("&g_tk=5381"), std::string::npos) << list[0].query;
}

TEST_F(Qzone, TooFrequentShowsTheSiteText) {
  ServeRoute();
  ServeAlbums(
      ToGbk(R"(_Callback({"code":-10000,"msg" : "对不起，您的操作过于频繁，请稍后再试"}))"));
  QzoneAlbumList("10001");
  EXPECT_EQ(host_.messages, std::vector<std::string>{"对不起，您的操作过于频繁，请稍后再试"});
  EXPECT_TRUE(host_.questions.empty());
  EXPECT_TRUE(app_.albumList.empty());

  // Also when the message begins with it.
  TestWeb other;
  SetEngineProxy(other.ProxyUrl());
  other.Route("route.store.qq.com", kRoutePath, Reply::Text(Fixture("qzone/route.json")));
  other.Route(kAlbumHost, kAlbumPath,
              Reply::Text(ToGbk(R"(_Callback({"code":-10000,"msg" : "您的操作过于频繁"}))")));
  host_.messages.clear();
  QzoneAlbumList("10001");
  EXPECT_EQ(host_.messages, std::vector<std::string>{"您的操作过于频繁"});
  EXPECT_TRUE(host_.questions.empty());
}

TEST_F(Qzone, ClosedSpaceOffersTheLoginWindow) {
  ServeRoute();
  ServeAlbums(ToGbk(
      R"(_Callback({"code":-3000,"msg" : "主人设置了访问权限","data":{"id" : "V1", "name" : "x"}}))"));
  host_.answers = {true};
  QzoneAlbumList("10001");
  EXPECT_EQ(host_.questions,
            std::vector<std::string>{
                "加密或非公开空间，是否进行身份验证?\n(验证成功后请重新获取相册列表)"});
  EXPECT_EQ(host_.logins, std::vector<std::string>{"http://user.qzone.qq.com/10001"});
  EXPECT_TRUE(host_.messages.empty());
  EXPECT_TRUE(app_.albumList.empty());

  host_.logins.clear();
  QzoneAlbumList("10001");  // answered No
  EXPECT_TRUE(host_.logins.empty());
  EXPECT_TRUE(app_.albumList.empty());
}

TEST_F(Qzone, NothingFoundFallsThroughToTheGroupList) {
  ServeRoute();
  ServeAlbums(ToGbk(R"(_Callback({"code":0,"data":{"albumsInUser":0}}))"));
  RunJob("10001");
  EXPECT_EQ(host_.messages,
            std::vector<std::string>{NormalizeAddress(SITE_QZONE, "1").emptyMessage});
  EXPECT_EQ(host_.LastStatus(StatusLine::ListTitle), "相册列表(共0个)");
  EXPECT_EQ(app_.nListType.load(), LT_QZONE_GROUP);
  EXPECT_TRUE(host_.remembered.empty());
}

TEST_F(Qzone, FailuresOfTheTwoFetches) {
  Reply broken = Reply::Text("{");
  broken.contentLength = 4096;  // closed short of the announced body
  web_.Route("route.store.qq.com", kRoutePath, broken);
  QzoneAlbumList("10001");
  EXPECT_EQ(host_.messages, std::vector<std::string>{"QQ空间相册错误1"});

  // A route answer without the list host leaves an address without host.
  TestWeb other;
  SetEngineProxy(other.ProxyUrl());
  other.Route("route.store.qq.com", kRoutePath, Reply::Text(R"({"default":"ct","ct":{"nu":"n"}})"));
  host_.messages.clear();
  QzoneAlbumList("10001");
  EXPECT_EQ(host_.messages, std::vector<std::string>{"对不起，网络繁忙，请稍后再试！"});
}

TEST_F(Qzone, StopDuringTheAlbumLoopKeepsWhatWasAdded) {
  ServeRoute();
  ServeAlbums(Fixture("qzone/albums.js"));
  host_.onRow = [this] { app_.nListState = LIST_STOP; };
  RunJob("10001");
  EXPECT_EQ(app_.albumList.size(), 1u);
  EXPECT_EQ(host_.LastStatus(StatusLine::ListTitle), "相册列表(共1个)");
  EXPECT_EQ(app_.nListState.load(), LIST_IDLE);
}

// Group albums: a group page of three albums, answered for every start.
constexpr const char* kGroupAlbums = R"(_Callback({"code" : 0, "data" : {"album" : [
  {"coverurl" : "", "id" : "G1", "title" : "一", "photocnt" : 1, "x" : 0},
  {"coverurl" : "", "id" : "G2", "title" : "二", "photocnt" : 2, "x" : 0},
  {"coverurl" : "", "id" : "G3", "title" : "三", "photocnt" : 3, "x" : 0}]}}))";

TEST_F(Qzone, GroupAccountLosesOnlyOneLeadingZero) {
  CookieStore::Shared().SetCookie("http://qun.qzone.qq.com/",
                                  "pt2gguin=o00123; Domain=qq.com; Path=/");
  web_.Route("qun.photo.qq.com", "/cgi-bin/upp/qun_list_album_v2",
             Reply::Text(R"(_Callback({"code":0,"data":{"album":[]}}))"));
  RunJob("http://qun.qzone.qq.com/group#!/20002/photo");
  EXPECT_EQ(app_.strSiteParam1, "0123");
  const std::vector<Request> sent = web_.RequestsTo("qun_list_album_v2");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_NE(sent[0].query.find("qunId=20002&uin=0123&hostUin=0123&start=0&"), std::string::npos)
      << sent[0].query;
}

TEST_F(Qzone, StoppingTheGroupListEndsAfterTheCurrentAlbum) {
  web_.Route("qun.photo.qq.com", "/cgi-bin/upp/qun_list_album_v2", Reply::Text(kGroupAlbums));
  host_.onRow = [this] { app_.nListState = LIST_STOP; };
  RunJob("http://qun.qzone.qq.com/group#!/20002/photo");
  ASSERT_EQ(app_.albumList.size(), 1u);
  EXPECT_EQ(app_.albumList[0].strName, "一");
  EXPECT_EQ(web_.RequestsTo("qun_list_album_v2").size(), 1u);
  EXPECT_TRUE(host_.messages.empty());
}

TEST_F(Qzone, StoppingAGroupDownloadEndsAfterTheCurrentPicture) {
  web_.Route("qun.photo.qq.com", "/cgi-bin/upp/qun_list_photo_v2",
             Reply::Text(R"(_Callback({"data":{"photos":[
               {"bheight" : 1, "rawurl" : "http:\/\/p.qq.com\/1", "name" : "a"},
               {"bheight" : 1, "rawurl" : "http:\/\/p.qq.com\/2", "name" : "b"}]}}))"));
  ST_PERLISTRECORD album;
  album.strName = "g";
  album.strAddr = "qunId=20002&albumId=G1&uin=123&g_tk=5381";
  PublishAlbum(album, app_);
  listFolder_ = (home_ / "save").string() + kPathSep;
  app_.nDownState = DOWN_RUNNING;
  host_.onProgress = [this] { app_.nDownState = DOWN_STOP; };
  album_ = std::make_unique<AlbumState>(app_, 0, listFolder_);
  JobPictureContext context(app_, *album_);
  FormOf(SITE_QZONE, LT_QZONE_GROUP)->pictureList(context);
  ASSERT_EQ(album_->list.size(), 1u);
  EXPECT_EQ(album_->list.arrUrl[0], "http://p.qq.com/1");
  EXPECT_EQ(web_.RequestsTo("qun_list_photo_v2").size(), 1u);
}

class QzonePictures : public Qzone {
 protected:
  void SetUp() override {
    Qzone::SetUp();
    LogIn();
    app_.strSiteParam1 = kListHost;
    app_.strSiteParam2 = kViewHost;
    host_.address = "http://user.qzone.qq.com/10001/photo";  // whatever the box holds now
    save_ = (home_ / "save").string() + kPathSep;
    std::filesystem::create_directories(save_);
    listFolder_ = save_;
  }

  int AddAlbum(int32_t flags) {
    ST_PERLISTRECORD local;
    local.strName = "album" + std::to_string(app_.albumList.size());
    local.strAddr = "hostUin=10001&albumid=V1";
    local.nFlags = flags;
    local.nCount = 2;
    PublishAlbum(local, app_);
    return static_cast<int>(app_.albumList.size()) - 1;
  }

  std::string save_;
};

TEST_F(QzonePictures, FirstServiceGivesFullAndPreviewAddresses) {
  web_.Route(kListHost, kListPath, Reply::Text(Fixture("qzone/photos.js")));
  QzonePictureList(AddAlbum(0));
  ASSERT_EQ(album_->list.size(), 2u);
  EXPECT_EQ(album_->list.arrUrl[0],
            "http://r.photo.qq.com/psb?/V1/big1.jpg\r\nhttp://b.photo.qq.com/psb?/b/small1.jpg");
  // No "origin_url": the worker falls back to the preview at once.
  EXPECT_EQ(album_->list.arrUrl[1], "\r\nhttp://b.photo.qq.com/psb?/b/small2.jpg");
  EXPECT_EQ(album_->list.arrHeader[0], "");
  EXPECT_EQ(album_->list.arrName[0], "海边.jpg");

  const std::vector<Request> sent = web_.Requests();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].host, kListHost);
  EXPECT_EQ(sent[0].path, kListPath);
  EXPECT_EQ(sent[0].Header("Referer"), "http://user.qzone.qq.com/10001");
  EXPECT_EQ(sent[0].query.rfind("inCharset=gbk&outCharset=gbk&format=jsonp&plat=qzone&source=qzone"
                                "&hostUin=10001&albumid=V1&t=0.",
                                0),
            0u)
      << sent[0].query;
  const std::string tail = "&g_tk=" + std::to_string(Token("@abc")) + "&uin=0123";
  EXPECT_EQ(sent[0].query.substr(sent[0].query.size() - tail.size()), tail);
}

TEST_F(QzonePictures, NoRecordFromTheFirstServiceAsksTheAlbumView) {
  web_.Route(kListHost, kListPath, Reply::Text(ToGbk(R"(_Callback({"code":0,"data":{}}))")));
  web_.Route(kViewHost, kViewPath, Reply::Text(Fixture("qzone/photos.js")));
  QzonePictureList(AddAlbum(0));
  EXPECT_EQ(album_->list.size(), 2u);
  const std::vector<Request> view = web_.RequestsTo(kViewPath);
  ASSERT_EQ(view.size(), 1u);
  EXPECT_NE(view[0].query.find("&hostUin=10001&albumId=V1&"), std::string::npos) << view[0].query;
  EXPECT_EQ(web_.Requests().size(), 2u);
}

TEST_F(QzonePictures, RestrictedAlbumsGoStraightToTheAlbumView) {
  web_.Route(kViewHost, kViewPath, Reply::Text(ToGbk(R"(_Callback({"code":0}))")));
  QzonePictureList(AddAlbum(FLAG_PRIVATE));
  QzonePictureList(AddAlbum(FLAG_FRIENDS));
  EXPECT_TRUE(album_->list.empty());
  // One request per album, both to the album view; nothing further when it has no record.
  EXPECT_EQ(web_.Requests().size(), 2u);
  EXPECT_EQ(web_.RequestsTo(kViewPath).size(), 2u);
}

TEST_F(QzonePictures, PasswordQuestionOpensTheAlbumPageAndReadsAgain) {
  std::atomic<int> calls{0};
  web_.Route(kViewHost, kViewPath, [&calls](const Request&) {
    if (calls++ == 0)
      return Reply::Text(ToGbk(R"(_Callback({"code":-4404,"message":"对不起，回答错误"}))"));
    return Reply::Text(Fixture("qzone/photos.js"));
  });
  host_.answers = {true};
  QzonePictureList(AddAlbum(FLAG_ENCRYPTED));
  EXPECT_EQ(host_.questions, std::vector<std::string>{"加密相册，是否输入密码？"});
  EXPECT_EQ(host_.logins, std::vector<std::string>{"http://user.qzone.qq.com/10001/photo/V1"});
  EXPECT_EQ(album_->list.size(), 2u);
  ASSERT_EQ(web_.Requests().size(), 2u);
  EXPECT_EQ(web_.Requests()[0].url, web_.Requests()[1].url);
}

TEST_F(QzonePictures, DeclinedPasswordEndsTheAlbum) {
  web_.Route(kViewHost, kViewPath,
             Reply::Text(ToGbk(R"(_Callback({"code":-4404,"message":"对不起，回答错误"}))")));
  QzonePictureList(AddAlbum(FLAG_ENCRYPTED));
  EXPECT_EQ(host_.questions.size(), 1u);
  EXPECT_TRUE(host_.logins.empty());
  EXPECT_TRUE(album_->list.empty());
  EXPECT_EQ(web_.Requests().size(), 1u);
}

TEST_F(QzonePictures, StopEndsAfterTheCurrentPicture) {
  web_.Route(kListHost, kListPath, Reply::Text(Fixture("qzone/photos.js")));
  app_.nDownState = DOWN_RUNNING;
  host_.onProgress = [this] { app_.nDownState = DOWN_STOP; };
  QzonePictureList(AddAlbum(0));
  EXPECT_EQ(album_->list.size(), 1u);
}

}  // namespace
}  // namespace albumora
