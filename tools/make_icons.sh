#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws the hicolor theme's PNG icons from data/vesk.svg (needs rsvg-convert, librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/.."
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "data/icons/${size}x${size}"
  rsvg-convert -w "$size" -h "$size" data/vesk.svg -o "data/icons/${size}x${size}/vesk-controller.png"
done
