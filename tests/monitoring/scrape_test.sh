#!/usr/bin/env bash
# The metrics through the monitoring stack people run, from Debian:
# crunchwatch-dump --output writes into a textfile directory, node_exporter
# serves it with the values the JSON view gives, and Prometheus, with our
# alerting rules loaded, scrapes it and answers a query. Each server listens on a free loopback port, every wait is
# bounded, and each server is stopped by its process id whatever happens.
# Exits 77 (skipped) when the packages are not installed.
#
# usage: scrape_test.sh CRUNCHWATCH_DUMP STATE_FILE ALERTING_RULES
set -euo pipefail
dump=$1
state=$2
rules=$3
here=$(cd "$(dirname "$0")" && pwd)

exporter=$(command -v prometheus-node-exporter || command -v node_exporter || true)
prometheus=$(command -v prometheus || true)
if [ -z "$exporter" ] || [ -z "$prometheus" ] || ! command -v python3 >/dev/null; then
  echo "SKIPPED: needs the Debian packages prometheus-node-exporter, prometheus and python3"
  exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/crunchwatch-scrape-XXXXXX")
pids=()
stop_servers() {
  local pid i
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for i in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  pids=()
}
finish() {
  local status=$?
  stop_servers
  if [ "$status" -ne 0 ]; then
    for log in "$work"/*.log; do [ -e "$log" ] && { echo "--- $log"; tail -n 20 "$log"; }; done
  fi
  rm -rf "$work"
}
trap finish EXIT

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

now=1796150000
mkdir "$work/textfile"
"$dump" --prometheus-tasks --now "$now" --output "$work/textfile/crunchwatch.prom" "$state"
"$dump" --json --now "$now" "$state" >"$work/view.json"

echo "== node_exporter serves the textfile"
exporter_port=$(free_port)
"$exporter" --web.listen-address="127.0.0.1:$exporter_port" --collector.disable-defaults --collector.textfile \
  --collector.textfile.directory="$work/textfile" >"$work/node_exporter.log" 2>&1 &
pids+=($!)
python3 "$here/check_scrape.py" exporter "http://127.0.0.1:$exporter_port/metrics" "$work/view.json"

echo "== Two hosts in one exposition pass promtool's lint"
"$dump" --prometheus-tasks --now "$now" "here=$state" "there=$state.missing" >"$work/two-hosts.prom" || true
grep -q '^crunchwatch_state_file_readable{host="there",' "$work/two-hosts.prom"
promtool check metrics <"$work/two-hosts.prom"

echo "== Prometheus scrapes node_exporter"
promtool check rules "$rules"
# An alert of a task and one of the client's own, as the dump writes them
# (an empty label is an absent one): each fires after five minutes.
cat >"$work/rules_test.yml" <<YAML
rule_files: ["$rules"]
evaluation_interval: 1m
tests:
  - interval: 1m
    input_series:
      - series: 'crunchwatch_alert{rule="task_failed",severity="error",project="Crunch test",task="r1",instance="h:9100"}'
        values: '1x10'
      - series: 'crunchwatch_alert{rule="client_stopped",severity="error",project="",task="",instance="h:9100"}'
        values: '1x10'
    alert_rule_test:
      - eval_time: 4m
        alertname: BoincAlert
        exp_alerts: []
      - eval_time: 6m
        alertname: BoincAlert
        exp_alerts:
          - exp_labels: {alertname: BoincAlert, rule: task_failed, severity: error, project: Crunch test, task: r1, instance: "h:9100"}
            exp_annotations: {summary: "task_failed for r1 of Crunch test on h:9100"}
          - exp_labels: {alertname: BoincAlert, rule: client_stopped, severity: error, instance: "h:9100"}
            exp_annotations: {summary: "client_stopped on h:9100"}
YAML
promtool test rules "$work/rules_test.yml"
prometheus_port=$(free_port)
cat >"$work/prometheus.yml" <<YAML
global:
  scrape_interval: 1s
  evaluation_interval: 1s
rule_files: ["$rules"]
scrape_configs:
  - job_name: crunchwatch
    static_configs:
      - targets: ["127.0.0.1:$exporter_port"]
YAML
"$prometheus" --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/tsdb" \
  --web.listen-address="127.0.0.1:$prometheus_port" >"$work/prometheus.log" 2>&1 &
pids+=($!)
python3 "$here/check_scrape.py" prometheus "http://127.0.0.1:$prometheus_port" "$work/view.json"
echo "node_exporter and Prometheus saw the metrics the JSON view gives"
