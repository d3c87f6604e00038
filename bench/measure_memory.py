#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Peak resident memory (VmHWM) of `vesk-cli play` and of the window while they play 600 tone
dots of 100 ms and of 120 s (a day-long slow-CW pattern): the two must be alike and under 64 MB,
since playback renders each block as it is written.

The command-line beacon is started on the pattern file; the window is started on a private X
display (Xvfb + openbox) and driven as a person would with xdotool: dismiss the start notice,
paint two dots, type the dot length, Apply, Turn On. Each plays for --seconds, then VmHWM is read from /proc
and the program is ended with SIGTERM. Run from the repository after building, with the null
sink up:
  export VESK_PULSE_DIR=/tmp/vesk-pulse-bench; eval "$(tests/integration/start-pulse.sh)"
  python3 bench/measure_memory.py --seconds 20
"""

import argparse
import os
import shutil
import signal
import subprocess
import tempfile
import time


def pattern_text(dot_ms):
    lines = [f" {dot_ms}  599  10  1000  600 "]
    lines += [f" {1 + slot % 16}  1 " for slot in range(601)]
    return "\r\n".join(lines) + "\r\n"


def peak_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def finish(proc, seconds):
    time.sleep(seconds)
    if proc.poll() is not None:
        raise SystemExit(f"ended early with status {proc.returncode}")
    peak = peak_kib(proc.pid)
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(10)
    except subprocess.TimeoutExpired:
        proc.kill()
    return peak


def measure_cli(build, folder, dot_ms, seconds):
    path = os.path.join(folder, f"dots{dot_ms}.txt")
    with open(path, "w", newline="") as out:
        out.write(pattern_text(dot_ms))
    proc = subprocess.Popen([os.path.join(build, "cli", "vesk-cli"), "play", path],
                            stderr=subprocess.DEVNULL)
    return finish(proc, seconds)


def xdo(*args):
    subprocess.run(["xdotool", *args], check=True, capture_output=True)


def measure_window(build, folder, dot_ms, seconds, display):
    env = dict(os.environ, DISPLAY=display, VESK_COMPORT_DIR=folder)
    env.pop("QT_QPA_PLATFORM", None)
    with open(os.path.join(folder, "VESK_COMPORT.INI"), "w") as settings:
        settings.write(" 0 \r\n")
    proc = subprocess.Popen([os.path.join(build, "app", "vesk-controller")], env=env,
                            cwd=folder, stderr=subprocess.DEVNULL)
    time.sleep(3)
    os.environ["DISPLAY"] = display
    xdo("key", "Return")  # "Default comport set to 0"
    time.sleep(1)
    window = subprocess.run(["xdotool", "search", "--name", "VESK Controller"],
                            capture_output=True, text=True).stdout.split()[0]
    # Two dots painted on the grid, the dot length field and its Apply button, then Turn On
    # (client coordinates).
    xdo("mousemove", "--window", window, "100", "60", "click", "1")
    xdo("mousemove", "--window", window, "130", "40", "click", "1")
    xdo("mousemove", "--window", window, "240", "142", "click", "--repeat", "3", "1")
    xdo("type", str(dot_ms))
    xdo("mousemove", "--window", window, "289", "142", "click", "1")
    xdo("mousemove", "--window", window, "37", "142", "click", "1")
    return finish(proc, seconds)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--build", default="build")
    parser.add_argument("--display", default=":59")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    xvfb = subprocess.Popen(["Xvfb", args.display, "-screen", "0", "1024x768x24"],
                            stderr=subprocess.DEVNULL)
    time.sleep(1)
    wm = subprocess.Popen(["openbox"], env=dict(os.environ, DISPLAY=args.display),
                          stderr=subprocess.DEVNULL)
    try:
        with tempfile.TemporaryDirectory() as folder:
            for dot_ms in (100, 120000):
                cli = measure_cli(build, folder, dot_ms, args.seconds)
                window = measure_window(build, folder, dot_ms, args.seconds, args.display)
                print(f"600 dots of {dot_ms} ms: vesk-cli play {cli / 1024:.1f} MB, "
                      f"window {window / 1024:.1f} MB peak resident")
    finally:
        wm.terminate()
        xvfb.terminate()


if __name__ == "__main__":
    if not shutil.which("xdotool") or not shutil.which("Xvfb"):
        raise SystemExit("needs xdotool, Xvfb and openbox (apt-get install xdotool xvfb openbox)")
    main()
