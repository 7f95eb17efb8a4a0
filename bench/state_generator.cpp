#include "bench/state_generator.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <vector>

namespace crunchwatch::bench {
namespace {

// splitmix64: tiny, and the same sequence on every platform (the standard
// distributions are not).
class Rng final {
public:
    explicit Rng(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    double between(double a, double b) { return a + (b - a) * unit(); }
    bool chance(double p) { return unit() < p; }
    std::string hex(int digits) {
        static constexpr char symbols[] = "0123456789abcdef";
        std::string s;
        for (int i = 0; i < digits; ++i) s += symbols[next() & 15];
        return s;
    }

private:
    std::uint64_t m_state;
};

std::string fixed6(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 6);
    return std::string(buf, r.ptr);
}
std::string integer(long long v) { return std::to_string(v); }

// Writes elements the way the client does: one per line, children indented
// by four spaces per level.
class Writer final {
public:
    explicit Writer(std::string& out) : m_out(out) {}
    void open(int depth, std::string_view tag) { line(depth, "<", tag, ">"); }
    void close(int depth, std::string_view tag) { line(depth, "</", tag, ">"); }
    void flag(int depth, std::string_view tag) { line(depth, "<", tag, "/>"); }
    void el(int depth, std::string_view tag, std::string_view value) {
        indent(depth);
        m_out.append("<").append(tag).append(">").append(value).append("</").append(tag).append(">\n");
    }
    void num(int depth, std::string_view tag, double v) { el(depth, tag, fixed6(v)); }
    void raw(std::string_view text) { m_out.append(text); }

private:
    void indent(int depth) { m_out.append(static_cast<std::size_t>(depth) * 4, ' '); }
    void line(int depth, std::string_view a, std::string_view tag, std::string_view b) {
        indent(depth);
        m_out.append(a).append(tag).append(b).append("\n");
    }
    std::string& m_out;
};

struct AppKind {
    std::string_view name, friendlyName, wuStem;
    int version;
};

struct ProjectKind {
    std::string_view name, host;
    std::array<AppKind, 3> apps;
    int appCount;
};

constexpr std::array<ProjectKind, 10> projectKinds{{
    {"Einstein@Home", "einsteinathome.org",
     {{{"einstein_O3AS", "All-Sky Gravitational Wave search on O3", "h1_0412.35_O3aC01Cl1In0__O3AS1a", 107},
       {"hsgamma_FGRP5", "Gamma-ray pulsar search #5", "LATeah4013F_1048.0", 108},
       {"einsteinbinary_BRP4", "Binary Radio Pulsar Search (Arecibo)", "p2030.20180426.G190.52-01.55.N", 137}}},
     3},
    {"Rosetta@home", "boinc.bakerlab.org",
     {{{"rosetta", "Rosetta", "3x3_ab_d_k8r2_SAVE_ALL_OUT_2051873", 420},
       {"rosetta_beta", "Rosetta Beta", "5x5_denovo_cyc_pep_v3_SAVE_ALL_OUT", 617},
       {}}},
     2},
    {"World Community Grid", "www.worldcommunitygrid.org",
     {{{"mcm1", "Mapping Cancer Markers", "MCM1_0227541", 762},
       {"opn1", "OpenPandemics - COVID-19", "OPN1_0041293", 721},
       {"arp1", "Africa Rainfall Project", "ARP1_0018842_156", 731}}},
     3},
    {"LHC@home", "lhcathome.cern.ch",
     {{{"sixtrack", "SixTrack", "w-c6_job.B1inj_c6.2158__35__s__64.28_59.31__6.1_8.1__6__10.5_1_sixvf_boinc", 50207},
       {}, {}}},
     1},
    {"Asteroids@home", "asteroidsathome.net",
     {{{"period_search", "Period Search Application", "ps_230612_input_59884_28", 10221}, {}, {}}},
     1},
    {"Milkyway@Home", "milkyway.cs.rpi.edu",
     {{{"milkyway_nbody", "MilkyWay@home N-Body Simulation", "de_nbody_06_05_2024_v186_OCS__data__09", 190},
       {}, {}}},
     1},
    {"PrimeGrid", "www.primegrid.com",
     {{{"llrSGS", "SGS (LLR)", "llr_sgs_5104838213", 912}, {"pps_sr2sieve", "PPS (Sieve)", "pps_sr2sieve_91", 121},
       {}}},
     2},
    {"climateprediction.net", "climateprediction.net",
     {{{"wah2", "Weather At Home 2 (wah2)", "wah2_eu25_m1ha_201112_24_986_012206942", 844}, {}, {}}},
     1},
    {"NumberFields@home", "numberfields.asu.edu",
     {{{"GetDecics", "Get Decic Fields", "wu_sf7_DS-16x271-8_Grp10391of50000", 401}, {}, {}}},
     1},
    {"Universe@Home", "universeathome.pl",
     {{{"universe_bh2", "BHspin2", "universe_bh2_190723_364_17499940000_20000", 1000}, {}, {}}},
     1},
}};

constexpr double baseTime = 1796150000.0;  // "now" of the generated file

// How many results each project gets: the busiest one (when the preset names
// one) its share, the rest spread by a Zipf-like law over a shuffled order,
// with a few projects left without work.
std::vector<int> spreadResults(const StatePreset& p, Rng& rng) {
    std::vector<int> counts(static_cast<std::size_t>(p.projects), 0);
    int left = p.results;
    if (p.busiestProjectResults > 0 && p.projects > 1) {
        counts[static_cast<std::size_t>(p.projects / 3)] = p.busiestProjectResults;  // not first, not last
        left -= p.busiestProjectResults;
    }
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < counts.size(); ++i)
        if (counts[i] == 0) order.push_back(i);
    for (std::size_t i = order.size(); i > 1; --i) std::swap(order[i - 1], order[static_cast<std::size_t>(rng.below(static_cast<int>(i)))]);
    // About one project in eight has no work at the moment.
    const std::size_t idle = order.size() / 8;
    std::vector<double> weights;
    double sum = 0;
    for (std::size_t k = 0; k + idle < order.size(); ++k) {
        weights.push_back(1.0 / std::pow(static_cast<double>(k + 1), 0.9));
        sum += weights.back();
    }
    if (weights.empty()) {
        counts[0] += left;
        return counts;
    }
    int given = 0;
    for (std::size_t k = 0; k < weights.size(); ++k) {
        const int n = static_cast<int>(std::floor(left * weights[k] / sum));
        counts[order[k]] = n;
        given += n;
    }
    for (int k = 0; given < left; ++given, ++k) ++counts[order[static_cast<std::size_t>(k) % weights.size()]];
    return counts;
}

void hostInfo(Writer& w, Rng& rng) {
    w.raw("<host_info>\n");
    w.el(1, "timezone", "3600");
    w.el(1, "domain_name", "cruncher-07");
    w.el(1, "ip_addr", "192.168.1.37");
    w.el(1, "host_cpid", rng.hex(32));
    w.el(1, "p_ncpus", "64");
    w.el(1, "p_vendor", "AuthenticAMD");
    w.el(1, "p_model", "AMD EPYC 7702P 64-Core Processor [Family 23 Model 49 Stepping 0]");
    w.el(1, "p_features",
         "fpu vme de pse tsc msr pae mce cx8 apic sep mtrr pge mca cmov pat pse36 clflush mmx fxsr sse sse2 ht "
         "syscall nx mmxext fxsr_opt pdpe1gb rdtscp lm constant_tsc rep_good nopl nonstop_tsc cpuid extd_apicid "
         "aperfmperf pni pclmulqdq monitor ssse3 fma cx16 sse4_1 sse4_2 movbe popcnt aes xsave avx f16c rdrand "
         "lahf_lm cmp_legacy svm extapic cr8_legacy abm sse4a misalignsse 3dnowprefetch osvw ibs skinit wdt tce "
         "topoext perfctr_core perfctr_nb bpext perfctr_llc mwaitx cpb cat_l3 cdp_l3 hw_pstate ssbd mba ibrs ibpb "
         "stibp vmmcall fsgsbase bmi1 avx2 smep bmi2 cqm rdt_a rdseed adx smap clflushopt clwb sha_ni xsaveopt "
         "xsavec xgetbv1 xsaves cqm_llc cqm_occup_llc cqm_mbm_total cqm_mbm_local clzero irperf xsaveerptr rdpru "
         "wbnoinvd amd_ppin arat npt lbrv svm_lock nrip_save tsc_scale vmcb_clean flushbyasid decodeassists "
         "pausefilter pfthreshold avic v_vmsave_vmload vgif v_spec_ctrl umip rdpid overflow_recov succor smca sme sev");
    w.num(1, "p_fpops", 4712874411.903287);
    w.num(1, "p_iops", 19348807632.11854);
    w.num(1, "p_membw", 1000000000.0);
    w.num(1, "p_calculated", 1795893312.447719);
    w.el(1, "p_vm_extensions_disabled", "0");
    w.num(1, "m_nbytes", 270541586944.0);
    w.num(1, "m_cache", 268435456.0);
    w.num(1, "m_swap", 8589930496.0);
    w.num(1, "d_total", 3983349780480.0);
    w.num(1, "d_free", 2611205357568.0);
    w.el(1, "os_name", "Linux Debian");
    w.el(1, "os_version", "Debian GNU/Linux 12 (bookworm) [6.1.0-21-amd64]");
    w.el(1, "n_usable_coprocs", "0");
    w.open(1, "coprocs");
    w.close(1, "coprocs");
    w.raw("</host_info>\n<time_stats>\n");
    w.num(1, "on_frac", 0.992417);
    w.num(1, "connected_frac", -1);
    w.num(1, "cpu_and_network_available_frac", 0.998802);
    w.num(1, "active_frac", 0.998802);
    w.num(1, "gpu_active_frac", 0.998802);
    w.num(1, "client_start_time", baseTime - 88000);
    w.num(1, "total_start_time", baseTime - 29831180);
    w.num(1, "total_duration", 29831180.953478);
    w.num(1, "total_active_duration", 28709935.280144);
    w.num(1, "previous_uptime", 412387.771095);
    w.num(1, "last_update", baseTime - 12);
    w.raw("</time_stats>\n<net_stats>\n");
    w.num(1, "bwup", 48211.390752);
    w.num(1, "avg_up", 412853399.128034);
    w.num(1, "avg_time_up", baseTime - 1200);
    w.num(1, "bwdown", 3190337.814420);
    w.num(1, "avg_down", 28814409275.606152);
    w.num(1, "avg_time_down", baseTime - 300);
    w.raw("</net_stats>\n");
}

// A signature or key block: hex lines written at the start of the line, as
// the client keeps them, ending in a lone ".".
std::string signatureLines(Rng& rng, int lines) {
    std::string s;
    for (int i = 0; i < lines; ++i) s += rng.hex(64) + '\n';
    return s + ".\n";
}

struct ProjectText {
    std::string url;
    std::vector<std::string> runnableResults;  // names of results an active task may work on
};

void projectElement(Writer& w, Rng& rng, const ProjectKind& kind, const std::string& name, const std::string& url,
                    int results) {
    w.raw("<project>\n");
    w.el(1, "master_url", url);
    w.el(1, "project_name", name);
    w.el(1, "symstore", "");
    w.el(1, "user_name", "Ola Nowicka");
    w.el(1, "team_name", "Krakow Crunchers");
    w.el(1, "host_venue", "");
    w.el(1, "email_hash", rng.hex(32));
    w.el(1, "cross_project_id", rng.hex(32));
    w.num(1, "cpid_time", 1442317920.0);
    w.num(1, "user_total_credit", rng.between(1e3, 9e7));
    w.num(1, "user_expavg_credit", rng.between(0, 9e4));
    w.num(1, "user_create_time", rng.between(1.2e9, 1.7e9));
    w.el(1, "rpc_seqno", integer(rng.below(9000)));
    w.el(1, "userid", integer(100000 + rng.below(9000000)));
    w.el(1, "teamid", integer(rng.below(90000)));
    w.el(1, "hostid", integer(1000000 + rng.below(90000000)));
    w.num(1, "host_total_credit", rng.between(1e2, 9e6));
    w.num(1, "host_expavg_credit", rng.between(0, 9e3));
    w.num(1, "host_create_time", rng.between(1.6e9, 1.79e9));
    w.num(1, "exp_avg_cpu", rng.between(0, 9e4));
    w.num(1, "exp_avg_mod_time", baseTime - rng.between(0, 9e4));
    w.el(1, "nrpc_failures", "0");
    w.el(1, "master_fetch_failures", "0");
    w.num(1, "min_rpc_time", results == 0 ? baseTime + rng.between(0, 86400) : 0.0);
    w.num(1, "next_rpc_time", 0.0);
    w.num(1, "rec", rng.between(0, 9000));
    w.num(1, "rec_time", baseTime - rng.between(0, 300));
    w.num(1, "resource_share", static_cast<double>(25 * (1 + rng.below(8))));
    w.num(1, "desired_disk_usage", 0.0);
    w.num(1, "duration_correction_factor", 1.0);
    w.el(1, "sched_rpc_pending", "0");
    w.el(1, "send_time_stats_log", "0");
    w.el(1, "send_job_log", "0");
    w.el(1, "njobs_success", integer(rng.below(40000)));
    w.el(1, "njobs_error", integer(rng.below(40)));
    w.num(1, "elapsed_time", rng.between(1e5, 9e7));
    w.num(1, "last_rpc_time", baseTime - rng.between(0, 9e4));
    w.flag(1, "dont_use_dcf");
    w.open(1, "rsc_backoff_time");
    w.el(2, "name", "CPU");
    w.num(2, "value", 0.0);
    w.close(1, "rsc_backoff_time");
    w.open(1, "rsc_backoff_interval");
    w.el(2, "name", "CPU");
    w.num(2, "value", 0.0);
    w.close(1, "rsc_backoff_interval");
    w.el(1, "scheduler_url", "https://" + std::string(kind.host) + "/cgi-bin/cgi");
    w.open(1, "code_sign_key");
    w.raw("1024\n" + signatureLines(rng, 8));
    w.close(1, "code_sign_key");
    w.raw("</project>\n");
}

struct Workunit {
    std::string name;
    const AppKind* app;
    int replicas;
};

void inputFile(Writer& w, Rng& rng, const ProjectKind& kind, const std::string& name) {
    w.raw("<file>\n");
    w.el(1, "name", name);
    w.num(1, "nbytes", rng.between(1e4, 4e7));
    w.num(1, "max_nbytes", 0.0);
    w.el(1, "md5_cksum", rng.hex(32));
    w.el(1, "status", "1");
    w.el(1, "download_url", "https://" + std::string(kind.host) + "/download/" + rng.hex(3) + '/' + name);
    w.raw("</file>\n");
}

void outputFile(Writer& w, Rng& rng, const ProjectKind& kind, const std::string& name, bool uploaded) {
    w.raw("<file>\n");
    w.el(1, "name", name);
    w.num(1, "nbytes", uploaded ? rng.between(1e3, 2e6) : 0.0);
    w.num(1, "max_nbytes", 50000000.0);
    w.el(1, "status", uploaded ? "1" : "0");
    w.flag(1, "upload_when_present");
    w.el(1, "upload_url", "https://" + std::string(kind.host) + "/cgi-bin/file_upload_handler");
    w.raw("</file>\n");
}

void workunitElement(Writer& w, Rng& rng, const Workunit& wu, const std::string& dataFile) {
    w.raw("<workunit>\n");
    w.el(1, "name", wu.name);
    w.el(1, "app_name", wu.app->name);
    w.el(1, "version_num", integer(wu.app->version));
    if (rng.chance(0.3)) w.el(1, "command_line", "--Freq=" + fixed6(rng.between(50, 1500)) + " --FreqBand=0.05");
    w.num(1, "rsc_fpops_est", 144000000000000.0);
    w.num(1, "rsc_fpops_bound", 2880000000000000.0);
    w.num(1, "rsc_memory_bound", 1500000000.0);
    w.num(1, "rsc_disk_bound", 50000000.0);
    for (int i = 0; i < 2; ++i) {
        w.open(1, "file_ref");
        w.el(2, "file_name", i == 0 ? wu.name + "_in" : dataFile);
        w.el(2, "open_name", i == 0 ? "input.dat" : "skygrid.dat");
        w.close(1, "file_ref");
    }
    w.raw("</workunit>\n");
}

void resultElement(Writer& w, Rng& rng, const Workunit& wu, const std::string& name, int state) {
    const bool finished = state >= 4;
    const double received = baseTime - rng.between(3600, 6 * 86400);
    w.raw("<result>\n");
    w.el(1, "name", name);
    w.num(1, "final_cpu_time", finished ? rng.between(600, 90000) : 0.0);
    w.num(1, "final_elapsed_time", finished ? rng.between(600, 92000) : 0.0);
    w.el(1, "exit_status", "0");
    w.el(1, "state", integer(state));
    w.el(1, "platform", "x86_64-pc-linux-gnu");
    w.el(1, "version_num", integer(wu.app->version));
    if (finished) {
        w.num(1, "final_peak_working_set_size", rng.between(1e7, 2e9));
        w.num(1, "final_peak_swap_size", rng.between(1e7, 2e9));
        w.num(1, "final_peak_disk_usage", rng.between(1e6, 5e7));
        w.num(1, "final_bytes_sent", rng.between(1e3, 2e6));
        w.num(1, "final_bytes_received", rng.between(1e3, 2e6));
        w.open(1, "stderr_out");
        w.raw("<core_client_version>8.2.6</core_client_version>\n<![CDATA[\n<stderr_txt>\n"
              "Started search\n% Checkpoint 1 of 38 written\n% Checkpoint 38 of 38 written\n"
              "Search finished successfully.\n07:43:11 (118843): called boinc_finish(0)\n</stderr_txt>\n]]>\n");
        w.close(1, "stderr_out");
        if (state == 5) w.flag(1, "ready_to_report");
        w.num(1, "completed_time", baseTime - rng.between(60, 86400));
    }
    w.el(1, "wu_name", wu.name);
    w.num(1, "report_deadline", received + 86400.0 * (7 + rng.below(8)));
    w.num(1, "received_time", received);
    w.open(1, "file_ref");
    w.el(2, "file_name", name + "_r");
    w.el(2, "open_name", "results");
    w.close(1, "file_ref");
    w.raw("</result>\n");
}

int resultState(Rng& rng) {
    const double x = rng.unit();
    if (x < 0.05) return 1;
    if (x < 0.80) return 2;
    if (x < 0.83) return 4;
    return 5;
}

// One project block: the project element, then the elements that belong to it.
ProjectText projectBlock(Writer& w, Rng& rng, int index, int results) {
    const ProjectKind& kind = projectKinds[static_cast<std::size_t>(index) % projectKinds.size()];
    const int round = index / static_cast<int>(projectKinds.size());
    std::string name(kind.name);
    std::string url = "https://" + std::string(kind.host) + "/";
    if (round > 0) {
        name += " (" + std::to_string(round + 1) + ")";
        url += "p" + std::to_string(round + 1) + "/";
    }
    projectElement(w, rng, kind, name, url, results);

    const int apps = kind.appCount;
    for (int a = 0; a < apps; ++a) {
        const AppKind& app = kind.apps[static_cast<std::size_t>(a)];
        w.raw("<app>\n");
        w.el(1, "name", app.name);
        w.el(1, "user_friendly_name", app.friendlyName);
        w.el(1, "non_cpu_intensive", "0");
        w.raw("</app>\n");
    }

    // Workunits, most with one result, some with two replicas on this host.
    std::vector<Workunit> wus;
    for (int made = 0, serial = 1000 + rng.below(5000); made < results; ++serial) {
        const AppKind& app = kind.apps[static_cast<std::size_t>(rng.below(apps))];
        const int replicas = (made + 2 <= results && rng.chance(0.08)) ? 2 : 1;
        wus.push_back({std::string(app.wuStem) + '_' + std::to_string(serial) + '_' + rng.hex(4), &app, replicas});
        made += replicas;
    }
    std::vector<int> states;
    for (int i = 0; i < results; ++i) states.push_back(resultState(rng));

    // Files: the executables, each workunit's inputs, each result's output.
    for (int a = 0; a < apps; ++a) {
        const AppKind& app = kind.apps[static_cast<std::size_t>(a)];
        w.raw("<file>\n");
        w.el(1, "name", std::string(app.name) + "_x86_64-pc-linux-gnu");
        w.num(1, "nbytes", rng.between(1e6, 1e7));
        w.num(1, "max_nbytes", 0.0);
        w.el(1, "status", "1");
        w.flag(1, "executable");
        w.flag(1, "signature_required");
        w.open(1, "file_signature");
        w.raw(signatureLines(rng, 4));
        w.close(1, "file_signature");
        w.el(1, "download_url", "https://" + std::string(kind.host) + "/download/" + std::string(app.name));
        w.raw("</file>\n");
    }
    // Each workunit has an input of its own and shares the project's data file.
    const std::string dataFile = std::string(kind.apps[0].wuStem) + "_data_" + rng.hex(6);
    if (results > 0) inputFile(w, rng, kind, dataFile);
    for (const Workunit& wu : wus) inputFile(w, rng, kind, wu.name + "_in");
    {
        int r = 0;
        for (const Workunit& wu : wus)
            for (int k = 0; k < wu.replicas; ++k, ++r)
                outputFile(w, rng, kind, wu.name + '_' + std::to_string(k) + "_r", states[static_cast<std::size_t>(r)] >= 4);
    }
    for (int a = 0; a < apps; ++a) {
        const AppKind& app = kind.apps[static_cast<std::size_t>(a)];
        w.raw("<app_version>\n");
        w.el(1, "app_name", app.name);
        w.el(1, "version_num", integer(app.version));
        w.el(1, "platform", "x86_64-pc-linux-gnu");
        w.num(1, "avg_ncpus", 1.0);
        w.num(1, "max_ncpus", 1.0);
        w.num(1, "flops", rng.between(3e9, 6e9));
        w.open(1, "file_ref");
        w.el(2, "file_name", std::string(app.name) + "_x86_64-pc-linux-gnu");
        w.flag(2, "main_program");
        w.close(1, "file_ref");
        w.raw("</app_version>\n");
    }
    for (const Workunit& wu : wus) workunitElement(w, rng, wu, dataFile);

    ProjectText text{url, {}};
    int r = 0;
    for (const Workunit& wu : wus)
        for (int k = 0; k < wu.replicas; ++k, ++r) {
            const std::string resultName = wu.name + '_' + std::to_string(k);
            const int state = states[static_cast<std::size_t>(r)];
            resultElement(w, rng, wu, resultName, state);
            if (state == 2) text.runnableResults.push_back(resultName);
        }
    return text;
}

void activeTask(Writer& w, Rng& rng, const std::string& url, const std::string& result, int slot) {
    const bool paused = rng.chance(0.15);
    const bool starting = !paused && rng.chance(0.1);
    const double fraction = starting ? 0.0 : rng.between(0.01, 0.99);
    const double cpu = starting ? rng.between(0, 5) : fraction * rng.between(3600, 80000);
    w.raw("<active_task>\n");
    w.el(1, "project_master_url", url);
    w.el(1, "result_name", result);
    w.el(1, "active_task_state", paused ? "1" : "2");
    w.el(1, "scheduler_state", paused ? "1" : "2");
    w.el(1, "app_version_num", "107");
    w.el(1, "slot", integer(slot));
    w.num(1, "checkpoint_cpu_time", cpu * 0.98);
    w.num(1, "checkpoint_elapsed_time", cpu * 1.01);
    w.num(1, "checkpoint_fraction_done", fraction * 0.98);
    w.num(1, "checkpoint_fraction_done_elapsed_time", cpu * 1.01);
    w.num(1, "fraction_done", fraction);
    w.num(1, "current_cpu_time", cpu);
    w.num(1, "elapsed_time", cpu * 1.02);
    w.el(1, "once_ran_edf", "0");
    w.num(1, "swap_size", rng.between(1e7, 2e9));
    w.num(1, "working_set_size", rng.between(1e7, 2e9));
    w.num(1, "working_set_size_smoothed", rng.between(1e7, 2e9));
    w.num(1, "page_fault_rate", 0.0);
    w.num(1, "bytes_sent", 0.0);
    w.num(1, "bytes_received", 0.0);
    w.raw("</active_task>\n");
}

}  // namespace

