// SPDX-License-Identifier: GPL-3.0-or-later
// The fixture of the per-family command-line tests: the loopback web, a scratch folder, and
// `albumora` run as a child process with that web as its proxy and a home of its own.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "ScratchDir.h"
#include "TestFiles.h"
#include "TestWeb.h"

namespace albumora::sitecli {

// An answer file of the site case folders (tests/sites/<key>/<case>/<file>).
inline testweb::Reply CaseAnswer(const std::string& file) {
  return testweb::Reply::Text(testweb::ReadFile(std::filesystem::path(ALBUMORA_SITE_CASES) / file));
}

class SiteCli : public ::testing::Test {
 protected:
  // Runs albumora with the proxy and home of this test, answering No; stdin from /dev/null.
  // Returns the exit status; out_ and err_ hold what it printed.
  int Run(const std::string& arguments) {
    const std::string command =
        "env -u http_proxy -u HTTP_PROXY " + std::string(ALBUMORA_CLI_PATH) + " " + arguments +
        " --home " + (dir_ / "home").string() + " --proxy " + web_.ProxyUrl() + " --no >" +
        (dir_ / "out.txt").string() + " 2>" + (dir_ / "err.txt").string() + " </dev/null";
    const int raw = std::system(command.c_str());
    out_ = testweb::ReadFile(dir_ / "out.txt");
    err_ = testweb::ReadFile(dir_ / "err.txt");
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  // The same, expecting success; what it printed on stdout.
  std::string RunOk(const std::string& arguments) {
    EXPECT_EQ(Run(arguments), 0) << err_;
    return out_;
  }

  struct Result {
    int status = -1;
    std::string out;
    std::string err;
  };
  // The same for a command, its options and an address (single-quoted for the shell).
  Result Run(const std::string& command, const std::string& options, const std::string& address) {
    Result result;
    result.status = Run(command + " " + options + " '" + address + "'");
    result.out = out_;
    result.err = err_;
    return result;
  }

  testweb::TestWeb web_;
  testweb::ScratchDir scratch_{"sitecli"};
  std::filesystem::path dir_ = scratch_.Dir();
  std::filesystem::path save_ = dir_ / "save";
  std::string out_;
  std::string err_;
};

}  // namespace albumora::sitecli
