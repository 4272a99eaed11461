#!/usr/bin/env bash
# The browser portal of the real headless service against its references, in one run: download of
# a big file from a logged-in student's folder with curl against nginx serving the same file,
# upload of it with curl against dd writing it with fdatasync, and idle keep-alive browser
# connections held beside a student's download. The database (one class, one student, a lesson
# covering today, made with orvo-admin), the files and nginx's configuration live in a temporary
# folder removed at the end; the service, nginx and the idle client are stopped by their ids.
#
#   bench/run-web.sh [BIN_DIR]        (default build/release/bin; needs orvo-serverd and
#                                      orvo-admin, curl, python3, nginx: scripts/setup nginx)
#
#   SIZE_MIB=1024 REPEAT=3 IDLE=1000 PER_SOURCE=20 NGINX_PORT=28081    (the defaults)
set -euo pipefail
. "$(dirname "$0")/service.sh"

BIN=${1:-${ORVO_BIN_DIR:-build/release/bin}}
BIN=$(cd "$BIN" && pwd)
SIZE_MIB=${SIZE_MIB:-1024}
REPEAT=${REPEAT:-3}
IDLE=${IDLE:-1000}
# The idle connections come from many tabs on many PCs: PER_SOURCE from each address from
# 127.0.0.2 on, under the service's cap of connections per address.
PER_SOURCE=${PER_SOURCE:-20}
NGINX_PORT=${NGINX_PORT:-28081}
IDLE_CLIENT="$(cd "$(dirname "$0")" && pwd)/web-idle.py"

SERVER="$BIN/orvo-serverd"
ADMIN="$BIN/orvo-admin"
require_programs "$SERVER" "$ADMIN" "$(command -v curl)" "$(command -v python3)" "$IDLE_CLIENT"
raise_open_files $((IDLE + 4096))
export LC_ALL=C  # dd's figures in the format read below

make_scratch orvo-web-bench
SIZE=$((SIZE_MIB * 1024 * 1024))
CLASS=网络1班
STUDENT=李明

# ---- the database: one class, one student, a lesson of that class all of today ----
echo "== preparing the database, a $SIZE_MIB MiB file and the service =="
"$ADMIN" --dir "$T" init > /dev/null
mkdir -p "$T/root" "$T/public"
"$ADMIN" --dir "$T" settings set --root "$T/root" --public "$T/public" > /dev/null
"$ADMIN" --dir "$T" class add "$CLASS"
"$ADMIN" --dir "$T" student add "$CLASS" "$STUDENT" > /dev/null
"$ADMIN" --dir "$T" timetable add "$(date +%u)" 00:00 23:59 "$CLASS" > /dev/null
# student list: id, class, name, login id, password
IFS=$'\t' read -r _ _ _ LOGIN_ID PASSWORD < <("$ADMIN" --dir "$T" student list "$CLASS")
FOLDER="$T/root/$CLASS/$LOGIN_ID"
[ -d "$FOLDER" ] || { echo "no student folder $FOLDER" >&2; exit 1; }
head -c "$SIZE" /dev/urandom > "$FOLDER/big.bin"

start_service "$SERVER" "$T" --http-port 0
web_port=
for _ in $(seq 1 100); do
  web_port=$(sed -n 's/^orvo-serverd: web on port \([0-9]*\)$/\1/p' "$T/server.out")
  [ -n "$web_port" ] && break
  sleep 0.1
done
[ -n "$web_port" ] || { echo "the service gave no web port:" >&2; cat "$T/server.err" >&2; exit 1; }
WEB="http://127.0.0.1:$web_port"

start_nginx "$FOLDER" "$NGINX_PORT" 4096
wait_for_port "$NGINX_PORT"

# ---- log in as a browser does: the form, the header a cross-site form cannot set, a cookie jar --
JAR="$T/cookies"
status=
for _ in $(seq 1 50); do
  status=$(curl -s -o "$T/login.json" -w '%{http_code}' -c "$JAR" -H 'X-Orvo-Csrf: 1' \
    --data-urlencode "class=$CLASS" --data-urlencode "id=$LOGIN_ID" \
    --data-urlencode "password=$PASSWORD" "$WEB/api/login") || true
  [ "$status" = 200 ] && break
  sleep 0.2
done
[ "$status" = 200 ] || { echo "login refused ($status):" >&2; cat "$T/login.json" >&2; exit 1; }
csrf=$(curl -s -b "$JAR" "$WEB/api/me" |
  python3 -c 'import json, sys; print(json.load(sys.stdin)["csrf"])')
echo "logged in as $CLASS $LOGIN_ID on web port $web_port"

mib() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.0f", b / s / 1048576 }'; }

# `download URL [CURL_ARG...]`: MiB/s of one download of the big file, checked for status and size.
download() {
  local url=$1 code got seconds
  shift
  read -r code got seconds < <(curl -s -o /dev/null -w '%{http_code} %{size_download} %{time_total}' \
    "$@" "$url")
  if [ "$code" != 200 ] || [ "$got" != "$SIZE" ]; then
    echo "download of $url: status $code, $got bytes" >&2
    return 1
  fi
  mib "$SIZE" "$seconds"
}
orvo_download() { download "$WEB/api/download?area=own&path=big.bin" -b "$JAR"; }
nginx_download() { download "http://127.0.0.1:$NGINX_PORT/big.bin"; }

