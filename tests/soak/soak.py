#!/usr/bin/env python3
"""A long run of the window against a client that keeps rewriting its file.

A writer replaces a big state file the way the client does (write
client_state_next.xml, rename the current file to client_state_prev.xml,
rename the next one in) every 100 ms with changing content, and now and then
leaves the gap open for a while, truncates the file in place, or puts a
directory where the file was. The window runs offscreen on it with its
watchdog on. Fails on a crash, a hang (no refresh for 10 s while the file
changes), resident memory that grows by more than 10% from the start of the
run to its end, or a final view that differs from crunchwatch-dump's view of
the final file.

  soak.py --dump DUMP --probe PROBE [--seconds N]
"""

import argparse
import json
import os
import queue
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HANG_SECONDS = 10
GROWTH_ALLOWED = 0.10


class Failure(Exception):
    pass


class StateWriter(threading.Thread):
    """Rewrites the state file in a loop until stopped."""

    def __init__(self, directory, seed, results=6000):
        super().__init__(daemon=True)
        self.directory = directory
        self.random = random.Random(seed)
        self.results = results
        self.stop_event = threading.Event()
        self.rewrites = 0
        self.error = None
        self.last_change = time.monotonic()

    def path(self, name):
        return os.path.join(self.directory, name)

    def content(self, generation):
        """About 2 MB: two projects and their results, every value moving on."""
        rnd = self.random
        parts = ["<client_state>\n"]
        tasks = []
        per_project = self.results // 2
        for p in range(2):
            url = f"http://soak{p}.invalid/"
            parts.append(f"<project>\n    <master_url>{url}</master_url>\n    <project_name>Soak {p} gen {generation}"
                         f"</project_name>\n    <user_total_credit>{generation * 1.5 + p:.6f}</user_total_credit>\n"
                         f"    <resource_share>{100 + p * 50}</resource_share>\n</project>\n")
            shown = per_project - rnd.randrange(10)
            for r in range(shown):
                name = f"wu_{p}_{r}_{generation % 7}"
                parts.append(f"<workunit>\n    <name>{name}</name>\n    <app_name>soak</app_name>\n"
                             f"    <version_num>{100 + r % 9}</version_num>\n</workunit>\n<result>\n"
                             f"    <name>{name}_0</name>\n    <state>{2 if r % 5 else 5}</state>\n"
                             f"    <wu_name>{name}</wu_name>\n    <report_deadline>{1796000000 + r * 60}.000000"
                             f"</report_deadline>\n</result>\n")
                if r % 10 == 0:
                    tasks.append(f"<active_task>\n    <project_master_url>{url}</project_master_url>\n"
                                 f"    <result_name>{name}_0</result_name>\n    <active_task_state>{1 if r % 20 else 9}"
                                 f"</active_task_state>\n    <checkpoint_cpu_time>{r + generation}.5</checkpoint_cpu_time>\n"
                                 f"    <checkpoint_fraction_done>{rnd.random():.6f}</checkpoint_fraction_done>\n"
                                 f"    <current_cpu_time>{r + generation + 3}.25</current_cpu_time>\n</active_task>\n")
        parts.append("<active_task_set>\n")
        parts.extend(tasks)
        parts.append("</active_task_set>\n<platform_name>x86_64-pc-linux-gnu</platform_name>\n</client_state>\n")
        return "".join(parts)

    def write(self, name, text):
        with open(self.path(name), "w") as f:
            f.write(text)

    def replace(self, text, gap=0.0):
        """The client's own way: next, current to prev, next to current."""
        self.write("client_state_next.xml", text)
        if os.path.exists(self.path("client_state.xml")):
            os.replace(self.path("client_state.xml"), self.path("client_state_prev.xml"))
        if gap:
            time.sleep(gap)
        os.replace(self.path("client_state_next.xml"), self.path("client_state.xml"))
        self.rewrites += 1
        self.last_change = time.monotonic()

    def run(self):
        try:
            generation = 0
            while not self.stop_event.is_set():
                generation += 1
                text = self.content(generation)
                roll = self.random.random()
                if roll < 0.04:
                    self.replace(text, gap=0.3)
                elif roll < 0.07:
                    # Cut short in place, then rewritten whole a moment later.
                    with open(self.path("client_state.xml"), "r+") as f:
                        f.truncate(self.random.randrange(1, len(text)))
                    time.sleep(0.2)
                    self.replace(text)
                elif roll < 0.10:
                    os.replace(self.path("client_state.xml"), self.path("client_state_prev.xml"))
                    os.mkdir(self.path("client_state.xml"))
                    time.sleep(0.3)
                    os.rmdir(self.path("client_state.xml"))
                    self.replace(text)
                else:
                    self.replace(text)
                self.stop_event.wait(0.1)
        except Exception as e:  # the run fails on it, with the reason
            self.error = e

    def finish(self):
        self.stop_event.set()
        self.join(timeout=30)
        if self.error:
            raise Failure(f"the writer failed: {self.error!r}")


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def compare_final_view(view, dump_exe, state_file):
    out = subprocess.run([dump_exe, "--json", state_file], capture_output=True, text=True, timeout=60)
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


