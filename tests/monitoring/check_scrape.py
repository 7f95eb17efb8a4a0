"""Checks what the monitoring servers make of crunchwatch-dump's metrics
against its JSON view of the same refresh.

  check_scrape.py exporter URL VIEW_JSON     node_exporter's /metrics
  check_scrape.py prometheus URL VIEW_JSON   Prometheus's query API

Each waits a bounded time for its server to answer."""
import json
import re
import sys
import time
import urllib.parse
import urllib.request

SAMPLE = re.compile(r'^([a-zA-Z_:][a-zA-Z0-9_:]*)(?:\{(.*)\})? (\S+)$')
LABEL = re.compile(r'([a-zA-Z_][a-zA-Z0-9_]*)="((?:[^"\\]|\\.)*)"')
UNESCAPE = {'\\\\': '\\', '\\"': '"', '\\n': '\n'}
STATES = {"Downloading": "downloading", "Waiting": "waiting", "running...": "running",
          "Paused": "paused", "Finished": "finished", "Sent": "sent"}


def fetch(url, seconds):
    deadline = time.monotonic() + seconds
    while True:
        try:
            with urllib.request.urlopen(url, timeout=5) as r:
                return r.read().decode("utf-8")
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.2)


def parse(text):
    series = {}
    for line in text.splitlines():
        if not line or line.startswith("#"):
            continue
        m = SAMPLE.match(line)
        assert m, "not a sample line: %r" % line
        labels = {k: re.sub(r'\\[\\"n]', lambda e: UNESCAPE[e.group(0)], v) for k, v in LABEL.findall(m.group(2) or "")}
        series[(m.group(1), frozenset(labels.items()))] = float(m.group(3))
    return series


def duration(text):
    h, m, s = (int(p) for p in text.split(":"))
    return h * 3600 + m * 60 + s


def alert_labels(view):
    """The JSON view's alerts as the labels of their series, empty ones left out."""
    return {frozenset((k, v) for k, v in (("rule", a["rule"]), ("severity", a["severity"]),
                                           ("project", a["project"]), ("task", a["task"])) if v)
            for a in view["alerts"]}


def check_exporter(url, view):
    got = parse(fetch(url, 20))

    def value(name, **labels):
        key = (name, frozenset(labels.items()))
        assert key in got, "no series %s%s" % (name, labels)
        return got[key]

    assert value("node_textfile_scrape_error") == 0
    assert value("crunchwatch_state_file_readable", path=view["state_file"]) == 1
    assert value("crunchwatch_projects") == view["number_of_projects"]
    assert value("crunchwatch_credit", kind="user_total") == view["total_credit"]
    checked_tasks = 0
    for record in view["records"]:
        p = {"project": record.get("project_name", record.get("master_url", "")), "url": record.get("master_url", "")}
        if "user_total_credit" in record:
            assert value("crunchwatch_project_credit", kind="user_total", **p) == float(record["user_total_credit"])
        if "resource_share" in record:
            assert value("crunchwatch_project_resource_share", **p) == float(record["resource_share"])
        names = [r.get("name") for r in record["result"]]
        cells = [c for c, row in zip(view["results"], view["rows"]) if row.get("master_url") == record.get("master_url")]
        counts = {s: 0 for s in list(STATES.values()) + ["other"]}
        for c in cells:
            counts[STATES.get(c["State"], "other")] += 1
        for state, n in counts.items():
            assert value("crunchwatch_tasks", state=state, **p) == n, (p, state)
        for name, r, c in zip(names, record["result"], cells):
            t = dict(p, task=name)
            if c["Progress"] not in (None, "checking..."):
                assert abs(value("crunchwatch_task_progress_ratio", **t) * 100 - float(c["Progress"][:-1])) <= 0.005
            if c["CPUTime"] is not None:
                assert int(value("crunchwatch_task_cpu_seconds", **t)) == duration(c["CPUTime"])
            if c["ETR"] is not None:
                assert int(value("crunchwatch_task_remaining_seconds", **t)) == duration(c["ETR"])
            if "report_deadline" in r:
                assert value("crunchwatch_task_deadline_timestamp_seconds", **t) == float(r["report_deadline"])
            checked_tasks += 1
    assert checked_tasks == len(view["results"]) > 0
    uploads = sum(1 for t in view["transfers"] if t["upload"])
    assert value("crunchwatch_transfers", direction="upload") == uploads
    assert value("crunchwatch_transfers", direction="download") == len(view["transfers"]) - uploads
    labels = lambda s: {"project": s["project_name"] or s["master_url"] or "", "url": s["master_url"] or ""}
    for status in view["project_status"]:
        if status["min_rpc_time"] is not None:
            assert value("crunchwatch_project_deferred_until_seconds", **labels(status)) == float(status["min_rpc_time"])
        for flag in status["flags"]:
            assert value("crunchwatch_project_flag", flag=flag, **labels(status)) == 1
    for t in view["transfers"]:
        if t["num_retries"] is not None:
            direction = "upload" if t["upload"] else "download"
            assert value("crunchwatch_transfer_retries", file=t["name"], direction=direction, **labels(t)) \
                == float(t["num_retries"])
    # One series per alert, an empty label the same as none.
    shown = {frozenset((k, v) for k, v in labels if v) for name, labels in got if name == "crunchwatch_alert"}
    assert shown == alert_labels(view), (shown, view["alerts"])
    assert all(got[key] == 1 for key in got if key[0] == "crunchwatch_alert")
    print("node_exporter: %d crunchwatch series, %d tasks agree with the JSON view"
          % (sum(1 for name, _ in got if name.startswith("crunchwatch_")), checked_tasks))


def check_prometheus(url, view):
    query = url + "/api/v1/query?" + urllib.parse.urlencode({"query": "crunchwatch_projects"})
    deadline = time.monotonic() + 60
    while True:
        answer = json.loads(fetch(query, max(1, deadline - time.monotonic())))
        result = answer.get("data", {}).get("result", [])
        if answer.get("status") == "success" and result:
            break
        assert time.monotonic() < deadline, "no scrape of crunchwatch_projects within 60 s: %r" % answer
        time.sleep(0.5)
    assert len(result) == 1, result
    assert float(result[0]["value"][1]) == view["number_of_projects"], result
    print("Prometheus: crunchwatch_projects = %s from %s" % (result[0]["value"][1], result[0]["metric"].get("instance")))
    # Our rules loaded: each alert of the view is pending (it fires after five minutes).
    query = url + "/api/v1/query?" + urllib.parse.urlencode({"query": 'ALERTS{alertname="BoincAlert"}'})
    expected = alert_labels(view)
    while True:
        result = json.loads(fetch(query, max(1, deadline - time.monotonic()))).get("data", {}).get("result", [])
        pending = {frozenset((k, v) for k, v in r["metric"].items() if k in ("rule", "severity", "project", "task"))
                   for r in result if r["metric"].get("alertstate") == "pending"}
        if pending == expected:
            break
        assert time.monotonic() < deadline, "BoincAlert pending for %s, the view's alerts %s" % (pending, expected)
        time.sleep(0.5)
    print("Prometheus: BoincAlert pending for the view's %d alerts" % len(expected))


def main():
    mode, url, view_path = sys.argv[1:]
    with open(view_path, encoding="utf-8") as f:
        view = json.load(f)
    {"exporter": check_exporter, "prometheus": check_prometheus}[mode](url, view)


main()
