#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, then builds a small C host
# against the installed tree twice (pkg-config, find_package) and runs both.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR C_COMPILER [COMPILE_FLAGS [EXTRA_LINK_ARGUMENTS]]
set -u
build=$1
root=$2
cc=$3
flags=${4:-}
libs=${5:-}
fail=0
check() { # description expected actual
  if [ "$2" != "$3" ]; then echo "FAIL: $1: expected [$2], got [$3]"; fail=1; else echo "ok: $1"; fi
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix="$tmp/prefix"

cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1; check "cmake --install" 0 $?
pc=$(find "$prefix" -name morvane.pc | head -1)
[ -n "$pc" ] || { echo "FAIL: morvane.pc not installed"; exit 1; }
libdir=$(dirname "$(dirname "$pc")")
check "header installed" yes "$([ -f "$prefix/include/morvane/classifier.h" ] && [ -f "$prefix/include/morvane/j2k.h" ] && echo yes)"
check "soname" "libmorvaneclassifier.so.6" "$(readelf -d "$libdir/libmorvaneclassifier.so.6.1.1.2" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')"
check "soname link" "libmorvaneclassifier.so.6.1.1.2" "$(readlink "$libdir/libmorvaneclassifier.so.6")"
check "data installed" yes "$([ -f "$prefix/share/morvane/templates/main.xml" ] && [ -f "$prefix/share/morvane/workdir/ClasDevices.dat" ] && echo yes)"
check "config installed" yes "$([ -f "$libdir/cmake/Morvane/MorvaneConfig.cmake" ] && echo yes)"

page="$root/examples/pages/300dpi/A4_page.png"
export PKG_CONFIG_PATH="$libdir/pkgconfig"
check "pkg-config version" "6.1.1.2" "$(pkg-config --modversion morvane)"
datadir=$(pkg-config --variable=datadir morvane)
check "pkg-config data folder" yes "$([ -f "$datadir/templates/main.xml" ] && echo yes)"
# shellcheck disable=SC2046
"$cc" -std=c11 -Wall -Wextra -Werror $flags -o "$tmp/host-pc" "$root/tests/install/host.c" \
  $(pkg-config --cflags morvane) $(pkg-config --libs morvane) -Wl,-rpath,"$libdir" $libs >"$tmp/pc.log" 2>&1
check "pkg-config host builds" 0 $?
[ $fail -eq 0 ] || cat "$tmp/pc.log"
check "pkg-config host classifies" "A4" "$("$tmp/host-pc" "$datadir" "$page" 300 2>&1)"
check "pkg-config host uses the installed library" "$libdir/libmorvaneclassifier.so.6" \
  "$(ldd "$tmp/host-pc" | sed -n 's/.*libmorvaneclassifier[^ ]* => \([^ ]*\) .*/\1/p')"

cmake -S "$root/tests/install/host" -B "$tmp/host-build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" -DHOST_EXTRA_LINK="$libs" \
  >"$tmp/cmake.log" 2>&1 &&
  cmake --build "$tmp/host-build" >>"$tmp/cmake.log" 2>&1
check "find_package host builds" 0 $?
[ $fail -eq 0 ] || cat "$tmp/cmake.log"
check "find_package host classifies" "A4" "$("$tmp/host-build/host" "$prefix/share/morvane" "$page" 300 2>&1)"

if [ -x "$prefix/bin/morvane-classify" ]; then
  check "installed tool" "A4" "$("$prefix/bin/morvane-classify" "$page" | cut -f2)"
fi
exit $fail