std::string generateClientState(const StatePreset& preset, std::uint64_t seed) {
    Rng rng(seed);
    std::string out;
    // About 2.2 KB per result with its workunit and files, plus the projects.
    out.reserve(static_cast<std::size_t>(preset.results) * 2400 + static_cast<std::size_t>(preset.projects) * 8000 +
                65536);
    Writer w(out);
    w.raw("<client_state>\n");
    hostInfo(w, rng);

    std::vector<ProjectText> projects;
    const std::vector<int> counts = spreadResults(preset, rng);
    for (int i = 0; i < preset.projects; ++i)
        projects.push_back(projectBlock(w, rng, i, counts[static_cast<std::size_t>(i)]));

    // Tasks in progress: drawn from the runnable results of all projects, so
    // the busiest project holds the most.
    std::vector<std::pair<std::size_t, std::size_t>> runnable;
    for (std::size_t p = 0; p < projects.size(); ++p)
        for (std::size_t r = 0; r < projects[p].runnableResults.size(); ++r) runnable.emplace_back(p, r);
    w.raw("<active_task_set>\n");
    for (int slot = 0; slot < preset.activeTasks && !runnable.empty(); ++slot) {
        const std::size_t k = static_cast<std::size_t>(rng.below(static_cast<int>(runnable.size())));
        const auto [p, r] = runnable[k];
        runnable.erase(runnable.begin() + static_cast<std::ptrdiff_t>(k));
        activeTask(w, rng, projects[p].url, projects[p].runnableResults[r], slot);
    }
    w.raw("</active_task_set>\n");
    w.raw("<platform_name>x86_64-pc-linux-gnu</platform_name>\n"
          "<core_client_major_version>8</core_client_major_version>\n"
          "<core_client_minor_version>2</core_client_minor_version>\n"
          "<core_client_release>6</core_client_release>\n"
          "<user_run_request>2</user_run_request>\n"
          "<user_run_prev_request>2</user_run_prev_request>\n"
          "<user_gpu_request>2</user_gpu_request>\n"
          "<user_network_request>2</user_network_request>\n"
          "<new_version_check_time>1795811044.330917</new_version_check_time>\n"
          "<alt_platform>i686-pc-linux-gnu</alt_platform>\n"
          "<user_cpids>\n</user_cpids>\n"
          "</client_state>\n");
    return out;
}

const StatePreset* presetNamed(std::string_view name) {
    if (name == typicalPreset.name) return &typicalPreset;
    if (name == bigPreset.name) return &bigPreset;
    return nullptr;
}

}  // namespace crunchwatch::bench
