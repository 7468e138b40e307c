#!/usr/bin/env bash
# quendal journal and quendal reconcile as a support desk meets them: an approved sale is settled,
# a sale whose bank host fails after the request reached the terminal is UNRESOLVED, reconciling it
# against the simulated terminal settles it, and misuse is refused.
#   journal_cli_check.sh QUENDAL                      the command on this machine
#   journal_cli_check.sh QUENDAL WINE QUENDAL_EXE     quendal.exe under wine (WINEPREFIX set): its
#                                                     run, journal, reconcile and sim-hosts, with
#                                                     this machine's simulated terminal on COM16
set -euo pipefail
q="$1"
wine="${2:-}"
exe="${3:-}"
source "$(dirname "${BASH_SOURCE[0]}")/lib/scratch.sh"
export LC_ALL=C.UTF-8

if [ -n "$wine" ]; then
  # Windows output ends its lines with CR LF; the checks below read it without the CR.
  cmd() { "$wine" "$exe" "$@" | tr -d '\r'; return "${PIPESTATUS[0]}"; }
  hosts() { "$wine" "$exe" sim-hosts "$@"; }
  path() { printf 'Z:%s' "${1//\//\\}"; }
  com=16
  tty="$WINEPREFIX/dosdevices/com$com"
else
  cmd() { "$q" "$@"; }
  hosts() { "$q" sim-hosts "$@"; }
  path() { printf '%s' "$1"; }
  com=1
  tty="$work/tty"
  export QUENDAL_COM1="$tty"
fi

"$q" sim-terminal --link "$tty" --relays 1 --seconds 600 >"$work/terminal.log" 2>&1 &
pids+=($!)
# The first sale's relay is answered, the second's connection is closed unanswered.
hosts --bank-port 0 --business-port 0 --bank bytes:16,close --seconds 600 >"$work/hosts.log" 2>&1 &
pids+=($!)
for _ in $(seq 600); do
  [ -L "$tty" ] && grep -q 'business host on' "$work/hosts.log" && break
  sleep 0.1
done
ports=$(sed -nE 's/.*127\.0\.0\.1:([0-9]+), .*127\.0\.0\.1:([0-9]+).*/\1 \2/p' "$work/hosts.log")
read -r bank business <<<"$ports"
[ -n "$business" ] || fail "the simulated hosts did not start: $(cat "$work/hosts.log")"
export QUENDAL_JOURNAL="$(path "$work/journal.jsonl")"
journal="$QUENDAL_JOURNAL"
request() {
  printf '1|%s|B0110001|12345|000000|VAL001|保单-42||%s|127.0.0.1|%s|5|127.0.0.1|%s|5' "$1" "$com" \
    "$bank" "$business"
}

cmd run "$(request REF000000000000)" >"$work/run.out" 2>&1 ||
  fail "the approved sale exited $?: $(cat "$work/run.out")"
grep -q '^approved: APPROVED' "$work/run.out" || fail "run: $(cat "$work/run.out")"
# The business reference was typed as UTF-8 and reached the business host as GBK, which the
# simulated host shows as text again.
grep -q 'text: .*保单-42' "$work/hosts.log" || fail "no GBK reference at the host: $(cat "$work/hosts.log")"

rc=0
cmd run "$(request REF000000000001)" >"$work/run.out" 2>&1 || rc=$?
[ "$rc" -eq 1 ] || fail "the sale with a failing bank host exited $rc: $(cat "$work/run.out")"

rc=0
cmd journal "$journal" >"$work/journal.out" 2>&1 || rc=$?
[ "$rc" -eq 1 ] || fail "journal with an unresolved sale exited $rc"
grep -q 'REF000000000000 .* 123\.45  approved ' "$work/journal.out" ||
  fail "the approved sale is not shown: $(cat "$work/journal.out")"
grep -q 'REF000000000001 .* 123\.45  unknown .*UNRESOLVED' "$work/journal.out" ||
  fail "the unknown sale is not shown unresolved: $(cat "$work/journal.out")"
rc=0
cmd journal --json "$journal" >"$work/journal.json" || rc=$?
grep -q "\"reference\":\"REF000000000001\",\"amount\":12345,\"com\":$com,\"outcome\":\"unknown\"" \
  "$work/journal.json" || fail "--json: $(cat "$work/journal.json")"

cmd reconcile "$journal" >"$work/reconcile.out" 2>&1 ||
  fail "reconcile exited $?: $(cat "$work/reconcile.out")"
grep -q 'REF000000000001: not-approved' "$work/reconcile.out" || fail "reconcile: $(cat "$work/reconcile.out")"
cmd journal "$journal" >"$work/journal.out" 2>&1 ||
  fail "journal after reconciling exited $?: $(cat "$work/journal.out")"
grep -q 'unknown -> not-approved' "$work/journal.out" || fail "not settled: $(cat "$work/journal.out")"
# Reconciling again finds nothing left to do.
cmd reconcile "$journal" >"$work/reconcile.out" 2>&1 || fail "second reconcile exited $?"
[ ! -s "$work/reconcile.out" ] || fail "second reconcile queried again: $(cat "$work/reconcile.out")"

none="$(path "$work/none.jsonl")"
for args in "journal" "reconcile" "journal --bogus $journal" "journal $none" "reconcile $none"; do
  rc=0
  # shellcheck disable=SC2086
  cmd $args >/dev/null 2>&1 || rc=$?
  [ "$rc" -eq 2 ] || fail "quendal $args exited $rc, not 2"
done
echo "journal and reconcile serve a support desk${wine:+ (quendal.exe under wine, its own simulated hosts)}"
