# Sourced by the benchmark scripts: starts orvo-serverd ($SERVER) over the database in $T on a
# free port, adds it to the array `pids` (which the caller's exit trap stops), and sets `server`
# (its id) and `port`. Exits the script with the service's messages when it does not start.
start_service() {
  : > "$T/server.out"  # exists before the service writes, so the first look finds it
  "$SERVER" --dir "$T" --port 0 > "$T/server.out" 2> "$T/server.err" &
  server=$!
  pids+=("$server")
  port=
  for _ in $(seq 1 300); do
    port=$(sed -n 's/^orvo-serverd: listening on port \([0-9]*\)$/\1/p' "$T/server.out")
    [ -n "$port" ] && return 0
    kill -0 "$server" 2>/dev/null || break
    sleep 0.1
  done
  echo "orvo-serverd did not start" >&2
  cat "$T/server.err" >&2
  exit 1
}
