#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds twice (gcc with warnings as errors; clang with address and
# undefined-behaviour sanitizers plus the libFuzzer targets) and runs every test with ctest.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
jobs=$(nproc)

scripts/install-deps.sh

pgdir=$(mktemp -d /tmp/lonvera-pg.XXXXXX)
trap 'scripts/pg-cluster.sh stop "$pgdir"; rm -rf "$pgdir"' EXIT
eval "$(scripts/pg-cluster.sh start "$pgdir" 55432)"

echo "== format"
.ci/check-format.sh

echo "== gcc build"
cmake -S . -B build/ci-gcc -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/ci-gcc -j "$jobs"
(cd build/ci-gcc && ctest --output-on-failure -j "$jobs" -LE fuzz)

echo "== clang sanitizer build"
CC=clang CXX=clang++ cmake -S . -B build/ci-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DLONVERA_SANITIZE=ON -DLONVERA_FUZZ=ON >/dev/null
cmake --build build/ci-asan -j "$jobs"
(cd build/ci-asan && ctest --output-on-failure -j "$jobs")
