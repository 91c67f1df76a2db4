#!/usr/bin/env bash
# CI: the Debian package. Makes it with CPack from the release build
# (build-release, which scripts/test.sh has already built), installs it with
# apt-get, moves the build tree aside so nothing can be loaded from it, and
# with the installed files only: classifies every bundled example page with
# the installed morvane-classify (main, scanned, text and scanned text
# templates), scans a page through the installed scanner plug-ins from SANE's
# test backend, runs python -m morvane from the package, and builds and runs
# a pkg-config host and a CMake host. Then restores the build tree and
# removes the package, checking nothing of it is left. Needs root (apt-get).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-release"
started=$(date +%s)
export DEBIAN_FRONTEND=noninteractive
# Wait for another apt or dpkg run to finish rather than fail.
apt=(apt-get -o DPkg::Lock::Timeout=600 -y -qq)

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/morvane_*.deb
(cd "$build" && cpack -G DEB >"$build/cpack.log" 2>&1) || { cat "$build/cpack.log"; exit 1; }
deb=$(ls "$build"/morvane_*.deb)
echo "== package: $(basename "$deb")"
dpkg-deb -f "$deb" Package Version Depends

tmp=$(mktemp -d)
aside="$build.aside-$$"
restore() {
  [ -d "$aside" ] && mv "$aside" "$build"
  if dpkg-query -W -f='${Status}' morvane 2>/dev/null | grep -q "install ok installed"; then
    "${apt[@]}" remove --purge morvane >/dev/null
  fi
  rm -rf "$tmp"
}
trap restore EXIT
cp "$deb" "$tmp/"
(cd "$tmp" && "${apt[@]}" install ./"$(basename "$deb")" >/dev/null)
mv "$build" "$aside"

fail=0
check() { # description expected actual
  if [ "$2" != "$3" ]; then echo "FAIL: $1: expected [$2], got [$3]"; fail=1; else echo "ok: $1"; fi
}
data=/usr/share/morvane
# Relocatable: no packaged file names the build or the source directory.
check "no build or source path in the package" "" \
  "$(dpkg -L morvane | while IFS= read -r f; do [ -f "$f" ] && grep -lF -e "$build" -e "$root/" "$f"; done || true)"
check "installed version" "morvane-classify $(dpkg-deb -f "$tmp/$(basename "$deb")" Version)" "$(morvane-classify --version)"
check "man pages" yes "$(man -w morvane-classify morvane-template morvane-measure >/dev/null 2>&1 ||
  ls /usr/share/man/man1/morvane-{classify,template,measure}.1* >/dev/null && echo yes)"

# Every bundled page through the installed tool: each page's file name starts
# with the ID it must come out as.
wrong=0 total=0
for dir in "$data"/pages/*dpi "$data"/pages/scanned/*dpi "$data"/pages/text/*dpi "$data"/pages/text/scanned/*dpi; do
  [ -d "$dir" ] || continue
  case "$dir" in
    */text/scanned/*) template=text_scanned.xml ;;
    */text/*) template=text.xml ;;
    */scanned/*) template=scanned.xml ;;
    *) template=main.xml ;;
  esac
  while IFS=$'\t' read -r path id _; do
    total=$((total + 1))
    expected=$(basename "$path"); expected=${expected%%_*}
    [ "$id" = "$expected" ] || { echo "WRONG $path: $id (expected $expected)"; wrong=$((wrong + 1)); }
  done < <(cd "$tmp" && morvane-classify -t "$data/templates/$template" --dpi "$(basename "$dir" dpi)" "$dir" || true)
done
check "installed tool classifies the $total example pages" 0 "$wrong"
[ "$total" -gt 0 ] || { echo "FAIL: no example pages installed"; fail=1; }

# The installed scanner plug-ins, on SANE's test backend only.
mkdir "$tmp/sane"
echo test > "$tmp/sane/dll.conf"
printf 'number_of_devices 1\ngeometry_quant 0.0\n' > "$tmp/sane/test.conf"
check "scan through the installed plug-ins" "scan:1	UNKNOWN	Unknown document	0" \
  "$(cd "$tmp" && SANE_CONFIG_DIR="$tmp/sane" morvane-classify --scan --dpi 100)"

# The Python package from the Debian package (not the checkout's).
page="$data/pages/300dpi/A4_page.png"
check "python -m morvane from the package" "$(morvane-classify --dpi 300 "$data/pages/300dpi")" \
  "$(cd "$tmp" && env -u PYTHONPATH -u MORVANE_LIBRARY /usr/bin/python3 -m morvane --dpi 300 "$data/pages/300dpi")"

# Hosts built against the installed library.
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror -o "$tmp/host-pc" "$root/tests/install/host.c" $(pkg-config --cflags --libs morvane)
check "pkg-config host" A4 "$("$tmp/host-pc" "$(pkg-config --variable=datadir morvane)" "$page" 300)"
cmake -S "$root/tests/install/host" -B "$tmp/host-build" >/dev/null && cmake --build "$tmp/host-build" >/dev/null
check "CMake host" A4 "$("$tmp/host-build/host" "$data" "$page" 300)"
check "hosts load the packaged library" "/usr/lib/libmorvaneclassifier.so.6" \
  "$(ldd "$tmp/host-pc" | sed -n 's/.*libmorvaneclassifier[^ ]* => \([^ ]*\) .*/\1/p' | sed 's|^/lib/|/usr/lib/|')"

mv "$aside" "$build"
"${apt[@]}" remove --purge morvane >/dev/null
check "package removed" "" "$(dpkg-query -W -f='${Status}' morvane 2>/dev/null | grep 'install ok' || true)"
check "no file left" "" "$(ls /usr/bin/morvane-* /usr/lib/libmorvaneclassifier* /usr/share/morvane 2>/dev/null || true)"
echo "Debian package check took $(($(date +%s) - started)) s."
[ $fail -eq 0 ] || exit 1
echo "Debian package passed."
