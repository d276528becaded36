// SPDX-License-Identifier: GPL-3.0-or-later
// `albumora list` and `albumora download` for Renren, end to end against the loopback web: a
// member's albums and the pictures of one of them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "SiteCli.h"
#include "TestFiles.h"
#include "TestWeb.h"

namespace albumora {
namespace {

using testweb::Fixture;
using testweb::Lines;
using testweb::ReadFile;
using testweb::Reply;
using testweb::TestWeb;

class RenrenCli : public sitecli::SiteCli {
 protected:
  void SetUp() override {
    web_.Route("photo.renren.com", "/photo/200001/album/relatives?curpage=1",
               Reply::Text("<title>人人网 - 张三的相册</title><div class=\"album-list\"><ul>"
                           "<li><a href=\"http://photo.renren.com/photo/200001/album-301\">"
                           "<img data-src=\"http://fmn.rrimg.com/c.jpg\"/></a>"
                           "<div class=\"photo-num\">2</div><span class=\"album-name\">海边</span>"
                           "</li></ul></div><div class=\"first-page clearfix\"></div>",
                           "text/html"));
    web_.Route("photo.renren.com", "/photo/200001/album/relatives/ajax?offset=40&limit=40",
               Reply::Text("<p></p>", "text/html"));
    web_.Route("photo.renren.com", "/photo/200001/album-301",
               Reply::Text("<div class=\"ablum-infor\"><h1>海边<span>(2张)</span></h1></div>",
                           "text/html"));
    web_.Route("photo.renren.com", "/photo/200001/album-301/bypage/ajax?curPage=0&pagenum=65535",
               Reply::Text("{\"photoList\":[{\"position\":1,\"largeUrl\":\"http:\\/\\/fmn.rrimg."
                           "com\\/original_lake.jpg\",\"title\":\"\\u6e56\"},{\"position\":2,"
                           "\"largeUrl\":\"http:\\/\\/fmn.rrimg.com\\/xlarge_hills.jpg\","
                           "\"title\":\"\"}]}",
                           "application/json"));
    web_.Route("photo.renren.com", "/photo/200001/album-301/bypage/ajax?curPage=1&pagenum=65535",
               Reply::Text("{\"photoList\":[]}", "application/json"));
    web_.Route("fmn.rrimg.com", "/original_lake.jpg",
               Reply::Text(Fixture("demo/lake.jpg"), "image/jpeg"));
    web_.Route("fmn.rrimg.com", "/xlarge_hills.jpg",
               Reply::Text(Fixture("demo/hills.jpg"), "image/jpeg"));
  }
};

TEST_F(RenrenCli, ListsAndDownloadsAMembersAlbums) {
  const std::string address = "http://www.renren.com/profile.do?id=200001";
  EXPECT_EQ(Lines(RunOk("list --site renren " + address)),
            std::vector<std::string>{"0001\t海边\t2\t"});

  const std::filesystem::path save = dir_ / "save";
  const std::string out = RunOk("download --site renren --save " + save.string() + " " + address);
  ASSERT_EQ(Lines(out).size(), 1u) << out;
  EXPECT_EQ(Lines(out)[0].rfind("0001\t海边\t", 0), 0u) << out;
  // The owner named by the list page; the second picture has no title and takes the album's.
  const std::filesystem::path album = save / "张三" / "海边";
  EXPECT_EQ(ReadFile(album / "湖.jpg"), Fixture("demo/lake.jpg"));
  EXPECT_EQ(ReadFile(album / "海边.jpg"), Fixture("demo/hills.jpg"));
  // Each picture was asked for with the photo data page as Referer.
  const std::vector<testweb::Request> lake = web_.RequestsTo("/original_lake.jpg");
  ASSERT_EQ(lake.size(), 1u);
  EXPECT_EQ(lake[0].Header("Referer"),
            "http://photo.renren.com/photo/200001/album-301/bypage/ajax?curPage=0&pagenum=65535");
}

}  // namespace
}  // namespace albumora
