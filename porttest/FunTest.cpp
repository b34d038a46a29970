// The port-test runs and their supervisors: which hosts get which test, the 200-second limit,
// and giving up on workers that do not finish.
#include "porttest/FunTest.h"

#include <chrono>
#include <exception>

#include "controller/CUtility.h"
#include "controller/ErrorCodes.h"
#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "platform/Files.h"
#include "platform/Format.h"
#include "platform/OperatorPrompts.h"
#include "platform/UsbTopology.h"
#include "porttest/CXhci.h"

namespace qnl {

namespace {
constexpr const char* kFunctionTimeOut = "Function Test  Time Out, Fail!!!";
constexpr const char* kTerminationTimeOut = "Termination Test Time Out, Fail!!!";

constexpr std::uint64_t kTestLimitMs = kTestLimitSeconds * 1000;
}  // namespace

ResultLayout LayoutOfMode(std::uint8_t mode) {
    return mode == kRunModeTestPage ? ResultLayout::Test : ResultLayout::Main;
}

FunTest::FunTest(const TestServices& services) : services_(services) {}

FunTest::~FunTest() {
    WaitForWorkers();
}

bool FunTest::WaitForWorkers(std::chrono::milliseconds timeout) {
    std::vector<std::shared_ptr<WorkerGroup>> groups;
    {
        std::lock_guard lock(runMutex_);
        groups = givenUp_;
        if (group_) groups.push_back(group_);
    }
    return StopAndWait(groups, timeout);
}

std::shared_ptr<WorkerGroup> FunTest::NewGroup() {
    // The workers' gates write under the host records' locks (a page switch reads them).
    const auto& locks = services_.g_Utility.RecordLocks();
    auto group =
        std::make_shared<WorkerGroup>(services_.clock, std::vector(locks.begin(), locks.end()));
    std::lock_guard lock(runMutex_);
    if (group_) givenUp_.push_back(std::move(group_));
    // A group whose workers all returned is no longer needed.
    std::erase_if(givenUp_, [](const std::shared_ptr<WorkerGroup>& g) {
        return g->StopAndWait(std::chrono::milliseconds(0));
    });
    group_ = group;
    return group;
}

void FunTest::ResetRunState() {
    {
        std::lock_guard lock(runMutex_);
        if (group_) givenUp_.push_back(std::move(group_));
    }
    m_bFinished = 0;
    m_ucErrorCode = 0;
    m_ucStarted = 0;
    services_.reporter.BeginRun();
}

bool FunTest::Silent() const {
    return runSilent_;
}

void FunTest::Tell(const std::string& text) {
    services_.prompts.ShowMessage(text, {}, MessageIcon::Error, text + "\r\n");
}

bool FunTest::AllHostsFailed(const std::function<bool(const TargetHost&)>& failed) const {
    const std::size_t count = std::min<std::size_t>(services_.g_Utility.ucHostCount, kMaxHosts);
    if (count == 0) return false;
    for (std::size_t i = 0; i < count; ++i)
        if (!failed(services_.g_Utility.hosts[i])) return false;
    return true;
}

void FunTest::OrHostResults(const std::function<std::uint8_t(const TargetHost&)>& result) {
    const std::size_t count = std::min<std::size_t>(services_.g_Utility.ucHostCount, kMaxHosts);
    for (std::size_t i = 0; i < count; ++i) {
        if (Silent()) services_.clock.SleepMs(100);
        m_ucErrorCode |= result(services_.g_Utility.hosts[i]);
    }
}

std::int32_t FunTest::PageTestThread(std::uint8_t mode, std::uint8_t selection) {
    const IniSettings settings = services_.ini;
    return PageTestThread(mode, selection, settings, services_.silentMode);
}

std::int32_t FunTest::PageTestThread(std::uint8_t mode, std::uint8_t selection,
                                     const IniSettings& settings, bool silent) {
    runSettings_ = settings;
    runSilent_ = silent;
    m_bFinished = 0;
    m_ucErrorCode = 0;
    m_ucStarted = 0;
    std::int32_t r = kOk;
    // A page run is a run of its own: its signal line / fixture result starts afresh (an MP
    // run's Start clears every result).
    if (selection & (kSelectSignalLine | kSelectFixture))
        for (std::size_t i = 0; i < kMaxHosts; ++i)
            services_.g_Utility.WriteRecord(i, [](TargetHost& host) { host.dwSignalResult = 0; });
    const auto signalFailed = [](const TargetHost& h) { return h.dwSignalResult != 0; };
    do {
        for (std::uint8_t bit : {kSelectSignalLine, kSelectFixture}) {
            if (!(selection & bit)) continue;
            if ((r = SuperviseSignalOrFixture(mode, bit)) != kOk) break;
            if (AllHostsFailed(signalFailed)) m_ucErrorCode = 1;
        }
        if (r != kOk) break;
        m_ucStarted = 0;
        if (selection & kSelectTermination) {
            if ((r = SuperviseTermination(mode)) != kOk) break;
            if (AllHostsFailed([](const TargetHost& h) { return h.ucTerminationResult != 0; }))
                m_ucErrorCode = 1;
        }
        m_ucStarted = 0;
        if (selection & kSelectLoopBack) {
            if ((r = SuperviseLoopBack(mode)) != kOk) break;
            if (AllHostsFailed([](const TargetHost& h) { return h.ucLoopBackResult != 0; }))
                m_ucErrorCode = 1;
        }
    } while (false);
    services_.reporter.EndRun(LayoutOfMode(mode));
    m_bFinished = 1;
    return r;
}

void FunTest::FunTestStartFromMain(std::uint8_t selection, std::uint8_t mode) {
    const IniSettings settings = services_.ini;
    FunTestStartFromMain(selection, mode, settings, services_.silentMode);
}

void FunTest::FunTestStartFromMain(std::uint8_t selection, std::uint8_t mode,
                                   const IniSettings& settings, bool silent) {
    runSettings_ = settings;
    runSilent_ = silent;
    m_bFinished = 0;
    m_ucStarted = 0;
    std::int32_t r = kOk;
    do {
        // Signal line, then fixture: each on its own, so a host never has both at once.
        for (std::uint8_t bit : {kSelectSignalLine, kSelectFixture}) {
            if (!(selection & bit)) continue;
            if ((r = SuperviseSignalOrFixture(mode, bit)) != kOk) break;
            OrHostResults([](const TargetHost& h) {
                return static_cast<std::uint8_t>(h.dwSignalResult & 0xFF);
            });
        }
        if (r != kOk) break;
        m_ucStarted = 0;
        if (selection & kSelectTermination) {
            if ((r = SuperviseTermination(mode)) != kOk) break;
            OrHostResults([](const TargetHost& h) { return h.ucTerminationResult; });
        }
        m_ucStarted = 0;
        if (selection & kSelectLoopBack) {
            if ((r = SuperviseLoopBack(mode)) != kOk) break;
            OrHostResults([](const TargetHost& h) { return h.ucLoopBackResult; });
        }
    } while (false);
    if (r != kOk) {
        m_ucErrorCode = static_cast<std::uint8_t>(r & 0xFF);
    } else if (services_.g_Utility.ucHostCount == 0) {
        // No board was tested: a dead or badly seated board must not pass the station.
        services_.eventLog.LogMessage(kEventTypeError,
                                      "\r\n%s:%d: No target host, no port test ran",
                                      "FunTest::FunTestStartFromMain", 1605);
        m_ucErrorCode = 1;
    }
    m_bFinished = 1;
}

FunTest::Params FunTest::NewParams(std::uint8_t mode) {
    Params params;
    for (std::uint8_t i = 0; i < kMaxHosts; ++i) {
        auto param = std::make_shared<TestParam>();
        param->ucMode = mode;
        param->ucHost = i;
        param->dwSpeedMask = runSettings_.test_speed;
        param->dwPortMask = runSettings_.test_port;
        param->dwTimeout = runSettings_.test_timeout;
        param->layout = LayoutOfMode(mode);
        param->consoleMode = Silent();
        const TargetHost& host = services_.g_Utility.hosts[i];
        param->host = host;
        param->ucDone = (i >= services_.g_Utility.ucHostCount || !host.Served()) ? 2 : 0;
        params[i] = std::move(param);
    }
    return params;
}

void FunTest::StartWorker(WorkerGroup& group, const std::shared_ptr<TestParam>& param,
                          WorkerBody body) {
    group.Start(param->ucHost, [this, param, body] { (this->*body)(*param); });
}

std::int32_t FunTest::SuperviseSignalOrFixture(std::uint8_t mode, std::uint8_t selection) {
    try {
        const std::int32_t timeout = runSettings_.test_timeout;
        if (timeout <= 0) {
            Tell(Format("%s [%d]", "Tme-Out value could not be", timeout));
            // Nothing was tested: no host of the table may keep a passing result.
            for (std::uint8_t i = 0; i < services_.g_Utility.ucHostCount && i < kMaxHosts; ++i) {
                bool listed = false;
                services_.g_Utility.WriteRecord(i, [&](TargetHost& host) {
                    listed = host.ucIndex != kNoHostIndex;
                    if (listed && host.dwSignalResult == 0)
                        host.dwSignalResult = static_cast<std::uint32_t>(kErrTimeout);
                });
                if (!listed) continue;
                services_.reporter.ShowResult(LayoutOfMode(mode), i, ResultItem::SignalLineOverall,
                                              CellState::Fail, "FAIL", kErrTimeout);
            }
            return kErrTimeout;
        }
        const auto params = NewParams(mode);
        const auto group = NewGroup();
        const WorkerBody body =
            selection == kSelectFixture ? &FunTest::FixtureWorker : &FunTest::SignalLineWorker;
        for (std::uint8_t i = 0; i < kMaxHosts; ++i) {
            if (params[i]->ucDone == 2) continue;
            ++m_ucStarted;
            StartWorker(*group, params[i], body);
        }
        return WaitForHosts(
            *group, ResultItem::SignalLineOverall, mode,
            [](TargetHost& h) {
                if (h.dwSignalResult == 0)
                    h.dwSignalResult = static_cast<std::uint32_t>(kErrTimeout);
            },
            kFunctionTimeOut);
    } catch (const std::exception& e) {
        services_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: dwErrorCode %d, what: %s",
                                      "FunTest::SuperviseSignalOrFixture", 1630, files::LastError(),
                                      e.what());
        return kErrInvalidParameter;
    }
}

