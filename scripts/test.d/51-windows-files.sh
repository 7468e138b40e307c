#!/usr/bin/env bash
# The Windows stage, the DLL and quendal.exe files, read without running them (so on any machine):
# the format, the DLL's one export, imports of Windows' own DLLs only, the import libraries, and the
# version record and the progress window's dialog template parsed from the resources.
set -euo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/windows.sh
source scripts/lib/version.sh
# The version the build was configured with: the record must carry exactly these four numbers.
version="$(build_version "$win32")"
commas="${version//./,}"

# What Explorer's properties show, and template 103 field by field: WS_POPUP | WS_SYSMENU |
# DS_SETFONT | DS_FIXEDSYS with WS_EX_CLIENTEDGE, 287 x 140 units at 0,0, no title, the 8-point
# "MS Shell Dlg" font; one Static control 1003, SS_LEFTNOWORDWRAP | WS_CHILD | WS_VISIBLE |
# WS_BORDER | WS_GROUP with WS_EX_DLGMODALFRAME | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE, at 10,4,
# 266 x 129 units, no text. Chinese (PRC).
expected_resources="FileVersionNumbers=$commas
ProductVersionNumbers=$commas
Translation=080404b0
FileDescription=Quendal
FileVersion=${commas//,/, }
InternalName=Quendal
OriginalFilename=Quendal.dll
ProductName=Mervok专用动态库
ProductVersion=${commas//,/, }
Dialog103.language=0804
Dialog103.style=0x80080048
Dialog103.exstyle=0x00000200
Dialog103.rect=0,0,287,140
Dialog103.menu=
Dialog103.class=
Dialog103.title=
Dialog103.items=1
Dialog103.font=8,400,0,1,MS Shell Dlg
Dialog103.item0.id=1003
Dialog103.item0.class=STATIC
Dialog103.item0.style=0x5082000c
Dialog103.item0.exstyle=0x00020201
Dialog103.item0.rect=10,4,266,129
Dialog103.item0.text="

# system_imports_only DUMP [ALSO]: the imports in an objdump of a PE file are all Windows' own DLLs
# that the library uses, and ALSO (the command asks the shell for its wide command line).
system_imports_only() {
  local imports name
  imports="$(grep 'DLL Name:' <<<"$1" | awk '{print $3}' | tr 'a-z' 'A-Z' | sort)"
  echo "imports: $(echo $imports)"
  for name in $imports; do
    case "$name" in
      KERNEL32.DLL | USER32.DLL | GDI32.DLL | WS2_32.DLL | MSVCRT.DLL | ADVAPI32.DLL) ;;
      "${2:-}") ;;
      *) echo "imports $name, which is not a Windows system DLL the library uses"; exit 1 ;;
    esac
  done
}

# quendal.exe carries the library, so the same dialog, under a version record of its own.
expected_exe_resources="$(sed -e 's/^FileDescription=.*/FileDescription=Quendal command: run, journal, reconcile, sim-hosts/' \
  -e 's/^InternalName=.*/InternalName=quendal/' -e 's/^OriginalFilename=.*/OriginalFilename=quendal.exe/' \
  <<<"$expected_resources")"

for arch in i686 x86_64; do
  dir="$(build_for "$arch")"
  dll="$dir/Quendal.dll"
  echo "-- $arch: $dll"
  dump="$("$arch-w64-mingw32-objdump" -p "$dll")"
  if [ "$arch" = i686 ]; then
    format=PE32 magic='Magic.*010b.*PE32' symbol=' T _card_trans@8'
  else
    format=PE32+ magic='Magic.*020b.*PE32+' symbol=' T card_trans$'
  fi
  grep -q "$magic" <<<"$dump" || { echo "not a $format file"; exit 1; }
  exports="$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | grep -E '^\s+\[' |
    awk '{print $NF}')"
  [ "$exports" = "card_trans" ] || { echo "exports: $exports (want card_trans alone)"; exit 1; }
  system_imports_only "$dump"
  for lib in libquendal.dll.a Quendal.lib; do
    "$arch-w64-mingw32-nm" "$dir/$lib" | grep -q "$symbol" ||
      { echo "$lib does not resolve${symbol#* T}"; exit 1; }
    # ... to the DLL, and to nothing else that exports the name (quendal.exe carries the library).
    names="$(strings "$dir/$lib" | grep -iE '\.(dll|exe)$' | sort -u)"
    [ "$names" = Quendal.dll ] || { echo "$lib leads to: $names (want Quendal.dll)"; exit 1; }
  done
  resources="$(python3 tests/win/pe_resources.py "$dll" 103)"
  [ "$resources" = "Format=$format
$expected_resources" ] || { echo "resources:"; diff <(echo "Format=$format
$expected_resources") <(echo "$resources"); exit 1; }
  echo "ok: $format, card_trans alone, system imports, both import libraries, version record" \
    "and dialog 103"

  exe="$dir/quendal.exe"
  echo "-- $arch: $exe"
  dump="$("$arch-w64-mingw32-objdump" -p "$exe")"
  grep -q "$magic" <<<"$dump" || { echo "not a $format file"; exit 1; }
  system_imports_only "$dump" SHELL32.DLL
  resources="$(python3 tests/win/pe_resources.py "$exe" 103)"
  [ "$resources" = "Format=$format
$expected_exe_resources" ] || { echo "resources:"; diff <(echo "Format=$format
$expected_exe_resources") <(echo "$resources"); exit 1; }
  echo "ok: $format, system imports, version record and dialog 103"
  ran "$arch" "file checks"
done
