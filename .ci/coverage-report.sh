#!/usr/bin/env bash
# Line and branch coverage per folder of a LONVERA_COVERAGE build, from the profiles its tests
# (and the servers they spawned) wrote to build-dir/profiles. Tests, benchmarks and generated
# files are left out of the figures; the per-file table goes to build-dir/coverage/files.txt.
# Usage: .ci/coverage-report.sh build-dir
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
out=$build/coverage
mkdir -p "$out"
shopt -s nullglob
profiles=("$build"/profiles/*.profraw)
if [ ${#profiles[@]} -eq 0 ]; then
  echo "coverage: no profiles in $build/profiles (configure with -DLONVERA_COVERAGE=ON)"
  exit 1
fi
llvm-profdata merge -sparse "${profiles[@]}" -o "$out/all.profdata"

# Every program and shared library the build made: the first is the object, the rest -object.
objects=()
for f in "$build"/bin/*; do
  [ -f "$f" ] && [ "$(head -c4 "$f" | tail -c3)" = ELF ] || continue
  if [ ${#objects[@]} -eq 0 ]; then objects+=("$f"); else objects+=(-object "$f"); fi
done
ignore='(/tests/|/bench/|_autogen/|/\.rcc/|^/usr/)'
llvm-cov report -instr-profile "$out/all.profdata" "${objects[@]}" \
  -ignore-filename-regex="$ignore" >"$out/files.txt"
llvm-cov export -format=text -summary-only -instr-profile "$out/all.profdata" "${objects[@]}" \
  -ignore-filename-regex="$ignore" >"$out/summary.json"
python3 - "$top" "$out/summary.json" <<'PY'
import collections, json, os, sys
top, path = sys.argv[1], sys.argv[2]
totals = collections.defaultdict(lambda: [0, 0, 0, 0])
for data in json.load(open(path))["data"]:
    for f in data["files"]:
        name = os.path.relpath(f["filename"], top)
        if name.startswith(".."):
            continue
        s = f["summary"]
        t = totals[os.path.dirname(name)]
        t[0] += s["lines"]["covered"]; t[1] += s["lines"]["count"]
        t[2] += s["branches"]["covered"]; t[3] += s["branches"]["count"]
def pct(a, b):
    return f"{100.0 * a / b:5.1f}%" if b else "    -"
print(f"{'folder':34} {'lines':>16} {'line%':>7} {'branches':>16} {'branch%':>7}")
all_ = [0, 0, 0, 0]
for folder in sorted(totals):
    t = totals[folder]
    all_ = [x + y for x, y in zip(all_, t)]
    print(f"{folder:34} {t[0]:>7}/{t[1]:<8} {pct(t[0], t[1]):>7} {t[2]:>7}/{t[3]:<8} {pct(t[2], t[3]):>7}")
print(f"{'all':34} {all_[0]:>7}/{all_[1]:<8} {pct(all_[0], all_[1]):>7} {all_[2]:>7}/{all_[3]:<8} {pct(all_[2], all_[3]):>7}")
PY
