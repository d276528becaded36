// SPDX-License-Identifier: GPL-3.0-or-later
// The files of a site case: its routes, its script's words and its transcript's fields.
#include "CaseFiles.h"

#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "TestFiles.h"
#include "text/StringCtrl.h"

namespace albumora::sitecase {

namespace fs = std::filesystem;
using testweb::Reply;

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

std::string RestAfterWords(const std::string& line, size_t count) {
  size_t at = 0;
  for (size_t i = 0; i < count; ++i) {
    at = line.find_first_not_of(" \t", at);
    if (at == std::string::npos) return {};
    at = line.find_first_of(" \t", at);
    if (at == std::string::npos) return {};
  }
  at = line.find_first_not_of(" \t", at);
  return at == std::string::npos ? std::string() : line.substr(at);
}

std::string ContentTypeOf(const std::string& file) {
  const std::string ext = fs::path(file).extension().string();
  if (ext == ".html" || ext == ".htm") return "text/html";
  if (ext == ".js") return "application/javascript";
  if (ext == ".json") return "application/json";
  if (ext == ".jpg" || ext == ".jpeg") return "image/jpeg";
  if (ext == ".png") return "image/png";
  if (ext == ".gif") return "image/gif";
  return "text/plain";
}

// Escapes line ends and tabs so that every record stays on one transcript line.
std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += c;
    }
  }
  return out;
}

std::vector<CaseRoute> ReadRoutes(const fs::path& folder) {
  std::vector<CaseRoute> routes;
  const std::string text = testweb::ReadFile(folder / "routes.txt");
  for (const std::string& raw : testweb::Lines(text)) {
    std::string line = raw;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == ' ' || line[0] == '\t') {
      // "  Name: value": a header of the route above.
      const std::string header = Trim(line);
      const size_t colon = header.find(':');
      if (routes.empty() || colon == std::string::npos) {
        throw std::runtime_error("routes.txt: stray header line: " + line);
      }
      routes.back().reply.With(header.substr(0, colon), Trim(header.substr(colon + 1)));
      continue;
    }
    const std::vector<std::string> words = Words(line);
    if (words.size() < 3) throw std::runtime_error("routes.txt: HOST PATTERN FILE: " + line);
    CaseRoute route;
    route.host = words[0];
    std::transform(route.host.begin(), route.host.end(), route.host.begin(), ::tolower);
    route.patternText = words[1];
    route.pattern = std::regex(words[1], std::regex::ECMAScript);
    if (words[2] != "-") {
      if (!fs::exists(folder / words[2])) throw std::runtime_error("missing answer " + words[2]);
      route.reply = Reply::Text(testweb::ReadFile(folder / words[2]), ContentTypeOf(words[2]));
    } else {
      route.reply = Reply::Text(std::string(), "text/html");
    }
    for (size_t i = 3; i < words.size(); ++i) {
      const std::string& option = words[i];
      if (option.starts_with("status=")) {
        route.reply.status = std::stoi(option.substr(7));
      } else if (option == "gzip") {
        route.reply.encoding = Reply::Encoding::GzipWithHeader;
      } else if (option == "deflate") {
        route.reply.encoding = Reply::Encoding::ZlibWithDeflateHeader;
      } else if (option.starts_with("type=")) {
        for (auto& header : route.reply.headers) {
          if (header.first == "Content-Type") header.second = option.substr(5);
        }
      } else if (option.starts_with("times=")) {
        route.times = std::stoi(option.substr(6));
      } else {
        throw std::runtime_error("routes.txt: unknown option " + option);
      }
    }
    routes.push_back(std::move(route));
  }
  return routes;
}

std::vector<std::string> CaseFolders() {
  std::vector<std::string> folders;
  std::error_code error;
  for (const auto& family : fs::directory_iterator(ALBUMORA_SITE_CASES, error)) {
    if (!family.is_directory()) continue;
    for (const auto& entry : fs::directory_iterator(family.path(), error)) {
      if (fs::exists(entry.path() / "case.txt")) folders.push_back(entry.path().string());
    }
  }
  std::sort(folders.begin(), folders.end());
  return folders;
}

// A transcript field: the text after "name=" up to " | " or the line's end.
std::string Field(const std::string& line, const std::string& name) {
  const size_t at = line.find(name + "=");
  if (at == std::string::npos) return {};
  const size_t from = at + name.size() + 1;
  const size_t end = line.find(" | ", from);
  return line.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

std::optional<Reply> Route(std::vector<CaseRoute>& routes, const testweb::Request& request) {
  const std::string target =
      request.query.empty() ? request.path : request.path + "?" + request.query;
  for (CaseRoute& route : routes) {
    if (route.times == 0) continue;
    if (route.host != "*" && route.host != request.host) continue;
    if (!std::regex_search(target, route.pattern)) continue;
    if (route.times > 0) --route.times;
    return route.reply;
  }
  return std::nullopt;
}

CaseWeb::CaseWeb(testweb::TestWeb& web, fs::path folder, std::set<std::string> pictures,
                 bool tagPictures)
    : folder_(std::move(folder)),
      pictures_(std::move(pictures)),
      tagPictures_(tagPictures),
      jpeg_(testweb::Fixture("demo/lake.jpg")),
      routes_(ReadRoutes(folder_)) {
  web.RoutePrefix("", "/", [this](const testweb::Request& request) {
    std::lock_guard lock(mutex_);
    if (std::optional<Reply> reply = Route(routes_, request)) return *reply;
    if (pictures_.count(request.url) > 0) {
      return Reply::Text(tagPictures_ ? jpeg_ + request.url : jpeg_, "image/jpeg");
    }
    return Reply::Status(404);
  });
}

void CaseWeb::Reset() {
  std::vector<CaseRoute> routes = ReadRoutes(folder_);
  std::lock_guard lock(mutex_);
  routes_ = std::move(routes);
}

std::string CaseName(const std::string& folder) {
  const fs::path path = folder;
  std::string name = path.parent_path().filename().string() + "_" + path.filename().string();
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

namespace {

std::string Quote(const std::string& arg) {
  std::string quoted = "'";
  for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

CliRun RunCli(const std::vector<std::string>& args, const fs::path& scratch) {
  std::string command =
      "env -u http_proxy -u HTTP_PROXY -u https_proxy -u HTTPS_PROXY " + Quote(ALBUMORA_CLI_PATH);
  for (const std::string& arg : args) {
    command += ' ';
    command += Quote(arg);
  }
  const fs::path out = scratch / "stdout.txt";
  const fs::path err = scratch / "stderr.txt";
  command += " </dev/null >" + Quote(out.string()) + " 2>" + Quote(err.string());
  CliRun result;
  const int raw = std::system(command.c_str());
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = testweb::ReadFile(out);
  result.err = testweb::ReadFile(err);
  return result;
}

}  // namespace albumora::sitecase
