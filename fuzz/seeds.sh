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

# A design wide enough for the reader's lookup indexes (more than 32 names
# or pins to pass), small enough for the fuzzer's length limit.
{
  printf '(pcb (placement\n'
  for i in $(seq 1 40); do printf '(component C%d (place R%d))\n' "$i" "$i"; done
  printf '(component WIDE (place U1) (place u2))\n) (library\n'
  for i in $(seq 1 40); do printf '(image C%d (pin 1 1))\n' "$i"; done
  printf '(image WIDE'
  for i in $(seq 40 -1 1); do printf ' (pin %d %d) (pin A A%d)' "$i" "$i" "$i"; done
  printf ')\n) (network (net N1 (pins'
  for i in $(seq 1 40); do printf ' R%d-1 U1-%d u2-A%d' "$i" "$i" "$i"; done
  printf ')))\n)\n'
} >"$out/export/wide.ONL"

# The rules a template text exercises, in case no design uses them yet.
printf '{VALUE}\x00\x00VALUE\x0010K\x00' >"$out/template/reference"
printf 'R{VALUE}-{TOLERANCE}x\x00{X}\x00VALUE\x0010K\x00TOLERANCE\x001%%\x00' >"$out/template/mixed"
printf 'a\\tb\\nc\\{d}\\\\\x00{}\x00\x00empty name\x00' >"$out/template/escapes"
printf 'lit{unclosed\x00tail\\\x00' >"$out/template/malformed"
echo "seeds: $(ls "$out/export" | wc -l) designs, $(ls "$out/template" | wc -l) templates"
