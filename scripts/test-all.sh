#!/usr/bin/env bash
# The whole check, as CI runs it: installs what is missing, checks the formatting, builds twice
# and runs the tests with ctest, then prints what each stage took.
#   gcc:   warnings as errors, every test but the fuzzers.
#   clang: address, undefined-behaviour and leak sanitizers, the libFuzzer targets and coverage;
#          every test, then the leak check's own proof and line and branch coverage per folder.
#   clang-tidy: the checks of .clang-tidy over every source file, from the gcc build's compilation
#          database; it runs at the lowest priority beside the test stages (which mostly wait on
#          emulated modems) and is waited for at the end.
# Sanitizer reports of spawned servers land in build/ci-*/sanitizer-reports; any of them fails
# the run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
jobs=$(nproc)

timings=()
stage_name=
stage_start=0
stage() {
  finish_stage
  echo "== $1"
  stage_name=$1
  stage_start=$SECONDS
}
finish_stage() {
  if [ -n "$stage_name" ]; then
    timings+=("$(printf '%5ds  %s' $((SECONDS - stage_start)) "$stage_name")")
  fi
  stage_name=
}
print_timings() {
  finish_stage
  echo "== time per stage"
  printf '%s\n' "${timings[@]}"
  echo "$(printf '%5ds' "$SECONDS")  in all"
}

# ctest in a sanitizer build dir; fails as well when any process (spawned servers too) wrote a
# sanitizer report file there, and prints the reports.
sanitized_ctest() {
  local dir=$1 status=0
  shift
  rm -rf "$dir/sanitizer-reports"
  (cd "$dir" && ctest "$@") || status=$?
  no_sanitizer_reports "$dir" || status=1
  return $status
}
no_sanitizer_reports() {
  local dir=$1/sanitizer-reports
  if compgen -G "$dir/*" >/dev/null; then
    echo "Sanitizer reports in $dir:"
    for f in "$dir"/*; do
      echo "--- $f"
      cat "$f"
    done
    return 1
  fi
}

scripts/install-deps.sh

pgdir=$(mktemp -d /tmp/lonvera-pg.XXXXXX)
tidy_pid=
# A run that fails early does not leave clang-tidy behind.
trap '[ -z "$tidy_pid" ] || kill "$tidy_pid" 2>/dev/null; scripts/pg-cluster.sh stop "$pgdir"; rm -rf "$pgdir"; print_timings' EXIT
eval "$(scripts/pg-cluster.sh start "$pgdir" 55432)"

stage "format"
.ci/check-format.sh

stage "gcc build"
cmake -S . -B build/ci-gcc -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/ci-gcc -j "$jobs"
tidy_log=build/ci-gcc/clang-tidy-run.txt
nice -n 19 .ci/check-tidy.sh build/ci-gcc "$jobs" >"$tidy_log" 2>&1 &
tidy_pid=$!
tidy_start=$SECONDS
stage "gcc tests"
(cd build/ci-gcc && ctest --output-on-failure -j "$jobs" -LE fuzz)

stage "clang sanitizer build"
CC=clang CXX=clang++ cmake -S . -B build/ci-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DLONVERA_SANITIZE=ON -DLONVERA_FUZZ=ON -DLONVERA_COVERAGE=ON \
  -DLONVERA_SANITIZER_REPORT_FILES=ON >/dev/null
cmake --build build/ci-asan -j "$jobs"
stage "clang sanitizer tests"
rm -rf build/ci-asan/profiles
sanitized_ctest build/ci-asan --output-on-failure -j "$jobs"
stage "leak check proof"
.ci/check-leak-probe.sh build/ci-asan
stage "coverage"
# A report, not a gate: a coverage tool that fails says so without failing the run.
.ci/coverage-report.sh build/ci-asan || echo "coverage: no report"
stage "clang-tidy (rest of the wait)"
tidy_status=0
wait "$tidy_pid" || tidy_status=$?
tidy_pid=
cat "$tidy_log"
echo "clang-tidy took $((SECONDS - tidy_start))s beside the stages above"
exit "$tidy_status"
