// The port-test runs and their supervisors: which hosts get which test, the 200-second limit,
// and giving up on workers that do not finish.
#include "porttest/FunTest.h"

#include <chrono>
#include <exception>

#include "app/ToolContext.h"
#include "controller/ErrorCodes.h"
#include "platform/Files.h"
#include "platform/Format.h"

namespace qnl {

namespace {
constexpr const char* kFunctionTimeOut = "Function Test  Time Out, Fail!!!";
constexpr const char* kTerminationTimeOut = "Termination Test Time Out, Fail!!!";

int SpeedIndex(std::uint32_t speed) {
    return speed == 1 ? 0 : speed == 2 ? 1 : 2;
}
}  // namespace

int SpeedPortColumn(std::uint8_t mode, std::uint32_t speed, std::uint32_t port) {
    return (mode == kRunModeTestPage ? 5 : 8) + 2 * SpeedIndex(speed) + (port == 2 ? 1 : 0);
}
int SignalOverallColumn(std::uint8_t mode) {
    return mode == kRunModeTestPage ? 11 : 14;
}
int TerminationOverallColumn(std::uint8_t mode) {
    return mode == kRunModeTestPage ? 12 : 15;
}
int LoopBackOverallColumn(std::uint8_t mode) {
    return mode == kRunModeTestPage ? 13 : 16;
}

FunTest::FunTest(ToolContext& context) : ctx_(context) {
    for (auto& param : m_Params) param = std::make_shared<TestParam>();
}

FunTest::~FunTest() {
    WaitForWorkers();
}

void FunTest::WaitForWorkers() {
    std::vector<std::shared_ptr<Worker>> workers;
    {
        std::lock_guard lock(runMutex_);
        workers.assign(m_pTestThread.begin(), m_pTestThread.end());
        workers.insert(workers.end(), givenUp_.begin(), givenUp_.end());
    }
    for (auto& worker : workers) {
        if (!worker) continue;
        worker->RequestStop();
        worker->WaitFinished(std::chrono::seconds(10));
    }
}

void FunTest::ResetRunState() {
    std::lock_guard lock(runMutex_);
    for (auto& worker : m_pTestThread) {
        if (worker && !worker->Finished()) {
            worker->Abandon();
            givenUp_.push_back(worker);
        }
        worker.reset();
    }
    std::erase_if(givenUp_, [](const auto& worker) { return worker->Finished(); });
    for (auto& param : m_Params) param = std::make_shared<TestParam>();
    m_bFinished = 0;
    m_ucErrorCode = 0;
    m_ucStarted = 0;
}

void FunTest::ClearDoneBytes() {
    std::lock_guard lock(runMutex_);
    for (auto& param : m_Params) param->ucDone = 0;
}

std::uint8_t FunTest::DoneByte(std::size_t hostIndex) const {
    std::lock_guard lock(runMutex_);
    return hostIndex < kMaxHosts ? m_Params[hostIndex]->ucDone.load() : 0;
}

bool FunTest::Silent() const {
    return ctx_.silentMode;
}

void FunTest::Tell(const std::string& text) {
    ctx_.prompts.ShowMessage(text, {}, MessageIcon::Error, text + "\r\n");
}

bool FunTest::AllHostsFailed(const std::function<bool(const TargetHost&)>& failed) const {
    const std::size_t count = std::min<std::size_t>(ctx_.g_Utility.ucHostCount, kMaxHosts);
    if (count == 0) return false;
    for (std::size_t i = 0; i < count; ++i)
        if (!failed(ctx_.g_Utility.hosts[i])) return false;
    return true;
}

void FunTest::OrHostResults(const std::function<std::uint8_t(const TargetHost&)>& result) {
    const std::size_t count = std::min<std::size_t>(ctx_.g_Utility.ucHostCount, kMaxHosts);
    for (std::size_t i = 0; i < count; ++i) {
        if (Silent()) ctx_.clock.SleepMs(100);
        m_ucErrorCode |= result(ctx_.g_Utility.hosts[i]);
    }
}

std::int32_t FunTest::PageTestThread(std::uint8_t mode, std::uint8_t selection) {
    m_bFinished = 0;
    m_ucErrorCode = 0;
    m_ucStarted = 0;
    std::int32_t r = kOk;
    // A page run is a run of its own: its signal line / fixture result starts afresh (an MP
    // run's Start clears every result).
    if (selection & (kSelectSignalLine | kSelectFixture))
        for (auto& host : ctx_.g_Utility.hosts) host.dwSignalResult = 0;
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
    m_bFinished = 1;
    return r;
}

void FunTest::FunTestStartFromMain(std::uint8_t selection, std::uint8_t mode) {
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
    } else if (ctx_.g_Utility.ucHostCount == 0) {
        // No board was tested: a dead or badly seated board must not pass the station.
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: No target host, no port test ran",
                                 "FunTest::FunTestStartFromMain", 1605);
        m_ucErrorCode = 1;
    }
    m_bFinished = 1;
}

