#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts a private PulseAudio server for the sound tests, with a null sink "vesk" as the
# default sink (its monitor "vesk.monitor" records what was played), and points the shell at
# it through PULSE_SERVER. A desktop's own sound server is left alone. Idempotent: a server
# that already answers in the same folder is reused.
#   . tests/integration/start-pulse.sh         (exports PULSE_SERVER into this shell)
#   eval "$(tests/integration/start-pulse.sh)" (the same from another shell)
# VESK_PULSE_DIR chooses the folder (default: /tmp/vesk-pulse-<uid>).

vesk_start_pulse() {
    local dir="${VESK_PULSE_DIR:-${TMPDIR:-/tmp}/vesk-pulse-$(id -u)}"
    local server="unix:$dir/pulse/native"
    local tool
    for tool in pulseaudio pactl parec; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            echo "start-pulse: $tool is missing (apt-get install pulseaudio pulseaudio-utils)" >&2
            return 1
        fi
    done

    if ! PULSE_SERVER="$server" pactl info >/dev/null 2>&1; then
        mkdir -p "$dir/pulse" && chmod 700 "$dir" "$dir/pulse" || return 1
        rm -f "$dir/pulse/native" "$dir/pulse/pid"
        # -n: no system default.pa, only the two modules below; anonymous access because the
        # socket sits in a private folder and the tests may run with another HOME (no cookie).
        # As root the daemon warns that it is meant for users, and runs all the same.
        XDG_RUNTIME_DIR="$dir" pulseaudio -D -n --exit-idle-time=-1 --log-target=file:"$dir/log" \
            -L "module-null-sink sink_name=vesk" \
            -L "module-native-protocol-unix auth-anonymous=1 socket=$dir/pulse/native" \
            2>>"$dir/log" || {
            echo "start-pulse: pulseaudio did not start; see $dir/log" >&2
            return 1
        }
        local i
        for ((i = 0; i < 50; i++)); do
            PULSE_SERVER="$server" pactl info >/dev/null 2>&1 && break
            sleep 0.1
        done
        if ! PULSE_SERVER="$server" pactl info >/dev/null 2>&1; then
            echo "start-pulse: the server at $server does not answer; see $dir/log" >&2
            return 1
        fi
    fi

    if ! PULSE_SERVER="$server" pactl list short sinks | awk '{print $2}' | grep -qx vesk; then
        PULSE_SERVER="$server" pactl load-module module-null-sink sink_name=vesk >/dev/null || return 1
    fi
    PULSE_SERVER="$server" pactl set-default-sink vesk || return 1
    export PULSE_SERVER="$server"
}

if [[ "${BASH_SOURCE[0]}" != "$0" ]]; then
    vesk_start_pulse
else
    set -euo pipefail
    vesk_start_pulse
    echo "export PULSE_SERVER=$PULSE_SERVER"
fi
