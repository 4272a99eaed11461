#!/usr/bin/env bash
# Side-by-side load runs of the Orvo server against nginx (and a plain loopback sink), all on
# loopback, driven by the same load client. Everything lives in a temporary folder that is removed
# at the end; nothing outside it is touched and every process started here is stopped by its id.
#
#   bench/run-comparison.sh [BIN_DIR]        (default build/release/bin)
#
# Sizes and durations can be lowered for a quick run:
#   SIZE_MIB=1024 UPLOAD_MIB=1024 IDLE=10000 IDLE_RATE=2000 DURATION=5 WORKERS=4 REPEAT=3
#   ORVO_PORT=28783 NGINX_PORT=28080 SINK_PORT=28090
set -euo pipefail
. "$(dirname "$0")/service.sh"

BIN=${1:-${ORVO_BIN_DIR:-build/release/bin}}
BIN=$(cd "$BIN" && pwd)
SIZE_MIB=${SIZE_MIB:-1024}
UPLOAD_MIB=${UPLOAD_MIB:-1024}
IDLE=${IDLE:-10000}
# Connections opened per second: the server's accept queue holds 15, and a dropped SYN costs the
# client a one-second retry, so opening them flat out takes longer, not shorter.
IDLE_RATE=${IDLE_RATE:-2000}
DURATION=${DURATION:-5}
WORKERS=${WORKERS:-4}
REPEAT=${REPEAT:-3}
ORVO_PORT=${ORVO_PORT:-28783}
NGINX_PORT=${NGINX_PORT:-28080}
SINK_PORT=${SINK_PORT:-28090}
NGINX=${NGINX:-/usr/sbin/nginx}

# Idle connections take one descriptor each, in the client and in the server.
want_files=$((IDLE + 4096))
if [ "$(ulimit -Hn)" != unlimited ] && [ "$(ulimit -Hn)" -lt "$want_files" ]; then
  ulimit -Hn "$want_files" 2>/dev/null || true
fi
ulimit -n "$want_files" 2>/dev/null || ulimit -n "$(ulimit -Hn)"
echo "open files limit: $(ulimit -n)"

LOAD="$BIN/orvo-load"
SERVER="$BIN/bench-server"
require_programs "$LOAD" "$SERVER" "$NGINX"

make_scratch orvo-bench

