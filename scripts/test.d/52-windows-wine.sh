#!/usr/bin/env bash
# The Windows stage, the tests under wine: for each DLL that can run here, the platform-neutral
# unit tests and the end-to-end table, the DLL loaded by a caller as a business application does,
# against the Linux simulators, with the same expectations as the in-process run. The x86_64 DLL
# runs natively under wine64; the i686 DLL natively or through qemu-i386, one wine process for the
# unit tests and one for the whole table either way, both alongside the x86_64 runs.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/windows.sh
detect_32bit
say_32bit
wine_session

# Under emulation a wine process computes for minutes; a hung one must not take the whole budget.
i686_timeout=900
[ "$mode32" != emulated ] || i686_timeout=480

run32=""
if [ "$mode32" = none ]; then
  skipped i686 "unit tests and end-to-end table" "$mode32_how"
else
  run32=yes
fi

echo "-- version records read through GetFileVersionInfoW (x86_64 probe) match the files' own"
for dll in "$win32/Quendal.dll" "$win64/Quendal.dll"; do
  read_back="$(timeout 300 "$wine64" "$win64/tests/win/version_probe.exe" "$(winpath "$dll")" |
    tr -d '\r')"
  parsed="$(python3 tests/win/pe_resources.py "$dll" | sed 1d)"
  [ "$read_back" = "$parsed" ] || { echo "$dll:"; diff <(echo "$parsed") <(echo "$read_back"); exit 1; }
done
echo ok

# The NativeLine test needs a COM port of its own and runs in 55-windows-latency. Here it could only
# be skipped, and under qemu the skip itself killed wine's 32-bit side every time ("wine client
# error", "stack smashing detected"), which took the whole i686 unit run with it.
unit_tests() { # ARCH TIMEOUT
  run_retrying_deaths "$scratch/unit-$1.log" timeout "$2" "$(wine_for "$1")" \
    "$(build_for "$1")/tests/win/quendal_unit_tests.exe" --gtest_brief=1 \
    --gtest_filter='-NativeLine.*'
}

e2e_table() { # ARCH COM
  local dir wine died failed
  dir="$(build_for "$1")"
  wine="$(wine_for "$1")"
  local e2e=(env QUENDAL_E2E_RUNNER=wine QUENDAL_E2E_COM="$2" QUENDAL_WINE_LOADER="$wine"
    QUENDAL_WINE_DLL="$dir/Quendal.dll" QUENDAL_WINE_CALLER="$dir/tests/win/quendal_caller.exe"
    build/tests/quendal_e2e_tests --gtest_brief=1)
  local log="$scratch/e2e-$1.log" attempt filter=""
  "${e2e[@]}" 2>&1 | tee "$log" && return 0
  # The cases whose caller died in wine or the emulator run again, in a new caller; any other
  # failure is the library's, and fails the stage as it stands.
  for attempt in $(seq "$wine_death_retries"); do
    died="$(LC_ALL=C sed -n 's/^wine caller died in \([^:]*\):.*/\1/p' "$log" | sort -u)"
    failed="$(LC_ALL=C sed -n 's/^\[  FAILED  \] \([^ ,]*\).*/\1/p' "$log" | sort -u)"
    # A caller that died mid-call made no call at all: nothing of the library was judged.
    if [ -z "$died" ] || [ -n "$(comm -23 <(echo "$failed") <(echo "$died"))" ]; then
      return 1
    fi
    echo "retrying ($attempt of $wine_death_retries), in a new caller, the cases whose caller" \
      "died in wine or the emulator:" $died
    filter="$(echo $died | tr ' ' ':')"
    "${e2e[@]}" --gtest_filter="$filter" 2>&1 | tee "$log" && return 0
  done
  return 2
}

timed() { # WHAT COMMAND...: COMMAND's own status, after its time
  local what="$1" start=$SECONDS status=0
  shift
  echo "-- $what"
  "$@" || status=$?
  echo "($what: $((SECONDS - start)) s)"
  return "$status"
}

# The i686 runs start first and in the background, into their own logs: under emulation their
# wine processes compute for a minute or more before the first test, while the x86_64 table
# mostly waits on its simulators. The two tables use COM ports of their own. The i686 unit tests
# and table run one after the other: two emulated wine processes at once died far more often.
pids=()
if [ -n "$run32" ]; then
  (
    status=0
    timed "i686: unit tests under wine" unit_tests i686 "$i686_timeout" \
      >"$scratch/i686-unit.out" 2>&1 || status=$?
    echo "$status" >"$scratch/i686-unit.status"
    status=0
    timed "i686: end-to-end calls through Quendal.dll under wine" e2e_table i686 15 \
      >"$scratch/i686-e2e.out" 2>&1 || status=$?
    echo "$status" >"$scratch/i686-e2e.status"
  ) &
  pids+=($!)
fi
timed "x86_64: unit tests under wine" unit_tests x86_64 300
ran x86_64 "unit tests"
timed "x86_64: end-to-end calls through Quendal.dll under wine" e2e_table x86_64 12
ran x86_64 "end-to-end table"
if [ -n "$run32" ]; then
  wait "${pids[0]}"
  cat "$scratch/i686-unit.out" "$scratch/i686-e2e.out"
  # A failure the program reports fails the stage wherever it runs. Under emulation, a run that
  # died in wine or qemu every time, or hung there, is reported and skipped: qemu, not the library,
  # could not carry it (the same tests pass on the x86_64 DLL above).
  for part in unit e2e; do
    status="$(cat "$scratch/i686-$part.status")"
    what="$([ "$part" = unit ] && echo "unit tests" || echo "end-to-end table")"
    if [ "$status" -eq 0 ]; then
      ran i686 "$what"
    elif [ "$mode32" = emulated ] && { [ "$status" -eq 2 ] || [ "$status" -eq 3 ]; }; then
      echo "i686 $what: NOT CARRIED BY EMULATION ($([ "$status" -eq 2 ] && echo "died in wine or qemu on every try" || echo "hung under qemu"))"
      skipped i686 "$what" "died or hung under qemu on every try"
    else
      exit 1
    fi
  done
fi
