#!/usr/bin/env bash
# From a fresh machine to a rendered guitar take: installs what is needed,
# builds (the Windows bundle too), installs the Linux bundle into ~/.vst3
# and the factory presets into ~/.vst3/presets (where Linux hosts look for
# each user's presets), the LV2 bundle (presets inside) into ~/.lv2, installs
# Brontal Live for the user (~/.local/bin, its desktop entry and icon), and
# renders the demo riff through the plug-in with the default settings.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BRONTAL_BUILD_DIR:-$root/build/release}"
windows="${BRONTAL_WINDOWS_BUILD_DIR:-$root/build/windows}"

"$root/scripts/install-deps.sh"
BRONTAL_BUILD_DIR="$build" "$root/scripts/build.sh"
BRONTAL_BUILD_DIR="$build" BRONTAL_WINDOWS_BUILD_DIR="$windows" "$root/scripts/build-windows.sh" brontal1
echo "Built the Windows bundle $windows/VST3/brontal1.vst3 (copy it to C:\Program Files\Common Files\VST3)"

mkdir -p "$HOME/.vst3"
rm -rf "$HOME/.vst3/brontal1.vst3"
cp -r "$build/VST3/brontal1.vst3" "$HOME/.vst3/"
echo "Installed $HOME/.vst3/brontal1.vst3"
mkdir -p "$HOME/.vst3/presets"
cp -r "$build/VST3/brontal1.vst3/Contents/Resources/Presets/." "$HOME/.vst3/presets/"
echo "Installed the factory presets in $HOME/.vst3/presets"

mkdir -p "$HOME/.lv2"
rm -rf "$HOME/.lv2/brontal.lv2"
cp -r "$build/LV2/brontal.lv2" "$HOME/.lv2/"
echo "Installed $HOME/.lv2/brontal.lv2 (LV2 hosts find it there)"
mkdir -p "$HOME/.local/bin" "$HOME/.local/share/applications" "$HOME/.local/share/icons/hicolor/256x256/apps"
cp "$build/source/live/brontal-live" "$HOME/.local/bin/"
cp "$root/source/live/brontal-live.desktop" "$HOME/.local/share/applications/"
cp "$root/resource/icon/icon256.png" "$HOME/.local/share/icons/hicolor/256x256/apps/brontal-live.png"
echo "Installed Brontal Live: $HOME/.local/bin/brontal-live (and in the desktop's menu)"

mkdir -p "$root/out"
"$build/tools/brontal-render" --plugin "$HOME/.vst3/brontal1.vst3" \
  "$root/examples/demo-riff.wav" "$root/out/demo-rendered.wav"
echo "Wrote $root/out/demo-rendered.wav"
