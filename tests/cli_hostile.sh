#!/usr/bin/env bash
# The command-line host on bad days, as a user meets them on Linux: a full
# device, runs killed half-way, parallel runs in one folder, links and
# permissions of the destination, long paths, memory running out, one
# write per message line.
# usage: cli_hostile.sh ZEDID EXAMPLE.ONL WORK [FAILING_ALLOCATION.so]
set -u
zedid=$(realpath "$1") example=$(realpath "$2") work=$3 failing=${4:+$(realpath "$4")}
ulimit -c 0  # SIGQUIT would leave a core file
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
for signal in INT TERM HUP QUIT ALRM USR1 KILL; do
  rm -f waiting.ONL; mkfifo waiting.ONL
  # A background job starts with INT and QUIT ignored; these take them.
  env --default-signal=INT,QUIT "$zedid" waiting -o out.asc 2>err & pid=$!
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

# A design from standard input that has not ended: terminated, its private
# copy goes with the working folder, and the old netlist stays whole.
rm -f feed; mkfifo feed
"$zedid" - -o out.asc <feed 2>err & pid=$!
exec 3>feed; cat design.ONL >&3; sleep 0.3
kill -s TERM "$pid"; wait "$pid" 2>/dev/null; status=$?; exec 3>&-; rm -f feed
check "-, SIGTERM: ended by the signal, the old netlist whole" \
  bash -c "[ $status -gt 128 ] && [ \"\$(cat out.asc)\" = 'good old netlist' ]"
check "-, SIGTERM: says so" grep -qx "zedid: interrupted; out.asc was left as it was" err
check "-, SIGTERM: nothing left behind" nothing_left

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

# Past the size limit for files (SIGXFSZ): a write error like any other,
# the old netlist whole and nothing left behind.
{ echo '(pcb (description (title "big")) (placement (component RESISTOR'
  for i in $(seq 300); do echo "(place R$i (property (\"Value\" \"10K\")))"; done
  echo ')) (library (image RESISTOR (pin 1 1 (property (pinname "1"))) (pin 2 2 (property (pinname "2")))))'
  echo '(network (net N1 (pins'; for i in $(seq 300); do echo "R$i-1"; done; echo ')))'; echo ')'
} >big.ONL
echo "good old netlist" >out.asc
(ulimit -f 1; "$zedid" -q big -o out.asc 2>err); status=$?
check "SIGXFSZ: status 2 ($status)" [ "$status" -eq 2 ]
check "SIGXFSZ: a write error, said so" \
  bash -c 'grep -qx "\[FMT0025\] Can.t write output file" err && grep -qx "zedid: out.asc was left as it was" err'
check "SIGXFSZ: the old netlist is whole" [ "$(cat out.asc)" = "good old netlist" ]
check "SIGXFSZ: nothing left behind" nothing_left

# A relative TMPDIR is taken from the folder the run started in.
mkdir -p reltmp
TMPDIR=reltmp "$zedid" design -o - >piped 2>/dev/null; status=$?
check "relative TMPDIR: the run works ($status)" bash -c "[ $status -eq 1 ] && cmp -s piped expected.asc"
check "relative TMPDIR: nothing left behind" [ -z "$(ls -A reltmp)" ]

# Names as long as the system allows: an output of 242 bytes, a design of
# 238 bytes (whose DESIGN.asc is 242), whatever the new file's mark adds.
long=$(printf 'n%.0s' $(seq 238))
cp design.ONL "$long.ONL"
"$zedid" design -o "${long}.out" 2>/dev/null; status=$?
check "a 242-byte output name ($status)" bash -c "[ $status -eq 1 ] && cmp -s ${long}.out expected.asc"
"$zedid" "$long" 2>/dev/null; status=$?
check "a 238-byte design name ($status)" bash -c "[ $status -eq 1 ] && cmp -s ${long}.asc expected.asc"
check "long names: nothing left behind" nothing_left
rm -f "$long".*

# A folder deeper than the longest absolute path: relative names work.
deep=$(printf 'd%.0s' $(seq 200))
(
  for _ in $(seq 24); do mkdir "$deep" && cd "$deep" || exit 1; done
  cp "$work/design.ONL" . && "$zedid" design -o out.asc 2>"$work/err"; echo $? >"$work/status"
  cmp -s out.asc "$work/expected.asc" && echo same >"$work/status2"
)
check "a folder deeper than PATH_MAX: status $(cat status)" bash -c '[ "$(cat status)" -eq 1 ] && [ -e status2 ]'
check "a folder deeper than PATH_MAX: nothing left behind" nothing_left
rm -rf "$deep" status status2

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

# A destination the netlist is copied into, which stays the very file it
# was: a link (the kernel decides whether it may be followed), a file with
# other names, another user's file. A read-only file is refused.
inode=$(stat -c %i real.asc)
"$zedid" design -o link.asc 2>/dev/null
check "a linked destination's target stays the same file" [ "$(stat -c %i real.asc)" = "$inode" ]
rm -f gone.asc; ln -sf gone.asc dangling.asc
"$zedid" design -o dangling.asc 2>/dev/null; status=$?
check "a dangling link stays a link, its target gets the netlist ($status)" \
  bash -c "[ $status -eq 1 ] && [ -L dangling.asc ] && cmp -s gone.asc expected.asc"
