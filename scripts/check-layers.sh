#!/usr/bin/env bash
# Checks that the includes between the folders of src/ follow the layer
# order: a file may include headers of its own folder and of lower layers
# only. Prints every offending include and fails; also fails when a folder
# is not in the order below (a new folder must be placed in it first).
#
# Layers, lowest first; folders on one line share a rank and may not include
# each other.
set -euo pipefail
cd "$(dirname "$0")/.."

LAYERS=(
  "core"
  "platform"
  "xml"
  "image"
  "imagefile"
  "preprocess"
  "layout devices"
  "templates"
  "engines"
  "filters"
  "api"
)

declare -A rank
for i in "${!LAYERS[@]}"; do
  for folder in ${LAYERS[$i]}; do rank[$folder]=$i; done
done

status=0
for dir in src/*/; do
  folder=$(basename "$dir")
  if [[ -z "${rank[$folder]+x}" ]]; then
    echo "check-layers: src/$folder is not in the layer order (scripts/check-layers.sh)" >&2
    status=1
  fi
done

# Every quoted include of the form "folder/File" in src/<folder>/ sources.
while IFS= read -r line; do
  file=${line%%:*}
  rest=${line#*:}
  lineno=${rest%%:*}
  text=${rest#*:}
  target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]*)".*/\1/' <<<"$text")
  [[ "$target" == */* ]] || continue
  to=${target%%/*}
  from=$(cut -d/ -f2 <<<"$file")
  [[ -n "${rank[$to]+x}" ]] || continue  # the public header folder and system paths
  [[ -n "${rank[$from]+x}" ]] || continue  # reported above
  [[ "$from" == "$to" ]] && continue
  if (( rank[$to] >= rank[$from] )); then
    if (( rank[$to] == rank[$from] )); then kind="sideways"; else kind="upward"; fi
    echo "$file:$lineno: $kind include of $to/ from $from/: #include \"$target\"" >&2
    status=1
  fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' src --include='*.h' --include='*.hpp' --include='*.cpp' --include='*.c' --include='*.inc' || true)

if (( status == 0 )); then
  echo "check-layers: no upward, sideways or cyclic include between the folders of src/"
fi
exit $status
