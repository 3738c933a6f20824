#!/usr/bin/env bash
# vrel-server's benchmarks on loopback (docs/benchmarks.md#the-server), from the native build:
#   bench/server/server_bench.sh checkin sqlite|postgres [SERVERS] [SECONDS]
#       check-ins (activate for machines holding seats) over TLS keep-alive, 64 connections,
#       wrk on two threads; with SERVERS 2 (PostgreSQL), two processes on one database, 32
#       connections each
# VREL_SERVER_ARGS adds arguments to every vrel-server (--writers 1, say).
#   bench/server/server_bench.sh idle [CONNECTIONS]
#       CONNECTIONS (default 1000) idle TLS keep-alive connections, then a new client's request
#       timed, and the server's resident memory
#   bench/server/server_bench.sh kill [SECONDS]
#       activations of new machines while the server is SIGKILLed and restarted every second:
#       every machine answered 200 holds a seat afterwards, and no licence has more than its seats
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${VREL_BUILD:-build/native}
server=$build/utils/vrel/server/vrel-server
tool=$build/utils/vrel/registry/vrel-registry
samples=$build/tests/registry/vrel-sample-tokens
work=$build/server-bench
mode=${1:?usage: server_bench.sh checkin|idle|kill ...}
rm -rf "$work" && mkdir -p "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

"$tool" keygen "$work/signing.pem" >/dev/null
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj /CN=localhost -days 2 \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null

backend=sqlite
[ "$mode" = checkin ] && backend=${2:?sqlite or postgres}
if [ "$backend" = postgres ]; then
  coproc postgres { "$build/bench/vrel_bench_postgres"; }
  pids+=("$postgres_PID")
  read -r uri <&"${postgres[0]}"
else
  uri=sqlite:$work/bench.db
fi

# A licence whose seats are held by `machines` machines (sample tokens, seed 7), and one
# activate body per token.
prepare() {
  local seats=$1 machines=$2
  "$tool" --db "$uri" licence create --seats "$seats" --application Bench > "$work/licence.json"
  key=$(sed -n 's/.*"key":"\([^"]*\)".*/\1/p' "$work/licence.json")
  "$samples" "$machines" 7 > "$work/tokens"
  sed "s/.*/{\"key\":\"$key\",\"token\":\"&\"}/" "$work/tokens" > "$work/bodies"
}

# Starts a server on `port` (0: any) and sets `port` to the one it took.
started=0
start() {
  started=$((started + 1))
  local log=$work/server-$started.log
  "$server" --db "$uri" --signing-key "$work/signing.pem" --listen "127.0.0.1:$1" \
    --tls-cert "$work/cert.pem" --tls-key "$work/key.pem" ${VREL_SERVER_ARGS:-} 2>"$log" &
  pids+=($!)
  server_pid=$!
  for _ in $(seq 100); do
    port=$(sed -n 's/.*"event":"listening".*"port":\([0-9]*\).*/\1/p' "$log")
    [ -n "$port" ] && return 0
    sleep 0.05
  done
  echo "server_bench: vrel-server did not start: $(cat "$log")" >&2
  exit 1
}

case $mode in
checkin)
  servers=${3:-1} seconds=${4:-20}
  prepare 10000 1000
  "$tool" --db "$uri" --signing-key "$work/signing.pem" activate --licence "$key" \
    < "$work/tokens" > /dev/null
  ports=() loads=()
  for _ in $(seq "$servers"); do start 0; ports+=("$port"); done
  echo "backend $backend, $servers server(s), $(nproc) processors, $seconds s, TLS keep-alive"
  for p in "${ports[@]}"; do
    wrk -t$((2 / servers)) -c$((64 / servers)) -d"${seconds}s" --latency -s bench/server/checkin.lua \
      "https://127.0.0.1:$p" -- "$work/bodies" > "$work/wrk-$p.txt" &
    loads+=($!)
  done
  wait "${loads[@]}"
  for p in "${ports[@]}"; do
    grep -E 'Requests/sec|Latency|99%|requests in|Non-2xx|Socket errors' "$work/wrk-$p.txt"
  done
  echo "answers by status (the servers' logs):"
  cat "$work"/server-*.log | grep -o '"status":[0-9]*' | sort | uniq -c
  ;;
idle)
  count=${2:-1000}
  start 0
  python3 bench/server/idle_connections.py "$port" "$count" "$server_pid"
  ;;
kill)
  seconds=${2:-15}
  prepare 8000 20000  # more machines than seats: refusals too
  start 0
  first=$port
  VREL_RECORD=$work/answered wrk -t2 -c64 -d"${seconds}s" -s bench/server/checkin.lua \
    "https://127.0.0.1:$first" -- "$work/bodies" > "$work/wrk.txt" &
  load=$!
  kills=0
  while kill -0 "$load" 2>/dev/null; do
    sleep 1
    kill -0 "$load" 2>/dev/null || break
    kill -KILL "$server_pid"; wait "$server_pid" 2>/dev/null || true
    start "$first"; kills=$((kills + 1))
  done
  wait "$load" || true
  kill -TERM "$server_pid"; wait "$server_pid" || true
  grep -E 'requests in|Socket errors|Non-2xx' "$work/wrk.txt"
  "$tool" --db "$uri" licence show 1 > "$work/show.json"
  python3 - "$work/show.json" "$work/answered" "$kills" <<'PY'
import json, sys
licence = json.load(open(sys.argv[1]))
held = {m["machine"] for m in licence["machines"] if m["held"]}
answered = {int(line) for line in open(sys.argv[2]) if line.strip()}
lost = answered - held
print(f"kills {sys.argv[3]}; answers 200: machines {len(answered)}; seats held "
      f"{licence['seats']['used']} of {licence['seats']['total']}; answered but not held: {len(lost)}")
sys.exit(1 if lost or licence["seats"]["used"] > licence["seats"]["total"] else 0)
PY
  ;;
*)
  echo "usage: server_bench.sh checkin|idle|kill ..." >&2
  exit 2
  ;;
esac
