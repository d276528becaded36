// SPDX-License-Identifier: GPL-3.0-or-later
// `albumora login` without a display, and what a job's login request tells the terminal user:
// the login window where a display exists, a browser's cookies.txt export where none does.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "CliRun.h"
#include "ScratchDir.h"
#include "TestFiles.h"
#include "TestWeb.h"

namespace albumora {
namespace {

using clitest::RunProgram;
using clitest::RunResult;
using testweb::Fixture;
using testweb::Reply;
using testweb::TestWeb;

// Sets or clears a variable of this process (the child inherits it) for one scope.
class EnvScope {
 public:
  EnvScope(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~EnvScope() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  EnvScope(const EnvScope&) = delete;
  EnvScope& operator=(const EnvScope&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class LoginCli : public ::testing::Test {
 protected:
  RunResult Run(const std::vector<std::string>& args) {
    return RunProgram(ALBUMORA_CLI_PATH, args, dir_);
  }
  // The Qzone answer that makes the adapter ask for a login (answered yes).
  RunResult ListAskingForLogin() {
    web_.Route("route.store.qq.com", "/GetRoute", Reply::Text(Fixture("qzone/route.json")));
    web_.Route("alist.photo.qq.com", "/fcgi-bin/fcg_list_album_v2",
               Reply::Text(testweb::ToGbk(R"(_Callback({"code":-3000,"msg" : "无权访问"}))")));
    return Run({"list", "--home", home_.string(), "--proxy", web_.ProxyUrl(), "--yes", "10001"});
  }

  testweb::ScratchDir scratch_{"login-cli"};
  std::filesystem::path dir_ = scratch_.Dir();
  std::filesystem::path home_ = dir_ / "home";
  TestWeb web_;
  EnvScope noX11_{"DISPLAY", nullptr};
  EnvScope noWayland_{"WAYLAND_DISPLAY", nullptr};
  EnvScope noPlatform_{"QT_QPA_PLATFORM", nullptr};
};

TEST_F(LoginCli, WithoutADisplayPointsToACookiesExport) {
  RunResult result = Run({"login", "--home", home_.string(), "--site", "qzone", "10001"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("no display"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("--cookies FILE"), std::string::npos) << result.err;

  result = Run({"login", "--site", "nosuchsite"});
  EXPECT_EQ(result.status, 2) << result.err;
  // A mistyped address is a usage error before the display is looked for.
  for (const char* address : {"notaurl", "ftp://x.example.com/", "http://x"}) {
    result = Run({"login", "--home", home_.string(), address});
    EXPECT_EQ(result.status, 2) << address;
    EXPECT_NE(result.err.find("not a page address"), std::string::npos) << result.err;
  }
  EXPECT_EQ(Run({"login", "--help"}).status, 0);

  // A job's login request says the same.
  result = ListAskingForLogin();
  EXPECT_NE(result.err.find("login: the site asks for a login at http://user.qzone.qq.com/10001"),
            std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find("--cookies FILE"), std::string::npos) << result.err;
  EXPECT_EQ(result.err.find("albumora login"), std::string::npos) << result.err;
}

TEST_F(LoginCli, WithADisplayAJobNamesTheLoginCommand) {
  EnvScope display("DISPLAY", ":99");
  const RunResult result = ListAskingForLogin();
  EXPECT_NE(result.err.find("run 'albumora login http://user.qzone.qq.com/10001'"),
            std::string::npos)
      << result.err;
}

TEST_F(LoginCli, ALoginSavedDuringARunSurvivesTheRunsSave) {
  // The album list answers late; meanwhile another process (albumora login) writes a cookie.
  web_.Route("route.store.qq.com", "/GetRoute", Reply::Text(Fixture("qzone/route.json")));
  Reply late = Reply::Text(Fixture("qzone/albums.js"));
  late.headerDelayMs = 1000;
  web_.Route("alist.photo.qq.com", "/fcgi-bin/fcg_list_album_v2", late);
  std::filesystem::create_directories(home_);
  const std::filesystem::path cookies = home_ / "cookies.txt";
  std::ofstream(cookies) << ".qq.com\tTRUE\t/\tFALSE\t0\told\t1\n";
  clitest::Child run(ALBUMORA_CLI_PATH,
                     {"list", "--home", home_.string(), "--proxy", web_.ProxyUrl(), "10001"}, dir_);
  for (int i = 0; i < 600 && web_.RequestsTo("fcg_list_album_v2").empty(); ++i) {
    usleep(50 * 1000);  // until the run has read cookies.txt and asked for the list
  }
  ASSERT_FALSE(web_.RequestsTo("fcg_list_album_v2").empty());
  std::ofstream(cookies) << ".qq.com\tTRUE\t/\tFALSE\t0\told\t1\n"
                         << ".qq.com\tTRUE\t/\tFALSE\t0\tskey\t@new\n";
  const RunResult result = run.Wait();
  EXPECT_EQ(result.status, 0) << result.err;
  const std::string saved = testweb::ReadFile(cookies);
  EXPECT_NE(saved.find("\tskey\t@new"), std::string::npos) << saved;
  EXPECT_NE(saved.find("\told\t1"), std::string::npos) << saved;
}

}  // namespace
}  // namespace albumora
