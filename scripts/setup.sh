#!/usr/bin/env bash
# Installs what is missing to build and test the library (Debian 12, root).
# Usage: scripts/setup.sh [extra package list files...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
lists=()
for f in "$here"/packages/*.txt; do
  # bench-*: the benchmarks' reference libraries; optional-*: installed by
  # the script that needs them (browser check, documentation pictures).
  case "$(basename "$f")" in bench-*|optional-*) continue ;; esac
  lists+=("$f")
done
lists+=("$@")
wanted=$(cat "${lists[@]}" | sed 's/#.*//' | tr -s ' \t' '\n' | sed '/^$/d' | sort -u)
missing=()
for p in $wanted; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
