// SPDX-License-Identifier: GPL-3.0-or-later
// The files of a site case (tests/sites/<family key>/<case>/, described in README.md there):
// its routes, its script's words and its transcript's fields, for the tests that replay cases.
#pragma once

#include <cstddef>
#include <filesystem>
#include <mutex>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "TestWeb.h"

namespace albumora::sitecase {

// One answer of routes.txt.
struct CaseRoute {
  std::string host;  // lower case; "*" for any
  std::regex pattern;
  std::string patternText;
  testweb::Reply reply;
  int times = -1;  // answers left; -1 = any number
};

std::vector<std::string> Words(const std::string& line);
// The line after its first count words.
std::string RestAfterWords(const std::string& line, size_t count);
std::string ContentTypeOf(const std::string& file);
// Escapes line ends and tabs so that every record stays on one transcript line.
std::string OneLine(const std::string& text);
std::vector<CaseRoute> ReadRoutes(const std::filesystem::path& folder);
// Every case folder, sorted.
std::vector<std::string> CaseFolders();
// The test name of a case: "<family key>_<case>", letters and digits only.
std::string CaseName(const std::string& folder);
// A transcript field: the text after "name=" up to " | " or the line's end.
std::string Field(const std::string& line, const std::string& name);

// The answer of the first route that matches the request, counting its times= down; none when
// no route matches.
std::optional<testweb::Reply> Route(std::vector<CaseRoute>& routes,
                                    const testweb::Request& request);

// A case's routes served on the test web, for the command line run against it: the first
// matching route answers (each counted down by its times=); a picture address of the transcript
// that no route answers gets a small JPEG; anything else is not found.
class CaseWeb {
 public:
  // tagPictures: each JPEG carries its own address after its bytes, so that a picture landing
  // in another's file shows.
  CaseWeb(testweb::TestWeb& web, std::filesystem::path folder, std::set<std::string> pictures,
          bool tagPictures);
  // The routes read afresh: their times= counts start again.
  void Reset();

 private:
  std::filesystem::path folder_;
  std::set<std::string> pictures_;
  bool tagPictures_;
  std::string jpeg_;
  std::mutex mutex_;
  std::vector<CaseRoute> routes_;
};

// The command line run as a child process with no terminal and no proxy variables; its output
// kept in files of the scratch folder.
struct CliRun {
  int status = -1;  // exit status; -1 when it did not exit
  std::string out;
  std::string err;
};
CliRun RunCli(const std::vector<std::string>& args, const std::filesystem::path& scratch);

}  // namespace albumora::sitecase
