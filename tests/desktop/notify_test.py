#!/usr/bin/env python3
"""The window on a real desktop: its alerts reach a real notification service
(dunst) once each, also across a restart, and its icon sits in a real tray
(trayer) with the work summed up in its tooltip.

On a generated data directory where one task has failed and a running task
will not make its deadline:
1. with no notification service on the bus, the window says so once on
   stderr and goes on;
2. with dunst, it tells both alerts once, a failure as critical, each
   naming its task; a click on the failure (dunst's default action) shows
   the window on the Alerts tab with the failure and its task selected;
3. started again on the same file, it tells nothing again, though it reads
   the file again;
4. its icon is embedded in trayer, and the tooltip sums up the work;
5. closing the window ends the program; with "keep in tray" on, it hides
   the window and goes on, and a click on the icon shows it again.

With --shots DIR, the notifications stay on screen and the README's pictures
of them and of the tray's menu are taken into DIR.

usage: notify_test.py --window CRUNCHWATCH --root SOURCE_DIR [--shots DIR]
Exits 77 (skipped) where a program it needs is missing."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

import desktop_session
from desktop_session import SKIP, Desktop, Failure, end_process, wait_for


def say(*parts):
    print("desktop:", *parts, flush=True)


FAILED = ("http://boinc.bakerlab.org/rosetta/", "Rosetta@home", "rb_06_12_81942_97514_ab_t000__robetta_0")
AT_RISK = ("https://einsteinathome.org/", "Einstein@Home", "h1_0412.35_O3aC01Cl1In0__O3AS1a_412.50Hz_1183_0")
SECOND = "h1_0412.35_O3aC01Cl1In0__O3AS1a_412.55Hz_1184_1"


def project(url, name, app, results):
    text = (f"<project><master_url>{url}</master_url><project_name>{name}</project_name>"
            "<resource_share>100.000000</resource_share></project>"
            f"<app><name>{app}</name><user_friendly_name>{app}</user_friendly_name></app>")
    for r in results:
        text += f"<workunit><name>{r['name']}_wu</name><app_name>{app}</app_name></workunit>"
        text += (f"<result><name>{r['name']}</name><wu_name>{r['name']}_wu</wu_name>"
                 f"<state>{r['state']}</state><exit_status>{r.get('exit', 0)}</exit_status>"
                 f"<report_deadline>{r['deadline']:.6f}</report_deadline>"
                 f"<received_time>{r['received']:.6f}</received_time>{r.get('more', '')}</result>")
    return text


def running(url, tasks):
    """Active tasks executing: (result, processor time, fraction done) each."""
    return "".join(
        f"<active_task><project_master_url>{url}</project_master_url><result_name>{name}</result_name>"
        "<active_task_state>1</active_task_state><scheduler_state>2</scheduler_state>"
        f"<fraction_done>{done:.6f}</fraction_done><current_cpu_time>{cpu:.6f}</current_cpu_time>"
        f"<elapsed_time>{cpu:.6f}</elapsed_time></active_task>" for name, cpu, done in tasks)


def state_file(now, second_task=False):
    """A Rosetta task that failed an hour ago; an Einstein task running with 9
    hours to go and its deadline in 2 (with `second_task`, another with
    plenty of time)."""
    failed = {"name": FAILED[2], "state": 3, "exit": -161, "deadline": now + 5 * 86400, "received": now - 86400,
              "more": f"<completed_time>{now - 3600:.6f}</completed_time>"}
    risky = {"name": AT_RISK[2], "state": 2, "deadline": now + 2 * 3600, "received": now - 3 * 86400}
    results, tasks = [risky], [(AT_RISK[2], 3600.0, 0.1)]
    if second_task:
        results.append({"name": SECOND, "state": 2, "deadline": now + 7 * 86400, "received": now - 3600})
        tasks.append((SECOND, 600.0, 0.5))
    body = (project(FAILED[0], FAILED[1], "minirosetta", [failed])
            + project(AT_RISK[0], AT_RISK[1], "einstein_O3AS", results))
    active = running(AT_RISK[0], tasks)
    return (f"<client_state><time_stats><last_update>{now:.6f}</last_update></time_stats>{body}"
            f"<active_task_set>{active}</active_task_set><platform_name>x86_64-pc-linux-gnu</platform_name>"
            "</client_state>\n")


def write_state(path, **options):
    with open(path + ".new", "w") as f:
        f.write(state_file(time.time(), **options))
    os.replace(path + ".new", path)


class Window:
    """The program under test, on the private desktop, stopped by its pid."""

    def __init__(self, desktop, exe, state, log, **env):
        desktop.require_display()
        self.log_path = log
        self.log = open(log, "w")
        environment = dict(desktop.env, QT_QPA_PLATFORM="xcb", CRUNCHWATCH_TRAY_TRACE="1", **env)
        self.process = subprocess.Popen([exe, state], env=environment, stdin=subprocess.DEVNULL,
                                        stdout=self.log, stderr=subprocess.STDOUT)

    def running(self, check):
        """`check`, for wait_for, failing at once when the program has ended."""
        def checked():
            if self.process.poll() is not None:
                raise Failure(f"the window ended with status {self.process.returncode}:\n{self.output()[-3000:]}")
            return check()
        return checked

    def output(self):
        with open(self.log_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def tray_lines(self):
        return [l for l in self.output().splitlines() if l.startswith("crunchwatch tray: ")]

    def stop(self):
        end_process(self.process)
        self.log.close()


def check_received(desktop, record):
    """Both alerts told, each once, from crunchwatch, a failure as critical."""
    got = wait_for("dunst to receive both alerts", lambda: (lambda r: r if len(r) >= 2 else None)(record()))
    summaries = [n[1] for n in got]
    wanted = {f"Task failed: {FAILED[1]}": "CRITICAL", f"Deadline at risk: {AT_RISK[1]}": "NORMAL"}
    for summary, urgency in wanted.items():
        told = [n for n in got if n[1] == summary]
        if len(told) != 1:
            raise Failure(f"{summary!r} told {len(told)} times; dunst received {summaries}")
        app, _, body, level, _ = told[0]
        task = FAILED[2] if summary.startswith("Task failed") else AT_RISK[2]
        if app != "crunchwatch" or level != urgency or not body.startswith(task + ": "):
            raise Failure(f"{summary!r} came as {told[0]}; wanted app crunchwatch, urgency {urgency}, "
                          f"a body that names {task} first")
    if len(set(summaries)) != len(summaries):
        raise Failure(f"a notification came twice: {summaries}")
    return got


def run(args, work, desktop):
    recorder = os.path.join(work, "record.sh")
    received = os.path.join(work, "received.txt")
    with open(recorder, "w") as f:
        f.write(f'#!/bin/sh\nprintf "%s\\t%s\\t%s\\t%s\\t%s\\n" "$DUNST_APP_NAME" "$DUNST_SUMMARY" "$DUNST_BODY" '
                f'"$DUNST_URGENCY" "$DUNST_ICON_PATH" >> "{received}"\n')
    os.chmod(recorder, 0o755)
    # dunst runs the recorder for every notification it receives, with what
    # it received in its environment; the failure stays on screen until it
    # is clicked (dunstctl action), the other leaves after a second.
    desktop.dunst_extra = (f'    icon_path = "{args.root}/data"\n[record]\n    summary = "*"\n'
                           f'    script = "{recorder}"\n')
    desktop.dunst_rules = '[keep_failure]\n    summary = "Task failed*"\n    timeout = 0\n'


    def record():
        if not os.path.exists(received):
            return []
        with open(received, encoding="utf-8") as f:
            return [tuple(l.rstrip("\n").split("\t")) for l in f if l.strip()]

    data = os.path.join(work, "boinc-client")
    os.makedirs(data)
    state = os.path.join(data, "client_state.xml")
    write_state(state)
    desktop.start_x()
    desktop.start_bus()

    say("no notification service: said once, the window goes on")
    alone = Window(desktop, args.window, state, os.path.join(work, "alone.log"),
                   XDG_STATE_HOME=os.path.join(work, "alone-state"))
    try:
        wait_for("the window to say there is no notification service",
                 alone.running(lambda: "desktop notifications are not shown" in alone.output()))
        time.sleep(1)
        if alone.process.poll() is not None:
            raise Failure(f"the window ended without a notification service:\n{alone.output()}")
        if alone.output().count("desktop notifications are not shown") != 1:
            raise Failure(f"said more than once:\n{alone.output()}")
    finally:
        alone.stop()

    desktop.start_dunst()
    tray = desktop.start_tray()

    say("both alerts told once")
    window = Window(desktop, args.window, state, os.path.join(work, "first.log"))
    try:
        told = check_received(desktop, record)
        say("received:", [n[1] for n in told])
        ledger = os.path.join(desktop.env["XDG_STATE_HOME"], "crunchwatch", "notified")
        wait_for("the ledger of what was told", window.running(lambda: os.path.exists(ledger)))

        if not args.shots:  # the pictures show the notifications as they came
            say("a click on the failure shows it in the window, its task selected")
            click_failure(desktop, window)

        say("the icon in the tray, the work in its tooltip")
        icon_place(desktop, tray)
        lines = wait_for("the tray's tooltip", window.running(lambda: [l for l in window.tray_lines() if "1 at risk" in l]))
        if "attention · 1 running · 1 at risk · next completes " not in lines[-1] or "alerts" not in lines[-1]:
            raise Failure(f"the tray says {lines[-1]!r}")
        if args.shots:
            take_pictures(args, desktop, tray)

        say("dunst's own history holds each once")
        desktop.dunstctl("close-all")
        kept = wait_for("dunst's history", lambda: [n for n in desktop.history() if n[0] == "crunchwatch"] or None)
        for summary in (f"Task failed: {FAILED[1]}", f"Deadline at risk: {AT_RISK[1]}"):
            if [n[1] for n in kept].count(summary) != 1:
                raise Failure(f"{summary!r} is not once in dunst's history: {kept}")
    finally:
        window.stop()

    say("started again on the same file: nothing told twice")
    before = record()
    window = Window(desktop, args.window, state, os.path.join(work, "second.log"))
    try:
        wait_for("the first value after the restart",
                 window.running(lambda: any("1 running" in l for l in window.tray_lines())))
        # A change the watchdog reads, which only adds a task with time to
        # spare: the same alerts, a new value.
        write_state(state, second_task=True)
        wait_for("the file read again", window.running(lambda: any("2 running" in l for l in window.tray_lines())))
        time.sleep(3)  # a notification sent would have arrived by now
        if record() != before:
            raise Failure(f"told again after a restart: {record()[len(before):]}")
        say("no notification told twice across a restart; closing the window quits")
        desktop.close_window(main_window(desktop))
        try:
            window.process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            raise Failure("the window closed, but the program did not end")
    finally:
        window.stop()

    say("with keep in tray, closing the window leaves the program running")
    with open(os.path.join(desktop.env["XDG_CONFIG_HOME"], "crunchwatch", "crunchwatch.conf"), "a") as f:
        f.write("\n[alerts]\nkeep%20in%20tray=true\n")
    window = Window(desktop, args.window, state, os.path.join(work, "third.log"))
    try:
        wait_for("the icon in the tray", window.running(window.tray_lines))
        desktop.close_window(main_window(desktop))
        wait_for("the window hidden", lambda: not viewable(desktop))
        time.sleep(2)
        if window.process.poll() is not None:
            raise Failure("the program ended when its window closed, though it was to stay in the tray")
        say("a click on the icon shows the window again")
        x, y = icon_place(desktop, tray)
        subprocess.run(["xdotool", "mousemove", str(x + 12), str(y + 12), "click", "1"], env=desktop.env,
                       check=True, timeout=30)
        wait_for("the window shown again", lambda: viewable(desktop))
    finally:
        window.stop()


def click_failure(desktop, window):
    """Clicks the failure's notification, the only one left on screen, as a
    user does (dunst invokes its default action), and reads what the window
    then shows."""
    wait_for("only the failure on screen", lambda: (desktop.dunstctl("count", "displayed") or "").strip() == "1")
    if desktop.dunstctl("action", "0") is None:
        raise Failure("dunstctl could not invoke the notification's action")
    shown = wait_for("the window to show the clicked alert",
                     window.running(lambda: [l for l in window.output().splitlines()
                                             if l.startswith("crunchwatch shown: ")]))[-1]
    say(shown)
    tab, alert, task = (part.split(": ", 1)[-1] for part in shown.split(" · "))
    if not tab.startswith("Alerts") or "(hidden)" in tab:
        raise Failure(f"after the click the window shows {shown!r}: wanted the Alerts tab, on screen")
    if "Task failed" not in alert or FAILED[2] not in alert:
        raise Failure(f"after the click the selected alert is {alert!r}: wanted the failure of {FAILED[2]}")
    if not task.startswith(FAILED[2] + "_wu\t"):  # the row's first column is its workunit
        raise Failure(f"after the click the selected task is {task!r}: wanted {FAILED[2]}")


def viewable(desktop):
    """Whether the window is on screen."""
    return any("IsViewable" in subprocess.run(["xwininfo", "-id", w], env=desktop.env, capture_output=True,
                                              text=True).stdout
               for w, name in desktop.windows() if name.endswith(" — crunchwatch"))


def icon_place(desktop, tray):
    """Where the icon embedded in the tray is on screen."""
    icon = wait_for("the icon in the tray", lambda: [w for w, name in desktop.windows(tray) if name == "crunchwatch"])
    geometry = subprocess.run(["xwininfo", "-id", icon[0]], env=desktop.env, capture_output=True, text=True).stdout
    return (int(geometry.split("Absolute upper-left X:")[1].split()[0]),
            int(geometry.split("Absolute upper-left Y:")[1].split()[0]))


def main_window(desktop):
    """The window's own X window: the one titled after the program."""
    found = [w for w, name in desktop.windows() if name.endswith("crunchwatch") and name != "crunchwatch"]
    if not found:
        raise Failure(f"no window titled for its state file among {desktop.windows()}")
    return found[0]


