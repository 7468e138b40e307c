#!/usr/bin/env bash
# The Windows stage, the progress window: for each DLL that runs natively here, one approved call
# under Xvfb watched from a second thread (tests/win/window_probe.cpp), a screenshot taken while
# the window shows its last text, and checks that the window is on it and its control holds text.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/windows.sh
detect_32bit
wine_session

native_arches window

for arch in "${arches[@]}"; do
  dir="$(build_for "$arch")"
  wine="$(wine_for "$arch")"
  echo "-- $arch: the progress window under Xvfb"
  rm -rf "${scratch:?}"/*
  start_simulators "$scratch" 12
  shot="$dir/progress-window.png"
  rm -f "$shot"
  (
    for _ in $(seq 600); do [ -s "$scratch/marker" ] && break; sleep 0.05; done
    sleep 0.3 # let the last text paint
    import -window root "$shot"
  ) &
  shooter=$!
  QUENDAL_STATUS_LOG="$(winpath "$scratch/status.log")" \
    timeout 300 "$wine" "$dir/tests/win/window_probe.exe" "$(winpath "$dir/Quendal.dll")" \
    "$(winpath "$scratch/request")" "$(winpath "$scratch/marker")" | tr -d '\r' |
    tee "$scratch/probe.log" || true
  wait "$shooter" || true
  stop_simulators
  failed=$(grep -c '^FAIL' "$scratch/probe.log" || true)
  grep -q '^ok nested call refused' "$scratch/probe.log" || failed=$((failed + 1))
  [ "$failed" -eq 0 ] || { echo "window probe: $failed checks failed"; exit 1; }

  # The window's rectangle is where the probe saw it, it is not the background, and the status
  # control holds drawn text.
  [ -s "$shot" ] || { echo "no screenshot"; exit 1; }
  read -r x y w h <"$scratch/marker"
  background="$(convert "$shot" -format '%[pixel:p{2,2}]' info:)"
  inside="$(convert "$shot" -format "%[pixel:p{$((x + w / 2)),$((y + 2))}]" info:)"
  [ "$inside" != "$background" ] || { echo "screenshot: no window at $x,$y"; exit 1; }
  # Dark pixels (text) within the control, which starts a few pixels in from the window's edge.
  dark="$(convert "$shot" -crop "$((w - 40))x$((h - 30))+$((x + 20))+$((y + 15))" \
    -colorspace Gray -threshold 50% -negate -format '%[fx:mean*w*h]' info:)"
  [ "${dark%.*}" -gt 500 ] || { echo "screenshot: the control shows no text"; exit 1; }
  # The window alone, as docs/progress-window.png shows it.
  convert "$shot" -crop "${w}x${h}+${x}+${y}" +repage "$dir/progress-window-only.png"
  echo "screenshot: $shot and $dir/progress-window-only.png (window ${w}x${h} at $x,$y;" \
    "${dark%.*} text pixels)"
  ran "$arch" window
done
