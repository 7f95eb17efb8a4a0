#!/usr/bin/env python3
"""crunchwatch against Debian's real BOINC client, with no network at all.

Lays out a private data directory with one local project and three tasks of
a tiny application built on the client's own API, starts the client on it
with one processor, waits for the running task to checkpoint, suspends it,
and compares what crunchwatch-dump shows with what the client itself reports
over its RPC: a paused task at its checkpoint progress with a remaining
time, a running one, a waiting one. The window, offscreen, must follow the
client's own rewrites of the file through its watchdog. Then the running task
finishes: the line the client appends to its job log must be what the dump's
history and the window's History view show.

Exit 77 (skipped) where the client or its application library is missing.

  real_client_test.py --dump DUMP --probe PROBE [--app APP]
"""

import json
import os
import queue
import re
import subprocess
import sys
import threading
import time

import client_dir
from client_run import (STEP_TIMEOUT, Client, Failure, by_result, client_version, dump, end_process, free_port, main,
                        metrics, say, wait_for)


class WindowProbe:
    """The window on the live directory; its refreshes arrive as JSON lines."""

    def __init__(self, probe, state_file, settings):
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        self.process = subprocess.Popen([probe, state_file, settings], stdout=subprocess.PIPE,
                                        stdin=subprocess.DEVNULL, env=env, text=True)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(json.loads(line))

    def wait_until(self, what, check, timeout=STEP_TIMEOUT):
        end = time.monotonic() + timeout
        seen = None
        while time.monotonic() < end:
            try:
                seen = self.lines.get(timeout=max(0.1, end - time.monotonic()))
            except queue.Empty:
                break
            if check(seen):
                return seen
        raise Failure(f"the window never showed {what}; last seen: {seen}")

    def stop(self):
        end_process(self.process)


def hms(seconds):
    s = int(seconds)
    return f"{s // 3600:02d}:{s % 3600 // 60:02d}:{s % 60:02d}"


def close(a, b, tolerance, what):
    if abs(float(a) - float(b)) > tolerance:
        raise Failure(f"{what}: crunchwatch {a}, client {b}")


def job_log_tasks(path):
    """The job log's tasks, read the plain way: the moment, then key/value pairs."""
    try:
        with open(path) as f:
            lines = f.read().split("\n")
    except OSError:
        return []
    tasks = []
    for line in lines:
        tokens = line.split()
        if not tokens:
            continue
        task = {"time": tokens[0]}
        for key, value in zip(tokens[1::2], tokens[2::2]):
            task.setdefault(key, value)
        tasks.append(task)
    return tasks


def check_history(args, probe, directory, state_file):
    job_log = os.path.join(directory, f"job_log_{client_dir.ESCAPED_URL}.txt")
    logged = wait_for("a finished task in the job log", lambda: job_log_tasks(job_log), timeout=150)
    say("the client logged:", logged)

    def shown():
        view = dump(args.dump, state_file)
        history = view and view["history"]
        return view if history and len(history[0]["tasks"]) >= len(logged) else None
    view = wait_for("the dump's history", shown)
    history = view["history"]
    if [h["file"] for h in history] != [os.path.basename(job_log)] or history[0]["project_name"] != "Crunch test":
        raise Failure(f"history files: {[(h['file'], h['project_name']) for h in history]}")
    if history[0]["skipped_lines"] != 0:
        raise Failure(f"skipped lines in the client's own job log: {history[0]}")
    for task, line in zip(history[0]["tasks"], job_log_tasks(job_log)):
        expected = {k: line.get(k) for k in ("time", "ue", "ct", "fe", "nm", "et", "es")}
        if task != expected:
            raise Failure(f"the dump shows {task} for the logged {line}")
    finished = history[0]["tasks"][0]
    if not finished["nm"].startswith("spin_wu_") or float(finished["ct"]) <= 0:
        raise Failure(f"an unexpected finished task: {finished}")

    # The metrics count the same finished tasks.
    counted = re.search(r'^crunchwatch_project_finished_tasks_total\{project="Crunch test",url="[^"]*"\} (\S+)$',
                        metrics(args.dump, state_file), re.M)
    if not counted or float(counted.group(1)) < len(history[0]["tasks"]):
        raise Failure(f"the metrics count {counted and counted.group(1)} finished tasks for {len(history[0]['tasks'])}")

    # The window reads the job log when the client rewrites its state file,
    # which it does as the task ends and the next one starts.
    probe.wait_until("the finished task in the History view",
                     lambda v: v["ok"] and any(h["nm"] == finished["nm"]
                                               and h["ct"] == hms(float(finished["ct"]))
                                               and h["es"] == finished["es"] and h["project"] == "Crunch test"
                                               for h in v["history"]))
    say("the dump and the History view show the job log")


