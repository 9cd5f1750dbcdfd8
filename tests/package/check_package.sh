#!/usr/bin/env bash
# Builds the Debian package from a finished build and checks it as a system
# would use it: its file list, its dependencies against what its binaries
# link, installing it into a scratch root, rendering with the installed copy,
# and removing it without a trace.
#
# Usage: check_package.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
# dpkg and ldconfig live in sbin, which a non-login PATH may lack.
export PATH="$PATH:/usr/sbin:/sbin"
build="$(cd "$1" && pwd)"
source_dir="$(cd "$2" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# A step that fails outside the checks below says where, rather than ending
# the script without a word.
trap 'echo "check_package.sh: line $LINENO: $BASH_COMMAND failed" >&2' ERR
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb="$(ls "$work"/out/*.deb)"
field() { dpkg-deb -f "$deb" "$1"; }

[ "$(field Package)" = brontal ] || fail "package name is $(field Package)"
[ "$(field Version)" = 2.0.0.1069 ] || fail "version is $(field Version)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture is $(field Architecture)"

# The file list: exactly the bundles as built (VST 3 and LV2), the committed
# presets under /usr/share/vst3/presets, the render tool, Brontal Live with
# its desktop entry and icons, and the README.
presets='usr/share/vst3/presets/Brontal Audio - https___brontal.example/Brontal2'
bundle=usr/lib/vst3/brontal1.vst3
lv2=usr/lib/lv2/brontal.lv2
dpkg-deb -c "$deb" | grep -v '^d' | sed 's|^.* \./||' | sort >"$work/files"
{
  (cd "$build/VST3" && find brontal1.vst3 -type f | sed 's|^|usr/lib/vst3/|')
  (cd "$build/LV2" && find brontal.lv2 -type f | sed 's|^|usr/lib/lv2/|')
  (cd "$source_dir/resource/presets" && find . -type f | sed 's|^\./|usr/share/vst3/presets/|')
  echo usr/bin/brontal-render
  echo usr/bin/brontal-live
  echo usr/share/applications/brontal-live.desktop
  for size in 16 32 48 64 128 256; do echo "usr/share/icons/hicolor/${size}x${size}/apps/brontal-live.png"; done
  echo usr/share/doc/brontal/README.md
} | sort >"$work/expected"
diff "$work/expected" "$work/files" >"$work/list.diff" || { fail "file list differs:"; cat "$work/list.diff"; }
for path in "$bundle/Contents/x86_64-linux/brontal1.so" "$bundle/Contents/Resources/moduleinfo.json" \
            "$presets/Clean Chorus.vstpreset" usr/bin/brontal-render usr/bin/brontal-live \
            "$lv2/manifest.ttl" "$lv2/brontal.ttl" "$lv2/presets.ttl" "$lv2/brontal.so" \
            "$lv2/brontal_ui.so"; do
  grep -qxF "$path" "$work/files" || fail "no $path in the package"
done
[ "$(grep -c "^$presets/.*\.vstpreset$" "$work/files")" -ge 8 ] || fail "fewer than 8 presets in $presets"
desktop="$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/applications/brontal-live.desktop)"
grep -qx "Exec=brontal-live" <<<"$desktop" && grep -qx "Icon=brontal-live" <<<"$desktop" ||
  fail "the desktop entry does not start brontal-live with its icon"

# Every library the binaries need belongs to a package named in Depends.
depends="$(field Depends)"
for binary in "$build/VST3/brontal1.vst3/Contents/x86_64-linux/brontal1.so" "$build/tools/brontal-render" \
              "$build/LV2/brontal.lv2/brontal.so" "$build/LV2/brontal.lv2/brontal_ui.so" \
              "$build/source/live/brontal-live"; do
  for library in $(objdump -p "$binary" | awk '$1 == "NEEDED" { print $2 }'); do
    # awk reads the whole list: leaving early would end ldconfig with SIGPIPE,
    # which pipefail turns into a silent exit of this script.
    resolved="$(ldconfig -p | awk -v lib="$library" '!found && $1 == lib && /x86-64/ { print $NF; found = 1 }')"
    if [ -z "$resolved" ]; then
      fail "$(basename "$binary") needs $library, which ldconfig does not list"
      continue
    fi
    owner=""
    real="$(readlink -f "$resolved")"
    # With merged /usr a file is registered under /lib or /usr/lib.
    for path in "$resolved" "$real" "${real#/usr}" "/usr${resolved#/usr}"; do
      [ -n "$owner" ] || owner="$( (dpkg -S "$path" 2>/dev/null || true) | head -1 | cut -d: -f1)"
    done
    [[ ", $depends," == *", $owner "* || ", $depends," == *", $owner,"* ]] ||
      fail "$(basename "$binary") needs $library from $owner, which Depends ($depends) does not name"
  done
done

# Install into a scratch root (dependencies are the host's), use, remove.
root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status"
dpkg=(dpkg --root="$root" --force-not-root --force-depends --log=/dev/null)
"${dpkg[@]}" -i "$deb" >"$work/install.log" 2>&1 || { fail "dpkg -i:"; cat "$work/install.log"; }
[ "$("${dpkg[@]}" -s brontal 2>/dev/null | sed -n 's/^Status: //p')" = "install ok installed" ] ||
  fail "dpkg does not report brontal installed"
(cd "$root" && find usr -type f | sort) >"$work/installed"
diff "$work/expected" "$work/installed" >/dev/null || fail "installed files differ from the package's list"
"$root/usr/bin/brontal-render" --plugin "$root/$bundle" --preset "$root/$presets/Clean Chorus.vstpreset" \
  "$source_dir/examples/demo-clean.wav" "$work/installed.wav" >"$work/render.log" 2>&1 ||
  { fail "rendering with the installed copy:"; cat "$work/render.log"; }
# Debian's own lilv host finds both LV2 plug-ins there, with their presets,
# and runs them.
for uri in https://brontal.example/lv2/brontal https://brontal.example/lv2/brontal-mono; do
  LV2_PATH="$root/usr/lib/lv2" lv2bench -b 512 -n 4800 "$uri" >"$work/lv2bench.log" 2>&1 &&
    grep -q " $uri\$" "$work/lv2bench.log" || { fail "lv2bench did not run $uri from the installed copy:"; cat "$work/lv2bench.log"; }
done
[ "$(LV2_PATH="$root/usr/lib/lv2" lv2info https://brontal.example/lv2/brontal | sed -n '/Presets:/,/Port 0:/p' | grep -v ':' | grep -c '[A-Za-z]')" -eq 10 ] ||
  fail "lv2info does not list the ten presets of the installed copy"
XDG_CONFIG_HOME="$work/config" "$root/usr/bin/brontal-live" --list-devices >"$work/live.log" 2>&1 &&
  grep -q "^jack" "$work/live.log" && grep -q "^alsa" "$work/live.log" ||
  { fail "listing the devices with the installed brontal-live:"; cat "$work/live.log"; }
"${dpkg[@]}" --purge brontal >"$work/remove.log" 2>&1 || { fail "dpkg --purge:"; cat "$work/remove.log"; }
left="$(cd "$root" && find . -mindepth 1 -not -path './var' -not -path './var/lib' -not -path './var/lib/dpkg*')"
[ -z "$left" ] || fail "left behind after removal: $left"
"${dpkg[@]}" -s brontal >/dev/null 2>&1 && fail "dpkg still knows brontal after removal"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "package $(basename "$deb"): $(wc -l <"$work/files") files, installs, renders and purges cleanly"
