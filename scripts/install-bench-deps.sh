#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages only the benchmarks under bench/ need (run as root on Debian 12);
# the build and the tests need none of them (scripts/install-deps.sh holds those).
# nginx-light: bench/polite_bench.sh's real rate limiter (limit_req) on 127.0.0.1; aria2 and
# time: bench/download_bench.sh's comparison and its peak-memory figures.
set -euo pipefail
packages=(nginx-light aria2 time)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  # The package's own service is not wanted: the benchmark starts its own nginx on 127.0.0.1.
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
