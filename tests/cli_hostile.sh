#!/usr/bin/env bash
# The command-line host on bad days, as a user meets them on Linux: a full
# device, runs killed half-way, parallel runs in one folder, links and
# permissions of the destination, one write per message line.
# usage: cli_hostile.sh ZEDID EXAMPLE.ONL WORK
set -u
zedid=$(realpath "$1") example=$(realpath "$2") work=$3
rm -rf "$work"; mkdir -p "$work/tmp"; cd "$work" || exit 1
export TMPDIR=$work/tmp   # where the private working folders go
passed=0 failed=0

check() {  # check NAME CONDITION...: one result line
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "ok - $name"
  else failed=$((failed + 1)); echo "FAILED - $name"; fi
}
nothing_left() {  # no partial netlist beside OUTPUT, no working folder
  [ -z "$(ls -A "$TMPDIR")" ] && [ -z "$(ls -A . | grep '\.zedid-')" ]
}

cp "$example" design.ONL
"$zedid" design 2>expected.err; status=$?
cp design.asc expected.asc
check "the example runs" [ "$status" -eq 1 ]

# Output to a full device: an error, never "Done".
"$zedid" design -o /dev/full 2>err; status=$?
check "/dev/full: status 2" [ "$status" -eq 2 ]
check "/dev/full: message 25, no Done" \
  bash -c 'grep -qx "\[FMT0025\] Can.t write output file" err && ! grep -qx Done err'

