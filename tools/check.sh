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
  package    the Debian packages (dpkg-buildpackage, lintian, then
             installed, used and purged), the manual page checked with
             groff, a zip per Windows DLL
  windows    both Windows DLLs (x86 and x64) cross-built with mingw-w64,
             their suites under Wine where this machine can run them
  perf       benchmark smoke run: smallest size of every design shape
  sanitize   the whole suite under ASan + UBSan + LSan
  tsan       the concurrent-call tests under ThreadSanitizer
  memcheck   the suite, replays and CLI runs under valgrind
  fuzz       both libFuzzer targets, FUZZ_SECONDS each (default 60)
USAGE
}
all_stages=(native package windows perf sanitize tsan memcheck fuzz)

# Debian packages every stage needs; a stage installs its own extras.
# (pkg-config: the install test builds a host project with it.)
packages=(g++ cmake make pkg-config libgtest-dev libbenchmark-dev)

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

# Both Windows DLLs, x86 (PE32) and x64 (PE32+), cross-built from the same
# sources with mingw-w64. Each build's unit suite, command-line host and
# golden cases run under Wine of its own width (a private prefix inside its
# build folder), the golden cases compared byte for byte with the native
# build's host, and each DLL's export and import tables are checked. groff
# renders the zips' docs/messages.txt from the manual page.
windows_packages=(g++-mingw-w64-i686 binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine wine64 groff-base)

# Some kernels cannot execute 32-bit x86 programs at all ("Exec format
# error"), and then 32-bit Wine cannot start either. Rather than guess from
# uname or the packages, run a 96-byte static i386 ELF that only exits
# with status 42 through the 32-bit system call.
probe32_elf='f0VMRgEBAQAAAAAAAAAAAAIAAwABAAAAVIAECDQAAAAAAAAAAAAAADQAIAABAAAAAAAAAAEAAAAAAAAAAIAECACABAhgAAAAYAAAAAUAAAAAEAAAuAEAAAC7KgAAAM2A'

probe32_said=

can_run_32bit() {
  local probe status=0
  # A file of this run's own: another run writing the same name while this
  # one executes it would fail the probe with "Text file busy".
  mkdir -p build && probe=$(mktemp build/probe32.XXXXXX)
  printf '%s' "$probe32_elf" | base64 -d >"$probe" && chmod +x "$probe"
  probe32_said=$( ("$probe") 2>&1) || status=$?
  rm -f "$probe"
  probe32_said="status $status${probe32_said:+: ${probe32_said##*: }}"
  [ "$status" -eq 42 ]
}

# windows_build ARCH: configures and builds build/windows-ARCH (x86 or x64),
# with its tests even where the folder was first configured without them.
windows_build() {
  local arch=$1 toolchain
  case $arch in x86) toolchain=cmake/mingw-w64-i686.cmake ;; x64) toolchain=cmake/mingw-w64-x86_64.cmake ;; esac
  cmake -S . -B "build/windows-$arch" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DZEDID_TESTS=ON -DZEDID_REFERENCE_CLI="$PWD/build/native/zedid"
  cmake --build "build/windows-$arch" -j "$jobs"
}

# windows_suite ARCH: the build's whole CTest suite under Wine. The prefix's
# first start takes about 10 s: once, before any test.
windows_suite() {
  local arch=$1 start=$SECONDS
  "build/windows-$arch/wine-run" --boot
  (cd "build/windows-$arch" && ctest -j "$jobs" --output-on-failure)
  echo "-- $arch suite under Wine: $((SECONDS - start)) s"
}

windows_summary() {
  local arch=$1 dll=build/windows-$1/zedid.dll objdump
  case $arch in x86) objdump=i686-w64-mingw32-objdump ;; x64) objdump=x86_64-w64-mingw32-objdump ;; esac
  echo "-- $arch $dll: $(stat -c %s "$dll") bytes, $("$objdump" -f "$dll" | sed -n 's/^.*file format //p');" \
    "exports: $("$objdump" -p "$dll" |
    sed -n '/Name Pointer\] Table/,/^$/{/Table/d;s/^.*\] //p;}' | xargs); imports: $(
    "$objdump" -p "$dll" | sed -n 's/^.*DLL Name: //p' | xargs)"
}