echo old >first.asc; ln -f first.asc second.asc
"$zedid" design -o first.asc 2>/dev/null; status=$?
check "a hard-linked destination: its other name has the netlist ($status)" \
  bash -c "[ $status -eq 1 ] && cmp -s second.asc expected.asc && [ \$(stat -c %h first.asc) -eq 2 ]"
check "destinations written in place: nothing left behind" nothing_left
mkdir -m 1777 usertmp
if [ "$(id -u)" -eq 0 ]; then
  user() { TMPDIR=$work/usertmp setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
else
  user() { TMPDIR=$work/usertmp "$@"; }
fi
mkdir -m 1777 sticky
echo old >sticky/readonly.asc; chmod 444 sticky/readonly.asc
[ "$(id -u)" -eq 0 ] && chown 65534:65534 sticky/readonly.asc
user "$zedid" design -o sticky/readonly.asc 2>err; status=$?
check "a read-only destination is refused ($status)" \
  bash -c "[ $status -eq 2 ] && [ \"\$(cat sticky/readonly.asc)\" = old ] && grep -qx \"zedid: can't put the netlist in place as sticky/readonly.asc: Permission denied; sticky/readonly.asc was left as it was\" err"
if [ "$(id -u)" -eq 0 ]; then
  echo old >sticky/users.asc; chown 65534:65534 sticky/users.asc; chmod 4755 sticky/users.asc
  "$zedid" design -o sticky/users.asc 2>/dev/null; status=$?
  check "root writing a user's file: it stays the user's ($status)" \
    bash -c "[ $status -eq 1 ] && [ \$(stat -c %u sticky/users.asc) -eq 65534 ] && cmp -s sticky/users.asc expected.asc"
  echo old >sticky/roots.asc; chmod 666 sticky/roots.asc
  user "$zedid" design -o sticky/roots.asc 2>err; status=$?
  check "a user writing another's writable file in a sticky folder ($status)" \
    bash -c "[ $status -eq 1 ] && [ \$(stat -c %u sticky/roots.asc) -eq 0 ] && cmp -s sticky/roots.asc expected.asc"
  if [ "$(cat /proc/sys/fs/protected_symlinks 2>/dev/null)" = 1 ]; then
    echo precious >victim; user ln -s "$work/victim" sticky/planted.asc
    "$zedid" design -o sticky/planted.asc 2>/dev/null; status=$?
    check "a link planted in a sticky folder is not followed ($status)" \
      bash -c "[ $status -eq 2 ] && [ \"\$(cat victim)\" = precious ]"
  else
    echo "skipped: a planted link (the kernel here follows links in sticky folders)"
  fi
else
  echo "skipped: other users' files (not root)"
fi
(cd sticky && TMPDIR=../usertmp && check "sticky folder: nothing left behind" nothing_left)
# An output folder the process may not write: told once, nothing run.
mkdir -m 555 readonly
user "$zedid" -d readonly design other 2>err; status=$?
check "an unwritable -d folder: status 2, one line ($status)" \
  bash -c "[ $status -eq 2 ] && [ \"\$(cat err)\" = \"zedid: can't write netlists into readonly: Permission denied\" ]"
check "an unwritable -d folder: nothing in it" [ -z "$(ls -A readonly)" ]
rmdir readonly
rm -rf sticky usertmp

# Memory running out at each allocation in turn: a line and status 2 with
# the old netlist whole, or the netlist written; never an abort, never
# anything left behind.
if [ -n "$failing" ]; then
  points=0 wrong=""
  for destination in out.asc - stdin; do
    design=design to=$destination
    [ "$destination" = stdin ] && design=- to=out.asc
    for n in $(seq 0 5000); do
      echo "good old netlist" >out.asc; rm -f reached
      ZEDID_FAIL_ALLOCATION=$n ZEDID_FAIL_REACHED=$work/reached LD_PRELOAD=$failing \
        "$zedid" "$design" -o "$to" <design.ONL >piped 2>err; status=$?
      [ -e reached ] || break
      points=$((points + 1))
      [ "$destination" = - ] && written=piped || written=out.asc
      if [ "$status" -eq 2 ]; then
        grep -q '^zedid: \|^\[FMT' err && [ "$(cat out.asc)" = "good old netlist" ] &&
          { [ "$destination" = out.asc ] || [ ! -s piped ]; } || wrong="$wrong $destination:$n($status)"
      elif [ "$status" -ne 1 ] || ! cmp -s "$written" expected.asc; then
        wrong="$wrong $destination:$n($status)"
      fi
      nothing_left || wrong="$wrong $destination:$n(left)"
      rm -rf "$TMPDIR"/* .out.asc.zedid-*
    done
  done
  check "memory running out at each of $points allocations:${wrong:- all sound}" [ -z "$wrong" ]
else
  echo "skipped: memory running out (no failing allocator in this build)"
fi

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
  ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=0" strace -f -e trace=write -o trace "$zedid" design other 2>lines
  writes=$(grep -c '^[0-9]* *write(2,' trace)
  check "one write per line marked with its design ($writes for $(wc -l <lines))" [ "$writes" -eq "$(wc -l <lines)" ]
else
  echo "skipped: one write per message line (strace is not installed)"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
