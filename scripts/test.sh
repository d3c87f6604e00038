#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds everything and runs every test: the engine, the toolkit and windows offscreen, the
# serial lines on pseudo-terminals, the sound path through a PulseAudio null sink, and the
# window under a real X server and window manager (Xvfb and openbox, which the test starts).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build=${VESK_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${VESK_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j"$(nproc)"
source tests/integration/start-pulse.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" ${VESK_CTEST_ARGS:-}