def run(args, work):
    version, platform = client_version()
    say("client", version, platform)
    directory = os.path.join(work, "data")
    os.makedirs(directory)
    # Tasks of 150 steps of 0.2 s: long enough to be caught running.
    client_dir.lay_out(directory, args.app, platform, workunits=3, steps=150, client_version=version)
    state_file = os.path.join(directory, "client_state.xml")
    names = [client_dir.result_name(i) for i in range(3)]

    probe = WindowProbe(args.probe, state_file, os.path.join(work, "settings.ini"))
    client = None
    try:
        probe.wait_until("the laid-out file", lambda v: v["ok"] and len(v["results"]) == 3)
        client = Client(directory, free_port())

        # The client runs the first task and reports its checkpoint over RPC
        # long before the file holds one: only events make it write the file.
        running = wait_for("a task that has checkpointed",
                           lambda: next((n for n, t in client.tasks().items()
                                         if t.get("active_task_state") == "EXECUTING"
                                         and float(t.get("CPU time at last checkpoint", 0)) > 0), None))
        say("checkpointed:", running)
        client.cmd("--task", client_dir.MASTER_URL, running, "suspend")

        # The suspension makes the client write its file at once, with the
        # next task started in the paused one's place.
        def settled():
            view = dump(args.dump, state_file)
            if not view:
                return None
            rows = by_result(view)
            states = {n: rows[n][1]["State"] for n in rows}
            if states.get(running) == "Paused" and list(states.values()).count("running...") == 1:
                return view
            return None
        view = wait_for("the file to show the paused and the running task", settled)
        reported = client.tasks()
        rows = by_result(view)
        say("crunchwatch shows:", {n: rows[n][1]["State"] for n in names})

        for name in names:
            record, cells = rows[name]
            task = reported[name]
            expected = {"SUSPENDED": "Paused", "EXECUTING": "running..."}.get(task.get("active_task_state"), "Waiting")
            if name == running:
                expected = "Paused"
            if cells["State"] != expected:
                raise Failure(f"{name}: State shows {cells['State']}, the client reports {task}")

        record, cells = rows[running]
        fraction = float(record["checkpoint_fraction_done"])
        if not 0 < fraction < 1:
            raise Failure(f"{running}: checkpoint fraction {fraction}")
        if cells["Progress"] != f"{fraction * 100:.2f}%":
            raise Failure(f"{running}: Progress {cells['Progress']} for a checkpoint at {fraction}")
        task = reported[running]
        close(record["checkpoint_cpu_time"], task["CPU time at last checkpoint"], 0.01, "checkpoint CPU time")
        close(record["current_cpu_time"], task["current CPU time"], 1.0, "CPU time of the paused task")
        if cells["CPUTime"] != hms(float(record["current_cpu_time"])):
            raise Failure(f"{running}: CPU time {cells['CPUTime']} for {record['current_cpu_time']}")
        left = max(0.0, float(record["checkpoint_cpu_time"]) / fraction - float(record["current_cpu_time"]))
        # Held back by the user, it completes nowhere until resumed.
        if cells["ETR"] != hms(left) or cells["ETC"]:
            raise Failure(f"{running}: Remaining {cells['ETR']}, Completes {cells['ETC']}; expected {hms(left)}")
        waiting = [n for n in names if rows[n][1]["State"] == "Waiting"]
        if len(waiting) != 1 or rows[waiting[0]][1]["Progress"] is not None:
            raise Failure(f"expected one waiting task without progress: {[rows[n][1] for n in names]}")

        # The window followed the client's rename of its next file into place.
        probe.wait_until("the paused and the running task",
                         lambda v: v["ok"] and sorted(r["State"] for r in v["results"])
                         == ["Paused", "Waiting", "running..."]
                         and any(r["WUnit"] + "_0" == running and r["Progress"] == cells["Progress"]
                                 for r in v["results"]))
        say("the window followed the client's rewrites")
        check_history(args, probe, directory, state_file)
    finally:
        if client:
            client.stop()
        probe.stop()


if __name__ == "__main__":
    sys.exit(main(run))
