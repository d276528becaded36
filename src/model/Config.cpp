// SPDX-License-Identifier: GPL-3.0-or-later
// albumora.toml: read with toml++ and checked value by value, written by hand so that each value
// keeps its comment.
#include "model/Config.h"

#include "fs/FileNames.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <toml++/toml.h>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>
#include <variant>

namespace albumora {

namespace {

constexpr size_t kMaxAgentLength = 512;
constexpr size_t kMaxPathLength = 4096;
// A settings file is a few hundred bytes; anything far larger is not one.
constexpr std::streamsize kMaxFileBytes = 1 << 20;

struct Number {
  uint32_t Config::*member;
  uint32_t low;
  uint32_t high;
};
struct Switch {
  bool Config::*member;
};
struct Text {
  std::string Config::*member;
  bool ascii = true;  // printable ASCII (a header value); else any UTF-8 without control characters
};

// One value of the file: its table, its key, its help line and what it holds.
struct Field {
  std::string_view table;
  std::string_view key;
  std::string_view help;
  std::variant<Number, Switch, Text> kind;

  std::string Name() const { return std::string(table) + "." + std::string(key); }
};

const std::array<Field, 13>& Fields() {
  static const std::array<Field, 13> fields = {{
      {"transfer", "low_speed_bytes",
       "bytes a second below which a transfer is slow (0 to 1000000000; 0: no limit)",
       Number{&Config::lowSpeedBytes, 0, 1'000'000'000}},
      {"transfer", "low_speed_seconds",
       "seconds a transfer may stay slow before it fails (1 to "
       "3600)",
       Number{&Config::lowSpeedSeconds, 1, 3600}},
      {"transfer", "user_agent",
       "the User-Agent of every request (printable ASCII, at most 512; empty: the built-in one)",
       Text{&Config::userAgent}},
      {"download", "resume",
       "a rerun skips the pictures an earlier download wrote that are still there (true, false)",
       Switch{&Config::resume}},
      {"download", "look_ahead",
       "albums after the current one whose picture lists are read and whose pictures are "
       "fetched meanwhile (0 to 8; 0: one album after another)",
       Number{&Config::lookAhead, 0, 8}},
      {"paging", "album_list_pages", "an album list ends past this many pages (1 to 1000000)",
       Number{&Config::albumListPageCap, 1, 1'000'000}},
      {"paging", "picture_list_pages", "a picture list ends past this many pages (1 to 1000000)",
       Number{&Config::pictureListPageCap, 1, 1'000'000}},
      {"polite", "retries",
       "times a picture or page is asked again in all after a refusal (429, 503) or a transient "
       "error (408, 500, 502, 504, a time-out, a dropped connection) (0 to 100)",
       Number{&Config::retries, 0, 100}},
      {"polite", "wait_ms",
       "least milliseconds between two requests to one host (0 to 600000; 0: none)",
       Number{&Config::waitMs, 0, 600'000}},
      {"polite", "random_wait",
       "each wait between requests is 0.5 to 1.5 times wait_ms (true, false)",
       Switch{&Config::randomWait}},
      {"polite", "per_host_connections",
       "parallel requests to one host (0 to 64; 0: as many as the threads)",
       Number{&Config::perHostConnections, 0, 64}},
      {"polite", "limit_rate",
       "bytes a second for the whole download, all threads together (0 to 4000000000; 0: no "
       "limit)",
       Number{&Config::limitRate, 0, 4'000'000'000}},
      {"log", "file",
       "list and download append what they tell to this file, with a time stamp per line "
       "(empty: none; a relative path is taken from the program folder)",
       Text{&Config::logFile, false}},
  }};
  return fields;
}

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

// "takes a number from 1 to 3600"
std::string Rule(const Field& field) {
  return std::visit(Overloaded{[](const Number& n) {
                                 return "takes a number from " + std::to_string(n.low) + " to " +
                                        std::to_string(n.high);
                               },
                               [](const Switch&) { return std::string("takes true or false"); },
                               [](const Text& t) {
                                 return t.ascii
                                            ? "takes printable ASCII text of at most " +
                                                  std::to_string(kMaxAgentLength) + " characters"
                                            : "takes a path without control characters, "
                                              "at most " +
                                                  std::to_string(kMaxPathLength) + " bytes";
                               }},
                    field.kind);
}

bool AgentAcceptable(std::string_view text) {
  if (text.size() > kMaxAgentLength) return false;
  for (char c : text) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

bool TextAcceptable(const Text& kind, std::string_view text) {
  if (kind.ascii) return AgentAcceptable(text);
  if (text.size() > kMaxPathLength) return false;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

// A TOML basic string; the characters a user agent may not hold are escaped all the same.
std::string Quoted(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// The value as the file writes it.
std::string FileValue(const Field& field, const Config& config) {
  return std::visit(
      Overloaded{[&](const Number& n) { return std::to_string(config.*n.member); },
                 [&](const Switch& s) { return std::string(config.*s.member ? "true" : "false"); },
                 [&](const Text& t) { return Quoted(config.*t.member); }},
      field.kind);
}

// The value as `albumora config` shows it.
std::string ShownValue(const Field& field, const Config& config) {
  if (const auto* text = std::get_if<Text>(&field.kind)) return config.*text->member;
  return FileValue(field, config);
}

bool IsWord(std::string_view value, std::initializer_list<std::string_view> words) {
  for (std::string_view word : words) {
    if (value.size() != word.size()) continue;
    bool same = true;
    for (size_t i = 0; i < value.size() && same; ++i) {
      const char c =
          value[i] >= 'A' && value[i] <= 'Z' ? static_cast<char>(value[i] + 32) : value[i];
      same = c == word[i];
    }
    if (same) return true;
  }
  return false;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A value typed on the command line or in a dialog.
bool SetFromText(const Field& field, Config& config, const std::string& typed, std::string& error) {
  const std::string_view value = Trimmed(typed);
  bool ok = true;
  std::visit(Overloaded{[&](const Number& n) {
                          ok = !value.empty() && value.size() <= 10;
                          uint64_t number = 0;
                          for (char c : value) {
                            ok = ok && c >= '0' && c <= '9';
                            if (ok) number = number * 10 + static_cast<uint64_t>(c - '0');
                          }
                          ok = ok && number >= n.low && number <= n.high;
                          if (ok) config.*n.member = static_cast<uint32_t>(number);
                        },
                        [&](const Switch& s) {
                          if (IsWord(value, {"true", "on", "yes", "1"})) {
                            config.*s.member = true;
                          } else if (IsWord(value, {"false", "off", "no", "0"})) {
                            config.*s.member = false;
                          } else {
                            ok = false;
                          }
                        },
                        [&](const Text& t) {
                          // A text is taken as typed: the blanks around it are its own.
                          ok = TextAcceptable(t, typed);
                          if (ok) config.*t.member = typed;
                        }},
             field.kind);
  if (!ok) error = field.Name() + " " + Rule(field);
  return ok;
}

// What a value of the wrong kind is, for the message.
std::string Described(const toml::node& node) {
  switch (node.type()) {
    case toml::node_type::string:
      return "a string";
    case toml::node_type::integer:
      return std::to_string(*node.value_exact<int64_t>());
    case toml::node_type::floating_point:
      return "a fraction";
    case toml::node_type::boolean:
      return *node.value_exact<bool>() ? "true" : "false";
    case toml::node_type::table:
      return "a table";
    case toml::node_type::array:
      return "a list";
    default:
      return "a date or time";
  }
}

// A value read from the file; false when it is not acceptable (config keeps what it held).
bool SetFromNode(const Field& field, Config& config, const toml::node& node) {
  return std::visit(Overloaded{[&](const Number& n) {
                                 const std::optional<int64_t> number = node.value_exact<int64_t>();
                                 if (!number || *number < n.low || *number > n.high) return false;
                                 config.*n.member = static_cast<uint32_t>(*number);
                                 return true;
                               },
                               [&](const Switch& s) {
                                 const std::optional<bool> flag = node.value_exact<bool>();
                                 if (!flag) return false;
                                 config.*s.member = *flag;
                                 return true;
                               },
                               [&](const Text& t) {
                                 const std::optional<std::string> text =
                                     node.value_exact<std::string>();
                                 if (!text || !TextAcceptable(t, *text)) return false;
                                 config.*t.member = *text;
                                 return true;
                               }},
                    field.kind);
}

// The parser's description on one line: it may quote a line feed it saw.
std::string OneLine(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      out += "\\n";
    } else if (byte < 0x20 || byte == 0x7F) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

// A problem of the file and the line it is on; they are told in line order.
struct Problem {
  toml::source_index line;
  std::string text;
};

std::string Place(const std::string& source, toml::source_index line) {
  return line > 0 ? source + ":" + std::to_string(line) : source;
}

// "low_speed_bytes, low_speed_seconds, user_agent" for "transfer"; for an empty table the
// tables (the fields are grouped by table). Empty for a table that is not one of them.
std::string KnownNames(std::string_view table) {
  std::string names;
  std::string_view last;
  for (const Field& field : Fields()) {
    if (table.empty() ? field.table == last : field.table != table) continue;
    last = field.table;
    names += (names.empty() ? "" : ", ") + std::string(table.empty() ? field.table : field.key);
  }
  return names;
}

const Field* FindField(std::string_view table, std::string_view key) {
  for (const Field& field : Fields()) {
    if (field.table == table && field.key == key) return &field;
  }
  return nullptr;
}

void ReadTable(std::string_view name, const toml::table& table, Config& config,
               std::vector<Problem>& problems) {
  for (const auto& [key, node] : table) {
    const Field* field = FindField(name, key.str());
    if (field == nullptr) {
      problems.push_back(
          {key.source().begin.line, "unknown setting " + std::string(name) + "." +
                                        std::string(key.str()) + " (the [" + std::string(name) +
                                        "] settings: " + KnownNames(name) + "); ignored"});
    } else if (!SetFromNode(*field, config, node)) {
      // A text that is too long or holds other characters needs no description.
      const bool text = node.is_string() && std::holds_alternative<Text>(field->kind);
      problems.push_back({node.source().begin.line,
                          field->Name() + " " + Rule(*field) +
                              (text ? std::string() : ", not " + Described(node)) +
                              "; the default " + FileValue(*field, Config{}) + " stays"});
    }
  }
}

bool ParseText(std::string_view text, const std::string& source, Config& config,
               std::vector<std::string>& errors) {
  toml::table root;
  try {
    root = toml::parse(text, source);
  } catch (const toml::parse_error& failure) {
    const toml::source_position& at = failure.source().begin;
    errors.push_back(source + ":" + std::to_string(at.line) + ":" + std::to_string(at.column) +
                     ": " + OneLine(failure.description()) + "; every setting keeps its default");
    return false;
  }
  std::vector<Problem> problems;
  for (const auto& [key, node] : root) {
    const std::string_view name = key.str();
    if (const toml::table* table = node.as_table(); table != nullptr && !KnownNames(name).empty()) {
      ReadTable(name, *table, config, problems);
    } else if (KnownNames(name).empty()) {
      problems.push_back({key.source().begin.line, "unknown setting " + std::string(name) +
                                                       " (the tables: " + KnownNames({}) +
                                                       "); ignored"});
    } else {
      problems.push_back({node.source().begin.line,
                          std::string(name) + " is a table of settings ([" + std::string(name) +
                              "]), not " + Described(node) + "; its defaults stay"});
    }
  }
  std::stable_sort(problems.begin(), problems.end(),
                   [](const Problem& a, const Problem& b) { return a.line < b.line; });
  for (const Problem& problem : problems) {
    errors.push_back(Place(source, problem.line) + ": " + problem.text);
  }
  return true;
}

std::string FileText(const Config& config) {
  std::string text =
      "# Albumora's settings beside soft.dat, for every site. `albumora config` shows them and\n"
      "# --set NAME=VALUE changes them; the window's download settings change the transfer\n"
      "# limits and resume.\n";
  std::string_view table;
  for (const Field& field : Fields()) {
    if (field.table != table) {
      table = field.table;
      text += "\n[" + std::string(table) + "]\n";
    }
    text += "# " + std::string(field.help) + "\n";
    text += std::string(field.key) + " = " + FileValue(field, config) + "\n";
  }
  return text;
}

}  // namespace

const std::vector<ConfigSetting>& ConfigSettings() {
  static const std::vector<ConfigSetting> settings = [] {
    std::vector<ConfigSetting> list;
    for (const Field& field : Fields()) {
      list.push_back({field.Name(), std::string(field.help),
                      [&field](const Config& config) { return ShownValue(field, config); },
                      [&field](Config& config, const std::string& value, std::string& error) {
                        return SetFromText(field, config, value, error);
                      }});
    }
    return list;
  }();
  return settings;
}

bool ParseConfig(std::string_view text, const std::string& source, Config& config,
                 std::vector<std::string>& errors) {
  config = Config{};
  try {
    return ParseText(text, source, config, errors);
  } catch (const std::exception& failure) {
    config = Config{};
    errors.push_back(source + ": cannot be read (" + failure.what() +
                     "); every setting keeps its default");
    return false;
  }
}

bool LoadConfig(const std::filesystem::path& file, Config& config,
                std::vector<std::string>& errors) {
  config = Config{};
  const std::string source = file.string();
  try {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(file, error);
    if (status.type() == std::filesystem::file_type::not_found) return true;
    if (error || status.type() != std::filesystem::file_type::regular) {
      errors.push_back(source + ": cannot be read (" +
                       (error ? error.message() : std::string("not a file")) +
                       "); every setting keeps its default");
      return false;
    }
    std::ifstream in(file, std::ios::binary);
    std::string text;
    if (in) {
      text.resize(static_cast<size_t>(kMaxFileBytes) + 1);
      in.read(text.data(), kMaxFileBytes + 1);
      text.resize(static_cast<size_t>(in.gcount()));
    }
    if (!in && !in.eof()) {
      errors.push_back(source + ": cannot be read (" + std::strerror(errno) +
                       "); every setting keeps its default");
      return false;
    }
    if (text.size() > static_cast<size_t>(kMaxFileBytes)) {
      errors.push_back(source +
                       ": larger than 1 MiB, no settings file; every setting keeps its "
                       "default");
      return false;
    }
    return ParseConfig(text, source, config, errors);
  } catch (const std::exception& failure) {
    config = Config{};
    errors.push_back(source + ": cannot be read (" + failure.what() +
                     "); every setting keeps its default");
    return false;
  }
}

namespace {

// The byte offset of a 1-based column (counted in characters, as the parser counts them) in a
// line; npos past its end.
size_t ByteOfColumn(std::string_view line, toml::source_index column) {
  size_t characters = 1;
  for (size_t i = 0; i < line.size(); ++i) {
    if ((static_cast<unsigned char>(line[i]) & 0xC0) == 0x80) continue;
    if (characters++ == column) return i;
  }
  return characters == column ? line.size() : std::string::npos;
}

// The offset where each line starts (line 1 at index 1).
std::vector<size_t> LineStarts(const std::string& text) {
  std::vector<size_t> starts = {0, 0};
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') starts.push_back(i + 1);
  }
  return starts;
}

// Whether a line is the header of the table: "[name]", blanks and a comment allowed.
bool IsHeader(std::string_view line, std::string_view table) {
  line = line.substr(0, std::min(line.find('#'), line.find_first_of("\r\n")));
  line = Trimmed(line);
  if (line.size() < 2 || line.front() != '[' || line.back() != ']') return false;
  return Trimmed(line.substr(1, line.size() - 2)) == table;
}

// Sets one field in the file's text: the value of its line replaced, or a line added at the end
// of its table (the table added at the end of the file when it has none). Everything else stays
// as it is. False with error set when the text cannot be changed so.
bool EditText(std::string& text, const Field& field, const std::string& value,
              const std::string& source, std::string& error) {
  toml::table root;
  try {
    root = toml::parse(text, source);
  } catch (const toml::parse_error& failure) {
    error = source + " cannot be read (" + OneLine(failure.description()) + "); fix or remove it";
    return false;
  }
  const std::string newline = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  const std::vector<size_t> starts = LineStarts(text);
  auto lineText = [&](toml::source_index line) {
    const size_t end = line + 1 < starts.size() ? starts[line + 1] : text.size();
    return std::string_view(text).substr(starts[line], end - starts[line]);
  };
  toml::node* tableNode = root.get(field.table);
  toml::table* table = tableNode != nullptr ? tableNode->as_table() : nullptr;
  if (tableNode != nullptr && table == nullptr) {
    error = source + ": " + std::string(field.table) + " is not a table; fix it by hand";
    return false;
  }
  if (table != nullptr) {
    if (const toml::node* node = table->get(field.key)) {
      const toml::source_region& at = node->source();
      if (at.begin.line == at.end.line && at.begin.line > 0 && at.begin.line < starts.size()) {
        const std::string_view line = lineText(at.begin.line);
        const size_t from = ByteOfColumn(line, at.begin.column);
        const size_t to = ByteOfColumn(line, at.end.column);
        if (from != std::string::npos && to != std::string::npos && from <= to) {
          text.replace(starts[at.begin.line] + from, to - from, value);
          return true;
        }
      }
      error = source + ":" + std::to_string(at.begin.line) + ": " + field.Name() +
              " is written over several lines; change it by hand";
      return false;
    }
    if (table->is_inline()) {
      error = source + ": [" + std::string(field.table) + "] is an inline table; add " +
              std::string(field.key) + " by hand";
      return false;
    }
  }
  // A new line after the table's last value (or its header), or a new table at the end.
  toml::source_index after = 0;
  bool header = false;
  for (toml::source_index line = 1; line < starts.size(); ++line) {
    if (IsHeader(lineText(line), field.table)) {
      after = line;
      header = true;
    }
  }
  if (table != nullptr) {
    for (const auto& [key, node] : *table) after = std::max(after, node.source().end.line);
  }
  if (table == nullptr || after == 0 || after >= starts.size()) {
    if (!text.empty() && text.back() != '\n') text += newline;
    text += newline + "[" + std::string(field.table) + "]" + newline + std::string(field.key) +
            " = " + value + newline;
    return true;
  }
  const std::string key = header ? std::string(field.key) : field.Name();
  const size_t at = after + 1 < starts.size() ? starts[after + 1] : text.size();
  std::string line = key + " = " + value + newline;
  if (at == text.size() && !text.empty() && text.back() != '\n') line = newline + line;
  text.insert(at, line);
  return true;
}

}  // namespace

bool SaveConfig(const std::filesystem::path& file, const Config& config, std::string& error) {
  try {
    // Only values the file would load again are written.
    for (const Field& field : Fields()) {
      Config checked;
      if (!SetFromText(field, checked, ShownValue(field, config), error)) return false;
    }
    std::error_code missing;
    std::string text = FileText(config);
    if (std::filesystem::exists(file, missing)) {
      // A file that is there is edited in place: only the lines of the values that change.
      // A value the file holds that is not good loads as its default; unless it is changed
      // here, its line stays as it is (the loading told of it).
      std::ifstream in(file, std::ios::binary);
      text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      if (!in && !in.eof()) {
        error = "cannot read " + file.string() + ": " + std::strerror(errno);
        return false;
      }
      Config loaded;
      std::vector<std::string> problems;
      if (!ParseConfig(text, file.string(), loaded, problems)) {
        error = file.string() + " is not changed while it cannot be read; fix or remove it";
        return false;
      }
      for (const Field& field : Fields()) {
        const std::string value = FileValue(field, config);
        if (value == FileValue(field, loaded)) continue;
        if (!EditText(text, field, value, file.string(), error)) return false;
      }
    }
    if (!ReplaceFileWith(file.string(), text)) {
      error = "cannot write " + file.string() + ": " + std::strerror(errno);
      return false;
    }
    return true;
  } catch (const std::exception& failure) {
    error = "cannot write " + file.string() + ": " + failure.what();
    return false;
  }
}

}  // namespace albumora
