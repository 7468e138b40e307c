#!/usr/bin/env bash
# The whole test suite on a fresh Debian machine: installs what it needs, builds, checks the
# formatting, then runs every stage in scripts/test.d in the order of their names. Each stage
# installs what it alone needs and fails the command on the first fault.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

echo "== clang-format"
git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format --dry-run -Werror

for stage in scripts/test.d/*.sh; do
  echo "== $(basename "$stage" .sh)"
  bash "$stage"
done
