#include "controller/CUtility.h"

namespace qnl {

CUtility::CUtility() {
    for (auto& host : hosts) host = TargetHost{};
    for (auto& lock : recordLocks_) lock = std::make_shared<std::recursive_mutex>();
}

TargetHost CUtility::RecordSnapshot(std::size_t index) const {
    std::lock_guard lock(*recordLocks_.at(index));
    return hosts[index];
}

void CUtility::ResetHostRecords() {
    for (std::size_t i = 0; i < kMaxHosts; ++i) {
        std::lock_guard lock(*recordLocks_[i]);
        TargetHost& host = hosts[i];
        host.ClearResults();
        host.ucIndex = kNoHostIndex;
        host.ucBus = 0xFF;
        host.ucDevice = 0xFF;
        host.ucFunction = 0xFF;
        host.bNoAnswer = false;
        // assign(1, ' ') rather than = " ": GCC 12 at -O3 reports a false -Wrestrict for the
        // latter (GCC bug 105329), which breaks the release build.
        host.strFWVersion.assign(1, ' ');
    }
}

}  // namespace qnl
