#!/usr/bin/env bash
# Installs what building, testing and the demo need on a Debian machine, then configures and
# builds into build/. Sourced by test.sh and demo.sh.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

packages=(cmake ninja-build g++ make libgtest-dev libgmock-dev libbenchmark-dev clang-format
          pkg-config git binutils)
source scripts/lib/packages.sh
install_missing "${packages[@]}"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}"
cmake --build build -j"$(nproc)"
