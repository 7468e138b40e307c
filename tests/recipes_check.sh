#!/usr/bin/env bash
# Every language recipe of the integrator's guide, its code taken from the guide as printed, called
# against the built library and the simulators: an approved sale whose business reference is
# Chinese (the hosts must receive it as GBK) and a request the library refuses (wrong agency
# company number). Each language's program is one process making both calls; it prints
# "<return value> <text>" per call, the text decoded from GBK by the recipe itself. The programs
# are built first, then run side by side, each with a simulated terminal of its own: a call spends
# most of its time in the library's closing pauses, not on the machine.
#   tests/recipes_check.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$2" && pwd)
guide="$source_dir/docs/integration.md"
recipes="$source_dir/tests/recipes"
source "$(dirname "${BASH_SOURCE[0]}")/lib/scratch.sh"
export LC_ALL=C.UTF-8
unset QUENDAL_STATUS_LOG QUENDAL_TRACE

# The code block that follows "<!-- recipe: NAME -->" in the guide, saved as DIR/NAME.
extract() {
  local name=$1 dir=$2
  awk -v mark="<!-- recipe: $name -->" '
    $0 == mark { state = 1; next }
    state == 1 && /^```/ { state = 2; next }
    state == 2 && /^```$/ { exit }
    state == 2 { print }
  ' "$guide" >"$dir/$name"
  [ -s "$dir/$name" ] || fail "the guide has no recipe block marked $name"
}

