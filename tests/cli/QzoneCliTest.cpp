// SPDX-License-Identifier: GPL-3.0-or-later
// `albumora list` and `albumora download` end to end for the Qzone family's Tencent Weibo and
// group forms: the program runs as a child process against the loopback web, which answers with
// the site cases' own answer files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "SiteCli.h"
#include "TestFiles.h"
#include "TestWeb.h"

namespace albumora {
namespace {

namespace fs = std::filesystem;
using testweb::Fixture;
using testweb::Lines;
using testweb::ReadFile;
using testweb::Reply;
using testweb::Request;
using testweb::TestWeb;

std::string CaseFile(const std::string& file) {
  return ReadFile(fs::path(ALBUMORA_SITE_CASES) / "qzone" / file);
}

class QzoneCli : public sitecli::SiteCli {};

TEST_F(QzoneCli, ListsTencentWeiboAlbums) {
  const std::string folder = "weibo-list-and-pictures/";
  web_.Route("t.qq.com", "/app/qzphoto/someone", Reply::Text(CaseFile(folder + "home.html")));
  web_.RoutePattern("api.t.qq.com", "op=1&uin=88001234&page=1&", [&](const Request&) {
    return Reply::Text(CaseFile(folder + "albums1.json"), "application/json");
  });
  web_.RoutePattern("api.t.qq.com", "op=1&", [&](const Request&) {
    return Reply::Text(CaseFile(folder + "noalbum.json"), "application/json");
  });

  const Result result = Run("list", "--site qzone", "http://t.qq.com/someone");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(Lines(result.out), (std::vector<std::string>{
                                   "0001\t旅行\t37\t",
                                   "0002\t所有图片\t未知\t",
                                   "0003\t旅行 (1)\t8\t",
                               }));
  EXPECT_EQ(web_.RequestsTo("gettopicalbum.php").size(), 2u);
  EXPECT_TRUE(web_.RequestsTo("qun_list_album_v2").empty());
}

TEST_F(QzoneCli, DownloadsAGroupAlbum) {
  const std::string folder = "group-list-and-pictures/";
  web_.RoutePattern("qun.photo.qq.com", "qun_list_album_v2\\?.*&start=0&", [&](const Request&) {
    return Reply::Text(CaseFile(folder + "albums1.js"), "application/javascript");
  });
  web_.RoutePattern("qun.photo.qq.com", "qun_list_album_v2", [&](const Request&) {
    return Reply::Text(CaseFile(folder + "noalbum.js"), "application/javascript");
  });
  web_.RoutePattern("qun.photo.qq.com", "qun_list_photo_v2\\?.*&albumId=V1g1&.*&start=0&",
                    [&](const Request&) {
                      return Reply::Text(CaseFile(folder + "photos1.js"), "application/javascript");
                    });
  web_.RoutePattern("qun.photo.qq.com", "qun_list_photo_v2", [&](const Request&) {
    return Reply::Text(CaseFile(folder + "nophoto.js"), "application/javascript");
  });
  web_.Route("qungz.photo.store.qq.com", "/qun/V1g1/raw1/800",
             Reply::Text(Fixture("demo/lake.jpg"), "image/jpeg"));
  web_.Route("qungz.photo.store.qq.com", "/qun/V1g1/hd2.jpg",
             Reply::Text(Fixture("demo/hills.jpg"), "image/jpeg"));

  const fs::path save = dir_ / "save";
  const Result result = Run("download", "--site qzone --albums 1 --save " + save.string(),
                            "http://qun.qzone.qq.com/group#!/20002/photo");
  ASSERT_EQ(result.status, 0) << result.err;
  const fs::path album = save / "20002" / "班级聚会";
  EXPECT_EQ(
      Lines(result.out),
      std::vector<std::string>{"0001\t班级聚会\tcomplete\t2\t2\t0\t0\t0\t" + album.string() + "/"});
  EXPECT_EQ(ReadFile(album / "合影.jpg"), Fixture("demo/lake.jpg"));
  EXPECT_EQ(ReadFile(album / "合影 (1).jpg"), Fixture("demo/hills.jpg"));
  EXPECT_TRUE(fs::exists(album / "pic.zrk"));
}

}  // namespace
}  // namespace albumora
