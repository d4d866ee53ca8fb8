#!/usr/bin/env bash
# Runs the gateway. With a display (DISPLAY or WAYLAND_DISPLAY set) Brevin shows its window and
# runs until you close it ("关闭服务" or the tray menu); without one it runs headless and prints
# its run log here.
#
# It installs what the machine lacks, builds, prepares a program folder with the default
# database, starts emulated modems when no real modem is configured, starts Brevin and queues
# sample messages, so you can watch them move from outbox to SendedOutBox and arrive in another
# modem's inbox. Headless, Brevin gets SIGTERM after the demo period (its close sequence runs)
# and the emulated modems stop; Ctrl-C does the same at any time.
#
#   run-gateway.sh [--seconds N] [--keep-running] [--headless]
#     --seconds N      demo period when headless (default 60)
#     --keep-running   run until Ctrl-C
#     --headless       no window even with a display
#
#   LONVERA_HOME    program folder (default: run/gateway in the source tree)
#   LONVERA_PREFIX  machine prefix with dosdevices/comN links (default: $LONVERA_HOME/prefix)
#   BUILD_DIR       build folder (default: build/gateway in the source tree)
#   MODEMS          number of emulated modems (default 4)
#   SAMPLES         sample messages to queue (default 20)
set -euo pipefail
seconds=60
keep=0
headless=0
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) seconds=${2:?--seconds needs a number}; shift 2 ;;
    --keep-running) keep=1; shift ;;
    --headless) headless=1; shift ;;
    *) echo "usage: $0 [--seconds N] [--keep-running] [--headless]" >&2; exit 2 ;;
  esac
done
if [ $headless -eq 0 ] && [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  headless=1
  echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): Brevin runs headless."
elif [ $headless -eq 0 ]; then
  echo "Brevin shows its window on ${DISPLAY:-$WAYLAND_DISPLAY}; close it to end the demo."
  keep=1
else
  echo "Brevin runs headless."
fi
[[ $seconds =~ ^[0-9]+$ ]] || { echo "--seconds needs a number" >&2; exit 2; }

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build/gateway}
home=${LONVERA_HOME:-$root/run/gateway}
prefix=${LONVERA_PREFIX:-$home/prefix}
modems=${MODEMS:-4}
samples=${SAMPLES:-20}
mkdir -p "$home" "$prefix"
home=$(cd "$home" && pwd)
prefix=$(cd "$prefix" && pwd)
export LONVERA_HOME=$home LONVERA_PREFIX=$prefix

"$root/scripts/install-deps.sh"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build "$build" --target Brevin Tarvex80 Quillon308 modem-emulator lonvera-dbinit

mkdir -p "$home/report" "$prefix/dosdevices"
cp -f "$build/bin/Brevin" "$build/bin/Tarvex80" "$home/"
find "$build" -name 'libQuillon308.so*' -exec cp -fP {} "$home/" \; 2>/dev/null || true
# The default sounds, unless the operator put others there (or removed them to stay silent).
[ -e "$home/.sounds-installed" ] || {
  cp -n "$build/bin/msg.wav" "$build/bin/err.wav" "$build/bin/Sendend.wav" "$home/" 2>/dev/null || true
  touch "$home/.sounds-installed"
}
db="$home/qx.qxocx"
[ -f "$db" ] || "$build/bin/lonvera-dbinit" --home "$home" "$db"

ini="$home/set.ini"
if [ ! -f "$ini" ]; then
  cat >"$ini" <<INI
[Ocxdb]
database=Driver={Microsoft Access Driver (*.mdb)};Dbq=.\\qx.qxocx;Uid=Admin;Pwd=;
[ocx]
Ver=$(date +%Y%m%d%H%M%S)
Quillon=Quillon308
Tarvex=Tarvex80
myserver=0
[AUTOC]
AUTOC=1
report=1
INI
fi
# A rebuilt worker server is registered again.
sed -i "s/^Ver=.*/Ver=$(date +%Y%m%d%H%M%S)/" "$ini"

