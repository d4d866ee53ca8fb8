#!/usr/bin/env bash
# Runs the gateway: installs what the machine lacks, builds, prepares a program folder with the
# default database, starts emulated modems when no real modem is configured, starts Brevin
# headless and queues sample messages, so you can watch them move from outbox to SendedOutBox
# and arrive in another modem's inbox. After the demo period Brevin gets SIGTERM (its close
# sequence runs) and the emulated modems stop; Ctrl-C does the same at any time.
#
#   run-gateway.sh [--seconds N] [--keep-running]
#     --seconds N      demo period (default 60)
#     --keep-running   run until Ctrl-C
#
#   LONVERA_HOME    program folder (default: run/gateway in the source tree)
#   LONVERA_PREFIX  machine prefix with dosdevices/comN links (default: $LONVERA_HOME/prefix)
#   BUILD_DIR       build folder (default: build/gateway in the source tree)
#   MODEMS          number of emulated modems (default 4)
#   SAMPLES         sample messages to queue (default 20)
set -euo pipefail
seconds=60
keep=0
while [ $# -gt 0 ]; do
  case $1 in
    --seconds) seconds=${2:?--seconds needs a number}; shift 2 ;;
    --keep-running) keep=1; shift ;;
    *) echo "usage: $0 [--seconds N] [--keep-running]" >&2; exit 2 ;;
  esac
done
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

"$home/Brevin" --headless --home "$home" &
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
  echo "Brevin ended by itself (exit $rc)" >&2
  exit 1
fi
cleanup
echo "final: $(counts)"
echo "messages that arrived in the emulated modems' inbox:"
sqlite3 "$db" "SELECT '  COM' || comport || ' from ' || mbno || ': ' || substr(Msg, 1, 60) FROM inbox
  ORDER BY id DESC LIMIT 5;" 2>/dev/null || true
