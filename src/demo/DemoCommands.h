// albumora-demo: the bundled sample site and the benchmark's server, kept out of `albumora`.
#pragma once

#include <string>

namespace albumora::demo {

// Serves the sample site on loopback and runs the list and download road through the core into
// save (a new temporary folder when empty).
int RunDemo(std::string save);
// The download benchmark's album (bench/download_bench.sh): writes the pictures' addresses to
// listFile, prints the proxy address and serves until standard input closes.
int RunServeBench(const std::string& listFile, int pictures, long kb, int delayMs, int connectMs);

}  // namespace albumora::demo
