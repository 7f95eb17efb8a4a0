"""A private desktop for the window's tests: an X server (Xvfb) on a display
it chooses itself, a session bus of its own that starts nothing by itself,
the dunst notification service, and the trayer tray. Every process is
started here and stopped by its process id, whatever the outcome.

A test exits 77 (skipped) where a program is missing."""

import ctypes
import json
import os
import shutil
import signal
import subprocess
import time

SKIP = 77
STEP_TIMEOUT = 60
PROGRAMS = {"Xvfb": "xvfb", "dbus-daemon": "dbus", "dunst": "dunst", "dunstctl": "dunst", "trayer": "trayer",
            "xwininfo": "x11-utils", "xdotool": "xdotool"}


class Failure(Exception):
    pass


def missing_programs():
    """The Debian packages whose programs are not on the PATH."""
    return sorted({package for program, package in PROGRAMS.items() if not shutil.which(program)})


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


def end_process(process, timeout=10):
    """Terminates a process by its id, and kills it when it has not gone within `timeout`."""
    if process.poll() is not None:
        return
    os.kill(process.pid, signal.SIGTERM)
    try:
        process.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.kill(process.pid, signal.SIGKILL)
        process.wait()


# A session bus that only passes messages: no service is started on demand,
# so that no process runs that the test did not start (and can stop).
BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""

# Notifications leave the screen after a second; `linger` keeps them on
# screen (pictures). A test adds its own lines to the global section, and
# rules of its own after the urgencies' (a later rule wins).
DUNST_CONFIG = """[global]
    font = DejaVu Sans 10
    width = 420
    offset = 12x40
    frame_width = 2
    icon_position = left
    min_icon_size = 32
    max_icon_size = 48
    idle_threshold = 0
{extra}[urgency_low]
    timeout = {timeout}
[urgency_normal]
    timeout = {timeout}
[urgency_critical]
    timeout = {timeout}
    frame_color = "#d9342b"
{rules}"""


