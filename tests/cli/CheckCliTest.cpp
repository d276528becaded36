// SPDX-License-Identifier: GPL-3.0-or-later
// `albumora check` and `--write-pages` against the loopback web: a family that still reads its
// pages, one whose album index changed, and the pages a run saves for a bug report.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "SiteCli.h"
#include "TestFiles.h"
#include "TestWeb.h"

namespace albumora {
namespace {

namespace fs = std::filesystem;
using testweb::Fixture;
using testweb::ReadFile;
using testweb::Reply;
using testweb::TestWeb;

using sitecli::CaseAnswer;

class CheckCli : public sitecli::SiteCli {};

constexpr const char* kZol = "http://album.zol.com.cn/xiaoming/index.html";

void ServeZol(TestWeb& web, const std::string& indexCase) {
  web.Route("album.zol.com.cn", "/xiaoming/album_1.html",
            CaseAnswer("zol/" + indexCase + "/p1.html"));
  // The changed index's second page is not found, as in its case folder.
  if (indexCase == "member-albums") {
    web.Route("album.zol.com.cn", "/xiaoming/album_2.html",
              CaseAnswer("zol/member-albums/p2.html"));
  }
  web.Route("album.zol.com.cn", "/xiaoming/photo_101_1.html",
            CaseAnswer("zol/member-albums/a1.html"));
  web.Route("album.zol.com.cn", "/xiaoming/photo_101_2.html",
            CaseAnswer("zol/member-albums/a2.html"));
  web.Route("album.zol.com.cn", "/xiaoming/photo_102_1.html",
            CaseAnswer("zol/member-albums/a1.html"));
}

TEST_F(CheckCli, AFamilyThatWorksGivesItsStepTable) {
  ServeZol(web_, "member-albums");
  ASSERT_EQ(Run("check", "--site zol", kZol).status, 0) << out_ << err_;
  // The album index (two pages, a cap of two) and the first picture pages of two albums.
  EXPECT_NE(out_.find("album index"), std::string::npos) << out_;
  EXPECT_NE(out_.find("picture-list page"), std::string::npos) << out_;
  EXPECT_NE(out_.find("`id=\"pic_`"), std::string::npos) << out_;
  EXPECT_NE(out_.find("http://album.zol.com.cn/xiaoming/photo_101_1.html"), std::string::npos);
  EXPECT_NE(out_.find("result: every step took items (status 0)"), std::string::npos) << out_;

  // With --json one object per step, each with its items.
  ASSERT_EQ(Run("check", "--site zol --json", kZol).status, 0) << err_;
  const std::vector<std::string> lines = testweb::Lines(out_);
  const auto steps = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
    return line.starts_with("{\"type\":\"step\"");
  });
  EXPECT_GE(steps, 3) << out_;
  EXPECT_NE(out_.find("\"kind\":\"album index\",\"checked\":true"), std::string::npos) << out_;
  EXPECT_NE(out_.find("\"ok\":true,\"status\":0"), std::string::npos) << out_;
}

TEST_F(CheckCli, AChangedPageIsNamedWithItsMissingMarker) {
  ServeZol(web_, "changed-page");
  const auto result = Run("check", "--site zol", kZol);
  EXPECT_EQ(result.status, 3) << out_;
  EXPECT_NE(out_.find("no longer holds `id=\"pic_`"), std::string::npos) << out_;
  EXPECT_NE(out_.find("http://album.zol.com.cn/xiaoming/album_1.html (album index"),
            std::string::npos)
      << out_;

  // `list` says the same on stderr and, with --json, as a diagnosis object.
  EXPECT_EQ(Run("list", "--site zol --json", kZol).status, 3);
  EXPECT_NE(err_.find("no longer holds `id=\"pic_`: the site may have changed"), std::string::npos)
      << err_;
  EXPECT_NE(out_.find("{\"type\":\"diagnosis\",\"diagnosis\":{\"kind\":\"album index\""),
            std::string::npos)
      << out_;
}

TEST_F(CheckCli, AnAlbumWhosePageChangedSaysSoInItsLine) {
  std::string page = ReadFile(fs::path(ALBUMORA_SITE_CASES) / "zol/member-albums/a1.html");
  for (size_t at = page.find("id=\"pic_"); at != std::string::npos; at = page.find("id=\"pic_")) {
    page.replace(at, 8, "id=\"img_");
  }
  web_.Route("album.zol.com.cn", "/xiaoming/photo_101_1.html", Reply::Text(page, "text/html"));
  ServeZol(web_, "member-albums");
  EXPECT_EQ(Run("download", "--site zol --json --albums 1 --save " + save_.string(), kZol).status,
            4);
  EXPECT_NE(err_.find("album 春天 & 花: the page http://album.zol.com.cn/xiaoming/photo_101_1.html "
                      "(picture-list page, "),
            std::string::npos)
      << err_;
  EXPECT_NE(err_.find("no longer holds `id=\"pic_`: the site may have changed"), std::string::npos);
  EXPECT_NE(out_.find("\"diagnosis\":{\"kind\":\"picture-list page\""), std::string::npos) << out_;
}

TEST_F(CheckCli, WritePagesSavesEveryPageInFetchOrderWithoutCredentials) {
  // The site sets a login cookie and echoes a token in its page; the run sends a cookie.
  web_.Route("album.zol.com.cn", "/xiaoming/album_1.html",
             Reply::Text(ReadFile(fs::path(ALBUMORA_SITE_CASES) / "zol/member-albums/p1.html") +
                             "<a href=\"/x?skey=@secret77&id=1\">x</a>",
                         "text/html")
                 .With("Set-Cookie", "p_skey=secret88; Path=/"));
  ServeZol(web_, "member-albums");  // routes are matched in the order added
  const fs::path cookies = dir_ / "export.txt";
  std::ofstream(cookies) << ".zol.com.cn\tTRUE\t/\tFALSE\t2147483647\tskey\tsecret99\n";
  const fs::path pages = dir_ / "pages";
  ASSERT_EQ(
      Run("list", "--site zol --cookies " + cookies.string() + " --write-pages " + pages.string(),
          kZol)
          .status,
      0)
      << err_;
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(pages)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  ASSERT_EQ(names,
            (std::vector<std::string>{"0001-album.zol.com.cn.txt", "0002-album.zol.com.cn.txt"}));
  const std::string first = ReadFile(pages / names[0]);
  EXPECT_TRUE(first.starts_with("GET http://album.zol.com.cn/xiaoming/album_1.html\n")) << first;
  EXPECT_TRUE(
      ReadFile(pages / names[1]).starts_with("GET http://album.zol.com.cn/xiaoming/album_2"));
  EXPECT_NE(first.find("HTTP/1.1 200"), std::string::npos) << first;
  EXPECT_NE(first.find("id=\"pic_"), std::string::npos);  // the body, as the site sent it
  // A second run into the folder goes on after its pages.
  ASSERT_EQ(Run("list", "--site zol --write-pages " + pages.string(), kZol).status, 0) << err_;
  EXPECT_TRUE(fs::exists(pages / "0004-album.zol.com.cn.txt"));
  EXPECT_FALSE(fs::exists(pages / "0005-album.zol.com.cn.txt"));
  for (const std::string& name : names) {
    std::string text = ReadFile(pages / name);
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(text.find("cookie:"), std::string::npos) << text;
    EXPECT_EQ(text.find("secret"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace albumora