std::array<std::shared_ptr<TestParam>, kMaxHosts> FunTest::NewParams(std::uint8_t mode) {
    std::array<std::shared_ptr<TestParam>, kMaxHosts> params;
    for (std::uint8_t i = 0; i < kMaxHosts; ++i) {
        auto param = std::make_shared<TestParam>();
        param->ucMode = mode;
        param->ucHost = i;
        param->dwSpeedMask = ctx_.ini.test_speed;
        param->dwPortMask = ctx_.ini.test_port;
        param->dwTimeout = ctx_.ini.test_timeout;
        const TargetHost& host = ctx_.g_Utility.hosts[i];
        param->ucDone = (i >= ctx_.g_Utility.ucHostCount || host.ucIndex == kNoHostIndex) ? 2 : 0;
        params[i] = std::move(param);
    }
    std::lock_guard lock(runMutex_);
    m_Params = params;
    return params;
}

void FunTest::StartWorker(const std::shared_ptr<TestParam>& param, WorkerBody body) {
    auto worker = Worker::Start([this, param, body] { (this->*body)(*param); });
    std::lock_guard lock(runMutex_);
    // A worker still in the slot belongs to an earlier test and was given up on (its test
    // timed out and ended the run) or has finished; either way it is no longer this slot's.
    if (auto& old = m_pTestThread[param->ucHost]; old && !old->Finished()) givenUp_.push_back(old);
    m_pTestThread[param->ucHost] = std::move(worker);
}

std::int32_t FunTest::SuperviseSignalOrFixture(std::uint8_t mode, std::uint8_t selection) {
    std::vector<std::uint8_t> started;
    try {
        const std::int32_t timeout = ctx_.ini.test_timeout;
        if (timeout <= 0) {
            Tell(Format("%s [%d]", "Tme-Out value could not be", timeout));
            // Nothing was tested: no host of the table may keep a passing result.
            for (std::uint8_t i = 0; i < ctx_.g_Utility.ucHostCount && i < kMaxHosts; ++i) {
                TargetHost& host = ctx_.g_Utility.hosts[i];
                if (host.ucIndex == kNoHostIndex) continue;
                if (host.dwSignalResult == 0)
                    host.dwSignalResult = static_cast<std::uint32_t>(kErrTimeout);
                ctx_.resultTable.vShowResultItemTable(kCellRed, i, SignalOverallColumn(mode),
                                                      "FAIL");
            }
            return kErrTimeout;
        }
        const auto params = NewParams(mode);
        const WorkerBody body =
            selection == kSelectFixture ? &FunTest::FixtureWorker : &FunTest::SignalLineWorker;
        for (std::uint8_t i = 0; i < kMaxHosts; ++i) {
            if (params[i]->ucDone == 2) continue;
            started.push_back(i);
            ++m_ucStarted;
            StartWorker(params[i], body);
        }
        return WaitForHosts(
            params, started, SignalOverallColumn(mode),
            [](TargetHost& h) {
                if (h.dwSignalResult == 0)
                    h.dwSignalResult = static_cast<std::uint32_t>(kErrTimeout);
            },
            kFunctionTimeOut);
    } catch (const std::exception&) {
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: dwErrorCode %d",
                                 "FunTest::SuperviseSignalOrFixture", 1630, files::LastError());
        return kErrInvalidParameter;
    }
}