windows() {
  stage "Windows DLLs: mingw-w64 cross builds for x86 and x64, tests under Wine"
  local start=$SECONDS run32=0
  if can_run_32bit; then run32=1; fi
  install_missing "${windows_packages[@]}"
  if [ "$run32" -eq 1 ]; then
    # 32-bit Wine only where it can start.
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    install_missing wine32:i386
  fi
  local installed=$SECONDS
  # The golden cases are compared with the native host.
  cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Release -DZEDID_BENCH=ON
  cmake --build build/native -j "$jobs" --target zedid_cli
  windows_build x64
  windows_build x86
  windows_suite x64
  if [ "$run32" -eq 1 ]; then
    windows_suite x86
  else
    echo "-- This machine cannot run 32-bit programs (a tiny 32-bit test program ended with $probe32_said)," \
      "so the 32-bit DLL was built and checked but not run: its file type, export table and imports are checked below."
    cmake -DOBJDUMP=i686-w64-mingw32-objdump -DARCH=i386 -DLIBRARY=build/windows-x86/zedid.dll \
      -P tests/windows_exports_check.cmake
    cmake -DOBJDUMP=i686-w64-mingw32-objdump -DLIBRARY=build/windows-x86/zedid.dll -DNAME=zedid.dll \
      -DVERSION="$(project_version)" -P tests/windows_version_check.cmake
  fi
  windows_summary x64
  windows_summary x86
  echo "-- Windows stage: $((SECONDS - start)) s, of which installing $((installed - start)) s"
}

# The version in project(), the one the packages and binaries carry.
project_version() {
  sed -n 's/^project(zedid VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt
}

# What users are handed. The Debian packages are built by
# dpkg-buildpackage from debian/, in a copy of the sources under build/deb
# (it writes its packages beside the source folder), and must be lintian
# clean: no error, warning or information that debian/*.lintian-overrides
# does not explain. They are installed into this machine with dpkg, used as
# a user and a host project would use them, and purged again, leaving
# nothing behind. The manual page must format without a groff warning. Each
# Windows build folder gets its zip, whose files are checked as shipped.
# (dpkg-buildpackage asks every build for build-essential.)
package_packages=(build-essential dpkg-dev debhelper lintian groff-base man-db pkg-config)
deb_packages=(libzedid1 libzedid-dev zedid)

# deb_build VERSION: build/deb/PACKAGE_VERSION_ARCH.deb of each package.
deb_build() {
  local version=$1 source=build/deb/zedid-$1
  rm -rf build/deb && mkdir -p "$source"
  tar -c --exclude=./build --exclude='./build-*' --exclude=./.git . | tar -x -C "$source"
  [ "$(cd "$source" && dpkg-parsechangelog -S Version)" = "$version" ] ||
    { echo "debian/changelog's version is not $version, the project's"; return 1; }
  (cd "$source" && dpkg-buildpackage -us -uc -b)
}

# The installed packages at work; 1 at the first thing that is wrong.
deb_installed_checks() {
  local version=$1 work=$PWD/build/deb/run status=0 found
  local expected=$PWD/tests/golden/worked_example/expected.asc
  command -v zedid | grep -qx /usr/bin/zedid || { echo "zedid is not /usr/bin/zedid"; return 1; }
  [ "$(zedid --version)" = "zedid $version" ] || { echo "zedid --version: $(zedid --version)"; return 1; }
  rm -rf "$work" && mkdir -p "$work" && cp /usr/share/doc/zedid/examples/worked.ONL "$work/"
  (cd "$work" && zedid worked.ONL) || status=$?
  [ "$status" -eq 1 ] || { echo "installed zedid on the worked example: status $status, expected 1"; return 1; }
  cmp "$work/worked.asc" "$expected" || { echo "installed zedid: worked.asc differs from $expected"; return 1; }
  echo "-- installed zedid on the worked example: status $status, netlist as expected"
  [ "$(man -w zedid)" = /usr/share/man/man1/zedid.1.gz ] || { echo "man -w zedid: $(man -w zedid)"; return 1; }
  [ "$(pkg-config --modversion zedid)" = "$version" ] || { echo "pkg-config finds no zedid $version"; return 1; }
  # The system's folders go without saying.
  found=$(pkg-config --cflags --libs zedid | xargs)
  [ "$found" = "-lzedid" ] || { echo "pkg-config --cflags --libs zedid: '$found', expected '-lzedid'"; return 1; }
  # Read whole first: grep -q ending early would break the pipe under pipefail.
  found=$(ldconfig -p)
  grep -q 'libzedid\.so\.1 ' <<<"$found" || { echo "the loader's cache lacks libzedid.so.1"; return 1; }
  # Host projects built against the installed files alone, with the CMake
  # package and with pkg-config.
  cmake -S tests/install/find_package -B "$work/find_package" -DZEDID_WANTED_VERSION=1 >/dev/null
  grep -qx "zedid_DIR:PATH=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake/zedid" \
    "$work/find_package/CMakeCache.txt" || { echo "find_package(zedid) did not find the installed package"; return 1; }
  cmake --build "$work/find_package" >/dev/null
  mkdir -p "$work/pkgconfig"
  make -s -C "$work/pkgconfig" -f "$PWD/tests/install/pkgconfig/Makefile" SRCDIR="$PWD/tests/install/pkgconfig"
  for found in find_package/consumer pkgconfig/consumer; do
    status=0
    (cd "$work" && "./$found" worked "$found.asc" 2>/dev/null) || status=$?
    [ "$status" -eq 1 ] && cmp -s "$work/$found.asc" "$expected" ||
      { echo "the host project $found: status $status, or its netlist differs"; return 1; }
  done
  echo "-- host projects built with find_package(zedid) and with pkg-config: netlists as expected"
}

