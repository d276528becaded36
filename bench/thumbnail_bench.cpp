// SPDX-License-Identifier: GPL-3.0-or-later
// Thumbnail wall benchmark: an account of ALBUMS albums (60 by default) listed in thumbnail
// mode, each cover answered DELAY ms late (100 by default) by the loopback test web. Times the
// album-list job as it runs (covers fetched beside the list, several at a time) and, for
// comparison, the same albums shown one cover after another. Works in a fresh folder under the
// temporary folder, removed at the end. Not part of the test suite.
//
//   build/bin/albumora_thumbnail_bench [ALBUMS [DELAY_MS]]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

#include "FakeHost.h"
#include "TestWeb.h"
#include "albumlist/AlbumListJob.h"
#include "albumlist/AlbumRows.h"
#include "fs/ProgramFolder.h"
#include "model/AppState.h"
#include "net/HttpEngine.h"
#include "sites/Registry.h"

using namespace albumora;

namespace {

int gAlbums = 60;

void Covers(const std::string&, ListContext& list) {
  for (int i = 0; i < gAlbums; ++i) {
    ST_PERLISTRECORD local;
    local.strName = "album " + std::to_string(i);
    local.nCount = 12;
    local.strCover = "http://img.example.com/c/" + std::to_string(i) + ".jpg";
    if (!list.Publish(local)) break;
  }
}

// The registry's plans, with the stand-in above as every album-list adapter.
class CoverAccount : public Adapters {
 public:
  AlbumListFn AlbumList(int, int) const override { return Covers; }
};

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) gAlbums = std::atoi(argv[1]);
  const int delay = argc > 2 ? std::atoi(argv[2]) : 100;
  const std::filesystem::path home =
      std::filesystem::temp_directory_path() / ("albumora-thumbs-" + std::to_string(::getpid()));
  std::filesystem::create_directories(home);
  InitProgramFolder(home);

  testweb::TestWeb web;
  testweb::Reply cover = testweb::Reply::Text(std::string(8000, 'J'), "image/jpeg");
  cover.headerDelayMs = delay;
  web.RoutePrefix("img.example.com", "/c/", testweb::Serve(cover));
  SetEngineProxy(web.ProxyUrl());

  double wall = 0;
  int loaded = 0;
  {
    testweb::FakeHost host;
    host.address = "http://user.qzone.qq.com/10001";
    AppState app{host};
    app.bReady = 1;
    app.bPreview = true;
    app.nSite = SITE_QZONE;
    app.nListState = LIST_RUNNING;
    const auto start = std::chrono::steady_clock::now();
    RunAlbumList(app, CoverAccount{});
    wall = Since(start);
    loaded = static_cast<int>(host.thumbnails.size());
  }
  double oneByOne = 0;
  {
    testweb::FakeHost host;
    AppState app{host};
    app.bReady = 1;
    app.grid.Reset(true);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < gAlbums; ++i) {
      ST_PERLISTRECORD local;
      local.strName = "album " + std::to_string(i);
      local.strCover = "http://img.example.com/c/" + std::to_string(i) + ".jpg";
      PublishAlbum(local, app);  // no queue: each cover before the next cell
    }
    oneByOne = Since(start);
  }
  SetEngineProxy("");
  std::error_code error;
  std::filesystem::remove_all(home, error);
  std::printf(
      "thumbnail wall, %d albums, covers %d ms late: %.2f s (%d covers loaded); "
      "one at a time %.2f s\n",
      gAlbums, delay, wall, loaded, oneByOne);
  return loaded == gAlbums ? 0 : 1;
}
