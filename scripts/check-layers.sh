#!/usr/bin/env bash
# Fails when a file under src/<folder> includes a header of a folder that <folder> may not use,
# or a restricted system header, according to scripts/layers.txt. Also fails on a folder of src/
# that the table does not name, so a new layer starts with its line in the table, and on a
# table line that uses a folder of a later line, so the layering stays free of cycles.
set -uo pipefail
cd "$(dirname "$0")/.."

declare -A allowed system
status=0
seen=" "
while IFS= read -r line; do
  line=${line%%#*}
  [[ $line =~ ^[[:space:]]*$ ]] && continue
  key=${line%%:*}
  key=${key//[[:space:]]/}
  value=${line#*:}
  if [[ $key == !* ]]; then
    system[${key#!}]=" $(echo $value) "
  else
    # A folder may use only folders of earlier lines, so the table itself can hold no cycle.
    for used in $value; do
      if [[ $seen != *" $used "* ]]; then
        echo "check-layers: scripts/layers.txt: $key uses $used, which is not on an earlier line"
        status=1
      fi
    done
    allowed[$key]=" $key $(echo $value) "
    seen="$seen$key "
  fi
done < scripts/layers.txt

for dir in src/*/; do
  folder=$(basename "$dir")
  if [ -z "${allowed[$folder]+x}" ]; then
    echo "check-layers: src/$folder is not in scripts/layers.txt"
    status=1
    continue
  fi
  while IFS=: read -r file lineno text; do
    header=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^>"]+)[>"].*/\1/' <<<"$text")
    if [[ $text =~ \" ]]; then
      used=${header%%/*}
      if [[ $header == */* && -n ${allowed[$used]+x} && ${allowed[$folder]} != *" $used "* ]]; then
        echo "check-layers: $file:$lineno: src/$folder may not include $header"
        status=1
      fi
    else
      for prefix in "${!system[@]}"; do
        if [[ $header == "$prefix"* && ${system[$prefix]} != *" $folder "* ]]; then
          echo "check-layers: $file:$lineno: src/$folder may not include <$header>"
          status=1
        fi
      done
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include' -r "$dir" --include='*.h' --include='*.cpp' \
             --include='*.in' /dev/null)
done
if [ $status -eq 0 ]; then echo "check-layers: every include follows scripts/layers.txt"; fi
exit $status
