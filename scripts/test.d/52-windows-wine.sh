#!/usr/bin/env bash
# The Windows stage, the tests under wine: for each DLL that can run here, the platform-neutral
# unit tests and the end-to-end table, the DLL loaded by a caller as a business application does,
# against the Linux simulators, with the same expectations as the in-process run. The x86_64 DLL
# runs natively under wine64; the i686 DLL natively or through qemu-i386, one wine process for the
# unit tests and one for the whole table either way.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/windows.sh
detect_32bit
say_32bit
wine_session
scratch="$(mktemp -d)"

arches=(x86_64)
if [ "$mode32" = none ]; then
  skipped i686 "unit tests and end-to-end table" "$mode32_how"
else
  arches+=(i686)
fi

echo "-- version records read through GetFileVersionInfoW (x86_64 probe) match the files' own"
for dll in "$win32/Quendal.dll" "$win64/Quendal.dll"; do
  read_back="$(timeout 300 "$wine64" "$win64/tests/win/version_probe.exe" "$(winpath "$dll")" |
    tr -d '\r')"
  parsed="$(python3 tests/win/pe_resources.py "$dll" | sed 1d)"
  [ "$read_back" = "$parsed" ] || { echo "$dll:"; diff <(echo "$parsed") <(echo "$read_back"); exit 1; }
done
echo ok

for arch in "${arches[@]}"; do
  dir="$(build_for "$arch")"
  wine="$(wine_for "$arch")"
  echo "-- $arch: unit tests under wine"
  start=$SECONDS
  run_retry_once "$scratch/unit.log" timeout 1800 "$wine" "$dir/tests/win/quendal_unit_tests.exe" \
    --gtest_brief=1
  echo "($((SECONDS - start)) s)"
  ran "$arch" "unit tests"

  echo "-- $arch: end-to-end calls through Quendal.dll under wine"
  start=$SECONDS
  e2e=(env QUENDAL_E2E_RUNNER=wine QUENDAL_WINE_LOADER="$wine" QUENDAL_WINE_DLL="$dir/Quendal.dll"
    QUENDAL_WINE_CALLER="$dir/tests/win/quendal_caller.exe" build/tests/quendal_e2e_tests
    --gtest_brief=1)
  if ! "${e2e[@]}" 2>&1 | tee "$scratch/e2e.log"; then
    # The cases whose caller died in wine or the emulator run once more, in a new caller; any
    # other failure is the library's, and fails the stage as it stands.
    died="$(sed -n 's/^wine caller died in \([^:]*\):.*/\1/p' "$scratch/e2e.log" | sort -u)"
    failed="$(sed -n 's/^\[  FAILED  \] \([^ ,]*\).*/\1/p' "$scratch/e2e.log" | sort -u)"
    if [ -z "$died" ] || ! died_in_wine "$scratch/e2e.log" ||
      [ -n "$(comm -23 <(echo "$failed") <(echo "$died"))" ]; then
      exit 1
    fi
    echo "retrying once, in a new caller, the cases whose caller died in wine or the emulator:" \
      $died
    "${e2e[@]}" --gtest_filter="$(echo $died | tr ' ' ':')"
  fi
  echo "($((SECONDS - start)) s)"
  ran "$arch" "end-to-end table"
done
rm -rf "$scratch"
