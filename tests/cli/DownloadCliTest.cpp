// SPDX-License-Identifier: GPL-3.0-or-later
// `albumora download` and `albumora demo` end to end: the program runs as a child process and
// downloads the sample Qzone account from the loopback web.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include "CliRun.h"
#include "ScratchDir.h"
#include "TestFiles.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sqlite3.h>

#include "DemoSite.h"
#include "TestWeb.h"
#include "model/Settings.h"
#include "net/HttpEngine.h"

namespace albumora {
namespace {

using testweb::DemoAlbums;
using testweb::Fixture;
using testweb::Lines;
using testweb::ReadFile;
using testweb::TestWeb;

std::string Utf16(const std::string& ascii) {
  std::string bytes;
  for (char c : ascii) {
    bytes.push_back(c);
    bytes.push_back('\0');
  }
  return bytes;
}

using clitest::Child;
using clitest::JsonLines;
using clitest::RunProgram;
using clitest::RunResult;

class DownloadCli : public ::testing::Test {
 protected:
  void SetUp() override { testweb::ServeDemoSite(web_); }

  RunResult Albumora(const std::string& arguments) {
    return RunProgram(ALBUMORA_CLI_PATH, Split(arguments), dir_);
  }
  static std::vector<std::string> Split(const std::string& arguments) {
    std::vector<std::string> words;
    std::istringstream in(arguments);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
  }
  std::string Download(const std::string& extra) {
    return "download --home " + Home() + " --proxy " + web_.ProxyUrl() + " --no " + extra;
  }
  std::string Home() const { return (dir_ / "home").string(); }
  std::filesystem::path Save() const { return dir_ / "save"; }
  std::filesystem::path Album(const std::string& name) const { return Save() / "10001" / name; }

