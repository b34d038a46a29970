// The station's locks: one tool drives a station's controllers at a time.
//
// The tool folder's lock file is taken before a run talks to the controllers (and by the window
// for as long as it is open); with real controllers, one lock per controller address in the
// system's lock folder keeps tools in other folders away from the same boards. A lock once
// taken is kept until the tool ends.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/ToolContext.h"
#include "platform/StationLock.h"

namespace qnl {

// The tool folder's lock file: one MP run at a time on a station.
inline constexpr const char* kStationLockFileName = "QNL7350AMPTool.lock";

class StationLocks {
  public:
    explicit StationLocks(ToolContext& context) : ctx_(context) {}
    StationLocks(const StationLocks&) = delete;
    StationLocks& operator=(const StationLocks&) = delete;

    // The tool folder's lock alone. False, after telling the operator and the diagnostic log,
    // when another tool process holds it; `consequence` ends that message. The first time it is
    // taken, the configuration images' stale temporary files are removed.
    bool AcquireToolFolder(const char* consequence = "the MP run does not start");
    // Before a run drives the hardware: the tool folder's lock and, with real controllers, one
    // per controller address of the host table (after discovery).
    bool AcquireStation();
    // The window: the controllers' locks for the host table found now (after discovery and
    // each rescan), the ones held before released. A refusal is told; Start asks again.
    void RelockControllers();

  private:
    bool Take(const std::vector<std::string>& lockFiles, std::unique_ptr<StationLock>& held,
              const char* consequence = "the MP run does not start");
    std::vector<std::string> ControllerLockFiles() const;

    ToolContext& ctx_;
    std::unique_ptr<StationLock> toolLock_;
    std::unique_ptr<StationLock> controllerLocks_;
};

}  // namespace qnl