# A run killed while it waits for its design (a FIFO nobody writes):
# terminated, it removes what it made and says so; killed outright, it
# still leaves the old netlist whole.
echo "good old netlist" >out.asc
for signal in TERM HUP KILL; do  # a background job ignores INT
  rm -f waiting.ONL; mkfifo waiting.ONL
  "$zedid" waiting -o out.asc 2>err & pid=$!
  sleep 0.3
  kill -s "$signal" "$pid"; wait "$pid" 2>/dev/null; status=$?
  check "SIG$signal: ended by the signal" [ "$status" -gt 128 ]
  check "SIG$signal: the old netlist is whole" [ "$(cat out.asc)" = "good old netlist" ]
  if [ "$signal" != KILL ]; then
    check "SIG$signal: says so" grep -q "interrupted; out.asc was left as it was" err
    check "SIG$signal: nothing left behind" nothing_left
  fi
  rm -rf .out.asc.zedid-* "$TMPDIR"/*
done
rm -f waiting.ONL

# -o - while waiting for its design: terminated, nothing reaches standard
# output and nothing is left behind.
rm -f waiting.ONL; mkfifo waiting.ONL
"$zedid" waiting -o - >piped 2>err & pid=$!
sleep 0.3
kill -s TERM "$pid"; wait "$pid" 2>/dev/null; status=$?
check "-o -, SIGTERM: ended by the signal, nothing on standard output" bash -c "[ $status -gt 128 ] && [ ! -s piped ]"
check "-o -, SIGTERM: says so" grep -qx "zedid: interrupted; nothing was written to standard output" err
check "-o -, SIGTERM: nothing left behind" nothing_left
rm -f waiting.ONL

# -o - to a full device or a pipe whose reader has gone: an error that
# says why, and nothing left behind. The design is held back (a FIFO) until
# the reader is surely gone.
"$zedid" design -o - >/dev/full 2>err; status=$?
check "-o - to /dev/full: status 2" [ "$status" -eq 2 ]
check "-o - to /dev/full: says why" grep -qx "zedid: can't write the netlist to standard output: No space left on device" err
check "-o - to /dev/full: nothing left behind" nothing_left
for pipe in default ignored; do
  rm -f waiting.ONL closed; mkfifo waiting.ONL
  { if [ "$pipe" = ignored ]; then trap '' PIPE; fi; "$zedid" waiting -o - 2>err; echo $? >status; } |
    { exec <&-; : >closed; } &
  for _ in $(seq 100); do [ -e closed ] && break; sleep 0.05; done
  timeout 10 bash -c "cat design.ONL >waiting.ONL"; wait
  status=$(cat status)
  if [ "$pipe" = default ]; then
    check "-o - to a closed pipe: ended by SIGPIPE ($status)" [ "$status" -eq 141 ]
    check "-o - to a closed pipe: says so" grep -qx "zedid: interrupted; the netlist on standard output is incomplete" err
  else
    check "-o - to a closed pipe, SIGPIPE ignored: status 2 ($status)" [ "$status" -eq 2 ]
    check "-o - to a closed pipe, SIGPIPE ignored: says why" \
      grep -qx "zedid: can't write the netlist to standard output: Broken pipe" err
  fi
  check "-o - to a closed pipe, SIGPIPE $pipe: nothing left behind" nothing_left
done
rm -f waiting.ONL closed status

# Standard streams closed at the start: -o - fails, and no file the run
# opens takes a closed stream's number (messages written into the netlist).
"$zedid" design -o - >&- 2>err; status=$?
check "-o - with standard output closed: status 2" \
  bash -c "[ $status -eq 2 ] && grep -q \"can't write the netlist to standard output\" err"
"$zedid" design -o closed.asc 2>&-; status=$?
check "standard error closed: the netlist is whole" bash -c "[ $status -eq 1 ] && cmp -s closed.asc expected.asc"
check "closed streams: nothing left behind" nothing_left

# Twenty pairs of different designs at once in one folder: each gets its
# own netlist.
sed -e 's/(net GND/(net GND2/' -e 's/(tracewidth "20")/(tracewidth "35")/' design.ONL >other.ONL
"$zedid" other -o other.expected 2>/dev/null
wrong=0
for round in $(seq 20); do
  "$zedid" design -o "a$round.asc" 2>/dev/null & first=$!
  "$zedid" other -o "b$round.asc" 2>/dev/null & second=$!
  wait "$first"; s1=$?; wait "$second"; s2=$?
  { [ "$s1" -eq 1 ] && [ "$s2" -eq 1 ] && cmp -s "a$round.asc" expected.asc && cmp -s "b$round.asc" other.expected; } ||
    wrong=$((wrong + 1))
done
check "parallel runs in one folder: $wrong of 20 pairs wrong" [ "$wrong" -eq 0 ]
check "parallel runs leave nothing behind" nothing_left

# A ZEDID.TMP folder planted in the current folder blocks nothing.
mkdir ZEDID.TMP
"$zedid" design -o planted.asc 2>/dev/null; status=$?
check "planted ZEDID.TMP folder: the run works" bash -c "[ $status -eq 1 ] && cmp -s planted.asc expected.asc"
rmdir ZEDID.TMP

# The destination is replaced whole: through its link, keeping its mode.
echo old >real.asc; ln -sf real.asc link.asc; chmod 640 real.asc
"$zedid" design -o link.asc 2>/dev/null
check "a linked destination stays a link" [ -L link.asc ]
check "the link's target gets the netlist" cmp -s real.asc expected.asc
check "the target keeps its permissions" [ "$(stat -c %a real.asc)" = 640 ]

# A name that starts with '-' after "--".
cp design.ONL ./-dash.ONL
"$zedid" -- -dash 2>/dev/null; status=$?
check "-- ends options" bash -c "[ $status -eq 1 ] && cmp -s ./-dash.asc expected.asc"

# A design file named in another letter case: a clear message with a hint,
# and the netlist of that name untouched.
cp design.ONL lower.onl; echo "good old netlist" >lower.asc
"$zedid" lower.onl 2>err; status=$?
check "lower-case .onl: status 2" [ "$status" -eq 2 ]
check "lower-case .onl: names the path and hints" \
  bash -c "grep -qx 'zedid: no design file $work/lower.ONL' err && grep -q 'hint: there is lower.onl' err"
check "lower-case .onl: the netlist is untouched" [ "$(cat lower.asc)" = "good old netlist" ]

# One write(2) per message line, however many lines.
if command -v strace >/dev/null; then
  # LeakSanitizer cannot run under ptrace; the sanitizer stage runs this too.
  ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" strace -f -e trace=write -o trace "$zedid" design -o traced.asc 2>/dev/null
  writes=$(grep -c '^[0-9]* *write(2,' trace)
  check "one write per message line ($writes for $(wc -l <expected.err))" [ "$writes" -eq "$(wc -l <expected.err)" ]
else
  echo "skipped: one write per message line (strace is not installed)"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
