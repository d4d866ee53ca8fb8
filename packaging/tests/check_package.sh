#!/usr/bin/env bash
# Builds the Debian package from a finished build folder and checks it: the file list holds every
# program that was built, the units and the schema; Depends names Qt; lintian finds no error; the
# units pass systemd-analyze; and the package unpacked into a scratch root runs the gateway
# headless against two emulated modems, which sends a message from one to the other.
#
#   check_package.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: check_package.sh BUILD_DIR}" && pwd)
work=$(mktemp -d /tmp/lonvera-deb.XXXXXX)
brevin=""
emulator=""
cleanup() {
  [ -n "$brevin" ] && kill -KILL "$brevin" 2>/dev/null || true
  [ -n "$emulator" ] && kill -TERM "$emulator" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
  local seconds=$1; shift
  local end=$((SECONDS + seconds))
  until "$@"; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.2
  done
}

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$work"/out/lonvera_*_amd64.deb)
echo "built $(basename "$deb")"

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/files"
expect=(/usr/lib/systemd/system/lonvera.service /usr/lib/systemd/user/lonvera.service
  /usr/lib/sysusers.d/lonvera.conf /usr/share/applications/lonvera.desktop
  /usr/share/lonvera/schema/sqlite.sql /usr/share/lonvera/schema/postgresql.sql
  /usr/share/doc/lonvera/copyright)
for program in Brevin Tarvex80 libQuillon308.so Pelton Stavro; do
  [ -e "$build/bin/$program" ] && expect+=("/usr/lib/lonvera/$program")
done
for program in Brevin Pelton Stavro smspdu modem-emulator lonvera-dbinit; do
  [ -e "$build/bin/$program" ] && expect+=("/usr/bin/$program")
done
for path in "${expect[@]}"; do
  grep -qx "$path" "$work/files" || fail "the package lacks $path"
done
echo "file list holds ${#expect[@]} expected paths"

depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6core6 libqt6serialport6 libqt6sql6-sqlite libqt6sql6-psql; do
  [[ $depends == *"$package"* ]] || fail "Depends lacks $package: $depends"
done

# apt resolves every Depends from this machine's packages and archives (a simulation: nothing
# is installed).
if command -v apt-get >/dev/null; then
  apt-get install -s "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt cannot install the package"; }
  grep -q '^Inst lonvera' "$work/apt.log" || { cat "$work/apt.log" >&2; fail "apt would not install lonvera"; }
fi

if command -v lintian >/dev/null; then
  lintian --fail-on error --suppress-tags-from-file /dev/null "$deb" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log" >&2; fail "lintian reports errors"; }
  echo "lintian: no errors ($(grep -c '^W:' "$work/lintian.log" || true) warnings)"
fi

root=$work/root
dpkg-deb -x "$deb" "$root"

if command -v systemd-analyze >/dev/null; then
  for unit in "$root"/usr/lib/systemd/system/lonvera.service "$root"/usr/lib/systemd/user/lonvera.service; do
    # verify wants ExecStart's program where the unit names it: check a copy that names the
    # unpacked one.
    sed "s|/usr/bin/Brevin|$root/usr/bin/Brevin|" "$unit" >"$work/lonvera.service"
    # verify reports unknown keys and bad values but still succeeds: any word from it fails.
    if ! systemd-analyze verify "$work/lonvera.service" >"$work/verify.log" 2>&1 ||
      [ -s "$work/verify.log" ]; then
      cat "$work/verify.log" >&2
      fail "systemd-analyze verify $unit"
    fi
  done
  echo "units verified"
fi

# The installer from the package finds the control library beside itself.
if [ -e "$root/usr/bin/Stavro" ]; then
  LONVERA_PREFIX=$work/stavro-prefix "$root/usr/bin/Stavro" /s || fail "Stavro /s failed"
  [ -f "$work/stavro-prefix/drive_c/windows/system32/libQuillon308.so" ] ||
    fail "Stavro did not place the control library"
  grep -q "system32/libQuillon308.so" "$work/stavro-prefix/registry.ini" ||
    fail "Stavro did not register the control library"
  echo "Stavro /s installed and registered the control library"
fi

# The gateway from the package, on a fresh machine prefix and an empty program folder.
home=$work/home
prefix=$work/prefix
mkdir -p "$prefix"
export LONVERA_HOME=$home LONVERA_PREFIX=$prefix QT_QPA_PLATFORM=offscreen
"$root/usr/bin/modem-emulator" --modems 2 --prefix "$prefix" >"$work/emulator.out" 2>&1 &
emulator=$!
lines_at_least() { [ "$(wc -l <"$1")" -ge "$2" ]; }
wait_for 30 lines_at_least "$work/emulator.out" 2 || { cat "$work/emulator.out" >&2; fail "the emulator did not start"; }
read -r _ to _ < <(sed -n 2p "$work/emulator.out")

start_brevin() {
  "$root/usr/bin/Brevin" --headless >"$work/brevin.out" 2>"$work/brevin.err" &
  brevin=$!
}
stop_brevin() {
  local began rc=0
  began=$(date +%s.%N)
  kill -TERM "$brevin"
  wait "$brevin" || rc=$?
  brevin=""
  awk -v a="$began" -v b="$(date +%s.%N)" 'BEGIN { printf "close sequence after SIGTERM: %.2f s\n", b - a }'
  [ $rc -eq 0 ] || { cat "$work/brevin.err" >&2; fail "Brevin ended with $rc after SIGTERM"; }
}
db=$home/qx.qxocx
# True when the table holds exactly one row with the text.
holds_one() { [ "$(sqlite3 "$db" "SELECT count(*) FROM $1 WHERE Msg='$2';")" -eq 1 ]; }

# First start: the program folder is made with its database and settings.
start_brevin
wait_for 60 grep -q "Lonvera V" "$work/brevin.out" ||
  { cat "$work/brevin.err" >&2; fail "Brevin did not start in an empty program folder"; }
stop_brevin
[ -f "$home/set.ini" ] || fail "no set.ini after the first start"
[ -x "$prefix/drive_c/windows/system32/Tarvex80" ] || fail "the worker server was not registered"

sqlite3 "$db" "UPDATE comset SET InUseing='启用' WHERE id IN (1, 2);
  INSERT INTO outbox (Mbno, Msg) VALUES ('$to', 'from the package');"
start_brevin
wait_for 120 holds_one SendedOutBox 'from the package' ||
  { cat "$work/brevin.out" "$work/brevin.err" >&2; fail "the message was not sent"; }
wait_for 60 holds_one inbox 'from the package' ||
  fail "the message did not arrive in the other modem"
stop_brevin
echo "the unpacked gateway sent a message and closed on SIGTERM"
