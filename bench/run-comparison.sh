#!/usr/bin/env bash
# Side-by-side load runs of the Orvo server against nginx (and a plain loopback sink), all on
# loopback, driven by the same load client. Everything lives in a temporary folder that is removed
# at the end; nothing outside it is touched and every process started here is stopped by its id.
#
#   bench/run-comparison.sh [BIN_DIR]        (default build/release/bin)
#
# Sizes and durations can be lowered for a quick run:
#   SIZE_MIB=1024 UPLOAD_MIB=1024 IDLE=10000 IDLE_RATE=2000 DURATION=5 WORKERS=4 REPEAT=3
#   IDLE_SOURCES=127.0.1.1-127.0.1.200
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
# The idle connections come from many student PCs: the service holds at most 64 per address.
IDLE_SOURCES=${IDLE_SOURCES:-127.0.1.1-127.0.1.200}
DURATION=${DURATION:-5}
WORKERS=${WORKERS:-4}
REPEAT=${REPEAT:-3}
ORVO_PORT=${ORVO_PORT:-28783}
NGINX_PORT=${NGINX_PORT:-28080}
SINK_PORT=${SINK_PORT:-28090}

# Idle connections take one descriptor each, in the client and in the server.
want_files=$((IDLE + 4096))
raise_open_files "$want_files"

LOAD="$BIN/orvo-load"
SERVER="$BIN/bench-server"
require_programs "$LOAD" "$SERVER"

make_scratch orvo-bench

wait_for_file() {  # until the idle client says all its connections are open
  wait_for_ready "$1" "$idle_pid" $((IDLE / 100 + 60))
}

# ---- the data: one big file, a 40-byte file, a small folder of ten files ----
# The bench server takes any LOGIN; the load client logs in as class "bench", id "load" before
# every run, which gives it the public folder and its own folder root/bench/load.
ORVO_LOGIN=(--class bench --id load --password any)
mkdir -p "$T/share/small" "$T/root/bench/load"
head -c $((SIZE_MIB * 1024 * 1024)) /dev/urandom > "$T/share/big"
head -c 40 /dev/zero | tr '\0' 'x' > "$T/share/f40"
for i in $(seq 1 10); do echo "file $i" > "$T/share/small/file$i.txt"; done

start_nginx "$T/share" "$NGINX_PORT" "$want_files"

"$SERVER" --root "$T/root" --public "$T/share" --port "$ORVO_PORT" > "$T/server.log" &
server_pid=$!
pids+=("$server_pid")

"$LOAD" sink --listen "$SINK_PORT" > "$T/sink.log" 2>&1 &
sink_pid=$!
pids+=("$sink_pid")

wait_for_port "$NGINX_PORT"
wait_for_port "$ORVO_PORT"
wait_for_port "$SINK_PORT"

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
orvo_rss_before=$(proc_sum VmRSS "$server_pid")
"$LOAD" --port "$ORVO_PORT" --sources "$IDLE_SOURCES" idle --connections "$IDLE" --rate "$IDLE_RATE" --ready-file "$T/idle-orvo.ready" > "$T/idle-orvo.log" 2>&1 &
idle_pid=$!
pids+=("$idle_pid")
wait_for_file "$T/idle-orvo.ready"
record "idle orvo : $(head -1 "$T/idle-orvo.log"), server threads $(proc_sum Threads "$server_pid"), RSS $orvo_rss_before KiB before -> $(proc_sum VmRSS "$server_pid") KiB"
record "LIST with idle    orvo : $("$LOAD" --port "$ORVO_PORT" "${ORVO_LOGIN[@]}" oneshot --workers "$WORKERS" --duration "$DURATION" --request "LIST $T/share/small/*\r\n")"
kill -TERM "$idle_pid"; wait "$idle_pid" || true
cat "$T/idle-orvo.log"

nginx_rss_before=$(proc_sum VmRSS $(nginx_procs))
"$LOAD" --port "$NGINX_PORT" --sources "$IDLE_SOURCES" idle --connections "$IDLE" --rate "$IDLE_RATE" --ready-file "$T/idle-nginx.ready" > "$T/idle-nginx.log" 2>&1 &
idle_pid=$!
pids+=("$idle_pid")
wait_for_file "$T/idle-nginx.ready"
record "idle nginx: $(head -1 "$T/idle-nginx.log"), RSS (master + workers) $nginx_rss_before KiB before -> $(proc_sum VmRSS $(nginx_procs)) KiB"
record "GET 40 B idle     nginx: $("$LOAD" --port "$NGINX_PORT" oneshot --workers "$WORKERS" --duration "$DURATION" --request "$(http_get f40)")"
kill -TERM "$idle_pid"; wait "$idle_pid" || true
cat "$T/idle-nginx.log"

echo
echo "== summary ($(nproc) cores, $(uname -r)) =="
printf '%s\n' "${results[@]}"
