#!/usr/bin/env bash
# clang-tidy (the checks of .clang-tidy, warnings as errors) over every source file of the tree
# that a build compiles, from that build's compilation database; generated files left out.
# Usage: .ci/check-tidy.sh [build-dir] [jobs]   (build-dir defaults to build/ci-asan)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build/ci-asan}
jobs=${2:-$(nproc)}
tidy=$(command -v clang-tidy-14 || command -v clang-tidy)
runner=$(command -v run-clang-tidy-14 || command -v run-clang-tidy)
# Sources under the checkout only, not moc output or the build's own files.
files="^$top/(?!build/)[^ ]*\\.cpp$"
# run-clang-tidy always asks for colours; the log is read by grep, so they are stripped.
set +o pipefail
"$runner" -clang-tidy-binary "$tidy" -p "$build" -j "$jobs" -quiet "$files" 2>&1 |
  sed -u 's/\x1b\[[0-9;]*m//g' |
  grep --line-buffered -v -E '^([0-9]+ warnings? (and [0-9]+ errors? )?generated|Suppressed [0-9]+ warnings|Use -header-filter=|Use -system-headers)' |
  tee "$build/clang-tidy.txt"
status=${PIPESTATUS[0]}
set -o pipefail
if [ "$status" -ne 0 ] || grep -q -E '(warning|error):' "$build/clang-tidy.txt"; then
  echo "clang-tidy: findings above (also in $build/clang-tidy.txt)"
  exit 1
fi
echo "clang-tidy: clean"
