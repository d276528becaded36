// SPDX-License-Identifier: GPL-3.0-or-later
// `albumora list` and `albumora download` for POCO against the loopback web: a member's albums,
// then the first album downloaded in full size.
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
using testweb::TestWeb;

using sitecli::CaseAnswer;

class PocoCli : public sitecli::SiteCli {};

void ServeMember(TestWeb& web) {
  const std::string dir = "poco/albums-and-pictures/";
  web.RoutePattern("my.poco.cn", "^/album/album_show_all\\.htx&user_id=30003&p=1$",
                   [dir](const testweb::Request&) { return CaseAnswer(dir + "albums1.html"); });
  web.RoutePattern("my.poco.cn", "^/album/album_show_all\\.htx&user_id=30003&p=2$",
                   [dir](const testweb::Request&) { return CaseAnswer(dir + "albums2.html"); });
  web.RoutePattern("my.poco.cn", "set_hash=h001&do=Plist&p=1$",
                   [dir](const testweb::Request&) { return CaseAnswer(dir + "photos1.html"); });
  web.RoutePattern("my.poco.cn", "set_hash=h001&do=Plist&p=2$",
                   [dir](const testweb::Request&) { return CaseAnswer(dir + "photos2.html"); });
  web.Route("img.poco.cn", "/photo/p1.jpg", Reply::Text(Fixture("demo/lake.jpg"), "image/jpeg"));
  web.Route("img.poco.cn", "/photo/p2.jpg", Reply::Text(Fixture("demo/hills.jpg"), "image/jpeg"));
  web.Route("img.poco.cn", "/photo/p3.jpg", Reply::Text(Fixture("demo/sunset.jpg"), "image/jpeg"));
}

TEST_F(PocoCli, ListsTheMembersAlbums) {
  ServeMember(web_);
  EXPECT_EQ(Run("list --site poco http://my.poco.cn/album/album_list.php?user_id=30003"), 0)
      << err_;
  EXPECT_EQ(Lines(out_), (std::vector<std::string>{
                             "0001\t街拍\t未知\t",
                             "0002\t私房\t未知\t加密相册",
                             "0003\t街拍 (1)\t未知\t",
                             "0004\t风景\t未知\t",
                         }));
}

TEST_F(PocoCli, DownloadsTheFullSizePictures) {
  ServeMember(web_);
  Run("download --site poco --albums 1 --save " + save_.string() +
      " http://my.poco.cn/album/album_list.php?user_id=30003");
  const fs::path album = save_ / "小张。摄影" / "街拍";
  EXPECT_EQ(ReadFile(album / "雨天.jpg"), Fixture("demo/lake.jpg")) << err_;
  EXPECT_EQ(ReadFile(album / "街拍.jpg"), Fixture("demo/hills.jpg"));
  EXPECT_EQ(ReadFile(album / "晴天.jpg"), Fixture("demo/sunset.jpg"));
}

}  // namespace
}  // namespace albumora
