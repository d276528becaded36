#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) in
# build-fuzz/ and runs each for a given number of seconds (default 60), one after the other.
# Corpora grow in build-fuzz/corpus/<target>; a finding is left as build-fuzz/crash-* and the
# script exits non-zero.
#
#   scripts/run-fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-60}
shift || true
BUILD=${FUZZ_BUILD:-build-fuzz}
TARGETS=("$@")
if [ ${#TARGETS[@]} -eq 0 ]; then
  TARGETS=(fuzz_toolbox fuzz_settings fuzz_cookies fuzz_filenames fuzz_addresses fuzz_inflate
    fuzz_config)
fi

cmake -S . -B "$BUILD" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DALBUMORA_FUZZ=ON -DALBUMORA_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j2 --target "${TARGETS[@]}"

status=0
for target in "${TARGETS[@]}"; do
  corpus="$BUILD/corpus/$target"
  mkdir -p "$corpus"
  # Seeds: the fixtures of the tests that fit the target.
  case "$target" in
    fuzz_toolbox) printf '<b>x</b><<b>b>y\x01<\x01>' >"$corpus/seed-tags" ;;
    fuzz_cookies) printf '.h.test\tTRUE\t/\tFALSE\t0\ta\t1\n#HttpOnly_h.test\tFALSE\t/p\tTRUE\t4102444800\tb\t\n' >"$corpus/seed-lines" ;;
    fuzz_addresses) printf 'http://user.qzone.qq.com/12345' >"$corpus/seed-qzone" ;;
    fuzz_inflate) printf 'hello' | gzip -c >"$corpus/seed-gzip" ;;
    fuzz_config) printf '[transfer]\nlow_speed_bytes = 1024\nuser_agent = "a\\"b"\n[download]\nresume = true\n' >"$corpus/seed-file" ;;
  esac
  echo "== $target: ${SECONDS_EACH} s"
  if ! (cd "$BUILD" && "./bin/$target" -max_total_time="$SECONDS_EACH" -rss_limit_mb=2048 \
          -print_final_stats=1 "corpus/$target" 2>"$target.log"); then
    echo "!! $target found a fault: see $BUILD/$target.log and $BUILD/crash-*"
    status=1
  fi
  grep -E "stat::number_of_executed_units|cov:" "$BUILD/$target.log" | tail -2 || true
done
exit $status
