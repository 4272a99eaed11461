#!/usr/bin/env bash
# Connection handling of the bench server against nginx, side by side on loopback, driven by the
# same load client: one-shot requests, thousands of connections opened flat out from many source
# addresses and held, and a logged-in student's LIST while other addresses hold connections and
# one floods lines that are no command. Everything lives in a temporary folder that is removed at
# the end; every process started here is stopped by its id.
#
#   bench/run-connections.sh [BIN_DIR]        (default build/release/bin)
#
# Sizes and durations can be lowered for a quick run (the defaults):
#   CONNECTIONS=10000 SOURCES=127.0.1.1-127.0.1.200 OPEN_WITHIN=60 DURATION=5 WORKERS=2
#   IDLE_SOURCES=127.0.2.1-127.0.2.10 IDLE_PER_SOURCE=64 FLOOD_SOURCE=127.0.3.1 FLOOD_WORKERS=1
#   STUDENT_SOURCE=127.0.4.1 ORVO_PORT=28783 NGINX_PORT=28080
set -euo pipefail
. "$(dirname "$0")/service.sh"

BIN=${1:-${ORVO_BIN_DIR:-build/release/bin}}
BIN=$(cd "$BIN" && pwd)
CONNECTIONS=${CONNECTIONS:-10000}
SOURCES=${SOURCES:-127.0.1.1-127.0.1.200}
# Seconds the opening may take before the client gives up on the rest: a server whose accept
# queue overflows makes each dropped SYN wait a second or more for its retry.
OPEN_WITHIN=${OPEN_WITHIN:-60}
DURATION=${DURATION:-5}
WORKERS=${WORKERS:-2}
IDLE_SOURCES=${IDLE_SOURCES:-127.0.2.1-127.0.2.10}
IDLE_PER_SOURCE=${IDLE_PER_SOURCE:-64}
FLOOD_SOURCE=${FLOOD_SOURCE:-127.0.3.1}
FLOOD_WORKERS=${FLOOD_WORKERS:-1}
STUDENT_SOURCE=${STUDENT_SOURCE:-127.0.4.1}
ORVO_PORT=${ORVO_PORT:-28783}
NGINX_PORT=${NGINX_PORT:-28080}

# How many addresses an IPv4 range A-B holds.
range_size() {
  local first=${1%-*} last=${1#*-} a b c d
  IFS=. read -r a b c d <<< "$first"
  first=$(((a << 24) + (b << 16) + (c << 8) + d))
  IFS=. read -r a b c d <<< "$last"
  last=$(((a << 24) + (b << 16) + (c << 8) + d))
  echo $((last - first + 1))
}
IDLE_HELD=$(($(range_size "$IDLE_SOURCES") * IDLE_PER_SOURCE))

# Every held connection takes one descriptor in the client and one in the server.
want_files=$((CONNECTIONS + IDLE_HELD + 4096))
raise_open_files "$want_files"

LOAD="$BIN/orvo-load"
SERVER="$BIN/bench-server"
require_programs "$LOAD" "$SERVER"

make_scratch orvo-connections

# ---- the data: a 40-byte file for nginx, a folder of ten small files for LIST ----
# The bench server takes any LOGIN; the load client logs in as class "bench", id "load" from each
# address it sends file commands from.
ORVO_LOGIN=(--class bench --id load --password any)
mkdir -p "$T/share/small" "$T/root/bench/load"
head -c 40 /dev/zero | tr '\0' 'x' > "$T/share/f40"
for i in $(seq 1 10); do echo "file $i" > "$T/share/small/file$i.txt"; done
LIST_SMALL="LIST $T/share/small/*\r\n"

start_nginx "$T/share" "$NGINX_PORT" "$want_files"
"$SERVER" --root "$T/root" --public "$T/share" --port "$ORVO_PORT" > "$T/server.log" 2>&1 &
server_pid=$!
pids+=("$server_pid")
wait_for_port "$NGINX_PORT"
wait_for_port "$ORVO_PORT"

# ---- reading the figures ----
field() {  # field PATTERN TEXT: the number before (or after) a word in a summary line
  sed -n "s|.*$1.*|\1|p" <<< "$2"
}
rate_of() { field ' \([0-9]*\) req/s' "$1"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; }
listen_overflows() {
  awk '$1 == "TcpExt:" { if (!names) { split($0, names_of); names = 1 } else {
         for (i = 2; i <= NF; ++i) if (names_of[i] == "ListenOverflows") print $i } }' \
    /proc/net/netstat
}

