#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Brontal
# needs. Safe to run again: it only calls apt when something is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  juce-modules-source-data
  libsndfile1-dev nlohmann-json3-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # the benchmark's side-by-side run: a small lilv host and the LV2 amplifier it runs
  liblilv-dev guitarix-lv2
  # the LV2 bundle: its headers and validator (with sordi), a test host's
  # library and Debian's own hosts
  lv2-dev sordi lilv-utils jalv
  # jalv's JACK server: a dummy one of the LV2 host test's own
  jackd2
  # Ardour, for the LV2 host test only (lv2_ardour): nothing builds against it
  ardour
  libx11-dev libxext-dev libxtst-dev libxft-dev libfreetype-dev libfontconfig-dev libpng-dev
  fonts-dejavu-core
  xvfb xauth x11-xkb-utils xkb-data
  # Brontal Live's audio and MIDI back ends, and the servers and tools its tests run
  libjack-jackd2-dev jackd2 libasound2-dev alsa-utils libasound2-plugins
  # the sanitizer builds and the fuzz harnesses
  clang-14 libclang-rt-14-dev libfuzzer-14-dev
  # the Windows module: cross compiler and resource compiler, and Wine (with
  # its fonts, which the About dialog measures its text in) for its tests
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 fonts-wine
  # the generators of tables, responses, art, demo audio and plots
  python3 python3-numpy python3-pil python3-matplotlib
  # the reference resampler the impulse-response resampler is measured against
  sox
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
