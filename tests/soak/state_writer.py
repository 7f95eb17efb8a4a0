"""A stand-in for the client: it rewrites a big state file in a loop.

The file is replaced the client's way (write client_state_next.xml, rename
the current file to client_state_prev.xml, rename the next one in) every
100 ms with changing content, and now and then the gap between the renames is
held open, the file is cut short in place, or a directory stands in its place
for a moment.
"""

import os
import random
import threading
import time

RESULTS = 6000  # about 2 MB of state file
PAUSE_SECONDS = 0.1
GAP_SECONDS = 0.3
STOP_SECONDS = 30


class WriterFailure(Exception):
    pass


class StateWriter(threading.Thread):
    """Rewrites the state file until stopped; `rewrites` counts the files renamed in."""

    def __init__(self, directory, seed, results=RESULTS):
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

    @property
    def final_rows(self):
        """The results of a final file: one more per project than any file written in the loop."""
        return 2 * (self.results // 2 + 1)

    def content(self, generation, final=False):
        """Two projects and their results, every value moving on. A file
        written in the loop leaves up to nine results of each project out; a
        final one has one more than the loop's most, so that the window's
        line after reading it is known by its row count."""
        rnd = self.random
        parts = ["<client_state>\n"]
        tasks = []
        per_project = self.results // 2
        for p in range(2):
            url = f"http://soak{p}.invalid/"
            parts.append(f"<project>\n    <master_url>{url}</master_url>\n    <project_name>Soak {p} gen {generation}"
                         f"</project_name>\n    <user_total_credit>{generation * 1.5 + p:.6f}</user_total_credit>\n"
                         f"    <resource_share>{100 + p * 50}</resource_share>\n</project>\n")
            shown = per_project + 1 if final else per_project - rnd.randrange(10)
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
                    self.replace(text, gap=GAP_SECONDS)
                elif roll < 0.07:
                    # Cut short in place, then rewritten whole a moment later.
                    with open(self.path("client_state.xml"), "r+") as f:
                        f.truncate(self.random.randrange(1, len(text)))
                    self.last_change = time.monotonic()
                    time.sleep(0.2)
                    self.replace(text)
                elif roll < 0.10:
                    os.replace(self.path("client_state.xml"), self.path("client_state_prev.xml"))
                    os.mkdir(self.path("client_state.xml"))
                    self.last_change = time.monotonic()
                    time.sleep(GAP_SECONDS)
                    os.rmdir(self.path("client_state.xml"))
                    self.replace(text)
                else:
                    self.replace(text)
                self.stop_event.wait(PAUSE_SECONDS)
        except Exception as e:  # the run fails on it, with the reason
            self.error = e

    def finish(self):
        """Stops the loop; the file is left whole, renamed in last."""
        self.stop_event.set()
        self.join(timeout=STOP_SECONDS)
        if self.is_alive():
            raise WriterFailure(f"the writer did not stop within {STOP_SECONDS} s")
        if self.error:
            raise WriterFailure(f"the writer failed: {self.error!r}")
