#!/usr/bin/env bash
# Politeness benchmark on the loopback test web (nothing leaves 127.0.0.1): a picture host that
# answers at most R pictures over any sliding second and refuses the rest "429 Too Many
# Requests" with "Retry-After: 1". `albumora download --threads 15` fetches an album of 120
# pictures from it. Targets: every picture written byte-exact, exit 0, at most 10% of the
# picture requests refused, wall time at most 1.5 x 120 / R seconds. Not part of the test suite.
#
#   bench/polite_bench.sh            R = 20
#   bench/polite_bench.sh 10 40      other rates
#   ALBUMORA=path/to/albumora bench/polite_bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."

ALBUMORA=${ALBUMORA:-build/bin/albumora}
ALBUMORA_DEMO=${ALBUMORA_DEMO:-build/bin/albumora-demo}
PICTURES=120
THREADS=15
KB=20
[[ -x "$ALBUMORA" ]] || { echo "no albumora at $ALBUMORA (build first, or set ALBUMORA)" >&2; exit 1; }
[[ -x "$ALBUMORA_DEMO" ]] || { echo "no albumora-demo at $ALBUMORA_DEMO (build first)" >&2; exit 1; }
RATES=("$@")
[[ ${#RATES[@]} -gt 0 ]] || RATES=(20)

WORK=$(mktemp -d /tmp/albumora-polite-XXXXXX)
SERVER_PID=
stop_server() {
  exec 3>&- 2>/dev/null || true
  [[ -n "$SERVER_PID" ]] && wait "$SERVER_PID" 2>/dev/null || true
  SERVER_PID=
}
trap 'stop_server; rm -rf "$WORK"' EXIT
calc() { awk "BEGIN { printf \"%.2f\", $1 }"; }

for rate in "${RATES[@]}"; do
  rm -rf "$WORK/run" && mkdir -p "$WORK/run"
  mkfifo "$WORK/run/in"
  "$ALBUMORA_DEMO" serve-bench --pictures "$PICTURES" --kb "$KB" --delay 0 --rate "$rate" \
    --list "$WORK/run/list.txt" <"$WORK/run/in" >"$WORK/run/proxy.txt" 2>"$WORK/run/server.err" &
  SERVER_PID=$!
  exec 3>"$WORK/run/in"
  for _ in $(seq 1 200); do [[ -s "$WORK/run/proxy.txt" ]] && break; sleep 0.05; done
  PROXY=$(head -n1 "$WORK/run/proxy.txt")
  [[ -n "$PROXY" ]] || { echo "the bench server did not start" >&2; exit 1; }

  start=$(date +%s.%N)
  status=0
  "$ALBUMORA" download --site qzone --home "$WORK/run/home" --proxy "$PROXY" --no \
    --threads "$THREADS" --save "$WORK/run/out" 20002 >"$WORK/run/albumora.out" \
    2>"$WORK/run/albumora.err" || status=$?
  end=$(date +%s.%N)
  stop_server

  seconds=$(calc "$end - $start")
  served=$(sed -n 's/^pictures served: //p' "$WORK/run/server.err")
  refused=$(sed -n 's/^pictures refused: //p' "$WORK/run/server.err")
  # Byte-exact: every picture is the served 0xFF 0xD8 then 'b' bytes, KB KiB long.
  expected="$WORK/run/expected.jpg"
  { printf '\xff\xd8'; head -c $((KB * 1024 - 2)) /dev/zero | tr '\0' 'b'; } >"$expected"
  exact=0
  while IFS= read -r -d '' file; do
    cmp -s "$file" "$expected" && exact=$((exact + 1))
  done < <(find "$WORK/run/out" -name '*.jpg' -print0)
  waits=$(grep -c '^albumora: waiting\|^waiting' "$WORK/run/albumora.err" || true)
  echo "R = $rate a second: $PICTURES pictures with $THREADS threads"
  printf '    %d of %d byte-exact, exit %d, %s s (target %s s), %s of %s picture requests refused (%s%%, target 10%%), %s wait lines\n' \
    "$exact" "$PICTURES" "$status" "$seconds" "$(calc "1.5 * $PICTURES / $rate")" "$refused" \
    "$((served + refused))" "$(calc "100 * $refused / ($served + $refused)")" "$waits"
done
