#!/usr/bin/env bash
# One sale with one relay on the real clock, through the shipped shared library as a C caller
# links it (installed into a scratch prefix), against the simulated terminal on a pty and the
# simulated hosts on 127.0.0.1. The wire trace is switched on and must show the call.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="$root/build"

source "$root/tests/lib/scratch.sh"

cmake --install "$build" --prefix "$work/prefix" >/dev/null
libdir=$(dirname "$(find "$work/prefix" -name 'libquendal.so' | head -n 1)")
cc -std=c99 -Wall -Werror "$root/tests/real_clock/caller.c" -I"$work/prefix/include" \
  -L"$libdir" -lquendal -o "$work/caller"

# Ports of our own, away from the demo's.
bank_port=$((7100 + RANDOM % 800))
business_port=$((bank_port + 1000))
"$build/quendal" sim-hosts --bank-port "$bank_port" --business-port "$business_port" \
  --seconds 60 >"$work/hosts.log" 2>&1 &
pids+=($!)
"$build/quendal" sim-terminal --relays 1 --text "APPROVED" --link "$work/com3" \
  --seconds 60 >"$work/terminal.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  [ -e "$work/com3" ] && grep -q "$business_port" "$work/hosts.log" 2>/dev/null && break
  sleep 0.1
done

request="1|REF000000000001|B0110001|12345|000000|VAL001|POLICY-42||3|127.0.0.1|$bank_port|30|127.0.0.1|$business_port|30"
start=$(date +%s%N)
rc=0
QUENDAL_COM3="$work/com3" QUENDAL_TRACE="$work/trace.log" LD_LIBRARY_PATH="$libdir" \
  "$work/caller" "$request" "APPROVED" || rc=$?
echo "real-clock sale: $(( ($(date +%s%N) - start) / 1000000 )) ms"
if [ "$rc" -ne 0 ]; then
  echo "== terminal"; cat "$work/terminal.log"
  echo "== hosts"; cat "$work/hosts.log"
  exit "$rc"
fi
if [ -f "$work/trace.log" ]; then
  echo "wire trace: $(wc -l <"$work/trace.log") lines"
  # The card data of the relay never reaches the trace unless asked for.
  grep -q 'terminal->library' "$work/trace.log"
fi