package() {
  stage "packages: the Debian packages linted, installed, used and purged; the manual page; the Windows zips"
  install_missing "${package_packages[@]}" "${windows_packages[@]}"
  local version status=0 path warnings deb debs=() files start=$SECONDS debian
  version=$(project_version)

  warnings=$(groff -ww -man -z docs/zedid.1 2>&1) && [ -z "$warnings" ] ||
    { echo "$warnings"; echo "groff -ww: docs/zedid.1 is not clean"; return 1; }
  warnings=$(MANWIDTH=80 man --warnings=w -l docs/zedid.1 2>&1 >/dev/null) && [ -z "$warnings" ] ||
    { echo "$warnings"; echo "man ./docs/zedid.1 warns"; return 1; }
  echo "-- docs/zedid.1: groff -ww and man render it without a warning"

  deb_build "$version"
  for deb in "${deb_packages[@]}"; do debs+=("build/deb/${deb}_${version}_$(dpkg --print-architecture).deb"); done
  # Overridden tags are shown with their reasons ("O:" and "N:" lines). This
  # lintian counts a shown override as a tag for --fail-on, so the verdict
  # is read from its report.
  local report
  report=$(lintian --display-info --show-overrides "${debs[@]}" 2>&1) || status=$?
  echo "$report"
  [ "$status" -eq 0 ] && ! grep -q '^[EWI]: ' <<<"$report" || { echo "lintian: the packages are not clean"; return 1; }
  echo "-- lintian: no error, warning or information on ${deb_packages[*]}"
  for deb in "${debs[@]}"; do
    echo "-- $deb: $(stat -c %s "$deb") bytes, installed size $(dpkg-deb -f "$deb" Installed-Size) KiB;" \
      "depends: $(dpkg-deb -f "$deb" Depends)"
    dpkg-deb --contents "$deb"
  done
  # Through the symbols file: any 1.x library will do.
  dpkg-deb -f "${debs[2]}" Depends | grep -q 'libzedid1 (>= 1\.0)' ||
    { echo "zedid does not depend on libzedid1 (>= 1.0)"; return 1; }

  if dpkg-query -W "${deb_packages[@]}" >/dev/null 2>&1; then
    echo "-- purging the zedid packages a former run left"; dpkg --purge "${deb_packages[@]}"
  fi
  dpkg -i "${debs[@]}"
  files=$(dpkg -L "${deb_packages[@]}" | grep zedid)
  deb_installed_checks "$version" || status=1
  # Purged whatever the checks said.
  dpkg --purge "${deb_packages[@]}"
  [ "$status" -eq 0 ] || return 1
  ! dpkg-query -W "${deb_packages[@]}" 2>/dev/null || { echo "dpkg still knows a zedid package after the purge"; return 1; }
  while read -r path; do
    [ ! -e "$path" ] && [ ! -L "$path" ] || { echo "dpkg --purge left $path"; return 1; }
  done <<<"$files"
  files=$(ldconfig -p)
  ! grep -q libzedid <<<"$files" || { echo "the loader's cache still lists libzedid"; return 1; }
  echo "-- dpkg --purge ${deb_packages[*]}: packages, files and the loader's entry gone"
  debian=$SECONDS

  local arch objdump zip root
  for arch in x86 x64; do
    case $arch in x86) objdump=i686-w64-mingw32-objdump ;; x64) objdump=x86_64-w64-mingw32-objdump ;; esac
    windows_build "$arch"
    rm -rf "build/windows-$arch/packages"
    (cd "build/windows-$arch" && cpack -G ZIP)
    zip=build/windows-$arch/packages/zedid-$version-windows-$arch.zip
    echo "-- $zip: $(stat -c %s "$zip") bytes"
    cmake -E tar tvf "$zip"
    # The zip holds the DLL the suite tested, with its one export, system
    # imports and version resource.
    root=build/windows-$arch/packages/unpacked
    rm -rf "$root" && mkdir -p "$root" && (cd "$root" && cmake -E tar xf "../$(basename "$zip")")
    root=$root/zedid-$version-windows-$arch
    for path in zedid.dll zedid.exe zedid.h README.md LICENSE docs/format.md docs/messages.txt examples/worked.ONL; do
      [ -f "$root/$path" ] || { echo "$zip lacks $path"; return 1; }
    done
    for path in zedid.dll zedid.exe; do
      cmp "$root/$path" "build/windows-$arch/$path" || { echo "$zip: $path is not the built one"; return 1; }
    done
    ! "$objdump" -f "$root/zedid.exe" | grep -q HAS_SYMS || { echo "$zip: zedid.exe is not stripped"; return 1; }
    # Every numbered message has its entry in the text rendered from the page.
    for path in $(grep -o '"\[FMT[0-9]*\]' resources/messages.def | tr -d '"'); do
      grep -qF "$path" "$root/docs/messages.txt" || { echo "$zip: docs/messages.txt lacks $path"; return 1; }
    done
    echo "-- $zip: zedid.exe ($(stat -c %s "$root/zedid.exe") bytes, stripped) and zedid.dll as built and tested;" \
      "docs/messages.txt lists every numbered message"
    cmake -DOBJDUMP="$objdump" -DARCH="$(case $arch in x86) echo i386 ;; x64) echo x86-64 ;; esac)" \
      -DLIBRARY="$root/zedid.dll" -P tests/windows_exports_check.cmake
    cmake -DOBJDUMP="$objdump" -DLIBRARY="$root/zedid.dll" -DNAME=zedid.dll -DVERSION="$version" \
      -P tests/windows_version_check.cmake
  done
  echo "-- package stage: $((SECONDS - start)) s, of which the Debian packages $((debian - start)) s"
}

