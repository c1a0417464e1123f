#!/usr/bin/env bash
# The studio's peak resident size as a sculptor meets it: opens MESH in corvane-studio on a
# virtual X server of its own (Xvfb, Mesa's software OpenGL), subdivides once (Ctrl+D), drags two
# strokes across the middle of the view (xdotool), and prints the peak resident size (VmHWM) and
# the resident size (VmRSS) after each. The mesh is copied into a scratch folder and the studio
# runs with a scratch home, so its journal and recovery files touch nothing of yours.
#
#   scripts/studio-memory.sh MESH [STUDIO]     STUDIO defaults to build/default/bin/corvane-studio
set -euo pipefail

mesh=${1:?usage: scripts/studio-memory.sh MESH [STUDIO]}
studio=$(realpath "${2:-build/default/bin/corvane-studio}")
for tool in Xvfb xdotool; do
  command -v $tool >/dev/null || { echo "studio-memory: $tool is missing (scripts/install-deps.sh)" >&2; exit 2; }
done
[ -x "$studio" ] || { echo "studio-memory: no studio at $studio" >&2; exit 2; }

scratch=$(mktemp -d)
display=:$((90 + RANDOM % 400))
cleanup() {
  [ -n "${studio_pid:-}" ] && kill "$studio_pid" 2>/dev/null || true
  [ -n "${x_pid:-}" ] && kill "$x_pid" 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
cp "$mesh" "$scratch/"
Xvfb $display -screen 0 1400x900x24 >/dev/null 2>&1 &
x_pid=$!
sleep 1
export DISPLAY=$display HOME=$scratch XDG_RUNTIME_DIR=$scratch
"$studio" "$scratch/$(basename "$mesh")" >"$scratch/studio.log" 2>&1 &
studio_pid=$!

status() { awk '/^VmHWM|^VmRSS/ {printf "%s %d MB  ", $1, $2 / 1024}' /proc/$studio_pid/status; }
# Waits until the studio's resident size has not changed for three seconds (work done).
settle() {
  local last=-1 same=0 now
  while [ $same -lt 3 ]; do
    sleep 1
    kill -0 $studio_pid 2>/dev/null || { echo "studio-memory: the studio stopped" >&2; exit 1; }
    now=$(awk '/^VmRSS/ {print $2}' /proc/$studio_pid/status)
    if [ "$now" = "$last" ]; then same=$((same + 1)); else same=0; last=$now; fi
  done
}

window=
for _ in $(seq 60); do
  window=$(xdotool search --onlyvisible --name "Corvane" 2>/dev/null | head -1) && [ -n "$window" ] && break
  sleep 1
done
[ -n "$window" ] || { echo "studio-memory: no studio window appeared" >&2; exit 1; }
settle
echo "opened      $(status)"
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
xdotool windowfocus "$window"
xdotool key --window "$window" ctrl+d
sleep 2
settle
echo "subdivided  $(status)"
eval "$(xdotool getwindowgeometry --shell "$window")"
cx=$((X + WIDTH / 2)) cy=$((Y + HEIGHT / 2))
for stroke in 1 2; do
  xdotool mousemove $((cx - 60)) $cy mousedown 1
  for i in $(seq 12); do xdotool mousemove $((cx - 60 + i * 10)) $cy; sleep 0.05; done
  xdotool mouseup 1
  settle
  echo "stroke $stroke    $(status)"
done
