#!/usr/bin/env bash
# Takes the README's picture of Pelton's window: a fresh default database, the real program on
# a private Xvfb display with a CJK font, answered by keystrokes as a person would (the question
# box, the file dialog, "插入记录", "ok"), then a shot of the screen.
#   screenshot.sh BUILD_DIR OUTPUT.png
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
out=${2:?output png}
work=$(mktemp -d)
display=:$((90 + RANDOM % 9))
xvfb=""
pelton=""
cleanup() {
  [ -n "$pelton" ] && kill "$pelton" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fc-list :lang=zh | grep -q . || { echo "no CJK font (fonts-noto-cjk) installed" >&2; exit 1; }
"$build/bin/lonvera-dbinit" --home "$work" "$work/qx.qxocx" >/dev/null
"$build/bin/Pelton" --db "$work/qx.qxocx" --to 8613900000002 --text "明天上午九点开会，请准时参加" >/dev/null

Xvfb "$display" -screen 0 800x600x24 -nolisten tcp &
xvfb=$!
export DISPLAY=$display QT_QPA_PLATFORM=xcb
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# Waits for a window whose name matches, and gives it the keyboard.
focus() {
  local id=""
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -n 1) && [ -n "$id" ] && break
    sleep 0.1
  done
  [ -n "$id" ] || { echo "no window \"$1\"" >&2; exit 1; }
  xdotool windowfocus --sync "$id" 2>/dev/null || true
  sleep 0.3
}

"$build/bin/Pelton" &
pelton=$!
focus "^Pelton$"                # the question box carries the program's name
xdotool key Return
focus "Open"                    # the file dialog
xdotool type --delay 20 "$work/qx.qxocx"
xdotool key Return
sleep 1
# Five rows instead of a hundred keep the list readable: Text3 has the focus after Text1/Text2.
focus "^Pelton$"
xdotool key Tab Tab ctrl+a
xdotool type --delay 20 "5"
xdotool key Tab space
sleep 1
focus "^Pelton$"
xdotool key Return              # "ok"
sleep 1
import -window "$(xdotool search --onlyvisible --name "^Pelton$" | head -n 1)" "$out"
echo "wrote $out"
