#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""CPU time `vesk-cli run` spends between transmissions: the plan's one entry sends once a
day, at a second that is hours away, so the whole measurement falls between two of its
transmissions. The target is under 0.1 % of one core: no sound stream, no dot timer, only a
timer that wakes once a second.

The runner is started, left --settle seconds to open its keyer and log and plan its first
transmission, then its user and system CPU time (/proc/PID/stat) is read at the start and the
end of --seconds. Run from the repository after building, with the null sink up:
  export VESK_PULSE_DIR=/tmp/vesk-pulse-bench; eval "$(tests/integration/start-pulse.sh)"
  python3 bench/measure_idle.py --seconds 600
"""

import argparse
import os
import signal
import subprocess
import tempfile
import time

PATTERN = "50 4 10 1000 20\r\n" + "8 1\r\n" * 5


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    # utime and stime, fields 14 and 15 of stat(5), counted after the command's name.
    ticks = int(fields[11]) + int(fields[12])
    return ticks / os.sysconf("SC_CLK_TCK")


def plan_text(folder):
    # The slot furthest from now: twelve hours on, on a daily grid.
    now = time.gmtime()
    offset = ((now.tm_hour + 12) % 24) * 3600 + now.tm_min * 60
    return (f'[station]\nlog = "{folder}/idle.log"\n\n[[transmission]]\nname = "daily"\n'
            f'pattern = "dots.txt"\nevery = "24h"\noffset = "{offset}s"\n')


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("--seconds", type=float, default=600)
    parser.add_argument("--settle", type=float, default=5)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "dots.txt"), "w", newline="") as out:
            out.write(PATTERN)
        with open(os.path.join(folder, "plan.toml"), "w") as out:
            out.write(plan_text(folder))
        proc = subprocess.Popen([os.path.join(args.build, "cli", "vesk-cli"), "run",
                                 os.path.join(folder, "plan.toml"), "--no-clock-check"],
                                stderr=subprocess.PIPE, text=True)
        try:
            time.sleep(args.settle)
            if proc.poll() is not None:
                raise SystemExit(f"ended early: {proc.stderr.read()}")
            start_cpu, start = cpu_seconds(proc.pid), time.monotonic()
            time.sleep(args.seconds)
            used, elapsed = cpu_seconds(proc.pid) - start_cpu, time.monotonic() - start
        finally:
            proc.send_signal(signal.SIGTERM)
            proc.wait(10)
        share = 100.0 * used / elapsed
        print(f"idle for {elapsed:.0f} s: {used * 1000:.0f} ms of CPU, {share:.4f} % of a core "
              f"(target under 0.1 %): {'ok' if share < 0.1 else 'TOO MUCH'}")
        return 0 if share < 0.1 else 1


if __name__ == "__main__":
    raise SystemExit(main())
