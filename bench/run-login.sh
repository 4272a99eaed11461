#!/usr/bin/env bash
# One-shot LOGIN requests against one-shot GLIST requests on the real headless service, side by
# side: a LOGIN costs a database look-up under the database lock, GLIST reads a small table. The
# database (CLASSES classes of PER_CLASS students, made with orvo-admin) and the student folders
# live in a temporary folder that is removed at the end; the service is stopped by its id.
#
#   bench/run-login.sh [BIN_DIR]        (default build/release/bin; needs orvo-serverd,
#                                        orvo-admin, orvo-load and orvo)
#
#   CLASSES=50 PER_CLASS=100 DURATION=5 WORKERS="2 8"
set -euo pipefail
. "$(dirname "$0")/service.sh"

BIN=${1:-${ORVO_BIN_DIR:-build/release/bin}}
BIN=$(cd "$BIN" && pwd)
CLASSES=${CLASSES:-50}
PER_CLASS=${PER_CLASS:-100}
DURATION=${DURATION:-5}
WORKERS=${WORKERS:-"2 8"}

LOAD="$BIN/orvo-load"
SERVER="$BIN/orvo-serverd"
ADMIN="$BIN/orvo-admin"
CLIENT="$BIN/orvo"
require_programs "$LOAD" "$SERVER" "$ADMIN" "$CLIENT"

make_scratch orvo-login-bench

class_name() { echo "网络$1班"; }
student_name() { echo "学生$1-$2"; }

# ---- the database: CLASSES classes of PER_CLASS students, each with a folder under root ----
echo "== making $CLASSES classes of $PER_CLASS students =="
"$ADMIN" --dir "$T" init > /dev/null
mkdir -p "$T/root" "$T/public"
"$ADMIN" --dir "$T" settings set --root "$T/root" --public "$T/public" > /dev/null
for c in $(seq -w 1 "$CLASSES"); do
  "$ADMIN" --dir "$T" class add "$(class_name "$c")"
  for s in $(seq -w 1 "$PER_CLASS"); do student_name "$c" "$s"; done |
    "$ADMIN" --dir "$T" student add "$(class_name "$c")" > /dev/null
done

# ---- the service on a free port; the timetable is empty, so the gate pauses after a second ----
start_service

# A student in the middle of the middle class.
mid_class=$(class_name "$(seq -w 1 "$CLASSES" | sed -n "$(((CLASSES + 1) / 2))p")")
mid_student=$(student_name "$(seq -w 1 "$CLASSES" | sed -n "$(((CLASSES + 1) / 2))p")" \
  "$(seq -w 1 "$PER_CLASS" | sed -n "$(((PER_CLASS + 1) / 2))p")")
opened=
for _ in $(seq 1 100); do
  if "$CLIENT" --port "$port" login "$mid_class" "$mid_student" 907183 > "$T/login.out" 2>&1; then
    opened=yes
    break
  fi
  sleep 0.1
done
[ -n "$opened" ] || { echo "the login gate did not open:" >&2; cat "$T/login.out" >&2; exit 1; }
echo "logged in as $mid_class $mid_student:"
sed 's/^/  /' "$T/login.out"
served=$("$CLIENT" --port "$port" classes | wc -l)
[ "$served" -eq "$CLASSES" ] || { echo "GLIST served $served classes, not $CLASSES" >&2; exit 1; }

rate_of() { sed -n 's/.* \([0-9]*\) req\/s.*/\1/p' <<< "$1"; }
# A refused login is answered too (an empty list, 4 bytes), so only the reply size tells.
reply_bytes_of() { sed -n 's/.* \([0-9]*\) bytes per reply.*/\1/p' <<< "$1"; }

results=()
record() { echo "$1"; results+=("$1"); }

for workers in $WORKERS; do
  echo "== $workers workers, $DURATION s each =="
  login=$("$LOAD" --port "$port" oneshot --workers "$workers" --duration "$DURATION" \
    --request "LOGIN $mid_class $mid_student 907183\r\n")
  glist=$("$LOAD" --port "$port" oneshot --workers "$workers" --duration "$DURATION" \
    --request "GLIST\r\n")
  record "LOGIN $workers workers: $login"
  if [ "$(reply_bytes_of "$login")" -le 4 ]; then
    echo "the LOGIN requests were refused" >&2
    exit 1
  fi
  record "GLIST $workers workers: $glist"
  login_rate=$(rate_of "$login")
  glist_rate=$(rate_of "$glist")
  percent=$((100 * login_rate / (glist_rate > 0 ? glist_rate : 1)))
  verdict=no
  [ "$((2 * login_rate))" -ge "$glist_rate" ] && verdict=yes
  record "LOGIN / GLIST at $workers workers: $percent % (target 50 %: $verdict)"
done

echo
echo "== summary ($(nproc) cores, $(uname -r)) =="
printf '%s\n' "${results[@]}"
