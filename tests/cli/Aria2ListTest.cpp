// SPDX-License-Identifier: GPL-3.0-or-later
// The aria2 input file's text, in-process: what aria2c would misread never reaches it.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/DownloadRun.h"
#include "model/DownloadList.h"

namespace albumora {
namespace {

TEST(Aria2List, EveryPictureHasOneAddressAndNoEntryLineStartsWithSpace) {
  DownloadList list;
  list.strSaveDir = "/save/album/";
  // A full size with a preview; only a preview (no full size known); the same address twice; an
  // address with a stray tab and line break; no address at all.
  list.arrUrl = {"http://a/1.jpg\r\nhttp://a/b1.jpg", "\r\nhttp://a/b2.jpg",
                 "http://a/3.jpg\r\nhttp://a/3.jpg", "\thttp://a/4.jpg\n", "\r\n"};
  list.arrName = {"one.jpg", "two.jpg", "three.jpg", "four.jpg", "none.jpg"};
  list.arrHeader = {"Referer: http://a/\r\n", "", "", "", ""};
  bool hasCookies = true;
  const std::string text = cli::Aria2ListText(
      list, "Agent/1", [](const std::string&) { return ""; }, hasCookies);
  EXPECT_FALSE(hasCookies);
  EXPECT_EQ(text.substr(text.find("\n# fallback") + 1),
            "# fallback: http://a/b1.jpg\n"
            "http://a/1.jpg\n dir=/save/album/\n out=one.jpg\n header=User-Agent: Agent/1\n"
            " header=Referer: http://a/\n"
            "http://a/b2.jpg\n dir=/save/album/\n out=two.jpg\n header=User-Agent: Agent/1\n"
            "http://a/3.jpg\n dir=/save/album/\n out=three.jpg\n header=User-Agent: Agent/1\n"
            "http://a/4.jpg\n dir=/save/album/\n out=four.jpg\n header=User-Agent: Agent/1\n");

  list.arrUrl.resize(1);
  const std::string signed_ = cli::Aria2ListText(
      list, "Agent/1", [](const std::string& address) { return "k=" + address; }, hasCookies);
  EXPECT_TRUE(hasCookies);
  EXPECT_NE(signed_.find(" header=Cookie: k=http://a/1.jpg\n"), std::string::npos);

  // A save folder given relative is written absolute: aria2c run from another folder puts the
  // files into the album's folder, not into a copy of the path under its own.
  list.strSaveDir = "save/./album/";
  const std::string relative = cli::Aria2ListText(
      list, "Agent/1", [](const std::string&) { return ""; }, hasCookies);
  EXPECT_NE(
      relative.find(" dir=" + (std::filesystem::current_path() / "save/album/").string() + "\n"),
      std::string::npos)
      << relative;
  EXPECT_NE(relative.find("an absolute path"), std::string::npos);
}

// A daemon on this machine writes where the names were checked; one elsewhere does not.
TEST(Aria2List, LoopbackAddresses) {
  for (const char* local : {"http://localhost:6800/jsonrpc", "http://127.0.0.1:6800/jsonrpc",
                            "https://LOCALHOST/jsonrpc", "http://[::1]:6800/jsonrpc"}) {
    EXPECT_TRUE(cli::IsLoopbackAddress(local)) << local;
  }
  for (const char* remote : {"http://nas:6800/jsonrpc", "http://192.168.1.2:6800/jsonrpc",
                             "http://localhost.example.com/jsonrpc"}) {
    EXPECT_FALSE(cli::IsLoopbackAddress(remote)) << remote;
  }
}

}  // namespace
}  // namespace albumora
