// SPDX-License-Identifier: GPL-3.0-or-later
// NetEase photo albums: what the case folders cannot reach through the album-list job.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "FakeHost.h"
#include "ScratchDir.h"
#include "TestWeb.h"
#include "albumlist/AlbumListJob.h"
#include "fs/ProgramFolder.h"
#include "model/AppState.h"
#include "net/HttpEngine.h"
#include "sites/Registry.h"

namespace albumora {
namespace {

using testweb::Reply;
using testweb::TestWeb;
using testweb::ToGbk;

// The job sends every address on the pp sub-domain to the pp albums; the photo-album list still
// knows such an address: its owner's album page is then on the pp sub-domain.
TEST(NetEasePhotoAlbums, PpAddressFindsTheCatalogueOnThePpAlbumPage) {
  testweb::ScratchDir scratch("netease");
  InitProgramFolder(scratch.Dir());
  TestWeb web;
  SetEngineProxy(web.ProxyUrl());
  web.Route("walker.pp.163.com", "/profile/",
            Reply::Text(ToGbk("<script>var u = { hostName : 'walker' };</script>"), "text/html"));
  web.Route("walker.pp.163.com", "/album/",
            Reply::Text(ToGbk("var UD = { albumUrl : 'http://s1.ph.126.net/walker/a.js' };"),
                        "text/html"));
  web.Route("s1.ph.126.net", "/walker/a.js",
            Reply::Text(ToGbk("[{id:7,name:'雪',desc:'',au:0,count:1,curl:'2/photo/c.jpg',"
                              "purl:'s1.ph.126.net/walker/p7.js'}]"),
                        "application/javascript"));

  testweb::FakeHost host;
  AppState app{host};
  app.bReady = 1;
  app.nSite = SITE_NETEASE;
  app.grid.Reset(false);
  JobListContext context(app);
  FormOf(SITE_NETEASE, LT_NONE)->albumList("http://walker.pp.163.com/profile/", context);
  SetEngineProxy("");

  EXPECT_EQ(web.RequestsTo("/album/").size(), 1u);
  ASSERT_EQ(app.albumList.size(), 1u);
  EXPECT_EQ(app.albumList[0].strName, "雪");
  EXPECT_EQ(app.albumList[0].strAddr, "s1.ph.126.net/walker/p7.js");
  EXPECT_EQ(app.strSiteParam3, "walker");
}

}  // namespace
}  // namespace albumora
