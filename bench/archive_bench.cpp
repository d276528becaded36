// SPDX-License-Identifier: GPL-3.0-or-later
// Download archive benchmark: THREADS threads record ROWS picture rows in all, as a download's
// workers do (each call returns when its row is committed), then every picture is looked up
// once. Prints the wall and processor time per row and per lookup. Works in a fresh folder under
// the temporary folder, removed at the end. Not part of the test suite.
//
//   build/bin/albumora_archive_bench [ROWS [THREADS]]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "archive/Archive.h"

using namespace albumora;

namespace {

// The i-th picture: albums of a thousand pictures, whose rows the workers record in turn.
PictureRow Row(int i) {
  PictureRow row;
  row.site = "qzone";
  row.album = "https://user.qzone.example/10001/album/" + std::to_string(i / 1000);
  row.url = "https://photo.qzone.example/p/b" + std::to_string(i % 1000 * 7919 % 1000) + "x" +
            std::to_string(i) + "/original.jpg";
  row.path = "/home/user/Pictures/10001/album " + std::to_string(i / 1000) + "/" +
             std::to_string(i % 1000) + ".jpg";
  row.bytes = 200000 + static_cast<uint64_t>(i);
  row.sha256 = std::string(64, 'a');
  row.outcome = i % 50 == 0 ? PictureOutcome::Failed : PictureOutcome::Written;
  if (row.outcome == PictureOutcome::Failed) row.reason = "network";
  return row;
}

// Wall and processor time: on a shared machine the wall clock measures the others too.
struct Clock {
  std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
  double cpu = CpuMicros();

  static double CpuMicros() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
  }
  // Prints the microseconds per item since construction.
  void Print(const char* what, int items, const std::string& detail) const {
    const double wallUs =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - wall).count();
    std::printf("%-7s %d %s: %.1f us a row wall, %.1f us cpu (%.0f ms wall)\n", what, items,
                detail.c_str(), wallUs / items, (CpuMicros() - cpu) / items, wallUs / 1000);
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 20000;
  const int threads = argc > 2 ? std::atoi(argv[2]) : 15;
  if (rows <= 0 || threads <= 0) {
    std::fprintf(stderr, "usage: albumora_archive_bench [ROWS [THREADS]]\n");
    return 2;
  }
  std::string pattern = (std::filesystem::temp_directory_path() / "albumora-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return 1;
  const std::filesystem::path dir = pattern;
  int status = 0;
  {
    std::string error;
    auto archive = Archive::Open(dir / kArchiveFileName, error);
    if (!archive) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    const int recorded = rows / threads * threads;
    const Clock recording;
    std::vector<std::jthread> workers;
    for (int t = 0; t < threads; ++t)
      workers.emplace_back([&, t] {
        for (int i = t; i < recorded; i += threads) archive->Record(Row(i));
      });
    workers.clear();
    recording.Print("record", recorded, "rows from " + std::to_string(threads) + " threads");

    const Clock finding;
    int found = 0;
    for (int i = 0; i < recorded; ++i) {
      const PictureRow row = Row(i);
      if (archive->FindWritten(row.site, row.album, row.url)) ++found;
    }
    finding.Print("find", recorded, "lookups (" + std::to_string(found) + " written)");
    if (!archive->LastError().empty()) {
      std::printf("error:  %s\n", archive->LastError().c_str());
      status = 1;
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return status;
}
