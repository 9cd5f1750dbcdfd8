#!/usr/bin/env bash
# Brontal Live.exe under Wine as a player starts it, with ALSA's default
# made a null device (Wine's WASAPI goes to ALSA): the devices listed,
# ten seconds of audio time played headless (counted in callbacks: the null
# device runs faster than real time), the latency reported, the state and
# settings saved in %APPDATA%\Brontal of the prefix; then the window opens,
# its panel on the screen pixel for pixel the Linux editor's golden default
# (GRAB finds it and saves the window as SHOT), [SETTINGS] opens the menu
# over it, and closing by time saves again.
#   live_wine.sh WINE_SH SESSION EXE GRAB GOLDEN SHOT
set -euo pipefail
wine_sh="$1" session="$2" exe="$3" grab="$4" golden="$5" shot="$6"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
printf 'pcm.!default { type null }\n' > "$work/null.conf"
export ALSA_CONFIG_PATH="/usr/share/alsa/alsa.conf:$work/null.conf"
fail() { echo "FAIL: $*" >&2; exit 1; }
# A Windows console writes CR LF.
run() {
  local status=0
  timeout 90 bash "$wine_sh" run "$session" "$exe" "$@" >"$work/out" 2>"$work/err" || status=$?
  sed -i 's/\r$//' "$work/out" "$work/err"
  return $status
}

# Wine's user folder is named after the Linux user.
user_folder="$(echo "$session"/prefix/drive_c/users/*/AppData/Roaming | awk '{print $1}')"
[ -d "$user_folder" ] || fail "no AppData\\Roaming in the prefix"
folder="$user_folder/Brontal"
# Any spelling of it: Wine finds folders whatever their case.
rm -rf "$user_folder"/[Bb][Rr][Oo][Nn][Tt][Aa][Ll]

run --list-devices || fail "--list-devices ended with $?: $(cat "$work/err")"
grep -qx 'wasapi (chosen)' "$work/out" || fail "no wasapi back end listed: $(cat "$work/out")"
grep -Eq '^  .+: .*, 0 in, 2 out$' "$work/out" || fail "no output endpoint of two channels listed: $(cat "$work/out")"
grep -Eq '^  .+: .*, 2 in, 0 out$' "$work/out" || fail "no input endpoint of two channels listed: $(cat "$work/out")"

run --no-gui --seconds 10 --period 128 --input 2 || fail "the headless run ended with $?: $(cat "$work/err")"
cat "$work/out" "$work/err"
line="$(grep '^playing: wasapi' "$work/out")" || fail "no 'playing' line"
read -r rate period period_ms in out total_ms < <(echo "$line" |
  sed -E 's/.* ([0-9]+) Hz, ([0-9]+) frames \(([0-9.]+) ms\); latency in ([0-9]+) \+ out ([0-9]+) frames = ([0-9.]+) ms$/\1 \2 \3 \4 \5 \6/')
# Wine's shared mode: 48 kHz float, a 10 ms device period, and a
# 1440-frame buffer for a 10 ms request (measured with a program of its own).
[ "$rate" = 48000 ] || fail "rate $rate"
[ "$period" = 480 ] || fail "period $period, not the device's 10 ms"
grep -q 'takes a period of 480 frames, not 128' "$work/err" || fail "the period change is not said"
[ "$period_ms" = 10.00 ] || fail "period $period_ms ms"
[ "$in" -ge "$period" ] || fail "input latency $in under one period"
[ "$out" -ge 1440 ] || fail "output latency $out under the 1440-frame buffer kept full"
expected_ms="$(awk -v a="$in" -v b="$out" -v r="$rate" 'BEGIN { printf "%.2f", (a + b) * 1000 / r }')"
[ "$total_ms" = "$expected_ms" ] || fail "latency $total_ms ms, not $expected_ms"
callbacks="$(sed -nE 's/^callbacks ([0-9]+),.*/\1/p' "$work/out")"
[ -n "$callbacks" ] || fail "no callback figures"
# Ten seconds are 1000 periods of 480 frames; the application looks every
# 10 ms of wall time, while the device runs a few times faster than that.
[ "$callbacks" -ge 1000 ] && [ "$callbacks" -le 1100 ] || fail "$callbacks callbacks for ten seconds of 10 ms periods"
[ -f "$folder/live.json" ] || fail "no settings saved in $folder"
grep -q '"backend": "wasapi"' "$folder/live.json" || fail "the settings do not name wasapi"
tr -d ' \n' < "$folder/live.json" | grep -q '"inputs":\[1\]' || fail "input 2 is not kept"
[ "$(head -c 4 "$folder/live-last.vstpreset")" = VST3 ] || fail "no preset saved as the last sound"

# A MIDI input that is not there (Wine maps the ALSA sequencer's ports,
# and this machine may have none): one line, the audio plays on, the choice kept.
run --no-gui --seconds 1 --midi 'No Such Keyboard' || fail "the run with a missing MIDI input ended with $?: $(cat "$work/err")"
grep -q '^playing: wasapi' "$work/out" || fail "no audio with a missing MIDI input: $(cat "$work/err")"
[ "$(grep -c ": playing without MIDI input$" "$work/err")" = 1 ] || fail "a missing MIDI input not said once: $(cat "$work/err")"
grep -q "'No Such Keyboard'" "$work/err" || fail "the missing MIDI input is not named: $(cat "$work/err")"
grep -q '"midiPort": "No Such Keyboard"' "$folder/live.json" || fail "the MIDI input is not kept"

# The window, on the session's display: looked at once the editor has drawn;
# closing by time saves again.
rm -f "$folder/live-last.vstpreset"
timeout 90 bash "$wine_sh" run "$session" "$exe" --seconds 40 >"$work/out" 2>"$work/err" &
app=$!
for _ in $(seq 300); do grep -q 'window: open' "$work/out" && break; sleep 0.1; done
sleep 2
grab_status=0
# Then [SETTINGS]: the menus' overlay shows the period item, the shared
# device's 480 frames at the latency the headless run reported.
DISPLAY="$(cat "$session/display")" "$grab" "$golden" "$shot" 28 "Period       $period frames $total_ms ms" \
  >"$work/grab" || grab_status=$?
app_status=0
wait "$app" || app_status=$?
sed -i 's/\r$//' "$work/out" "$work/err"
[ "$app_status" = 0 ] || fail "the windowed run ended with $app_status: $(cat "$work/err")"
grep -qx 'window: open' "$work/out" || fail "the window did not open: $(cat "$work/err")"
[ "$grab_status" = 0 ] || fail "the window does not show the editor at its defaults ($shot) or no settings menu: $(cat "$work/grab")"
[ "$(head -c 4 "$folder/live-last.vstpreset")" = VST3 ] || fail "the windowed run saved no sound"
echo "ok: $callbacks callbacks, latency in $in + out $out frames = $total_ms ms; $(cat "$work/grab")"
