#!/usr/bin/env bash
# The Windows stage, the SDK zips: the C example built from each unpacked zip alone, once through
# each import library (mingw's and the MSVC-style one), and run under wine against the simulators
# where that DLL runs natively; there too the zip's quendal.exe runs a sale, reads and reconciles its
# journal and serves as the simulated hosts.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/windows.sh
source scripts/lib/version.sh
detect_32bit
wine_session

for arch in x86_64 i686; do
  dir="$(build_for "$arch")"
  wine="$(wine_for "$arch")"
  name="Quendal-$(build_version "$dir")-$([ "$arch" = i686 ] && echo win32 || echo win64)-sdk"
  echo "-- $arch: $name.zip"
  rm -rf "${scratch:?}"/*
  unzip -q "$dir/packages/$name.zip" -d "$scratch/unpacked"
  sdk="$scratch/unpacked/$name"
  for lib in libquendal.dll.a Quendal.lib; do
    "$arch-w64-mingw32-gcc" -Wall -Werror -I"$sdk/include" "$sdk/examples/c/card_trans_example.c" \
      "$sdk/$lib" -o "$sdk/example-${lib%%.*}.exe"
  done
  if [ "$arch" = i686 ] && [ "$mode32" != native ]; then
    skipped i686 "SDK example run (built only), quendal.exe" "$(native_only)"
    continue
  fi
  start_simulators "$scratch" 12
  for exe in example-libquendal.exe example-Quendal.exe; do
    out="$(cd "$sdk" && timeout 300 "$wine" "$exe" "$(cat "$scratch/request")" | tr -d '\r')" ||
      { echo "$exe: $out"; exit 1; }
    echo "$exe: $out"
    grep -q 'card_trans returned 0 (approved): APPROVED' <<<"$out" || exit 1
  done
  stop_simulators
  ran "$arch" "SDK example"
  tests/journal_cli_check.sh "$root/build/quendal" "$wine" "$sdk/quendal.exe"
  ran "$arch" "quendal.exe (run, journal, reconcile, sim-hosts)"
done
