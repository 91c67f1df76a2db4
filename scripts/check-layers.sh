#!/usr/bin/env bash
# Checks that the includes between the folders of src/ follow the layer
# order: a file may include headers of its own folder and of lower layers
# only, so the include graph between folders has no upward edge and hence no
# cycle. Prints every offending file and include and fails. Also fails on a
# folder that is not in the order (place a new folder here and in
# src/CMakeLists.txt first) and on includes that climb out of a folder
# ("../"), which would get around the check. Then checks the links CMake
# declares the same way: every layer a folder's morvane_add_layer(... DEPENDS
# ...) or target_link_libraries names (as morvane_layer_<folder>) must lie
# below it.
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

ranks=""
for i in "${!LAYERS[@]}"; do
  for folder in ${LAYERS[$i]}; do ranks+="$folder=$i "; done
done

status=0
for dir in src/*/; do
  folder=$(basename "$dir")
  if [[ " $ranks" != *" $folder="* ]]; then
    echo "check-layers: src/$folder is not in the layer order (scripts/check-layers.sh)" >&2
    status=1
  fi
done

mapfile -t files < <(find src -mindepth 2 -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.c' -o -name '*.inc' \) | sort)
if (( ${#files[@]} )); then
  awk -v ranks="$ranks" '
    BEGIN {
      n = split(ranks, pairs, " ")
      for (i = 1; i <= n; ++i) { split(pairs[i], kv, "="); rank[kv[1]] = kv[2] }
      bad = 0
    }
    /^[ \t]*#[ \t]*include[ \t]*"/ {
      split(FILENAME, parts, "/"); from = parts[2]
      target = $0
      sub(/^[ \t]*#[ \t]*include[ \t]*"/, "", target); sub(/".*$/, "", target)
      if (target ~ /(^|\/)\.\.(\/|$)/) {
        printf "%s:%d: include climbs out of its folder: #include \"%s\"\n", FILENAME, FNR, target > "/dev/stderr"
        bad = 1; next
      }
      if (index(target, "/") == 0) next          # a header of the same folder
      to = target; sub(/\/.*$/, "", to)
      if (!(to in rank) || !(from in rank) || to == from) next  # public header, system path
      if (rank[to] > rank[from]) kind = "upward"
      else if (rank[to] == rank[from]) kind = "sideways"
      else next
      printf "%s:%d: %s include of %s/ from %s/: #include \"%s\"\n", FILENAME, FNR, kind, to, from, target > "/dev/stderr"
      bad = 1
    }
    END { exit bad }
  ' "${files[@]}" || status=1
fi

# Forward declarations: a folder that declares `class X;` for a class defined
# in a higher (or same-rank) folder depends on it as surely as an include
# would, only out of the include check's sight. The first pass collects the
# classes and structs the headers define; the second reports each forward
# declaration of one that lives above the declaring folder.
mapfile -t headers < <(find src -mindepth 2 -type f \( -name '*.h' -o -name '*.hpp' \) | sort)
if (( ${#headers[@]} && ${#files[@]} )); then
  awk -v ranks="$ranks" -v nheaders="${#headers[@]}" '
    BEGIN {
      n = split(ranks, pairs, " ")
      for (i = 1; i <= n; ++i) { split(pairs[i], kv, "="); rank[kv[1]] = kv[2] }
      bad = 0
    }
    FNR == 1 { ++fileno }
    {
      split(FILENAME, parts, "/"); folder = parts[2]
      line = $0
      sub(/\/\/.*$/, "", line)
    }
    fileno <= nheaders && line ~ /^[ \t]*(class|struct)[ \t]+[A-Za-z_][A-Za-z0-9_]*[ \t]*(final[ \t]*)?(:[^;]*|\{.*)?$/ {
      name = line
      sub(/^[ \t]*(class|struct)[ \t]+/, "", name); sub(/[^A-Za-z0-9_].*$/, "", name)
      if (!(name in home)) home[name] = folder
      next
    }
    fileno > nheaders && line ~ /^[ \t]*(class|struct)[ \t]+[A-Za-z_][A-Za-z0-9_]*[ \t]*;[ \t]*$/ {
      name = line
      sub(/^[ \t]*(class|struct)[ \t]+/, "", name); sub(/[^A-Za-z0-9_].*$/, "", name)
      if (!(name in home)) next
      to = home[name]
      if (to == folder || !(to in rank) || !(folder in rank)) next
      if (rank[to] > rank[folder]) kind = "upward"
      else if (rank[to] == rank[folder]) kind = "sideways"
      else next
      printf "%s:%d: %s forward declaration of %s (defined in %s/) from %s/\n", FILENAME, FNR, kind, name, to, folder > "/dev/stderr"
      bad = 1
    }
    END { exit bad }
  ' "${headers[@]}" "${files[@]}" || status=1
fi

# The links CMake declares between the layers.
for dir in src/*/; do
  folder=$(basename "$dir")
  cmake="${dir%/}/CMakeLists.txt"
  [[ -f "$cmake" ]] || continue
  from=""
  for pair in $ranks; do [[ "${pair%%=*}" == "$folder" ]] && from=${pair#*=}; done
  [[ -n "$from" ]] || continue
  # Names after DEPENDS in morvane_add_layer, and morvane_layer_<x> anywhere.
  deps=$(tr '\n' ' ' < "$cmake" | grep -o 'morvane_add_layer([^)]*)' | sed -n 's/.*DEPENDS\(.*\))/\1/p' || true)
  deps+=" $(grep -o 'morvane_layer_[a-z]*' "$cmake" | sed 's/^morvane_layer_//' | tr '\n' ' ' || true)"
  for to in $deps; do
    [[ "$to" == "$folder" ]] && continue
    rank=""
    for pair in $ranks; do [[ "${pair%%=*}" == "$to" ]] && rank=${pair#*=}; done
    if [[ -z "$rank" ]]; then
      echo "$cmake: links $to, which is not a layer" >&2
      status=1
    elif (( rank >= from )); then
      kind=$([[ $rank == "$from" ]] && echo sideways || echo upward)
      echo "$cmake: $kind link of $to/ from $folder/" >&2
      status=1
    fi
  done
done

if (( status == 0 )); then
  echo "check-layers: every include and every declared link between the folders of src/ points down the layer order"
fi
exit $status
