// A tiny application for the real client: it burns processor time in steps
// of 0.2 s, tells the client its fraction done after each, checkpoints when
// the client says it is time, and finishes. Its command line (the workunit's)
// is the number of steps, then optionally `--exit N` to finish with exit
// status N instead of 0: the client then records a compute error. It writes
// a line to its output "out", which the client sends when the workunit's
// result names an output of that name (and otherwise leaves in the slot).

#include <boinc/boinc_api.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

void burn(double seconds) {
    const std::clock_t end = std::clock() + static_cast<std::clock_t>(seconds * CLOCKS_PER_SEC);
    volatile double sink = 0;
    while (std::clock() < end)
        for (int i = 0; i < 10000; ++i) sink = sink + i * 0.5;
}

}  // namespace

int main(int argc, char** argv) {
    boinc_init();
    const int steps = argc > 1 ? std::atoi(argv[1]) : 40;
    const int status = argc > 3 && std::strcmp(argv[2], "--exit") == 0 ? std::atoi(argv[3]) : 0;
    for (int i = 0; i < steps; ++i) {
        burn(0.2);
        boinc_fraction_done(static_cast<double>(i + 1) / steps);
        if (boinc_time_to_checkpoint()) boinc_checkpoint_completed();
    }
    std::string out;
    boinc_resolve_filename_s("out", out);
    if (std::FILE* f = boinc_fopen(out.c_str(), "w")) {
        std::fprintf(f, "%d steps\n", steps);
        std::fclose(f);
    }
    if (status != 0) std::fprintf(stderr, "spin: failing on purpose with exit code %d\n", status);
    boinc_finish(status);
}