# Every toolchain first, so that a missing one is named before anything runs.
missing=()
for tool in cc python3 mcs mono fpc javac java node npm iconv; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
jna=/usr/share/java/jna.jar
[ -f "$jna" ] || missing+=("$jna (libjna-java)")
[ ${#missing[@]} -eq 0 ] || fail "cannot run the recipes without: ${missing[*]}"

declare -A build_ms
timed_build() {  # LANGUAGE COMMAND...: runs the command, keeping its time
  local language=$1 start
  shift
  start=$(date +%s%N)
  "$@" >"$work/build.log" 2>&1 || fail "$language: $*: $(cat "$work/build.log")"
  build_ms[$language]=$((($(date +%s%N) - start) / 1000000))
}

# C: the example program.
# The header's version part is written by the build, beside the others in generated/include.
timed_build c cc "$source_dir/examples/c/card_trans_example.c" -I"$source_dir/include" \
  -I"$build/generated/include" -L"$build" -lquendal -o "$work/c_example"

# C# on mono: the DLL's name maps to the shared library; code page 936 comes from the I18N CJK
# assembly.
mkdir "$work/cs"
extract Quendal.cs "$work/cs"
timed_build csharp mcs -out:"$work/cs/driver.exe" "$work/cs/Quendal.cs" "$recipes/Driver.cs"
cat >"$work/cs/driver.exe.config" <<'EOF'
<configuration>
  <dllmap dll="Quendal.dll" target="libquendal.so.1" />
</configuration>
EOF

# Delphi's dialect through Free Pascal.
mkdir "$work/pas"
extract quendalcall.pas "$work/pas"
timed_build pascal fpc -v0 -Fu"$work/pas" -Fl"$build" -FU"$work/pas" -o"$work/pas/driver" \
  "$recipes/driver.pas"

# Java through JNA, as Debian packages it.
mkdir "$work/java"
extract Quendal.java "$work/java"
timed_build java javac -encoding UTF-8 -cp "$jna" -d "$work/java" "$work/java/Quendal.java" \
  "$recipes/Driver.java"

# Node.js through koffi and iconv-lite, at the versions of the lock file. The packages are kept in
# the build directory; npm ci runs again only when the lock file changed.
node_dir="$build/recipes-node"
mkdir -p "$node_dir"
build_ms[node]=0
if ! cmp -s "$recipes/node/package-lock.json" "$node_dir/package-lock.json" ||
  [ ! -d "$node_dir/node_modules" ]; then
  rm -f "$node_dir/package-lock.json"
  cp "$recipes/node/package.json" "$recipes/node/package-lock.json" "$node_dir/"
  timed_build node npm ci --prefix "$node_dir" --no-audit --no-fund --loglevel=error
fi
extract quendal.js "$node_dir"
cp "$recipes/driver.js" "$node_dir/"

# The hosts serve every language; each language gets a terminal of its own.
languages=(c python csharp pascal java node)
q="$build/quendal"
"$q" sim-hosts --bank-port 0 --business-port 0 --seconds 900 >"$work/hosts.log" 2>&1 &
pids+=($!)
for language in "${languages[@]}"; do
  "$q" sim-terminal --text "批准 123.45" --link "$work/com-$language" --seconds 900 \
    >"$work/terminal-$language.log" 2>&1 &
  pids+=($!)
done
for _ in $(seq 200); do
  ready=1
  for language in "${languages[@]}"; do [ -e "$work/com-$language" ] || ready=0; done
  [ "$ready" -eq 1 ] && grep -q "business host on" "$work/hosts.log" && break
  sleep 0.05
done
read -r bank business <<<"$(sed -n \
  's/^bank host on 127.0.0.1:\([0-9]*\), business host on 127.0.0.1:\([0-9]*\).*/\1 \2/p' \
  "$work/hosts.log")" || fail "the simulators did not start: $(cat "$work/hosts.log")"
export LD_LIBRARY_PATH="$build"

request() {  # business reference, agency company number
  echo "1|REF000000000001|$2|12345|000000|VAL001|$1||1|127.0.0.1|$bank|30|127.0.0.1|$business|30"
}

# C: one call per process, whose exit status is card_trans's value, as the line it prints says. A
# request typed in a UTF-8 shell goes through iconv to GBK, and the GBK result comes back through
# iconv, as the guide shows.
c_run() {
  local line
  for line in "$@"; do
    { "$work/c_example" "$(printf '%s' "$line" | iconv -f UTF-8 -t GBK)" || true; } |
      iconv -f GBK -t UTF-8 | sed -n 's/^Quendal [0-9.]*: card_trans returned \([01]\) ([a-z]*): /\1 /p'
  done
}

# run LANGUAGE COMMAND...: in the background, the command with the two requests on the language's
# own terminal; its output, exit status and time go to files named after the language.
run() {
  local language=$1
  shift
  (
    start=$(date +%s%N)
    rc=0
    QUENDAL_COM1="$work/com-$language" "$@" "$(request "保单-$language" B0110001)" \
      "$(request "保单-$language" B0110002)" >"$work/$language.out" 2>&1 || rc=$?
    echo "$rc $((($(date +%s%N) - start) / 1000000))" >"$work/$language.status"
  ) &
}
run c c_run
run python python3 "$recipes/driver.py" "$source_dir/examples/python"
run csharp mono "$work/cs/driver.exe"
run pascal "$work/pas/driver"
run java java -Djna.library.path="$build" -cp "$jna:$work/java" Driver
run node node "$node_dir/driver.js"
# A call that hangs ends at the library's longest wait, well inside five minutes.
for language in "${languages[@]}"; do
  for _ in $(seq 3000); do [ -s "$work/$language.status" ] && break; sleep 0.1; done
  [ -s "$work/$language.status" ] || fail "$language: no end after five minutes: $(cat "$work/$language.out")"
done

expected=$'0 批准 123.45\n1 保险代公司号错误'
for language in "${languages[@]}"; do
  read -r rc ms <"$work/$language.status"
  [ "$rc" -eq 0 ] && [ "$(cat "$work/$language.out")" = "$expected" ] ||
    fail "$language: exit $rc, printed: $(cat "$work/$language.out")"
  grep -q "text: .*|保单-$language|" "$work/hosts.log" ||
    fail "$language: the business reference did not reach the hosts as GBK"
  printf '   %-8s build %5d ms, two calls %5d ms\n' "$language" "${build_ms[$language]:-0}" "$ms"
done
echo "the guide's recipes: C, Python, C#, Pascal, Java and Node.js callers pass"
