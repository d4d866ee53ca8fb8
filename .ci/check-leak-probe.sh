#!/usr/bin/env bash
# Proves the leak check works: a program that leaks on purpose under the Qt event loop, built
# with LeakSanitizer and run with the project's suppressions, must be reported. Fails when the
# leak goes unseen, that is when .ci/lsan.supp hides leaks of our own.
# Usage: .ci/check-leak-probe.sh [build-dir]   (the program is built in build-dir/leak_probe)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$top/build/ci-asan}/leak_probe
mkdir -p "$out"
read -r -a qt <<<"$(pkg-config --cflags --libs Qt6Core)"
clang++ -std=c++20 -g -O0 -fno-omit-frame-pointer -fsanitize=address -fPIC \
  "$top/.ci/leak_probe/leak_probe.cpp" "${qt[@]}" -o "$out/leak_probe"
set +e
LSAN_OPTIONS=suppressions=$top/.ci/lsan.supp ASAN_OPTIONS=detect_leaks=1 QT_QPA_PLATFORM=offscreen \
  "$out/leak_probe" >"$out/output.txt" 2>&1
status=$?
set -e
if [ "$status" -ne 0 ] && grep -q "leakOnce" "$out/output.txt"; then
  echo "leak check: the deliberate leak was reported (exit $status), as it must be"
  exit 0
fi
cat "$out/output.txt"
echo "leak check: the deliberate leak went unreported (exit $status); .ci/lsan.supp hides our leaks"
exit 1
