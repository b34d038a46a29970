// The tool ends while one of its workers is blocked inside a backend call that does not return
// (the maker's library hangs): the tool's objects and the environment's (clock, console,
// prompts, I/O library) are kept until that call returns and the worker with it, and freed
// then. The backend here blocks a call, ignoring any stop request, until the test releases it
// after the tool is gone; AddressSanitizer (scripts/test.sh) and ThreadSanitizer
// (scripts/test-tsan.sh) report any use after free or race of the late worker.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "app/MPToolDlg.h"
#include "app/ToolContext.h"
#include "controller/ErrorCodes.h"
#include "platform/Worker.h"
#include "qnlio/sim/SimStation.h"
#include "support/SimFixture.h"
#include "support/TestImage.h"

namespace qnl::test {
namespace {

using namespace std::chrono_literals;

// Which calls block, and the test's hold on them. Shared by the test and the backend.
struct CallLatch {
    std::mutex mutex;
    std::condition_variable cv;
    std::function<bool()> blocks;  // evaluated on the calling thread; null: nothing blocks
    bool released = false;
    int blocked = 0;   // calls that were held
    int returned = 0;  // held calls that went on after the release

    // Holds the calling thread while `blocks` picks it and the test has not released it.
    void Hold() {
        std::unique_lock lock(mutex);
        if (!blocks || released || !blocks()) return;
        ++blocked;
        cv.notify_all();
        cv.wait(lock, [&] { return released; });  // no stop request ends this wait
        ++returned;
        cv.notify_all();
    }
    bool WaitBlocked(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, timeout, [&] { return blocked > 0; });
    }
    void Release() {
        std::lock_guard lock(mutex);
        released = true;
        cv.notify_all();
    }
};

// The station behind a backend whose calls the latch may hold.
class BlockingIo final : public IQnlIo {
  public:
    BlockingIo(IQnlIo& inner, std::shared_ptr<CallLatch> latch)
        : inner_(inner), latch_(std::move(latch)) {}

  private:
    template <typename Call>
    auto Pass(Call&& call) {
        latch_->Hold();
        return call();
    }

  public:
    std::uint32_t LoadQnlIODriver() override {
        return Pass([&] { return inner_.LoadQnlIODriver(); });
    }
    void UnloadQnlIODriver() override {
        Pass([&] { inner_.UnloadQnlIODriver(); });
    }
    std::uint32_t PCI_Read_DWORD(std::uint32_t b, std::uint32_t d, std::uint32_t f,
                                 std::uint32_t o) override {
        return Pass([&] { return inner_.PCI_Read_DWORD(b, d, f, o); });
    }
    std::uint8_t PCI_Read_BYTE(std::uint32_t b, std::uint32_t d, std::uint32_t f,
                               std::uint32_t o) override {
        return Pass([&] { return inner_.PCI_Read_BYTE(b, d, f, o); });
    }
    void PCI_Write_DWORD(std::uint32_t b, std::uint32_t d, std::uint32_t f, std::uint32_t o,
                         std::uint32_t v) override {
        Pass([&] { inner_.PCI_Write_DWORD(b, d, f, o, v); });
    }
    void PCI_Write_Byte(std::uint32_t b, std::uint32_t d, std::uint32_t f, std::uint32_t o,
                        std::uint32_t v) override {
        Pass([&] { inner_.PCI_Write_Byte(b, d, f, o, v); });
    }
    MappedAddress MapQnlIO(std::uint32_t a, std::uint32_t s) override {
        return Pass([&] { return inner_.MapQnlIO(a, s); });
    }
    void UnmapQnlIO(MappedAddress a, std::uint32_t s) override {
        Pass([&] { inner_.UnmapQnlIO(a, s); });
    }
    std::int32_t ReadMEM(MappedAddress a, std::uint32_t w, std::uint32_t* r) override {
        return Pass([&] { return inner_.ReadMEM(a, w, r); });
    }
    std::int32_t WriteMEM(MappedAddress a, std::uint32_t w, const std::uint32_t* v) override {
        return Pass([&] { return inner_.WriteMEM(a, w, v); });
    }
    std::int32_t WriteCmdALL(std::uint32_t b, std::uint32_t d, std::uint32_t f, std::uint32_t c,
                             std::uint32_t s, std::uint32_t l, std::uint32_t a, std::uint32_t lo,
                             std::uint32_t hi) override {
        return Pass([&] { return inner_.WriteCmdALL(b, d, f, c, s, l, a, lo, hi); });
    }
    std::int32_t Wait_Write_Ready(std::uint32_t b, std::uint32_t d, std::uint32_t f) override {
        return Pass([&] { return inner_.Wait_Write_Ready(b, d, f); });
    }
    std::int32_t Wait_Read_Ready(std::uint32_t b, std::uint32_t d, std::uint32_t f) override {
        return Pass([&] { return inner_.Wait_Read_Ready(b, d, f); });
    }
    std::int32_t ReadCMD(std::uint32_t b, std::uint32_t d, std::uint32_t f,
                         std::uint8_t* reply) override {
        return Pass([&] { return inner_.ReadCMD(b, d, f, reply); });
    }

