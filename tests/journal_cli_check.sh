#!/usr/bin/env bash
# quendal journal and quendal reconcile as a support desk meets them: a sale whose bank host fails
# after the request reached the terminal is UNRESOLVED, reconciling it against the simulated
# terminal settles it, and misuse is refused.
set -euo pipefail
q="$1"
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export LC_ALL=C.UTF-8
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

"$q" sim-terminal --link "$work/tty" --relays 1 --seconds 60 >"$work/terminal.log" 2>&1 &
pids+=($!)
"$q" sim-hosts --bank-port 0 --business-port 0 --bank close --seconds 60 >"$work/hosts.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  [ -L "$work/tty" ] && grep -q 'business host on' "$work/hosts.log" && break
  sleep 0.05
done
ports=$(sed -nE 's/.*127\.0\.0\.1:([0-9]+), .*127\.0\.0\.1:([0-9]+).*/\1 \2/p' "$work/hosts.log")
read -r bank business <<<"$ports"
[ -n "$business" ] || fail "the simulated hosts did not start: $(cat "$work/hosts.log")"
export QUENDAL_COM1="$work/tty" QUENDAL_JOURNAL="$work/journal.jsonl"

rc=0
"$q" run "1|REF000000000001|B0110001|12345|000000|VAL001|保单-42||1|127.0.0.1|$bank|5|127.0.0.1|$business|5" \
  >"$work/run.out" 2>&1 || rc=$?
[ "$rc" -eq 1 ] || fail "the sale with a failing bank host exited $rc"

rc=0
"$q" journal "$work/journal.jsonl" >"$work/journal.out" 2>&1 || rc=$?
[ "$rc" -eq 1 ] || fail "journal with an unresolved sale exited $rc"
grep -q 'REF000000000001 .* 123\.45  unknown .*UNRESOLVED' "$work/journal.out" ||
  fail "the unknown sale is not shown unresolved: $(cat "$work/journal.out")"
rc=0
"$q" journal --json "$work/journal.jsonl" >"$work/journal.json" || rc=$?
grep -q '"reference":"REF000000000001","amount":12345,"com":1,"outcome":"unknown"' "$work/journal.json" ||
  fail "--json: $(cat "$work/journal.json")"

"$q" reconcile "$work/journal.jsonl" >"$work/reconcile.out" 2>&1 ||
  fail "reconcile exited $?: $(cat "$work/reconcile.out")"
grep -q 'REF000000000001: not-approved' "$work/reconcile.out" || fail "reconcile: $(cat "$work/reconcile.out")"
"$q" journal "$work/journal.jsonl" >"$work/journal.out" 2>&1 ||
  fail "journal after reconciling exited $?: $(cat "$work/journal.out")"
grep -q 'unknown -> not-approved' "$work/journal.out" || fail "not settled: $(cat "$work/journal.out")"
# Reconciling again finds nothing left to do.
"$q" reconcile "$work/journal.jsonl" >"$work/reconcile.out" 2>&1 || fail "second reconcile exited $?"
[ ! -s "$work/reconcile.out" ] || fail "second reconcile queried again: $(cat "$work/reconcile.out")"

for args in "journal" "reconcile" "journal --bogus $work/journal.jsonl" "journal $work/none.jsonl" \
  "reconcile $work/none.jsonl"; do
  rc=0
  # shellcheck disable=SC2086
  "$q" $args >/dev/null 2>&1 || rc=$?
  [ "$rc" -eq 2 ] || fail "quendal $args exited $rc, not 2"
done
echo "journal and reconcile serve a support desk"
