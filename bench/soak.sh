#!/usr/bin/env bash
# Soak run: SECONDS of mixed traffic against the real headless service, then a report of errors,
# resident memory and open descriptors at the start and at the end.
#
#   bench/soak.sh [BIN_DIR] [SECONDS]      (default build/release/bin, 600)
#   SERVER_BIN_DIR=build/tsan/bin bench/soak.sh build/release/bin 600   (the service from the tsan build)
#
# Traffic, all at once for the whole run: one-shot LOGINs (2 workers), one-shot LISTs (2 workers),
# 1 MiB GETs and 1 MiB PUTs in loops, and 200 idle connections held open. Pass when every client
# reports 0 errors, resident memory at the end is within 10 % of the value after warm-up, and the
# descriptor count at the end equals the one at the start.
set -euo pipefail
. "$(dirname "$0")/service.sh"

BIN=${1:-${ORVO_BIN_DIR:-build/release/bin}}
BIN=$(cd "$BIN" && pwd)
DURATION=${2:-600}
LOAD="$BIN/orvo-load"
# SERVER_BIN_DIR picks the service from another build (the thread-sanitizer one, say).
SERVER="${SERVER_BIN_DIR:-$BIN}/orvo-serverd"
ADMIN="$BIN/orvo-admin"

make_scratch orvo-soak

"$ADMIN" --dir "$T" init > /dev/null
mkdir -p "$T/root" "$T/public"
"$ADMIN" --dir "$T" settings set --root "$T/root" --public "$T/public" > /dev/null
"$ADMIN" --dir "$T" class add 3A > /dev/null
printf '%s\n' Wang Li Zhao Qian Sun > "$T/names"
"$ADMIN" --dir "$T" student add 3A < "$T/names" > /dev/null
head -c 1048576 /dev/urandom > "$T/public/one-mib.bin"
for i in $(seq 1 20); do echo "file $i" > "$T/public/f$i.txt"; done

start_service
sleep 2  # the empty timetable pauses the gate after a second, so the LOGINs are accepted
# File commands need a live login of their address: the clients log in as Wang before they run,
# and Wang's uploads go to Wang's own folder.
LOGIN=(--class 3A --id Wang --password 907183)

rss() { awk '/^VmRSS/ {print $2}' "/proc/$server/status"; }
fds() { ls "/proc/$server/fd" | wc -l; }
threads() { awk '/^Threads/ {print $2}' "/proc/$server/status"; }

out="$T/results"
mkdir -p "$out"
gets=0 puts=0 failures=0
# The whole mix for $1 seconds; results in $out, transfer counts in gets/puts/failures.
traffic() {
  local seconds=$1
  "$LOAD" --port "$port" oneshot --workers 2 --duration "$seconds" --request 'LOGIN 3A Wang 907183\r\n' > "$out/login" 2>&1 &
  local c1=$!
  "$LOAD" --port "$port" "${LOGIN[@]}" oneshot --workers 2 --duration "$seconds" --request "LIST $T/public/*\r\n" > "$out/list" 2>&1 &
  local c2=$!
  "$LOAD" --port "$port" idle --connections 200 --rate 200 --duration "$seconds" > "$out/idle" 2>&1 &
  local c3=$!
  local end=$((SECONDS + seconds))
  while [ "$SECONDS" -lt "$end" ]; do
    if "$LOAD" --port "$port" "${LOGIN[@]}" stream --request "GET $T/public/one-mib.bin\r\n" --repeat 1 > "$out/get" 2>&1 &&
       grep -q "1048580 bytes per run" "$out/get"; then
      gets=$((gets + 1))
    else
      failures=$((failures + 1)); cat "$out/get" >&2
    fi
    if "$LOAD" --port "$port" "${LOGIN[@]}" upload --size 1048576 --path "$T/root/3A/Wang/upload.bin" --repeat 1 > "$out/put" 2>&1; then
      puts=$((puts + 1))
    else
      failures=$((failures + 1)); cat "$out/put" >&2
    fi
  done
  wait "$c1" "$c2" "$c3"
  sleep 11  # worker threads of the finished connections park for 10 s, then end
}

# Warm-up: the same mix for a while, so the allocator's arenas and caches reach their steady size
# before the first sample; growth after that would be a leak.
traffic 30
rss_start=$(rss); fds_start=$(fds); threads_start=$(threads)
echo "start: RSS ${rss_start} KiB, ${fds_start} descriptors, ${threads_start} threads"
gets=0 puts=0 failures=0
traffic "$DURATION"
rss_end=$(rss); fds_end=$(fds); threads_end=$(threads)

echo "login: $(tail -n 1 "$out/login")"
echo "list:  $(tail -n 1 "$out/list")"
echo "idle:  $(tail -n 1 "$out/idle")"
echo "1 MiB GETs: $gets, 1 MiB PUTs: $puts, failed transfers: $failures"
echo "end:   RSS ${rss_end} KiB, ${fds_end} descriptors, ${threads_end} threads"

status=0
for f in login list; do
  grep -q " 0 errors" "$out/$f" || { echo "FAIL: errors in $f"; status=1; }
done
[ "$failures" -eq 0 ] || { echo "FAIL: $failures failed transfers"; status=1; }
[ "$fds_end" -eq "$fds_start" ] || { echo "FAIL: descriptors $fds_start -> $fds_end"; status=1; }
[ "$rss_end" -le $((rss_start * 110 / 100)) ] || { echo "FAIL: RSS grew beyond 10 %"; status=1; }
[ "$status" -eq 0 ] && echo "PASS"
exit "$status"