# The benchmark's smallest size of every design shape, once each: every
# generated design must be formatted end to end. No time is judged here.
perf() {
  stage "benchmark smoke run: smallest size of every shape"
  native_build
  build/native/bench/zedid_perf --smoke --work build/native/perf-smoke
}

# Every sanitizer report ends the program that made it, so a test with a
# report fails; a leak fails the test process at its exit. Every record of
# a design is a heap block of its own, so a write past one is reported too.
asan_options="halt_on_error=1:abort_on_error=0:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:strict_string_checks=1"
ubsan_options="halt_on_error=1:print_stacktrace=1"

sanitize() {
  stage "sanitizers: the whole suite under ASan + UBSan + LSan"
  cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DZEDID_SANITIZE=ON -DZEDID_CARVE_APART=ON
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

# The whole unit suite in one process under valgrind, every record of a
# design a heap block of its own that valgrind watches: the golden designs,
# every failing run of the message tables, repeated calls and the
# allocation-failure sweep, with nothing lost or even left reachable. The
# 50 MB files, the every-prefix sweep and the large write-failure sweep stay
# with the sanitizer stage, where they take seconds instead of minutes; so do
# the forked pairs of runs, whose children valgrind would fail at their exit
# for the test program's reachable memory.
memcheck_skip="*Huge*:*EveryByte*:*LargerThanItsBlock*:*TwoProcesses*"
# A test's forked child ends by _exit or a signal with the test program's
# whole state still reachable, which says nothing about the library; the
# same runs are checked in the parent.
memcheck_options=(--quiet --error-exitcode=99 --leak-check=full --show-leak-kinds=all
  --errors-for-leak-kinds=all --track-origins=yes --child-silent-after-fork=yes)

memcheck() {
  stage "valgrind memcheck: end-to-end, failing and repeated runs"
  install_missing valgrind
  cmake -S . -B build/vg -DCMAKE_BUILD_TYPE=Debug -DZEDID_CARVE_APART=ON
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
