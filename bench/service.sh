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

# `start_service [PROGRAM [DIR [ARG...]]]` starts orvo-serverd (PROGRAM,
# default $SERVER) over the database in DIR (default $T) on a free port, with the further
# arguments ARG, adds it to the array
# `pids` (which the caller's exit trap stops), and sets `server` (its id) and `port`. Its output
# lands in DIR/server.out and DIR/server.err. Exits the script with the service's messages when
# it does not start.
start_service() {
  local program=${1:-$SERVER} dir=${2:-$T}
  shift $(($# < 2 ? $# : 2))
  : > "$dir/server.out"  # exists before the service writes, so the first look finds it
  "$program" --dir "$dir" --port 0 "$@" > "$dir/server.out" 2> "$dir/server.err" &
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

# `raise_open_files N` raises this shell's open-files limit to N (root may raise the hard limit as
# well; otherwise the hard limit is the most it gets) and says what it got.
raise_open_files() {
  if [ "$(ulimit -Hn)" != unlimited ] && [ "$(ulimit -Hn)" -lt "$1" ]; then
    ulimit -Hn "$1" 2>/dev/null || true
  fi
  ulimit -n "$1" 2>/dev/null || ulimit -n "$(ulimit -Hn)"
  echo "open files limit: $(ulimit -n)"
}

# `wait_for_port PORT` returns once something accepts on 127.0.0.1:PORT (10 s at most).
wait_for_port() {
  for _ in $(seq 1 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; then return 0; fi
    sleep 0.1
  done
  echo "nothing listens on port $1" >&2
  return 1
}

# `proc_sum FIELD PID...` sums a numeric field of /proc/PID/status (VmRSS in KiB, Threads).
proc_sum() {
  local field=$1 total=0
  shift
  for pid in "$@"; do
    total=$((total + $(awk -v f="$field:" '$1 == f {print $2}' "/proc/$pid/status")))
  done
  echo "$total"
}

# `wait_for_ready FILE PID SECONDS` returns once FILE is written, or fails when PID has ended or
# SECONDS have passed first.
wait_for_ready() {
  for _ in $(seq 1 $(($3 * 10))); do
    [ -s "$1" ] && return 0
    kill -0 "$2" 2>/dev/null || break
    sleep 0.1
  done
  [ -s "$1" ] && return 0
  echo "$1 was not written" >&2
  return 1
}

# `start_nginx ROOT PORT MAX_CONNECTIONS` starts Debian's nginx-light ($NGINX, default
# /usr/sbin/nginx) serving ROOT on 127.0.0.1:PORT, configured entirely inside $T/nginx: two workers
# (one per core), sendfile, access log off, idle connections kept for an hour. Sets `nginx_pid`
# and adds it to `pids`; `nginx_procs` then lists the master and its workers.
start_nginx() {
  local nginx=${NGINX:-/usr/sbin/nginx}
  require_programs "$nginx"
  mkdir -p "$T/nginx"
  cat > "$T/nginx/nginx.conf" <<CONF
worker_processes auto;
worker_rlimit_nofile $3;
pid $T/nginx/nginx.pid;
error_log $T/nginx/error.log warn;
daemon off;
$( [ "$(id -u)" -eq 0 ] && echo "user root;" )
events { worker_connections $3; }
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
    listen 127.0.0.1:$2;
    root $1;
  }
}
CONF
  "$nginx" -p "$T/nginx" -c "$T/nginx/nginx.conf" -e "$T/nginx/error.log" &
  nginx_pid=$!
  pids+=("$nginx_pid")
}
nginx_procs() { echo "$nginx_pid" $(pgrep -P "$nginx_pid" || true); }

# `http_get NAME` is the request for /NAME with the connection closed after the reply, written
# with the escapes orvo-load reads.
http_get() { printf 'GET /%s HTTP/1.1\\r\\nHost: x\\r\\nConnection: close\\r\\n\\r\\n' "$1"; }