def take_pictures(args, desktop, tray):
    """The notifications as they stand, and the tray icon's menu."""
    shoot = lambda name, crop: subprocess.run(  # noqa: E731
        ["import", "-window", "root", "-crop", crop, "+repage", os.path.join(args.shots, name)],
        env=desktop.env, check=True, timeout=60)
    time.sleep(1)
    shoot("alerts-notifications.png", "470x160+812+34")
    desktop.dunstctl("close-all")
    x, y = icon_place(desktop, tray)
    point = lambda *more: subprocess.run(  # noqa: E731
        ["xdotool", "mousemove", str(x + 12), str(y + 12), *more], env=desktop.env, check=True, timeout=30)
    point()
    time.sleep(2)
    shoot("alerts-tray-tooltip.png", "420x90+860+710")
    point("click", "3")
    time.sleep(1)
    shoot("alerts-tray-menu.png", "330x150+950+650")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--window", required=True)
    parser.add_argument("--root", required=True)
    parser.add_argument("--shots")
    args = parser.parse_args()
    missing = desktop_session.missing_programs()
    if args.shots:
        missing += [] if shutil.which("import") else ["imagemagick"]
    if missing:
        print(f"SKIPPED: needs the Debian packages {' '.join(missing)}")
        return SKIP
    work = tempfile.mkdtemp(prefix="crunchwatch-desktop-")
    desktop = Desktop(work, linger=bool(args.shots))
    try:
        run(args, work, desktop)
        return 0
    except Failure as e:
        say("FAILED:", e)
        for name in sorted(os.listdir(work)):
            if name.endswith(".log"):
                with open(os.path.join(work, name), errors="replace") as f:
                    say(f"--- {name}\n" + f.read()[-3000:])
        return 1
    finally:
        desktop.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
