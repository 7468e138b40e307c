#!/usr/bin/env bash
# One card transaction end to end on this machine: installs what it needs and builds, then starts
# the simulated POS terminal (on a pty) and the simulated bank and business hosts (on 127.0.0.1)
# and runs a sale of 123.45 through card_trans with `quendal run`. The simulators' traces follow.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

bank_port=${BANK_PORT:-6001}
business_port=${BUSINESS_PORT:-6002}

build/quendal sim-hosts --bank-port "$bank_port" --business-port "$business_port" \
  --seconds 120 >"$work/hosts.log" 2>&1 &
pids+=($!)
build/quendal sim-terminal --relays 1 --text "APPROVED 123.45" --link "$work/com1" \
  --seconds 120 >"$work/terminal.log" 2>&1 &
pids+=($!)

for _ in $(seq 50); do
  [ -e "$work/com1" ] && grep -q "$business_port" "$work/hosts.log" 2>/dev/null && break
  sleep 0.1
done
[ -e "$work/com1" ] || { echo "the simulated terminal did not start:"; cat "$work/terminal.log"; exit 1; }

request="1|REF000000000001|B0110001|12345|000000|VAL001|POLICY-42||1|127.0.0.1|$bank_port|30|127.0.0.1|$business_port|30"
echo "== quendal run \"$request\""
rc=0
QUENDAL_COM1="$work/com1" QUENDAL_STATUS_LOG="$work/status.log" build/quendal run "$request" || rc=$?

echo
echo "== simulated terminal"
cat "$work/terminal.log"
echo
echo "== simulated hosts"
cat "$work/hosts.log"
exit "$rc"
