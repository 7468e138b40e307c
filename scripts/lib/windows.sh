# Sourced by the parts of the Windows stage (scripts/test.d/5?-windows-*.sh): the DLLs, how 32-bit
# Windows code runs here, the shared wine prefix, the X display, the simulators, the retry of a run
# that died in wine or the emulator, and the closing summary.
#
# Every program runs in one 64-bit wine prefix with one 64-bit wineserver: the x86_64 programs
# through wine64, the i686 ones through wine's 32-bit loader in the same prefix (as 32-bit programs
# run on 64-bit Windows). Where the kernel runs no 32-bit code, that loader runs through qemu-i386
# (a binfmt_misc entry), about a minute per process, so the i686 DLL gets its unit tests and the
# end-to-end table there, each in one process, and the window, the SDK example and the latency
# only where 32-bit code runs natively.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
win32="$root/build-win32"
win64="$root/build-win64"
wine_dir="$root/build-wine" # the prefix, its boot log and the stage's summary
summary="$wine_dir/summary"
wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
# No crash debugger: under emulation a crashed 32-bit program's winedbg ran for many minutes and
# held the run; without it the program simply ends, and the retry below takes it.
export WINEPREFIX="$wine_dir/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export WINESERVER="$wineserver"
mkdir -p "$wine_dir"

windows_packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest wine wine32:i386 wine64 xvfb
  fonts-wqy-microhei socat imagemagick unzip python3 qemu-user-static)

winpath() { printf 'Z:%s' "${1//\//\\}"; }

# --- how 32-bit code runs -------------------------------------------------------------------------
# The i386 ELF header (32-bit, little-endian, executable or shared object, machine 3), as
# qemu-i386 is registered for it. binfmt_misc entries take precedence over the kernel's own ELF
# loader, so where such an entry is enabled, 32-bit code runs through it even on a kernel that
# could run it natively.
qemu_i386_rule=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F'

