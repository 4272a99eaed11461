#!/usr/bin/env bash
# LIST on the real headless service by a logged-in address: the one-shot rate of a small public
# folder, side by side with a service of an earlier build when one is given (same database, same
# folders, same client, rounds taken in turn), and the answer to a LIST whose last component is
# thousands of stars over a folder of a few thousand files. Everything lives in a temporary folder
# that is removed at the end; every service started here is stopped by its id.
#
#   bench/run-list.sh [BIN_DIR]        (default build/release/bin; needs orvo-serverd,
#                                       orvo-admin, orvo-load and orvo)
#   BEFORE_BIN_DIR=DIR bench/run-list.sh BIN_DIR   (DIR holds the earlier build's orvo-serverd)
#
#   FILES=3000 STARS=16000 DURATION=5 WORKERS=2 ROUNDS=3 SOURCE=127.0.0.2
set -euo pipefail
. "$(dirname "$0")/service.sh"

BIN=${1:-${ORVO_BIN_DIR:-build/release/bin}}
BIN=$(cd "$BIN" && pwd)
FILES=${FILES:-3000}
STARS=${STARS:-16000}
DURATION=${DURATION:-5}
WORKERS=${WORKERS:-2}
ROUNDS=${ROUNDS:-3}
# The address the load client logs in and lists from, standing for one student PC.
SOURCE=${SOURCE:-127.0.0.2}

LOAD="$BIN/orvo-load"
SERVER="$BIN/orvo-serverd"
ADMIN="$BIN/orvo-admin"
CLIENT="$BIN/orvo"
BEFORE=
if [ -n "${BEFORE_BIN_DIR:-}" ]; then
  BEFORE="$(cd "$BEFORE_BIN_DIR" && pwd)/orvo-serverd"
fi
require_programs "$LOAD" "$SERVER" "$ADMIN" "$CLIENT" $BEFORE

make_scratch orvo-list-bench

CLASS=网络01班
STUDENT=学生01-001
PASSWORD=907183

# ---- one student, a public folder of ten small files and one of FILES files ----
mkdir -p "$T/after" "$T/root" "$T/public/small" "$T/public/many"
"$ADMIN" --dir "$T/after" init > /dev/null
"$ADMIN" --dir "$T/after" settings set --root "$T/root" --public "$T/public" > /dev/null
"$ADMIN" --dir "$T/after" class add "$CLASS" > /dev/null
echo "$STUDENT" | "$ADMIN" --dir "$T/after" student add "$CLASS" > /dev/null
for i in $(seq 1 10); do echo "file $i" > "$T/public/small/file$i.txt"; done
(cd "$T/public/many" && for i in $(seq -w 1 "$FILES"); do echo "homework $i" > "学生$i-作业.docx"; done)
if [ -n "$BEFORE" ]; then
  mkdir -p "$T/before"
  cp "$T/after/orvoDisk.db" "$T/before/"
fi

# ---- the services on free ports; the timetable is empty, so the gate pauses after a second ----
declare -A port_of
start_service "$SERVER" "$T/after"
port_of[after]=$port
services=(after)
if [ -n "$BEFORE" ]; then
  start_service "$BEFORE" "$T/before"
  port_of[before]=$port
  services=(before after)
fi

small_request="LIST $T/public/small/*\r\n"
# A listing of ten files: the four-byte count and ten 592-byte records.
small_bytes=$((4 + 10 * 592))
for s in "${services[@]}"; do
  opened=
  for _ in $(seq 1 100); do
    if "$CLIENT" --port "${port_of[$s]}" --source "$SOURCE" login "$CLASS" "$STUDENT" "$PASSWORD" \
      > "$T/login.out" 2>&1; then
      opened=yes
      break
    fi
    sleep 0.1
  done
  [ -n "$opened" ] || { echo "$s: the login gate did not open:" >&2; cat "$T/login.out" >&2; exit 1; }
  listed=$("$CLIENT" --port "${port_of[$s]}" --source "$SOURCE" ls "$T/public/small/*" | wc -l)
  [ "$listed" -eq 10 ] || { echo "$s: LIST gave $listed entries, not 10" >&2; exit 1; }
