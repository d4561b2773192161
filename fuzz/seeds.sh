#!/usr/bin/env bash
# Builds the fuzzers' seed corpora in DIR from the designs the project
# already holds: every intermediate file of examples/ and tests/golden/ for
# the export, and every combine template in them for the template target.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:?usage: fuzz/seeds.sh DIR}
rm -rf "$out"
mkdir -p "$out/export" "$out/template"

n=0
while IFS= read -r -d '' design; do
  cp "$design" "$out/export/design-$((n++)).ONL"
  # A template seed is: template text, NUL, a second text, NUL, then
  # property name/value pairs separated by NULs.
  grep -aoiE '(partvaluecombine|pcbfootprintcombine)[[:space:]]+("[^"]*"|[^[:space:]()]+)' "$design" |
    sed -E 's/^[A-Za-z]+[[:space:]]+//; s/^"(.*)"$/\1/' | while IFS= read -r text; do
      printf '%s\x00\x00VALUE\x0010K\x00TOLERANCE\x005%%\x00' "$text" >"$out/template/from-$n-$RANDOM"
    done || true  # a design without templates gives none
done < <(find examples tests/golden -type f -iname '*.onl' -print0 2>/dev/null)

# The rules a template text exercises, in case no design uses them yet.
printf '{VALUE}\x00\x00VALUE\x0010K\x00' >"$out/template/reference"
printf 'R{VALUE}-{TOLERANCE}x\x00{X}\x00VALUE\x0010K\x00TOLERANCE\x001%%\x00' >"$out/template/mixed"
printf 'a\\tb\\nc\\{d}\\\\\x00{}\x00\x00empty name\x00' >"$out/template/escapes"
printf 'lit{unclosed\x00tail\\\x00' >"$out/template/malformed"
echo "seeds: $(ls "$out/export" | wc -l) designs, $(ls "$out/template" | wc -l) templates"
