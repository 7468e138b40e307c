#!/usr/bin/env bash
# The Debian packages: builds libquendal1, libquendal-dev and quendal-tools with CPack from the
# build, installs them (with dpkg -i when root, into a scratch root otherwise) and builds and runs
# the example callers against what was installed: C through pkg-config and through
# find_package(Quendal), and Python through ctypes. Installed packages are removed again. lintian
# checks the three packages: an error fails the stage, its warnings are printed.
set -euo pipefail
cd "$(dirname "$0")/../.."
source_dir=$PWD

# dpkg-shlibdeps (dpkg-dev) and file compute the packages' dependencies.
needed=(dpkg-dev file gcc pkg-config python3 libc-bin lintian)
source scripts/lib/packages.sh
install_missing "${needed[@]}"

rm -rf build/packages
(cd build && cpack -G DEB >packages.log 2>&1) || { cat build/packages.log >&2; exit 1; }
shopt -s nullglob
debs=(build/packages/*.deb)
[ ${#debs[@]} -eq 3 ] || { echo "expected three packages, got: ${debs[*]}" >&2; exit 1; }
for deb in "${debs[@]}"; do
  printf '   %-40s %7d bytes  %s\n' "$(basename "$deb")" "$(stat -c %s "$deb")" \
    "$(dpkg-deb -f "$deb" Depends)"
done
source scripts/lib/version.sh
version="$(build_version build)"
deb_of() { echo "build/packages/$1_${version}_$(dpkg --print-architecture).deb"; }
for name in libquendal1 libquendal-dev quendal-tools; do
  [ -f "$(deb_of $name)" ] || { echo "no package $name" >&2; exit 1; }
done
# The library's package must carry what dpkg needs to register it with the linker.
dpkg-deb -f "$(deb_of libquendal1)" Depends | grep libc6 >/dev/null
[ "$(dpkg-deb -f "$(deb_of libquendal-dev)" Depends)" = "libquendal1 (= $version)" ]
# The library in the machine's multiarch folder, the manual page with the command.
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
dpkg-deb -c "$(deb_of libquendal1)" | grep " ./usr/lib/$multiarch/libquendal.so.$version\$" >/dev/null ||
  { echo "libquendal1 does not put the library in /usr/lib/$multiarch" >&2; exit 1; }
dpkg-deb -c "$(deb_of libquendal-dev)" | grep 'share/doc/libquendal-dev/integration.md$' >/dev/null
dpkg-deb -c "$(deb_of quendal-tools)" | grep ' ./usr/share/man/man1/quendal.1.gz$' >/dev/null ||
  { echo "quendal-tools has no manual page" >&2; exit 1; }
# The Maintainer field is the one configured, never a made-up address.
maintainer=$(sed -n 's/^QUENDAL_PACKAGE_MAINTAINER:STRING=//p' build/CMakeCache.txt)
for deb in "${debs[@]}"; do
  [ "$(dpkg-deb -f "$deb" Maintainer)" = "$maintainer" ] ||
    { echo "$(basename "$deb"): Maintainer '$(dpkg-deb -f "$deb" Maintainer)', configured '$maintainer'" >&2; exit 1; }
done

# lintian: no errors; its warnings and notes are shown, as they are the packager's to weigh.
lintian_rc=0
lintian --fail-on error --tag-display-limit 0 "${debs[@]}" >build/lintian.log 2>&1 || lintian_rc=$?
sed 's/^/   lintian: /' build/lintian.log
[ "$lintian_rc" -eq 0 ] || { echo "lintian reports errors (exit $lintian_rc)" >&2; exit 1; }

# Installing, testing and removing is one step for the machine: two runs at once (two checkouts
# on one machine) would remove each other's packages.
exec 9>/tmp/quendal-packages.lock
flock 9

work=$(mktemp -d)
installed=0
cleanup() {
  if [ "$installed" -eq 1 ]; then dpkg -P quendal-tools libquendal-dev libquendal1 >/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

run_env=()
if [ "$(id -u)" -eq 0 ] &&
  ! dpkg-query -W -f='${Status}' libquendal1 2>/dev/null | grep 'install ok installed' >/dev/null; then
  # As an integrator would: the system's own paths, the linker's cache, no variables.
  dpkg -i "$(deb_of libquendal1)" "$(deb_of libquendal-dev)" "$(deb_of quendal-tools)" >/dev/null
  installed=1
  root=
  echo "   installed with dpkg -i"
else
  # Not root, or the packages already on this machine: unpack into a scratch root instead.
  root="$work/root"
  for deb in "${debs[@]}"; do dpkg -x "$deb" "$root"; done
  multiarch_lib=$(dirname "$(find "$root" -name libquendal.so.1 | head -n 1)")
  run_env=(env "LD_LIBRARY_PATH=$multiarch_lib" "PKG_CONFIG_SYSROOT_DIR=$root"
           "PKG_CONFIG_PATH=$multiarch_lib/pkgconfig" "PATH=$root/usr/bin:$PATH")
  echo "   unpacked into a scratch root"
fi

[ "$("${run_env[@]}" quendal --version)" = "quendal $version" ]

# The C example prints the library's GBK text as it is, the Python one prints text.
expect_refusal() {
  local rc=0 text encoding=$1
  shift
  "${run_env[@]}" "$@" "1|R|wrong" >"$work/out" || rc=$?
  text=$(iconv -f "$encoding" -t UTF-8 <"$work/out")
  if [ "$rc" -ne 1 ] || [[ "$text" != *"returned 1 (failed): 保险代公司号错误" ]]; then
    echo "FAIL: $*: exit $rc, printed: $text" >&2
    exit 1
  fi
}

# The pkg-config file names /usr, so --cflags adds nothing to the compiler's own folders.
pc=$(find "${root:-}/usr/lib/$multiarch/pkgconfig" -name quendal.pc)
[ "$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --variable=includedir quendal)" = /usr/include ] &&
  [ -z "$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --cflags quendal)" ] ||
  { echo "pkg-config: $(cat "$pc")" >&2; exit 1; }

# pkg-config, exactly as the README gives it for the packages.
# shellcheck disable=SC2046
cc "$source_dir/examples/c/card_trans_example.c" \
  $("${run_env[@]}" pkg-config --cflags --libs quendal) -o "$work/pc_example"
expect_refusal GBK "$work/pc_example"

# find_package(Quendal), from the examples the package ships.
examples=${root:-}/usr/share/doc/libquendal-dev/examples
cmake -S "$examples" -B "$work/cmake" ${root:+-DCMAKE_PREFIX_PATH="$root/usr"} >/dev/null
cmake --build "$work/cmake" >/dev/null
expect_refusal GBK "$work/cmake/card_trans_example"

expect_refusal UTF-8 python3 "$examples/python/card_trans_example.py"
echo "   the three packages install; C (pkg-config, CMake) and Python callers run against them"
