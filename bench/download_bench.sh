#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Download benchmark, side by side against aria2c -j15 on the same URL list, on the loopback test
# web (nothing leaves 127.0.0.1). Each case serves one album and fetches it once with
# `albumora download --threads 15` (album list included) and once with aria2c -j 15 through the
# same proxy:
#   (a) 300 pictures of 100 KB, each answered after 50 ms;
#   (b) the same, and every new connection costs 100 ms (the test web charges it on accept);
#   (c) 2000 pictures of 10 KB, no delay;
#   (d) the peak resident memory of albumora over a 1000-picture album (100 KB each);
#   (e) a whole account: 40 albums of 12 pictures of 50 KB, every answer (lists too) after
#       100 ms; aria2c
#       gets the flat list of the 480 addresses (with out= names: no file overwritten), and the
#       latency bound is every answer 15 at a time plus the chain of route, album list and first
#       picture list.
# Prints the times, the ratios albumora / aria2c and the latency bound (pictures × answer delay /
# threads). Not part of the test suite.
#
#   bench/download_bench.sh            all five cases
#   bench/download_bench.sh a c        some of them
#   ALBUMORA=path/to/albumora bench/download_bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."

ALBUMORA=${ALBUMORA:-build/bin/albumora}
ALBUMORA_DEMO=${ALBUMORA_DEMO:-build/bin/albumora-demo}
THREADS=15
[[ -x "$ALBUMORA" ]] || { echo "no albumora at $ALBUMORA (build first, or set ALBUMORA)" >&2; exit 1; }
[[ -x "$ALBUMORA_DEMO" ]] || { echo "no albumora-demo at $ALBUMORA_DEMO (build first, or set ALBUMORA_DEMO)" >&2; exit 1; }
command -v aria2c >/dev/null || { echo "aria2c is missing (apt-get install aria2)" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time is missing (apt-get install time)" >&2; exit 1; }
CASES=("$@")
[[ ${#CASES[@]} -gt 0 ]] || CASES=(a b c d e)

WORK=$(mktemp -d /tmp/albumora-bench-XXXXXX)
SERVER_PID=
# stop_server: sets CONNECTIONS (connections the server accepted).
stop_server() {
  exec 3>&- 2>/dev/null || true
  [[ -n "$SERVER_PID" ]] && wait "$SERVER_PID" 2>/dev/null || true
  SERVER_PID=
  CONNECTIONS=$(sed -n 's/^connections accepted: //p' "$WORK/run/server.err" 2>/dev/null || true)
}
trap 'stop_server; rm -rf "$WORK"' EXIT

# start_server PICTURES KB DELAY_MS CONNECT_MS [MORE...]: serves the album (MORE: serve-bench
# options); sets PROXY and LIST. The server runs until its standard input (our descriptor 3)
# closes.
start_server() {
  rm -rf "$WORK/run" && mkdir -p "$WORK/run"
  mkfifo "$WORK/run/in"
  LIST="$WORK/run/list.txt"
  "$ALBUMORA_DEMO" serve-bench --pictures "$1" --kb "$2" --delay "$3" --connect-ms "$4" \
    --list "$LIST" "${@:5}" <"$WORK/run/in" >"$WORK/run/proxy.txt" 2>"$WORK/run/server.err" &
  SERVER_PID=$!
  exec 3>"$WORK/run/in"
  for _ in $(seq 1 200); do [[ -s "$WORK/run/proxy.txt" ]] && break; sleep 0.05; done
  PROXY=$(head -n1 "$WORK/run/proxy.txt")
  [[ -n "$PROXY" ]] || { echo "the bench server did not start" >&2; exit 1; }
}

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.2f\", $1 }"; }

# run_albumora: sets T_A (seconds), RSS_A (KB) and GOT_A (files).
run_albumora() {
  local start end
  start=$(now)
  /usr/bin/time -f '%M' -o "$WORK/run/albumora.rss" \
    "$ALBUMORA" download --site qzone --home "$WORK/run/home" --proxy "$PROXY" --no \
    --threads "$THREADS" --save "$WORK/run/albumora" 20002 >"$WORK/run/albumora.out" \
    2>"$WORK/run/albumora.err"
  end=$(now)
  T_A=$(calc "$end - $start")
  RSS_A=$(tail -n1 "$WORK/run/albumora.rss")
  GOT_A=$(find "$WORK/run/albumora" -name '*.jpg' | wc -l)
}

# run_aria2: sets T_B, RSS_B and GOT_B. Each address gets a name of its own (out=): addresses
# of different albums may end alike.
run_aria2() {
  local start end
  ARIA2_LIST="$WORK/run/aria2-list.txt"
  awk '{ print $0; printf "  out=%06d.jpg\n", NR }' "$LIST" >"$ARIA2_LIST"
  start=$(now)
  /usr/bin/time -f '%M' -o "$WORK/run/aria2.rss" \
    aria2c -q -j "$THREADS" -i "$ARIA2_LIST" --all-proxy="$PROXY" -d "$WORK/run/aria2" \
    --auto-file-renaming=false --allow-overwrite=true --file-allocation=none \
    --max-tries=1 --console-log-level=error
  end=$(now)
  T_B=$(calc "$end - $start")
  RSS_B=$(tail -n1 "$WORK/run/aria2.rss")
  GOT_B=$(find "$WORK/run/aria2" -name '*.jpg' | wc -l)
}

# side_by_side LABEL PICTURES KB DELAY_MS CONNECT_MS: each tool gets a fresh server.
side_by_side() {
  local label=$1 pictures=$2 kb=$3 delay=$4 connect=$5 conn_a
  start_server "$pictures" "$kb" "$delay" "$connect"
  run_albumora
  stop_server
  conn_a=$CONNECTIONS
  start_server "$pictures" "$kb" "$delay" "$connect"
  run_aria2
  stop_server
  local bound
  bound=$(calc "$pictures * $delay / 1000 / $THREADS")
  echo "($label) $pictures pictures of $kb KB, $delay ms per answer, $connect ms per new connection"
  printf '    albumora %6.2f s (%d files, %s connections)   aria2c %6.2f s (%d files, %s connections)\n' \
    "$T_A" "$GOT_A" "$conn_a" "$T_B" "$GOT_B" "$CONNECTIONS"
  printf '    ratio albumora / aria2c %s\n' "$(calc "$T_A / $T_B")"
  if [[ "$delay" -gt 0 ]]; then
    printf '    latency bound %.2f s: albumora %s x bound, aria2c %s x bound\n' "$bound" \
      "$(calc "$T_A / $bound")" "$(calc "$T_B / $bound")"
  fi
}

# whole_account ALBUMS PICTURES KB DELAY_MS: every album holds the pictures.
whole_account() {
  local albums=$1 pictures=$2 kb=$3 delay=$4 total conn_a bound
  total=$((albums * pictures))
  start_server "$pictures" "$kb" "$delay" 0 --albums "$albums" --every-album \
    --list-delay "$delay"
  run_albumora
  stop_server
  conn_a=$CONNECTIONS
  start_server "$pictures" "$kb" "$delay" 0 --albums "$albums" --every-album \
    --list-delay "$delay"
  run_aria2
  stop_server
  bound=$(calc "(($total + $albums) / $THREADS + 3) * $delay / 1000")
  echo "(e) an account of $albums albums x $pictures pictures of $kb KB, $delay ms per answer"
  printf '    albumora %6.2f s (%d files, %s connections)   aria2c %6.2f s (%d files, %s connections)\n' \
    "$T_A" "$GOT_A" "$conn_a" "$T_B" "$GOT_B" "$CONNECTIONS"
  printf '    ratio albumora / aria2c %s\n' "$(calc "$T_A / $T_B")"
  printf '    latency bound %.2f s: albumora %s x bound, aria2c %s x bound\n' "$bound" \
    "$(calc "$T_A / $bound")" "$(calc "$T_B / $bound")"
}

for c in "${CASES[@]}"; do
  case "$c" in
    a) side_by_side a 300 100 50 0 ;;
    b) side_by_side b 300 100 50 100 ;;
    c) side_by_side c 2000 10 0 0 ;;
    d)
      start_server 1000 100 0 0
      run_albumora
      stop_server
      echo "(d) 1000 pictures of 100 KB: albumora peak RSS $(calc "$RSS_A / 1024") MB" \
        "($GOT_A files, $T_A s)"
      ;;
    e) whole_account 40 12 50 100 ;;
    *) echo "unknown case $c (a, b, c, d or e)" >&2; exit 2 ;;
  esac
done
