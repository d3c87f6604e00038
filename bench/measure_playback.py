#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Plays a beacon pattern with `vesk-cli play` into the test null sink for a given time and
measures what was heard against how the transmitter was keyed, on one clock.

The sink's monitor is read in real time (parec, 10 ms latency) and every chunk is stamped with
CLOCK_MONOTONIC as it arrives; a null sink renders at a steady real-time pace, so sample i was
heard at t0 + i / 44100, t0 being the earliest arrival of any chunk less its length, plus the
reader's latency: the sink renders a block of that length at its start and the monitor hands it
over at once, that much before the sink plays it. The PTT
lines are a pseudo-terminal's, answered and logged with CLOCK_MONOTONIC times by the fake modem
that the tests build (preloaded into vesk-cli). Reported per run:

  gaps   silences of 2 ms or more inside a pass (the pattern sounds all through its N samples)
  lead   time from the key (both lines up) to the first sample of each pass
  tail   time from the last sample of each pass to the release
  blips  keyed or released stretches shorter than one dot
  period time between the starts of consecutive passes
  cpu    vesk-cli's user + system time over the measured span, in % of one core

Options: --seconds S, --stress N (stress-ng --cpu N beside it), --stall-ms M --stall-every E
(the whole process stopped for M ms every E s), --build DIR. Run from the repository after
building (scripts/test.sh builds everything) with the null sink up:
  eval "$(tests/integration/start-pulse.sh)"
  python3 bench/measure_playback.py --seconds 600 --stress 4
