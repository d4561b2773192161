#!/usr/bin/env bash
# Runs every golden case (a folder holding design.ONL, expected.asc,
# expected.messages and expected.result) through a command-line host, as a
# user would, and checks the netlist byte for byte, the message lines on
# standard error and the exit status. With --reference, a second host (the
# native build) runs every case too and both must agree exactly: this is how
# the Windows zedid.exe + zedid.dll under Wine is held to the Linux build.
#
#   tools/golden-compare.sh --cases tests/golden --work DIR --cli zedid.exe \
#       [--emulator wine-run] [--reference build/native/zedid]
set -uo pipefail
export LC_ALL=C

cases= work= cli= emulator= reference=
while [ $# -gt 0 ]; do
  case $1 in
    --cases) cases=$2 ;;
    --work) work=$2 ;;
    --cli) cli=$2 ;;
    --emulator) emulator=$2 ;;
    --reference) reference=$2 ;;
    *) echo "golden-compare: unknown argument $1" >&2; exit 2 ;;
  esac
  shift 2 || { echo "golden-compare: $1 needs a value" >&2; exit 2; }
done
if [ -z "$cases" ] || [ -z "$work" ] || [ -z "$cli" ]; then
  echo "usage: golden-compare.sh --cases DIR --work DIR --cli HOST [--emulator RUNNER] [--reference HOST]" >&2
  exit 2
fi

# The message lines as the host prints them: expected.messages holds one
# message a line with \n, \r and \\ escaped; the host ends each message that
# does not end in a line feed with one.
expected_stderr() {
  awk '{
    out = ""
    for (i = 1; i <= length($0); i++) {
      c = substr($0, i, 1)
      if (c == "\\" && i < length($0)) {
        c = substr($0, ++i, 1)
        if (c == "n") c = "\n"; else if (c == "r") c = "\r"
      }
      out = out c
    }
    if (substr(out, length(out), 1) != "\n") out = out "\n"
    printf "%s", out
  }' "$1"
}

# run HOST RUNNER CASE FOLDER: formats design.ONL in FOLDER, leaving
# design.asc, stderr (line ends as on Linux) and status there.
run() {
  local host=$1 runner=$2 case=$3 folder=$4 status=0
  rm -rf "$folder" && mkdir -p "$folder" && cp "$cases/$case/design.ONL" "$folder/" || return 1
  (cd "$folder" && ${runner:+"$runner"} "$host" design.ONL >stdout 2>stderr.raw) || status=$?
  # A Windows program's standard error is in text mode: each line feed it
  # wrote arrives as CR LF. Undo exactly that, nothing more.
  sed 's/\r$//' "$folder/stderr.raw" >"$folder/stderr"
  echo "$status" >"$folder/status"
}

# check FOLDER CASE WHO: the outputs in FOLDER against the case's files.
check() {
  local folder=$1 case=$2 who=$3 expected
  expected=$(tr -d ' \r\n' <"$cases/$case/expected.result")
  [ "$(cat "$folder/status")" = "$expected" ] ||
    problems+=("$who: exit status $(cat "$folder/status"), expected $expected")
  # On errors the host keeps no netlist: expected.asc is what the library
  # itself wrote, which the unit suite compares.
  if [ "$expected" = 2 ]; then
    [ -e "$folder/design.asc" ] && problems+=("$who: left a netlist after errors")
  else
    cmp -s "$folder/design.asc" "$cases/$case/expected.asc" ||
      problems+=("$who: netlist differs from expected.asc: $(cmp "$folder/design.asc" "$cases/$case/expected.asc" 2>&1)")
  fi
  expected_stderr "$cases/$case/expected.messages" | cmp -s - "$folder/stderr" ||
    problems+=("$who: message lines differ from expected.messages:"$'\n'"$(expected_stderr "$cases/$case/expected.messages" | diff - "$folder/stderr" | cat -A)")
  [ -s "$folder/stdout" ] && problems+=("$who: wrote to standard output")
  [ -e "$folder/ZEDID.TMP" ] && problems+=("$who: left ZEDID.TMP behind")
}

passed=0 failed=0
for folder in "$cases"/*/; do
  case=$(basename "$folder")
  [ -f "$cases/$case/design.ONL" ] || continue
  problems=()
  run "$cli" "$emulator" "$case" "$work/cli/$case" || problems+=("cannot prepare $work/cli/$case")
  check "$work/cli/$case" "$case" "$(basename "$cli")"
  if [ -n "$reference" ]; then
    run "$reference" "" "$case" "$work/reference/$case" || problems+=("cannot prepare $work/reference/$case")
    check "$work/reference/$case" "$case" "reference"
    for file in design.asc stderr status; do
      [ -e "$work/cli/$case/$file" ] || [ -e "$work/reference/$case/$file" ] || continue
      cmp -s "$work/cli/$case/$file" "$work/reference/$case/$file" ||
        problems+=("$file differs from the reference host's")
    done
  fi
  if [ ${#problems[@]} -eq 0 ]; then
    passed=$((passed + 1))
    echo "ok     $case (exit $(cat "$work/cli/$case/status"))"
  else
    failed=$((failed + 1))
    echo "FAILED $case"
    printf '  %s\n' "${problems[@]}"
  fi
done

if [ $((passed + failed)) -eq 0 ]; then
  echo "golden-compare: no case (folder with design.ONL) in $cases" >&2
  exit 1
fi
echo "$passed passed, $failed failed${reference:+ (every case compared with $reference)}"
[ "$failed" -eq 0 ]
