#include "firmware/Upgrade.h"

#include <chrono>

#include "controller/CInterctl.h"
#include "controller/CUtility.h"
#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "platform/OperatorPrompts.h"
#include "platform/UsbTopology.h"
#include "settings/SetReg.h"
#include "ui/UiTextTable.h"

namespace qnl {

Upgrade::Upgrade(const UpgradeServices& services) : services_(services) {}

Upgrade::~Upgrade() {
    WaitForWorkers();
}

bool Upgrade::WaitForWorkers(std::chrono::milliseconds timeout) {
    std::vector<std::shared_ptr<WorkerGroup>> groups;
    {
        std::lock_guard lock(runMutex_);
        groups = abandoned_;
        if (group_) groups.push_back(group_);
    }
    return StopAndWait(groups, timeout);
}

}  // namespace qnl
