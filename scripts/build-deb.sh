#!/usr/bin/env bash
# Builds the Debian package lonvera_<version>_amd64.deb: installs what the build lacks, builds the
# release in build/deb (or BUILD_DIR) and runs CPack. Prints the package's path.
#
#   scripts/build-deb.sh            then: sudo apt install ./build/deb/lonvera_*_amd64.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build/deb}
"$root/scripts/install-deps.sh"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLONVERA_SANITIZE=OFF \
  "${launcher[@]}" >/dev/null
cmake --build "$build"
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/lonvera_*_amd64.deb
