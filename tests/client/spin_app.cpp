// A tiny application for the real client: it burns processor time in steps
// of 0.2 s, tells the client its fraction done after each, checkpoints when
// the client says it is time, and finishes. The number of steps is its only
// argument (the workunit's command line).

#include <boinc/boinc_api.h>

#include <cstdlib>
#include <ctime>

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
    for (int i = 0; i < steps; ++i) {
        burn(0.2);
        boinc_fraction_done(static_cast<double>(i + 1) / steps);
        if (boinc_time_to_checkpoint()) boinc_checkpoint_completed();
    }
    boinc_finish(0);
}