wait_for_port() {
  for _ in $(seq 1 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  echo "nothing listens on port $1" >&2
  return 1
}

rss_kib() {  # resident memory of the given processes, summed
  local total=0
  for pid in "$@"; do
    total=$((total + $(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")))
  done
  echo "$total"
}

threads_of() { awk '/^Threads:/ {print $2}' "/proc/$1/status"; }

wait_for_file() {  # until the idle client says all its connections are open
  for _ in $(seq 1 $((IDLE / 10 + 600))); do [ -s "$1" ] && return 0; sleep 0.1; done
  echo "the idle client did not open its connections in time" >&2
  return 1
}

# ---- the data: one big file, a 40-byte file, a small folder of ten files ----
# The bench server takes any LOGIN; the load client logs in as class "bench", id "load" before
# every run, which gives it the public folder and its own folder root/bench/load.
ORVO_LOGIN=(--class bench --id load --password any)
mkdir -p "$T/share/small" "$T/root/bench/load" "$T/nginx"
head -c $((SIZE_MIB * 1024 * 1024)) /dev/urandom > "$T/share/big"
head -c 40 /dev/zero | tr '\0' 'x' > "$T/share/f40"
for i in $(seq 1 10); do echo "file $i" > "$T/share/small/file$i.txt"; done

# ---- nginx, configured entirely inside the temporary folder ----
cat > "$T/nginx/nginx.conf" <<EOF
worker_processes auto;
worker_rlimit_nofile $want_files;
pid $T/nginx/nginx.pid;
error_log $T/nginx/error.log warn;
daemon off;
$( [ "$(id -u)" -eq 0 ] && echo "user root;" )
events { worker_connections $want_files; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  default_type application/octet-stream;
  client_header_timeout 3600s;
  client_body_temp_path $T/nginx/body;
  proxy_temp_path $T/nginx/proxy;
  fastcgi_temp_path $T/nginx/fastcgi;
  uwsgi_temp_path $T/nginx/uwsgi;
  scgi_temp_path $T/nginx/scgi;
  server {
    listen 127.0.0.1:$NGINX_PORT;
    root $T/share;
  }
}
EOF
"$NGINX" -p "$T/nginx" -c "$T/nginx/nginx.conf" -e "$T/nginx/error.log" &
nginx_pid=$!
pids+=("$nginx_pid")

"$SERVER" --root "$T/root" --public "$T/share" --port "$ORVO_PORT" > "$T/server.log" &
server_pid=$!
pids+=("$server_pid")

"$LOAD" sink --listen "$SINK_PORT" > "$T/sink.log" 2>&1 &
sink_pid=$!
pids+=("$sink_pid")

wait_for_port "$NGINX_PORT"
wait_for_port "$ORVO_PORT"
wait_for_port "$SINK_PORT"
nginx_procs() { echo "$nginx_pid" $(pgrep -P "$nginx_pid" || true); }

http_get() { printf 'GET /%s HTTP/1.1\\r\\nHost: x\\r\\nConnection: close\\r\\n\\r\\n' "$1"; }

results=()
record() { echo "$1"; results+=("$1"); }

echo "== GET of a $SIZE_MIB MiB file =="
record "GET ${SIZE_MIB} MiB  orvo : $("$LOAD" --port "$ORVO_PORT" "${ORVO_LOGIN[@]}" stream --repeat "$REPEAT" --request "GET $T/share/big\r\n")"
record "GET ${SIZE_MIB} MiB  nginx: $("$LOAD" --port "$NGINX_PORT" stream --repeat "$REPEAT" --request "$(http_get big)")"

echo "== upload of $UPLOAD_MIB MiB =="
record "PUT ${UPLOAD_MIB} MiB  orvo : $("$LOAD" --port "$ORVO_PORT" "${ORVO_LOGIN[@]}" upload --repeat "$REPEAT" --size $((UPLOAD_MIB * 1024 * 1024)) --path "$T/root/bench/load/upload.bin")"
record "PUT ${UPLOAD_MIB} MiB  sink : $("$LOAD" --port "$SINK_PORT" upload --repeat "$REPEAT" --size $((UPLOAD_MIB * 1024 * 1024)) --raw)"
[ -f "$T/root/bench/load/upload.bin" ] || { echo "the upload was not stored" >&2; exit 1; }
rm -f "$T/root/bench/load/upload.bin"

echo "== one request per connection, $WORKERS workers, $DURATION s =="
record "LIST small folder orvo : $("$LOAD" --port "$ORVO_PORT" "${ORVO_LOGIN[@]}" oneshot --workers "$WORKERS" --duration "$DURATION" --request "LIST $T/share/small/*\r\n")"
record "GET 40 B          nginx: $("$LOAD" --port "$NGINX_PORT" oneshot --workers "$WORKERS" --duration "$DURATION" --request "$(http_get f40)")"

echo "== $IDLE idle connections held while measuring one-shot requests =="
orvo_rss_before=$(rss_kib "$server_pid")
"$LOAD" --port "$ORVO_PORT" idle --connections "$IDLE" --rate "$IDLE_RATE" --ready-file "$T/idle-orvo.ready" > "$T/idle-orvo.log" 2>&1 &
idle_pid=$!
pids+=("$idle_pid")
wait_for_file "$T/idle-orvo.ready"
record "idle orvo : $(head -1 "$T/idle-orvo.log"), server threads $(threads_of "$server_pid"), RSS $orvo_rss_before KiB before -> $(rss_kib "$server_pid") KiB"
record "LIST with idle    orvo : $("$LOAD" --port "$ORVO_PORT" "${ORVO_LOGIN[@]}" oneshot --workers "$WORKERS" --duration "$DURATION" --request "LIST $T/share/small/*\r\n")"
kill -TERM "$idle_pid"; wait "$idle_pid" || true
cat "$T/idle-orvo.log"

nginx_rss_before=$(rss_kib $(nginx_procs))
"$LOAD" --port "$NGINX_PORT" idle --connections "$IDLE" --rate "$IDLE_RATE" --ready-file "$T/idle-nginx.ready" > "$T/idle-nginx.log" 2>&1 &
idle_pid=$!
pids+=("$idle_pid")
wait_for_file "$T/idle-nginx.ready"
record "idle nginx: $(head -1 "$T/idle-nginx.log"), RSS (master + workers) $nginx_rss_before KiB before -> $(rss_kib $(nginx_procs)) KiB"
record "GET 40 B idle     nginx: $("$LOAD" --port "$NGINX_PORT" oneshot --workers "$WORKERS" --duration "$DURATION" --request "$(http_get f40)")"
kill -TERM "$idle_pid"; wait "$idle_pid" || true
cat "$T/idle-nginx.log"

echo
echo "== summary ($(nproc) cores, $(uname -r)) =="
printf '%s\n' "${results[@]}"