std::int32_t FunTest::SuperviseTermination(std::uint8_t mode) {
    try {
        const auto params = NewParams(mode);
        std::vector<std::uint8_t> started;
        for (std::uint8_t i = 0; i < kMaxHosts; ++i) {
            if (params[i]->ucDone == 2) continue;
            // A host that failed the signal line test is not given this test.
            if (ctx_.ini.signal_line_test_enable == 1 &&
                ctx_.g_Utility.hosts[i].dwSignalResult != 0) {
                params[i]->ucDone = 2;
                continue;
            }
            started.push_back(i);
            ++m_ucStarted;
            StartWorker(params[i], &FunTest::TerminationWorker);
            ctx_.clock.SleepMs(100);
        }
        return WaitForHosts(
            params, started, TerminationOverallColumn(mode),
            [](TargetHost& h) { h.ucTerminationResult = 1; }, kTerminationTimeOut);
    } catch (const std::exception&) {
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: dwErrorCode %d",
                                 "FunTest::SuperviseTermination", 1660, files::LastError());
        return kErrInvalidParameter;
    }
}

std::int32_t FunTest::SuperviseLoopBack(std::uint8_t mode) {
    try {
        const auto params = NewParams(mode);
        std::vector<std::uint8_t> started;
        for (std::uint8_t i = 0; i < kMaxHosts; ++i) {
            if (params[i]->ucDone == 2) continue;
            // Hosts that failed an enabled signal line or termination test are not given it.
            const TargetHost& host = ctx_.g_Utility.hosts[i];
            if ((ctx_.ini.signal_line_test_enable == 1 && host.dwSignalResult != 0) ||
                (ctx_.ini.termination_test_enable == 1 && host.ucTerminationResult != 0)) {
                params[i]->ucDone = 2;
                continue;
            }
            started.push_back(i);
            ++m_ucStarted;
            StartWorker(params[i], &FunTest::LoopBackWorker);
        }
        const std::int32_t r = WaitForHosts(
            params, started, LoopBackOverallColumn(mode),
            [](TargetHost& h) { h.ucLoopBackResult = static_cast<std::uint8_t>(kErrTimeout); },
            kFunctionTimeOut);
        if (r == kOk && Silent()) ctx_.clock.SleepMs(100);
        return r;
    } catch (const std::exception&) {
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: dwErrorCode %d",
                                 "FunTest::SuperviseLoopBack", 1690, files::LastError());
        return kErrInvalidParameter;
    }
}

std::int32_t FunTest::WaitForHosts(const std::array<std::shared_ptr<TestParam>, kMaxHosts>& params,
                                   const std::vector<std::uint8_t>& started, int overallColumn,
                                   const FailHost& failHost, const char* message) {
    const std::uint64_t startMs = ctx_.clock.NowMs();
    for (;;) {
        if ((ctx_.clock.NowMs() - startMs) / 1000 > kTestLimitSeconds) break;
        // Every host that was started must have finished (skipped hosts do not count).
        std::size_t finished = 0;
        for (std::uint8_t i : started)
            if (params[i]->ucDone == 1) ++finished;
        if (finished == started.size()) return kOk;
        if (!ctx_.clock.SleepMs(kTestPollMs)) break;  // the run itself is being stopped
    }

    // Time-out: give up on every started host that has not finished. All of them are asked to
    // stop first, so that none still waiting can take the test lock once it is released.
    std::vector<std::uint8_t> givenUp;
    for (std::uint8_t i : started) {
        TestParam& param = *params[i];
        {
            std::lock_guard report(param.reportMutex);
            if (param.ucDone == 1) continue;  // it finished after all
            param.bGivenUp = true;
            param.ucDone = 1;
        }
        givenUp.push_back(i);
        std::lock_guard lock(runMutex_);
        std::shared_ptr<Worker> worker;
        worker.swap(m_pTestThread[i]);
        if (worker) {
            worker->Abandon();
            givenUp_.push_back(std::move(worker));
        }
    }
    for (std::uint8_t i : givenUp) {
        // A worker that hangs while holding the test lock must not block the others.
        m_FunTestCriticalSection.Revoke(params[i]->lockTicket);
        // The host did not pass: its stored result says so, for the exit code and the log.
        failHost(ctx_.g_Utility.hosts[i]);
        ctx_.resultTable.vShowResultItemTable(kCellRed, i, overallColumn, "FAIL");
    }
    Tell(message);
    return kErrTimeout;
}

}  // namespace qnl
