// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the command-line programs as child processes: no terminal (stdin from /dev/null, stdout
// and stderr into files), the proxy variables cleared. Also a small JSON reader for the --json
// lines.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include "TestFiles.h"

#include <cctype>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace albumora::clitest {

struct RunResult {
  int status = -1;  // exit status; -1 when killed by a signal
  std::string out;
  std::string err;
};

// A started child; Wait() collects its result.
class Child {
 public:
  Child(const std::string& program, const std::vector<std::string>& args,
        const std::filesystem::path& dir)
      : out_(dir / "stdout.txt"), err_(dir / "stderr.txt") {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      const std::string name = entry.substr(0, entry.find('='));
      std::string lower;
      for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (lower != "http_proxy" && lower != "https_proxy") env.push_back(entry);
    }
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp;
    for (std::string& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argp.data(), envp.data()) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() {
    if (pid_ > 0 && !waited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t Pid() const { return pid_; }
  std::string Out() const { return testweb::ReadFile(out_); }
  RunResult Wait() {
    RunResult result;
    int raw = 0;
    if (pid_ > 0 && waitpid(pid_, &raw, 0) == pid_) {
      waited_ = true;
      result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    result.out = testweb::ReadFile(out_);
    result.err = testweb::ReadFile(err_);
    return result;
  }

 private:
  std::filesystem::path out_;
  std::filesystem::path err_;
  pid_t pid_ = -1;
  bool waited_ = false;
};

inline RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                            const std::filesystem::path& dir) {
  Child child(program, args, dir);
  return child.Wait();
}

// A JSON value as the --json lines hold them: objects, strings, numbers, booleans.
struct Json {
  enum class Kind { Null, Bool, Number, String, Object, Array } kind = Kind::Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::map<std::string, Json> members;
  std::vector<Json> items;

  const Json& operator[](const std::string& name) const {
    auto it = members.find(name);
    if (it == members.end()) throw std::runtime_error("no member " + name);
    return it->second;
  }
  bool Has(const std::string& name) const { return members.count(name) > 0; }
};

class JsonReader {
 public:
  explicit JsonReader(const std::string& text) : text_(text) {}
  // Throws std::runtime_error unless the whole text is one value.
  Json ReadAll() {
    Json value = Value();
    Space();
    if (at_ != text_.size()) Fail("text after the value");
    return value;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error("JSON: " + what + " at " + std::to_string(at_) + " in " + text_);
  }
  void Space() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
  }
  char Peek() {
    Space();
    if (at_ >= text_.size()) Fail("end of text");
    return text_[at_];
  }
  void Expect(char c) {
    if (Peek() != c) Fail(std::string("expected ") + c);
    ++at_;
  }
  Json Value() {
    const char c = Peek();
    Json value;
    if (c == '{') {
      value.kind = Json::Kind::Object;
      ++at_;
      if (Peek() == '}') {
        ++at_;
        return value;
      }
      for (;;) {
        Json name = String();
        Expect(':');
        value.members[name.text] = Value();
        if (Peek() == ',') {
          ++at_;
          continue;
        }
        Expect('}');
        return value;
      }
    }
    if (c == '"') return String();
    if (c == '[') {
      value.kind = Json::Kind::Array;
      ++at_;
      if (Peek() == ']') {
        ++at_;
        return value;
      }
      for (;;) {
        value.items.push_back(Value());
        if (Peek() == ',') {
          ++at_;
          continue;
        }
        Expect(']');
        return value;
      }
    }
    if (text_.compare(at_, 4, "true") == 0 || text_.compare(at_, 5, "false") == 0) {
      value.kind = Json::Kind::Bool;
      value.boolean = text_[at_] == 't';
      at_ += value.boolean ? 4 : 5;
      return value;
    }
    size_t used = 0;
    try {
      value.number = std::stod(text_.substr(at_), &used);
    } catch (const std::exception&) {
      Fail("not a value");
    }
    value.kind = Json::Kind::Number;
    at_ += used;
    return value;
  }
  Json String() {
    Expect('"');
    Json value;
    value.kind = Json::Kind::String;
    while (at_ < text_.size() && text_[at_] != '"') {
      const auto c = static_cast<unsigned char>(text_[at_++]);
      if (c < 0x20) Fail("raw control character in a string");
      if (c != '\\') {
        value.text += static_cast<char>(c);
        continue;
      }
      if (at_ >= text_.size()) Fail("cut escape");
      const char e = text_[at_++];
      if (e == 'u') {
        const unsigned code = static_cast<unsigned>(std::stoul(text_.substr(at_, 4), nullptr, 16));
        at_ += 4;
        if (code < 0x80) {
          value.text += static_cast<char>(code);
        } else if (code < 0x800) {
          value.text += static_cast<char>(0xC0 | (code >> 6));
          value.text += static_cast<char>(0x80 | (code & 0x3F));
        } else {
          value.text += static_cast<char>(0xE0 | (code >> 12));
          value.text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
          value.text += static_cast<char>(0x80 | (code & 0x3F));
        }
      } else {
        value.text += e == 'n' ? '\n' : e == 't' ? '\t' : e;
      }
    }
    Expect('"');
    return value;
  }

  const std::string& text_;
  size_t at_ = 0;
};

// Every line of the text as a JSON object.
inline std::vector<Json> JsonLines(const std::string& text) {
  std::vector<Json> values;
  for (const std::string& line : testweb::Lines(text)) values.push_back(JsonReader(line).ReadAll());
  return values;
}

}  // namespace albumora::clitest
