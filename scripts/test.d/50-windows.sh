#!/usr/bin/env bash
# The Windows DLL: cross-builds Quendal.dll for i686 (the shipped file) and x86_64 (a second
# check) with mingw-w64, checks the DLL file, and runs it under 32-bit wine: the platform-neutral
# unit tests, the end-to-end calls against the Linux simulators, the progress window under Xvfb
# with a screenshot, and the frame latency of the Win32 serial line.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
cd "$root"

# --- what this stage needs --------------------------------------------------------------------
source scripts/lib/packages.sh
install_missing g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest wine wine32:i386 wine64 xvfb \
  fonts-wqy-microhei socat imagemagick unzip

# --- cross builds -------------------------------------------------------------------------------
scripts/build-windows.sh i686
scripts/build-windows.sh x86_64
win="$root/build-win32"
dll="$win/Quendal.dll"

# --- the DLL file -------------------------------------------------------------------------------
echo "-- file checks: $dll"
dump="$(i686-w64-mingw32-objdump -p "$dll")"
grep -q 'Magic.*010b.*PE32' <<<"$dump" || { echo "not a PE32 file"; exit 1; }
exports="$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | grep -E '^\s+\[' |
           awk '{print $NF}')"
[ "$exports" = "card_trans" ] || { echo "exports: $exports (want card_trans alone)"; exit 1; }
imports="$(grep 'DLL Name:' <<<"$dump" | awk '{print $3}' | tr 'a-z' 'A-Z' | sort)"
echo "imports: $(echo $imports)"
for name in $imports; do
  case "$name" in
    KERNEL32.DLL|USER32.DLL|GDI32.DLL|WS2_32.DLL|MSVCRT.DLL|ADVAPI32.DLL) ;;
    *) echo "imports $name, which is not a Windows system DLL"; exit 1 ;;
  esac
done
for lib in libquendal.dll.a Quendal.lib; do
  i686-w64-mingw32-nm "$win/$lib" | grep -q ' T _card_trans@8' ||
    { echo "$lib does not resolve card_trans@8"; exit 1; }
done

# --- a wine prefix of this run ------------------------------------------------------------------
export WINEPREFIX="$win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX"
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
  [ -n "${socat_pid:-}" ] && kill "$socat_pid" 2>/dev/null || true
  [ -n "${sims_pids:-}" ] && kill $sims_pids 2>/dev/null || true
}
trap cleanup EXIT
# The window needs an X display from the start: wine's desktop is made when the prefix boots.
if [ -z "${DISPLAY:-}" ]; then
  display=97
  while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
  done
  Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$display"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
fi
wineboot --init >/dev/null 2>&1
wineserver -w
# A Chinese Windows links CJK glyphs into its Latin fonts; this prefix is told to do the same, so
# the window's texts render with the font installed above.
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
  /v 'Times New Roman' /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1
wineserver -w
wineserver -p >/dev/null 2>&1 </dev/null || true  # one server for every program below
winpath() { printf 'Z:%s' "${1//\//\\}"; }

echo "-- version record"
version="$(timeout 120 wine "$win/tests/win/version_probe.exe" "$(winpath "$dll")" | tr -d '\r')"
expected_version="FileVersionNumbers=1,0,1,1
ProductVersionNumbers=1,0,1,1
Translation=080404b0
FileDescription=Quendal
FileVersion=1, 0, 1, 1
InternalName=Quendal
OriginalFilename=Quendal.dll
ProductName=Mervok专用动态库
ProductVersion=1, 0, 1, 1"
[ "$version" = "$expected_version" ] || { echo "version record:"; echo "$version"; exit 1; }
echo ok

echo "-- unit tests under wine (i686, then x86_64)"
timeout 300 wine "$win/tests/win/quendal_unit_tests.exe" --gtest_brief=1
timeout 300 wine "$root/build-win64/tests/win/quendal_unit_tests.exe" --gtest_brief=1

echo "-- end-to-end calls through Quendal.dll under wine"
QUENDAL_E2E_RUNNER=wine QUENDAL_WINE_DLL="$dll" \
  QUENDAL_WINE_CALLER="$win/tests/win/quendal_caller.exe" \
  timeout 900 build/tests/quendal_e2e_tests --gtest_brief=1

echo "-- the progress window under Xvfb"
scratch="$(mktemp -d)"
# Ports the request checks accept (1000 to 10000): tried until the simulated hosts get a pair.
for _ in $(seq 20); do
  bank_port=$((2000 + RANDOM % 4000)); business_port=$((bank_port + 4000))
  build/quendal sim-hosts --bank-port "$bank_port" --business-port "$business_port" \
    --seconds 120 >"$scratch/hosts.log" 2>&1 &
  hosts_pid=$!
  sleep 0.3
  kill -0 "$hosts_pid" 2>/dev/null && break
done
sims_pids="$hosts_pid"
build/quendal sim-terminal --link "$WINEPREFIX/dosdevices/com12" --relays 1 --seconds 120 \
  >"$scratch/terminal.log" 2>&1 &
