#!/usr/bin/env bash
# The Windows stage, the Win32 serial line under wine on a pty pair, for each DLL's build that runs
# natively here: a port held open is refused to a second opener, and the frame latency; then the stage's summary: what ran on which DLL, what was skipped and
# why.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/windows.sh
detect_32bit
wine_session

native_arches latency

socat pty,raw,echo=0,link="$scratch/rx" pty,raw,echo=0,link="$scratch/tx" &
sims_pids=$!
for _ in $(seq 50); do [ -e "$scratch/rx" ] && [ -e "$scratch/tx" ] && break; sleep 0.1; done
ln -sf "$(readlink -f "$scratch/rx")" "$WINEPREFIX/dosdevices/com13"
ln -sf "$(readlink -f "$scratch/tx")" "$WINEPREFIX/dosdevices/com14"
for arch in "${arches[@]}"; do
  echo "-- $arch: a COM port held open is refused to a second opener"
  QUENDAL_TEST_COM=13 timeout 120 "$(wine_for "$arch")" \
    "$(build_for "$arch")/tests/win/quendal_unit_tests.exe" --gtest_filter='NativeLine.*' \
    --gtest_brief=1 | tr -d '\r'
  ran "$arch" "exclusive port"
  echo "-- $arch: frame latency of the Win32 serial line under wine"
  timeout 300 "$(wine_for "$arch")" "$(build_for "$arch")/tests/win/frame_latency.exe" 13 14 60 |
    tr -d '\r'
  ran "$arch" latency
done
stop_simulators
say_32bit
print_summary
