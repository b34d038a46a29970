// Times the full discovery scan through the linux backend: 65,536 configuration reads of
// dword 0, in the tool's order (function, device, bus), over this machine's PCI functions or a
// tree named by the settings. Only reads are made.
//
//   qnl_pci_scan_bench [linux settings, e.g. sysfs.path=/tmp/tree] [repetitions]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "qnlio/ChipIdTable.h"
#include "qnlio/linux/LinuxIo.h"

int main(int argc, char** argv) {
    using namespace qnl;
    linuxio::LinuxIoSettings settings;
    std::string error;
    if (argc > 1 && !linuxio::ParseLinuxSettings(argv[1], settings, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    const int repetitions = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::vector<std::uint32_t> ids;
    for (const ChipId& id : kKind0Ids) ids.push_back(id.ConfigDword0());
    for (const ChipId& id : kKind1Ids) ids.push_back(id.ConfigDword0());
    linuxio::LinuxIo io(settings, ids,
                        [](const std::string& m) { std::fprintf(stderr, "%s\n", m.c_str() + 2); });

    const auto loadStart = std::chrono::steady_clock::now();
    if (io.LoadQnlIODriver() == 0) {
        std::fprintf(stderr, "the linux backend did not load\n");
        return 1;
    }
    const double loadMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - loadStart)
            .count();
    std::vector<double> times;
    std::size_t present = 0;
    for (int r = 0; r < repetitions; ++r) {
        present = 0;
        const auto start = std::chrono::steady_clock::now();
        for (std::uint32_t function = 0; function < 8; ++function)
            for (std::uint32_t device = 0; device < 32; ++device)
                for (std::uint32_t bus = 0; bus < 256; ++bus)
                    if (io.PCI_Read_DWORD(bus, device, function, 0) != 0xFFFFFFFFu) ++present;
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    std::printf("libpci method %s: %zu functions, %zu target controllers; driver load %.2f ms\n",
                settings.method.c_str(), present, io.TargetControllerCount(), loadMs);
    std::printf(
        "full scan of 65536 addresses: median %.2f ms, best %.2f ms, worst %.2f ms (%d runs)\n",
        times[times.size() / 2], times.front(), times.back(), repetitions);
    io.UnloadQnlIODriver();
    return 0;
}