# `upload`: MiB/s of one upload of the big file as a new file, from the request's first byte to
# the answer (the service answers once the file is in place); checked for status and size. The
# body is streamed from the file (-T): curl refuses --data-binary @FILE of 1 GiB ("out of
# memory"), and a browser streams it too. No "Expect: 100-continue", as a browser sends none.
upload() {
  local code sent seconds
  rm -f "$FOLDER/upload.bin"
  read -r code sent seconds < <(curl -s -o "$T/upload.json" \
    -w '%{http_code} %{size_upload} %{time_total}' -b "$JAR" -H "X-Orvo-Csrf: $csrf" \
    -H 'Content-Type: application/octet-stream' -H 'Expect:' -X POST -T "$FOLDER/big.bin" \
    "$WEB/api/upload?path=&name=upload.bin")
  if [ "$code" != 200 ] || [ "$sent" != "$SIZE" ] || [ "$(stat -c %s "$FOLDER/upload.bin")" != "$SIZE" ]; then
    echo "upload: status $code, $sent bytes sent: $(cat "$T/upload.json")" >&2
    return 1
  fi
  mib "$SIZE" "$seconds"
}

# `dd_write`: MiB/s of dd writing the same bytes into a new file in the same folder and flushing.
dd_write() {
  local seconds
  rm -f "$FOLDER/dd.bin"
  seconds=$(dd if="$FOLDER/big.bin" of="$FOLDER/dd.bin" bs=1M conv=fdatasync 2>&1 |
    sed -n 's/.* copied, \([0-9.e+-]*\) s,.*/\1/p')
  rm -f "$FOLDER/dd.bin"
  mib "$SIZE" "$seconds"
}

# `best NAME COMMAND`: runs COMMAND REPEAT times, prints each figure, sets best_NAME to the best.
best() {
  local name=$1 top=0 rate
  shift
  local runs=()
  for _ in $(seq 1 "$REPEAT"); do
    rate=$("$@")
    runs+=("$rate")
    [ "$rate" -gt "$top" ] && top=$rate
  done
  echo "  $name: ${runs[*]} MiB/s (best $top)"
  printf -v "best_$name" '%s' "$top"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
met() { awk -v a="$1" -v b="$2" -v f="$3" 'BEGIN { print (a >= f * b ? "yes" : "no") }'; }

# `cpu_seconds PID`: the user and system time PID has used so far, in seconds.
cpu_seconds() {
  awk -v hz="$(getconf CLK_TCK)" '{ sub(/.*\) /, ""); printf "%.2f", ($12 + $13) / hz }' \
    "/proc/$1/stat"
}
# `with_cpu NAME COMMAND...`: `best NAME COMMAND...`, then the service's CPU time over those runs.
with_cpu() {
  local before after
  before=$(cpu_seconds "$server")
  best "$@"
  after=$(cpu_seconds "$server")
  echo "  service CPU over the $REPEAT runs: $(awk -v a="$after" -v b="$before" 'BEGIN { printf "%.2f", a - b }') s"
}

echo "== download of $SIZE_MIB MiB, best of $REPEAT =="
with_cpu orvo_download orvo_download
best nginx_download nginx_download

echo "== upload of $SIZE_MIB MiB, best of $REPEAT =="
with_cpu orvo_upload upload
best dd_write dd_write
rm -f "$FOLDER/upload.bin"

echo "== $IDLE idle keep-alive connections, $PER_SOURCE per address =="
rss_before=$(proc_sum VmRSS "$server")
threads_before=$(proc_sum Threads "$server")
python3 "$IDLE_CLIENT" "$web_port" "$IDLE" "$PER_SOURCE" "$T/idle.ready" > "$T/idle.log" 2>&1 &
idle_pid=$!
pids+=("$idle_pid")
wait_for_ready "$T/idle.ready" "$idle_pid" 120 || { cat "$T/idle.log" >&2; exit 1; }
rss_held=$(proc_sum VmRSS "$server")
threads_held=$(proc_sum Threads "$server")
best held_download orvo_download
kill -TERM "$idle_pid"
wait "$idle_pid" || true
cat "$T/idle.log"
closed=$(sed -n 's/.* \([0-9]*\) closed by the server$/\1/p' "$T/idle.log")

rss_growth_kib=$((rss_held - rss_before))
rss_ok=$([ "$rss_growth_kib" -lt $((50 * 1000 * 1000 / 1024)) ] && echo yes || echo no)
held_ok=$([ "${closed:-1}" = 0 ] && echo yes || echo no)

echo
echo "== results ($(nproc) cores, $(uname -r), load $(cut -d' ' -f1-3 /proc/loadavg)) =="
row() { printf '| %s | %s | %s | %s | %s |\n' "$@"; }
row figure "Orvo portal" reference target met
row --- --- --- --- ---
row "download of $SIZE_MIB MiB (best of $REPEAT)" "$best_orvo_download MiB/s" \
  "nginx: $best_nginx_download MiB/s" "0.9x nginx" \
  "$(met "$best_orvo_download" "$best_nginx_download" 0.9) ($(ratio "$best_orvo_download" "$best_nginx_download")x)"
row "upload of $SIZE_MIB MiB (best of $REPEAT)" "$best_orvo_upload MiB/s" \
  "dd conv=fdatasync: $best_dd_write MiB/s" "0.9x dd" \
  "$(met "$best_orvo_upload" "$best_dd_write" 0.9) ($(ratio "$best_orvo_upload" "$best_dd_write")x)"
row "VmRSS before -> with $IDLE idle connections" \
  "$((rss_before / 1024)) -> $((rss_held / 1024)) MiB (+$((rss_growth_kib / 1024)) MiB; threads $threads_before -> $threads_held)" \
  "" "under 50 MB more" "$rss_ok"
row "all $IDLE held until the client let go" "${closed:-?} closed by the server" "" "none closed" "$held_ok"
row "download while they are held (best of $REPEAT)" "$best_held_download MiB/s" \
  "without them: $best_orvo_download MiB/s" "0.9x (noise)" \
  "$(met "$best_held_download" "$best_orvo_download" 0.9) ($(ratio "$best_held_download" "$best_orvo_download")x)"