sims_pids="$sims_pids $!"
for _ in $(seq 50); do [ -L "$WINEPREFIX/dosdevices/com12" ] && break; sleep 0.1; done
printf '1|REF000000000001|B0110001|12345|STAMP0|VAL001|POLICY-42||12|127.0.0.1|%s|5|127.0.0.1|%s|5' \
  "$bank_port" "$business_port" >"$scratch/request"
shot="$win/progress-window.png"
rm -f "$shot"
(
  for _ in $(seq 300); do [ -s "$scratch/marker" ] && break; sleep 0.05; done
  sleep 0.3  # let the last text paint
  import -window root "$shot"
) &
shooter=$!
QUENDAL_STATUS_LOG="$(winpath "$scratch/status.log")" \
  timeout 180 wine "$win/tests/win/window_probe.exe" "$(winpath "$dll")" "$(winpath "$scratch/request")" \
  "$(winpath "$scratch/marker")" | tr -d '\r' | tee "$scratch/probe.log" || true
probe_failed=$(grep -c '^FAIL' "$scratch/probe.log" || true)
grep -q '^ok nested call refused' "$scratch/probe.log" || probe_failed=$((probe_failed + 1))
wait "$shooter" || true

echo "-- the SDK zip: a C caller built from it alone, run under wine"
rm -rf "$win/packages"
(cd "$win" && cpack >/dev/null)
zip_file="$win/packages/Quendal-1.0.1.1-win32-sdk.zip"
ls -l "$zip_file"
unzip -q "$zip_file" -d "$scratch/unpacked"
sdk="$scratch/unpacked/Quendal-1.0.1.1-win32-sdk"
# Once through each import library: mingw's and the MSVC-style one.
i686-w64-mingw32-gcc -Wall -Werror -I"$sdk/include" "$sdk/examples/c/card_trans_example.c" \
  "$sdk/libquendal.dll.a" -o "$sdk/example.exe"
i686-w64-mingw32-gcc -Wall -Werror -I"$sdk/include" "$sdk/examples/c/card_trans_example.c" \
  "$sdk/Quendal.lib" -o "$sdk/example_lib.exe"
for exe in example.exe example_lib.exe; do
  out="$(cd "$sdk" && timeout 120 wine "$exe" "$(cat "$scratch/request")" | tr -d '\r')" ||
    { echo "$exe: $out"; exit 1; }
  echo "$exe: $out"
  grep -q 'card_trans returned 0 (approved): APPROVED' <<<"$out" || exit 1
done
kill $sims_pids 2>/dev/null || true
sims_pids=""
[ "$probe_failed" -eq 0 ] || { echo "window probe: $probe_failed checks failed"; exit 1; }

# The screenshot: the window's rectangle is where the probe saw it, it is not the background,
# and the status control holds drawn text.
[ -s "$shot" ] || { echo "no screenshot"; exit 1; }
read -r x y w h <"$scratch/marker"
background="$(convert "$shot" -format '%[pixel:p{2,2}]' info:)"
inside="$(convert "$shot" -format "%[pixel:p{$((x + w / 2)),$((y + 2))}]" info:)"
[ "$inside" != "$background" ] || { echo "screenshot: no window at $x,$y"; exit 1; }
# Dark pixels (text) within the control, which starts a few pixels in from the window's edge.
dark="$(convert "$shot" -crop "$((w - 40))x$((h - 30))+$((x + 20))+$((y + 15))" -colorspace Gray \
        -threshold 50% -negate -format '%[fx:mean*w*h]' info:)"
[ "${dark%.*}" -gt 500 ] || { echo "screenshot: the control shows no text"; exit 1; }
# The window alone, as docs/progress-window.png shows it.
convert "$shot" -crop "${w}x${h}+${x}+${y}" +repage "$win/progress-window-only.png"
echo "screenshot: $shot and $win/progress-window-only.png (window ${w}x${h} at $x,$y;" \
  "${dark%.*} text pixels)"

echo "-- frame latency of the Win32 serial line under wine"
socat pty,raw,echo=0,link="$scratch/rx" pty,raw,echo=0,link="$scratch/tx" &
socat_pid=$!
for _ in $(seq 50); do [ -e "$scratch/rx" ] && [ -e "$scratch/tx" ] && break; sleep 0.1; done
ln -sf "$(readlink -f "$scratch/rx")" "$WINEPREFIX/dosdevices/com13"
ln -sf "$(readlink -f "$scratch/tx")" "$WINEPREFIX/dosdevices/com14"
QUENDAL_TEST_COM=13 timeout 120 wine "$win/tests/win/quendal_unit_tests.exe" --gtest_filter='NativeLine.*' --gtest_brief=1
timeout 120 wine "$win/tests/win/frame_latency.exe" 13 14 60 | tr -d '\r'
rm -rf "$scratch"