done

rate_of() { sed -n 's/.* \([0-9]*\) req\/s.*/\1/p' <<< "$1"; }
p50_of() { sed -n 's/.* p50 \([0-9.]*\) ms.*/\1/p' <<< "$1"; }
p99_of() { sed -n 's/.* p99 \([0-9.]*\) ms.*/\1/p' <<< "$1"; }
reply_bytes_of() { sed -n 's/.* \([0-9]*\) bytes per reply.*/\1/p' <<< "$1"; }
median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }

results=()
record() { echo "$1"; results+=("$1"); }

# Logs in from SOURCE (again, as each run does) and runs one-shot requests; checks the reply size.
list_run() {  # SERVICE REQUEST EXPECTED_BYTES WORKERS
  local out
  out=$("$LOAD" --port "${port_of[$1]}" --source "$SOURCE" \
    --class "$CLASS" --id "$STUDENT" --password "$PASSWORD" \
    oneshot --workers "$4" --duration "$DURATION" --request "$2")
  if [ "$(reply_bytes_of "$out")" -ne "$3" ]; then
    echo "$1: replies of $(reply_bytes_of "$out") bytes, not $3: $out" >&2
    exit 1
  fi
  echo "$out"
}

# ---- one-shot LIST of the small folder, the services taken in turn, ROUNDS rounds ----
declare -A rates
for round in $(seq 1 "$ROUNDS"); do
  order=("${services[@]}")
  # Alternate which service goes first, so neither always runs on a warmer machine.
  if [ $((round % 2)) -eq 0 ] && [ ${#services[@]} -eq 2 ]; then order=("${services[1]}" "${services[0]}"); fi
  for s in "${order[@]}"; do
    out=$(list_run "$s" "$small_request" "$small_bytes" "$WORKERS")
    record "round $round $s: LIST of 10 files, $WORKERS workers: $out"
    rates[$s]="${rates[$s]:-} $(rate_of "$out")"
  done
done

# ---- a LIST whose last component is STARS stars, over the folder of FILES files ----
stars_request="LIST $T/public/many/$(printf '%*s' "$STARS" '' | tr ' ' '*')\r\n"
stars=$(list_run after "$stars_request" 4 1)
record "after: LIST of $STARS stars over $FILES files, 1 worker: $stars"
kill -0 "${pids[0]}" || { echo "the service died" >&2; exit 1; }
# For scale: the same folder listed whole (FILES records).
whole=$(list_run after "LIST $T/public/many/*\r\n" $((4 + FILES * 592)) 1)
record "after: LIST of all $FILES files, 1 worker: $whole"

echo
echo "== summary ($(nproc) cores, $(uname -r)) =="
printf '%s\n' "${results[@]}"
# shellcheck disable=SC2086  # the rates are a list of numbers
after_rate=$(median ${rates[after]})
echo "LIST of 10 files, median of $ROUNDS rounds: after $after_rate req/s"
if [ -n "$BEFORE" ]; then
  # shellcheck disable=SC2086
  before_rate=$(median ${rates[before]})
  verdict=no
  [ "$((100 * after_rate))" -ge "$((95 * before_rate))" ] && verdict=yes
  echo "LIST of 10 files, median of $ROUNDS rounds: before $before_rate req/s," \
    "after / before $((100 * after_rate / (before_rate > 0 ? before_rate : 1))) %" \
    "(target 95 %: $verdict)"
fi
p99=$(p99_of "$stars")
verdict=no
awk -v t="$p99" 'BEGIN { exit !(t < 10) }' && verdict=yes
echo "LIST of $STARS stars over $FILES files: p50 $(p50_of "$stars") ms, p99 $p99 ms" \
  "(target under 10 ms: $verdict)"
