#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, then builds a small C host
# against the installed tree twice (pkg-config, find_package) and runs both.
# Also checks that the install is complete and relocatable: the tools, the
# plug-ins, man pages and completions are in place, no installed file names the
# build or source directory, and every installed binary resolves its
# libraries from the system or the prefix only.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR VERSION C_COMPILER [COMPILE_FLAGS [EXTRA_LINK_ARGUMENTS]]
set -u
build=$1
root=$2
version=$3
cc=$4
flags=${5:-}
libs=${6:-}
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
major=${version%%.*}
check "soname" "libmorvaneclassifier.so.$major" "$(readelf -d "$libdir/libmorvaneclassifier.so.$version" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')"
check "soname link" "libmorvaneclassifier.so.$version" "$(readlink "$libdir/libmorvaneclassifier.so.$major")"
check "data installed" yes "$([ -f "$prefix/share/morvane/templates/main.xml" ] && [ -f "$prefix/share/morvane/workdir/ClasDevices.dat" ] && echo yes)"
check "config installed" yes "$([ -f "$libdir/cmake/Morvane/MorvaneConfig.cmake" ] && echo yes)"
check "CMake package version" "$version" \
  "$(sed -n 's/^set(PACKAGE_VERSION "\(.*\)")/\1/p' "$libdir/cmake/Morvane/MorvaneConfigVersion.cmake")"

# Tools: the everyday ones in bin/ with man pages, the developer aids not.
if [ -f "$build/morvane-classify" ]; then
  for tool in morvane-classify morvane-template morvane-measure; do
    check "$tool installed" yes "$([ -x "$prefix/bin/$tool" ] && echo yes)"
    if [ -f "$build/man/$tool.1" ]; then
      check "$tool man page" yes "$(grep -q "^\.TH ${tool^^} .*$tool $version" "$prefix/share/man/man1/$tool.1" && echo yes)"
    fi
  done
  for tool in morvane-recognize morvane-layout-accuracy; do
    check "$tool not installed" "" "$(find "$prefix" -name "$tool")"
  done
  for tool in morvane-classify morvane-template; do
    check "$tool completion" yes "$(bash -n "$prefix/share/bash-completion/completions/$tool" &&
      grep -q "complete .* $tool\$" "$prefix/share/bash-completion/completions/$tool" && echo yes)"
  done
fi
# Plug-ins below the library, as it looks for them.
for f in "$build"/libGrayCore.so "$build"/libPrintedLine.so "$build"/grayocr_glyphs.dat; do
  [ -f "$f" ] && check "engine file $(basename "$f")" yes "$([ -f "$libdir/morvane/engines/$(basename "$f")" ] && echo yes)"
done
for f in "$build"/plugins/libMorvaneSane*.so; do
  [ -f "$f" ] && check "scanner plug-in $(basename "$f")" yes "$([ -f "$libdir/morvane/scanners/$(basename "$f")" ] && echo yes)"
done

# Relocatable: no installed file names the build or the source directory.
# A build with assertions or debug information carries source file names by
# design (assert messages, DWARF); there only the files other than binaries
# are checked (scripts/ci-package.sh checks the release package in full).
debug=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")
case "$debug" in Debug|RelWithDebInfo) only_text=yes ;; *) only_text=no ;; esac
paths_in() { # prints the installed files that name $1
  grep -rlF -e "$1" "$prefix" | while IFS= read -r f; do
    if [ "$only_text" = yes ] && file -b "$f" | grep -q '^ELF'; then continue; fi
    echo "$f"
  done
}
[ "$only_text" = yes ] && echo "note: $debug build: binaries are not searched for build paths"
check "no build path in the install" "" "$(paths_in "$(cd "$build" && pwd -P)"; paths_in "$build")"
check "no source path in the install" "" "$(paths_in "$(cd "$root" && pwd -P)/")"
# Every installed program and shared library resolves its libraries from
# the system or the prefix.
outside=""
while IFS= read -r f; do
  file -b "$f" | grep -q '^ELF' || continue
  bad=$(ldd "$f" 2>&1 | grep -E '=> (not found|/)' | grep -vE "=> (/lib/|/usr/lib/|/lib64/|$prefix/)" || true)
  [ -z "$bad" ] || outside="$outside $f:$bad"
done < <(find "$prefix" -type f \( -name '*.so*' -o -perm -u+x \))
check "libraries resolve to the system and the prefix" "" "$outside"

page="$root/examples/pages/300dpi/A4_page.png"
export PKG_CONFIG_PATH="$libdir/pkgconfig"
check "pkg-config version" "$version" "$(pkg-config --modversion morvane)"
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
