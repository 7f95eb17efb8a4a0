#!/usr/bin/env python3
"""The computer and its disk, as crunchwatch reads them and as Debian's client
reports them.

One run of the real client, with no network, on a private directory with two
projects whose tasks have finished, failed, stuck or keep running in their
slots. Once the file shows the run modes set with boinccmd, crunchwatch-dump
must agree with the client at nearly the same moment on:

- the host: boinccmd --get_host_info's processors, benchmarks, memory, disk
  and system against the dump's "host" (the file's <host_info>);
- the run modes: boinccmd --get_cc_status's permanent modes;
- the disk: the client's get_disk_usage, asked over its GUI RPC directly for
  the bytes (boinccmd rounds to MB): every project's usage, the client's own
  files (d_boinc) and what the client may use (d_allowed), to the byte;
  the client's d_allowed must also follow its rule as crunchwatch applies it.

Then a local override limits the disk to 0.001 GB; once the client has read
it, the dump must name the override as that preference's source and agree
with the client's new allowance.

Exit 77 (skipped) where the client or its application library is missing.

  host_test.py --dump DUMP --probe PROBE [--app APP]
"""

import os
import re
import sys

import client_dir
import gui_rpc
from client_dir import MASTER_URL, OTHER_URL
from client_run import Client, Failure, client_version, dump, free_port, main, metrics, say, wait_for
from client_status_test import LONG, MODE_NUMBERS, RUNNING, StateFile, agree, modes, sample, scenario

GIB = 2.0 ** 30
# The client's defaults where no file sets them (Debian's 7.20.5).
DEFAULT_LIMITS = {"disk_max_used_gb": 0.0, "disk_max_used_pct": 90.0, "disk_min_free_gb": 0.1}
SMALL_LIMIT = "0.001"
# The modes set with boinccmd, one of each (always, never, according to
# prefs), the number the file then keeps, and the file's elements.
MODES = {"run_mode": ("--set_run_mode", "always", "1"), "gpu_mode": ("--set_gpu_mode", "never", "3"),
         "network_mode": ("--set_network_mode", "auto", "2")}
MODE_ELEMENTS = {"run_mode": "user_run_request", "gpu_mode": "user_gpu_request",
                 "network_mode": "user_network_request"}


def whole(text):
    return str(int(float(text)))


def fixed(text):
    return f"{float(text):.6f}"


def same(text):
    return text.strip()


# Each line of boinccmd --get_host_info, read off the dump's "host": the
# member and how boinccmd prints it (%d, %f or the text).
HOST_FIELDS = {
    "timezone": ("timezone", whole), "domain name": ("domain_name", same), "#CPUS": ("p_ncpus", whole),
    "CPU vendor": ("p_vendor", same), "CPU model": ("p_model", same), "CPU FP OPS": ("p_fpops", fixed),
    "CPU int OPS": ("p_iops", fixed), "OS name": ("os_name", same), "OS version": ("os_version", same),
    "mem size": ("m_nbytes", fixed), "cache size": ("m_cache", fixed), "swap size": ("m_swap", fixed),
    "disk size": ("d_total", fixed), "disk free": ("d_free", fixed),
}


def host_lines(text):
    """boinccmd --get_host_info: "  key: value" by key."""
    return {m.group(1).strip(): m.group(2).strip() for m in re.finditer(r"^\s*([^:\n]+): ?(.*)$", text, re.M)}


def allowance(limits, usage):
    """What the client may use, by its rule, from its own report: the
    smallest of the limits in force, never below 0; its total is its own
    files and every project's. Returns the bytes and the limit that set them."""
    total = usage["d_boinc"] + sum(usage["projects"].values())
    bounds = [(total + usage["d_free"] - limits["disk_min_free_gb"] * GIB, "disk_min_free_gb")]
    if limits["disk_max_used_pct"] > 0:
        bounds.append((usage["d_total"] * limits["disk_max_used_pct"] / 100, "disk_max_used_pct"))
    if limits["disk_max_used_gb"] > 0:
        bounds.append((limits["disk_max_used_gb"] * GIB, "disk_max_used_gb"))
    allowed, bound = min(bounds)
    return max(allowed, 0.0), bound


