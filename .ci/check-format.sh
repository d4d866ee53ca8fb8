#!/usr/bin/env bash
# Fails when clang-format would change any tracked C++ file (the repo's .clang-format).
# Fix with: git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format -i
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z '*.cpp' '*.h' '*.cc' '*.hpp' | xargs -0 -r clang-format --dry-run -Werror
echo "format: clean"