"""

import argparse
import os
import re
import signal
import subprocess
import sys
import tempfile
import threading
import time

RATE = 44100
DOT_MS = 100
DOTS = 20        # slots 0..20: 21 dots of tone, 2.1 s
REPEAT = 40      # a period of 41 dots: 4.1 s
THRESHOLD = 50   # |sample| above this is sound (the pattern peaks at full scale)


def pattern_text():
    lines = [f" {DOT_MS}  {DOTS}  10  1000  {REPEAT} "]
    for slot in range(601):
        lines.append(" 8  1 " if slot <= DOTS else " 0  0 ")
    return "\r\n".join(lines) + "\r\n"


# The monitor reader's latency, in ms.
LATENCY_MS = 10


class Recorder(threading.Thread):
    """parec on the monitor; chunks stamped on arrival."""

    def __init__(self):
        super().__init__(daemon=True)
        self.proc = subprocess.Popen(
            ["parec", "-d", "vesk.monitor", "--raw", "--format=s16le", "--rate=44100",
             "--channels=1", f"--latency-msec={LATENCY_MS}"], stdout=subprocess.PIPE)
        self.data = bytearray()
        self.stamps = []  # (samples so far, monotonic time)

    def run(self):
        fd = self.proc.stdout.fileno()
        while True:
            chunk = os.read(fd, 4096)
            now = time.monotonic()
            if not chunk:
                return
            self.data += chunk
            self.stamps.append((len(self.data) // 2, now))

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        self.proc.wait()
        self.join()

    def samples(self):
        import array
        a = array.array("h")
        a.frombytes(bytes(self.data[: len(self.data) // 2 * 2]))
        return a

    def t0(self):
        return min(t - n / RATE for n, t in self.stamps) + LATENCY_MS / 1000


def sound_runs(samples):
    """[start, end) of each stretch of sound. Quiet is judged per millisecond (a sine crosses
    zero), so a silence of 2 ms or more always splits a run; the edges are exact samples."""
    block = RATE // 1000
    runs = []
    start = None
    for b in range(0, len(samples) - block + 1, block):
        piece = samples[b:b + block]
        loud = max(piece) > THRESHOLD or min(piece) < -THRESHOLD
        if loud and start is None:
            start = b + next(j for j, s in enumerate(piece) if abs(s) > THRESHOLD)
        elif not loud and start is not None:
            before = samples[b - block:b]
            last = max(j for j, s in enumerate(before) if abs(s) > THRESHOLD)
            runs.append((start, b - block + last + 1))
            start = None
    if start is not None:
        runs.append((start, len(samples)))
    return runs


def passes_and_gaps(runs, n):
    """Groups runs into passes of n samples; silences inside a pass are gaps."""
    passes, gaps = [], []
    i = 0
    while i < len(runs):
        start, end = runs[i]
        i += 1
        while end - start < n - 2 * RATE // 1000 and i < len(runs) and runs[i][0] < start + n + RATE:
            gaps.append((end, runs[i][0]))
            end = runs[i][1]
            i += 1
        passes.append((start, end))
    return passes, gaps


def keyings(log_path):
    """(keyed, time) at each change of the pair: keyed once both are up, released at the first
    line down."""
    dtr = rts = False
    state = False
    changes = []
    with open(log_path) as log:
        for line in log:
            name, when = line.split()
            up = name.endswith("+")
            if name.startswith("DTR"):
                dtr = up
            else:
                rts = up
            now = dtr and rts
            if now != state:
                changes.append((now, float(when)))
                state = now
    return changes


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def built_programs(build, script):
    """vesk-cli and the fake modem in `build`; ends `script` when one is missing or no sound
    server of its own is set."""
    cli = os.path.abspath(os.path.join(build, "cli", "vesk-cli"))
    modem = os.path.abspath(os.path.join(build, "tests", "libvesk_fake_modem.so"))
    for path in (cli, modem):
        if not os.path.exists(path):
            sys.exit(f"{script}: {path} is missing; build first (scripts/test.sh)")
    if not os.environ.get("PULSE_SERVER"):
        sys.exit(f'{script}: no PULSE_SERVER; eval "$(tests/integration/start-pulse.sh)"')
    return cli, modem


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--stress", type=int, default=0)
    parser.add_argument("--stall-ms", type=int, default=0)
    parser.add_argument("--stall-every", type=float, default=10)
    parser.add_argument("--build", default="build")
    parser.add_argument("--verbose", action="store_true", help="a line per cycle and per gap")
    args = parser.parse_args()

    cli, modem = built_programs(args.build, "measure_playback")

    folder = tempfile.mkdtemp(prefix="vesk-measure-")
    master, slave = os.openpty()
    os.symlink(os.ttyname(slave), os.path.join(folder, "COM7"))
    pattern = os.path.join(folder, "tone.txt")
    with open(pattern, "w", newline="") as out:
        out.write(pattern_text())
    log = os.path.join(folder, "lines.log")
    env = dict(os.environ, VESK_COMPORT_DIR=folder, LD_PRELOAD=modem, VESK_FAKE_MODEM_LOG=log,
               VESK_FAKE_MODEM_TIMES="1")

    recorder = Recorder()
    recorder.start()
    time.sleep(1.0)
    stress = None
    if args.stress:
        stress = subprocess.Popen(["stress-ng", "--cpu", str(args.stress), "--quiet"],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    play = subprocess.Popen([cli, "play", pattern, "--comport", "7", "--level", "100"], env=env,
                            stderr=subprocess.PIPE, text=True)
    time.sleep(2.0)
    cpu_start, wall_start = cpu_seconds(play.pid), time.monotonic()
    end = time.monotonic() + args.seconds
    next_stall = time.monotonic() + args.stall_every
    stalls = []  # how long each stop really lasted: a loaded machine may wake this script late
    while time.monotonic() < end:
        if args.stall_ms and time.monotonic() >= next_stall:
            os.kill(play.pid, signal.SIGSTOP)
            stopped = time.monotonic()
            time.sleep(args.stall_ms / 1000)
            os.kill(play.pid, signal.SIGCONT)
            stalls.append(time.monotonic() - stopped)
            next_stall += args.stall_every
        time.sleep(0.01)
    cpu = (cpu_seconds(play.pid) - cpu_start) / (time.monotonic() - wall_start)
    play.send_signal(signal.SIGTERM)
    _, errors = play.communicate(timeout=10)
    if stress:
        stress.terminate()
        stress.wait()
    time.sleep(0.5)
    recorder.stop()

    samples = recorder.samples()
    t0 = recorder.t0()
    n = round((DOTS + 1) * DOT_MS * RATE / 1000)
    dot = DOT_MS / 1000
    passes, gaps = passes_and_gaps(sound_runs(samples), n)
    changes = keyings(log)

    def at(index):
        return t0 + index / RATE

    leads, tails, periods = [], [], []
    for k, (start, stop) in enumerate(passes):
        keys = [t for up, t in changes if up and t <= at(start)]
        releases = [t for up, t in changes if not up and t >= at(stop)]
        if keys:
            leads.append(at(start) - keys[-1])
        if releases and stop < len(samples) - RATE // 10:
            tails.append(releases[0] - at(stop))
        if k:
            periods.append((start - passes[k - 1][0]) / RATE)
    if args.verbose:
        for k, (start, stop) in enumerate(passes):
            keys = [t for up, t in changes if up and t <= at(start)]
            releases = [t for up, t in changes if not up and t >= at(stop)]
            lead = (at(start) - keys[-1]) * 1000 if keys else float("nan")
            tail = (releases[0] - at(stop)) * 1000 if releases else float("nan")
            print(f"pass {k + 1}: at {at(start):.3f} s, {(stop - start) / RATE * 1000:.1f} ms, "
                  f"lead {lead:.1f} ms, tail {tail:.1f} ms")
        for a, b in gaps:
            print(f"gap at {at(a):.3f} s: {(b - a) / RATE * 1000:.1f} ms")
        for up, t in changes:
            print(f"{'key' if up else 'release'} at {t:.3f} s")
    blips = sum(1 for a, b in zip(changes, changes[1:]) if b[1] - a[1] < dot)
    short = sum(1 for start, stop in passes[:-1] if stop - start < n - 2 * RATE // 1000)

    print(f"run: {args.seconds:.0f} s, stress-ng --cpu {args.stress}, "
          f"stall {args.stall_ms} ms every {args.stall_every:g} s")
    if stalls:
        print(f"stops: {len(stalls)}, lasting {min(stalls) * 1000:.0f} .. {max(stalls) * 1000:.0f} ms")
    print(f"passes: {len(passes)} (short: {short}); gaps inside passes: {len(gaps)}" +
          (f", longest {max(b - a for a, b in gaps) / RATE * 1000:.1f} ms" if gaps else ""))
    if leads:
        print(f"lead (key -> first sample): {min(leads) * 1000:.1f} .. {max(leads) * 1000:.1f} ms")
    if tails:
        print(f"tail (last sample -> release): {min(tails) * 1000:.1f} .. "
              f"{max(tails) * 1000:.1f} ms")
    if periods:
        inner = periods[1:] or periods
        print(f"period (cycle 2 on): {min(inner) * 1000:.1f} .. {max(inner) * 1000:.1f} ms")
    print(f"blips (key or release under one dot): {blips}")
    print(f"cpu: {cpu * 100:.2f} % of one core")
    # "cycle N played, K underruns" and the log's lines echoed with a tab before the count.
    underruns = [line for line in errors.splitlines()
                 if "underrun" in line and not re.search(r"[\s,]0 underruns", line)]
    print(f"cycles that reported underruns: {len(underruns)}")
    os.close(master)
    os.close(slave)


if __name__ == "__main__":
    main()
