// SPDX-License-Identifier: GPL-3.0-or-later
// The bundled sample site: one Qzone account with a few small albums, served by the loopback
// test web. `albumora demo`, the command-line tests and the download benchmark fetch it through
// the engine's proxy setting, so the whole download road runs with no internet.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>

#include <string>
#include <vector>

#include "TestWeb.h"

namespace albumora::testweb {

// The sample account number.
inline constexpr const char* kDemoAccount = "10001";

struct DemoPicture {
  std::string description;  // the picture's name on the site
  std::string fixture;      // its bytes: tests/fixtures/<fixture>
  bool fullFails = false;   // the full-size address answers 404; the preview works
};

struct DemoAlbum {
  std::string id;
  std::string name;
  int priv = 1;  // 1 public, 3 private (read from the album-view service)
  std::vector<DemoPicture> pictures;
};

// The albums of the sample account, in the site's order.
const std::vector<DemoAlbum>& DemoAlbums();

// The hosts the sample route answer names.
inline constexpr const char* kDemoAlbumHost = "alist.photo.qq.com";
inline constexpr const char* kDemoPictureListHost = "plist.photo.qq.com";
inline constexpr const char* kDemoAlbumViewHost = "u.photo.qq.com";
inline constexpr const char* kDemoPictureHost = "b1.photo.store.qq.com";

// The addresses of a picture as the picture list names them: full size and preview ("/a/").
std::string DemoFullAddress(const DemoAlbum& album, size_t index);
std::string DemoPreviewAddress(const DemoAlbum& album, size_t index);

// Routes the route service, the album list, the two picture-list services and the pictures.
void ServeDemoSite(TestWeb& web);

// A benchmark album: pictures of the given size, each answered after a pause; its picture
// addresses (full size, no fallback) are returned in list order.
std::vector<std::string> ServeBenchAlbum(TestWeb& web, int pictures, size_t bytes, int delayMs);

// A benchmark account for the naming rules: albums named "bench" each (oneAlbumName) or
// "bench", "bench00002", "bench00003", …; the first album holds the pictures, described "pic"
// each (oneDescription) or "pic00001", "pic00002", …. Returns the first album's picture
// addresses as ServeBenchAlbum does.
// A picture host's limit: at most `allowed` pictures answered over any sliding second, the
// rest refused "429 Too Many Requests" with "Retry-After: 1"; the counts tell how it went.
struct RateLimitedHost {
  explicit RateLimitedHost(int perSecond) : allowed(perSecond) {}
  const int allowed;
  std::atomic<int> served{0};
  std::atomic<int> refused{0};
  std::mutex mutex;
  std::deque<std::chrono::steady_clock::time_point> window;
  // True when a picture request may be answered now (and counts it).
  bool Admit();
};

struct BenchAccount {
  std::shared_ptr<RateLimitedHost> rateLimit;  // empty: no limit
  int albums = 1;
  bool oneAlbumName = false;
  int pictures = 0;
  bool oneDescription = false;
  bool everyAlbum = false;  // every album holds the pictures (the list file names them all)
  size_t bytes = 1024;
  int delayMs = 0;
  int listDelayMs = 0;  // the same for the route, the album list and the picture lists
};
std::vector<std::string> ServeBenchAccount(TestWeb& web, const BenchAccount& shape);

}  // namespace albumora::testweb
