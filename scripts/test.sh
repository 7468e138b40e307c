#!/usr/bin/env bash
# The whole test suite on a fresh Debian machine: installs what it needs, builds, checks the
# formatting and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

echo "== clang-format"
git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run -Werror

echo "== tests"
cd build
ctest --output-on-failure --timeout 600
