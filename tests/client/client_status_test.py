#!/usr/bin/env python3
"""Why nothing runs, as crunchwatch reads it and as Debian's client says it.

One run of the real client, with no network at all, on a private directory
with two projects: a task whose input cannot be fetched, one that fails, one
that finishes and waits to be reported, one whose output cannot be sent, and
in the other project a long task. The client holds its lock on the directory
(it is started without --allow_multiple_clients). With boinccmd the first
project is told to fetch no work, the long task is suspended once it has a
checkpoint, then its whole project (whose contact with its scheduler, asked
for by the project, then stays pending); later the first project is asked to
report (the contact fails and the project is deferred).

After the file shows each situation, crunchwatch-dump's project status,
transfers, tasks and client facts must agree with what the client reports at
nearly the same moment (boinccmd), and with the file's own elements where
boinccmd does not print them. Once the client has quit, the dump must tell
that no client runs, though the lock file stays.

The dump's alerts must name the failed task and the stuck download (its
file comes with five failed tries behind it: the client's own waits between
tries would take hours to get there), and no other transfer; once the
client has quit, that it stopped.

The client writes its event log to stdoutdae.txt (--redirectio); a result
whose workunit is missing makes it log an error at start-up. Every message
its RPC lists (boinccmd --get_messages 0) must be in the dump's event log,
in order, at start-up and after the failed scheduler contact; and the dump
must neither show the accounts' keys or the RPC password nor open the files
that hold them.

Exit 77 (skipped) where the client or its application library is missing.

  client_status_test.py --dump DUMP --probe PROBE [--app APP]
"""

import os
import re
import sys
import time

import client_dir
from client_dir import MASTER_URL, OTHER_URL, Project, Task
from client_run import (Client, Failure, by_result, client_version, dump, free_port, main, message_differences, metrics,
                        say, secret_differences, wait_for)

DOWNLOAD_URL = "http://files.crunch.invalid/test/download/spin_dl_input"
UPLOAD_URL = "http://upload.crunch.invalid/test_cgi/file_upload_handler"
# Runs until suspended; it has a checkpoint by then, so the client takes it
# out of memory, and quits at once when asked (a task suspended in memory
# would keep it waiting a minute).
LONG = "other_long_0"
# Runs throughout; the client's last file still says it runs.
RUNNING = "spin_long_0"


def scenario():
    # The short tasks take a single step (0.2 s of processor time), so that
    # they are done soon on a busy machine too.
    return [
        Project(MASTER_URL, "Crunch test", "0123456789abcdef", [
            Task("spin_dl", 1, input_url=DOWNLOAD_URL),
            Task("spin_fail", 1, exit_status=42),
            Task("spin_ok", 1),
            Task("spin_up", 1, upload_url=UPLOAD_URL),
            Task("spin_long", 1000),
            Task("spin_abort", 1000)]),
        # The project asked to be contacted an hour ago: the contact stays
        # pending while the project is suspended (or deferred).
        Project(OTHER_URL, "Crunch other", "fedcba9876543210", [Task("other_long", 1000)],
                next_rpc_time=time.time() - 3600),
    ]


FLAGS = ("suspended_via_gui", "dont_request_more_work", "detach_when_done", "ended", "attached_via_acct_mgr",
         "master_url_fetch_pending", "scheduler_rpc_in_progress", "trickle_up_pending", "non_cpu_intensive")
YES_NO = {True: "yes", False: "no"}


def flag(name):
    return lambda status: YES_NO[name in status["flags"]]


def count(key):
    return lambda status: str(int(float(status[key])))


