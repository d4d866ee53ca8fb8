#!/usr/bin/env bash
# Pictures of the settings dialogs under a virtual X display with a window manager and a CJK
# font: every tab of the settings dialog and the port settings dialog, as PNG files.
#
#   dialog_pictures.sh PICTURE_PROGRAM OUTPUT_FOLDER
#     PICTURE_PROGRAM  the built lonvera-dialog-pictures
set -euo pipefail
program=$(realpath "${1:?usage: $0 PICTURE_PROGRAM OUTPUT_FOLDER}")
out=$(realpath -m "${2:?usage: $0 PICTURE_PROGRAM OUTPUT_FOLDER}")
mkdir -p "$out"
fc-list :lang=zh | grep -q . || { echo "no CJK font (fonts-noto-cjk)" >&2; exit 1; }

work=$(mktemp -d /tmp/lonvera-pictures.XXXXXX)
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill -TERM "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

display=70
while [ -e /tmp/.X11-unix/X$display ] || [ -e /tmp/.X$display-lock ]; do display=$((display + 1)); done
export DISPLAY=:$display
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.out" 2>&1 &
pids+=($!)
for ((i = 0; i < 200; i++)); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >"$work/openbox.out" 2>&1 &
pids+=($!)
for ((i = 0; i < 200; i++)); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break
  sleep 0.1
done
"$program" "$out"
