#!/usr/bin/env bash
# Download benchmark: one album of N pictures (default 300 of 100 KB), each answered after a
# pause (default 50 ms) by the loopback test web, fetched once by `albumora download` with 15
# threads and once by aria2c with 15 parallel downloads through the same proxy. Prints both
# times and their ratio. Not part of the test suite; nothing leaves 127.0.0.1.
#
#   bench/download_bench.sh [PICTURES] [KB] [DELAY_MS]
#   ALBUMORA=path/to/albumora bench/download_bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."

PICTURES=${1:-300}
KB=${2:-100}
DELAY=${3:-50}
ALBUMORA=${ALBUMORA:-build/bin/albumora}
ALBUMORA_DEMO=${ALBUMORA_DEMO:-build/bin/albumora-demo}
[[ -x "$ALBUMORA" ]] || { echo "no albumora at $ALBUMORA (build first, or set ALBUMORA)" >&2; exit 1; }
[[ -x "$ALBUMORA_DEMO" ]] || { echo "no albumora-demo at $ALBUMORA_DEMO (build first, or set ALBUMORA_DEMO)" >&2; exit 1; }
command -v aria2c >/dev/null || { echo "aria2c is missing (apt-get install aria2)" >&2; exit 1; }

WORK=$(mktemp -d /tmp/albumora-bench-XXXXXX)
SERVER_PID=
cleanup() {
  exec 3>&- 2>/dev/null || true
  [[ -n "$SERVER_PID" ]] && wait "$SERVER_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

# The server runs until its standard input (our descriptor 3) closes.
mkfifo "$WORK/in"
"$ALBUMORA_DEMO" serve-bench --pictures "$PICTURES" --kb "$KB" --delay "$DELAY" \
  --list "$WORK/list.txt" <"$WORK/in" >"$WORK/proxy.txt" &
SERVER_PID=$!
exec 3>"$WORK/in"
for _ in $(seq 1 100); do [[ -s "$WORK/proxy.txt" ]] && break; sleep 0.05; done
PROXY=$(head -n1 "$WORK/proxy.txt")
[[ -n "$PROXY" ]] || { echo "the bench server did not start" >&2; exit 1; }

now() { date +%s.%N; }

echo "album: $PICTURES pictures of $KB KB, $DELAY ms before each answer; proxy $PROXY"

start=$(now)
"$ALBUMORA" download --site qzone --home "$WORK/home" --proxy "$PROXY" --no --threads 15 \
  --save "$WORK/albumora" 20002 >"$WORK/albumora.out" 2>"$WORK/albumora.err"
end=$(now)
T_ALBUMORA=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
GOT_A=$(find "$WORK/albumora" -name '*.jpg' | wc -l)

start=$(now)
aria2c -q -j 15 -i "$WORK/list.txt" --all-proxy="$PROXY" -d "$WORK/aria2" \
  --auto-file-renaming=false --allow-overwrite=true --file-allocation=none \
  --max-tries=1 --console-log-level=error
end=$(now)
T_ARIA=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
GOT_B=$(find "$WORK/aria2" -name '*.jpg' | wc -l)

printf 'albumora download (15 threads): %6.2f s  (%d files, album list included)\n' "$T_ALBUMORA" "$GOT_A"
printf 'aria2c -j 15:                   %6.2f s  (%d files)\n' "$T_ARIA" "$GOT_B"
printf 'ratio albumora / aria2c:        %6.2f\n' "$(awk -v a="$T_ALBUMORA" -v b="$T_ARIA" 'BEGIN { print a / b }')"
