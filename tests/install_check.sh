#!/bin/sh
# Installs the build into a scratch prefix, as `cmake --install` does for an integrator, and
# builds the example caller against it the ways the README gives: through the CMake package and
# through pkg-config with an rpath. Each program must start as built, with no LD_LIBRARY_PATH;
# the Python example is given the library's folder, as the guide says.
set -eu
build_dir="$1"
source_dir="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset LD_LIBRARY_PATH QUENDAL_STATUS_LOG
prefix="$work/prefix"
cmake --install "$build_dir" --prefix "$prefix" >/dev/null
test -f "$prefix/include/quendal/card_trans.h"
libdir=$(dirname "$(find "$prefix" -name 'libquendal.so.1' | head -n 1)")

# A request the library refuses at once: the agency company number is wrong.
# The C example prints the library's GBK text as it is, the Python one prints text.
expect_refusal() {
  encoding=$1
  shift
  rc=0
  "$@" "1|R|wrong" >"$work/out" || rc=$?
  text=$(iconv -f "$encoding" -t UTF-8 <"$work/out")
  case "$text" in
    *"returned 1 (failed): 保险代公司号错误") ;;
    *) echo "FAIL: $*: exit $rc, printed: $text" >&2; exit 1 ;;
  esac
  [ "$rc" -eq 1 ] || { echo "FAIL: $*: exit $rc" >&2; exit 1; }
}

cmake -S "$source_dir/examples" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake" >/dev/null
expect_refusal GBK "$work/cmake/card_trans_example"

flags=$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs quendal)
# shellcheck disable=SC2086
cc "$source_dir/examples/c/card_trans_example.c" $flags -Wl,-rpath,"$libdir" -o "$work/pc_example"
expect_refusal GBK "$work/pc_example"

if command -v python3 >/dev/null; then
  LD_LIBRARY_PATH="$libdir" expect_refusal UTF-8 python3 "$source_dir/examples/python/card_trans_example.py"
fi
echo "installed library: the examples build and run"
