// One owner of the hardware at a time, through the window's core on a real clock: a port check
// that holds the controllers keeps Start off, a run started meanwhile waits for it and clears
// the last results only then, and Close never unloads the driver under it.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "platform/Files.h"
#include "porttest/PortCheck.h"
#include "support/WindowBench.h"

namespace qnl::test {
namespace {

using namespace std::chrono_literals;

// Holds the first caller until opened; later callers pass.
class OneShotGate {
  public:
    void operator()() {
        std::unique_lock lock(mutex_);
        if (used_) return;
        used_ = true;
        entered_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return open_; });
    }
    bool WaitEntered() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return entered_; });
    }
    void Open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool used_ = false, entered_ = false, open_ = false;
};

class HardwareSessionTest : public ::testing::Test {
  protected:
    // One controller whose USB 3.0 Port 1 has a device: its signal line test passes.
    HardwareSessionTest()
        : bench(1, 0.01, ToolAssembly::Parts::WindowOnly,
                R"("ports": { "usb3_port1": { "type": "device", "speed": "super" } })") {}

    void StartWindow() {
        bench.WriteSettings(
            "savelog_enable=1\r\nsignal_line_test_enable=1\r\ntest_speed=2\r\ntest_port=1\r\n"
            "test_timeout=100\r\n");
        bench.Start();
        ASSERT_FALSE(bench.result.has_value());
    }
    // The port check as the test page runs it on a device change, held inside its scan (after
    // it copied the host records) until the gate opens.
    void StartHeldCheck() {
        bench.io.beforeMap = [this] { gate(); };
        check = std::make_unique<PortCheck>(ctx().hardware,
                                            [this] { ctx().xhci.ScanPortConnections(); });
        check->Request();
        ASSERT_TRUE(gate.WaitEntered());
        ASSERT_EQ(ctx().hardware.Holder(), HardwareActivity::PortCheck);
    }
    ToolContext& ctx() { return *bench.context; }
    CQNL735_MPToolDlg& dlg() { return *bench.dialog; }
    bool StartEnabled() { return bench.State(kCtlStart).enabled; }

    WindowBench bench;
    OneShotGate gate;
    std::unique_ptr<PortCheck> check;
};

TEST_F(HardwareSessionTest, StartDuringAPortCheckWaitsForItAndRecordsOnlyThisRun) {
    StartWindow();
    ASSERT_TRUE(StartEnabled());
    // The last run failed this host's signal line test.
    ctx().g_Utility.WriteRecord(0, [](TargetHost& host) { host.dwSignalResult = 0xFFFFFFFD; });

    StartHeldCheck();
    // Start is off while the check has the hardware; a click does nothing.
    EXPECT_FALSE(StartEnabled());
    dlg().OnStartClicked();
    EXPECT_FALSE(dlg().RunActive());
    // A run started regardless (a click that raced the check) waits for it.
    dlg().OnBnClickedStart();
    ASSERT_TRUE(dlg().RunActive());
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(ctx().hardware.Holder(), HardwareActivity::PortCheck);

    gate.Open();
    for (int i = 0; i < 4000 && !dlg().OnTimer1(); ++i) std::this_thread::sleep_for(5ms);
    ASSERT_FALSE(dlg().RunActive());
    EXPECT_EQ(dlg().RunExitCode(), 0);
    EXPECT_EQ(ctx().g_Utility.RecordSnapshot(0).dwSignalResult, 0u);
    EXPECT_EQ(ctx().resultTable.strGetResultItemTable(0, 14), "PASS");
    // The day's log says what this run saw.
    std::string log;
    for (const auto& entry : std::filesystem::directory_iterator(bench.sim.Folder()))
        if (entry.path().extension() == ".log")
            log += files::ReadText(entry.path().string()).value_or("");
    EXPECT_NE(log.find("\tPASS\t"), std::string::npos) << log;
    EXPECT_EQ(log.find("FAIL"), std::string::npos) << log;
    // The hardware is free again, and so is Start.
    EXPECT_EQ(ctx().hardware.Holder(), HardwareActivity::None);
    EXPECT_TRUE(StartEnabled());
}

TEST_F(HardwareSessionTest, CloseNeverUnloadsTheDriverUnderAPortCheck) {
    StartWindow();
    StartHeldCheck();
    // The check outlasts Close's wait: Close gives up without unloading.
    EXPECT_EQ(dlg().OnClose(), 0);
    EXPECT_TRUE(bench.sim.station->DriverLoaded());
    EXPECT_NE(bench.LogText().find("the port check did not end within 10 s of Close"),
              std::string::npos);
    gate.Open();
    ASSERT_TRUE(check->WaitIdle(10s));
    // Closed after the check: the driver goes.
    EXPECT_EQ(dlg().OnClose(), 0);
    EXPECT_FALSE(bench.sim.station->DriverLoaded());
}

}  // namespace
}  // namespace qnl::test
