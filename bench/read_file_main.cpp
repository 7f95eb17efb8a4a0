// crunchwatch-read-file: reads a whole file into memory and exits, nothing
// else: the process the headless dump is compared with.

#include "state/file_read.hpp"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    return crunchwatch::readWholeFile(argv[1]) ? 0 : 1;
}
