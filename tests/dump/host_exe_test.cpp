// The computer and its disk in crunchwatch-dump's output: the JSON members,
// the text sections and the metrics, from a data folder written here.

#include <sys/stat.h>

#include <charconv>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dump/dump_run.hpp"

namespace crunchwatch {
namespace {

namespace fs = std::filesystem;
using test::between;
using test::dump;
using test::TempDir;

// The space a file takes as the client counts it.
std::uint64_t allocated(const fs::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_blocks) * 512 : 0;
}

std::string number(std::uint64_t n) { return std::to_string(n); }

// The number after `key` in `json`, as far as it reads.
double numberAfter(const std::string& json, const std::string& key) {
    const std::size_t at = json.find(key);
    double v = -1;
    if (at != std::string::npos) std::from_chars(json.data() + at + key.size(), json.data() + json.size(), v);
    return v;
}

TEST(HostDump, AStateWithoutHostInfoGivesEveryMemberEmpty) {
    const TempDir dir;
    const std::string path = dir.write("client_state.xml", "<client_state>\n</client_state>\n");
    const double before = static_cast<double>(std::time(nullptr));
    const test::Outcome r = dump({"--json", path});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string own = number(allocated(path));
    EXPECT_EQ(between(r.out, ",\"host\":", ",\"counted_at\":"),
              ",\"host\":{\"timezone\":null,\"domain_name\":null,\"p_vendor\":null,\"p_model\":null,\"p_ncpus\":null,"
              "\"p_features\":null,\"p_fpops\":null,\"p_iops\":null,\"p_membw\":null,\"m_nbytes\":null,\"m_swap\":null,"
              "\"m_cache\":null,\"d_total\":null,\"d_free\":null,\"os_name\":null,\"os_version\":null,"
              "\"n_usable_coprocs\":null,\"virtualbox_version\":null,\"product_name\":null,\"platform_name\":null,"
              "\"client_version\":null,\"user_run_request\":null,\"user_gpu_request\":null,"
              "\"user_network_request\":null,\"net_stats\":{\"avg_up\":null,\"avg_down\":null},\"gpus\":[],"
              "\"detected_gpus\":null,\"gpu_warnings\":[]},"
              "\"time_stats\":{\"on_frac\":null,\"connected_frac\":null,\"cpu_and_network_available_frac\":null,"
              "\"active_frac\":null,\"gpu_active_frac\":null,\"client_start_time\":null,\"total_duration\":null,"
              "\"total_active_duration\":null,\"last_update\":null},\"daily_xfers\":[],"
              // Without the file's d_total nothing tells which disk it describes: no free space, no allowance.
              "\"disk\":{\"projects\":[],\"client_bytes\":" + own + ",\"free_bytes\":null,\"allowed_bytes\":null,"
              "\"total_bytes\":" + own + ",\"disk_bytes\":null,\"allowed_by\":null,\"complete\":true")
        << r.out;
    const double counted = numberAfter(r.out, "\"counted_at\":");
    EXPECT_GE(counted, before - 1);
    EXPECT_LE(counted, static_cast<double>(std::time(nullptr)) + 1);
    EXPECT_NE(r.out.find(",\"problems\":[]},\"effective_prefs\":{},\"event_log_source\":"), std::string::npos) << r.out;
}

constexpr std::string_view hostState =
    "<client_state>\n<host_info>\n<timezone>3600</timezone>\n<domain_name>box</domain_name>\n"
    "<host_cpid>0123456789abcdef</host_cpid>\n<p_ncpus>8</p_ncpus>\n<p_vendor>GenuineIntel</p_vendor>\n"
    "<p_model>Core \"i7\"</p_model>\n<p_features>fpu sse2</p_features>\n<p_fpops>4000000000.000000</p_fpops>\n"
    "<p_iops>9000000000.000000</p_iops>\n<p_membw>1000000000.000000</p_membw>\n<m_nbytes>16000000000.000000</m_nbytes>\n"
    "<m_cache>8388608.000000</m_cache>\n<m_swap>2000000000.000000</m_swap>\n<d_total>100000000000.000000</d_total>\n"
    "<d_free>50000000000.000000</d_free>\n<os_name>Linux Debian</os_name>\n<os_version>6.1.0</os_version>\n"
    "<n_usable_coprocs>3</n_usable_coprocs>\n<coprocs>\n<coproc_cuda>\n<count>2</count>\n<name>GTX 680</name>\n"
    "<available_ram>4171501568.000000</available_ram>\n<peak_flops>3251712000000.000000</peak_flops>\n"
    "<drvVersion>33167</drvVersion>\n<coproc_opencl>\n<name>GTX 680 CL</name>\n<vendor>NVIDIA Corporation</vendor>\n"
    "<opencl_device_version>OpenCL 1.1 CUDA</opencl_device_version>\n<opencl_driver_version>331.67</opencl_driver_version>\n"
    "</coproc_opencl>\n</coproc_cuda>\n<coproc_ati>\n<name>Tahiti</name>\n</coproc_ati>\n</coprocs>\n</host_info>\n"
    "<time_stats>\n<on_frac>0.9</on_frac>\n<connected_frac>-1.000000</connected_frac>\n"
    "<cpu_and_network_available_frac>0.8</cpu_and_network_available_frac>\n<active_frac>0.75</active_frac>\n"
    "<gpu_active_frac>0.5</gpu_active_frac>\n<client_start_time>1700000000.5</client_start_time>\n"
    "<total_duration>1000</total_duration>\n<total_active_duration>900</total_active_duration>\n"
    "<last_update>1700000100</last_update>\n</time_stats>\n<net_stats>\n<bwup>0</bwup>\n<avg_up>12.5</avg_up>\n"
    "<avg_down>2048</avg_down>\n</net_stats>\n"
    "<project>\n<master_url>http://a.org/x/</master_url>\n<project_name>A</project_name>\n"
    "<disk_usage>94208.000000</disk_usage>\n</project>\n"
    "<workunit>\n<name>wu1</name>\n</workunit>\n<result>\n<name>r1</name>\n<state>2</state>\n<wu_name>wu1</wu_name>\n"
    "</result>\n<active_task_set>\n<active_task>\n<project_master_url>http://a.org/x/</project_master_url>\n"
    "<result_name>r1</result_name>\n<slot>0</slot>\n<scheduler_state>2</scheduler_state>\n</active_task>\n"
    "</active_task_set>\n<platform_name>x86_64-pc-linux-gnu</platform_name>\n"
    "<core_client_major_version>7</core_client_major_version>\n<core_client_minor_version>20</core_client_minor_version>\n"
    "<core_client_release>5</core_client_release>\n<user_run_request>2</user_run_request>\n"
    "<user_gpu_request>3</user_gpu_request>\n<user_network_request>1</user_network_request>\n</client_state>\n";

// A client's data folder: the state above, both preference files, the GPU
// detection's file, the transfer history, a project's file and its task's slot.
std::string writeHostFolder(const TempDir& dir) {
    const std::string path = dir.write("client_state.xml", hostState);
    dir.write("global_prefs.xml",
              "<global_preferences>\n<cpu_scheduling_period_minutes>77</cpu_scheduling_period_minutes>\n"
              "<disk_max_used_pct>50</disk_max_used_pct>\n<disk_interval>88</disk_interval>\n</global_preferences>\n");
    dir.write("global_prefs_override.xml",
              "<global_preferences>\n<disk_max_used_gb>0</disk_max_used_gb>\n<disk_min_free_gb>0</disk_min_free_gb>\n"
              "<disk_interval>120</disk_interval>\n</global_preferences>\n");
    dir.write("coproc_info.xml",
              "<coprocs>\n<coproc_cuda>\n<count>1</count>\n<name>GTX 680</name>\n<device_num>0</device_num>\n"
              "</coproc_cuda>\n<warning>NVIDIA: libcuda.so: cannot open shared object file</warning>\n</coprocs>\n");
    dir.write("daily_xfer_history.xml",
              "<daily_xfers>\n<dx>\n<when>19700</when>\n<up>1024.000000</up>\n<down>4096</down>\n</dx>\n"
              "<dx>\n<when>19701</when>\n<up>x</up>\n<down>1e3</down>\n</dx>\n</daily_xfers>\n");
    fs::create_directories(dir.path() / "projects" / "a.org_x");
    fs::create_directories(dir.path() / "slots" / "0");
    dir.write("projects/a.org_x/input.dat", std::string(10000, 'x'));
    dir.write("slots/0/output.dat", std::string(5000, 'y'));
    return path;
}

TEST(HostDump, ValuesVerbatimFromADataFolder) {
    const TempDir dir;
    const std::string path = writeHostFolder(dir);
    const test::Outcome r = dump({"--json", path});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(between(r.out, "\"host\":", ",\"disk\":"),
              "\"host\":{\"timezone\":\"3600\",\"domain_name\":\"box\",\"p_vendor\":\"GenuineIntel\","
              "\"p_model\":\"Core \\\"i7\\\"\",\"p_ncpus\":\"8\",\"p_features\":\"fpu sse2\","
              "\"p_fpops\":\"4000000000.000000\",\"p_iops\":\"9000000000.000000\",\"p_membw\":\"1000000000.000000\","
              "\"m_nbytes\":\"16000000000.000000\",\"m_swap\":\"2000000000.000000\",\"m_cache\":\"8388608.000000\","
              "\"d_total\":\"100000000000.000000\",\"d_free\":\"50000000000.000000\",\"os_name\":\"Linux Debian\","
              "\"os_version\":\"6.1.0\",\"n_usable_coprocs\":\"3\",\"virtualbox_version\":null,\"product_name\":null,"
              "\"platform_name\":\"x86_64-pc-linux-gnu\",\"client_version\":\"7.20.5\",\"user_run_request\":\"2\","
              "\"user_gpu_request\":\"3\",\"user_network_request\":\"1\","
              "\"net_stats\":{\"avg_up\":\"12.5\",\"avg_down\":\"2048\"},"
              "\"gpus\":[{\"kind\":\"coproc_cuda\",\"type\":null,\"count\":\"2\",\"name\":\"GTX 680\","
              "\"memory\":\"4171501568.000000\",\"peak_flops\":\"3251712000000.000000\",\"driver_version\":\"33167\","
              "\"opencl_name\":\"GTX 680 CL\",\"opencl_vendor\":\"NVIDIA Corporation\","
              "\"opencl_device_version\":\"OpenCL 1.1 CUDA\",\"opencl_driver_version\":\"331.67\"},"
              "{\"kind\":\"coproc_ati\",\"type\":null,\"count\":null,\"name\":\"Tahiti\",\"memory\":null,"
              "\"peak_flops\":null,\"driver_version\":null,\"opencl_name\":null,\"opencl_vendor\":null,"
              "\"opencl_device_version\":null,\"opencl_driver_version\":null}],"
              "\"detected_gpus\":[{\"kind\":\"coproc_cuda\",\"type\":null,\"count\":\"1\",\"name\":\"GTX 680\","
              "\"memory\":null,\"peak_flops\":null,\"driver_version\":null,\"opencl_name\":null,\"opencl_vendor\":null,"
              "\"opencl_device_version\":null,\"opencl_driver_version\":null,\"device_num\":\"0\"}],"
              "\"gpu_warnings\":[\"NVIDIA: libcuda.so: cannot open shared object file\"]},"
              "\"time_stats\":{\"on_frac\":\"0.9\",\"connected_frac\":\"-1.000000\","
              "\"cpu_and_network_available_frac\":\"0.8\",\"active_frac\":\"0.75\",\"gpu_active_frac\":\"0.5\","
              "\"client_start_time\":\"1700000000.5\",\"total_duration\":\"1000\",\"total_active_duration\":\"900\","
              "\"last_update\":\"1700000100\"},"
              "\"daily_xfers\":[{\"when\":19700,\"up\":1024,\"down\":4096},{\"when\":19701,\"up\":null,\"down\":1000}]")
        << r.out;

    // The project's folder and its task's slot, each file's allocated size;
    // the disk the file describes is not this one, so its own figures count.
    const std::string project = number(allocated(dir.path() / "projects/a.org_x/input.dat") +
                                       allocated(dir.path() / "slots/0/output.dat"));
    EXPECT_EQ(between(r.out, "\"disk\":", ",\"client_bytes\":"),
              "\"disk\":{\"projects\":[{\"master_url\":\"http://a.org/x/\",\"project_name\":\"A\",\"bytes\":" + project +
                  ",\"client_recorded\":94208}]")
        << r.out;
    EXPECT_EQ(between(r.out, ",\"free_bytes\":", ",\"total_bytes\":"),
              ",\"free_bytes\":50000000000,\"allowed_bytes\":50000000000");
    EXPECT_EQ(between(r.out, ",\"disk_bytes\":", ",\"counted_at\":"),
              ",\"disk_bytes\":100000000000,\"allowed_by\":\"disk_max_used_pct\",\"complete\":true");
    EXPECT_EQ(between(r.out, ",\"effective_prefs\":", ",\"event_log_source\":"),
              ",\"effective_prefs\":{\"cpu_scheduling_period_minutes\":{\"value\":\"77\",\"source\":\"global_prefs\"},"
              "\"disk_max_used_gb\":{\"value\":\"0\",\"source\":\"override\"},"
              "\"disk_max_used_pct\":{\"value\":\"50\",\"source\":\"global_prefs\"},"
              "\"disk_min_free_gb\":{\"value\":\"0\",\"source\":\"override\"},"
              "\"disk_interval\":{\"value\":\"120\",\"source\":\"override\"}}");
    // The web file's own values stay where they were.
    EXPECT_NE(r.out.find("\"global_prefs\":{\"cpu_scheduling_period_minutes\":\"77\",\"disk_interval\":\"88\"}"),
              std::string::npos);
    EXPECT_EQ(r.out.find("0123456789abcdef"), std::string::npos) << "the host's identifier stays in the file";

    const test::Outcome text = dump({path});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    for (const char* fragment : {"CPU scheduling period (minutes): 77\n",
                                 "Disk interval: 120 (global_prefs_override.xml)\n", "\nComputer\n\n", "\n  Processor\n    ", "\nDisk\n\n",
                                 "(by disk_max_used_pct)"})
        EXPECT_NE(text.out.find(fragment), std::string::npos) << fragment << '\n' << text.out;

    const test::Outcome metrics = dump({"--prometheus", path});
    ASSERT_EQ(metrics.exitCode, 0) << metrics.err;
    for (const std::string& line : std::vector<std::string>{
             "\ncrunchwatch_host_info{os=\"Linux Debian\",os_version=\"6.1.0\",cpu=\"Core \\\"i7\\\"\","
             "cpu_vendor=\"GenuineIntel\",platform=\"x86_64-pc-linux-gnu\",client_version=\"7.20.5\"} 1\n",
             "\ncrunchwatch_host_cpus 8\n",
             "\ncrunchwatch_host_gpus{type=\"AMD\"} 1\ncrunchwatch_host_gpus{type=\"NVIDIA\"} 2\n# ",
             // connected_frac -1: not measured yet, so no sample.
             "\ncrunchwatch_time_fraction{kind=\"on\"} 0.9\n"
             "crunchwatch_time_fraction{kind=\"cpu_and_network_available\"} 0.8\n"
             "crunchwatch_time_fraction{kind=\"active\"} 0.75\ncrunchwatch_time_fraction{kind=\"gpu_active\"} 0.5\n# ",
             "\ncrunchwatch_disk_usage_bytes{project=\"A\",url=\"http://a.org/x/\"} " + project + "\n"
             "crunchwatch_disk_usage_bytes{project=\"\",url=\"\"} ",
             "\ncrunchwatch_disk_allowed_bytes 5e+10\n", "\ncrunchwatch_disk_free_bytes 5e+10\n"})
        EXPECT_NE(metrics.out.find(line), std::string::npos) << line << '\n' << metrics.out;
}

}  // namespace
}  // namespace crunchwatch