# Each line of boinccmd --get_project_status, read off the dump's entry.
PROJECT_FIELDS = {
    "suspended via GUI": flag("suspended_via_gui"),
    "don't request more work": flag("dont_request_more_work"),
    "master fetch pending": flag("master_url_fetch_pending"),
    "trickle upload pending": flag("trickle_up_pending"),
    "attached via Account Manager": flag("attached_via_acct_mgr"),
    "ended": flag("ended"),
    "scheduler RPC pending": lambda status: YES_NO[float(status["sched_rpc_pending"]) != 0],
    "nrpc_failures": count("nrpc_failures"),
    "master_fetch_failures": count("master_fetch_failures"),
    "jobs succeeded": count("njobs_success"),
    "jobs failed": count("njobs_error"),
    "last RPC": lambda status: time.ctime(float(status["last_rpc_time"])),
}
# The Status column's phrase for each boinccmd line that says "yes".
STATUS_PHRASES = {
    "suspended via GUI": "Suspended by user",
    "don't request more work": "Won't get new tasks",
    "scheduler RPC pending": "Scheduler request pending",
}
# Each line of boinccmd --get_file_transfers, read off the dump's transfer.
TRANSFER_FIELDS = {
    "direction": lambda t: "upload" if t["upload"] else "download",
    "time_so_far": lambda t: f"{float(t['time_so_far']):.6f}",
    "bytes_xferred": lambda t: f"{float(t['bytes_done']):.6f}",
}
# What boinccmd does not print, read off the file: the dump's key, the
# element of the same name in the project or in the file's transfer.
PROJECT_ELEMENTS = ("min_rpc_time", "next_rpc_time", "sched_rpc_pending", "nrpc_failures")
TRANSFER_ELEMENTS = ("num_retries", "first_request_time", "next_request_time", "nbytes")
STATE_WORDS = {"1": "downloading", "2": "downloaded", "3": "compute error", "4": "uploading", "5": "uploaded",
               "6": "aborted", "7": "upload failed"}
# Each line of boinccmd --get_tasks, read off the dump's record of the result.
TASK_FIELDS = {
    "state": lambda r: STATE_WORDS.get(r["state"], r["state"]),
    "ready to report": lambda r: YES_NO["ready_to_report" in r],
    "suspended via GUI": lambda r: YES_NO[r.get("suspended_via_gui") == "suspended_via_gui"],
    "exit_status": lambda r: r["exit_status"],
}
# The results table's State for a task the client describes so.
STATE_CELLS = {"downloading": "Downloading", "compute error": "3", "uploading": "Finished", "uploaded": "Sent",
               "aborted": "6"}
# boinccmd --get_cc_status's sections and words; the file keeps numbers.
MODE_KEYS = {"CPU status": "run_mode", "GPU status": "gpu_mode", "Network status": "network_mode"}
MODE_NUMBERS = {"always": "1", "according to prefs": "2", "never": "3"}


class StateFile:
    """The state file read the plain way: each project, file and result as
    its simple elements (text ones, and empty ones as flags)."""

    def __init__(self, path):
        with open(path) as f:
            self.text = f.read()
        self.projects = {p["master_url"]: p for p in self._blocks("project")}
        self.files = [f for f in self._blocks("file") if "num_retries" in f]
        self.transfers = {f["name"]: f for f in self.files}
        self.results = {r["name"]: r for r in self._blocks("result")}
        self.active_tasks = {t["result_name"]: t for t in self._blocks("active_task")}
        self.gpu_mode = self._top("user_gpu_request")

    def _blocks(self, tag):
        blocks = []
        for block in re.findall(rf"<{tag}>(.*?)</{tag}>", self.text, re.S):
            values = dict(re.findall(r"<(\w+)>([^<]*)</\1>", block))
            values.update((name, "") for name in re.findall(r"<(\w+)/>", block))
            blocks.append(values)
        return blocks

    def _top(self, tag):
        m = re.search(rf"<{tag}>([^<]*)</{tag}>", self.text)
        return m and m.group(1)


def modes(text):
    """boinccmd --get_cc_status: each section's permanent mode."""
    found, section = {}, None
    for line in text.splitlines():
        if line.strip() in MODE_KEYS:
            section = MODE_KEYS[line.strip()]
        m = re.match(r"\s*perm mode: (.*)$", line)
        if m and section:
            found[section] = m.group(1).strip()
    return found


def samples(text, name):
    """The Prometheus samples of one metric: (labels, value)."""
    out = []
    for m in re.finditer(rf"^{name}(?:\{{(.*)\}})? (\S+)$", text, re.M):
        out.append((dict(re.findall(r'(\w+)="([^"]*)"', m.group(1) or "")), float(m.group(2))))
    return out


