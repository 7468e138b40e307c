#!/usr/bin/env bash
# Each libFuzzer target for a bounded time (QUENDAL_FUZZ_SECONDS, 20 s by default) from its seeds
# in fuzz/corpus/<name>, built with clang into build-fuzz. A crash, a sanitizer report or a broken
# check fails the stage; its reproducer is left in build-fuzz/findings.
set -euo pipefail
cd "$(dirname "$0")/../.."

source scripts/lib/packages.sh
need=(libclang-rt-14-dev)
command -v clang++ >/dev/null || need+=(clang)
install_missing "${need[@]}"

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQUENDAL_BUILD_FUZZ=ON \
  -DQUENDAL_BUILD_TESTS=OFF -DQUENDAL_BUILD_TOOLS=OFF -DQUENDAL_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)"

seconds="${QUENDAL_FUZZ_SECONDS:-20}"
work="$(pwd)/build-fuzz/fuzz-run"
findings="$(pwd)/build-fuzz/findings"
rm -rf "$work"
mkdir -p "$work" "$findings"
export ASAN_OPTIONS="abort_on_error=0:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

# Two at a time on two cores; the seeds are copied so that the tree's corpora stay as they are.
pids=()
names=()
failed=0
for target in build-fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name="$(basename "$target")"
  seeds="fuzz/corpus/${name#fuzz_}"
  mkdir -p "$work/$name"
  [ -d "$seeds" ] && cp "$seeds"/* "$work/$name/"
  (cd "$work" && "../fuzz/$name" -max_total_time="$seconds" -print_final_stats=0 \
     -artifact_prefix="$findings/$name-" "$name" >"$name.log" 2>&1) &
  pids+=($!)
  names+=("$name")
  if [ ${#pids[@]} -ge "$(nproc)" ]; then
    wait "${pids[0]}" || failed=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
for name in "${names[@]}"; do
  if grep -qE 'ERROR: (AddressSanitizer|libFuzzer|LeakSanitizer)|runtime error:|deadly signal' \
      "$work/$name.log"; then
    echo "fuzz finding in $name:"
    tail -n 40 "$work/$name.log"
    failed=1
  else
    echo "$name: $(grep -Eo 'Done [0-9]+ runs in [0-9]+ second' "$work/$name.log" | tail -n 1)"
  fi
done
exit "$failed"
