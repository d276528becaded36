// SPDX-License-Identifier: GPL-3.0-or-later
// albumora-demo: the bundled sample site and the benchmark's server, kept out of `albumora`.
#pragma once

#include <string>

namespace albumora::demo {

// Serves the sample site on loopback and runs the list and download road through the core into
// save (a new temporary folder when empty).
int RunDemo(std::string save);
// The benchmarks' account (bench/download_bench.sh, bench/naming_bench.sh): its first album
// holds the pictures, the others none.
struct BenchShape {
  int pictures = 300;
  long kb = 100;
  int delayMs = 50;
  int connectMs = 0;
  int ratePerSecond = 0;  // >0: the picture host answers so many a second, the rest 429
  int albums = 1;
  bool oneAlbumName = false;    // every album named alike
  bool oneDescription = false;  // every picture described alike
  bool everyAlbum = false;
  int listDelayMs = 0;  // milliseconds before each list answer (route, albums, pictures)      //
                        // every album holds the pictures, not only the first
};
// Writes the pictures' addresses to listFile, prints the proxy address and serves until
// standard input closes.
int RunServeBench(const std::string& listFile, const BenchShape& shape);

}  // namespace albumora::demo
