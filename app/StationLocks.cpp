#include "app/StationLocks.h"

#include "platform/Files.h"
#include "platform/Format.h"

namespace qnl {

bool StationLocks::Take(const std::vector<std::string>& lockFiles,
                        std::unique_ptr<StationLock>& held, const char* consequence) {
    if (held) return true;
    StationLock::Refusal refusal;
    held = StationLock::TryAcquire(lockFiles, refusal);
    if (held) return true;
    std::string message;
    if (!refusal.error.empty())
        message = Format("Station lock [%s] could not be taken (%s): %s.", refusal.path.c_str(),
                         refusal.error.c_str(), consequence);
    else if (refusal.holderPid > 0)
        message = Format(
            "Another instance of the MP tool (process %ld) is running on this station "
            "[%s]: %s.",
            refusal.holderPid, refusal.path.c_str(), consequence);
    else
        message = Format("Another instance of the MP tool is running on this station [%s]: %s.",
                         refusal.path.c_str(), consequence);
    ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d: %s",
                             "CQNL735_MPToolDlg::OnBnClickedStart", 1101, message.c_str());
    ctx_.prompts.ShowMessage(message, {}, MessageIcon::Error);
    return false;
}

bool StationLocks::AcquireToolFolder(const char* consequence) {
    const bool first = !toolLock_;
    if (!Take({files::Join(ctx_.g_Utility.strToolFolder, kStationLockFileName)}, toolLock_,
              consequence))
        return false;
    // A configuration image whose write was killed leaves its temporary file behind; the
    // holder of the station lock is the one writer of them, so it clears them away.
    if (first) files::RemoveStaleTemporaries(ctx_.g_Utility.strToolFolder, "Config_");
    return true;
}

std::vector<std::string> StationLocks::ControllerLockFiles() const {
    std::vector<std::string> lockFiles;
    const CUtility& util = ctx_.g_Utility;
    for (std::size_t i = 0; i < util.ucHostCount && i < kMaxHosts; ++i) {
        const TargetHost host = util.RecordSnapshot(i);
        lockFiles.push_back(
            files::Join(ctx_.controllerLockFolder,
                        ControllerLockFileName(host.ucBus, host.ucDevice, host.ucFunction)));
    }
    return lockFiles;
}

bool StationLocks::AcquireStation() {
    if (!AcquireToolFolder()) return false;
    if (ctx_.controllerLockFolder.empty()) return true;
    return Take(ControllerLockFiles(), controllerLocks_);
}

void StationLocks::RelockControllers() {
    if (ctx_.controllerLockFolder.empty()) return;
    controllerLocks_.reset();
    if (ctx_.g_Utility.ucHostCount > 0) Take(ControllerLockFiles(), controllerLocks_);
}

}  // namespace qnl
