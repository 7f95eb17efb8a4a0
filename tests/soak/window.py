"""The window, run offscreen by crunchwatch-window-probe, as a soak drives it.

One JSON line per refresh arrives on a queue as the probe prints it; every
wait for one has a deadline; the probe is stopped by its pid whatever
happened (its stdin closed first, which ends it on its own, then SIGTERM, then
SIGKILL).
"""

import json
import os
import queue
import subprocess
import threading
import time

STOP_SECONDS = 10


class WindowFailure(Exception):
    pass


class Window:
    def __init__(self, probe, state_file, settings):
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        self.process = subprocess.Popen([probe, state_file, settings, "--summary"],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=env, text=True)
        self.pid = self.process.pid
        self._lines = queue.Queue()
        self._ended = False
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        try:
            for line in self.process.stdout:
                self._lines.put(json.loads(line))
        except (ValueError, OSError) as e:
            self._lines.put(WindowFailure(f"the window's output could not be read: {e!r}"))
        finally:
            self._lines.put(None)  # its output has ended

    def _take(self, line):
        if line is None:
            self._ended = True
            raise WindowFailure(f"the window ended (status {self.status()})")
        if isinstance(line, Exception):
            raise line
        return line

    def status(self):
        try:
            return self.process.wait(timeout=STOP_SECONDS)
        except subprocess.TimeoutExpired:
            return "still running"

    def check_running(self):
        if self._ended or self.process.poll() is not None:
            raise WindowFailure(f"the window ended (status {self.status()})")

    def ready_lines(self):
        """Every line printed since the last call, without waiting."""
        lines = []
        while True:
            try:
                lines.append(self._take(self._lines.get_nowait()))
            except queue.Empty:
                return lines

    def next_line(self, deadline, what):
        """The next line, waiting no later than `deadline` (a monotonic time)."""
        remaining = deadline - time.monotonic()
        try:
            if remaining <= 0:
                raise queue.Empty
            return self._take(self._lines.get(timeout=remaining))
        except queue.Empty:
            raise WindowFailure(f"{what} in time") from None

    def ask_view(self):
        """Asks for one line with every cell of the views."""
        try:
            self.process.stdin.write("view\n")
            self.process.stdin.flush()
        except OSError as e:
            raise WindowFailure(f"the window stopped listening: {e!r}") from None

    def resident_kib(self):
        try:
            with open(f"/proc/{self.pid}/status") as f:
                for line in f:
                    if line.startswith("VmRSS:"):
                        return int(line.split()[1])
        except OSError:
            self.check_running()
            raise
        return 0

    def stop(self):
        """Ends the probe in every outcome, each step bounded."""
        try:
            self.process.stdin.close()
        except OSError:
            pass
        for ask in (None, self.process.terminate, self.process.kill):
            if self.process.poll() is not None:
                break
            if ask:
                ask()
            try:
                self.process.wait(timeout=STOP_SECONDS)
            except subprocess.TimeoutExpired:
                pass
