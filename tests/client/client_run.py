"""What the tests against Debian's real client share: one client process on a
private directory, stopped in every outcome; its own view of things through
boinccmd; crunchwatch-dump's view of the same directory; and the frame of a
test (its arguments, skipping where the client is missing, a scratch folder).

A test exits 77 (skipped) where the client or its application is missing."""

import argparse
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time

import client_dir

SKIP = 77
# The client starts a task, the task checkpoints every few seconds; nothing
# here should take long, but a loaded build machine is slow.
STEP_TIMEOUT = 60


class Failure(Exception):
    pass


def say(*parts):
    print("real client:", *parts, flush=True)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(what, check, timeout=STEP_TIMEOUT, interval=0.2):
    """Polls `check` until it returns something true; fails after `timeout`."""
    end = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure(f"timed out waiting for {what}")
        time.sleep(interval)


def client_version():
    """The installed client's version ("7.20.5") and platform."""
    words = subprocess.run(["boinc", "--version"], capture_output=True, text=True, timeout=30).stdout.split()
    return words[0] if words else "", words[1] if len(words) > 1 else "x86_64-pc-linux-gnu"


def boinccmd_records(text):
    """boinccmd's listing ("   key: value" lines), one dict per "name:" line,
    by name."""
    records, current = {}, None
    for line in text.splitlines():
        m = re.match(r"\s*([^:]+):\s?(.*)$", line)
        if not m:
            continue
        key, value = m.group(1).strip(), m.group(2).strip()
        if key == "name":
            current = records.setdefault(value, {})
        if current is not None:
            current[key] = value
    return records


class Client:
    """One client process on the directory, stopped in every outcome.

    With `allow_multiple` the client skips its lock on the directory (and
    leaves no `lockfile`), as private test clients are often started."""

    def __init__(self, directory, port, allow_multiple=True):
        self.directory = directory
        self.port = port
        self.log = open(os.path.join(directory, "..", "client.log"), "w")
        command = ["boinc", "--dir", directory, "--skip_cpu_benchmarks", "--no_info_fetch",
                   "--gui_rpc_port", str(port)]
        if allow_multiple:
            command.append("--allow_multiple_clients")
        self.process = subprocess.Popen(command, stdout=self.log, stderr=subprocess.STDOUT,
                                        stdin=subprocess.DEVNULL)

    def cmd(self, *args, check=True):
        result = subprocess.run(
            ["boinccmd", "--host", f"127.0.0.1:{self.port}", "--passwd", client_dir.PASSWORD, *args],
            capture_output=True, text=True, timeout=30)
        if check and result.returncode != 0:
            raise Failure(f"boinccmd {' '.join(args)}: {result.stdout}{result.stderr}")
        return result.stdout

    def listing(self, option):
        """A boinccmd listing by name; empty when the client does not answer."""
        try:
            return boinccmd_records(self.cmd(option, check=False))
        except subprocess.TimeoutExpired:
            return {}

    def tasks(self):
        """The client's own view of its tasks, by name: `boinccmd --get_tasks`."""
        return self.listing("--get_tasks")

    def stop(self):
        if self.process.poll() is None:
            try:
                self.cmd("--quit", check=False)
                self.process.wait(timeout=15)
            except (subprocess.TimeoutExpired, OSError):
                end_process(self.process)
        # The client's applications are its children; any that outlived it
        # (they would notice its absence only later) go too.
        for pid in processes_inside(self.directory):
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        self.log.close()


def end_process(process, timeout=10):
    """Terminates a process, and kills it when it has not gone within `timeout`."""
    if process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def processes_inside(directory):
    pids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            cwd = os.readlink(f"/proc/{entry}/cwd")
        except OSError:
            continue
        if cwd.startswith(os.path.realpath(directory) + "/"):
            pids.append(int(entry))
    return pids


def dump(dump_exe, state_file):
    """crunchwatch-dump's view of the file; None when it cannot read it."""
    out = subprocess.run([dump_exe, "--json", state_file], capture_output=True, text=True, timeout=30)
    if out.returncode != 0:
        return None
    return json.loads(out.stdout)


def metrics(dump_exe, state_file):
    """crunchwatch-dump's Prometheus metrics of the file, as text."""
    return subprocess.run([dump_exe, "--prometheus", state_file], capture_output=True, text=True,
                          timeout=30).stdout


def by_result(view):
    """The dump's records and cells of each result, by result name."""
    records = [r for p in view["records"] for r in p["result"]]
    return {r["name"]: (r, cells) for r, cells in zip(records, view["results"])}


def main(run):
    """The frame of a test: `run(args, work)` raises Failure or returns."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--dump", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--app")
    args = parser.parse_args()
    missing = [p for p in ("boinc", "boinccmd") if not shutil.which(p)]
    if missing or not args.app or not os.path.exists(args.app):
        what = ", ".join(missing) or "the application built with libboinc-app-dev"
        say(f"SKIPPED: {what} not available (Debian packages boinc-client, libboinc-app-dev)")
        return SKIP
    work = tempfile.mkdtemp(prefix="crunchwatch-client-")
    started = time.monotonic()
    try:
        run(args, work)
    except Failure as failure:
        say("FAILED:", failure)
        log = os.path.join(work, "client.log")
        if os.path.exists(log):
            print(open(log).read()[-4000:])
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    say(f"passed in {time.monotonic() - started:.0f} s")
    return 0
