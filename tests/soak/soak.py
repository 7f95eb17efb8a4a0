#!/usr/bin/env python3
"""A long run of the window against a client that keeps rewriting its file.

A writer (state_writer.py) replaces a big state file the client's way every
100 ms, with gaps, truncations and a directory in its place now and then; the
window runs offscreen on it with its watchdog on (window.py). The run fails
on a crash; a hang (no refresh for 10 s while the file kept changing); a
window that refreshes but has not read the file for 30 s while it kept
changing; resident memory that grows by more than 10% from the first minute
to the last; or a final view that differs from crunchwatch-dump's view of the
final file. Every wait is bounded, and the window is stopped in every
outcome, a signal to this script included.

  soak.py --dump DUMP --probe PROBE [--seconds N]
"""

import argparse
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no __pycache__ beside the sources
from state_writer import StateWriter, WriterFailure  # noqa: E402
from window import Window, WindowFailure  # noqa: E402

HANG_SECONDS = 10
# The writer leaves no readable file about a tenth of the time, so a tick
# fails now and then; fifteen failing in a row mean the window lost the file.
UNREAD_SECONDS = 30
GROWTH_ALLOWED = 0.10
WARM_UP_SECONDS = 10
FINAL_STEP_SECONDS = 60
PROGRESS_SECONDS = 600


class Failure(Exception):
    pass


class Run:
    """What the run counted and sampled."""

    def __init__(self):
        self.start = time.monotonic()
        self.refreshes = 0
        self.failed = 0
        self.samples = []  # (seconds since start, resident KiB)

    def elapsed(self):
        return time.monotonic() - self.start


def follow(window, writer, run, seconds):
    """The timed loop: once a second, the window's lines, checks and a memory sample."""
    last_refresh = last_read = next_progress = run.start
    next_progress += PROGRESS_SECONDS
    while run.elapsed() < seconds:
        time.sleep(1)
        for line in window.ready_lines():
            run.refreshes += 1
            last_refresh = time.monotonic()
            if line["ok"]:
                last_read = last_refresh
            else:
                run.failed += 1
        window.check_running()
        if writer.error:
            raise WriterFailure(f"the writer failed: {writer.error!r}")
        now = time.monotonic()
        if now - last_refresh > HANG_SECONDS and writer.last_change > last_refresh:
            raise Failure(f"no refresh for {HANG_SECONDS} s while the file kept changing")
        if now - last_read > UNREAD_SECONDS and writer.last_change > last_read:
            raise Failure(f"the window has not read the file for {UNREAD_SECONDS} s while it kept changing")
        run.samples.append((run.elapsed(), window.resident_kib()))
        if now >= next_progress:
            next_progress += PROGRESS_SECONDS
            print(f"soak: {run.elapsed():.0f} s, {writer.rewrites} rewrites, {run.refreshes} refreshes, "
                  f"{run.samples[-1][1] / 1024:.1f} MiB", flush=True)


def compare_final_view(view, dump_exe, state_file):
    try:
        out = subprocess.run([dump_exe, "--json", state_file], capture_output=True, text=True, timeout=60)
    except subprocess.TimeoutExpired:
        raise Failure("crunchwatch-dump took over 60 s on the final file") from None
    if out.returncode != 0:
        raise Failure(f"crunchwatch-dump failed on the final file: {out.stderr}")
    expected = json.loads(out.stdout)["results"]
    shown = view["results"]
    if len(shown) != len(expected):
        raise Failure(f"the window shows {len(shown)} results, the dump {len(expected)}")
    for i, (a, b) in enumerate(zip(shown, expected)):
        for column, value in b.items():
            if column == "ETC":  # counted from the moment each was asked
                continue
            if a.get(column, "") != (value or ""):
                raise Failure(f"row {i} {column}: the window shows {a.get(column)!r}, the dump {value!r}")


def finish(window, writer, run, dump_exe, state_file):
    """The writer stops; a last file, written the client's way, must reach the
    window, and the window's whole view must then be the dump's."""
    writer.finish()
    writer.replace(writer.content(10 ** 6, final=True))
    deadline = time.monotonic() + FINAL_STEP_SECONDS
    while True:
        line = window.next_line(deadline, "the final file did not reach the window")
        run.refreshes += 1
        if line["ok"] and line["rows"] == writer.final_rows:
            break
    window.ask_view()
    deadline = time.monotonic() + FINAL_STEP_SECONDS
    while not (line := window.next_line(deadline, "the window did not show its view")).get("view"):
        run.refreshes += 1
    compare_final_view(line, dump_exe, state_file)


def memory_figures(run, seconds):
    """Resident MiB of the first and the last minute (a quarter of a shorter
    run each) after the warm-up, and of the whole run. Each is the highest
    sample: every refresh of a file this size takes memory up to about the
    same height and gives most of it back, so the samples in between go up
    and down by a fifth with the moment they were taken, while the height
    itself stays put unless something is kept."""
    warm = [s for s in run.samples if s[0] >= WARM_UP_SECONDS]
    window = min(60.0, (seconds - WARM_UP_SECONDS) / 4)
    first = [kib for t, kib in warm if t < WARM_UP_SECONDS + window]
    last = [kib for t, kib in warm if t >= seconds - window]
    if not first or not last:
        raise Failure("too few memory samples")
    return max(first) / 1024, max(last) / 1024, max(k for _, k in run.samples) / 1024


def soak(args, work):
    directory = os.path.join(work, "data")
    os.makedirs(directory)
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    writer = StateWriter(directory, seed)
    writer.write("client_state.xml", writer.content(0))
    state_file = os.path.join(directory, "client_state.xml")
    run = Run()
    window = Window(args.probe, state_file, os.path.join(work, "settings.ini"))
    try:
        writer.start()
        follow(window, writer, run, args.seconds)
        finish(window, writer, run, args.dump, state_file)
    finally:
        writer.stop_event.set()
        window.stop()
    first, last, peak = memory_figures(run, args.seconds)
    print(f"soak: {run.elapsed() / 3600:.2f} h, {writer.rewrites} rewrites survived, {run.refreshes} refreshes "
          f"({run.failed} found no file), resident memory {first:.1f} MiB in the first minute, "
          f"{last:.1f} MiB in the last, peak {peak:.1f} MiB (seed {seed})", flush=True)
    if last > first * (1 + GROWTH_ALLOWED):
        raise Failure(f"memory grew from {first:.1f} MiB to {last:.1f} MiB")


def stopped_by_signal(number, _frame):
    raise Failure(f"stopped by signal {number}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dump", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--seconds", type=float, default=3600)
    parser.add_argument("--seed", type=int, help="replays a run's writer (the summary line names its seed)")
    args = parser.parse_args()
    # A timeout or a user stopping the run still ends the window and clears up.
    signal.signal(signal.SIGTERM, stopped_by_signal)
    # In memory where there is room: an hour of rewrites is a lot of writing.
    base = "/dev/shm" if os.access("/dev/shm", os.W_OK) else None
    work = tempfile.mkdtemp(prefix="crunchwatch-soak-", dir=base)
    try:
        soak(args, work)
    except (Failure, WindowFailure, WriterFailure) as failure:
        print(f"soak: FAILED: {failure}", flush=True)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("soak: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