# The enabled binfmt_misc entry that hands i386 programs to qemu, if any.
qemu_i386_entry() {
  local entry
  for entry in /proc/sys/fs/binfmt_misc/*; do
    case "$(basename "$entry")" in register | status | '*') continue ;; esac
    head -n 1 "$entry" 2>/dev/null | grep -qx enabled || continue
    grep -q '^interpreter .*qemu-i386' "$entry" 2>/dev/null || continue
    echo "$entry"
    return 0
  done
  return 1
}

runs_32bit() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }

# Sets mode32 (native, emulated or none) and mode32_how, from what this machine does, not from
# what it is: a 32-bit program is run, and the qemu entry looked for and, when missing, registered
# (as root, mounting binfmt_misc if need be).
detect_32bit() {
  local entry=""
  if ! mountpoint -q /proc/sys/fs/binfmt_misc 2>/dev/null && [ "$(id -u)" -eq 0 ]; then
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || true
  fi
  entry="$(qemu_i386_entry || true)"
  if [ -z "$entry" ] && runs_32bit; then
    mode32=native
    mode32_how="the kernel runs 32-bit code"
    return 0
  fi
  if [ -z "$entry" ] && [ "$(id -u)" -eq 0 ] && [ -x /usr/bin/qemu-i386-static ] &&
    [ -w /proc/sys/fs/binfmt_misc/register ]; then
    printf '%s\n' "$qemu_i386_rule" >/proc/sys/fs/binfmt_misc/register 2>/dev/null || true
    entry="$(qemu_i386_entry || true)"
    [ -n "$entry" ] && mode32_registered=" (registered now)"
  fi
  if [ -n "$entry" ] && runs_32bit; then
    mode32=emulated
    mode32_how="through $(sed -n 's/^interpreter //p' "$entry"), binfmt_misc entry $(basename "$entry")${mode32_registered:-}"
    return 0
  fi
  mode32=none
  if [ -n "$entry" ]; then
    mode32_how="the binfmt_misc entry $(basename "$entry") is there, but /lib/ld-linux.so.2 does not run"
  elif [ "$(id -u)" -ne 0 ]; then
    mode32_how="the kernel runs no 32-bit code and registering qemu-i386 needs root"
  else
    mode32_how="the kernel runs no 32-bit code and qemu-i386 could not be registered"
  fi
}

say_32bit() { echo "32-bit Windows code: $mode32, $mode32_how"; }

# Why an i686 run that needs native 32-bit code is skipped.
native_only() {
  if [ "$mode32" = emulated ]; then
    echo "32-bit code runs here only through qemu-i386, a minute or more per wine process"
  else
    echo "$mode32_how"
  fi
}

# --- the summary ----------------------------------------------------------------------------------
# ran ARCH WHAT / skipped ARCH WHAT WHY: one line each in the summary the last part prints.
ran() { echo "ran|$1|$2" >>"$summary"; }
skipped() { echo "skipped|$1|$2|$3" >>"$summary"; }
print_summary() {
  local arch line
  echo "-- summary"
  for arch in x86_64 i686; do
    line="$(awk -F'|' -v a="$arch" '$1 == "ran" && $2 == a {printf "%s%s", s, $3; s=", "}' \
      "$summary")"
    printf '%s DLL ran: %s' "$arch" "${line:-nothing}"
    # Skipped runs grouped by their reason.
    line="$(awk -F'|' -v a="$arch" '$1 == "skipped" && $2 == a {
        if ($4 in what) what[$4] = what[$4] ", " $3
        else { order[n++] = $4; what[$4] = $3 }
      }
      END { for (i = 0; i < n; i++) printf "%s%s (%s)", (i ? "; " : ""), what[order[i]], order[i] }' \
      "$summary")"
    [ -z "$line" ] || printf '; skipped: %s' "$line"
    printf '. '
  done
  echo
}

# --- the prefix, its server and the display -------------------------------------------------------
# Boots the prefix in the background (wine64 wineboot; under emulation its 32-bit half takes a few
# minutes), so that the cross builds run meanwhile. prefix_ready waits for it.
prefix_boot_start() {
  rm -rf "$WINEPREFIX" "$wine_dir/booted"
  (
    trap '[ -n "${boot_xvfb:-}" ] && kill "$boot_xvfb" 2>/dev/null' EXIT
    start_display_into boot_xvfb
    "$wine64" wineboot --init && "$wineserver" -w || exit 1
    # A Chinese Windows links CJK glyphs into its Latin fonts; this prefix is told to do the same,
    # so the window's texts render with the font installed above. 32-bit programs see the same key.
    "$wine64" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v 'Times New Roman' /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f &&
      "$wineserver" -w && touch "$wine_dir/booted"
  ) >"$wine_dir/boot.log" 2>&1 &
  echo $! >"$wine_dir/boot.pid"
}

prefix_ready() {
  local pid
  pid="$(cat "$wine_dir/boot.pid" 2>/dev/null || true)"
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
    echo "waiting for the prefix to boot"
    while kill -0 "$pid" 2>/dev/null; do sleep 1; done
  fi
  rm -f "$wine_dir/boot.pid"
  [ -e "$wine_dir/booted" ] && return 0
  if [ -z "${boot_again:-}" ]; then
    boot_again=1
    echo "booting the prefix"
    prefix_boot_start
    prefix_ready
    return
  fi
  echo "the prefix did not boot:"
  cat "$wine_dir/boot.log"
  exit 1
}

# An Xvfb display of our own, its pid in the variable named $1.
start_display_into() {
  local display=97
  while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
  done
  Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  printf -v "$1" '%s' "$!"
  export DISPLAY=":$display"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
}

# The prefix booted, one wineserver for every program of the part, a display unless one is given,
# and the part's scratch folder ($scratch). All stopped or removed by the part's exit.
wine_session() {
  prefix_ready
  [ -n "${DISPLAY:-}" ] || start_display_into session_xvfb
  "$wineserver" -p </dev/null >/dev/null 2>&1
  scratch="$(mktemp -d)"
  trap wine_session_end EXIT
}
wine_session_end() {
  stop_simulators
  "$wineserver" -k >/dev/null 2>&1 || true
  [ -n "${session_xvfb:-}" ] && kill "$session_xvfb" 2>/dev/null || true
  rm -rf "$scratch"
}

# Sets arches to the DLLs that WHAT runs on here: x86_64, and i686 where 32-bit code runs
# natively; otherwise the i686 run goes into the summary as skipped, with the reason.
native_arches() { # WHAT
  arches=(x86_64)
  if [ "$mode32" = native ]; then arches+=(i686); else skipped i686 "$1" "$(native_only)"; fi
}

wine_for() { if [ "$1" = i686 ]; then echo "$wine32"; else echo "$wine64"; fi; }
build_for() { if [ "$1" = i686 ]; then echo "$win32"; else echo "$win64"; fi; }

# --- the simulators for the window and the SDK example -------------------------------------------
# They run until stop_simulators: no clock of theirs may run out before the slowest run ends.
sims_pids=""
start_simulators() { # SCRATCH COM
  local scratch="$1" com="$2"
  for _ in $(seq 20); do
    bank_port=$((2000 + RANDOM % 4000))
    business_port=$((bank_port + 4000))
    "$root/build/quendal" sim-hosts --bank-port "$bank_port" --business-port "$business_port" \
      >"$scratch/hosts.log" 2>&1 &
    hosts_pid=$!
    sleep 0.3
    kill -0 "$hosts_pid" 2>/dev/null && break
  done
  sims_pids="$hosts_pid"
  "$root/build/quendal" sim-terminal --link "$WINEPREFIX/dosdevices/com$com" --relays 1 \
    >"$scratch/terminal.log" 2>&1 &
  sims_pids="$sims_pids $!"
  for _ in $(seq 50); do [ -L "$WINEPREFIX/dosdevices/com$com" ] && break; sleep 0.1; done
  printf '1|REF000000000001|B0110001|12345|STAMP0|VAL001|POLICY-42||%s|127.0.0.1|%s|5|127.0.0.1|%s|5' \
    "$com" "$bank_port" "$business_port" >"$scratch/request"
}
stop_simulators() {
  [ -n "$sims_pids" ] && kill $sims_pids 2>/dev/null || true
  sims_pids=""
}

# --- retries for a death in wine or the emulator ------------------------------------------------
# What wine's own 32-bit side or qemu say when they, not the program, end a run.
wine_death='wine client error|uncaught target signal|libgcc_s\.so\.1|could not load kernel32|^qemu'


# How often a run that died in wine or the emulator is run again. Under qemu, wine's 32-bit side
# dies in about one process in six (wine client errors, qemu's own segmentation faults, seen twice
# in a row on one run), so a single retry still failed the stage now and then for nothing the
# library did.
wine_death_retries=2

# run_retrying_deaths LOG COMMAND...: runs COMMAND with its output shown and kept in LOG. A run
# that failed with none of the program's own failures ([  FAILED  ], FAIL, or a test program's
# exit status 1 without wine's or qemu's last words) and did not time out, but died, is run again, at most wine_death_retries times, and says so each time. Returns 0 when a
# run passed, 1 on the program's own failure, 2 when every run died, 3 when a run timed out.
run_retrying_deaths() {
  local log="$1" attempt status why=""
  shift
  for attempt in $(seq 0 "$wine_death_retries"); do
    [ "$attempt" -eq 0 ] ||
      echo "retrying ($attempt of $wine_death_retries): the run died in wine or the emulator ($why)"
    status=0
    "$@" 2>&1 | tee "$log" || status=$?
    [ "$status" -ne 0 ] || return 0
    if grep -aqE '^\[  FAILED  \]|^FAIL' "$log"; then return 1; fi
    [ "$status" -ne 124 ] || return 3
    # Exit status 1 with no failure of its own is still a death when wine or qemu had last words.
    why="$(grep -a -m1 -E "$wine_death" "$log" || true)"
    if [ -z "$why" ]; then
      [ "$status" -ne 1 ] || return 1
      why="exit status $status"
    fi
  done
  return 2
}
