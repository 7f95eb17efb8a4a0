// The host's values read from real clients' state files, and the files the
// client writes beside it about its GPUs and its transfers.

#include "state/host_info.hpp"

#include <gtest/gtest.h>

#include "state/projects.hpp"
#include "test_support.hpp"

namespace crunchwatch {
namespace {

TEST(HostInfo, RealClientsFilesReadVerbatim) {
    CRUNCHWATCH_SKIP_WITHOUT_REALDATA();
    struct Case {
        const char* dir;
        const char* ncpus;
        const char* model;
        const char* osName;
        std::size_t gpus;
        bool coprocs;
        const char* dTotal;
    };
    const Case cases[] = {
        // A CUDA host: one GTX 680 holding an OpenCL device, indented its own way.
        {"juppiega-cuda", "48", "AMD Opteron(tm) Processor 6344 [Family 21 Model 2 Stepping 0]", "Linux", 1, true,
         "483649691648.000000"},
        // Android: a model starting with a blank, an empty <coprocs>.
        {"highkali-android", nullptr, nullptr, nullptr, 0, true, nullptr},
        // 6.10: no <coprocs> at all.
        {"caoyuwei-ikits", nullptr, nullptr, nullptr, 0, false, nullptr},
        {"michaelzhye-seti-cas", nullptr, nullptr, nullptr, 0, true, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dir);
        const auto st = loadClientState((test::realDataDir() / c.dir / "client_state.xml").string());
        ASSERT_TRUE(st);
        const HostReport& r = st->host;
        EXPECT_TRUE(r.host.found);
        EXPECT_TRUE(r.time.found);
        EXPECT_TRUE(r.net.found);
        EXPECT_TRUE(r.host.p_ncpus && r.host.os_name && r.host.m_nbytes && r.host.d_free);
        if (c.ncpus) {
            EXPECT_EQ(*r.host.p_ncpus, c.ncpus);
        }
        if (c.model) {
            EXPECT_EQ(*r.host.p_model, c.model);
        }
        if (c.osName) {
            EXPECT_EQ(*r.host.os_name, c.osName);
        }
        if (c.dTotal) {
            EXPECT_EQ(*r.host.d_total, c.dTotal);
        }
        EXPECT_EQ(r.host.coprocsFound, c.coprocs);
        EXPECT_EQ(r.host.gpus.size(), c.gpus);
        EXPECT_EQ(r.time.on_frac.has_value(), true);
    }
    const auto cuda = loadClientState((test::realDataDir() / "juppiega-cuda" / "client_state.xml").string());
    const Gpu& g = cuda->host.host.gpus.at(0);
    EXPECT_EQ(g.kind, "coproc_cuda");
    EXPECT_EQ(g.maker(), "NVIDIA");
    EXPECT_EQ(g.name, "GeForce GTX 680");
    EXPECT_EQ(g.count, "1");
    EXPECT_EQ(g.memory, "4171501568.000000");
    EXPECT_EQ(g.peak_flops, "3251712000000.000000");
    EXPECT_EQ(g.driver_version, "0");
    EXPECT_EQ(g.opencl_driver_version, "331.67");
    EXPECT_EQ(g.opencl_device_version, "OpenCL 1.1 CUDA");
    const auto android = loadClientState((test::realDataDir() / "highkali-android" / "client_state.xml").string());
    EXPECT_EQ(android->host.host.m_cache, "-1.000000");  // shown as written, no size
}

TEST(HostInfo, ValuesOfNestedElementsNeverAnswerForTheHost) {
    // A GPU's <name> and an OpenCL device's never stand for the host's or the
    // GPU's own; a file without projects or <host_info> is searched only
    // before its projects.
    const auto st = clientStateFromText(
        "<client_state>\n<host_info>\n<coprocs>\n<coproc>\n<type>Moore Threads</type>\n<count>2</count>\n"
        "<coproc_opencl>\n<name>MTT S80</name>\n<global_mem_size>17179869184</global_mem_size>\n</coproc_opencl>\n"
        "</coproc>\n</coprocs>\n<os_name>Linux</os_name>\n</host_info>\n<project>\n<master_url>http://a/</master_url>\n"
        "<time_stats><on_frac>0.5</on_frac></time_stats>\n</project>\n</client_state>\n");
    const HostReport& r = st.host;
    EXPECT_EQ(r.host.os_name, "Linux");
    ASSERT_EQ(r.host.gpus.size(), 1u);
    EXPECT_EQ(r.host.gpus[0].maker(), "Moore Threads");
    EXPECT_EQ(r.host.gpus[0].name, "MTT S80");
    EXPECT_EQ(r.host.gpus[0].memory, "17179869184");
    EXPECT_FALSE(r.time.found);  // a project's element is no time_stats
}

TEST(HostInfo, FilesBesideTheStateFile) {
    test::TempDir dir;
    // As Debian's client writes it on a computer without a usable GPU, with
    // a GPU found that it cannot use added.
    dir.write("coproc_info.xml",
              "    <coprocs>\n<coproc_ati>\n   <count>1</count>\n   <name>Radeon RX 580</name>\n"
              "   <CALVersion>2.4</CALVersion>\n</coproc_ati>\n"
              "<warning>NVIDIA: libcuda.so: cannot open shared object file: No such file or directory</warning>\n"
              "<warning>OpenCL: libOpenCL.so.1: cannot open shared object file</warning>\n    </coprocs>\n");
    dir.write("daily_xfer_history.xml",
              "<daily_xfers>\n<dx>\n<when>20430</when>\n<up>1024.000000</up>\n<down>52428800.000000</down>\n</dx>\n"
              "<dx>\n<when>20431</when>\n<up>0.000000</up>\n<down>7</down>\n</dx>\n</daily_xfers>\n");
    HostFiles files = readHostFiles(dir.path().string());
    EXPECT_EQ(files.problem, "");
    ASSERT_TRUE(files.coprocInfo);
    ASSERT_EQ(files.coprocInfo->gpus.size(), 1u);
    EXPECT_EQ(files.coprocInfo->gpus[0].maker(), "AMD");
    EXPECT_EQ(files.coprocInfo->gpus[0].driver_version, "2.4");
    ASSERT_EQ(files.coprocInfo->warnings.size(), 2u);
    EXPECT_EQ(files.coprocInfo->warnings[1], "OpenCL: libOpenCL.so.1: cannot open shared object file");
    ASSERT_EQ(files.dailyXfers.size(), 2u);
    EXPECT_EQ(files.dailyXfers[0], (DailyXfer{"20430", "1024.000000", "52428800.000000"}));
    EXPECT_EQ(files.stamp, hostFilesStamp(dir.path().string()));

    // A link in place of a file is not followed, and says so.
    std::filesystem::remove(dir.path() / "coproc_info.xml");
    std::filesystem::create_symlink("/etc/passwd", dir.path() / "coproc_info.xml");
    files = readHostFiles(dir.path().string());
    EXPECT_FALSE(files.coprocInfo);
    EXPECT_NE(files.problem.find("coproc_info.xml: "), std::string::npos) << files.problem;
    EXPECT_NE(files.stamp, hostFilesStamp("/nonexistent"));
}

}  // namespace
}  // namespace crunchwatch
