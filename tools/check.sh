#!/usr/bin/env bash
# Installs whatever the build and tests need and is missing, builds
# everything and runs every test. Run as root on a fresh machine (apt-get);
# CI runs exactly this. Named stages run alone: tools/check.sh windows.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

usage() {
  cat <<'USAGE'
usage: tools/check.sh [STAGE...]

Installs what is missing (apt-get, as root), builds and runs the named
stages in the order given; with no stage, runs all of them in this order:

  native     Linux library, CLI and the whole test suite (Release)
  windows    both Windows DLLs (x86 and x64) cross-built with mingw-w64,
             their suites under Wine where this machine can run them
  perf       benchmark smoke run: smallest size of every design shape
  sanitize   the whole suite under ASan + UBSan + LSan
  tsan       the concurrent-call tests under ThreadSanitizer
  memcheck   the suite, replays and CLI runs under valgrind
  fuzz       both libFuzzer targets, FUZZ_SECONDS each (default 60)
USAGE
}
all_stages=(native windows perf sanitize tsan memcheck fuzz)

# Debian packages every stage needs; a stage installs its own extras.
packages=(g++ cmake make libgtest-dev libbenchmark-dev)

install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

stage() { echo; echo "== $*"; }

# The native build serves other stages too (the Windows goldens compare
# with its CLI, the smoke run uses its benchmark), so they build it first.
native_build() {
  cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Release -DZEDID_BENCH=ON
  cmake --build build/native -j "$jobs"
}

native() {
  stage "native build and tests"
  install_missing strace  # cli_hostile counts the CLI's writes per message line
  native_build
  (cd build/native && ctest -j "$jobs" --output-on-failure)
}

# The 32-bit Windows DLL, cross-built from the same sources with mingw-w64:
# the unit suite, the command-line host and every golden case run under Wine
# (a private prefix inside build/windows), the golden cases compared byte
# for byte with the native build's host, and the DLL's export and import
# tables checked. Wine needs the i386 architecture for 32-bit programs.
windows_packages=(g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386)

windows() {
  stage "Windows DLL: mingw-w64 cross build, tests under Wine"
  local start=$SECONDS
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  install_missing "${windows_packages[@]}"
  local installed=$SECONDS
  cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
    -DCMAKE_BUILD_TYPE=Release -DZEDID_REFERENCE_CLI="$PWD/build/native/zedid"
  cmake --build build/windows -j "$jobs"
  # The prefix's first start takes about 10 s: once, before any test.
  build/windows/wine-run --boot
  (cd build/windows && ctest -j "$jobs" --output-on-failure)
  local dll=build/windows/zedid.dll
  echo "-- $dll: $(stat -c %s "$dll") bytes; exports: $(i686-w64-mingw32-objdump -p "$dll" |
    sed -n '/Name Pointer\] Table/,/^$/{/Table/d;s/^.*\] //p;}' | xargs); imports: $(
    i686-w64-mingw32-objdump -p "$dll" | sed -n 's/^.*DLL Name: //p' | xargs)"
  echo "-- Windows stage: $((SECONDS - start)) s, of which installing $((installed - start)) s"
}

# The benchmark's smallest size of every design shape, once each: every
# generated design must be formatted end to end. No time is judged here.
perf() {
  stage "benchmark smoke run: smallest size of every shape"
  native_build
  build/native/bench/zedid_perf --smoke --work build/native/perf-smoke
}

# Every sanitizer report ends the program that made it, so a test with a
# report fails; a leak fails the test process at its exit.
asan_options="halt_on_error=1:abort_on_error=0:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:strict_string_checks=1"
ubsan_options="halt_on_error=1:print_stacktrace=1"

sanitize() {
  stage "sanitizers: the whole suite under ASan + UBSan + LSan"
  cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DZEDID_SANITIZE=ON
  cmake --build build/asan -j "$jobs"
  (cd build/asan && ASAN_OPTIONS="$asan_options" UBSAN_OPTIONS="$ubsan_options" \
    ctest -j "$jobs" --output-on-failure)
  # Belt and braces: no report may hide behind a passing status.
  if grep -E "ERROR: (Address|Leak)Sanitizer|runtime error:" build/asan/Testing/Temporary/LastTest.log; then
    echo "sanitizer reports in a passing run"; return 1
  fi
}

# Two threads calling the export at once, thousands of times: a call that
# meets a running one must be refused without touching its state. Any race
# report ends the test program with a failure.
tsan() {
  stage "ThreadSanitizer: concurrent calls"
  cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DZEDID_TSAN=ON
  cmake --build build/tsan -j "$jobs" --target zedid_tests
  TSAN_OPTIONS="halt_on_error=1:abort_on_error=0:exitcode=66" \
    build/tsan/tests/zedid_tests --gtest_filter='Concurrency.*:Export.CallFromInsideACallbackIsRefused'
}