  TestWeb web_;
  testweb::ScratchDir scratch_{"dlcli"};
  std::filesystem::path dir_ = scratch_.Dir();
};

TEST_F(DownloadCli, DownloadsEveryAlbumWithNamesMarkersAndFallbacks) {
  RunResult run = Albumora(Download("--save " + Save().string() + " 10001"));
  ASSERT_EQ(run.status, 0) << run.err;

  std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  EXPECT_EQ(lines[0], "0001\t西湖\tcomplete\t3\t3\t0\t0\t0\t" + Album("西湖").string() + "/");
  EXPECT_EQ(lines[2], "0003\t家人\tcomplete\t1\t1\t0\t0\t0\t" + Album("家人").string() + "/");

  const auto& lake = DemoAlbums()[0];
  EXPECT_EQ(ReadFile(Album("西湖") / "断桥残雪.jpg"), Fixture("demo/lake.jpg"));
  EXPECT_EQ(ReadFile(Album("西湖") / "苏堤春晓.jpg"), Fixture("demo/hills.jpg"));
  // The full-size address answers 404: the preview ("/b/") is written instead, not the error.
  EXPECT_EQ(ReadFile(Album("西湖") / "雷峰夕照.jpg"), Fixture("demo/sunset.jpg"));
  EXPECT_EQ(web_.RequestsTo("/V1west/full/3.jpg").size(), 1u);
  EXPECT_EQ(web_.RequestsTo("/V1west/b/3.jpg").size(), 1u);
  EXPECT_EQ(web_.RequestsTo("/V1west/b/1.jpg").size(), 0u);
  EXPECT_EQ(ReadFile(Album("西湖") / "pic.zrk"), Utf16(testweb::DemoFullAddress(lake, 0)));

  // Equal descriptions are numbered; the private album came from the album-view service.
  EXPECT_TRUE(std::filesystem::exists(Album("花园") / "月季.jpg"));
  EXPECT_TRUE(std::filesystem::exists(Album("花园") / "月季 (1).jpg"));
  EXPECT_EQ(ReadFile(Album("家人") / "全家福.jpg"), Fixture("demo/sunset.jpg"));
  EXPECT_NE(run.err.find("6 of 6 pictures written, 0 failed, 0 stopped"), std::string::npos)
      << run.err;
  // Off a terminal no line per picture.
  EXPECT_EQ(run.err.find("progress:"), std::string::npos) << run.err;

  // A second run over one album finds every picture already there and asks for none; with
  // --skip-old it finds nothing new.
  web_.ClearRequests();
  run = Albumora(Download("--albums 1 --save " + Save().string() + " 10001"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Lines(run.out).at(0),
            "0001\t西湖\tcomplete\t3\t0\t3\t0\t0\t" + Album("西湖").string() + "/");
  EXPECT_TRUE(web_.RequestsTo("b1.photo.store.qq.com").empty());
  run = Albumora(Download("--albums=1 --skip-old -o" + Save().string() + " 10001"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Lines(run.out).at(0), "0001\t西湖\tnothing new\t0\t0\t0\t0\t0\t");
  EXPECT_NE(run.err.find("nothing new"), std::string::npos) << run.err;
}

TEST_F(DownloadCli, SelectionAndRunOnlyOverrides) {
  RunResult run = Albumora(
      Download("--albums 1,3-3 --threads 2 --min-kb 2 --save " + Save().string() + " 10001"));
  std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 2u) << run.out;
  // Only the 2375-byte picture reaches the 2 KB minimum.
  EXPECT_EQ(lines[0], "0001\t西湖\tpartial\t3\t1\t0\t2\t0\t" + Album("西湖").string() + "/");
  EXPECT_EQ(lines[1], "0003\t家人\tpartial\t1\t0\t0\t1\t0\t" + Album("家人").string() + "/");
  EXPECT_EQ(run.status, 4);
  EXPECT_NE(run.err.find("1 of 4 pictures written, 3 failed (3 size limit), 0 stopped"),
            std::string::npos)
      << run.err;
  EXPECT_FALSE(std::filesystem::exists(Album("花园")));
  EXPECT_TRUE(std::filesystem::exists(Album("西湖") / "苏堤春晓.jpg"));
  EXPECT_FALSE(std::filesystem::exists(Album("西湖") / "断桥残雪.jpg"));

  // The overrides were not saved: the slot keeps the defaults.
  std::string bytes = ReadFile(std::filesystem::path(Home()) / "soft.dat");
  ASSERT_EQ(bytes.size(), kSettingsFileSize);
  SettingsRecord record =
      DecodeSettings(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  EXPECT_EQ(record.DownParams[0].wThreads, 5);
  EXPECT_EQ(record.DownParams[0].wMinKB, 0);
}

TEST_F(DownloadCli, ProblemsFoundBeforeAnyRequest) {
  std::ofstream(dir_ / "file") << "x";
  RunResult run = Albumora(Download("--save " + (dir_ / "file" / "sub").string() + " 10001"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("is a file, not a folder"), std::string::npos) << run.err;
  EXPECT_TRUE(run.out.empty());

  run = Albumora(Download("--min-kb 200 --max-kb 50 --save " + Save().string() + " 10001"));
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("every picture would fail"), std::string::npos) << run.err;
  EXPECT_EQ(Albumora(Download("--albums x --save " + Save().string() + " 10001")).status, 2);
  EXPECT_TRUE(web_.Requests().empty());

  // A row past the end is known once the list is.
  EXPECT_EQ(Albumora(Download("--albums 9 --save " + Save().string() + " 10001")).status, 2);
  EXPECT_FALSE(std::filesystem::exists(Album("西湖")));
  // With --json a run that fails before any album still ends in its summary.
  for (const auto& [extra, status] : std::vector<std::pair<std::string, int>>{
           {"--albums 9 --save " + Save().string() + " 10001", 2},
           {"--save " + (dir_ / "file" / "sub").string() + " 10001", 1}}) {
    run = Albumora(Download("--json " + extra));
    EXPECT_EQ(run.status, status);
    const auto objects = JsonLines(run.out);
    ASSERT_EQ(objects.size(), 1u) << run.out;
    EXPECT_EQ(objects[0]["type"].text, "summary");
    EXPECT_EQ(objects[0]["status"].number, status);
  }
}

TEST_F(DownloadCli, JsonLinesPerAlbumAndSummary) {
  RunResult run = Albumora(Download("--json --max-kb 2 --save " + Save().string() + " 10001"));
  EXPECT_EQ(run.status, 4) << run.err;
  auto objects = JsonLines(run.out);
  ASSERT_EQ(objects.size(), 6u) << run.out;
  // Each failed picture is named before its album.
  EXPECT_EQ(objects[0]["type"].text, "failed");
  EXPECT_EQ(objects[0]["reason"].text, "size limit");
  EXPECT_EQ(objects[0]["file"].text.rfind(Album("西湖").string(), 0), 0u)
      << objects[0]["file"].text;
  std::erase_if(objects, [](auto& object) { return object["type"].text == "failed"; });
  ASSERT_EQ(objects.size(), 4u) << run.out;
  EXPECT_EQ(objects[0]["type"].text, "album");
  EXPECT_EQ(objects[0]["outcome"].text, "partial");
  EXPECT_EQ(objects[0]["name"].text, "西湖");
  EXPECT_EQ(objects[0]["listed"].number, 3);
  EXPECT_EQ(objects[0]["written"].number, 2);
  EXPECT_EQ(objects[0]["failed"].number, 1);
  EXPECT_EQ(objects[0]["reasons"]["size limit"].number, 1);
  EXPECT_EQ(objects[0]["folder"].text, Album("西湖").string() + "/");
  const auto& summary = objects[3];
  EXPECT_EQ(summary["type"].text, "summary");
  EXPECT_EQ(summary["listed"].number, 6);
  EXPECT_EQ(summary["written"].number, 4);
  EXPECT_EQ(summary["failed"].number, 2);
  EXPECT_FALSE(summary["interrupted"].boolean);
  EXPECT_EQ(summary["status"].number, 4);
}

TEST_F(DownloadCli, FailedRequestsAreNamedWithVerbose) {
  RunResult run =
      Albumora(Download("-v --albums 1 --max-kb 1 --save " + Save().string() + " 10001"));
  EXPECT_EQ(run.status, 4);
  // One line per failed picture, by its file and each address tried; no second line per request.
  EXPECT_NE(run.err.find(".jpg: http://b1.photo.store.qq.com/psb/10001/V1west/full/1.jpg: "),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("size limit"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("request failed"), std::string::npos) << run.err;

  // The log keeps what stderr tells and the -v detail, also under -q, each line stamped; never
  // the progress line. It is appended to.
  const std::filesystem::path log = dir_ / "runs.log";
  std::ofstream(log) << "earlier\n";
  run = Albumora(Download("-q --log " + log.string() + " --albums 1 --max-kb 1 --save " +
                          Save().string() + " 10001"));
  EXPECT_EQ(run.status, 4);
  EXPECT_EQ(run.err.find("failed: http://"), std::string::npos) << run.err;
  const std::vector<std::string> logged = Lines(ReadFile(log));
  ASSERT_GE(logged.size(), 6u);
  EXPECT_EQ(logged[0], "earlier");
  std::string text;
  for (size_t i = 1; i < logged.size(); ++i) {
    EXPECT_EQ(logged[i].size() > 25 ? logged[i].substr(4, 1) + logged[i].substr(10, 1) : "", "-T")
        << logged[i];
    text += logged[i].substr(std::min<size_t>(25, logged[i].size())) + "\n";
  }
  for (const char* part : {"albumora 0.", " -q --log ",
                           ".jpg: http://b1.photo.store.qq.com/psb/10001/V1west/full/1.jpg: ",
                           "album 西湖: partial", "0 of 3 pictures written", "exit status 4\n"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }
  EXPECT_EQ(text.find("progress:"), std::string::npos) << text;
  run = Albumora(Download("-q --albums 1 --save " + Save().string() + " 10001"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Lines(run.out).size(), 1u);
}

TEST_F(DownloadCli, Aria2ExportIsReadRightByAria2c) {
  const std::filesystem::path cookies = dir_ / "export.txt";
  std::ofstream(cookies) << ".qq.com\tTRUE\t/\tFALSE\t2147483647\tskey\t@abc\n";
  RunResult run = Albumora(Download("--export aria2 --albums 1 --cookies " + cookies.string() +
                                    " --save " + Save().string() + " 10001"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("3 pictures listed for a download manager"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(Album("西湖") / "断桥残雪.jpg"));
  EXPECT_TRUE(web_.RequestsTo("/V1west/full/").empty());
  const std::filesystem::path list = Album("西湖") / "西湖.aria2.txt";
  const std::string text = ReadFile(list);
  const auto& lake = DemoAlbums()[0];
  // One address a picture; the preview ("/b/") is no mirror of the full size, only named.
  EXPECT_NE(
      text.find("\n" + testweb::DemoFullAddress(lake, 0) + "\n dir=" + Album("西湖").string() +
                "/\n out=断桥残雪.jpg\n header=User-Agent: " + kUserAgent + "\n"),
      std::string::npos)
      << text;
  EXPECT_NE(text.find("# fallback: http://b1.photo.store.qq.com/psb/10001/V1west/b/1.jpg\n"),
            std::string::npos);
  EXPECT_NE(text.find(" header=Cookie: skey=@abc\n"), std::string::npos) << text;
  EXPECT_EQ(std::filesystem::status(list).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

  // aria2c fetches the same bytes under the same names as albumora's own download, signed with
  // the user agent and the cookies.
  web_.ClearRequests();
  const RunResult aria2 =
      RunProgram("/usr/bin/aria2c",
                 {"--no-conf", "-q", "-i", list.string(), "--all-proxy=" + web_.ProxyUrl(),
                  "--max-tries=1", "--file-allocation=none", "--auto-file-renaming=false"},
                 dir_);
  EXPECT_NE(aria2.status, 0);  // the full size of the third picture answers 404
  const auto sent = web_.RequestsTo("/V1west/full/1.jpg");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].Header("User-Agent"), kUserAgent);
  EXPECT_EQ(sent[0].Header("Cookie"), "skey=@abc");
  EXPECT_TRUE(web_.RequestsTo("/V1west/b/").empty());
  const std::filesystem::path own = dir_ / "own";
  run = Albumora(Download("--albums 1 --save " + own.string() + " 10001"));
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* name : {"断桥残雪.jpg", "苏堤春晓.jpg"}) {
    EXPECT_EQ(ReadFile(Album("西湖") / name), ReadFile(own / "10001" / "西湖" / name)) << name;
  }
  // Export is for this run only: the slot keeps downloading.
  std::string bytes = ReadFile(std::filesystem::path(Home()) / "soft.dat");
  SettingsRecord record =
      DecodeSettings(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  EXPECT_EQ(record.NameRules[0].wOptions, 0);
}

// A dry run writes nothing and fetches no picture; the files it names are the ones a download
// then writes.
TEST_F(DownloadCli, DryRunNamesWhatADownloadWrites) {
  RunResult run = Albumora(Download("--dry-run --albums 1,3 --save " + Save().string() + " 10001"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(std::filesystem::exists(Save()));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(Home()) / "archive.db"));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(Home()) / "soft.dat"));
  EXPECT_TRUE(web_.RequestsTo("/V1west/full/").empty());
  EXPECT_NE(run.err.find("album 西湖: complete (a dry run: nothing fetched)"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("4 pictures listed (a dry run: nothing written)"), std::string::npos)
      << run.err;
  std::vector<std::string> files;
  for (const std::string& line : Lines(run.out)) {
    const std::vector<std::string> fields = [&] {
      std::vector<std::string> parts;
      std::istringstream in(line);
      for (std::string part; std::getline(in, part, '\t');) parts.push_back(part);
      return parts;
    }();
    if (fields.size() == 3) files.push_back(fields[2]);
  }
  ASSERT_EQ(files.size(), 4u) << run.out;
  EXPECT_EQ(files[0], (Album("西湖") / "断桥残雪.jpg").string());
  const auto objects = JsonLines(
      Albumora(Download("--dry-run --json --albums 1 --save " + Save().string() + " 10001")).out);
  ASSERT_GE(objects.size(), 3u);
  EXPECT_EQ(objects[0]["type"].text, "picture");
  EXPECT_EQ(objects[0]["address"].text, testweb::DemoFullAddress(DemoAlbums()[0], 0));
  EXPECT_EQ(objects[0]["file"].text, files[0]);

  run = Albumora(Download("--albums 1,3 --save " + Save().string() + " 10001"));
  ASSERT_EQ(run.status, 0) << run.err;
  for (const std::string& file : files) EXPECT_TRUE(std::filesystem::exists(file)) << file;
}

TEST_F(DownloadCli, PicturesHandedToARunningAria2) {
  // aria2c as a daemon on a free loopback port, fetching through the test web.
  const int freePort = testweb::FreeLoopbackPort();
  const std::string port = std::to_string(freePort);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(freePort));
  const std::filesystem::path daemonDir = dir_ / "daemon";
  std::filesystem::create_directories(daemonDir);
  Child daemon(
      "/usr/bin/aria2c",
      {"--no-conf", "-q", "--enable-rpc", "--rpc-listen-all=false", "--rpc-listen-port=" + port,
       "--rpc-secret=s3cret", "--all-proxy=" + web_.ProxyUrl(), "--max-tries=1",
       "--file-allocation=none", "--auto-file-renaming=false", "--dir=" + daemonDir.string()},
      daemonDir);
  ASSERT_GT(daemon.Pid(), 0);
  bool listening = false;
  for (int i = 0; i < 200 && !listening; ++i) {
    const int client = socket(AF_INET, SOCK_STREAM, 0);
    listening = connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(client);
    if (!listening) usleep(50 * 1000);
  }
  ASSERT_TRUE(listening);
  const std::string rpc = "--aria2-rpc http://127.0.0.1:" + port + "/jsonrpc";

  // A wrong secret, and no daemon at all: told before any site request, exit 1.
  RunResult run =
      Albumora(Download(rpc + " --aria2-secret wrong --save " + Save().string() + " 10001"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Unauthorized"), std::string::npos) << run.err;
  run = Albumora(
      Download("--aria2-rpc http://127.0.0.1:1/jsonrpc --save " + Save().string() + " 10001"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("cannot reach aria2"), std::string::npos) << run.err;
  EXPECT_TRUE(web_.Requests().empty());

  run = Albumora(
      Download(rpc + " --aria2-secret s3cret --albums 1 --save " + Save().string() + " 10001"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("3 of 3 pictures queued in aria2"), std::string::npos) << run.err;
  // aria2 fetches them into the album's folder under albumora's names (waited for, bounded).
  const std::filesystem::path own = dir_ / "own";
  ASSERT_EQ(Albumora(Download("--albums 1 --save " + own.string() + " 10001")).status, 0);
  for (const char* name : {"断桥残雪.jpg", "苏堤春晓.jpg"}) {
    const std::filesystem::path file = Album("西湖") / name;
    const std::filesystem::path control = file.string() + ".aria2";
    for (int i = 0; i < 200 && (!std::filesystem::exists(file) || std::filesystem::exists(control));
         ++i) {
      usleep(50 * 1000);
    }
    EXPECT_EQ(ReadFile(file), ReadFile(own / "10001" / "西湖" / name)) << name;
  }
  EXPECT_EQ(web_.RequestsTo("/V1west/full/1.jpg").at(0).Header("User-Agent"), kUserAgent);
  // A second hand-off hands nothing (the archive recorded the first); --force hands all again
  // under the same names.
  const std::string again = rpc + " --aria2-secret s3cret --albums 1 --json --save ";
  run = Albumora(Download(again + Save().string() + " 10001"));
  EXPECT_NE(run.err.find("0 of 3 pictures queued in aria2, 3 handed over or written before"),
            std::string::npos)
      << run.err;
  run = Albumora(Download(again + Save().string() + " --force 10001"));
  EXPECT_NE(run.err.find("3 of 3 pictures queued in aria2"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(Album("西湖") / "断桥残雪 (1).jpg"));
}

// A full disk (a small tmpfs in a namespace of its own) stops the job at once with the
// system's reason, and leaves no half-written file.
TEST_F(DownloadCli, AFullDiskStopsTheJob) {
  TestWeb pictures;
  testweb::ServeBenchAlbum(pictures, 20, 3000, 0);
  const std::filesystem::path save = dir_ / "small";
  std::filesystem::create_directories(save);
  const std::filesystem::path listing = dir_ / "listing.txt";
  const std::string script =
      "mount -t tmpfs -o size=8k tmpfs \"$0\" || exit 99; \"$1\" download --home \"$2\" --proxy "
      "\"$3\" --no --json --threads 1 --save \"$0\" 20002; s=$?; ls -A \"$0\"/20002/bench > "
      "\"$4\"; exit $s";
  RunResult run = RunProgram("/usr/bin/unshare",
                             {"-rm", "/bin/sh", "-c", script, save.string(), ALBUMORA_CLI_PATH,
                              Home(), pictures.ProxyUrl(), listing.string()},
                             dir_);
  if (run.status == 99 || run.status == 1) GTEST_SKIP() << "no tmpfs here: " << run.err;
  EXPECT_EQ(run.status, 4) << run.err;
  EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << run.err;
  bool full = false;
  for (const auto& object : JsonLines(run.out)) {
    if (object["type"].text == "summary") full = object["diskFull"].boolean;
  }
  EXPECT_TRUE(full) << run.out;
  const std::string names = ReadFile(listing);
  EXPECT_EQ(names.find(".part-"), std::string::npos) << names;
  EXPECT_LT(std::count(names.begin(), names.end(), '\n'), 10) << names;
  EXPECT_LT(pictures.Requests().size(), 10u) << "the job went on fetching";
}

TEST_F(DownloadCli, CtrlCStopsWithStatus130) {
  TestWeb slow;
  testweb::ServeBenchAlbum(slow, 60, 2000, 200);
  Child child(ALBUMORA_CLI_PATH,
              {"download", "--home", Home(), "--proxy", slow.ProxyUrl(), "--no", "--threads", "2",
               "--save", Save().string(), "20002"},
              dir_);
  ASSERT_GT(child.Pid(), 0);
  const std::filesystem::path album = Save() / "20002" / "bench";
  // Wait (bounded) for the first picture, then press Ctrl-C.
  for (int i = 0; i < 400 && !std::filesystem::exists(album / "pic00001.jpg"); ++i) {
    usleep(50 * 1000);
  }
  ASSERT_TRUE(std::filesystem::exists(album / "pic00001.jpg"));
  kill(child.Pid(), SIGINT);
  const RunResult run = child.Wait();
  EXPECT_EQ(run.status, 130) << run.err;
  EXPECT_NE(run.err.find("stopped; albums: 1 stopped; interrupted"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("network"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("下载完毕"), std::string::npos) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 1u) << run.out;
  EXPECT_NE(lines[0].find("\t60\t"), std::string::npos) << lines[0];
}

TEST_F(DownloadCli, AClosedStdoutDropsTheOutputAndTheJobGoesOn) {
  // stdout is a pipe nobody reads ("| head -1" after head ended).
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  close(pipeEnds[0]);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> args = {ALBUMORA_CLI_PATH};
  for (const std::string& word : Split(Download("--save " + Save().string() + " 10001"))) {
    args.push_back(word);
  }
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, ALBUMORA_CLI_PATH, &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  int raw = 0;
  ASSERT_EQ(waitpid(pid, &raw, 0), pid);
  EXPECT_TRUE(WIFEXITED(raw)) << "signal " << (WIFSIGNALED(raw) ? WTERMSIG(raw) : 0);
  EXPECT_EQ(WEXITSTATUS(raw), 0);
  EXPECT_TRUE(std::filesystem::exists(Album("家人") / "全家福.jpg"));
}

TEST(DemoCli, DownloadsTheSampleSiteWithoutNetwork) {
  testweb::ScratchDir scratch("demo");
  const std::filesystem::path dir = scratch.Dir();
  const RunResult run = RunProgram(ALBUMORA_DEMO_PATH, {"--save", (dir / "out").string()}, dir);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Files under"), std::string::npos) << run.out;
  const std::filesystem::path lake = dir / "out" / "10001" / "西湖";
  EXPECT_EQ(ReadFile(lake / "断桥残雪.jpg"), Fixture("demo/lake.jpg"));
  EXPECT_TRUE(std::filesystem::exists(dir / "out" / "10001" / "花园" / "月季.png"));
  EXPECT_TRUE(std::filesystem::exists(lake / "西湖.txt"));
}

// A picture list that fails (an error status, a dropped connection) leaves its album "list
// failed", and the run ends with status 4 though every listed picture was written.
class DownloadCliFaults : public DownloadCli {
 protected:
  void SetUp() override {
    web_.RoutePattern(testweb::kDemoPictureListHost, "albumid=V1west",
                      testweb::Serve(testweb::Reply::Status(500, "Internal Server Error")));
    testweb::Reply dropped = testweb::Reply::Text(std::string(3000, 'x'));
    dropped.closeAfterBytes = 100;
    web_.RoutePattern(testweb::kDemoPictureListHost, "albumid=V2garden", testweb::Serve(dropped));
    DownloadCli::SetUp();
  }
};

TEST_F(DownloadCliFaults, FailedPictureListsAreNotComplete) {
  // The failing pages are not asked again here (a 500 is, with back-off).
  RunResult run = Albumora(Download("--json --retries 0 --save " + Save().string() + " 10001"));
  EXPECT_EQ(run.status, 4) << run.err;
  std::vector<std::string> outcomes;
  for (const auto& object : JsonLines(run.out)) {
    if (object["type"].text == "album") outcomes.push_back(object["outcome"].text);
  }
  EXPECT_EQ(outcomes, (std::vector<std::string>{"list failed", "list failed", "complete"}));
  EXPECT_NE(run.err.find("albums: 1 complete, 2 list failed"), std::string::npos) << run.err;
}

// A damaged archive is moved aside and said once; a new one is started, so the run after it
// resumes.
TEST_F(DownloadCli, DamagedArchiveIsMovedAsideAndTheNextRunResumes) {
  std::filesystem::create_directories(Home());
  std::ofstream(std::filesystem::path(Home()) / "archive.db") << std::string(8192, 'x');
  RunResult run = Albumora(Download("--albums 1 --save " + Save().string() + " 10001"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("warning: the download archive"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("moved aside to " + Home() + "/archive.db.damaged-"), std::string::npos)
      << run.err;
  EXPECT_EQ(Lines(run.out).at(0),
            "0001\t西湖\tcomplete\t3\t3\t0\t0\t0\t" + Album("西湖").string() + "/");
  run = Albumora(Download("--albums 1 --save " + Save().string() + " 10001"));
  EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;
  EXPECT_EQ(Lines(run.out).at(0),
            "0001\t西湖\tcomplete\t3\t0\t3\t0\t0\t" + Album("西湖").string() + "/");
}

// A picture host that refuses every picture of one album: the run waits as asked, shows the
// wait, and past --retries the pictures fail as refused (status 4).
class DownloadCliRefused : public DownloadCli {
 protected:
  void SetUp() override {
    web_.RoutePrefix(
        testweb::kDemoPictureHost, "/psb/10001/V3home/",
        testweb::Serve(testweb::Reply::Status(429, "Too Many Requests").With("Retry-After", "1")));
    DownloadCli::SetUp();
  }
};

TEST_F(DownloadCliRefused, RefusedPicturesFailAfterTheRetriesAndTheWaitIsShown) {
  RunResult run =
      Albumora(Download("--json --retries 1 --albums 3 --save " + Save().string() + " 10001"));
  EXPECT_EQ(run.status, 4) << run.err;
  std::vector<std::string> reasons;
  int waits = 0;
  for (const auto& object : JsonLines(run.out)) {
    if (object["type"].text == "failed") {
      reasons.push_back(object["reason"].text);
      // Named at the address that failed last, after each address tried.
      const auto& attempts = object["attempts"].items;
      ASSERT_EQ(attempts.size(), 2u);
      EXPECT_EQ(attempts[1]["address"].text, object["address"].text);
      EXPECT_NE(attempts[0]["address"].text, attempts[1]["address"].text);
      EXPECT_EQ(attempts[0]["address"].text, object["listed"].text);
      EXPECT_EQ(attempts[0]["reason"].text, "refused by the site");
    }
    if (object["type"].text == "wait") {
      ++waits;
      EXPECT_EQ(object["host"].text, testweb::kDemoPictureHost);
      EXPECT_EQ(object["status"].number, 429);
    }
  }
  EXPECT_EQ(reasons, std::vector<std::string>{"refused by the site"});
  EXPECT_GE(waits, 1);
  EXPECT_FALSE(std::filesystem::exists(Album("家人") / "全家福.jpg"));

  run = Albumora(Download("-v --retries 1 --albums 3 --save " + Save().string() + " 10001"));
  EXPECT_EQ(run.status, 4);
  EXPECT_NE(run.err.find("refused by the site"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(": refused by the site ("), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("), then http://"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("waiting 1 s: b1.photo.store.qq.com asked to slow down (429)"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(Albumora(Download("--limit-rate 2X --save " + Save().string() + " 10001")).status, 2);
}

// Every way a run ends tells its results: Ctrl-C during a wait the site asked for, and SIGTERM
// in the middle of a download, each end with the album line, the summary and the album's row in
// the archive, and the signal's own status.
int ArchiveAlbumRows(const std::filesystem::path& file) {
  sqlite3* db = nullptr;
  int rows = -1;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM albums", -1, &statement, nullptr) ==
            SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
      rows = sqlite3_column_int(statement, 0);
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return rows;
}

class DownloadCliSlowedDown : public DownloadCli {
 protected:
  void SetUp() override {
    web_.RoutePrefix(
        testweb::kDemoPictureHost, "/psb/10001/V3home/",
        testweb::Serve(
            testweb::Reply::Status(429, "Too Many Requests").With("Retry-After", "700")));
    DownloadCli::SetUp();
  }
};

TEST_F(DownloadCliSlowedDown, EveryWayARunEndsTellsItsResults) {
  Child child(ALBUMORA_CLI_PATH,
              Split(Download("--json --albums 3 --save " + Save().string() + " 10001")), dir_);
  for (int i = 0; i < 400 && child.Out().find("\"type\":\"wait\"") == std::string::npos; ++i) {
    usleep(50 * 1000);
  }
  ASSERT_NE(child.Out().find("\"type\":\"wait\""), std::string::npos);
  kill(child.Pid(), SIGINT);
  RunResult run = child.Wait();
  EXPECT_EQ(run.status, 130) << run.err;
  auto objects = JsonLines(run.out);
  std::erase_if(objects, [](auto& object) { return object["type"].text == "wait"; });
  ASSERT_EQ(objects.size(), 2u) << run.out;
  EXPECT_EQ(objects[0]["type"].text, "album");
  EXPECT_EQ(objects[0]["outcome"].text, "stopped");
  EXPECT_EQ(objects[0]["stopped"].number, 1);
  EXPECT_EQ(objects[1]["type"].text, "summary");
  EXPECT_TRUE(objects[1]["interrupted"].boolean);
  EXPECT_EQ(objects[1]["status"].number, 130);
  EXPECT_EQ(ArchiveAlbumRows(std::filesystem::path(Home()) / "archive.db"), 1);

  TestWeb slow;
  testweb::ServeBenchAlbum(slow, 60, 2000, 200);
  Child second(ALBUMORA_CLI_PATH,
               {"download", "--home", Home(), "--proxy", slow.ProxyUrl(), "--no", "--threads", "2",
                "--save", Save().string(), "20002"},
               dir_);
  const std::filesystem::path album = Save() / "20002" / "bench";
  for (int i = 0; i < 400 && !std::filesystem::exists(album / "pic00001.jpg"); ++i) {
    usleep(50 * 1000);
  }
  kill(second.Pid(), SIGTERM);
  run = second.Wait();
  EXPECT_EQ(run.status, 143) << run.err;
  EXPECT_EQ(Lines(run.out).size(), 1u) << run.out;
  EXPECT_NE(run.err.find("album bench: stopped"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("; albums: 1 stopped; interrupted"), std::string::npos) << run.err;
  EXPECT_EQ(ArchiveAlbumRows(std::filesystem::path(Home()) / "archive.db"), 2);
}

TEST_F(DownloadCli, InputFileRunsEveryAddressInOrder) {
  const std::filesystem::path list = dir_ / "addresses.txt";
  std::ofstream(list) << "# the sample account, twice\n10001\n\n  10001  \n";
  const std::string input = "download --home " + Home() + " --proxy " + web_.ProxyUrl() +
                            " --no --albums 1 --save " + Save().string() + " -i ";
  RunResult run = Albumora(input + list.string());
  EXPECT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 4u) << run.out;
  EXPECT_EQ(lines[0], "# " + list.string() + ":2: 10001");
  EXPECT_NE(lines[1].find("\tcomplete\t3\t3\t0\t"), std::string::npos) << lines[1];
  EXPECT_EQ(lines[2], "# " + list.string() + ":4: 10001");
  EXPECT_NE(lines[3].find("\tcomplete\t3\t0\t3\t"), std::string::npos) << lines[3];
  EXPECT_NE(run.err.find("address 2/2 (" + list.string() + ":4): 10001"), std::string::npos)
      << run.err;
  EXPECT_EQ(Albumora(Download("-i " + list.string() + " 10001 --save " + Save().string())).status,
            2);

  // A forgiving reader: a byte-order mark, comments after addresses, a bad line told as
  // FILE:LINE and skipped (status 2 at least), binary junk escaped; a folder or a missing file
  // with the system's reason.
  std::filesystem::create_directories(dir_ / "folder");
  struct Case {
    std::string text;  // empty: the path itself
    std::string path;
    int status;
    size_t albums;
    std::string told;
  };
  const std::vector<Case> cases = {
      {"\xEF\xBB\xBF"
       "10001 # the sample\n",
       "", 0, 1, ""},
      {"10001\t# first\nnot an address\n10001 #second\n", "", 2, 2,
       ":2: not an album address: \"not an address\""},
      {"\x01\x02\x80"
       "junk\n",
       "", 2, 0, ":1: not an album address: \"\\x01\\x02\\x80junk\""},
      {"", (dir_ / "folder").string(), 1, 0, "folder: Is a directory"},
      {"", (dir_ / "missing").string(), 1, 0, "missing: No such file or directory"},
  };
  for (const Case& c : cases) {
    std::string path = c.path;
    if (path.empty()) {
      path = (dir_ / "case.txt").string();
      std::ofstream(path, std::ios::binary) << c.text;
    }
    run = Albumora(input + path);
    EXPECT_EQ(run.status, c.status) << c.text << run.err;
    EXPECT_NE(run.err.find(c.told), std::string::npos) << c.text << run.err;
    size_t albums = 0;
    for (const std::string& line : Lines(run.out)) albums += line.starts_with("0001\t") ? 1 : 0;
    EXPECT_EQ(albums, c.albums) << c.text << run.out;
  }

  // --json over two addresses: each album and summary names its address and line, and one
  // total ends the stream.
  run = Albumora(input + list.string() + " --json");
  EXPECT_EQ(run.status, 0) << run.err;
  const auto objects = JsonLines(run.out);
  ASSERT_EQ(objects.size(), 5u) << run.out;
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(objects[i]["type"].text, i % 2 == 0 ? "album" : "summary");
    EXPECT_EQ(objects[i]["address"].text, "10001");
    EXPECT_EQ(objects[i]["index"].number, i < 2 ? 2 : 4);
  }
  EXPECT_EQ(objects[4]["type"].text, "total");
  EXPECT_EQ(objects[4]["addresses"].number, 2);
  EXPECT_EQ(objects[4]["listed"].number, 6);
  EXPECT_EQ(objects[4]["already"].number, 6);
  EXPECT_EQ(objects[4]["status"].number, 0);
}

// A run killed outright leaves no half-written file behind once the next run is done, and the
// next run fetches only what the killed one did not write.
TEST_F(DownloadCli, KilledRunIsFinishedByTheNextOne) {
  TestWeb slow;
  testweb::ServeBenchAlbum(slow, 30, 3000, 100);
  const std::vector<std::string> arguments = {
      "download",  "--home", Home(),   "--proxy",       slow.ProxyUrl(), "--no",
      "--threads", "3",      "--save", Save().string(), "20002"};
  Child child(ALBUMORA_CLI_PATH, arguments, dir_);
  ASSERT_GT(child.Pid(), 0);
  const std::filesystem::path album = Save() / "20002" / "bench";
  for (int i = 0; i < 400 && !std::filesystem::exists(album / "pic00002.jpg"); ++i) {
    usleep(20 * 1000);
  }
  kill(child.Pid(), SIGKILL);
  child.Wait();
  slow.ClearRequests();

  Child rerun(ALBUMORA_CLI_PATH, arguments, dir_);
  const RunResult run = rerun.Wait();
  EXPECT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> fields = [&] {
    std::vector<std::string> parts;
    std::istringstream in(Lines(run.out).at(0));
    for (std::string part; std::getline(in, part, '\t');) parts.push_back(part);
    return parts;
  }();
  ASSERT_GE(fields.size(), 8u) << run.out;
  EXPECT_EQ(fields[2], "complete");
  const int written = std::stoi(fields[4]);
  const int already = std::stoi(fields[5]);
  // A picture that landed just before the kill, too late to be recorded, is fetched again and
  // found to be the file already there.
  EXPECT_EQ(written + already, 30);
  EXPECT_EQ(slow.RequestsTo(".jpg").size(), static_cast<size_t>(written));
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(album)) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "pic.zrk" || (name.starts_with("pic") && name.ends_with(".jpg"))) << name;
    files += name.ends_with(".jpg") ? 1 : 0;
  }
  EXPECT_EQ(files, 30u) << "no duplicate, no half-written file";
}

}  // namespace
}  // namespace albumora