def sample(text, name, **labels):
    """The value of the sample whose labels include `labels`; None when none."""
    return next((v for l, v in samples(text, name) if labels.items() <= l.items()), None)


def field_differences(what, fields, theirs, mine):
    """The boinccmd lines that the dump's `mine` does not read the same."""
    out = []
    for line, read in fields.items():
        if line not in theirs:
            continue
        try:
            value = read(mine)
        except (KeyError, TypeError, ValueError) as error:
            value = f"<{error!r}>"
        if value != theirs[line]:
            out.append(f"{what} {line}: crunchwatch {value!r}, client {theirs[line]!r}")
    return out


class Comparison:
    """The dump against the client (and the file) at nearly the same moment."""

    def __init__(self, args, client, state_file, version, platform):
        self.args, self.client, self.state_file = args, client, state_file
        self.version, self.platform = version, platform

    def differences(self):
        client = self.client
        projects, transfers = client.listing("--get_project_status"), client.listing("--get_file_transfers")
        tasks, cc_status = client.tasks(), client.cmd("--get_cc_status", check=False)
        view, file = dump(self.args.dump, self.state_file), StateFile(self.state_file)
        text = metrics(self.args.dump, self.state_file)
        if not view or not projects or not tasks:
            return ["the dump or the client did not answer"]
        out = self.client_differences(view["client"], modes(cc_status), text)
        out += self.project_differences(view["project_status"], projects, file, text)
        out += self.transfer_differences(view["transfers"], transfers, file, text)
        out += self.task_differences(by_result(view), tasks)
        return out

    def client_differences(self, facts, modes_reported, text):
        expected = {"running": True, "pid": self.client.process.pid, "version": self.version,
                    "platform": self.platform}
        expected.update((key, MODE_NUMBERS.get(word)) for key, word in modes_reported.items())
        out = [f"client {key}: crunchwatch {facts.get(key)!r}, expected {value!r}"
               for key, value in expected.items() if facts.get(key) != value]
        if sample(text, "crunchwatch_client_running") != 1:
            out.append(f"crunchwatch_client_running {sample(text, 'crunchwatch_client_running')} while it runs")
        return out

    def project_differences(self, status, reported, file, text):
        mine = {s["master_url"]: s for s in status}
        out = []
        if [s["master_url"] for s in status] != list(file.projects):
            out.append(f"projects {[s['master_url'] for s in status]}, the file {list(file.projects)}")
        for name, theirs in reported.items():
            url = theirs["master URL"]
            entry, element = mine.get(url, {}), file.projects.get(url, {})
            out += field_differences(name, PROJECT_FIELDS, theirs, entry)
            status = entry.get("status") or ""
            out += [f"{name} Status {status!r} for {line}: {theirs.get(line)}"
                    for line, phrase in STATUS_PHRASES.items() if (phrase in status) != (theirs.get(line) == "yes")]
            deferred = float(element.get("min_rpc_time", 0)) > time.time()
            if ("Communication deferred" in status) != deferred:
                out.append(f"{name} Status {status!r} for min_rpc_time {element.get('min_rpc_time')}")
            out += [f"{name} {key}: crunchwatch {entry.get(key)!r}, the file {element.get(key)!r}"
                    for key in PROJECT_ELEMENTS if entry.get(key) != element.get(key)]
            flags = [f for f in FLAGS if f in element]
            if entry.get("flags") != flags:
                out.append(f"{name} flags: crunchwatch {entry.get('flags')}, the file {flags}")
            for f in FLAGS:
                shown = sample(text, "crunchwatch_project_flag", url=url, flag=f) or 0
                if shown != (f in element):
                    out.append(f"{name} crunchwatch_project_flag{{flag={f}}} {shown}")
            until = sample(text, "crunchwatch_project_deferred_until_seconds", url=url)
            if deferred and until != float(element["min_rpc_time"]):
                out.append(f"{name} deferred until {until}, min_rpc_time {element['min_rpc_time']}")
        return out

    def transfer_differences(self, transfers, reported, file, text):
        mine = {t["name"]: t for t in transfers}
        out = []
        if [t["name"] for t in transfers] != list(file.transfers) or set(mine) != set(reported):
            out.append(f"transfers {list(mine)}, the file {list(file.transfers)}, the client {list(reported)}")
        for name, theirs in reported.items():
            entry, element = mine.get(name, {}), file.transfers.get(name, {})
            out += field_differences(name, TRANSFER_FIELDS, theirs, entry)
            out += [f"{name} {key}: crunchwatch {entry.get(key)!r}, the file {element.get(key)!r}"
                    for key in TRANSFER_ELEMENTS if entry.get(key) != element.get(key)]
            if (entry.get("master_url"), entry.get("project_name")) != (MASTER_URL, "Crunch test"):
                out.append(f"{name} belongs to {entry.get('master_url')} {entry.get('project_name')}")
        for direction in ("download", "upload"):
            counted = sum(t["direction"] == direction for t in reported.values())
            if (sample(text, "crunchwatch_transfers", direction=direction) or 0) != counted:
                out.append(f"crunchwatch_transfers{{direction={direction}}} for {counted}")
        return out

    def task_differences(self, rows, reported):
        out = []
        if set(rows) != set(reported):
            out.append(f"tasks {sorted(rows)}, the client {sorted(reported)}")
        for name, theirs in reported.items():
            record, cells = rows.get(name, ({}, {}))
            out += field_differences(name, TASK_FIELDS, theirs, record)
            if theirs.get("suspended via GUI") == "yes":
                expected = "Paused"
            elif theirs["state"] == "downloaded":
                expected = {"EXECUTING": "running...", "SUSPENDED": "Paused"}.get(theirs["active_task_state"],
                                                                                  "Waiting")
            else:
                expected = STATE_CELLS.get(theirs["state"])
            if cells.get("State") != expected:
                out.append(f"{name} State: crunchwatch {cells.get('State')!r}, expected {expected!r} for {theirs}")
        return out


