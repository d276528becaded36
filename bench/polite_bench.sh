#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Politeness benchmark on loopback only (every server binds 127.0.0.1): `albumora download
# --threads 15` fetches an album of 120 pictures from a rate-limited picture host.
#
#   window R   the test web's host: at most R pictures over any sliding second, the rest refused
#              "429 Too Many Requests" with "Retry-After: 1"
#   nginx R B  a real limiter: nginx (package nginx-light, scripts/install-bench-deps.sh) serving
#              the same pictures behind `limit_req rate=Rr/s` (with `burst=B nodelay` when B > 0),
#              `limit_req_status 429` and "Retry-After: 1"; it passes every other request (the
#              album and picture lists) on to the test web
#
# Targets per case: every picture written byte-exact, exit 0, at most 10% of the picture
# requests refused, wall time at most 1.5 x 120 / R + 1 s. Not part of the test suite.
#
#   bench/polite_bench.sh                      window 20, nginx 20 burst 10, nginx 5, nginx 50
#   bench/polite_bench.sh "window 40" "nginx 10 0"
#   ALBUMORA=path/to/albumora bench/polite_bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."

ALBUMORA=${ALBUMORA:-build/bin/albumora}
ALBUMORA_DEMO=${ALBUMORA_DEMO:-build/bin/albumora-demo}
NGINX=${NGINX:-/usr/sbin/nginx}
PICTURES=120
THREADS=15
KB=20
[[ -x "$ALBUMORA" ]] || { echo "no albumora at $ALBUMORA (build first, or set ALBUMORA)" >&2; exit 1; }
[[ -x "$ALBUMORA_DEMO" ]] || { echo "no albumora-demo at $ALBUMORA_DEMO (build first)" >&2; exit 1; }
CASES=("$@")
[[ ${#CASES[@]} -gt 0 ]] || CASES=("window 20" "nginx 20 10" "nginx 5 0" "nginx 50 0")

WORK=$(mktemp -d /tmp/albumora-polite-XXXXXX)
chmod 755 "$WORK"  # nginx's workers read the pictures under it
SERVER_PID=
NGINX_PID=
stop_servers() {
  if [[ -n "$NGINX_PID" ]]; then
    kill "$NGINX_PID" 2>/dev/null || true
    wait "$NGINX_PID" 2>/dev/null || true
    NGINX_PID=
  fi
  exec 3>&- 2>/dev/null || true
  [[ -n "$SERVER_PID" ]] && wait "$SERVER_PID" 2>/dev/null || true
  SERVER_PID=
}
trap 'stop_servers; rm -rf "$WORK"' EXIT
calc() { awk "BEGIN { printf \"%.2f\", $1 }"; }
free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# The test web: the account's pages, and its own limited picture host when rate > 0.
start_test_web() {
  local rate=$1
  mkfifo "$WORK/run/in"
  "$ALBUMORA_DEMO" serve-bench --pictures "$PICTURES" --kb "$KB" --delay 0 --rate "$rate" \
    --list "$WORK/run/list.txt" <"$WORK/run/in" >"$WORK/run/proxy.txt" 2>"$WORK/run/server.err" &
  SERVER_PID=$!
  exec 3>"$WORK/run/in"
  for _ in $(seq 1 200); do [[ -s "$WORK/run/proxy.txt" ]] && break; sleep 0.05; done
  PROXY=$(head -n1 "$WORK/run/proxy.txt")
  [[ -n "$PROXY" ]] || { echo "the bench server did not start" >&2; exit 1; }
}

# nginx in front of the test web: the picture host's addresses (from the list file) are served
# from files behind the limiter, everything else goes on to the test web.
start_nginx() {
  local rate=$1 burst=$2
  [[ -x "$NGINX" ]] || { echo "no nginx at $NGINX (bash scripts/install-bench-deps.sh)" >&2; exit 1; }
  local root="$WORK/run/www" conf="$WORK/run/nginx"
  mkdir -p "$root" "$conf/logs" "$conf/temp"
  local picture_host=""
  while IFS= read -r address; do
    local rest=${address#http://}
    picture_host=${rest%%/*}
    local path="/${rest#*/}"
    mkdir -p "$root$(dirname "$path")"
    cp "$WORK/run/expected.jpg" "$root$path"
  done <"$WORK/run/list.txt"
  chmod -R a+rX "$root"
  local port limit
  port=$(free_port)
  limit="limit_req zone=pics;"
  [[ "$burst" -gt 0 ]] && limit="limit_req zone=pics burst=$burst nodelay;"
  local user=""
  [[ $(id -u) -eq 0 ]] && user="user root;"
  cat >"$conf/nginx.conf" <<EOF
$user
worker_processes 1;
pid $conf/nginx.pid;
events { worker_connections 512; }
http {
  types { image/jpeg jpg; }
  log_format bench '\$status \$request_uri';
  access_log $conf/logs/access.log bench;
  client_body_temp_path $conf/temp/body;
  proxy_temp_path $conf/temp/proxy;
  fastcgi_temp_path $conf/temp/fastcgi;
  uwsgi_temp_path $conf/temp/uwsgi;
  scgi_temp_path $conf/temp/scgi;
  limit_req_zone \$binary_remote_addr zone=pics:1m rate=${rate}r/s;
  limit_req_status 429;
  server {
    listen 127.0.0.1:$port;
    server_name $picture_host;
    location / {
      $limit
      root $root;
      add_header Retry-After 1 always;
    }
  }
  server {
    listen 127.0.0.1:$port default_server;
    location / {
      proxy_pass ${PROXY%/};
      proxy_set_header Host \$host;
      proxy_http_version 1.1;
      proxy_set_header Connection "";
    }
  }
}
EOF
  "$NGINX" -p "$conf" -c "$conf/nginx.conf" -e "$conf/logs/error.log" -g 'daemon off;' \
    2>>"$conf/logs/error.log" &
  NGINX_PID=$!
  for _ in $(seq 1 100); do
    curl -s -o /dev/null --noproxy '*' "http://127.0.0.1:$port/" 2>/dev/null && break
    sleep 0.05
  done
  PROXY="http://127.0.0.1:$port"
}

echo "load before: $(uptime)"
printf '%-16s %9s %5s %18s %9s %9s %6s\n' case written exit "refused" "time s" "target s" waits
for spec in "${CASES[@]}"; do
  read -r kind rate burst <<<"$spec"
  burst=${burst:-0}
  rm -rf "$WORK/run" && mkdir -p "$WORK/run"
  # Every picture is the served 0xFF 0xD8 then 'b' bytes, KB KiB long.
  expected="$WORK/run/expected.jpg"
  { printf '\xff\xd8'; head -c $((KB * 1024 - 2)) /dev/zero | tr '\0' 'b'; } >"$expected"
  if [[ "$kind" == window ]]; then
    start_test_web "$rate"
  else
    start_test_web 0
    start_nginx "$rate" "$burst"
  fi

  start=$(date +%s.%N)
  status=0
  "$ALBUMORA" download --site qzone --home "$WORK/run/home" --proxy "$PROXY" --no \
    --threads "$THREADS" --save "$WORK/run/out" 20002 >"$WORK/run/albumora.out" \
    2>"$WORK/run/albumora.err" || status=$?
  end=$(date +%s.%N)
  stop_servers

  seconds=$(calc "$end - $start")
  if [[ "$kind" == window ]]; then
    served=$(sed -n 's/^pictures served: //p' "$WORK/run/server.err")
    refused=$(sed -n 's/^pictures refused: //p' "$WORK/run/server.err")
    name="window $rate"
  else
    log="$WORK/run/nginx/logs/access.log"
    served=$(grep -c '^200 /psb/' "$log" || true)
    refused=$(grep -c '^429 /psb/' "$log" || true)
    name="nginx $rate"
    [[ "$burst" -gt 0 ]] && name="$name b$burst"
  fi
  exact=0
  while IFS= read -r -d '' file; do
    cmp -s "$file" "$expected" && exact=$((exact + 1))
  done < <(find "$WORK/run/out" -name '*.jpg' -print0 2>/dev/null)
  waits=$(grep -c '^albumora: waiting\|^waiting' "$WORK/run/albumora.err" || true)
  printf '%-16s %5d/%-3d %5d %5d/%-4d (%5s%%) %9s %9s %6s\n' "$name" "$exact" "$PICTURES" "$status" \
    "$refused" "$((served + refused))" "$(calc "100 * $refused / ($served + $refused)")" \
    "$seconds" "$(calc "1.5 * $PICTURES / $rate + 1")" "$waits"
done
echo "load after:  $(uptime)"
