#!/usr/bin/env bash
# Debian's jalv hosts the bundle as a JACK client on a dummy JACK server of
# the test's own: the console build instantiates and runs the plug-in, and
# jalv.gtk3 embeds its UI through suil in a GTK window on a private Xvfb
# server, where the panel must show exactly the LV2 UI's golden image, and
# then, fed jack_metro's clicks, moving meters.
#
# Usage: jalv_host.sh LV2_DIR GOLDEN_PNG
set -euo pipefail
# JACK keeps a registry of servers in /dev/shm that dead servers of any user
# can fill ("Too many servers already active"): where we may, the test runs
# in a mount namespace of its own with a private /dev/shm.
if [ -z "${BRONTAL_PRIVATE_SHM:-}" ] && unshare --mount true 2>/dev/null; then
  exec unshare --mount bash -c 'mount -t tmpfs tmpfs /dev/shm && BRONTAL_PRIVATE_SHM=1 exec bash "$0" "$@"' \
    "$0" "$@"
fi
lv2dir="$(cd "$1" && pwd)"
golden="$2"
uri=https://brontal.example/lv2/brontal
work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
export LV2_PATH="$lv2dir"
export JACK_DEFAULT_SERVER="brontal-test-$$"
export JACK_NO_AUDIO_RESERVATION=1

jackd -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do jack_lsp >/dev/null 2>&1 && break; sleep 0.2; done
jack_lsp >/dev/null 2>&1 || { echo "the dummy JACK server did not start"; cat "$work/jackd.log"; exit 1; }

# The console host: it quits when its input ends.
sleep 2 | timeout 30 jalv "$uri" >"$work/jalv.log" 2>&1 || { echo "jalv failed:"; cat "$work/jalv.log"; exit 1; }
grep -q "^enabled = 1.000000" "$work/jalv.log" || { echo "jalv did not list the ports:"; cat "$work/jalv.log"; exit 1; }

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.2; done
export DISPLAY=":$(cat "$work/display")"
jalv.gtk3 "$uri" >"$work/jalv-gtk.log" 2>&1 &
pids+=($!)

# The panel somewhere in jalv's window (below its menu bar), pixel for pixel;
# then, with jack_metro's clicks connected to the plug-in's inputs, the
# meters jalv hands the UI (the output ports' notifications) move on it.
panel() { # golden image, "at" file to write the place to, or a place to compare at
  /usr/bin/python3 - "$@" <<'PY'
import sys
import numpy as np
from PIL import Image, ImageGrab
shot = np.asarray(ImageGrab.grab(xdisplay=None).convert("RGB")).astype(int)
gold = np.asarray(Image.open(sys.argv[1]).convert("RGB")).astype(int)
h, w = gold.shape[:2]
if sys.argv[2] == "find":
    for dy in range(0, shot.shape[0] - h + 1):
        for dx in range(0, min(64, shot.shape[1] - w) + 1):
            if (shot[dy, dx:dx + 8] == gold[0, :8]).all() and (np.abs(shot[dy:dy + h, dx:dx + w] - gold) <= 2).all():
                print(f"the panel at +{dx}+{dy}, as the golden image")
                open(sys.argv[3], "w").write(f"{dx} {dy}")
                sys.exit(0)
    sys.exit(1)
dx, dy = map(int, open(sys.argv[3]).read().split())
changed = int((np.abs(shot[dy:dy + h, dx:dx + w] - gold) > 2).any(axis=2).sum())
print(f"{changed} pixels of the panel moved")
sys.exit(0 if changed > 50 else 1)
PY
}
found=0
for _ in $(seq 30); do
  sleep 0.5
  if panel "$golden" find "$work/at"; then found=1; break; fi
done
if [ "$found" -eq 0 ]; then
  echo "jalv.gtk3 did not show the panel as the golden image"
  cat "$work/jalv-gtk.log"
  exit 1
fi
jack_metro -n metro -b 300 >"$work/metro.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do jack_lsp | grep -q '^metro:' && break; sleep 0.2; done
inputs=$(jack_lsp -p | awk '/^[^ \t]/ {port=$0} /properties: input,/ {print port}' | grep -v '^system:' | grep -i 'in' || true)
for input in $inputs; do
  jack_connect "$(jack_lsp | grep '^metro:' | head -1)" "$input" 2>/dev/null || true
done
for _ in $(seq 20); do
  sleep 0.5
  if panel "$golden" compare "$work/at"; then exit 0; fi
done
echo "the meters did not move on the panel (inputs: $inputs)"
jack_lsp -c
exit 1
