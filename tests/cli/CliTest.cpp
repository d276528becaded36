// SPDX-License-Identifier: GPL-3.0-or-later
// The command line end to end: the program runs as a child process against the loopback web.
#include <gtest/gtest.h>

#include <signal.h>
#include "CliRun.h"
#include "ScratchDir.h"
#include "TestFiles.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
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

using clitest::JsonLines;
using clitest::RunProgram;
using clitest::RunResult;

class ListCli : public ::testing::Test {
 protected:
  void SetUp() override {}

  RunResult Run(const std::vector<std::string>& args) {
    return RunProgram(ALBUMORA_CLI_PATH, args, dir_);
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
  EXPECT_EQ(lines[14],
            "14\tpconline\t太平洋摄影部落\tsupported\thttp://photo.pconline.com.cn/someone/");
  EXPECT_EQ(lines[0].rfind("0\tqzone\tQQ空间/腾讯微博\tsupported\t10001 http://", 0), 0u)
      << lines[0];
  for (const std::string& line : lines) {
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 4) << line;
  }
}

TEST_F(ListCli, ListPrintsTheAlbumsAndRemembersTheAddress) {
  ServeQzone(Fixture("qzone/albums.js"));
  const RunResult result = List({"10001"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(Lines(result.out), (std::vector<std::string>{
                                   "0001\t旅行。2019\t12\t",
                                   "0002\t旅行。2019 (1)\t0\t私密相册",
                                   "0003\t家人 & 朋友\t5\t好友可见",
                                   "0004\t密码\t3\t加密相册",
                                   "0005\t同学\t1234\t好友可见",
                               }));
  // The window's title line only with -v.
  EXPECT_EQ(result.err.find("title:"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("获取相册列表完成，共5个"), std::string::npos) << result.err;
  EXPECT_NE(List({"-v", "10001"}).err.find("title: 相册列表(共5个)"), std::string::npos);
  // A listing needs no settings file: none is made; one that is there remembers the address.
  EXPECT_FALSE(std::filesystem::exists(home_ / "soft.dat"));
  EXPECT_TRUE(std::filesystem::exists(home_ / "cookies.txt"));
  ASSERT_TRUE(SaveSettings(SettingsRecord{}, home_ / "soft.dat"));
  EXPECT_EQ(List({"10001"}).status, 0);
  EXPECT_EQ(Recent(0), "10001");

  // A second owner joins the recent list in front.
  EXPECT_EQ(List({"--site", "qzone", "http://user.qzone.qq.com/20002"}).status, 0);
  EXPECT_EQ(Recent(0), "http://user.qzone.qq.com/20002");
  EXPECT_EQ(Recent(1), "10001");
  EXPECT_EQ(web_.RequestsTo("UIN=20002").size(), 1u);
}

TEST_F(ListCli, JsonLinesCarryAddressAndCover) {
  ServeQzone(Fixture("qzone/albums.js"));
  const RunResult result = List({"--json", "10001"});
  ASSERT_EQ(result.status, 0) << result.err;
  const auto rows = JsonLines(result.out);
  ASSERT_EQ(rows.size(), 5u) << result.out;
  EXPECT_EQ(rows[0]["type"].text, "album");
  EXPECT_EQ(rows[0]["row"].number, 1);
  EXPECT_EQ(rows[0]["name"].text, "旅行。2019");
  EXPECT_EQ(rows[0]["count"].number, 12);
  EXPECT_EQ(rows[0]["cover"].text, "http://b.photo.qq.com/a/V10a/cover.jpg");
  EXPECT_FALSE(rows[0]["address"].text.empty());
  EXPECT_EQ(rows[1]["remark"].text, "私密相册");
}

TEST_F(ListCli, ControlCharactersOfRemoteNamesAreEscaped) {
  std::string albums = R"(_Callback({
   "code" : 0,
   "data" : {
      "albumListModeSort" : [
         {
            "id" : "V1",
            "name" : "red@ESC@[31mname",
            "pre" : "",
            "priv" : 1,
            "total" : 2,
         },
      ]
   }
}))";
  albums.replace(albums.find("@ESC@"), 5, "\x1b");
  ServeQzone(testweb::ToGbk(albums));
  RunResult result = List({"10001"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out.find('\x1b'), std::string::npos) << result.out;
  // Album names lose their control characters when they are cleaned.
  EXPECT_NE(result.out.find("red[31mname"), std::string::npos) << result.out;
  result = List({"--json", "10001"});
  EXPECT_EQ(result.out.find('\x1b'), std::string::npos);
  EXPECT_EQ(JsonLines(result.out).at(0)["name"].text, "red[31mname");
}

// A site's text with a line break inside a page address: the failed-list message stays on its
// line, the break shown escaped.
TEST_F(ListCli, ControlCharactersInFailedListMessagesAreEscaped) {
  std::string albums = R"(_Callback({
   "code" : 0,
   "data" : {
      "albumListModeSort" : [
         {
            "id" : "V1@LF@x",
            "name" : "lake",
            "pre" : "",
            "priv" : 1,
            "total" : 2,
         },
      ]
   }
}))";
  albums.replace(albums.find("@LF@"), 4, "\\n");
  ServeQzone(testweb::ToGbk(albums));
  RunResult result = Run({"download", "--home", home_.string(), "--proxy", web_.ProxyUrl(), "-o",
                          (dir_ / "save").string(), "10001"});
  EXPECT_EQ(result.status, 4) << result.err;
  const size_t line = result.err.find("album lake: list failed");
  ASSERT_NE(line, std::string::npos) << result.err;
  const std::string message = result.err.substr(line, result.err.find('\n', line) - line);
  EXPECT_NE(message.find("\\x0a"), std::string::npos) << result.err;
  EXPECT_NE(message.find("g_tk="), std::string::npos) << result.err;
}

