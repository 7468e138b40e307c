#!/usr/bin/env bash
# The whole GoogleTest suite once more, built with AddressSanitizer and UndefinedBehaviorSanitizer
# into build-asan. Any sanitizer report fails the stage: UBSan halts on its first finding, ASan
# (leaks included) ends the test with an error.
set -euo pipefail
cd "$(dirname "$0")/../.."

flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DQUENDAL_BUILD_TOOLS=OFF -DQUENDAL_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$(nproc)"

export ASAN_OPTIONS="abort_on_error=0:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
cd build-asan
# Only the GoogleTest cases (named Suite.Case): the checks of the shipped library, its install and
# its examples look at uninstrumented files and run in the unit stage.
ctest --output-on-failure --timeout 600 -j"$(nproc)" -R '[.]'
