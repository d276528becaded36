#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Naming benchmark: the unique-name rules must cost about the same however many pictures share
# a description or albums a name. On the loopback test web (nothing leaves 127.0.0.1), side by
# side in one run, each timed `rounds` times (the median is shown):
#   (p1) 20,000 pictures described alike          `albumora download --export aria2`: the
#   (p2) 20,000 pictures described apart           picture list and its names, no transfers
#   (p3)  2,000 pictures described apart
#   (a1)  5,000 albums named alike                 `albumora list`
#   (a2)  5,000 albums named apart
#   (m)  peak resident memory of `albumora download` of 20,000 pictures of 1 KB, alike and apart
# and the ratios p1/p2 (target <= 1.5), p2/p3 (linear: 10; target <= 15), a1/a2 (target <= 1.5),
# memory (target < 64 MB). A run longer than TIMEOUT seconds (default 300) is cut and shown as
# "> TIMEOUT"; its case is not run again. Not part of the test suite.
#
#   bench/naming_bench.sh              3 rounds
#   ROUNDS=1 TIMEOUT=60 bench/naming_bench.sh
#   ALBUMORA=path/to/albumora ALBUMORA_DEMO=path/to/albumora-demo bench/naming_bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."

ALBUMORA=${ALBUMORA:-build/bin/albumora}
ALBUMORA_DEMO=${ALBUMORA_DEMO:-build/bin/albumora-demo}
ROUNDS=${ROUNDS:-3}
TIMEOUT=${TIMEOUT:-300}
[[ -x "$ALBUMORA" ]] || { echo "no albumora at $ALBUMORA (build first, or set ALBUMORA)" >&2; exit 1; }
[[ -x "$ALBUMORA_DEMO" ]] || { echo "no albumora-demo at $ALBUMORA_DEMO (build first, or set ALBUMORA_DEMO)" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time is missing (apt-get install time)" >&2; exit 1; }

WORK=$(mktemp -d /tmp/albumora-naming-XXXXXX)
SERVER_PID=
stop_server() {
  exec 3>&- 2>/dev/null || true
  [[ -n "$SERVER_PID" ]] && wait "$SERVER_PID" 2>/dev/null || true
  SERVER_PID=
}
trap 'stop_server; rm -rf "$WORK"' EXIT

# start_server SERVE-BENCH-OPTIONS...: sets PROXY. The server runs until descriptor 3 closes.
start_server() {
  rm -rf "$WORK/run" && mkdir -p "$WORK/run"
  mkfifo "$WORK/run/in"
  "$ALBUMORA_DEMO" serve-bench --kb 1 --delay 0 --list "$WORK/run/list.txt" "$@" \
    <"$WORK/run/in" >"$WORK/run/proxy.txt" 2>"$WORK/run/server.err" &
  SERVER_PID=$!
  exec 3>"$WORK/run/in"
  for _ in $(seq 1 600); do [[ -s "$WORK/run/proxy.txt" ]] && break; sleep 0.05; done
  PROXY=$(head -n1 "$WORK/run/proxy.txt")
  [[ -n "$PROXY" ]] || { echo "the bench server did not start" >&2; exit 1; }
}

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.2f\", $1 }"; }

# timed COMMAND...: sets T (seconds, or empty after the time-out) and RSS (KB).
timed() {
  local start end status=0
  start=$(now)
  # time reports the largest of timeout and what it ran (Linux sums descendants it waited for).
  /usr/bin/time -f '%M' -o "$WORK/run/rss" timeout "$TIMEOUT" "$@" >"$WORK/run/out" \
    2>"$WORK/run/err" || status=$?
  end=$(now)
  RSS=$(tail -n1 "$WORK/run/rss" 2>/dev/null || echo 0)
  if [[ $status -eq 124 ]]; then T=; else T=$(calc "$end - $start"); fi
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# run_case NAME KIND SERVE-OPTIONS...: KIND list (albumora list), export (download --export
# aria2) or download; sets TIME_<NAME> (median seconds, or empty) and RSS_<NAME> (max KB).
run_case() {
  local name=$1 kind=$2 times=() rss=0 r
  shift 2
  for ((r = 1; r <= ROUNDS; r++)); do
    start_server "$@"
    local common=(--site qzone --home "$WORK/run/home" --proxy "$PROXY" --no -q)
    case "$kind" in
      list) timed "$ALBUMORA" list "${common[@]}" 20002 ;;
      export) timed "$ALBUMORA" download "${common[@]}" --export aria2 --save "$WORK/run/save" 20002 ;;
      download) timed "$ALBUMORA" download "${common[@]}" --threads 15 --save "$WORK/run/save" 20002 ;;
    esac
    stop_server
    [[ $RSS -gt $rss ]] && rss=$RSS
    if [[ -z "$T" ]]; then times=(); break; fi
    times+=("$T")
  done
  if [[ ${#times[@]} -gt 0 ]]; then printf -v "TIME_$name" '%s' "$(median "${times[@]}")"
  else printf -v "TIME_$name" '%s' ""; fi
  printf -v "RSS_$name" '%s' "$rss"
}

shown() { [[ -n "$1" ]] && printf '%8.2f s' "$1" || printf '%10s' "> $TIMEOUT s"; }
ratio() { [[ -n "$1" && -n "$2" ]] && calc "$1 / $2" || echo "-"; }

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg), $ROUNDS round(s), median shown"
run_case p1 export --pictures 20000 --one-description
run_case p2 export --pictures 20000
run_case p3 export --pictures 2000
run_case a1 list --pictures 1 --albums 5000 --one-name
run_case a2 list --pictures 1 --albums 5000
ROUNDS=1 run_case m1 download --pictures 20000 --one-description
ROUNDS=1 run_case m2 download --pictures 20000
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

printf '(p1) 20000 pictures described alike  %s\n' "$(shown "$TIME_p1")"
printf '(p2) 20000 pictures described apart  %s\n' "$(shown "$TIME_p2")"
printf '(p3)  2000 pictures described apart  %s\n' "$(shown "$TIME_p3")"
printf '(a1)  5000 albums named alike        %s\n' "$(shown "$TIME_a1")"
printf '(a2)  5000 albums named apart        %s\n' "$(shown "$TIME_a2")"
printf '     p1/p2 %s (target <= 1.5)   p2/p3 %s (target <= 15)   a1/a2 %s (target <= 1.5)\n' \
  "$(ratio "$TIME_p1" "$TIME_p2")" "$(ratio "$TIME_p2" "$TIME_p3")" "$(ratio "$TIME_a1" "$TIME_a2")"
printf '(m)  download of 20000 pictures of 1 KB: peak RSS %s MB alike (%s), %s MB apart (%s); target < 64 MB\n' \
  "$(calc "$RSS_m1 / 1024")" "$(shown "$TIME_m1" | tr -s ' ')" "$(calc "$RSS_m2 / 1024")" \
  "$(shown "$TIME_m2" | tr -s ' ')"
