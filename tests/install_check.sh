#!/bin/sh
# Installs the build into a scratch prefix and builds a C caller against it twice: through the
# CMake package and through pkg-config.
set -eu
build_dir="$1"
source_dir="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
test -f "$work/prefix/include/quendal/card_trans.h"

cmake -S "$source_dir/tests/consumer" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
QUENDAL_STATUS_LOG= LD_LIBRARY_PATH="$work/prefix/lib:$work/prefix/lib64" "$work/cmake/consumer"

pcdir=$(dirname "$(find "$work/prefix" -name quendal.pc | head -n 1)")
flags=$(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs quendal)
# shellcheck disable=SC2086
cc "$source_dir/tests/consumer/main.c" $flags -o "$work/pc_consumer"
LD_LIBRARY_PATH="$work/prefix/lib:$work/prefix/lib64" "$work/pc_consumer"
