// SPDX-License-Identifier: GPL-3.0-or-later
// `albumora list` and `albumora download` for moko against the loopback web: an owner's
// categories, then every post downloaded.
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

class MokoCli : public sitecli::SiteCli {};

void ServeOwner(TestWeb& web) {
  const std::string dir = "moko/owner-categories-and-posts/";
  web.Route("www.moko.cc", "/post/some.one/list.html", CaseAnswer(dir + "list.html"));
  web.Route("www.moko.cc", "/post/some.one/category/11/1.html", CaseAnswer(dir + "cat11-1.html"));
  web.Route("www.moko.cc", "/post/some.one/category/11/2.html", CaseAnswer(dir + "cat11-2.html"));
  web.Route("www.moko.cc", "/post/some.one/category/33/1.html", CaseAnswer(dir + "cat33-1.html"));
  web.Route("www.moko.cc", "/post/1001.html", CaseAnswer(dir + "post1001.html"));
  web.Route("img.moko.cc", "/p/1001/a.jpg", Reply::Text(Fixture("demo/lake.jpg"), "image/jpeg"));
  web.Route("img.moko.cc", "/p/1001/b.jpg", Reply::Text(Fixture("demo/hills.jpg"), "image/jpeg"));
}

TEST_F(MokoCli, ListsEveryCategory) {
  ServeOwner(web_);
  EXPECT_EQ(Run("list --site moko http://www.moko.cc/some.one/"), 0) << err_;
  EXPECT_EQ(Lines(out_), (std::vector<std::string>{
                             "0001\t夏日海边\t15\t",
                             "0002\t夏日海边 (1)\t8\t",
                             "0003\t街头\t3\t",
                             "0004\t周末\t6\t",
                             "0005\t早餐\t21\t",
                         }));
}

TEST_F(MokoCli, DownloadsThePostPictures) {
  ServeOwner(web_);
  Run("download --site moko --albums 1 --save " + save_.string() + " http://www.moko.cc/some.one/");
  // Every picture of a post is described by the post's name.
  const fs::path album = save_ / "Some。One" / "夏日海边";
  EXPECT_EQ(ReadFile(album / "夏日海边.jpg"), Fixture("demo/lake.jpg")) << err_;
  EXPECT_EQ(ReadFile(album / "夏日海边 (1).jpg"), Fixture("demo/hills.jpg"));
}

}  // namespace
}  // namespace albumora