TEST_F(ListCli, NoAlbumExitsThree) {
  ServeQzone(testweb::ToGbk(R"(_Callback({"code":0,"data":{}}))"));
  const RunResult result = List({"10001"});
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(result.out, "");
  EXPECT_NE(result.err.find("4、下载腾讯微博相册"), std::string::npos) << result.err;
  // The site's advice to log in from the window's menu says how to do it here.
  EXPECT_NE(result.err.find("(on the command line: "), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("--cookies FILE)"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("no album listed for 10001"), std::string::npos) << result.err;
  EXPECT_EQ(Recent(0), "");
}

TEST_F(ListCli, ADeadProxyExitsThreeAndNamesTheCause) {
  // A port nobody listens on.
  const std::string dead = "http://127.0.0.1:" + std::to_string(testweb::FreeLoopbackPort());
  RunResult result = Run({"list", "--home", home_.string(), "--proxy", dead, "10001"});
  EXPECT_EQ(result.status, 3);
  EXPECT_NE(result.err.find("last failed request: "), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("onnect"), std::string::npos) << result.err;  // curl's own words
  // Not the site's advice to log in: the network was the cause.
  EXPECT_EQ(result.err.find("message:"), std::string::npos) << result.err;
  // -v names every failed page of the list by its address.
  result = Run({"list", "-v", "--home=" + home_.string(), "--proxy=" + dead, "10001"});
  EXPECT_NE(result.err.find("failed: http://route.store.qq.com/GetRoute?UIN=10001"),
            std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("status: 获取相册列表失败"), std::string::npos) << result.err;
}

TEST_F(ListCli, RefusedAddressesAreUsageErrors) {
  RunResult result = List({"   "});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("请输入正确的相册网址（QQ空间可直接输入QQ号）"), std::string::npos);
  EXPECT_NE(result.err.find("try 'albumora list --help'"), std::string::npos) << result.err;
  EXPECT_TRUE(web_.Requests().empty());

  // Malformed addresses and addresses no family takes: refused in one line naming the accepted
  // forms, before any request.
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"abc"},
           {"10001abc"},
           {"http://"},
           {"ftp://foo"},
           {"http://unknown.example.com/x"},
           {"user.qzone.qq.com/10001"},
           {"--site", "netease", "http://user.qzone.qq.com/10001"},
       }) {
    result = List(args);
    EXPECT_EQ(result.status, 2) << args.back() << result.err;
    EXPECT_NE(result.err.find("'albumora sites' lists"), std::string::npos) << result.err;
    EXPECT_EQ(testweb::Lines(result.err).size(), 2u) << result.err;
  }
  // Numbers no account has; a control character of the typed text is shown escaped.
  for (const auto& [typed, told] : std::vector<std::pair<std::string, std::string>>{
           {"0", "not an account number: \"0\""},
           {"12345678901234567890", "a QQ number has 5 to 10 digits"},
           {"\x1b[2J10001", "not an album address: \"\\x1b[2J10001\""},
       }) {
    result = List({typed});
    EXPECT_EQ(result.status, 2) << typed;
    EXPECT_NE(result.err.find(told), std::string::npos) << result.err;
  }
  const std::filesystem::path input = dir_ / "addresses.txt";
  std::ofstream(input) << "abc\n";
  result = Run({"download", "--home", home_.string(), "--proxy", web_.ProxyUrl(), "-o",
                (dir_ / "save").string(), "-i", input.string()});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find(input.string() + ":1: not an album address: \"abc\""),
            std::string::npos)
      << result.err;
  EXPECT_TRUE(web_.Requests().empty());
}

