// SPDX-License-Identifier: GPL-3.0-or-later
// Toolbox benchmark: every text operation on 1 MB inputs a hostile site could send (many
// distinct tags, nested "<", many "&", long runs of a marker's prefix, escapes without end).
// Prints one line per case: milliseconds, operation, input. Not part of the test suite.
//
//   build/bin/albumora_toolbox_bench [MEGABYTES]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "fs/FileNames.h"
#include "text/StringCtrl.h"

using namespace albumora;

namespace {

size_t g_size = 1 << 20;

std::string Repeat(const std::string& piece, size_t bytes) {
  std::string out;
  out.reserve(bytes + piece.size());
  while (out.size() + piece.size() <= bytes) out += piece;
  return out;
}

std::string Numbered(const std::string& before, const std::string& after, size_t bytes) {
  std::string out;
  out.reserve(bytes + 64);
  for (size_t i = 0; out.size() < bytes; ++i) out += before + std::to_string(i) + after;
  return out;
}

double g_worst = 0;

// Processor time of this process: on a shared machine the wall clock measures the others too.
double CpuMs() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

void Time(const char* operation, const char* input, const std::function<size_t()>& run) {
  const auto start = std::chrono::steady_clock::now();
  const double cpuStart = CpuMs();
  const size_t size = run();
  const double cpu = CpuMs() - cpuStart;
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  if (cpu > g_worst) g_worst = cpu;
  std::printf("%8.1f ms cpu %8.1f ms wall  %-16s %s (result %zu bytes)\n", cpu, ms, operation,
              input, size);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) g_size = static_cast<size_t>(std::atof(argv[1]) * (1 << 20));
  const std::string marker = std::string(63, 'a') + "b";
  const std::string prefixRun = std::string(g_size, 'a');

  struct Case {
    const char* name;
    std::string text;
  };
  const std::vector<Case> tagInputs = {
      {"distinct tags <t0><t1>...", Numbered("<t", ">", g_size)},
      {"links with text <a href=N>x</a>", Numbered("<a href=", ">x</a>", g_size)},
      {"'<' then 'a<' repeated then '>'", "<" + Repeat("a<", g_size - 2) + ">"},
      {"'<' repeated, no '>'", std::string(g_size, '<')},
      {"'>' repeated", std::string(g_size, '>')},
      {"'<<b>b>' repeated (rejoining)", Repeat("<<b>b>", g_size)},
      {"'<' run then '<y>' tags",
       std::string(g_size / 2, '<') + "x>" + Repeat("y>", g_size / 4) + Repeat("<y>", g_size / 4)},
      {"same tag <p> repeated", Repeat("<p>x", g_size)},
      {"nested <a<a<a...>>>", Repeat("<a", g_size / 2) + std::string(g_size / 2, '>')},
  };
  for (const Case& c : tagInputs)
    Time("StripTags", c.name, [&] { return StripTags(c.text).size(); });

  const std::vector<Case> entityInputs = {
      {"'&' repeated", std::string(g_size, '&')},
      {"'&amp;' repeated", Repeat("&amp;", g_size)},
      {"'&amp;lt;' repeated", Repeat("&amp;lt;", g_size)},
      {"'&hellip' without ';'", Repeat("&hellip", g_size)},
  };
  for (const Case& c : entityInputs) {
    Time("DecodeEntities", c.name, [&] {
      std::string t = c.text;
      DecodeEntities(t);
      return t.size();
    });
  }

  Time("GetBetween", "run of the marker's prefix", [&] {
    std::string t = prefixRun;
    return GetBetween(t, marker, "b", BT_CONSUME | BT_TOEND).size();
  });
  Time("CountOf", "run of the marker's prefix",
       [&] { return static_cast<size_t>(CountOf(prefixRun, marker)); });
  Time("SplitBy", "run of the marker's prefix", [&] {
    std::vector<std::string> pieces;
    return static_cast<size_t>(SplitBy(pieces, prefixRun, marker));
  });
  Time("SplitBy", "one-byte separator everywhere", [&] {
    std::vector<std::string> pieces;
    return static_cast<size_t>(SplitBy(pieces, std::string(g_size, '|'), "|"));
  });
  Time("ReplaceEach", "run of the from item's prefix", [&] {
    std::string t = prefixRun;
    ReplaceEach(t, marker + "|aa", "x|y");
    return t.size();
  });
  Time("ReplaceAll", "every byte replaced", [&] {
    std::string t = std::string(g_size, 'a');
    ReplaceAll(t, "a", "bb");
    return t.size();
  });
  Time("CutBefore", "run of the marker's prefix", [&] {
    std::string t = prefixRun;
    return static_cast<size_t>(CutBefore(t, marker, true) + 1);
  });
  Time("UnescapeUnicode", "'\\u' repeated",
       [&] { return UnescapeUnicode(Repeat("\\u", g_size)).size(); });
  Time("UnescapeUnicode", "'\\u4E2D' repeated",
       [&] { return UnescapeUnicode(Repeat("\\u4E2D", g_size)).size(); });
  Time("UrlDecode", "'%D6%D0' repeated",
       [&] { return UrlDecode(Repeat("%D6%D0", g_size), false).size(); });
  Time("WideToGbk", "Chinese text", [&] { return WideToGbk(Repeat("中文", g_size)).size(); });
  Time("WideToGbk", "emoji (GBK has none)", [&] { return WideToGbk(Repeat("😀", g_size)).size(); });
  Time("WideToGbk", "emoji and letters", [&] { return WideToGbk(Repeat("😀a", g_size)).size(); });
  Time("UrlDecode", "emoji", [&] { return UrlDecode(Repeat("😀", g_size), false).size(); });
  Time("BytesToWide", "invalid GBK bytes", [&] {
    const std::string bytes(g_size, '\x81');
    return BytesToWide(bytes.data(), bytes.size(), CodePage::Gbk).size();
  });
  Time("CleanFileName", "spaces and dots", [&] {
    std::string t = Repeat("  .", g_size);
    CleanFileName(t, 0xFFFF, true);
    return t.size();
  });
  Time("CleanFileName", "control characters", [&] {
    std::string t = Repeat("\x1b[31m\xc2\x9b", g_size);
    CleanFileName(t, 0xFFFF, false);
    return t.size();
  });
  Time("FitFileName", "invalid UTF-8",
       [&] { return FitFileName("." + std::string(g_size, '\x80')).size(); });
  std::printf("slowest: %.1f ms of processor time\n", g_worst);
  return 0;
}