def xlib():
    """libX11 through ctypes, with the few calls used here typed."""
    x = ctypes.CDLL("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    x.XFlush.argtypes = x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    return x


class Desktop:
    """Xvfb, a session bus, dunst and trayer in `work`, each stopped by its pid."""

    def __init__(self, work, linger=False, dunst_extra="", dunst_rules=""):
        self.work = work
        self.dunst_extra = dunst_extra
        self.dunst_rules = dunst_rules
        self.processes = []
        self.logs = []
        self.x_server = None
        self.linger = linger
        self.env = dict(os.environ)
        for name in ("XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR", "HOME"):
            path = os.path.join(work, name.lower())
            os.makedirs(path, mode=0o700, exist_ok=True)
            self.env[name] = path
        self.env.pop("WAYLAND_DISPLAY", None)

    def start(self, program, *args, name=None, **kwargs):
        log = open(os.path.join(self.work, (name or os.path.basename(program)) + ".log"), "w")
        self.logs.append(log)
        process = subprocess.Popen([program, *args], env=self.env, stdin=subprocess.DEVNULL, stdout=log,
                                   stderr=subprocess.STDOUT, **kwargs)
        self.processes.append(process)
        return process

    def start_x(self):
        """Xvfb on the first free display, which it tells us itself, once it
        answers a client.

        -noreset: by default the server resets whenever its last client
        leaves, and a client connecting in that moment is refused ("could not
        connect to display"). Others do come and go: the real client's idle
        detection, run by the tests beside this one, opens every display it
        finds in /tmp/.X11-unix every few seconds and closes it again."""
        read, write = os.pipe()
        self.x_server = self.start("Xvfb", "-displayfd", str(write), "-screen", "0", "1280x800x24",
                                   "-nolisten", "tcp", "-noreset", pass_fds=(write,))
        os.close(write)
        with os.fdopen(read) as told:
            display = told.readline().strip()
        if not display:
            raise Failure("Xvfb did not start" + self.log_of("Xvfb"))
        self.env["DISPLAY"] = ":" + display
        wait_for(f"the display {self.env['DISPLAY']} to answer", self.display_answers)

    def log_of(self, name):
        """The end of a program's log, for a failure's message."""
        try:
            with open(os.path.join(self.work, name + ".log"), errors="replace") as f:
                text = f.read()[-3000:]
        except OSError:
            return ""
        return f"; its log:\n{text}" if text.strip() else "; its log is empty"

    def display_answers(self):
        """Whether a client can open the display now; fails at once when the
        server has ended."""
        if self.x_server.poll() is not None:
            raise Failure(f"Xvfb on {self.env.get('DISPLAY')} ended with status {self.x_server.returncode}"
                          + self.log_of("Xvfb"))
        x = xlib()
        display = x.XOpenDisplay(self.env["DISPLAY"].encode())
        if not display:
            return False
        x.XCloseDisplay(display)
        return True

    def require_display(self):
        """Before anything is started on the display: the server is there and
        answers."""
        if not self.display_answers():
            raise Failure(f"the display {self.env['DISPLAY']} does not answer" + self.log_of("Xvfb"))

    def start_bus(self):
        config = os.path.join(self.work, "bus.conf")
        socket = os.path.join(self.work, "bus")
        with open(config, "w") as f:
            f.write(BUS_CONFIG.format(socket=socket))
        self.start("dbus-daemon", "--nofork", "--nopidfile", "--config-file=" + config)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + socket
        wait_for("the session bus", lambda: os.path.exists(socket))

    def start_dunst(self):
        folder = os.path.join(self.env["XDG_CONFIG_HOME"], "dunst")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "dunstrc"), "w") as f:
            f.write(DUNST_CONFIG.format(timeout=60 if self.linger else 1, extra=self.dunst_extra,
                                        rules=self.dunst_rules))
        self.require_display()
        self.start("dunst")
        wait_for("dunst on the bus", lambda: self.dunstctl("count", "history") is not None)

    def start_tray(self):
        self.require_display()
        self.start("trayer", "--edge", "bottom", "--align", "right", "--widthtype", "request", "--height", "32",
                   "--SetDockType", "true", "--transparent", "false", "--tint", "0xdddddd")
        return wait_for("trayer's window", self.tray_window)

    def start_all(self):
        self.start_x()
        self.start_bus()
        self.start_dunst()
        self.start_tray()

    def dunstctl(self, *args):
        done = subprocess.run(["dunstctl", *args], env=self.env, capture_output=True, text=True, timeout=30)
        return done.stdout if done.returncode == 0 else None

    def history(self):
        """What dunst has shown and put away (`dunstctl history`), newest first: (app, summary, body) each."""
        text = self.dunstctl("history")
        if not text:
            return []
        found = []
        for n in json.loads(text)["data"][0]:
            found.append(tuple(n.get(k, {}).get("data") for k in ("appname", "summary", "body")))
        return found

    def windows(self, under=None):
        """xwininfo's tree under the window `under` (default: the root): (id, name) each."""
        where = ["-id", under] if under else ["-root"]
        done = subprocess.run(["xwininfo", *where, "-tree"], env=self.env, capture_output=True, text=True,
                              timeout=30)
        found = []
        for line in done.stdout.splitlines():
            words = line.split(None, 1)
            if words and words[0].startswith("0x"):
                name = words[1].split('"')[1] if len(words) > 1 and '"' in words[1] else ""
                found.append((words[0], name))
        return found

    def close_window(self, window):
        """Asks `window` to close as a window manager does (WM_DELETE_WINDOW):
        what its close button does, without a window manager."""
        x = xlib()

        class ClientMessage(ctypes.Structure):
            _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                        ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                        ("format", ctypes.c_int), ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 16)]

        display = x.XOpenDisplay(self.env["DISPLAY"].encode())
        if not display:
            raise Failure("cannot open the display")
        try:
            event = ClientMessage(type=33, window=int(window, 16), format=32,
                                  message_type=x.XInternAtom(display, b"WM_PROTOCOLS", 0))
            event.data[0] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
            x.XSendEvent(display, int(window, 16), 0, 0, ctypes.byref(event))
            x.XFlush(display)
        finally:
            x.XCloseDisplay(display)

    def tray_window(self):
        return next((w for w, name in self.windows() if name == "panel"), None)

    def stop(self):
        for process in reversed(self.processes):
            end_process(process)
        self.processes = []
        for log in self.logs:
            log.close()
        self.logs = []