TEST_F(ListCli, AddressesAsBrowsersShowThemAreTaken) {
  ServeQzone(Fixture("qzone/albums.js"));
  for (const char* address :
       {"http://user.qzone.qq.com/10001/", "HTTPS://User.Qzone.QQ.com/10001", " 10001 "}) {
    const RunResult result = List({address});
    EXPECT_EQ(result.status, 0) << address << result.err;
    EXPECT_FALSE(result.out.empty()) << address;
  }
  // A family whose addresses no fragment recognises takes them with --site.
  EXPECT_NE(List({"--site", "pconline", "http://photo.pconline.com.cn/someone/"}).status, 2);
}

TEST_F(ListCli, UsageErrorsExitTwoWithAOneLineHint) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {},
           {"frobnicate"},
           {"list"},
           {"list", "a", "b"},
           {"list", "--site", "nosuchsite", "10001"},
           {"list", "--site"},
           {"list", "--bogus", "10001"},
           {"sites", "extra"},
           {"download", "-o", "/tmp", "--threads", "16", "10001"},
           {"download", "10001"},
           {"download", "--export", "wget", "-o", "/tmp", "10001"},
           {"download", "--export", "aria2", "--thunder-list", "-o", "/tmp", "10001"},
           {"config", "--set", "threads=0"},
       }) {
    const RunResult result = Run(args);
    const std::string shown = args.empty() ? "" : args[0];
    EXPECT_EQ(result.status, 2) << shown;
    EXPECT_NE(result.err.find("try 'albumora "), std::string::npos) << shown << result.err;
    EXPECT_LE(testweb::Lines(result.err).size(), 2u) << result.err;
  }
}

TEST_F(ListCli, TyposAreNamedWithWhatWasMeant) {
  const std::string save = (dir_ / "save").string();
  for (const auto& [args, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"donwload"}, "unknown command 'donwload'; did you mean 'download'?"},
           {{"frobnicate"}, "unknown command 'frobnicate'; the commands are"},
           {{"--hepl"}, "unknown option --hepl; did you mean --help?"},
           {{"list", "--thread", "3", "10001"}, "unknown option --thread for list"},
           {{"download", "--sav", save, "10001"},
            "unknown option --sav for download; did you "
            "mean --save?"},
           {{"download", "-o", save, "--threads", "abc", "10001"},
            "--threads takes a whole number from 1 to 15, not \"abc\""},
           {{"download", "-o", save, "--timeout", "5", "10001"},
            "--timeout takes 10 to 65535 seconds, not \"5\""},
           {{"download", "-o", save, "--timeout", "-5", "10001"},
            "--timeout takes 10 to 65535 seconds, not \"-5\""},
           {{"download", "-o", save, "--retries", "99999999999999999999", "10001"},
            "--retries takes a whole number from 0 to 100"},
           {{"download", "-o", save, "-a", "1-99999999999999", "10001"},
            "--albums: rows go from 1 to 999999999"},
           {{"download", "-o", save, "--save-cookies", "10001"},
            "--save-cookies keeps the cookies of a --cookies FILE"},
       }) {
    const RunResult result = Run(args);
    EXPECT_EQ(result.status, 2) << args[0];
    EXPECT_EQ(result.err.rfind("albumora: " + message, 0), 0u) << result.err;
  }
  // help as a command; the last of a repeated option wins.
  RunResult result = Run({"help"});
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("Usage: albumora"), std::string::npos) << result.out;
  result = Run({"help", "download"});
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.out.find("--save"), std::string::npos) << result.out;
  result = Run(
      {"config", "--home", home_.string(), "--site", "nosuchsite", "--site", "netease", "--json"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("\"site\":\"netease\""), std::string::npos) << result.out;
}