std::int32_t FunTest::SuperviseTermination(std::uint8_t mode) {
    try {
        const auto params = NewParams(mode);
        const auto group = NewGroup();
        for (std::uint8_t i = 0; i < kMaxHosts; ++i) {
            if (params[i]->ucDone == 2) continue;
            // A host that failed the signal line test is not given this test.
            if (runSettings_.signal_line_test_enable == 1 &&
                services_.g_Utility.hosts[i].dwSignalResult != 0) {
                params[i]->ucDone = 2;
                continue;
            }
            ++m_ucStarted;
            StartWorker(*group, params[i], &FunTest::TerminationWorker);
            services_.clock.SleepMs(100);
        }
        return WaitForHosts(
            *group, ResultItem::TerminationOverall, mode,
            [](TargetHost& h) { h.ucTerminationResult = 1; }, kTerminationTimeOut);
    } catch (const std::exception& e) {
        services_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: dwErrorCode %d, what: %s",
                                      "FunTest::SuperviseTermination", 1660, files::LastError(),
                                      e.what());
        return kErrInvalidParameter;
    }
}

std::int32_t FunTest::SuperviseLoopBack(std::uint8_t mode) {
    try {
        const auto params = NewParams(mode);
        const auto group = NewGroup();
        for (std::uint8_t i = 0; i < kMaxHosts; ++i) {
            if (params[i]->ucDone == 2) continue;
            // Hosts that failed an enabled signal line or termination test are not given it.
            const TargetHost& host = services_.g_Utility.hosts[i];
            if ((runSettings_.signal_line_test_enable == 1 && host.dwSignalResult != 0) ||
                (runSettings_.termination_test_enable == 1 && host.ucTerminationResult != 0)) {
                params[i]->ucDone = 2;
                continue;
            }
            ++m_ucStarted;
            StartWorker(*group, params[i], &FunTest::LoopBackWorker);
        }
        const std::int32_t r = WaitForHosts(
            *group, ResultItem::LoopBackOverall, mode,
            [](TargetHost& h) { h.ucLoopBackResult = static_cast<std::uint8_t>(kErrTimeout); },
            kFunctionTimeOut);
        if (r == kOk && Silent()) services_.clock.SleepMs(100);
        return r;
    } catch (const std::exception& e) {
        services_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: dwErrorCode %d, what: %s",
                                      "FunTest::SuperviseLoopBack", 1690, files::LastError(),
                                      e.what());
        return kErrInvalidParameter;
    }
}

std::int32_t FunTest::WaitForHosts(WorkerGroup& group, ResultItem overallItem, std::uint8_t mode,
                                   const FailHost& failHost, const char* message) {
    // Every host that was started must finish (skipped hosts are not waited for).
    if (group.Wait(kTestLimitMs, kTestPollMs)) return kOk;
    // Time-out (or the run itself is being stopped): give up on every started host that has
    // not finished. Its FAIL and failed stored result are written under its report gate, so
    // its worker can write nothing after them; then the test lock is released if it held it.
    group.GiveUpUnfinished([&](std::size_t i) {
        failHost(services_.g_Utility.hosts[i]);
        services_.reporter.ShowResult(LayoutOfMode(mode), static_cast<std::uint8_t>(i), overallItem,
                                      CellState::Fail, "FAIL", kErrTimeout);
    });
    Tell(message);
    return kErrTimeout;
}

}  // namespace qnl
