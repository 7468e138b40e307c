#!/usr/bin/env bash
# The Windows stage, its build: installs what the stage needs, finds out how 32-bit Windows code
# runs here (natively, through qemu-i386, or not at all), starts booting the wine prefix meanwhile,
# cross-builds Quendal.dll and its Windows test programs for i686 (the shipped file) and x86_64,
# and packs both SDK zips.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/packages.sh
source scripts/lib/windows.sh

install_missing "${windows_packages[@]}"
detect_32bit
say_32bit
: >"$summary"

# A failed build leaves no boot behind.
stop_boot() {
  local status=$?
  if [ "$status" -ne 0 ]; then
    kill "$(cat "$wine_dir/boot.pid" 2>/dev/null)" 2>/dev/null || true
    "$wineserver" -k >/dev/null 2>&1 || true
  fi
}
trap stop_boot EXIT
prefix_boot_start

scripts/build-windows.sh i686
scripts/build-windows.sh x86_64
for dir in "$win32" "$win64"; do
  rm -rf "$dir/packages"
  (cd "$dir" && cpack >/dev/null)
  ls -l "$dir"/packages/*.zip
done