# The whole unit suite in one process under valgrind: the golden designs,
# every failing run of the message tables, repeated calls and the
# allocation-failure sweep, with nothing lost or even left reachable. The
# 50 MB files, the every-prefix sweep and the large write-failure sweep stay
# with the sanitizer stage, where they take seconds instead of minutes; so do
# the forked pairs of runs, whose children valgrind would fail at their exit
# for the test program's reachable memory.
memcheck_skip="*Huge*:*EveryByte*:*LargerThanItsBlock*:*TwoProcesses*"
memcheck_options=(--quiet --error-exitcode=99 --leak-check=full --show-leak-kinds=all
  --errors-for-leak-kinds=all --track-origins=yes)

memcheck() {
  stage "valgrind memcheck: end-to-end, failing and repeated runs"
  install_missing valgrind
  cmake -S . -B build/vg -DCMAKE_BUILD_TYPE=Debug
  cmake --build build/vg -j "$jobs" --target zedid_tests zedid_cli replay_export replay_template
  valgrind "${memcheck_options[@]}" build/vg/tests/zedid_tests --gtest_filter="-$memcheck_skip" --gtest_brief=1
  valgrind "${memcheck_options[@]}" build/vg/fuzz/replay_export tests/regressions/export
  valgrind "${memcheck_options[@]}" build/vg/fuzz/replay_template tests/regressions/template
  # The command-line host loads the shared library as any host would.
  local work=build/vg/cli-work design status
  for design in examples/*.ONL tests/golden/*/design.ONL; do
    [ -e "$design" ] || continue
    rm -rf "$work"; mkdir -p "$work"
    cp "$design" "$work/design.ONL"
    status=0
    (cd "$work" && valgrind "${memcheck_options[@]}" --log-file=valgrind.log ../zedid design >/dev/null 2>&1) ||
      status=$?
    if [ "$status" -gt 2 ]; then
      cat "$work/valgrind.log"; echo "memcheck: zedid $design: status $status"; return 1
    fi
  done
}

# Bounded fuzzing: both targets at once (one core each) for FUZZ_SECONDS,
# seeded from the examples, the golden designs and the regression files.
fuzz_seconds=${FUZZ_SECONDS:-60}

fuzz_target() {
  # Absolute paths: the export target works in a directory of its own.
  local name=$1 maxlen=$2 root=$PWD; shift 2
  local out=$root/build/fuzz/$name
  mkdir -p "$out/corpus" "$out/findings"
  ASAN_OPTIONS="$asan_options" UBSAN_OPTIONS="$ubsan_options" \
    "$root/build/fuzz/fuzz/fuzz_$name" -max_total_time="$fuzz_seconds" -timeout=10 -max_len="$maxlen" \
    -print_final_stats=1 -artifact_prefix="$out/findings/" "$@" \
    "$out/corpus" "$root/build/fuzz/seeds/$name" "$root/tests/regressions/$name" >"$out/log" 2>&1
}

fuzz() {
  stage "fuzzing: each target ${fuzz_seconds}s under ASan + UBSan"
  install_missing clang-14 libclang-rt-14-dev
  cmake -S . -B build/fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZEDID_FUZZ=ON -DZEDID_SANITIZE=ON -DZEDID_TESTS=OFF
  cmake --build build/fuzz -j "$jobs" --target fuzz_export fuzz_template
  fuzz/seeds.sh build/fuzz/seeds
  local failed=0 name
  fuzz_target export 8192 -dict="$PWD/fuzz/onl.dict" & local export_job=$!
  fuzz_target template 1024 & local template_job=$!
  wait "$export_job" || failed=1
  wait "$template_job" || failed=1
  for name in export template; do
    echo "-- fuzz_$name: $(grep -m1 -o 'Loaded 1 modules *([0-9]* inline 8-bit counters)' build/fuzz/$name/log)"
    grep -E "^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::peak_rss_mb|Done [0-9]+ runs)" build/fuzz/$name/log || true
  done
  if [ "$failed" -ne 0 ]; then
    for name in export template; do tail -n 40 build/fuzz/$name/log; ls build/fuzz/$name/findings; done
    echo "fuzzing found a fault: add the input under tests/regressions/ and fix it"
    return 1
  fi
}

stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=("${all_stages[@]}")
for s in "${stages[@]}"; do
  case " ${all_stages[*]} " in
    *" $s "*) ;;
    *) [ "$s" = --help ] || [ "$s" = -h ] || echo "check.sh: unknown stage '$s'" >&2
       usage; [ "$s" = --help ] || [ "$s" = -h ]; exit $? ;;
  esac
done

install_missing "${packages[@]}"
for s in "${stages[@]}"; do "$s"; done
echo
echo "== all checks passed: ${stages[*]}"