# oneshot NAME: the one-shot run against server NAME (orvo: LIST of the small folder, logged in;
# nginx: the 40-byte file), WORKERS threads for DURATION seconds, from this host's own address.
oneshot() {
  if [ "$1" = orvo ]; then
    "$LOAD" --port "$ORVO_PORT" "${ORVO_LOGIN[@]}" oneshot --workers "$WORKERS" \
      --duration "$DURATION" --request "$LIST_SMALL" 2>> "$T/load.err" || true
  else
    "$LOAD" --port "$NGINX_PORT" oneshot --workers "$WORKERS" --duration "$DURATION" \
      --request "$(http_get f40)" 2>> "$T/load.err" || true
  fi
}

results=()
record() { echo "$1"; results+=("$1"); }

# ---- b. one request per connection ----
echo "== one-shot, $WORKERS workers, $DURATION s =="
declare -A calm open held overflows threads rss busy
for name in orvo nginx; do
  calm[$name]=$(oneshot "$name")
  echo "$name: ${calm[$name]}"
done
record "b  one-shot, $WORKERS workers: LIST of 10 files $(rate_of "${calm[orvo]}") req/s, nginx 40-byte GET $(rate_of "${calm[nginx]}") req/s, ratio $(ratio "$(rate_of "${calm[orvo]}")" "$(rate_of "${calm[nginx]}")") (target 1.0)"

# ---- a. CONNECTIONS opened one after another from the SOURCES, held while one-shot runs ----
# Each server's calm rate is measured again just before its connections are opened, so that the
# ratio compares runs seconds apart on a machine whose other load may change.
for name in orvo nginx; do
  echo "== $CONNECTIONS connections from $SOURCES against $name =="
  if [ "$name" = orvo ]; then
    port=$ORVO_PORT
    procs=("$server_pid")
  else
    port=$NGINX_PORT
    read -ra procs <<< "$(nginx_procs)"
  fi
  calm[$name]=$(oneshot "$name")
  echo "$name calm: ${calm[$name]}"
  rss_before=$(proc_sum VmRSS "${procs[@]}")
  overflows_before=$(listen_overflows)
  "$LOAD" --port "$port" --sources "$SOURCES" idle --connections "$CONNECTIONS" --rate 0 \
    --open-within "$OPEN_WITHIN" --ready-file "$T/idle-$name.ready" > "$T/idle-$name.log" 2>&1 &
  idle_pid=$!
  pids+=("$idle_pid")
  wait_for_ready "$T/idle-$name.ready" "$idle_pid" $((OPEN_WITHIN + 30)) || true
  threads[$name]=$(proc_sum Threads "${procs[@]}")
  rss[$name]="$(mib "$rss_before") -> $(mib "$(proc_sum VmRSS "${procs[@]}")")"
  busy[$name]=$(oneshot "$name")
  overflows[$name]="$overflows_before -> $(listen_overflows)"
  kill -TERM "$idle_pid" 2>/dev/null || true
  wait "$idle_pid" || true
  cat "$T/idle-$name.log"
  echo "$name while held: ${busy[$name]}"
  open[$name]=$(sed -n 's/^idle: \([0-9]* of [0-9]*\) connections open after \([0-9.]*\) s, \([0-9]*\) per second.*/\3 per second (\1 open in \2 s)/p' "$T/idle-$name.log")
  opened=$(sed -n 's/^idle: \([0-9]*\) of .*/\1/p' "$T/idle-$name.log")
  closed=$(sed -n 's/^idle: held [0-9]* connections for .* s, \([0-9]*\) closed by the server/\1/p' "$T/idle-$name.log")
  if [ "${opened:-0}" -eq "$CONNECTIONS" ] && [ "${closed:-1}" -eq 0 ]; then
    held[$name]="yes"
  else
    held[$name]="no (${opened:-0} opened, ${closed:-?} of them closed by the server)"
  fi