TEST_F(ListCli, HelpAndVersion) {
  RunResult result = Run({"--version"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out.rfind("albumora ", 0), 0u) << result.out;
  result = Run({"download", "--help"});
  EXPECT_EQ(result.status, 0);
  for (const char* text : {"--save", "--albums", "1,3-5", "KB", "Exit status", "130", "--export",
                           "user.qzone.qq.com"}) {
    EXPECT_NE(result.out.find(text), std::string::npos) << text;
  }
  EXPECT_EQ(Run({"list", "-h"}).status, 0);
  EXPECT_EQ(Run({"config", "--help"}).status, 0);
}

TEST_F(ListCli, QuestionsAreAnsweredByTheFlags) {
  ServeQzone(testweb::ToGbk(R"(_Callback({"code":-3000,"msg" : "主人设置了访问权限"}))"));
  RunResult result = List({"--yes", "10001"});
  EXPECT_EQ(result.status, 3);
  // The program's own question in its lines, not with "\x0a".
  EXPECT_NE(result.err.find("加密或非公开空间，是否进行身份验证?\n(验证成功后"), std::string::npos)
      << result.err;
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
  // The file is for its run only; --save-cookies keeps it for the next runs.
  EXPECT_EQ(ReadFile(home_ / "cookies.txt").find("@abc"), std::string::npos);
  EXPECT_EQ(List({"--cookies", cookies.string(), "--save-cookies", "10001"}).status, 0);
  EXPECT_NE(ReadFile(home_ / "cookies.txt").find("@abc"), std::string::npos);
  web_.ClearRequests();
  EXPECT_EQ(List({"10001"}).status, 0);
  EXPECT_NE(web_.RequestsTo("fcg_list_album_v2").at(0).query.find("g_tk=" + std::to_string(token)),
            std::string::npos);
  EXPECT_EQ(List({"--cookies", (dir_ / "missing.txt").string(), "10001"}).status, 1);
  // Lines not in the cookies.txt form are counted; a file of nothing else is refused.
  std::ofstream(cookies, std::ios::app) << "garbage\n.qq.com TRUE / FALSE 0 a b\n";
  RunResult mixed = List({"--cookies", cookies.string(), "10001"});
  EXPECT_EQ(mixed.status, 0);
  EXPECT_NE(mixed.err.find("2 line(s) skipped"), std::string::npos) << mixed.err;
  std::ofstream(cookies) << "<html>not cookies</html>\n";
  mixed = List({"--cookies", cookies.string(), "10001"});
  EXPECT_EQ(mixed.status, 1);
  EXPECT_NE(mixed.err.find("holds no cookie line"), std::string::npos) << mixed.err;
}

TEST_F(ListCli, ConfigSetsASlotOfSoftDat) {
  const std::string home = "--home=" + home_.string();
  RunResult result =
      Run({"config", home, "--site", "netease", "--set", "threads=7", "--set", "name-prefix=?1_",
           "--set=skip-old=on", "--set", "name-mode=address", "--set", "max-kb=900"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("threads=7\n"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("skip-old=on\n"), std::string::npos) << result.out;

  const std::string bytes = ReadFile(home_ / "soft.dat");
  ASSERT_EQ(bytes.size(), kSettingsFileSize);
  const SettingsRecord record =
      DecodeSettings(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  EXPECT_EQ(record.DownParams[2].wThreads, 7);
  EXPECT_EQ(record.DownParams[2].wMaxKB, 900);
  EXPECT_EQ(record.DownParams[2].wTimeout, 30);
  EXPECT_EQ(FieldText(record.NameRules[2].szPrefix), "?1_");
  EXPECT_EQ(record.NameRules[2].wOptions, OPT_SKIP_OLD);
  EXPECT_EQ(record.NameRules[2].byNameMode, 2);
  EXPECT_EQ(record.DownParams[0].wThreads, 5);  // other slots untouched

  // Shown back as set; the dialogs' checks refuse and nothing is written.
  result = Run({"config", home, "--site", "2", "--json"});
  EXPECT_EQ(clitest::JsonLines(result.out).at(0)["name-prefix"].text, "?1_");
  EXPECT_TRUE(clitest::JsonLines(result.out).at(0)["skip-old"].boolean);
  for (const char* bad : {"threads=16", "timeout=9", "min-kb=901", "colour=red", "name-mode=x",
                          "dir-prefix=0123456789012345678901234567890123456789"}) {
    result = Run({"config", home, "--site", "netease", "--set", bad});
    EXPECT_EQ(result.status, 2) << bad;
  }
  EXPECT_EQ(ReadFile(home_ / "soft.dat"), bytes);
  // A refused change makes no program folder and no file.
  EXPECT_EQ(Run({"config", "--home", (dir_ / "new").string(), "--set", "threads=abc"}).status, 2);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "new"));
}

TEST_F(ListCli, ConfigShowsAndSetsAlbumoraToml) {
  const std::string home = "--home=" + home_.string();
  const std::filesystem::path file = home_ / "albumora.toml";
  // Showing writes nothing, not even the program folder.
  RunResult result = Run({"config", home, "--json"});
  ASSERT_EQ(result.status, 0) << result.err;
  // Numbers and truth values as such, texts as strings.
  const clitest::Json shown = clitest::JsonLines(result.out).at(0);
  EXPECT_EQ(shown["transfer.low_speed_seconds"].number, 10);
  EXPECT_EQ(shown["threads"].number, 5);
  EXPECT_EQ(shown["download.resume"].kind, clitest::Json::Kind::Bool);
  EXPECT_EQ(shown["transfer.user_agent"].kind, clitest::Json::Kind::String);
  EXPECT_EQ(shown["name-mode"].text, "description");
  EXPECT_FALSE(std::filesystem::exists(home_));

  result = Run({"config", home, "--set", "transfer.low_speed_seconds=20", "--set",
                "download.resume=off", "--set", "transfer.user_agent=Agent/1 \"x\""});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("\ntransfer.low_speed_seconds=20\n"), std::string::npos) << result.out;
  const std::string saved = ReadFile(file);
  EXPECT_NE(saved.find("\nlow_speed_seconds = 20\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\nresume = false\n"), std::string::npos) << saved;

  // A bad value is refused with its message and neither file changes.
  const std::string slot = ReadFile(home_ / "soft.dat");
  for (const char* bad :
       {"transfer.low_speed_seconds=3601", "transfer.low_speed_bytes=-1",
        "paging.album_list_pages=x", "download.resume=maybe", "transfer.user_agent=a\tb"}) {
    result = Run({"config", home, "--set", "threads=3", "--set", bad});
    EXPECT_EQ(result.status, 2) << bad;
    const std::string name = std::string(bad).substr(0, std::string(bad).find('='));
    EXPECT_NE(result.err.find("albumora: " + name + " takes "), std::string::npos) << result.err;
  }
  EXPECT_EQ(ReadFile(file), saved);
  EXPECT_EQ(ReadFile(home_ / "soft.dat"), slot);

  // Problems of the file are warnings (under -q too) and the command goes on; a file that does
  // not parse is not overwritten by --set.
  std::ofstream(file) << "[transfer]\nlow_speed_secs = 5\n";
  ServeQzone(Fixture("qzone/albums.js"));
  result = List({"-q", "10001"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("albumora: warning: " + file.string() +
                            ":2: unknown setting transfer.low_speed_secs"),
            std::string::npos)
      << result.err;
  // A hand-written file survives --set byte for byte but the changed line; its unknown key is
  // told, not dropped.
  const std::string hand =
      "# mine\n[transfer]\nlow_speed_secs = 5  # typo\n\nlow_speed_bytes = 1\n";
  std::ofstream(file) << hand;
  result = Run({"config", home, "--set", "transfer.low_speed_bytes=2048"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("unknown setting transfer.low_speed_secs"), std::string::npos);
  std::string edited = hand;
  edited.replace(edited.find("= 1\n"), 3, "= 2048");
  EXPECT_EQ(ReadFile(file), edited);
  std::ofstream(file) << "[transfer\n";
  result = Run({"config", home, "--set", "transfer.low_speed_seconds=30"});
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_NE(result.err.find("albumora: warning: " + file.string() + ":1:"), std::string::npos)
      << result.err;
  EXPECT_EQ(ReadFile(file), "[transfer\n");
}

TEST_F(ListCli, CtrlCDuringTheAlbumListStopsWithStatus130) {
  Reply slow = Reply::Text(Fixture("qzone/route.json"));
  slow.headerDelayMs = 1500;
  web_.Route("route.store.qq.com", "/GetRoute", slow);
  web_.Route("alist.photo.qq.com", "/fcgi-bin/fcg_list_album_v2",
             Reply::Text(Fixture("qzone/albums.js")));
  clitest::Child child(ALBUMORA_CLI_PATH,
                       {"list", "--home", home_.string(), "--proxy", web_.ProxyUrl(), "10001"},
                       dir_);
  ASSERT_GT(child.Pid(), 0);
  for (int i = 0; i < 200 && web_.RequestsTo("GetRoute").empty(); ++i) usleep(20 * 1000);
  ASSERT_FALSE(web_.RequestsTo("GetRoute").empty());
  kill(child.Pid(), SIGINT);
  const RunResult result = child.Wait();
  EXPECT_EQ(result.status, 130) << result.err;
  EXPECT_NE(result.err.find("albumora: stopped"), std::string::npos) << result.err;
  // The status says the list was cut short, not that it was done.
  EXPECT_NE(result.err.find("status: 获取相册列表已终止，共0个"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("获取相册列表完成"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace albumora
