#!/usr/bin/env bash
# One card transaction end to end on this machine, with a scenario of your choice:
#   scripts/demo.sh [approved|declined|cancelled|bank-down|report-refused|silent]
# Installs what it needs and builds, starts the simulated POS terminal (on a pty) and the simulated
# bank and business hosts (on free ports of 127.0.0.1), and runs a sale of 123.45 through
# card_trans with `quendal run`: its status texts live, then one line with the outcome. The
# simulators' full traces go to files, named at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

scenario=${1:-approved}
terminal_options=(--relays 1 --text "批准 123.45")
host_options=()
case "$scenario" in
  approved) note="the terminal asks its bank once, then approves" ;;
  declined)
    note="the terminal declines with response code 51"
    terminal_options=(--relays 1 --decline 51 --text "余额不足") ;;
  cancelled)
    note="the cashier cancels on the terminal"
    terminal_options=(--cancel) ;;
  bank-down)
    note="the terminal asks for its bank, whose host is down"
    host_options=(--bank down) ;;
  report-refused)
    note="the terminal approves, the business host refuses the result report"
    host_options=(--business "accept,refuse:保单已失效") ;;
  silent)
    note="the terminal never gives its final answer: the library waits 120 s, asks three times, gives up (about 2.5 minutes)"
    terminal_options=(--silent) ;;
  -h | --help)
    sed -n '2,7s/^# \{0,1\}//p' "$0"
    exit 0 ;;
  *)
    echo "demo: unknown scenario '$scenario' (approved, declined, cancelled, bank-down, report-refused, silent)" >&2
    exit 2 ;;
esac

# QUENDAL_DEMO_DIR: where the traces go; QUENDAL_BIN: a quendal command already built (the tests
# run the demo so, without building again).
demo_dir=${QUENDAL_DEMO_DIR:-build/demo}
out=$demo_dir/$scenario
mkdir -p "$out"
build_log=$demo_dir/build.log
quendal=${QUENDAL_BIN:-build/quendal}

if [ -z "${QUENDAL_BIN:-}" ]; then
  # The build takes minutes on a fresh machine: say what is happening instead of going quiet.
  echo "== preparing: installing what is missing and building (log: $build_log)"
  set +e
  scripts/setup.sh 2>&1 | tee "$build_log" | while IFS= read -r line; do
    case "$line" in
      installing:*) echo "   $line" ;;
      \[*/*\]*)
        step=${line%%]*}
        if [ -t 1 ]; then printf '\r   building %s] ' "$step"; fi ;;
    esac
  done
  status=${PIPESTATUS[0]}
  set -e
  [ -t 1 ] && printf '\r\033[K'
  if [ "$status" -ne 0 ]; then
    echo "the build failed; the end of $build_log:" >&2
    tail -n 30 "$build_log" >&2
    exit 1
  fi
  echo "   built build/quendal"
fi

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

# Free ports, picked by the hosts themselves: a port someone else holds cannot be mistaken for ours.
"$quendal" sim-hosts --bank-port 0 --business-port 0 --seconds 600 "${host_options[@]}" \
  >"$out/hosts.log" 2>&1 &
pids+=($!)
"$quendal" sim-terminal "${terminal_options[@]}" --link "$out/com1" --seconds 600 \
  >"$out/terminal.log" 2>&1 &
pids+=($!)

ports=
for _ in $(seq 100); do
  ports=$(sed -n 's/^bank host on 127.0.0.1:\([0-9]*\), business host on 127.0.0.1:\([0-9]*\).*/\1 \2/p' \
    "$out/hosts.log")
  [ -n "$ports" ] && [ -e "$out/com1" ] && break
  if ! kill -0 "${pids[0]}" 2>/dev/null || ! kill -0 "${pids[1]}" 2>/dev/null; then break; fi
  sleep 0.05
done
if [ -z "$ports" ]; then
  echo "the simulated hosts did not start:" >&2
  cat "$out/hosts.log" >&2
  exit 1
fi
if [ ! -e "$out/com1" ]; then
  echo "the simulated terminal did not start:" >&2
  cat "$out/terminal.log" >&2
  exit 1
fi
read -r bank_port business_port <<<"$ports"

echo "== scenario $scenario: $note"
echo "   bank host 127.0.0.1:$bank_port, business host 127.0.0.1:$business_port, terminal $out/com1"
request="1|REF000000000001|B0110001|12345|000000|VAL001|张三保单||1|127.0.0.1|$bank_port|30|127.0.0.1|$business_port|30"
echo "== quendal run \"$request\""
rc=0
QUENDAL_COM1="$out/com1" QUENDAL_STATUS_LOG="$out/status.log" "$quendal" run "$request" || rc=$?
rm -f "$out/status.log.gbk"
[ -f "$out/status.log" ] && mv "$out/status.log" "$out/status.log.gbk"

echo "== card_trans returned $rc; the full traces:"
echo "   $out/terminal.log    every frame on the serial line, in hex with its header and text"
echo "   $out/hosts.log       every message to and from the bank and business hosts"
echo "   $out/status.log.gbk  the progress window's texts as the library wrote them (GBK)"
exit "$rc"
