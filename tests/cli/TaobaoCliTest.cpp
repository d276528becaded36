// SPDX-License-Identifier: GPL-3.0-or-later
// `albumora list --site taobao` and `albumora download --site taobao` end to end: a shop's items
// and an item's main pictures from the loopback web.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ScratchDir.h"
#include "TestFiles.h"
#include "TestWeb.h"

namespace albumora {
namespace {

using testweb::Lines;
using testweb::ReadFile;
using testweb::Reply;
using testweb::TestWeb;

std::string CaseFile(const std::string& name) {
  return ReadFile(std::filesystem::path(ALBUMORA_SITE_CASES) / "taobao" /
                  "shop-list-and-item-pictures" / name);
}

class TaobaoCli : public ::testing::Test {
 protected:
  void SetUp() override {
    web_.Route("someshop.taobao.com", "/?search=y&viewType=grid&pageNum=1",
               Reply::Text(CaseFile("shop1.html")));
    web_.Route("someshop.taobao.com", "/?search=y&viewType=grid&pageNum=2",
               Reply::Text(CaseFile("shop2.html")));
    web_.Route("item.taobao.com", "/item.htm?id=1001", Reply::Text(CaseFile("item.html")));
    for (const char* name : {"T1001_a.jpg", "T1001_b.jpg", "T1001_c.png"}) {
      web_.Route("img01.taobaocdn.com", std::string("/bao/uploaded/i1/") + name,
                 Reply::Text(std::string("picture ") + name, "image/jpeg"));
    }
  }

  int Albumora(const std::string& arguments) {
    const std::string command =
        std::string(ALBUMORA_CLI_PATH) + " " + arguments + " --home " + (dir_ / "home").string() +
        " --proxy " + web_.ProxyUrl() + " --no --site taobao http://someshop.taobao.com/ >" +
        (dir_ / "out").string() + " 2>" + (dir_ / "err").string() + " </dev/null";
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  std::string Out() const { return ReadFile(dir_ / "out"); }

  TestWeb web_;
  testweb::ScratchDir scratch_{"taobaocli"};
  std::filesystem::path dir_ = scratch_.Dir();
};

TEST_F(TaobaoCli, ListsTheShopsItemsPageByPage) {
  EXPECT_EQ(Albumora("list"), 0) << ReadFile(dir_ / "err");
  EXPECT_EQ(Lines(Out()), (std::vector<std::string>{
                              "0001\t连衣裙 2014。春\t未知\t",
                              "0002\t连衣裙 2014。春 (1)\t未知\t",
                              "0003\t半身裙\t未知\t",
                          }));
}

TEST_F(TaobaoCli, DownloadsAnItemsMainPicturesIntoTheShopsFolder) {
  const std::filesystem::path save = dir_ / "save";
  EXPECT_EQ(Albumora("download --albums 1 --save " + save.string()), 0) << ReadFile(dir_ / "err");
  const std::filesystem::path album = save / "小店" / "首页女装" / "连衣裙 2014。春";
  EXPECT_EQ(Lines(Out()).at(0),
            "0001\t连衣裙 2014。春\tcomplete\t3\t3\t0\t0\t0\t" + album.string() + "/")
      << Out();
  EXPECT_EQ(ReadFile(album / "连衣裙 2014。春_价格99。00元.jpg"), "picture T1001_a.jpg");
  EXPECT_EQ(ReadFile(album / "连衣裙 2014。春_价格99。00元 (1).jpg"), "picture T1001_b.jpg");
  EXPECT_EQ(ReadFile(album / "连衣裙 2014。春_价格99。00元 (2).jpg"), "picture T1001_c.png");
}

}  // namespace
}  // namespace albumora
