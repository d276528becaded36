// `albumora download` and `albumora demo` end to end: the program runs as a child process and
// downloads the sample Qzone account from the loopback web.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include "ScratchDir.h"
#include "TestFiles.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "DemoSite.h"
#include "TestWeb.h"
#include "model/Settings.h"

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

struct ChildRun {
  int status = -1;
  std::string out;
  std::string err;
};

class DownloadCli : public ::testing::Test {
 protected:
  void SetUp() override { testweb::ServeDemoSite(web_); }

  // Runs albumora with the arguments (no shell quoting needed for the folders used here).
  ChildRun Albumora(const std::string& arguments) {
    const std::string out = (dir_ / "out.txt").string();
    const std::string err = (dir_ / "err.txt").string();
    const std::string command =
        std::string(ALBUMORA_CLI_PATH) + " " + arguments + " >" + out + " 2>" + err + " </dev/null";
    ChildRun run;
    int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    return run;
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
  ChildRun run = Albumora(Download("--save " + Save().string() + " 10001"));
  ASSERT_EQ(run.status, 0) << run.err;

  std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  EXPECT_EQ(lines[0], "0001\t西湖\t3\t3\t" + Album("西湖").string() + "/");
  EXPECT_EQ(lines[2], "0003\t家人\t1\t1\t" + Album("家人").string() + "/");

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
  EXPECT_NE(run.err.find("下载完毕"), std::string::npos);

  // A second run over one album (the skip option is off) downloads it again.
  run = Albumora(Download("--albums 1 --save " + Save().string() + " 10001"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Lines(run.out).size(), 1u);
}

TEST_F(DownloadCli, SelectionAndRunOnlyOverrides) {
  ChildRun run = Albumora(
      Download("--albums 1,3-3 --threads 2 --min-kb 2 --save " + Save().string() + " 10001"));
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 2u) << run.out;
  // Only the 2375-byte picture reaches the 2 KB minimum.
  EXPECT_EQ(lines[0], "0001\t西湖\t3\t1\t" + Album("西湖").string() + "/");
  EXPECT_EQ(lines[1], "0003\t家人\t1\t0\t" + Album("家人").string() + "/");
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

TEST_F(DownloadCli, SavePathProblemsAndUsageErrors) {
  ChildRun run = Albumora(Download("10001"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("请先设置保存路径"), std::string::npos) << run.err;

  std::ofstream(dir_ / "file") << "x";
  run = Albumora(Download("--save " + (dir_ / "file").string() + " 10001"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("请检测设置的保存路径是否有误"), std::string::npos) << run.err;
  EXPECT_TRUE(run.out.empty());

  EXPECT_EQ(Albumora(Download("--albums x --save " + Save().string() + " 10001")).status, 2);
  EXPECT_EQ(Albumora(Download("--threads 16 --save " + Save().string() + " 10001")).status, 2);
  EXPECT_EQ(Albumora(Download("--albums 9 --save " + Save().string() + " 10001")).status, 2);
  EXPECT_FALSE(std::filesystem::exists(Album("西湖")));
}

TEST_F(DownloadCli, AnAccountWithoutAlbumsMakesNoFolder) {
  ChildRun run = Albumora(Download("--save " + Save().string() + " 55555"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.out.empty());
  EXPECT_FALSE(std::filesystem::exists(Save()));
}

TEST(DemoCli, DownloadsTheSampleSiteWithoutNetwork) {
  testweb::ScratchDir scratch("demo");
  const std::filesystem::path dir = scratch.Dir();
  const std::string command = std::string(ALBUMORA_CLI_PATH) + " demo --save " +
                              (dir / "out").string() + " >" + (dir / "log").string() +
                              " 2>&1 </dev/null";
  int raw = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << ReadFile(dir / "log");
  const std::filesystem::path lake = dir / "out" / "10001" / "西湖";
  EXPECT_EQ(ReadFile(lake / "断桥残雪.jpg"), Fixture("demo/lake.jpg"));
  EXPECT_TRUE(std::filesystem::exists(dir / "out" / "10001" / "花园" / "月季.png"));
  EXPECT_TRUE(std::filesystem::exists(lake / "西湖.txt"));
}

}  // namespace
}  // namespace albumora
