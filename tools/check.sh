#!/usr/bin/env bash
# Installs whatever the build and tests need and is missing, builds
# everything and runs every test. Run as root on a fresh machine (apt-get);
# CI runs exactly this.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

# Debian packages each stage needs; only the missing ones are installed.
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

native() {
  stage "native build and tests"
  cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Release -DZEDID_BENCH=ON
  cmake --build build/native -j "$jobs"
  (cd build/native && ctest -j "$jobs" --output-on-failure)
}

install_missing "${packages[@]}"
native
echo
echo "== all checks passed"