def off(mine, theirs):
    """Two byte counts that are not the same (the allowance has a fraction of
    a byte, which a count of bytes may round)."""
    return mine is None or abs(mine - theirs) >= 1


class Comparison:
    def __init__(self, args, client, directory):
        self.args, self.client, self.directory = args, client, directory
        self.state_file = os.path.join(directory, "client_state.xml")
        with open(os.path.join(directory, "gui_rpc_auth.cfg")) as f:
            self.password = f.read().strip()

    def host_differences(self):
        """The file's <host_info> is the client's memory at its last write.
        The client measures the free space at start-up, and again only when
        asked for its disk usage, which is asked after this: so both give the
        start-up figure, and every line must be the same."""
        theirs = host_lines(self.client.cmd("--get_host_info"))
        reported = modes(self.client.cmd("--get_cc_status"))
        view = dump(self.args.dump, self.state_file)
        if not view or len(theirs) < len(HOST_FIELDS) or len(reported) != len(MODES):
            return ["the dump or the client did not answer"]
        host, out = view.get("host") or {}, []
        for line, (key, printed) in HOST_FIELDS.items():
            mine = host.get(key)
            value = printed(mine) if isinstance(mine, str) else mine
            if value != theirs.get(line):
                out.append(f"host {line}: crunchwatch {key} {mine!r}, client {theirs.get(line)!r}")
        for mode, word in reported.items():
            element = MODE_ELEMENTS[mode]
            if host.get(element) != MODE_NUMBERS.get(word):
                out.append(f"{element}: crunchwatch {host.get(element)!r}, client {word!r}")
        return out

    def disk_differences(self, limits):
        """The client's get_disk_usage and the dump's walk, back to back."""
        usage = gui_rpc.disk_usage(self.client.port, self.password)
        view = dump(self.args.dump, self.state_file)
        text = metrics(self.args.dump, self.state_file)
        if not view:
            return ["the dump did not answer"]
        disk, out = view.get("disk") or {}, []
        expected, bound = allowance(limits, usage)
        if off(expected, usage["d_allowed"]):
            out.append(f"the client allows {usage['d_allowed']:.6f} bytes, its rule {expected:.6f} ({bound}): {usage}")
        mine = {p["master_url"]: p["bytes"] for p in disk.get("projects", [])}
        if set(mine) != set(usage["projects"]):
            out.append(f"disk projects: crunchwatch {sorted(mine)}, client {sorted(usage['projects'])}")
        for url, theirs in usage["projects"].items():
            shown = sample(text, "crunchwatch_disk_usage_bytes", url=url)
            if mine.get(url) != theirs or shown != theirs:
                out.append(f"{url} bytes: crunchwatch {mine.get(url)} (metric {shown}), client {theirs:.0f}")
        if disk.get("client_bytes") != usage["d_boinc"]:
            out.append(f"the client's own files: crunchwatch {disk.get('client_bytes')}, "
                       f"d_boinc {usage['d_boinc']:.0f}")
        total = usage["d_boinc"] + sum(usage["projects"].values())
        if disk.get("total_bytes") != total:
            out.append(f"the client's total: crunchwatch {disk.get('total_bytes')}, client {total:.0f}")
        if disk.get("disk_bytes") != usage["d_total"]:
            out.append(f"disk size: crunchwatch {disk.get('disk_bytes')}, d_total {usage['d_total']:.0f}")
        if disk.get("allowed_by") != bound or disk.get("complete") is not True or disk.get("problems") != []:
            out.append(f"disk: allowed by {disk.get('allowed_by')} (expected {bound}), "
                       f"complete {disk.get('complete')}, problems {disk.get('problems')}")
        # Both measure the free space live, a moment apart, on a disk others
        # write to: when it moved, an allowance bounded by the free space moves
        # with it, and what it leaves beside the free space must still agree.
        allowed, free = disk.get("allowed_bytes"), disk.get("free_bytes")
        if allowed is None or free is None:
            out.append(f"disk: allowed {allowed}, free {free}")
        elif free != usage["d_free"] and bound == "disk_min_free_gb":
            if off(allowed - free, usage["d_allowed"] - usage["d_free"]):
                out.append(f"allowed beside free: crunchwatch {allowed} - {free}, "
                           f"client {usage['d_allowed']:.6f} - {usage['d_free']:.0f}")
        elif off(allowed, usage["d_allowed"]):
            out.append(f"allowed: crunchwatch {allowed} (free {free}), client {usage['d_allowed']:.6f} "
                       f"(free {usage['d_free']:.0f})")
        return out

    def pref_differences(self, name, expected):
        """The dump's preference in force: `expected` {value, source}, or None
        when no file sets it."""
        view = dump(self.args.dump, self.state_file)
        shown = (view or {}).get("effective_prefs", {}).get(name)
        return [] if shown == expected else [f"effective_prefs {name}: {shown}, expected {expected}"]