def agree(what, differences, timeout=20):
    """Compares until crunchwatch and the client agree: the client may move
    on between two readings, or rewrite its file a second after its memory."""
    end = time.monotonic() + timeout
    while True:
        found = differences()
        if not found:
            say(what + ": crunchwatch and the client agree")
            return
        if time.monotonic() > end:
            raise Failure(f"{what}:\n  " + "\n  ".join(found))
        time.sleep(0.5)


def slot_differences(args, client, state_file):
    """The long task's checkpoint in its slot, before the client's file has it."""
    theirs = client.tasks().get(LONG, {})
    view = dump(args.dump, state_file)
    mine = next((s for s in (view or {}).get("slot_progress", []) if s["result"] == LONG), None)
    if mine is None:
        return [f"no slot progress for {LONG}: {view and view.get('slot_progress')}"]
    out = []
    if f"{float(mine['checkpoint_cpu_time']):.6f}" != theirs.get("CPU time at last checkpoint"):
        out.append(f"checkpoint CPU time {mine['checkpoint_cpu_time']}, the client {theirs}")
    if mine["project_url"] != OTHER_URL or not 0 < float(mine["fraction_done"]) <= 1:
        out.append(f"slot progress {mine}")
    return out


# A result naming a workunit the file lacks: the client drops it at start-up
# and says so with an error, which its RPC marks "[error] " and its log does not.
ORPHAN = """<result>
    <name>spin_orphan_0</name>
    <wu_name>spin_missing</wu_name>
    <platform>{platform}</platform>
    <version_num>{version}</version_num>
    <state>2</state>
    <report_deadline>{deadline:.6f}</report_deadline>
</result>
"""


# The download's input, as the client keeps it: five tries failed before this
# run, the next one due at once.
STUCK = "spin_dl_input"
ABORTED = "spin_abort_0"
RETRIES = """<persistent_file_xfer>
    <num_retries>5</num_retries>
    <first_request_time>{first:.6f}</first_request_time>
    <next_request_time>0.000000</next_request_time>
    <time_so_far>0.000000</time_so_far>
    <last_bytes_xferred>0.000000</last_bytes_xferred>
    <is_upload>0</is_upload>
</persistent_file_xfer>
"""


