#!/usr/bin/env bash
# A private clamd for tests, the demo and the benchmark: on 127.0.0.1 at a
# free port, in the foreground of a background job, with a database of test
# signatures generated here (never the system's clamd, never freshclam).
#
#   scripts/clamd-test-server.sh start DIR [NAME=VALUE...]   start; prints the port
#   scripts/clamd-test-server.sh stop DIR                    stop it by its PID
#   scripts/clamd-test-server.sh db DIR                      only write DIR/db
#
# DIR receives clamd.conf, db/, port, pid, clamd.log. NAME=VALUE pairs
# override clamd.conf settings (StreamMaxLength=4M, MaxFileSize=2M...).
set -euo pipefail
cmd=${1:-}
dir=${2:-}
[ -n "$cmd" ] && [ -n "$dir" ] || { sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

write_db() {
  mkdir -p "$dir/db"
  rm -f "$dir/db"/*
  # The anti-virus test file by its MD5, and body records: the test file is
  # put together here from pieces, so no file of the project holds it whole.
  python3 - "$dir/db" <<'EOF'
import hashlib, sys
folder = sys.argv[1]
eicar = "".join(["X5O!P%@AP[4\\PZX54(P^)7CC)7}$", "EICAR-STANDARD-ANTIVIRUS-", "TEST-FILE!$H+H*"]).encode()
with open(folder + "/orlix-test.hdb", "w") as f:
    f.write("%s:%d:Eicar-Test-Signature\n" % (hashlib.md5(eicar).hexdigest(), len(eicar)))
bodies = [("Orlix.Demo.Appended", b"ORLIX-DEMO-APPENDED-BODY"),
          ("Orlix.Test.Body", b"ORLIX-CLAMD-TEST-BODY-RECORD"),
          ("Heuristics.Orlix.Test", b"ORLIX-CLAMD-HEURISTIC-RECORD")]
with open(folder + "/orlix-test.ndb", "w") as f:
    for name, body in bodies:
        f.write("%s:0:*:%s\n" % (name, body.hex()))
EOF
}

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# True when clamd at the port answers PONG.
pings() {
  python3 - "$1" <<'EOF'
import socket, sys
try:
    with socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=1) as s:
        s.sendall(b"zPING\0")
        s.settimeout(2)
        sys.exit(0 if s.recv(16).startswith(b"PONG") else 1)
except OSError:
    sys.exit(1)
EOF
}

stop() {
  [ -f "$dir/pid" ] || return 0
  pid=$(cat "$dir/pid")
  rm -f "$dir/pid"
  kill "$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
}

case $cmd in
  db) write_db ;;
  stop) stop ;;
  start)
    shift 2
    stop
    write_db
    command -v clamd >/dev/null || [ -x /usr/sbin/clamd ] || { echo "clamd is not installed" >&2; exit 1; }
    clamd=$(command -v clamd || echo /usr/sbin/clamd)
    mkdir -p "$dir/tmp"
    declare -A conf=(
      [TCPAddr]=127.0.0.1 [DatabaseDirectory]="$dir/db" [PidFile]="$dir/clamd.pid" [LogFile]="$dir/clamd.log"
      [TemporaryDirectory]="$dir/tmp" [Foreground]=yes [StreamMaxLength]=25M [MaxFileSize]=25M
      [MaxScanSize]=100M [ReadTimeout]=20 [CommandReadTimeout]=5 [MaxThreads]=4 [Bytecode]=no
      [LogTime]=yes [AlertExceedsMax]=yes [SelfCheck]=0)
    for kv in "$@"; do conf[${kv%%=*}]=${kv#*=}; done
    for attempt in 1 2 3; do
      port=$(free_port)
      conf[TCPSocket]=$port
      : >"$dir/clamd.conf"
      for key in "${!conf[@]}"; do echo "$key ${conf[$key]}" >>"$dir/clamd.conf"; done
      # CI runs as root: without a User line clamd keeps the caller's
      # identity, so it can read the private folder and write its files.
      "$clamd" --config-file="$dir/clamd.conf" --foreground </dev/null >>"$dir/clamd.out" 2>&1 &
      echo $! >"$dir/pid"
      echo "$port" >"$dir/port"
      for _ in $(seq 100); do
        if pings "$port"; then echo "$port"; exit 0; fi
        kill -0 "$(cat "$dir/pid")" 2>/dev/null || break
        sleep 0.1
      done
      stop
    done
    echo "clamd did not start; see $dir/clamd.log and $dir/clamd.out" >&2
    exit 1
    ;;
  *) echo "unknown command $cmd" >&2; exit 2 ;;
esac
