#!/usr/bin/env bash
# Installs the Debian packages that building and testing letter-quiz need,
# when any of them is missing.  Run as root, or with sudo available.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libpulse-dev libsndfile1-dev zlib1g-dev
  fonts-dejavu-core
  libgtest-dev
  # The tests that run the program on a private X server and click it.
  xvfb xdotool
  # The tests that play on a private sound server and record what it played.
  pulseaudio pulseaudio-utils
)
for option in "$@"; do
  case "$option" in
    --assets)
      # Only for regenerating assets/: the voice, the audio tools, the fonts.
      packages+=(espeak-ng sox culmus python3-fonttools)
      ;;
    --bench)
      # Only for tools/playback-bench.sh: Python for the analysis and the
      # X client library for its first-paint timer (the private sound and
      # X servers come with the tests').
      packages+=(python3 libxcb1-dev)
      ;;
    *)
      echo "usage: $0 [--assets] [--bench]" >&2
      exit 2
      ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
((${#missing[@]} == 0)) && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
