#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what building, running and testing need on Debian 12, when it is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config python3
  qt6-base-dev qt6-qpa-plugins libgl-dev
  portaudio19-dev libasound2-plugins
  libfftw3-dev libpng-dev
  libhamlib-dev libhamlib-utils
  libsystemd-dev systemd
  libtomlplusplus-dev
  libmicrohttpd-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  pulseaudio pulseaudio-utils faketime
  chromium
  fonts-liberation
  xvfb openbox xdotool x11-utils
)
if [[ "${VESK_SETUP_EXTRA:-}" != "" ]]; then
  read -r -a extra <<<"$VESK_SETUP_EXTRA"
  packages+=("${extra[@]}")
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
