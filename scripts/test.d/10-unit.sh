#!/usr/bin/env bash
# The native build's tests: GoogleTest suites, export check, install check.
set -euo pipefail
cd "$(dirname "$0")/../../build"
ctest --output-on-failure --timeout 600 -j"$(nproc)"
