#!/usr/bin/env bash
# The demo's scenarios, each against its own simulators on free ports, all at once: every name
# must stage the outcome it promises, and leave its traces where it says.
set -euo pipefail
quendal="$1"
source_dir="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C.UTF-8 QUENDAL_BIN="$quendal" QUENDAL_DEMO_DIR="$work"

declare -A expected=(
  [approved]="0 approved: 批准 123.45"
  [declined]="1 failed: 余额不足"
  [cancelled]="1 failed: 操作取消"
  [bank-down]="1 failed: 打开银行主机Socket错误"
  [report-refused]="1 failed: 保单已失效.....银行平台信息:批准 123.45"
)
pids=()
for scenario in "${!expected[@]}"; do
  ( rc=0; "$source_dir/scripts/demo.sh" "$scenario" >"$work/$scenario.out" 2>&1 || rc=$?
    echo "$rc" >"$work/$scenario.rc" ) &
  pids+=($!)
done
wait "${pids[@]}"

for scenario in "${!expected[@]}"; do
  read -r rc outcome <<<"${expected[$scenario]}"
  got=$(grep -E '^(approved|failed): ' "$work/$scenario.out" || true)
  if [ "$(cat "$work/$scenario.rc")" != "$rc" ] || [ "$got" != "$outcome" ]; then
    echo "FAIL: demo $scenario: exit $(cat "$work/$scenario.rc"), outcome '$got', not '$outcome'" >&2
    cat "$work/$scenario.out" >&2
    exit 1
  fi
  for trace in terminal.log hosts.log status.log.gbk; do
    [ -s "$work/$scenario/$trace" ] || { echo "FAIL: demo $scenario left no $trace" >&2; exit 1; }
    grep -q "$work/$scenario/$trace" "$work/$scenario.out" || { echo "FAIL: demo $scenario does not name $trace" >&2; exit 1; }
  done
done

rc=0
"$source_dir/scripts/demo.sh" nonsense >"$work/nonsense.out" 2>&1 || rc=$?
[ "$rc" -eq 2 ] && grep -q "unknown scenario 'nonsense'" "$work/nonsense.out" || { echo "FAIL: unknown scenario: exit $rc" >&2; exit 1; }
echo "demo: every scenario stages its outcome"
