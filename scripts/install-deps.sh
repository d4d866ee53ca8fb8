#!/usr/bin/env bash
# Installs the Debian packages the gateway and its tests need. Does nothing when they are present.
set -euo pipefail
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev clang-format clang-tidy llvm pkgconf python3
  qt6-base-dev qt6-serialport-dev qt6-multimedia-dev
  libqt6sql6-sqlite libqt6sql6-psql libqt6sql6-odbc
  unixodbc-dev odbc-postgresql libsqliteodbc tdsodbc
  postgresql sqlite3 libgtest-dev libbenchmark-dev
  dpkg-dev lintian
  xvfb openbox trayer fonts-noto-cjk xdotool x11-utils imagemagick
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
