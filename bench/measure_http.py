#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Plays a beacon pattern with `vesk-cli play --http 127.0.0.1:0` into the test null sink while
N clients poll its /api/status, and reports the response times and whether the sound had gaps.

Each client is a thread with one keep-alive connection from a loopback address of its own
(127.0.0.10, 127.0.0.11, ...), so the server's per-client limits treat them as the different
machines they stand for; each asks every --interval seconds (the page asks every 0.5 s). The
time of a request is taken around the whole exchange on the client, so it includes this
script's own scheduling: an upper bound of the server's. The sound is checked as
measure_playback.py checks it: the sink's monitor read in real time, silences of 2 ms or more
inside a pass counted as gaps, and each cycle's underruns as vesk-cli reports them.

Options: --clients N (50), --seconds S (60), --interval S (0.5), --build DIR. Run from the
repository after building, with the null sink up:
  eval "$(tests/integration/start-pulse.sh)"
  python3 bench/measure_http.py
"""

import argparse
import http.client
import os
import re
import signal
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from measure_playback import (DOT_MS, DOTS, RATE, Recorder, built_programs,  # noqa: E402
                              cpu_seconds, passes_and_gaps, pattern_text, sound_runs)


class Poller(threading.Thread):
    """One client: GET /api/status on one connection until `end`, every `interval` seconds."""

    def __init__(self, port, source, interval, end):
        super().__init__(daemon=True)
        self.port, self.source, self.interval, self.end = port, source, interval, end
        self.times = []      # seconds per answered request
        self.statuses = {}   # status -> count
        self.failures = []   # what went wrong, when no answer came

    def run(self):
        connection = None
        due = time.monotonic()
        while due < self.end:
            time.sleep(max(0.0, due - time.monotonic()))
            due += self.interval
            try:
                if connection is None:
                    connection = http.client.HTTPConnection(
                        "127.0.0.1", self.port, timeout=5, source_address=(self.source, 0))
                start = time.perf_counter()
                connection.request("GET", "/api/status")
                reply = connection.getresponse()
                reply.read()
                self.times.append(time.perf_counter() - start)
                self.statuses[reply.status] = self.statuses.get(reply.status, 0) + 1
            except (OSError, http.client.HTTPException) as error:
                self.failures.append(repr(error))
                if connection is not None:
                    connection.close()
                connection = None
        if connection is not None:
            connection.close()


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(p / 100 * len(ordered)))]


def start_play(cli, modem, folder):
    """vesk-cli play on a pty-backed COM7 and the fake modem; returns it and its port."""
    master, slave = os.openpty()
    os.symlink(os.ttyname(slave), os.path.join(folder, "COM7"))
    pattern = os.path.join(folder, "tone.txt")
    with open(pattern, "w", newline="") as out:
        out.write(pattern_text())
    env = dict(os.environ, VESK_COMPORT_DIR=folder, LD_PRELOAD=modem,
               VESK_FAKE_MODEM_LOG=os.path.join(folder, "lines.log"), VESK_FAKE_MODEM_TIMES="1",
               XDG_CONFIG_HOME=folder, XDG_STATE_HOME=folder)
    play = subprocess.Popen([cli, "play", pattern, "--comport", "7", "--level", "100",
                             "--http", "127.0.0.1:0"], env=env, stderr=subprocess.PIPE, text=True)
    errors = []
    reader = threading.Thread(target=lambda: errors.extend(play.stderr), daemon=True)
    reader.start()
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and play.poll() is None:
        found = re.search(r"serving the status page at http://127\.0\.0\.1:(\d+)/", "".join(errors))
        if found:
            return play, int(found.group(1)), errors, reader, (master, slave)
        time.sleep(0.05)
    play.kill()
    sys.exit("measure_http: vesk-cli did not say where it serves:\n" + "".join(errors))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--clients", type=int, default=50)
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--interval", type=float, default=0.5)
    parser.add_argument("--build", default="build")
    args = parser.parse_args()

    cli, modem = built_programs(args.build, "measure_http")

    folder = tempfile.mkdtemp(prefix="vesk-measure-http-")
    recorder = Recorder()
    recorder.start()
    time.sleep(1.0)
    play, port, errors, reader, pty = start_play(cli, modem, folder)
    time.sleep(2.0)
    cpu_start, wall_start = cpu_seconds(play.pid), time.monotonic()
    end = time.monotonic() + args.seconds
    pollers = [Poller(port, f"127.0.0.{10 + i}", args.interval, end) for i in range(args.clients)]
    for poller in pollers:
        poller.start()
    for poller in pollers:
        poller.join()
    cpu = (cpu_seconds(play.pid) - cpu_start) / (time.monotonic() - wall_start)
    play.send_signal(signal.SIGTERM)
    play.wait(timeout=10)
    reader.join(timeout=5)
    time.sleep(0.5)
    recorder.stop()
    for fd in pty:
        os.close(fd)

    n = round((DOTS + 1) * DOT_MS * RATE / 1000)
    passes, gaps = passes_and_gaps(sound_runs(recorder.samples()), n)
    times = [t for poller in pollers for t in poller.times]
    statuses = {}
    for poller in pollers:
        for status, count in poller.statuses.items():
            statuses[status] = statuses.get(status, 0) + count
    failures = [f for poller in pollers for f in poller.failures]
    # "... cycle 12 played, 0 underruns"; the log's own lines on stderr say the same again.
    cycles = [int(found.group(1)) for line in errors
              if (found := re.search(r"cycle \d+ played, (\d+) underruns?", line))]

    print(f"run: {args.seconds:.0f} s, {args.clients} clients, each every {args.interval:g} s")
    print(f"requests answered: {len(times)}, by status: "
          + ", ".join(f"{s}: {c}" for s, c in sorted(statuses.items()))
          + f"; unanswered: {len(failures)}" + (f" (first: {failures[0]})" if failures else ""))
    if times:
        ms = [t * 1000 for t in times]
        print(f"response (ms): p50 {percentile(ms, 50):.2f}, p90 {percentile(ms, 90):.2f}, "
              f"p99 {percentile(ms, 99):.2f}, max {max(ms):.2f}")
    print(f"passes: {len(passes)}; gaps inside passes: {len(gaps)}" +
          (f", longest {max(b - a for a, b in gaps) / RATE * 1000:.1f} ms" if gaps else ""))
    print(f"cycles reported: {len(cycles)}, with underruns: {sum(1 for n in cycles if n)}, "
          f"underruns in all: {sum(cycles)}")
    print(f"vesk-cli cpu: {cpu * 100:.2f} % of one core")


if __name__ == "__main__":
    main()
