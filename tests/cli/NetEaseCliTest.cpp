// SPDX-License-Identifier: GPL-3.0-or-later
// `albumora list` and `albumora download` for NetEase albums, end to end against the loopback
// web: the classic service (owner page, catalogue, picture script) and a pp member.
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
using testweb::ToGbk;

class NetEaseCli : public sitecli::SiteCli {
 protected:
  void SetUp() override {
    web_.Route("photo.163.com", "/someone/",
               Reply::Text(ToGbk("<script>var UD = {photo163HostName:'someone', albumUrl : "
                                 "'http://s2.ph.126.net/photo/someone/albums.js'};</script>"),
                           "text/html"));
    web_.Route("s2.ph.126.net", "/photo/someone/albums.js",
               Reply::Text(ToGbk("var d=[{id:101,name:'湖光',desc:'',au:0,count:2,curl:'12/photo/"
                                 "c.jpg',purl:'s2.ph.126.net/photo/someone/p101.js'}];"),
                           "application/javascript"));
    web_.Route("s2.ph.126.net", "/photo/someone/p101.js",
               Reply::Text(ToGbk("var p=[{id:1,ourl:'12/photo/a/lake.jpg',desc:'湖'},{id:2,ourl:'"
                                 "',murl:'3/bimg/hills.jpg',desc:''}];"),
                           "application/javascript"));
    web_.Route("img12.ph.126.net", "/photo/a/lake.jpg",
               Reply::Text(Fixture("demo/lake.jpg"), "image/jpeg"));
    web_.Route("img3.bimg.126.net", "/bimg/hills.jpg",
               Reply::Text(Fixture("demo/hills.jpg"), "image/jpeg"));
  }
};

TEST_F(NetEaseCli, ListsAndDownloadsAnOwnersAlbums) {
  EXPECT_EQ(Lines(RunOk("list --site netease http://photo.163.com/someone/")),
            std::vector<std::string>{"0001\t湖光\t2\t"});

  const std::filesystem::path save = dir_ / "save";
  const std::string out =
      RunOk("download --site netease --save " + save.string() + " http://photo.163.com/someone/");
  ASSERT_EQ(Lines(out).size(), 1u) << out;
  EXPECT_EQ(Lines(out)[0].rfind("0001\t湖光\t", 0), 0u) << out;
  // The owner's folder, the album's folder; the second picture is named after its album.
  const std::filesystem::path album = save / "someone" / "湖光";
  EXPECT_EQ(ReadFile(album / "湖.jpg"), Fixture("demo/lake.jpg"));
  EXPECT_EQ(ReadFile(album / "湖光.jpg"), Fixture("demo/hills.jpg"));
}

}  // namespace
}  // namespace albumora
