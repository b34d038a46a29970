#include "firmware/Upgrade.h"

#include <chrono>

#include "app/ToolContext.h"

namespace qnl {

Upgrade::Upgrade(ToolContext& context) : ctx_(context) {
    for (auto& param : m_Params) param = std::make_shared<FWThreadParam>();
}

Upgrade::~Upgrade() { WaitForWorkers(); }

void Upgrade::WaitForWorkers() {
    std::vector<std::shared_ptr<Worker>> workers;
    {
        std::lock_guard lock(runMutex_);
        workers.assign(m_Workers.begin(), m_Workers.end());
        workers.insert(workers.end(), abandoned_.begin(), abandoned_.end());
    }
    for (auto& worker : workers) {
        if (!worker) continue;
        worker->RequestStop();
        worker->WaitFinished(std::chrono::seconds(10));
    }
}

}  // namespace qnl
