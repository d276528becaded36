// SPDX-License-Identifier: GPL-3.0-or-later
// `albumora list` and `albumora download` for the 56 site against the loopback web: an owner's
// album index, then an album downloaded with the list page as each picture's Referer.
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

class Video56Cli : public sitecli::SiteCli {};

void ServeOwner(TestWeb& web) {
  const std::string dir = "56/albums-and-pictures/";
  web.Route("photo.56.com", "/album/index.php?user=some_one&page=1",
            CaseAnswer(dir + "index1.html"));
  web.Route("photo.56.com", "/album/index.php?user=some_one&page=2",
            CaseAnswer(dir + "index2.html"));
  web.Route("photo.56.com", "/album/?do=Plist&did=501&page=1", CaseAnswer(dir + "plist1.html"));
  web.Route("photo.56.com", "/album/?do=Plist&did=501&page=2", CaseAnswer(dir + "plist2.html"));
  // The pictures answer only to a request that names their list page.
  auto picture = [](std::string file, std::string page) {
    return [file, page](const testweb::Request& request) {
      if (request.Header("Referer") != "http://photo.56.com/album/?do=Plist&did=501&page=" + page) {
        return Reply::Status(403);
      }
      return Reply::Text(Fixture(file), "image/jpeg");
    };
  };
  web.Route("img.56.com", "/p/501/1.jpg", picture("demo/lake.jpg", "1"));
  web.Route("img.56.com", "/p/501/2.jpg", picture("demo/hills.jpg", "1"));
  web.Route("img.56.com", "/p/501/3.jpg", picture("demo/sunset.jpg", "2"));
}

TEST_F(Video56Cli, ListsTheOwnersAlbums) {
  ServeOwner(web_);
  EXPECT_EQ(Run("list --site 56 http://photo.56.com/album/some_one/"), 0) << err_;
  EXPECT_EQ(Lines(out_), (std::vector<std::string>{
                             "0001\t宠物。猫\t12\t",
                             "0002\t空相册\t0\t",
                             "0003\t宠物。猫 (1)\t未知\t",
                         }));
}

TEST_F(Video56Cli, DownloadsWithTheListPageAsReferer) {
  ServeOwner(web_);
  Run("download --site 56 --albums 1 --save " + save_.string() +
      " http://photo.56.com/album/some_one/");
  const fs::path album = save_ / "some_one" / "宠物。猫";
  EXPECT_EQ(ReadFile(album / "小猫 睡觉.jpg"), Fixture("demo/lake.jpg")) << err_;
  EXPECT_EQ(ReadFile(album / "宠物。猫.jpg"), Fixture("demo/hills.jpg"));
  EXPECT_EQ(ReadFile(album / "宠物。猫 (1).jpg"), Fixture("demo/sunset.jpg"));
}

}  // namespace
}  // namespace albumora