def plant_retries(state_file):
    with open(state_file) as f:
        text = f.read()
    end = text.index("</file>", text.index(f"<name>{STUCK}</name>"))
    with open(state_file, "w") as f:
        f.write(text[:end] + RETRIES.format(first=time.time() - 3600) + text[end:])


def alert_differences(args, state_file, expected):
    """The dump's alerts against those `expected`: (rule, task) pairs, each of
    the first project but the client's own (task None); transfer_stuck only
    for those expected."""
    view, text = dump(args.dump, state_file), metrics(args.dump, state_file)
    if not view:
        return ["the dump did not answer"]
    alerts = {(a["rule"], a["task"]): a for a in view["alerts"]}
    out = []
    for rule, task in expected:
        a = alerts.get((rule, task))
        where = (None, None) if task is None else ("Crunch test", MASTER_URL)
        if not a or (a["project"], a.get("project_url")) != where:
            out.append(f"no {rule} alert for {task} of {where}: {view['alerts']}")
        elif sample(text, "crunchwatch_alert", rule=rule, task=task or "") != 1:
            out.append(f"no crunchwatch_alert series for {rule} {task}")
    out += [f"the user's abort of {task} is a {rule} alert" for rule, task in alerts if task == ABORTED]
    stuck = sorted(t for r, t in alerts if r == "transfer_stuck")
    if stuck != sorted(t for r, t in expected if r == "transfer_stuck"):
        out.append(f"transfer_stuck for {stuck}")
    return out


def plant_orphan(state_file, platform):
    with open(state_file) as f:
        text = f.read()
    second = text.index("<project>", text.index("<project>") + 1)
    orphan = ORPHAN.format(platform=platform, version=client_dir.VERSION, deadline=time.time() + 7 * 86400)
    with open(state_file, "w") as f:
        f.write(text[:second] + orphan + text[second:])


def words_differences(args, client, state_file):
    """The client's messages against the dump's event log, read just after."""
    messages = client.messages()
    view = dump(args.dump, state_file, "--event-log-lines", "0")
    if not messages or not view:
        return ["the client listed no messages, or the dump did not answer"]
    source = view["event_log_source"]
    if source["shown"] != "file" or source["problem"]:
        return [f"the dump's event log source: {source}"]
    return message_differences(messages, view["event_log"])


