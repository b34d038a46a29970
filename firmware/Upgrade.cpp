#include "firmware/Upgrade.h"

#include <chrono>

#include "app/ToolContext.h"

namespace qnl {

Upgrade::Upgrade(ToolContext& context) : ctx_(context) {}

Upgrade::~Upgrade() {
    WaitForWorkers();
}

void Upgrade::WaitForWorkers() {
    std::vector<std::shared_ptr<WorkerGroup>> groups;
    {
        std::lock_guard lock(runMutex_);
        groups = abandoned_;
        if (group_) groups.push_back(group_);
    }
    for (auto& group : groups) group->StopAndWait(std::chrono::seconds(10));
}

}  // namespace qnl
