// SPDX-License-Identifier: GPL-3.0-or-later
// `albumora list` and `albumora download` end to end for the Baidu family: an owner's albums,
// and the picture threads of a Tieba forum whose keyword is GBK percent-encoded. The program runs
// as a child process against the loopback web, which answers with the site cases' answer files.
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
  return ReadFile(fs::path(ALBUMORA_SITE_CASES) / "baidu" / file);
}

class BaiduCli : public sitecli::SiteCli {};

TEST_F(BaiduCli, ListsAnOwnersAlbums) {
  web_.Route("xiangce.baidu.com", "/u/xiaoming",
             Reply::Text(CaseFile("album-list-and-pictures/home.html")));
  const Result result = Run("list", "--site baidu", "http://xiangce.baidu.com/u/xiaoming");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(Lines(result.out), (std::vector<std::string>{
                                   "0001\t旅行 2013\t37\t",
                                   "0002\t花 & 草 春夏\t0\t",
                                   "0003\t旅行 2013 (1)\t1024\t",
                               }));
}

TEST_F(BaiduCli, DownloadsATiebaThreadIntoTheDecodedForumFolder) {
  const std::string folder = "tieba-list-and-pictures/";
  web_.RoutePattern("tieba.baidu.com", "^/photo/g\\?kw=%C3%C0%C5%AE&alt=jview&pn=1&",
                    [&](const Request&) {
                      return Reply::Text(CaseFile(folder + "threads1.json"), "application/json");
                    });
  web_.RoutePattern("tieba.baidu.com", "^/photo/g\\?", [&](const Request&) {
    return Reply::Text(CaseFile(folder + "nothread.json"), "application/json");
  });
  web_.RoutePattern("tieba.baidu.com",
                    "^/photo/g/bw/picture/list\\?kw=%C3%C0%C5%AE&.*&tid=2001&pn=1&",
                    [&](const Request&) {
                      return Reply::Text(CaseFile(folder + "pics1.json"), "application/json");
                    });
  web_.RoutePattern("tieba.baidu.com", "^/photo/g/bw/picture/list\\?", [&](const Request&) {
    return Reply::Text(CaseFile(folder + "nopic.json"), "application/json");
  });
  web_.Route("imgsrc.baidu.com", "/forum/pic/item/a1b2c3.jpg",
             Reply::Text(Fixture("demo/lake.jpg"), "image/jpeg"));
  web_.Route("imgsrc.baidu.com", "/forum/pic/item/d4e5f6.jpg",
             Reply::Text(Fixture("demo/sunset.jpg"), "image/jpeg"));

  const fs::path save = dir_ / "save";
  const Result result = Run("download", "--site baidu --albums 1 --save " + save.string(),
                            "http://tieba.baidu.com/f?kw=%C3%C0%C5%AE&fr=ala0");
  ASSERT_EQ(result.status, 0) << result.err;
  const fs::path album = save / "美女" / "春天的花";
  EXPECT_EQ(
      Lines(result.out),
      std::vector<std::string>{"0001\t春天的花\tcomplete\t2\t2\t0\t0\t0\t" + album.string() + "/"});
  EXPECT_EQ(ReadFile(album / "花瓣.jpg"), Fixture("demo/lake.jpg"));
  EXPECT_EQ(ReadFile(album / "春天的花.jpg"), Fixture("demo/sunset.jpg"));
}

}  // namespace
}  // namespace albumora
