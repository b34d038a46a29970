// Times one flash update of a 64 KB image on a 512 KB part of the simulated station, in real time
// (time scale 1), and compares it with the waits the protocol requires.
//
// The floor is the sum of the waits the tool asked its clock for (a counting wrapper around the
// real clock); the protocol's own arithmetic for this case is printed beside it as a check:
//   unprotect 2 x 200 ms, per section (two: the image and its second copy) 500 ms after the
//   erase and 1000 ms before the write, protect 3 x 200 ms, end of access 500 ms = 4500 ms.
// Overhead is wall time minus the floor: what the tool and the simulated station spend on top.
//
// Usage: qnl_flash_bench [runs]   (default 1). Exit status 1 when an update fails or the
// overhead of any run reaches 10% of the floor.
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/ToolContext.h"
#include "controller/ErrorCodes.h"
#include "platform/Clock.h"
#include "platform/Console.h"
#include "platform/OperatorPrompts.h"
#include "qnlio/sim/SimStation.h"

namespace {

using namespace qnl;

class CountingClock final : public IClock {
  public:
    explicit CountingClock(IClock& inner) : inner_(inner) {}
    bool SleepMs(std::uint32_t milliseconds) override {
        requestedMs_ += milliseconds;
        return inner_.SleepMs(milliseconds);
    }
    std::uint64_t NowUs() override { return inner_.NowUs(); }
    std::time_t WallNow() override { return inner_.WallNow(); }
    std::uint64_t RequestedMs() const { return requestedMs_; }
    void Reset() { requestedMs_ = 0; }

  private:
    IClock& inner_;
    std::atomic<std::uint64_t> requestedMs_{0};
};

constexpr std::uint32_t kImageBytes = 0x10000;
constexpr std::uint64_t kProtocolFloorMs = 2 * 200 + 2 * (500 + 1000) + 3 * 200 + 500;

std::vector<std::uint8_t> Image() {
    std::vector<std::uint8_t> image(kImageBytes);
    std::uint32_t x = 12345;
    for (auto& b : image) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return image;
}

int Run(int runs) {
    std::string folder =
        (std::filesystem::temp_directory_path() / "qnl-flash-bench-XXXXXX").string();
    if (::mkdtemp(folder.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string text = R"({ "time_scale": 1, "controllers": [ { "bus": 1, "kind": 0,
        "flash_id": "C2 20 13", "flash": "bench.flash" } ] })";
    std::string error;
    auto config = sim::ParseStationText(text, folder + "/station.json", error);
    if (!config) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    RealClock real(1.0);
    CountingClock clock(real);
    int status = 0;
    {
        sim::SimStation station(std::move(*config), real);
        station.LoadQnlIODriver();
        NullConsole console;
        ConsolePrompts prompts(console);
        ToolEnvironment env{clock, console, prompts, station};
        env.toolFolder = folder;
        env.currentFolder = folder;
        ToolContext tool(env);
        if (tool.interctl.ScanPciBus("") != kOk) {
            std::fprintf(stderr, "no controller found\n");
            return 1;
        }
        const TargetHost& host = tool.g_Utility.Host(0);
        const std::vector<std::uint8_t> image = Image();

        std::printf("64 KB image, 512 KB part (C2 20 13), time scale 1, protocol floor %llu ms\n",
                    static_cast<unsigned long long>(kProtocolFloorMs));
        std::printf("%4s %10s %10s %10s %8s\n", "run", "wall ms", "floor ms", "overhead", "share");
        for (int run = 1; run <= runs; ++run) {
            clock.Reset();
            const auto start = std::chrono::steady_clock::now();
            const FlashPart part = tool.interctl.IdentifyFlash(host);
            const std::int32_t rc = part.IsNone() ? kErrIo
                                                  : tool.interctl.Update_Firmware(
                                                        0, host, part, image.data(), kImageBytes);
            const double wallMs =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
            const auto floorMs = static_cast<double>(clock.RequestedMs());
            const double overhead = wallMs - floorMs;
            std::printf("%4d %10.1f %10.0f %10.1f %7.2f%%\n", run, wallMs, floorMs, overhead,
                        100.0 * overhead / floorMs);
            if (rc != kOk) {
                std::fprintf(stderr, "update failed: %d\n", rc);
                status = 1;
            }
            if (clock.RequestedMs() != kProtocolFloorMs) {
                std::fprintf(stderr, "the waits requested differ from the protocol's %llu ms\n",
                             static_cast<unsigned long long>(kProtocolFloorMs));
                status = 1;
            }
            if (overhead >= 0.10 * floorMs) status = 1;
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 1;
    return Run(runs > 0 && runs <= 100 ? runs : 1);
}
