#include "app/ToolAssembly.h"

#include "platform/EventLog.h"
#include "platform/Worker.h"

namespace qnl {

ToolAssembly::ToolAssembly(const ToolEnvironment& environment, Parts parts)
    : context_(std::make_unique<ToolContext>(environment)),
      dialog_(std::make_unique<CQNL735_MPToolDlg>(*context_)),
      pages_(parts == Parts::WindowAndPages ? std::make_unique<WindowPages>(*context_, *dialog_)
                                            : nullptr),
      context(*context_),
      dialog(*dialog_),
      pages(pages_.get()) {
    // The pages the window shows; console start-up refreshes them from the settings too (the
    // device and test pages' refreshes validate what was loaded).
    if (pages_) pages_->AttachTo(*dialog_);
}

ToolAssembly::~ToolAssembly() {
    // A run still going may reach the pages: it ends before they go.
    dialog_->StopRun(CQNL735_MPToolDlg::kRunStopWait);
    pages_.reset();
    dialog_.reset();
    context_.reset();
}

std::optional<std::int32_t> ToolAssembly::Start(
    const std::string& commandLine, std::unique_ptr<IDeviceChangeSource> deviceChanges) {
    std::optional<std::int32_t> code = dialog_->OnInitDialog(commandLine);
    // Window mode: the test page follows USB device changes (console mode never does).
    if (!code && pages_) pages_->FollowDeviceChanges(std::move(deviceChanges));
    return code;
}

bool ToolAssembly::Finish(std::chrono::milliseconds exitWait) {
    // A run still going is stopped, and workers given up on (asked to stop already) get
    // `exitWait` to return.
    dialog_->StopRun(CQNL735_MPToolDlg::kRunStopWait);
    if (Worker::WaitAllFinished(exitWait)) return true;
    context_->eventLog.LogMessage(kEventTypeError,
                                  "\r\n%s:%d: %d worker(s) still blocked at exit, left behind",
                                  "main", 130, Worker::Running());
    return false;
}

}  // namespace qnl
