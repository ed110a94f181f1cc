// Runs the whole scan over the machine it runs on and writes one line per
// finding (UTF-8) to the file named by its argument. wine-fullscan.sh runs
// it in a prefix holding the realistic machine.
#include <chrono>
#include <fstream>
#include <iostream>

#include "fullscan/FullScan.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: fullscan_dump OUTPUT\n";
        return 2;
    }
    auto result = fullscan::RunFullScan(std::chrono::seconds(600));
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    for (const auto& line : result.lines) out << line << '\n';
    if (!result.completed) {
        std::cerr << "fullscan_dump: the scan did not complete\n";
        return 1;
    }
    return out ? 0 : 1;
}