def run(args, work):
    version, platform = client_version()
    say("client", version, platform)
    directory = os.path.join(work, "data")
    os.makedirs(directory)
    client_dir.lay_out_projects(directory, args.app, platform, scenario(), ncpus=5, leave_apps_in_memory=False,
                                client_version=version, disk_interval=1)
    state_file = os.path.join(directory, "client_state.xml")
    plant_orphan(state_file, platform)
    plant_retries(state_file)
    # Without --allow_multiple_clients: the client locks the directory.
    client = Client(directory, free_port(), allow_multiple=False)
    compare = Comparison(args, client, state_file, version, platform)

    def file_shows(what, check):
        wait_for(what, lambda: check(StateFile(state_file)))

    try:
        wait_for("the client's RPC", lambda: "CPU status" in client.cmd("--get_cc_status", check=False))
        log = os.path.join(directory, "stdoutdae.txt")
        wait_for("the client's start-up in its log",
                 lambda: os.path.exists(log) and "Initialization completed" in open(log, errors="replace").read())
        agree("the event log at start-up", lambda: words_differences(args, client, state_file))
        messages = client.messages()
        if not any(priority == "internal error" for _, priority, _, _ in messages):
            raise Failure("the client logged no error for the result without a workunit")
        say(f"{len(messages)} messages compared, {sum(p == 'internal error' for _, p, _, _ in messages)} of them errors")
        # The user aborts a task: the client's own doing at their word, no
        # failure to tell them of.
        client.cmd("--task", MASTER_URL, ABORTED, "abort")
        client.cmd("--project", MASTER_URL, "nomorework")
        wait_for(f"{LONG} to checkpoint",
                 lambda: float(client.tasks().get(LONG, {}).get("CPU time at last checkpoint", 0)) > 0)
        agree("a running task's checkpoint", lambda: slot_differences(args, client, state_file))
        client.cmd("--task", OTHER_URL, LONG, "suspend")
        client.cmd("--project", OTHER_URL, "suspend")
        # The pending contact is set in the client's memory only, which
        # writes its file on the next event: a change of mode is one (and a
        # mode other than the default tells the words from the numbers).
        wait_for("the other project's pending contact",
                 lambda: client.listing("--get_project_status").get("Crunch other", {}).get(
                     "scheduler RPC pending") == "yes")
        client.cmd("--set_gpu_mode", "never")

        def settled(f):
            test, other = f.projects[MASTER_URL], f.projects[OTHER_URL]
            states = {n: f.results[n + "_0"]["state"] for n in ("spin_fail", "spin_ok", "spin_up", "spin_abort")}
            return ("suspended_via_gui" in other and "dont_request_more_work" in test
                    and other["sched_rpc_pending"] != "0" and f.gpu_mode == "3"
                    and "suspended_via_gui" in f.results[LONG] and int(test["nrpc_failures"]) >= 1
                    and states == {"spin_fail": "3", "spin_ok": "5", "spin_up": "4", "spin_abort": "6"}
                    and f.results[ABORTED].get("exit_status") == "203"
                    and len(f.transfers) == 2 and all(int(t["num_retries"]) >= 1 for t in f.transfers.values()))
        file_shows("the suspensions, the finished tasks, the stuck transfers, the pending contact", settled)
        agree("suspended, failed, finished, stuck", compare.differences)
        failed_and_stuck = [("task_failed", "spin_fail_0"), ("transfer_stuck", STUCK)]
        agree("the alerts", lambda: alert_differences(args, state_file, failed_and_stuck))

        # The first project is asked to report; its scheduler cannot be
        # reached, so it is deferred.
        failures = int(StateFile(state_file).projects[MASTER_URL]["nrpc_failures"])
        client.cmd("--project", MASTER_URL, "update")

        def deferred(f):
            test = f.projects[MASTER_URL]
            return (int(test["nrpc_failures"]) > failures and test["sched_rpc_pending"] == "0"
                    and float(test["min_rpc_time"]) > time.time())
        file_shows("the failed scheduler contact", deferred)
        agree("the project deferred", compare.differences)
        agree("the event log after the failed contact", lambda: words_differences(args, client, state_file))
        requests = [n for n in os.listdir(directory) if n.startswith("sched_request_")]
        if not requests:
            raise Failure("the client wrote no scheduler request: the secrets check would watch nothing")
        projects = scenario()
        secrets = [p.authenticator for p in projects] + [client_dir.PASSWORD]
        leaks = secret_differences(args.dump, state_file, secrets)
        if leaks:
            raise Failure("secrets:\n  " + "\n  ".join(leaks))
        say("the dump shows no secret and opens none of", requests, "nor the account files")

        quitting = time.monotonic()
        client.cmd("--quit")
        client.process.wait(timeout=90)
        say(f"the client exited {time.monotonic() - quitting:.1f} s after it was asked to quit")
        view = dump(args.dump, state_file)
        if not view:
            raise Failure("the dump could not read the client's last file")
        running = sample(metrics(args.dump, state_file), "crunchwatch_client_running")
        if not os.path.exists(os.path.join(directory, "lockfile")):
            raise Failure("the client left no lock file: nothing would tell a stopped client from a running one")
        if (view["client"]["running"], view["client"]["pid"], running) != (False, None, 0):
            raise Failure(f"after the client's exit crunchwatch shows {view['client']}, running metric {running}")
        # Its last file still says a task runs, which no longer holds.
        if StateFile(state_file).active_tasks[RUNNING]["active_task_state"] != "1":
            raise Failure(f"the client's last file no longer says that {RUNNING} runs")
        if by_result(view)[RUNNING][1]["State"] != "Paused":
            raise Failure(f"{RUNNING} shows {by_result(view)[RUNNING][1]['State']} with the client gone")
        found = alert_differences(args, state_file, failed_and_stuck + [("client_stopped", None)])
        if found:
            raise Failure("the alerts after the client's exit:\n  " + "\n  ".join(found))
        say("crunchwatch tells that the client no longer runs")
    finally:
        client.stop()


if __name__ == "__main__":
    sys.exit(main(run))
