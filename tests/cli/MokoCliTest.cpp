// `albumora list` and `albumora download` for moko against the loopback web: an owner's
// categories, then every post downloaded.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ScratchDir.h"
#include "TestFiles.h"
#include "TestWeb.h"

namespace albumora {
namespace {

namespace fs = std::filesystem;
using testweb::Fixture;
using testweb::Lines;
using testweb::ReadFile;
using testweb::Reply;
using testweb::TestWeb;

// An answer of the family's case folders.
Reply CaseAnswer(const std::string& file) {
  return Reply::Text(ReadFile(fs::path(ALBUMORA_SITE_CASES) / file));
}

class MokoCli : public ::testing::Test {
 protected:
  // Runs albumora with the proxy and home of this test; stdin from /dev/null.
  int Run(const std::string& arguments) {
    const std::string command =
        "env -u http_proxy -u HTTP_PROXY " + std::string(ALBUMORA_CLI_PATH) + " " + arguments +
        " --home " + (dir_ / "home").string() + " --proxy " + web_.ProxyUrl() + " --no >" +
        (dir_ / "out.txt").string() + " 2>" + (dir_ / "err.txt").string() + " </dev/null";
    const int raw = std::system(command.c_str());
    out_ = ReadFile(dir_ / "out.txt");
    err_ = ReadFile(dir_ / "err.txt");
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  TestWeb web_;
  testweb::ScratchDir scratch_{"mokocli"};
  fs::path dir_ = scratch_.Dir();
  fs::path save_ = dir_ / "save";
  std::string out_;
  std::string err_;
};

void ServeOwner(TestWeb& web) {
  const std::string dir = "moko/owner-categories-and-posts/";
  web.Route("www.moko.cc", "/post/some.one/list.html", CaseAnswer(dir + "list.html"));
  web.Route("www.moko.cc", "/post/some.one/category/11/1.html", CaseAnswer(dir + "cat11-1.html"));
  web.Route("www.moko.cc", "/post/some.one/category/11/2.html", CaseAnswer(dir + "cat11-2.html"));
  web.Route("www.moko.cc", "/post/some.one/category/33/1.html", CaseAnswer(dir + "cat33-1.html"));
  web.Route("www.moko.cc", "/post/1001.html", CaseAnswer(dir + "post1001.html"));
  web.Route("img.moko.cc", "/p/1001/a.jpg", Reply::Text(Fixture("demo/lake.jpg"), "image/jpeg"));
  web.Route("img.moko.cc", "/p/1001/b.jpg", Reply::Text(Fixture("demo/hills.jpg"), "image/jpeg"));
}

TEST_F(MokoCli, ListsEveryCategory) {
  ServeOwner(web_);
  EXPECT_EQ(Run("list --site moko http://www.moko.cc/some.one/"), 0) << err_;
  EXPECT_EQ(Lines(out_), (std::vector<std::string>{
                             "0001\t夏日海边\t15\t",
                             "0002\t夏日海边 (1)\t8\t",
                             "0003\t街头\t3\t",
                             "0004\t周末\t6\t",
                             "0005\t早餐\t21\t",
                         }));
}

TEST_F(MokoCli, DownloadsThePostPictures) {
  ServeOwner(web_);
  Run("download --site moko --albums 1 --save " + save_.string() + " http://www.moko.cc/some.one/");
  // Every picture of a post is described by the post's name.
  const fs::path album = save_ / "Some。One" / "夏日海边";
  EXPECT_EQ(ReadFile(album / "夏日海边.jpg"), Fixture("demo/lake.jpg")) << err_;
  EXPECT_EQ(ReadFile(album / "夏日海边 (1).jpg"), Fixture("demo/hills.jpg"));
}

}  // namespace
}  // namespace albumora
