# Sourced by the benchmark scripts.
#
# `require_programs PROGRAM...` ends the script naming the first PROGRAM that is not executable.
require_programs() {
  for program in "$@"; do
    [ -x "$program" ] || { echo "missing $program" >&2; exit 1; }
  done
}

# `make_scratch NAME` makes the scratch folder T (/tmp/NAME-XXXXXX) and an empty array `pids`;
# when the script exits, every process in `pids` is stopped and T is removed.
make_scratch() {
  T=$(mktemp -d "/tmp/$1-XXXXXX")
  pids=()
  trap stop_all EXIT
}
stop_all() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$T"
}

# `start_service [PROGRAM [DIR]]` starts orvo-serverd (PROGRAM,
# default $SERVER) over the database in DIR (default $T) on a free port, adds it to the array
# `pids` (which the caller's exit trap stops), and sets `server` (its id) and `port`. Its output
# lands in DIR/server.out and DIR/server.err. Exits the script with the service's messages when
# it does not start.
start_service() {
  local program=${1:-$SERVER} dir=${2:-$T}
  : > "$dir/server.out"  # exists before the service writes, so the first look finds it
  "$program" --dir "$dir" --port 0 > "$dir/server.out" 2> "$dir/server.err" &
  server=$!
  pids+=("$server")
  port=
  for _ in $(seq 1 300); do
    port=$(sed -n 's/^orvo-serverd: listening on port \([0-9]*\)$/\1/p' "$dir/server.out")
    [ -n "$port" ] && return 0
    kill -0 "$server" 2>/dev/null || break
    sleep 0.1
  done
  echo "orvo-serverd ($program) did not start" >&2
  cat "$dir/server.err" >&2
  exit 1
}
