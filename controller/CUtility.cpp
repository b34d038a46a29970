#include "controller/CUtility.h"

namespace qnl {

CUtility::CUtility() {
    for (auto& host : hosts) host = TargetHost{};
}

void CUtility::ResetHostRecords() {
    for (auto& host : hosts) {
        host.ucIndex = kNoHostIndex;
        host.ucBus = 0xFF;
        host.ucDevice = 0xFF;
        host.ucFunction = 0xFF;
        host.strFWVersion = " ";
    }
}

}  // namespace qnl
