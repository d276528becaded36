// SPDX-License-Identifier: GPL-3.0-or-later
// `albumora list` and `albumora download` for Yupoo against the loopback web: an owner's two
// list pages, then every album downloaded (the password album declined).
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

class YupooCli : public sitecli::SiteCli {};

void ServeOwner(TestWeb& web) {
  const std::string dir = "yupoo/owner-list-and-pictures/";
  web.Route("www.yupoo.com", "/photos/someone/albums/page1/", CaseAnswer(dir + "list1.html"));
  Reply second = CaseAnswer(dir + "list2.html");
  second.encoding = Reply::Encoding::GzipWithHeader;
  web.Route("www.yupoo.com", "/photos/someone/albums/page2/", second);
  web.Route("www.yupoo.com", "/photos/someone/albums/1001/page1/",
            CaseAnswer(dir + "photos1.html"));
  web.Route("www.yupoo.com", "/photos/someone/albums/1003/page1/",
            CaseAnswer("yupoo/password-album/password.html"));
  // Every other page lists no photo; every zoom page but the second names an original.
  web.RoutePattern("www.yupoo.com", "^/photos/someone/albums/100[1-4]/page",
                   [dir](const testweb::Request&) { return CaseAnswer(dir + "nophotos.html"); });
  web.Route("www.yupoo.com", "/photos/someone/p002/zoom/original/", CaseAnswer(dir + "zoom2.html"));
  web.RoutePattern("www.yupoo.com", "^/photos/someone/p00[13]/zoom/original/$",
                   [](const testweb::Request& request) {
                     const std::string id = request.path.substr(16, 4);
                     return Reply::Text(
                         "<html><body><div class=\"zoom\"><img src=\"http://"
                         "pic.yupoo.com/someone/" +
                         id + "/original.jpg\" /></div></body></html>");
                   });
  web.Route("pic.yupoo.com", "/someone/p001/original.jpg",
            Reply::Text(Fixture("demo/lake.jpg"), "image/jpeg"));
  web.Route("pic.yupoo.com", "/someone/p002/medium.jpg",
            Reply::Text(Fixture("demo/hills.jpg"), "image/jpeg"));
  web.Route("pic.yupoo.com", "/someone/p003/original.jpg",
            Reply::Text(Fixture("demo/sunset.jpg"), "image/jpeg"));
}

TEST_F(YupooCli, ListsTheOwnersAlbums) {
  ServeOwner(web_);
  EXPECT_EQ(Run("list --site yupoo http://www.yupoo.com/photos/someone/albums/"), 0) << err_;
  const std::vector<std::string> lines = Lines(out_);
  ASSERT_EQ(lines.size(), 4u) << out_;
  EXPECT_EQ(lines[0], "0001\t春天 & 花\t12\t");
  EXPECT_EQ(lines[1], "0002\t春天 & 花 (1)\t5\t");
  EXPECT_EQ(lines[2], "0003\t私人\t3\t加密相册");
  EXPECT_EQ(lines[3], "0004\t冬天\t0\t");
}

TEST_F(YupooCli, DownloadsTheOriginalsIntoTheOwnersFolder) {
  ServeOwner(web_);
  Run("download --site yupoo --save " + save_.string() +
      " http://www.yupoo.com/photos/someone/albums/");
  const fs::path album = save_ / "小王。Photo" / "春天 & 花";
  EXPECT_EQ(ReadFile(album / "海边.jpg"), Fixture("demo/lake.jpg")) << err_;
  // The zoom page without an original keeps the thumbnail; the nameless photo takes the album's
  // name.
  EXPECT_EQ(ReadFile(album / "日落.jpg"), Fixture("demo/hills.jpg"));
  EXPECT_EQ(ReadFile(album / "春天 & 花.jpg"), Fixture("demo/sunset.jpg"));
  EXPECT_NE(err_.find("加密相册,是否输入密码"), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(save_ / "小王。Photo" / "私人"));
}

}  // namespace
}  // namespace albumora
