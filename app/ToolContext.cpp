#include "app/ToolContext.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace qnl {

namespace {

// The objects of tools that ended while one of their workers was still blocked inside a
// backend call. Never destroyed itself: such a worker may return while the process exits.
struct KeptTools {
    std::mutex mutex;
    std::vector<std::unique_ptr<ToolParts>> parts;
};
KeptTools& KeptToolsOfProcess() {
    static KeptTools* kept = new KeptTools();
    return *kept;
}

// Frees the kept tools whose workers have all returned (outside the list's lock: their
// destructors wait for nothing by then). Returns how many stay kept.
std::size_t FreeReturnedTools() {
    std::vector<std::unique_ptr<ToolParts>> returned;
    std::size_t left = 0;
    {
        std::lock_guard lock(KeptToolsOfProcess().mutex);
        auto& parts = KeptToolsOfProcess().parts;
        for (auto& p : parts)
            if (p->WaitForWorkers(std::chrono::milliseconds(0))) returned.push_back(std::move(p));
        std::erase(parts, nullptr);
        left = parts.size();
    }
    return left;
}

}  // namespace

ToolParts::ToolParts(const ToolEnvironment& env)
    : keepAlive(env.keepAlive),
      workerEndWait(env.workerEndWait),
      currentFolder(env.currentFolder),
      controllerLockFolder(env.controllerLockFolder),
      backendName(env.backendName),
      uiText(env.languageId),
      eventLog(env.eventStore, env.clock, env.userName),
      debugLog(env.eventStore, env.clock, env.toolFolder),
      interctl(env.io, env.clock, eventLog, g_Utility),
      xhci(interctl),
      ini(env.prompts, g_Utility, eventLog),
      setReg(env.prompts),
      runRecord(env.clock),
      resultTable(uiText, eventLog, g_Utility, runRecord),
      upgrade(UpgradeServices{env.clock, env.prompts, eventLog, g_Utility, interctl,
                              env.usbTopology, resultTable, uiText, ini, setReg, consoleMode,
                              runFromMain}),
      funTest(TestServices{env.clock, env.prompts, eventLog, g_Utility, xhci, interctl,
                           env.usbTopology, resultTable, ini, consoleMode, silentMode}) {
    g_Utility.strToolFolder = env.toolFolder;
    g_Utility.m_pEventLog = &eventLog;
    // The runs' console lines (written only in console mode).
    resultTable.SetConsole(&env.console);
}

ToolParts::~ToolParts() {
    WaitForWorkers(workerEndWait);
}

bool ToolParts::WaitForWorkers(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const auto left = [&] {
        return std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now()),
                        std::chrono::milliseconds(0));
    };
    bool all = funTest.WaitForWorkers(left());
    all = upgrade.WaitForWorkers(left()) && all;
    return interctl.WaitForLeftOutWorkers(left()) && all;
}

ToolContext::ToolContext(const ToolEnvironment& env)
    : parts_(std::make_unique<ToolParts>(env)),
      clock(env.clock),
      console(env.console),
      prompts(env.prompts),
      io(env.io),
      currentFolder(parts_->currentFolder),
      controllerLockFolder(parts_->controllerLockFolder),
      backendName(parts_->backendName),
      usbTopology(env.usbTopology),
      uiText(parts_->uiText),
      g_Utility(parts_->g_Utility),
      eventLog(parts_->eventLog),
      debugLog(parts_->debugLog),
      interctl(parts_->interctl),
      xhci(parts_->xhci),
      ini(parts_->ini),
      setReg(parts_->setReg),
      runRecord(parts_->runRecord),
      resultTable(parts_->resultTable),
      hardware(parts_->hardware),
      consoleMode(parts_->consoleMode),
      silentMode(parts_->silentMode),
      runFromMain(parts_->runFromMain),
      upgrade(parts_->upgrade),
      funTest(parts_->funTest) {
    FreeReturnedTools();
}

ToolContext::~ToolContext() {
    if (!parts_->WaitForWorkers(parts_->workerEndWait)) {
        // A worker blocked inside a backend call may still return and go on with the tool's
        // objects: they are kept for it, never freed under it.
        parts_->eventLog.LogMessage(
            kEventTypeError, "\r\n%s:%d: a worker is still blocked at the tool's end: kept for it",
            "ToolContext::~ToolContext", 40);
        std::lock_guard lock(KeptToolsOfProcess().mutex);
        KeptToolsOfProcess().parts.push_back(std::move(parts_));
    }
    FreeReturnedTools();
}

std::size_t ToolContext::KeptForWorkers() {
    return FreeReturnedTools();
}

}  // namespace qnl
