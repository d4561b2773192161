#!/usr/bin/env bash
# The library's layers only look down: platform, reader, runtime, formats,
# host (resources/ and the public header zedid.h are data every layer may
# use). Fails when a file includes a header of a layer above its own, when a
# library file includes another module's *_testing.h, or when modules
# include each other in a loop (a module is X.h, X_testing.h and X.cpp).
# Usage: tools/check-layers.sh [SOURCE_ROOT]
set -euo pipefail
root=${1:-$(dirname "$0")/..}
cd "$root"
layers=(platform reader runtime formats host)

rank() {
  local i
  for i in "${!layers[@]}"; do
    if [ "${layers[$i]}" = "$1" ]; then echo "$i"; return; fi
  done
  echo -1  # resources/, zedid.h: below every layer
}

module() {
  local path=${1%.*}
  echo "${path%_testing}"
}

status=0
edges=$(mktemp)
trap 'rm -f "$edges"' EXIT
for layer in "${layers[@]}"; do
  own=$(rank "$layer")
  for file in "$layer"/*.h "$layer"/*.cpp; do
    [ -e "$file" ] || continue
    echo "$(module "$file") $(module "$file")" >>"$edges"
    while IFS= read -r header; do
      dir=${header%%/*}
      [ "$dir" = "$header" ] && continue  # zedid.h
      if [ "$(rank "$dir")" -gt "$own" ]; then
        echo "layer violation: $file ($layer) includes $header (${dir})"
        status=1
      fi
      if [[ $header == *_testing.h ]] && [ "$(module "$header")" != "$(module "$file")" ]; then
        echo "test-only header: $file includes $header"
        status=1
      fi
      [ "$(rank "$dir")" -ge 0 ] && [ "$(module "$header")" != "$(module "$file")" ] &&
        echo "$(module "$file") $(module "$header")" >>"$edges"
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
  done
done
if ! tsort "$edges" >/dev/null 2>"$edges.loops"; then
  echo "modules include each other in a loop:"
  sed "s|^tsort: ||; s|^[^ ]*: input contains a loop:|a loop:|" "$edges.loops" | sed "s|^|  |"
  status=1
fi
rm -f "$edges.loops"
if [ "$status" -eq 0 ]; then echo "layers: every include looks down, no module loops"; fi
exit "$status"
