// SPDX-License-Identifier: GPL-3.0-or-later
// The engine's open connections, answers streamed to their files, pictures that are really
// pictures, and stop requests that reach an exchange in flight.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "ScratchDir.h"
#include "TestWeb.h"
#include "net/HttpEngine.h"

namespace albumora {
namespace {

using testweb::Reply;
using testweb::TestWeb;
namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

size_t Entries(const fs::path& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

// The process's peak resident memory so far, in KB (VmHWM).
long PeakRssKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// Bytes that do not compress, so that a cut coded stream is really cut.
std::string Noise(size_t bytes) {
  std::string out(bytes, '\0');
  uint32_t state = 12345;
  for (char& c : out) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return out;
}

std::string Jpeg(size_t bytes) {
  std::string body(bytes, 'j');
  body[0] = static_cast<char>(0xFF);
  body[1] = static_cast<char>(0xD8);
  return body;
}

class EngineStream : public ::testing::Test {
 protected:
  void SetUp() override { SetEngineProxy(""); }
  void TearDown() override { SetEngineProxy(""); }
  HttpRequest Picture(const std::string& url, const std::string& name = "pic.jpg") {
    HttpRequest request;
    InitRequest(request, url, (folder.Dir() / name).string(), 60000);
    request.nRetryPause = 0;
    request.bPicture = true;
    return request;
  }

  TestWeb web;
  testweb::ScratchDir folder{"net"};
  HttpResponse response;
};

TEST_F(EngineStream, PicturesInARowShareOneConnection) {
  web.Route("", "/1.jpg", Reply::Text(Jpeg(2000), "image/jpeg"));
  web.Route("", "/2.jpg", Reply::Text(Jpeg(3000), "image/jpeg"));
  // Straight to the host ...
  const std::string origin = web.Origin();
  ASSERT_TRUE(HttpFetch(Picture(origin + "/1.jpg", "a.jpg"), response, 3));
  ASSERT_TRUE(HttpFetch(Picture(origin + "/2.jpg", "b.jpg"), response, 3));
  EXPECT_EQ(web.AcceptedConnections(), 1);
  // ... and through a proxy, for two hosts behind it.
  SetEngineProxy(web.ProxyUrl());
  web.Route("", "/3.jpg", Reply::Text(Jpeg(1000), "image/jpeg"));
  ASSERT_TRUE(HttpFetch(Picture("http://pics.test/1.jpg", "c.jpg"), response, 3));
  ASSERT_TRUE(HttpFetch(Picture("http://other.test/3.jpg", "d.jpg"), response, 3));
  ASSERT_TRUE(HttpFetch(Picture("http://pics.test/2.jpg", "e.jpg"), response, 3));
  SetEngineProxy("");
  EXPECT_EQ(web.AcceptedConnections(), 2);  // the proxy connection is the second one
  EXPECT_EQ(ReadFile(folder.Dir() / "e.jpg"), Jpeg(3000));
  EXPECT_EQ(Entries(folder.Dir()), 5u);
}

TEST_F(EngineStream, CodedPictureLandsDecodedWhetherAskedForOrNot) {
  const std::string picture = Noise(50000);
  Reply gzip = Reply::Text(picture, "image/jpeg");
  gzip.encoding = Reply::Encoding::GzipWithHeader;
  web.Route("", "/gzip.jpg", gzip);
  Reply deflate = Reply::Text(picture, "image/jpeg");
  deflate.encoding = Reply::Encoding::ZlibWithDeflateHeader;
  deflate.chunked = true;
  web.Route("", "/deflate.jpg", deflate);
  Reply cut = gzip;
  cut.body = testweb::GzipBytes(picture).substr(0, 400);  // a cut stream, sent as is
  cut.encoding = Reply::Encoding::None;
  cut.With("Content-Encoding", "gzip");
  web.Route("", "/cut.jpg", cut);

  HttpRequest request = Picture(web.Origin() + "/gzip.jpg", "g.jpg");
  request.strHeaders = "Accept-Encoding: gzip, deflate";
  ASSERT_TRUE(HttpFetch(request, response, 3));
  EXPECT_TRUE(response.bSaved);
  EXPECT_EQ(ReadFile(folder.Dir() / "g.jpg"), picture);
  ASSERT_TRUE(HttpFetch(Picture(web.Origin() + "/deflate.jpg", "d.jpg"), response, 3));
  EXPECT_EQ(ReadFile(folder.Dir() / "d.jpg"), picture);
  EXPECT_FALSE(HttpFetch(Picture(web.Origin() + "/cut.jpg", "c.jpg"), response, 3));
  EXPECT_EQ(Entries(folder.Dir()), 2u);

  // A page keeps its answer as sent.
  HttpRequest page;
  InitRequest(page, web.Origin() + "/gzip.jpg", (folder.Dir() / "page.bin").string(), 5000);
  ASSERT_TRUE(HttpFetch(page, response, 0));
  EXPECT_EQ(ReadFile(folder.Dir() / "page.bin"), testweb::GzipBytes(picture));
}

TEST_F(EngineStream, EmptyOrHtmlAnswerIsNoPicture) {
  web.Route("", "/empty.jpg", Reply::Text("", "image/jpeg"));
  web.Route("", "/page.jpg", Reply::Text(" \r\n\t<!doctype HTML><html>login</html>"));
  web.Route("", "/bare.jpg", Reply::Text("<HTML><body>gone</body></HTML>"));
  Reply gzipPage = Reply::Text("<html>gone</html>");
  gzipPage.encoding = Reply::Encoding::GzipWithHeader;
  web.Route("", "/gzpage.jpg", gzipPage);
  web.Route("", "/text.jpg", Reply::Text("<h1>not a document</h1>", "image/jpeg"));

  for (const char* path : {"/empty.jpg", "/page.jpg", "/bare.jpg", "/gzpage.jpg"}) {
    EXPECT_FALSE(HttpFetch(Picture(web.Origin() + path), response, 3)) << path;
  }
  EXPECT_EQ(Entries(folder.Dir()), 0u);
  // Only a document start counts.
  EXPECT_TRUE(HttpFetch(Picture(web.Origin() + "/text.jpg"), response, 3));
  EXPECT_EQ(ReadFile(folder.Dir() / "pic.jpg"), "<h1>not a document</h1>");
  // A page may be empty.
  HttpRequest page;
  InitRequest(page, web.Origin() + "/empty.jpg", (folder.Dir() / "empty.txt").string(), 5000);
  ASSERT_TRUE(HttpFetch(page, response, 0));
  EXPECT_TRUE(fs::exists(folder.Dir() / "empty.txt"));
}

TEST_F(EngineStream, LargePictureGoesToItsFileNotToMemory) {
  constexpr size_t kBytes = size_t{80} << 20;
  Reply big;
  big.generatedBytes = kBytes;
  web.Route("", "/big.jpg", big);
  const long before = PeakRssKb();
  HttpRequest request = Picture(web.Origin() + "/big.jpg");
  ASSERT_TRUE(HttpFetch(request, response, 3));
  const long after = PeakRssKb();
  EXPECT_TRUE(response.body.empty());
  EXPECT_EQ(response.nBodyBytes, kBytes);
  EXPECT_LT(after - before, 32 * 1024) << "peak memory grew by " << (after - before) << " KB";

  std::ifstream in(folder.Dir() / "pic.jpg", std::ios::binary);
  std::string piece(1 << 20, '\0');
  size_t offset = 0;
  size_t mismatches = 0;
  while (in.read(piece.data(), static_cast<std::streamsize>(piece.size())) || in.gcount() > 0) {
    for (std::streamsize i = 0; i < in.gcount(); ++i) {
      if (piece[static_cast<size_t>(i)] != testweb::GeneratedByte(offset + static_cast<size_t>(i)))
        ++mismatches;
    }
    offset += static_cast<size_t>(in.gcount());
  }
  EXPECT_EQ(offset, kBytes);
  EXPECT_EQ(mismatches, 0u);

  // Over the upper limit while streaming: refused, nothing left behind.
  request.nMaxKB = 1024;
  request.strSavePath = (folder.Dir() / "over.jpg").string();
  EXPECT_FALSE(HttpFetch(request, response, 3));
  EXPECT_EQ(Entries(folder.Dir()), 1u);
}

// A stop raised 300 ms into an exchange whose answer never completes.
class StopDuring : public EngineStream {
 protected:
  bool FetchAndStop(HttpRequest request, std::chrono::steady_clock::duration& took) {
    std::atomic<bool> stop{false};
    request.stopRequested = [&stop] { return stop.load(); };
    request.nTries = 3;
    request.nRetryPause = 5;
    std::thread button([&stop] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      stop = true;
    });
    const auto start = std::chrono::steady_clock::now();
    bool ok = HttpFetch(request, response, 3);
    took = std::chrono::steady_clock::now() - start;
    button.join();
    return ok;
  }
};

TEST_F(StopDuring, AStallOrATrickleEndsTheExchangeWithNoFile) {
  Reply stall = Reply::Text(Jpeg(1000), "image/jpeg");
  stall.stallMs = 120000;
  web.Route("", "/stall.jpg", stall);
  Reply trickle = Reply::Text(Jpeg(100000), "image/jpeg");
  trickle.trickleBytes = 10;
  trickle.trickleDelayMs = 50;
  web.Route("", "/trickle.jpg", trickle);

  for (const char* path : {"/stall.jpg", "/trickle.jpg"}) {
    std::chrono::steady_clock::duration took{};
    EXPECT_FALSE(FetchAndStop(Picture(web.Origin() + path), took)) << path;
    // Neither the 60 s read time-out nor the pauses between attempts ran out.
    EXPECT_LT(took, std::chrono::seconds(20)) << path;
  }
  EXPECT_EQ(web.Requests().size(), 2u) << "no further attempt after a stop";
  EXPECT_EQ(Entries(folder.Dir()), 0u);
}

}  // namespace
}  // namespace albumora
