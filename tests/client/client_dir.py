"""Lays out a private data directory the way the BOINC client keeps one:
local projects under .invalid hosts, their account files, a tiny application
and workunits with results ready to run. Nothing here needs a network: the
application is already in place, so the client only runs the tasks; a task
may name an input to fetch or an output to send, which the client then tries
and fails to transfer, as it would with its server out of reach."""

import os
import shutil
import time
from dataclasses import dataclass, field

MASTER_URL = "http://crunch.invalid/test/"
ESCAPED_URL = "crunch.invalid_test"
OTHER_URL = "http://crunch2.invalid/other/"
APP = "spin"
VERSION = 100
PASSWORD = "crunchwatch-test"


@dataclass
class Task:
    """A workunit of the application and its one result, `<name>_0`.

    `steps` of 0.2 s of processor time; `exit_status` other than 0 makes it
    fail; `input_url` names an input the client must fetch first; `upload_url`
    an output the client sends once the task is done."""
    name: str
    steps: int
    exit_status: int = 0
    input_url: str | None = None
    upload_url: str | None = None

    @property
    def result(self):
        return f"{self.name}_0"

    @property
    def output(self):
        return f"{self.result}_r1_0"


@dataclass
class Project:
    url: str
    name: str
    authenticator: str
    tasks: list = field(default_factory=list)
    dont_request_more_work: bool = False
    # When the project asked to be contacted again (seconds since 1970).
    next_rpc_time: float = 0


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


def lay_out(directory, app_binary, platform, workunits, steps, client_version=None):
    """One project, set to fetch no work, with `workunits` tasks of `steps`
    steps; one processor, and a suspended task stays in memory, so its
    process state reads as suspended rather than as never started."""
    assert escaped_url(MASTER_URL) == ESCAPED_URL
    project = Project(MASTER_URL, "Crunch test", "0123456789abcdef",
                      [Task(f"spin_wu_{i}", steps) for i in range(workunits)], dont_request_more_work=True)
    lay_out_projects(directory, app_binary, platform, [project], ncpus=1, leave_apps_in_memory=True,
                     client_version=client_version)


def lay_out_projects(directory, app_binary, platform, projects, ncpus, leave_apps_in_memory,
                     client_version=None, disk_interval=5):
    """Writes the directory. `client_version` ("7.20.5") written into the file
    keeps a first start from taking it for an upgrade (and fetching a project's
    scheduler list); `disk_interval` is how often the tasks checkpoint."""
    parts = ["<client_state>\n"]
    if client_version:
        major, minor, release = client_version.split(".")
        parts.append(f"<core_client_major_version>{major}</core_client_major_version>\n"
                     f"<core_client_minor_version>{minor}</core_client_minor_version>\n"
                     f"<core_client_release>{release}</core_client_release>\n")
    for project in projects:
        parts.append(_project(directory, app_binary, platform, project))
        with open(os.path.join(directory, f"account_{escaped_url(project.url)}.xml"), "w") as f:
            f.write(f"""<account>
    <master_url>{project.url}</master_url>
    <authenticator>{project.authenticator}</authenticator>
    <project_name>{project.name}</project_name>
</account>
""")
    parts.append("</client_state>\n")
    with open(os.path.join(directory, "client_state.xml"), "w") as f:
        f.write("".join(parts))
    # A busy build machine would otherwise suspend the tasks.
    with open(os.path.join(directory, "global_prefs_override.xml"), "w") as f:
        f.write(f"""<global_preferences>
    <suspend_cpu_usage>0</suspend_cpu_usage>
    <disk_interval>{disk_interval}</disk_interval>
    <leave_apps_in_memory>{int(leave_apps_in_memory)}</leave_apps_in_memory>
    <run_if_user_active>1</run_if_user_active>
    <run_on_batteries>1</run_on_batteries>
</global_preferences>
""")
    # A failed transfer would make the client probe a site on the Internet to
    # tell a broken network from a broken server; there is no network here.
    # The client would run its tasks at idle priority, where a machine busy
    # building leaves them no processor time at all; at its own they share.
    with open(os.path.join(directory, "cc_config.xml"), "w") as f:
        f.write(f"""<cc_config>
    <options>
        <ncpus>{ncpus}</ncpus>
        <no_gpus>1</no_gpus>
        <dont_contact_ref_site>1</dont_contact_ref_site>
        <no_priority_change>1</no_priority_change>
    </options>
</cc_config>
""")
    with open(os.path.join(directory, "gui_rpc_auth.cfg"), "w") as f:
        f.write(PASSWORD + "\n")


