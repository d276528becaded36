// SPDX-License-Identifier: GPL-3.0-or-later
// `albumora list --site sina` and `albumora download --site sina` end to end: a Sina blog's
// photo categories from the loopback web.
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
  return ReadFile(std::filesystem::path(ALBUMORA_SITE_CASES) / "sina" / "blog-albums-and-pictures" /
                  name);
}

class SinaCli : public ::testing::Test {
 protected:
  void SetUp() override {
    web_.Route("blog.sina.com.cn", "/u/1234567890", Reply::Text(CaseFile("home.html")));
    Reply categories = Reply::Text(CaseFile("categories.json"), "application/json");
    categories.encoding = Reply::Encoding::GzipWithHeader;
    web_.Route("photo.blog.sina.com.cn", "/services/ctg_list_ctg.php", categories);
    web_.Route("photo.blog.sina.com.cn", "/category/u/1234567890/s/101/page1",
               Reply::Text(CaseFile("page1.html")));
    web_.Route("photo.blog.sina.com.cn", "/category/u/1234567890/s/101/page2",
               Reply::Text(CaseFile("page2.html")));
    for (const char* name : {"4b6c2d0bt7a1&690", "summer_camp_stamp&690", "4b6c2d0bt7a3&690"}) {
      web_.Route("", std::string("/orignal/") + name,
                 Reply::Text(std::string("picture ") + name, "image/jpeg"));
    }
  }

  int Albumora(const std::string& arguments) {
    const std::string command =
        std::string(ALBUMORA_CLI_PATH) + " " + arguments + " --home " + (dir_ / "home").string() +
        " --proxy " + web_.ProxyUrl() + " --no --site sina http://blog.sina.com.cn/u/1234567890 >" +
        (dir_ / "out").string() + " 2>" + (dir_ / "err").string() + " </dev/null";
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  std::string Out() const { return ReadFile(dir_ / "out"); }

  TestWeb web_;
  testweb::ScratchDir scratch_{"sinacli"};
  std::filesystem::path dir_ = scratch_.Dir();
};

TEST_F(SinaCli, ListsTheBlogsCategories) {
  EXPECT_EQ(Albumora("list"), 0) << ReadFile(dir_ / "err");
  EXPECT_EQ(Lines(Out()), (std::vector<std::string>{
                              "0001\t旅行。2019\t12\t",
                              "0002\t旅行。2019 (1)\t3\t",
                              "0003\t家人 & 朋友\t0\t",
                          }));
}

TEST_F(SinaCli, DownloadsTheCategoriesIntoTheOwnersFolder) {
  const std::filesystem::path save = dir_ / "save";
  // Two categories answer no page: the job is not complete.
  EXPECT_EQ(Albumora("download --save " + save.string()), 4) << ReadFile(dir_ / "err");
  const std::filesystem::path album = save / "小明的博客" / "旅行。2019";
  EXPECT_EQ(Lines(Out()).at(0),
            "0001\t旅行。2019\tcomplete\t3\t3\t0\t0\t0\t" + album.string() + "/");
  EXPECT_EQ(ReadFile(album / "海边.jpg"), "picture 4b6c2d0bt7a1&690");
  EXPECT_EQ(ReadFile(album / "夏令营.jpg"), "picture summer_camp_stamp&690");
  EXPECT_EQ(ReadFile(album / "海边 (1).jpg"), "picture 4b6c2d0bt7a3&690");
  // The other categories answer no page: they get no folder.
  EXPECT_FALSE(std::filesystem::exists(save / "小明的博客" / "家人 & 朋友"));
}

}  // namespace
}  // namespace albumora