def add_override(directory, name, value):
    """The local override with one more preference, the others kept."""
    path = os.path.join(directory, "global_prefs_override.xml")
    with open(path) as f:
        text = f.read()
    with open(path, "w") as f:
        f.write(text.replace("</global_preferences>", f"    <{name}>{value}</{name}>\n</global_preferences>"))


def run(args, work):
    version, platform = client_version()
    say("client", version, platform)
    directory = os.path.join(work, "data")
    os.makedirs(directory)
    client_dir.lay_out_projects(directory, args.app, platform, scenario(), ncpus=5, leave_apps_in_memory=False,
                                client_version=version, disk_interval=1)
    client = Client(directory, free_port())
    compare = Comparison(args, client, directory)
    try:
        wait_for("the client's RPC", lambda: "CPU status" in client.cmd("--get_cc_status", check=False))
        for option, word, _ in MODES.values():
            client.cmd(option, word)
        numbers = {MODE_ELEMENTS[mode]: number for mode, (_, _, number) in MODES.items()}

        def settled(f):
            states = {n: f.results[n + "_0"]["state"] for n in ("spin_fail", "spin_ok", "spin_up")}
            running = [f.active_tasks.get(n, {}).get("active_task_state") for n in (LONG, RUNNING)]
            shown = {element: re.findall(rf"<{element}>([^<]*)<", f.text) for element in numbers}
            return (states == {"spin_fail": "3", "spin_ok": "5", "spin_up": "4"} and running == ["1", "1"]
                    and shown == {element: [number] for element, number in numbers.items()})
        wait_for("the finished tasks, both long ones running, the modes set",
                 lambda: settled(StateFile(compare.state_file)))
        agree("the host and the run modes", compare.host_differences)
        agree("the disk, by the client's defaults", lambda: compare.disk_differences(DEFAULT_LIMITS))
        agree("no file limits the disk", lambda: compare.pref_differences("disk_max_used_gb", None))

        add_override(directory, "disk_max_used_gb", SMALL_LIMIT)
        client.cmd("--read_global_prefs_override")
        limits = dict(DEFAULT_LIMITS, disk_max_used_gb=float(SMALL_LIMIT))
        agree("the override's disk limit",
              lambda: compare.pref_differences("disk_max_used_gb", {"value": SMALL_LIMIT, "source": "override"}))
        agree("the disk under the override's limit", lambda: compare.disk_differences(limits), timeout=30)
        usage = gui_rpc.disk_usage(client.port, compare.password)
        say(f"the client uses {usage['d_boinc'] + sum(usage['projects'].values()):.0f} bytes of its "
            f"{usage['d_allowed']:.0f} allowed, {len(usage['projects'])} projects")
        if {MASTER_URL, OTHER_URL} != set(usage["projects"]):
            raise Failure(f"the client's projects: {sorted(usage['projects'])}")
    finally:
        client.stop()


if __name__ == "__main__":
    sys.exit(main(run))