def soak(args, work):
    directory = os.path.join(work, "data")
    os.makedirs(directory)
    seed = random.randrange(1 << 30)
    writer = StateWriter(directory, seed)
    writer.write("client_state.xml", writer.content(0))
    state_file = os.path.join(directory, "client_state.xml")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    probe = subprocess.Popen([args.probe, state_file, os.path.join(work, "settings.ini"), "--summary"],
                             stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=env, text=True)
    lines = queue.Queue()

    def read():
        for line in probe.stdout:
            lines.put(json.loads(line))
    threading.Thread(target=read, daemon=True).start()

    samples = []  # (seconds since start, resident KiB)
    refreshes = failed = 0
    start = time.monotonic()
    last_refresh = start
    writer.start()
    try:
        while time.monotonic() - start < args.seconds:
            time.sleep(1)
            if probe.poll() is not None:
                raise Failure(f"the window ended with status {probe.returncode}")
            while not lines.empty():
                line = lines.get()
                refreshes += 1
                failed += 0 if line["ok"] else 1
                last_refresh = time.monotonic()
            if writer.error:
                raise Failure(f"the writer failed: {writer.error!r}")
            if time.monotonic() - last_refresh > HANG_SECONDS:
                raise Failure(f"no refresh for {HANG_SECONDS} s while the file kept changing")
            samples.append((time.monotonic() - start, rss_kib(probe.pid)))
        writer.finish()

        # The final file, written the client's way, must reach the window.
        final_start = time.monotonic()
        writer.replace(writer.content(10 ** 6))
        while True:
            line = lines.get(timeout=30)
            refreshes += 1
            if line["ok"] and time.monotonic() - final_start > 0.1:
                break
        probe.stdin.write("view\n")
        probe.stdin.flush()
        while True:
            line = lines.get(timeout=60)
            if line.get("view"):
                break
        compare_final_view(line, args.dump, state_file)
    finally:
        writer.stop_event.set()
        if probe.poll() is None:
            probe.terminate()
            try:
                probe.wait(timeout=10)
            except subprocess.TimeoutExpired:
                probe.kill()

    # Memory from the start of the run to its end: the first and the last
    # minute (a quarter of a shorter run each), after ten seconds of warming up.
    warm = [s for s in samples if s[0] >= 10]
    window = min(60.0, (args.seconds - 10) / 4)
    first = [kib for t, kib in warm if t < 10 + window]
    last = [kib for t, kib in warm if t >= args.seconds - window]
    if not first or not last:
        raise Failure("too few memory samples")
    first_mib, last_mib = statistics.median(first) / 1024, statistics.median(last) / 1024
    hours = (time.monotonic() - start) / 3600
    print(f"soak: {hours:.2f} h, {writer.rewrites} rewrites survived, {refreshes} refreshes "
          f"({failed} found no file), resident memory {first_mib:.1f} MiB first, {last_mib:.1f} MiB last, "
          f"peak {max(k for _, k in samples) / 1024:.1f} MiB (seed {seed})", flush=True)
    if last_mib > first_mib * (1 + GROWTH_ALLOWED):
        raise Failure(f"memory grew from {first_mib:.1f} MiB to {last_mib:.1f} MiB")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dump", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--seconds", type=float, default=3600)
    args = parser.parse_args()
    # In memory where there is room: an hour of rewrites is a lot of writing.
    base = "/dev/shm" if os.access("/dev/shm", os.W_OK) else None
    work = tempfile.mkdtemp(prefix="crunchwatch-soak-", dir=base)
    try:
        soak(args, work)
    except (Failure, queue.Empty) as failure:
        print(f"soak: FAILED: {failure or 'the window stopped answering'}", flush=True)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("soak: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
