// The command line end to end: the program runs as a child process against the loopback web.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include "ScratchDir.h"
#include "TestFiles.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "TestWeb.h"
#include "model/Settings.h"

namespace albumora {
namespace {

using testweb::Fixture;
using testweb::Lines;
using testweb::ReadFile;
using testweb::Reply;
using testweb::TestWeb;

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Quote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

class ListCli : public ::testing::Test {
 protected:
  void SetUp() override {}

  // Runs the program with stdin from /dev/null (no terminal) and the proxy variables cleared.
  RunResult Run(const std::vector<std::string>& args) {
    std::string command =
        "env -u http_proxy -u HTTP_PROXY -u https_proxy -u HTTPS_PROXY " + Quote(ALBUMORA_CLI_PATH);
    for (const std::string& arg : args) {
      // GCC 12 at -O3 reports a bogus overlap (-Wrestrict) in the inlined std::string code of a
      // literal followed by a temporary string; the buffers never overlap.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
      command += " " + Quote(arg);
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
#pragma GCC diagnostic pop
#endif
    }
    const std::filesystem::path out = dir_ / "stdout.txt";
    const std::filesystem::path err = dir_ / "stderr.txt";
    command += " </dev/null >" + Quote(out.string()) + " 2>" + Quote(err.string());
    RunResult result;
    const int raw = std::system(command.c_str());
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
  }

  RunResult List(const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"list", "--home", home_.string(), "--proxy", web_.ProxyUrl()};
    args.insert(args.end(), extra.begin(), extra.end());
    return Run(args);
  }

  void ServeQzone(const std::string& albums) {
    web_.Route("route.store.qq.com", "/GetRoute", Reply::Text(Fixture("qzone/route.json")));
    web_.Route("alist.photo.qq.com", "/fcgi-bin/fcg_list_album_v2", Reply::Text(albums));
  }

  std::string Recent(size_t i) {
    SettingsRecord record;
    LoadSettings(record, home_ / "soft.dat");
    return FieldText(record.recentAddr[i]);
  }

  testweb::ScratchDir scratch_{"cli"};
  std::filesystem::path dir_ = scratch_.Dir();
  std::filesystem::path home_ = dir_ / "home";
  TestWeb web_;
};

TEST_F(ListCli, SitesListsTheFifteenFamilies) {
  const RunResult result = Run({"sites"});
  EXPECT_EQ(result.status, 0);
  const std::vector<std::string> lines = Lines(result.out);
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_EQ(lines[0], "0\tqzone\tQQ空间/腾讯微博");
  EXPECT_EQ(lines[14], "14\tpconline\t太平洋摄影部落");
}

TEST_F(ListCli, ListPrintsTheAlbumsAndRemembersTheAddress) {
  ServeQzone(Fixture("qzone/albums.js"));
  const RunResult result = List({"10001"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(Lines(result.out), (std::vector<std::string>{
                                   "0001\t旅行。2019\t  12\t",
                                   "0002\t旅行。2019 (1)\t   0\t私密相册",
                                   "0003\t家人 & 朋友\t   5\t好友可见",
                                   "0004\t密码\t   3\t加密相册",
                                   "0005\t同学\t1234\t好友可见",
                               }));
  EXPECT_NE(result.err.find("相册列表(共5个)"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("获取相册列表完成，共5个"), std::string::npos) << result.err;
  EXPECT_EQ(Recent(0), "10001");
  EXPECT_TRUE(std::filesystem::exists(home_ / "cookies.txt"));

  // A second owner joins the recent list in front.
  EXPECT_EQ(List({"--site", "qzone", "http://user.qzone.qq.com/20002"}).status, 0);
  EXPECT_EQ(Recent(0), "http://user.qzone.qq.com/20002");
  EXPECT_EQ(Recent(1), "10001");
  EXPECT_EQ(web_.RequestsTo("UIN=20002").size(), 1u);
}

TEST_F(ListCli, NoAlbumIsStillARun) {
  ServeQzone(testweb::ToGbk(R"(_Callback({"code":0,"data":{}}))"));
  const RunResult result = List({"10001"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("4、下载腾讯微博相册"), std::string::npos) << result.err;
  EXPECT_EQ(Recent(0), "");
}

TEST_F(ListCli, RefusedAddressesExitOne) {
  RunResult result = List({"   "});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("请输入正确的相册网址（QQ空间可直接输入QQ号）"), std::string::npos);
  result = List({"--site", "baidu", "xiangce.baidu.com/someone"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("请输入正确的相册网址"), std::string::npos);
  EXPECT_TRUE(web_.Requests().empty());
}

TEST_F(ListCli, UsageErrorsExitTwo) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {},
           {"frobnicate"},
           {"list"},
           {"list", "a", "b"},
           {"list", "--site", "nosuchsite", "10001"},
           {"list", "--site"},
           {"list", "--bogus", "10001"},
           {"sites", "extra"},
       }) {
    const RunResult result = Run(args);
    EXPECT_EQ(result.status, 2) << (args.empty() ? "" : args[0]);
    EXPECT_NE(result.err.find("usage:"), std::string::npos);
  }
}

TEST_F(ListCli, QuestionsAreAnsweredByTheFlags) {
  ServeQzone(testweb::ToGbk(R"(_Callback({"code":-3000,"msg" : "主人设置了访问权限"}))"));
  RunResult result = List({"--yes", "10001"});
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.err.find("加密或非公开空间，是否进行身份验证?"), std::string::npos);
  EXPECT_NE(result.err.find("-> yes"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("http://user.qzone.qq.com/10001"), std::string::npos);
  result = List({"10001"});  // no terminal, no flag: No
  EXPECT_NE(result.err.find("-> no"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("login:"), std::string::npos) << result.err;
}

TEST_F(ListCli, ImportedCookiesSignTheRequests) {
  ServeQzone(Fixture("qzone/albums.js"));
  const std::filesystem::path cookies = dir_ / "export.txt";
  std::ofstream(cookies) << "# Netscape HTTP Cookie File\n"
                         << ".qq.com\tTRUE\t/\tFALSE\t2147483647\tuin\to0123\n"
                         << ".qq.com\tTRUE\t/\tFALSE\t2147483647\tskey\t@abc\n";
  const RunResult result = List({"--cookies", cookies.string(), "10001"});
  EXPECT_EQ(result.status, 0) << result.err;
  uint32_t token = 5381;
  for (unsigned char c : std::string("@abc")) token = token * 33 + c;
  token &= 0x7FFFFFFFu;
  const auto sent = web_.RequestsTo("fcg_list_album_v2");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_NE(sent[0].query.find("g_tk=" + std::to_string(token)), std::string::npos);
  // The store is kept in the program folder for the next run.
  EXPECT_NE(ReadFile(home_ / "cookies.txt").find("@abc"), std::string::npos);
  web_.ClearRequests();
  EXPECT_EQ(List({"10001"}).status, 0);
  EXPECT_NE(web_.RequestsTo("fcg_list_album_v2").at(0).query.find("g_tk=" + std::to_string(token)),
            std::string::npos);
  EXPECT_EQ(List({"--cookies", (dir_ / "missing.txt").string(), "10001"}).status, 1);
}

}  // namespace
}  // namespace albumora