brevin=""
emulator=""
cleanup() {
  trap - EXIT INT TERM
  if [ -n "$brevin" ] && kill -0 "$brevin" 2>/dev/null; then
    echo "closing the gateway (SIGTERM)..."
    kill -TERM "$brevin" 2>/dev/null || true
    for _ in $(seq 100); do kill -0 "$brevin" 2>/dev/null || break; sleep 0.2; done
    kill -KILL "$brevin" 2>/dev/null || true
  fi
  if [ -n "$emulator" ]; then
    kill -TERM "$emulator" 2>/dev/null || true
  fi
  wait 2>/dev/null || true
}
trap cleanup EXIT
trap 'exit 130' INT TERM

counts() {
  sqlite3 "$db" "SELECT 'outbox ' || (SELECT count(*) FROM outbox) || ', SendedOutBox ' ||
    (SELECT count(*) FROM SendedOutBox) || ', badoutbox ' || (SELECT count(*) FROM badoutbox) ||
    ', inbox ' || (SELECT count(*) FROM inbox) || ', report ' || (SELECT count(*) FROM report);" \
    2>/dev/null || true
}

# Real modems are configured as links dosdevices/comN -> /dev/ttyUSB0 and the like; links to
# pseudo-terminals are left over from an emulator and are dropped.
real=0
for link in "$prefix"/dosdevices/com*; do
  [ -L "$link" ] || continue
  case $(readlink "$link") in
    /dev/pts/*) rm -f "$link" ;;
    *) real=1 ;;
  esac
done

numbers=()
if [ $real -eq 0 ]; then
  emulator_out="$home/emulator.out"
  "$build/bin/modem-emulator" --modems "$modems" --prefix "$prefix" >"$emulator_out" &
  emulator=$!
  for _ in $(seq 100); do
    [ "$(wc -l <"$emulator_out")" -ge "$modems" ] && break
    kill -0 "$emulator" 2>/dev/null || { echo "the modem emulator did not start" >&2; exit 1; }
    sleep 0.1
  done
  sqlite3 "$db" "UPDATE comset SET InUseing='停用';"
  while read -r com number _; do
    numbers+=("$number")
    sqlite3 "$db" "UPDATE comset SET InUseing='启用', com='$com' WHERE id=${com#COM};"
    echo "emulated modem $com, number $number"
  done <"$emulator_out"
fi

if [ $headless -eq 1 ]; then
  "$home/Brevin" --headless --home "$home" &
else
  "$home/Brevin" --home "$home" &
fi
brevin=$!

if [ ${#numbers[@]} -gt 0 ]; then
  for ((i = 0; i < samples; i++)); do
    to=${numbers[$(((i + 1) % ${#numbers[@]}))]}
    text="Sample message $i from the gateway"
    if ((i % 5 == 4)); then
      text="A longer sample message $i: $(printf 'the gateway splits long texts into parts. %.0s' 1 2 3 4)"
    fi
    sqlite3 "$db" "INSERT INTO outbox (Mbno, Msg, report) VALUES ('$to', '$text', $((i % 4 == 0)));"
  done
  echo "queued $samples sample messages"
fi

start=$SECONDS
while kill -0 "$brevin" 2>/dev/null; do
  sleep 5
  echo "[$((SECONDS - start)) s] $(counts)"
  if [ $keep -eq 0 ] && [ $((SECONDS - start)) -ge "$seconds" ]; then
    break
  fi
done
if ! kill -0 "$brevin" 2>/dev/null; then
  wait "$brevin" && rc=0 || rc=$?
  brevin=""
  if [ $headless -eq 1 ] || [ $rc -ne 0 ]; then
    echo "Brevin ended by itself (exit $rc)" >&2
    exit 1
  fi
  echo "the window was closed"
fi
cleanup
echo "final: $(counts)"
echo "messages that arrived in the emulated modems' inbox:"
sqlite3 "$db" "SELECT '  COM' || comport || ' from ' || mbno || ': ' || substr(Msg, 1, 60) FROM inbox
  ORDER BY id DESC LIMIT 5;" 2>/dev/null || true
