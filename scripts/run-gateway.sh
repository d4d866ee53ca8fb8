#!/usr/bin/env bash
# Runs the gateway: installs what the machine lacks, builds, prepares a program folder with the
# default database, starts emulated modems when no real modem is configured, starts Brevin
# headless and queues sample messages, so you can watch them move from outbox to SendedOutBox
# and arrive in another modem's inbox. Ctrl-C closes everything in order.
#
#   LONVERA_HOME    program folder (default: run/gateway in the source tree)
#   LONVERA_PREFIX  machine prefix with dosdevices/comN links (default: $LONVERA_HOME/prefix)
#   MODEMS          number of emulated modems (default 4)
#   SAMPLES         sample messages to queue (default 20)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build/gateway}
home=${LONVERA_HOME:-$root/run/gateway}
prefix=${LONVERA_PREFIX:-$home/prefix}
modems=${MODEMS:-4}
samples=${SAMPLES:-20}
export LONVERA_HOME=$home LONVERA_PREFIX=$prefix

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target Brevin Tarvex80 Quillon308 modem-emulator lonvera-dbinit

mkdir -p "$home/report" "$prefix/dosdevices"
cp -f "$build/bin/Brevin" "$build/bin/Tarvex80" "$home/"
cp -f "$build"/bin/libQuillon308.so* "$home/" 2>/dev/null || true
db="$home/qx.qxocx"
[ -f "$db" ] || "$build/bin/lonvera-dbinit" --home "$home" "$db"

ini="$home/set.ini"
if [ ! -f "$ini" ]; then
  cat >"$ini" <<INI
[Ocxdb]
database=Driver={Microsoft Access Driver (*.mdb)};Dbq=.\\qx.qxocx;Uid=Admin;Pwd=58203917642;
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

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT INT TERM

# Real modems are configured as links dosdevices/comN -> /dev/...; without any, emulate some.
numbers=()
if ! ls "$prefix"/dosdevices/com* >/dev/null 2>&1; then
  fifo=$(mktemp -u) && mkfifo "$fifo"
  "$build/bin/modem-emulator" --modems "$modems" --prefix "$prefix" >"$fifo" &
  pids+=($!)
  for ((i = 1; i <= modems; i++)); do
    read -r com number _ <"$fifo" || break
    numbers+=("$number")
    n=${com#COM}
    sqlite3 "$db" "UPDATE comset SET InUseing='启用', com='$com' WHERE id=$n;"
    echo "emulated modem $com, number $number"
  done
  exec 3<"$fifo"  # keep the emulator's output drained
  cat <&3 >/dev/null &
  rm -f "$fifo"
fi

"$home/Brevin" --headless --home "$home" &
brevin=$!
pids=("$brevin" "${pids[@]}")

if [ ${#numbers[@]} -gt 0 ]; then
  for ((i = 0; i < samples; i++)); do
    to=${numbers[$(((i + 1) % ${#numbers[@]}))]}
    text="Sample message $i from the gateway"
    ((i % 5 == 4)) && text="A longer sample message $i: $(printf 'the gateway splits long texts into parts. %.0s' 1 2 3 4)"
    sqlite3 "$db" "INSERT INTO outbox (Mbno, Msg) VALUES ('$to', '$text');"
  done
  echo "queued $samples sample messages"
fi

while kill -0 "$brevin" 2>/dev/null; do
  sleep 5
  sqlite3 "$db" "SELECT 'outbox ' || (SELECT count(*) FROM outbox) || ', SendedOutBox ' ||
    (SELECT count(*) FROM SendedOutBox) || ', badoutbox ' || (SELECT count(*) FROM badoutbox) ||
    ', inbox ' || (SELECT count(*) FROM inbox) || ', report ' || (SELECT count(*) FROM report);" \
    2>/dev/null || true
done