  private:
    IQnlIo& inner_;
    std::shared_ptr<CallLatch> latch_;
};

// Everything the tool's environment refers to, owned together and handed to the tool as its
// keepAlive: the test keeps only a weak pointer once the tool runs.
struct Station {
    Station(const std::string& folder, const std::shared_ptr<CallLatch>& latch) {
        const std::string text = R"({ "time_scale": 1.0, "controllers": [)" +
                                 ControllerJson(3, 0, 0) + "," + ControllerJson(4, 0, 0) +
                                 R"(], "other_devices": [] })";
        std::string error;
        auto config = sim::ParseStationText(text, folder + "/station.json", error);
        if (!config) throw std::runtime_error(error);
        sim = std::make_unique<sim::SimStation>(std::move(*config), clock);
        sim->LoadQnlIODriver();
        io = std::make_unique<BlockingIo>(*sim, latch);
    }
    RealClock clock{0.01};
    MemoryConsole console;
    ConsolePrompts prompts{console};
    MemoryEventStore events;
    std::unique_ptr<sim::SimStation> sim;
    std::unique_ptr<BlockingIo> io;
};

// Where the worker is when its backend call blocks.
enum class BlockedIn { Discovery, Programming, PortTest };

class ToolBlockedBackendTest : public ::testing::TestWithParam<BlockedIn> {
  protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "qnl-blocked-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    std::string folder_;
};

TEST_P(ToolBlockedBackendTest, ObjectsAreKeptUntilTheBlockedCallReturns) {
    auto latch = std::make_shared<CallLatch>();
    auto station = std::make_shared<Station>(folder_, latch);
    std::weak_ptr<Station> stationSeen = station;

    ToolEnvironment env{station->clock, station->console, station->prompts, *station->io};
    env.eventStore = &station->events;
    env.toolFolder = folder_;
    env.currentFolder = folder_;
    env.userName = "tester";
    env.keepAlive = station;
    env.workerEndWait = 300ms;
    auto tool = std::make_unique<ToolContext>(env);
    env.keepAlive.reset();
    station.reset();  // from here on only the tool keeps the station
    ToolContext& ctx = *tool;

    const std::thread::id testThread = std::this_thread::get_id();
    if (GetParam() == BlockedIn::Discovery) {
        // The controllers' device-information workers block; neither controller answers.
        latch->blocks = [testThread] { return std::this_thread::get_id() != testThread; };
        ctx.interctl.ScanPciBus("");
        ASSERT_TRUE(latch->WaitBlocked(0ms));
        EXPECT_EQ(ctx.g_Utility.m_NoAnswerHosts.size(), 2u);
    } else {
        ASSERT_EQ(ctx.interctl.ScanPciBus(""), kOk);
        const auto image = BuildTestImage(0, {0x17, 0x07, 0x07, 0x00, 0x50, 0x01}, {}, 2048);
        std::ofstream(folder_ + "/new.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
        ctx.ini.fw_binary_name = "NEW.BIN";
        if (GetParam() == BlockedIn::Programming) {
            ctx.ini.fw_update_enable = 1;
        } else {
            ctx.ini.signal_line_test_enable = 1;
            ctx.ini.test_speed = 1;
            ctx.ini.test_port = 1;
            ctx.ini.test_timeout = 1000;
        }
        // A host worker's first backend call blocks (the run's own thread is not held).
        latch->blocks = [] { return CurrentReportGate() != nullptr; };
        auto dialog = std::make_unique<CQNL735_MPToolDlg>(ctx);
        dialog->OnBnClickedStart();
        ASSERT_TRUE(latch->WaitBlocked(20s));
        dialog.reset();  // the run is stopped; its supervisor gives up on the blocked worker
    }

    tool.reset();
    // The blocked worker still runs: the tool's objects and the station are kept for it.
    EXPECT_EQ(ToolContext::KeptForWorkers(), 1u);
    EXPECT_FALSE(stationSeen.expired());
    EXPECT_GE(Worker::Running(), 1);

    // The call returns into the tool's code, which goes on with the kept objects (the station
    // answers it) and returns; then everything is freed.
    latch->Release();
    ASSERT_TRUE(Worker::WaitAllFinished(20s));
    {
        std::lock_guard lock(latch->mutex);
        EXPECT_EQ(latch->returned, latch->blocked);
    }
    EXPECT_EQ(ToolContext::KeptForWorkers(), 0u);
    EXPECT_TRUE(stationSeen.expired());
}

INSTANTIATE_TEST_SUITE_P(Workers, ToolBlockedBackendTest,
                         ::testing::Values(BlockedIn::Discovery, BlockedIn::Programming,
                                           BlockedIn::PortTest));

}  // namespace
}  // namespace qnl::test
