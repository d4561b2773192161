#!/usr/bin/env bash
# Plants each fault of a list (tools/plant-faults.list unless one is named),
# one at a time, in a scratch copy of the tree, builds the unit tests and the
# CLI, runs the native suite and reports which faults it caught. The tree
# itself is never touched. Not part of CI: a fault costs a rebuild and a run.
#
#   tools/plant-faults.sh [LIST] [NAME...]   plant the named faults, or all
#
# FAULT_WORK names the scratch folder (build/faults); its copy and build are
# kept between runs, so a second run rebuilds only what a fault touches.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
list=$root/tools/plant-faults.list
if [ $# -gt 0 ] && [ -f "$1" ]; then list=$(cd "$(dirname "$1")" && pwd)/$(basename "$1"); shift; fi
work=${FAULT_WORK:-$root/build/faults}
src=$work/src
build=$work/build
logs=$work/logs
jobs=2
# What a fault can reach with these two programs; the install, the layer
# check and the fuzz replays need programs not built here.
skipped='^(install|layers|regressions_.*)$'

# The working tree's tracked files, changes included; a file whose bytes
# are unchanged keeps its copy, so the build stays incremental.
copy_tree() {
  mkdir -p "$src"
  (cd "$root" && git ls-files -z) | while IFS= read -r -d '' file; do
    [ -f "$root/$file" ] || continue
    if ! cmp -s "$root/$file" "$src/$file"; then
      mkdir -p "$(dirname "$src/$file")"
      cp "$root/$file" "$src/$file"
    fi
  done
}

# plant FILE OLD NEW: replaces the one OLD in FILE (\N a line break); 1 when
# OLD is not found exactly once.
plant() {
  python3 - "$1" "$2" "$3" <<'PY'
import sys
path, old, new = sys.argv[1], sys.argv[2].replace("\\N", "\n"), sys.argv[3].replace("\\N", "\n")
text = open(path, encoding="latin-1").read()
if text.count(old) != 1:
    sys.exit(1)
open(path, "w", encoding="latin-1").write(text.replace(old, new))
PY
}

build_and_test() {
  cmake --build "$build" -j "$jobs" --target zedid_tests zedid_model_tests zedid zedid_cli zedid_cli_own_options >"$1.build" 2>&1 || return 2
  (cd "$build" && ctest -j "$jobs" --timeout 120 -E "$skipped" --output-on-failure) >"$1.test" 2>&1 || return 1
  return 0
}

copy_tree
mkdir -p "$logs"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DZEDID_BENCH=OFF >"$logs/configure" 2>&1 ||
    { echo "configure failed: $logs/configure"; exit 2; }
fi
build_and_test "$logs/unplanted"
case $? in
  0) ;;
  2) echo "the tree itself does not build: $logs/unplanted.build"; exit 2 ;;
  *) echo "the tree itself fails its tests: $logs/unplanted.test"; exit 2 ;;
esac

caught=0 missed=0 unbuilt=0 unplanted=0
missedlist=()
start=$SECONDS
while IFS=$'\t' read -r name file old new; do
  case $name in ''|'#'*) continue ;; esac
  if [ $# -gt 0 ] && ! printf '%s\n' "$@" | grep -qx -- "$name"; then continue; fi
  cp "$root/$file" "$src/$file"
  if ! plant "$src/$file" "$old" "$new"; then
    echo "not planted  $name ($file: the text is not there exactly once)"
    unplanted=$((unplanted + 1))
    continue
  fi
  build_and_test "$logs/$name"
  outcome=$?
  # Restored with a new time, so the next build compiles it again.
  cp "$root/$file" "$src/$file"
  case $outcome in
    1) caught=$((caught + 1))
       echo "caught       $name: $(grep -c -E '\(Failed\)|\(Timeout\)|\(SEGFAULT\)|\(Subprocess aborted\)|\(Child aborted\)' "$logs/$name.test") failed" ;;
    2) unbuilt=$((unbuilt + 1)); echo "no build     $name" ;;
    *) missed=$((missed + 1)); missedlist+=("$name"); echo "MISSED       $name" ;;
  esac
done <"$list"

total=$((caught + missed))
echo
echo "caught $caught of $total faults that build ($(( total > 0 ? caught * 100 / total : 0 ))%)," \
  "$unbuilt did not build, $unplanted not planted, in $((SECONDS - start)) s"
[ ${#missedlist[@]} -eq 0 ] || echo "missed: ${missedlist[*]}"
[ "$missed" -eq 0 ]
