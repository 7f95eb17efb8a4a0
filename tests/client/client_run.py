"""What the tests against Debian's real client share: one client process on a
private directory, stopped in every outcome, writing its event log to
stdoutdae.txt there; its own view of things through boinccmd; crunchwatch-
dump's view of the same directory; and the frame of a test (its arguments,
skipping where the client is missing, a scratch folder).

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
        # --redirectio: the event log goes to stdoutdae.txt in the directory,
        # as a client started by hand or as a daemon keeps it.
        command = ["boinc", "--dir", directory, "--skip_cpu_benchmarks", "--no_info_fetch", "--redirectio",
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

    def messages(self):
        """The client's event log as its RPC lists it: `boinccmd --get_messages 0`."""
        return rpc_messages(self.cmd("--get_messages", "0", check=False))

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


# boinccmd --get_messages: "N: DD-Mon-YYYY HH:MM:SS (priority) [Project] text";
# a body's further lines follow on lines of their own.
RPC_MESSAGE = re.compile(r"(\d+): (\d\d-\w{3}-\d{4} \d\d:\d\d:\d\d) \(([^)]*)\) \[(.*?)\] ?(.*)$")


def rpc_messages(text):
    """boinccmd's listing of messages: (moment, priority, project, body) each."""
    messages = []
    for line in text.split("\n"):
        m = RPC_MESSAGE.match(line)
        if m:
            messages.append(list(m.group(2, 3, 4, 5)))
        elif messages:
            messages[-1][3] += "\n" + line
    return [tuple(m) for m in messages]


def message_differences(messages, event_log):
    """Every message the client's RPC lists must be in the dump's event log,
    in order, with the same moment, project and text once both texts are
    stripped of blanks and the RPC's "[error] " before an error's text is
    set aside (the file carries no priority)."""
    entries = [(e["time"], e["project"] or "", e["text"].strip()) for e in event_log]
    at = 0
    for moment, priority, project, body in messages:
        body = body.strip()
        if body.startswith("[error] "):
            body = body[len("[error] "):].strip()
        wanted = (moment, project, body)
        while at < len(entries) and entries[at] != wanted:
            at += 1
        if at == len(entries):
            near = [e for e in entries if e[0] == moment]
            return [f"the client's message {wanted} ({priority}) is not in the dump's event log after the "
                    f"messages before it; the dump's entries of that moment: {near}"]
        at += 1
    return []


def dump(dump_exe, state_file, *options):
    """crunchwatch-dump's view of the file; None when it cannot read it."""
    out = subprocess.run([dump_exe, "--json", *options, state_file], capture_output=True, text=True, timeout=30)
    if out.returncode != 0:
        return None
    return json.loads(out.stdout)


# The files that hold the account's key or the RPC password, as a trace of
# open calls names them (a path, or a name beside a folder's descriptor).
SECRET_FILE = re.compile(r'"(?:[^"]*/)?(?:account_[^"/]*\.xml|sched_request_[^"/]*\.xml|gui_rpc_auth\.cfg'
                         r'|init_data\.xml)"')


def secret_differences(dump_exe, state_file, secrets):
    """Any of `secrets` in the dump's JSON, text or metrics, and, where strace
    is installed, any file holding one that the dump opened."""
    out = []
    traced = shutil.which("strace")
    for options in (["--json", "--event-log-lines", "0"], ["--event-log-lines", "0"], ["--prometheus-tasks"]):
        command = [dump_exe, *options, state_file]
        with tempfile.NamedTemporaryFile(mode="r", prefix="crunchwatch-trace-") as trace:
            if traced:
                command = ["strace", "-f", "-qq", "-e", "trace=open,openat,openat2", "-o", trace.name, *command]
            # LeakSanitizer cannot work under a tracer (a sanitized build).
            asan = ":".join(filter(None, [os.environ.get("ASAN_OPTIONS"), "detect_leaks=0"]))
            result = subprocess.run(command, capture_output=True, text=True, errors="replace", timeout=60,
                                    env=dict(os.environ, ASAN_OPTIONS=asan))
            shown = result.stdout + result.stderr
            out += [f"the dump's {options[0]} view holds the secret {secret!r}" for secret in secrets if secret in shown]
            if traced:
                out += [f"the dump's {options[0]} view opened {m.group(0)}" for m in SECRET_FILE.finditer(trace.read())]
    if not traced:
        say("strace is not installed: the files the dump opens were not watched")
    return out


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
        for log in (os.path.join(work, "client.log"), os.path.join(work, "data", "stdoutdae.txt")):
            if os.path.exists(log):
                print(open(log, errors="replace").read()[-4000:])
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    say(f"passed in {time.monotonic() - started:.0f} s")
    return 0