done
rate_a() { echo "${open[$1]%% *}"; }
record "a  open $CONNECTIONS from $SOURCES: orvo ${open[orvo]}, nginx ${open[nginx]}, ratio $(ratio "$(rate_a orvo)" "$(rate_a nginx)") (target 0.8)"
record "a  all held: orvo ${held[orvo]}, nginx ${held[nginx]}"
record "a  TcpExtListenOverflows: orvo ${overflows[orvo]}, nginx ${overflows[nginx]} (target unchanged)"
record "a  threads while held: orvo ${threads[orvo]}, nginx ${threads[nginx]} (master + workers) (target under 200)"
record "a  VmRSS before -> while held: orvo ${rss[orvo]}, nginx ${rss[nginx]} (target under 100 MB)"
record "a  one-shot while held / calm: orvo $(rate_of "${busy[orvo]}") / $(rate_of "${calm[orvo]}") req/s = $(ratio "$(rate_of "${busy[orvo]}")" "$(rate_of "${calm[orvo]}")"), nginx $(rate_of "${busy[nginx]}") / $(rate_of "${calm[nginx]}") req/s = $(ratio "$(rate_of "${busy[nginx]}")" "$(rate_of "${calm[nginx]}")") (target 0.8)"

# ---- c. a student's LIST while IDLE_SOURCES hold connections and FLOOD_SOURCE floods ----
echo "== LIST from $STUDENT_SOURCE while $IDLE_SOURCES hold $IDLE_PER_SOURCE each and $FLOOD_SOURCE floods =="
"$LOAD" --port "$ORVO_PORT" --sources "$IDLE_SOURCES" idle --connections "$IDLE_HELD" --rate 0 \
  --open-within "$OPEN_WITHIN" --ready-file "$T/idle-c.ready" > "$T/idle-c.log" 2>&1 &
idle_pid=$!
pids+=("$idle_pid")
wait_for_ready "$T/idle-c.ready" "$idle_pid" $((OPEN_WITHIN + 30)) || true
"$LOAD" --port "$ORVO_PORT" --source "$FLOOD_SOURCE" flood --workers "$FLOOD_WORKERS" \
  --duration $((DURATION + 2)) > "$T/flood.log" 2>&1 &
flood_pid=$!
pids+=("$flood_pid")
sleep 1  # the flood is under way before the student starts
student=$("$LOAD" --port "$ORVO_PORT" --source "$STUDENT_SOURCE" "${ORVO_LOGIN[@]}" oneshot \
  --workers 1 --duration "$DURATION" --request "$LIST_SMALL" 2>> "$T/load.err" || true)
wait "$flood_pid" || true
kill -TERM "$idle_pid" 2>/dev/null || true
wait "$idle_pid" || true
cat "$T/idle-c.log" "$T/flood.log"
echo "student: ${student:-no reply (the login failed)}"
record "c  student LIST with $(sed -n 's/^idle: \([0-9]* of [0-9]*\) connections open.*/\1/p' "$T/idle-c.log") held and a flood ($(sed -n 's/^flood: \([0-9]*\) connections in .* s, \([0-9]*\) per second.*/\1 connections, \2 per second/p' "$T/flood.log")): $(field ' \([0-9]*\) requests in' "$student") requests, $(field ' \([0-9]*\) errors' "$student") errors, p99 $(field 'p99 \([0-9.]*\) ms' "$student") ms (target 0 errors, p99 under 250 ms)"

echo
echo "== summary ($(nproc) cores, $(uname -r), $(date +%F)) =="
printf '%s\n' "${results[@]}"
if [ -s "$T/load.err" ]; then
  grep -v 'logged in as' "$T/load.err" | sort | uniq -c | head -20 || true
fi