def _project(directory, app_binary, platform, project):
    """The project's part of the state file; its folder gets the application."""
    project_dir = os.path.join(directory, "projects", escaped_url(project.url))
    os.makedirs(project_dir)
    exe = f"{APP}_{VERSION}"
    shutil.copy(app_binary, os.path.join(project_dir, exe))
    os.chmod(os.path.join(project_dir, exe), 0o755)
    flags = "    <dont_request_more_work/>\n" if project.dont_request_more_work else ""
    # The scheduler the client would report to; without one it would fetch
    # the master page first to learn it.
    scheduler = project.url.rstrip("/") + "_cgi/cgi"
    return f"""<project>
    <master_url>{project.url}</master_url>
    <project_name>{project.name}</project_name>
    <user_name>tester</user_name>
    <user_total_credit>1234.5</user_total_credit>
    <host_total_credit>234.5</host_total_credit>
    <resource_share>100.000000</resource_share>
    <next_rpc_time>{project.next_rpc_time:.6f}</next_rpc_time>
{flags}    <scheduler_url>{scheduler}</scheduler_url>
</project>
<app>
    <name>{APP}</name>
    <user_friendly_name>Spin</user_friendly_name>
</app>
<file>
    <name>{exe}</name>
    <nbytes>{os.path.getsize(app_binary)}</nbytes>
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
{''.join(_task(task, platform) for task in project.tasks)}"""


def _task(task, platform):
    files, wu_refs, result_refs = "", "", ""
    if task.input_url:
        files += f"""<file>
    <name>{task.name}_input</name>
    <nbytes>4096.000000</nbytes>
    <max_nbytes>0.000000</max_nbytes>
    <md5_cksum>0f343b0931126a20f133d67c2b018a3b</md5_cksum>
    <status>0</status>
    <download_url>{task.input_url}</download_url>
</file>
"""
        wu_refs = f"""    <file_ref>
        <file_name>{task.name}_input</file_name>
        <open_name>in</open_name>
    </file_ref>
"""
    if task.upload_url:
        files += f"""<file>
    <name>{task.output}</name>
    <nbytes>0.000000</nbytes>
    <max_nbytes>1000000.000000</max_nbytes>
    <status>0</status>
    <upload_url>{task.upload_url}</upload_url>
</file>
"""
        result_refs = f"""    <file_ref>
        <file_name>{task.output}</file_name>
        <open_name>out</open_name>
    </file_ref>
"""
    command_line = f"{task.steps} --exit {task.exit_status}" if task.exit_status else f"{task.steps}"
    now = time.time()
    return f"""{files}<workunit>
    <name>{task.name}</name>
    <app_name>{APP}</app_name>
    <version_num>{VERSION}</version_num>
    <command_line>{command_line}</command_line>
    <rsc_fpops_est>{task.steps * 0.2 * 1e9:.0f}</rsc_fpops_est>
    <rsc_fpops_bound>1e15</rsc_fpops_bound>
    <rsc_memory_bound>100000000</rsc_memory_bound>
    <rsc_disk_bound>100000000</rsc_disk_bound>
{wu_refs}</workunit>
<result>
    <name>{task.result}</name>
    <final_cpu_time>0</final_cpu_time>
    <exit_status>0</exit_status>
    <state>{1 if task.input_url else 2}</state>
    <platform>{platform}</platform>
    <version_num>{VERSION}</version_num>
    <wu_name>{task.name}</wu_name>
    <report_deadline>{now + 7 * 86400:.6f}</report_deadline>
    <received_time>{now:.6f}</received_time>
{result_refs}</result>
"""
