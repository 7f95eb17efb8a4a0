"""Lays out a private data directory the way the BOINC client keeps one: one
local project under a .invalid host, its account file, a tiny application
and a few workunits with results ready to run. Nothing here needs a network:
the files are already in place, so the client only runs the tasks."""

import os
import shutil
import time

MASTER_URL = "http://crunch.invalid/test/"
ESCAPED_URL = "crunch.invalid_test"
APP = "spin"
VERSION = 100
PASSWORD = "crunchwatch-test"


def escaped_url(url):
    """The client's name for a project's folder and files."""
    for scheme in ("http://", "https://"):
        if url.startswith(scheme):
            url = url[len(scheme):]
            break
    out = "".join(c if c.isascii() and (c.isalnum() or c in ".-_") else "_" for c in url)
    return out[:-1] if out.endswith("_") else out


def result_name(i):
    return f"spin_wu_{i}_0"


def lay_out(directory, app_binary, platform, workunits, steps):
    """Writes the directory; `steps` is how many 0.2 s steps each task burns."""
    assert escaped_url(MASTER_URL) == ESCAPED_URL
    project_dir = os.path.join(directory, "projects", ESCAPED_URL)
    os.makedirs(project_dir)
    exe = f"{APP}_{VERSION}"
    shutil.copy(app_binary, os.path.join(project_dir, exe))
    os.chmod(os.path.join(project_dir, exe), 0o755)
    size = os.path.getsize(app_binary)
    deadline = time.time() + 7 * 86400
    wus = []
    for i in range(workunits):
        wus.append(f"""<workunit>
    <name>spin_wu_{i}</name>
    <app_name>{APP}</app_name>
    <version_num>{VERSION}</version_num>
    <command_line>{steps}</command_line>
    <rsc_fpops_est>{steps * 0.2 * 1e9:.0f}</rsc_fpops_est>
    <rsc_fpops_bound>1e15</rsc_fpops_bound>
    <rsc_memory_bound>100000000</rsc_memory_bound>
    <rsc_disk_bound>100000000</rsc_disk_bound>
</workunit>
<result>
    <name>{result_name(i)}</name>
    <final_cpu_time>0</final_cpu_time>
    <exit_status>0</exit_status>
    <state>2</state>
    <platform>{platform}</platform>
    <version_num>{VERSION}</version_num>
    <wu_name>spin_wu_{i}</wu_name>
    <report_deadline>{deadline:.6f}</report_deadline>
    <received_time>{time.time():.6f}</received_time>
</result>
""")
    state = f"""<client_state>
<project>
    <master_url>{MASTER_URL}</master_url>
    <project_name>Crunch test</project_name>
    <user_name>tester</user_name>
    <user_total_credit>1234.5</user_total_credit>
    <host_total_credit>234.5</host_total_credit>
    <resource_share>100.000000</resource_share>
    <dont_request_more_work/>
</project>
<app>
    <name>{APP}</name>
    <user_friendly_name>Spin</user_friendly_name>
</app>
<file>
    <name>{exe}</name>
    <nbytes>{size}</nbytes>
    <max_nbytes>0</max_nbytes>
    <status>1</status>
    <executable/>
</file>
<app_version>
    <app_name>{APP}</app_name>
    <version_num>{VERSION}</version_num>
    <platform>{platform}</platform>
    <avg_ncpus>1.000000</avg_ncpus>
    <flops>1000000000.000000</flops>
    <file_ref>
        <file_name>{exe}</file_name>
        <main_program/>
    </file_ref>
</app_version>
{''.join(wus)}</client_state>
"""
    with open(os.path.join(directory, "client_state.xml"), "w") as f:
        f.write(state)
    with open(os.path.join(directory, f"account_{ESCAPED_URL}.xml"), "w") as f:
        f.write(f"""<account>
    <master_url>{MASTER_URL}</master_url>
    <authenticator>0123456789abcdef</authenticator>
    <project_name>Crunch test</project_name>
</account>
""")
    # A busy build machine would otherwise suspend the tasks; checkpoints are
    # written often; a suspended task stays in memory, so its process state
    # reads as suspended rather than as never started.
    with open(os.path.join(directory, "global_prefs_override.xml"), "w") as f:
        f.write("""<global_preferences>
    <suspend_cpu_usage>0</suspend_cpu_usage>
    <disk_interval>5</disk_interval>
    <leave_apps_in_memory>1</leave_apps_in_memory>
    <run_if_user_active>1</run_if_user_active>
    <run_on_batteries>1</run_on_batteries>
</global_preferences>
""")
    # One processor for the project, so that one task runs and the rest wait.
    with open(os.path.join(directory, "cc_config.xml"), "w") as f:
        f.write("""<cc_config>
    <options>
        <ncpus>1</ncpus>
        <no_gpus>1</no_gpus>
    </options>
</cc_config>
""")
    with open(os.path.join(directory, "gui_rpc_auth.cfg"), "w") as f:
        f.write(PASSWORD + "\n")
