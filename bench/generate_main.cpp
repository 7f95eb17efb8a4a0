// crunchwatch-gen-state: writes a generated client state file, for the
// benchmark script and for trying the window on a big file by hand.

#include <charconv>
#include <fstream>
#include <iostream>
#include <string_view>

#include "bench/state_generator.hpp"

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::cerr << "usage: crunchwatch-gen-state typical|big OUTPUT_FILE [SEED]\n";
        return 2;
    }
    const auto* preset = crunchwatch::bench::presetNamed(argv[1]);
    if (!preset) {
        std::cerr << "crunchwatch-gen-state: unknown preset " << argv[1] << '\n';
        return 2;
    }
    std::uint64_t seed = crunchwatch::bench::defaultSeed;
    if (argc == 4) {
        const std::string_view s = argv[3];
        if (std::from_chars(s.data(), s.data() + s.size(), seed).ec != std::errc{}) {
            std::cerr << "crunchwatch-gen-state: the seed is a whole number\n";
            return 2;
        }
    }
    const std::string text = crunchwatch::bench::generateClientState(*preset, seed);
    std::ofstream out(argv[2], std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        std::cerr << "crunchwatch-gen-state: cannot write " << argv[2] << '\n';
        return 1;
    }
    return 0;
}
