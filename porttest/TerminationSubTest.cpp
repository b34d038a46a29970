#include "porttest/TerminationSubTest.h"

#include <exception>

#include "controller/ErrorCodes.h"
#include "platform/Files.h"

namespace qnl {

std::int32_t TerminationSubTest(CXhci& xhci, TargetHost& host, std::uint32_t port) {
    if (port != 1 && port != 2) return kErrInvalidParameter;
    std::int32_t rc = kOk;
    try {
        if ((rc = xhci.LoadRegisters(host)) != kOk) return rc;
        if ((rc = xhci.ResetHostController(host)) != kOk) return rc;
        xhci.SetMaxSlotsEnabled(host);
        xhci.RunHostController(host);
        if (!xhci.Clock().SleepMs(200)) return kErrTimeout;
        rc = xhci.TerminationCheck(host, port);
        // The disabled link needs a warm reset to come back; the controller is left halted.
        xhci.WarmResetPort(host, port);
        xhci.ResetHostController(host);
        xhci.HaltHostController(host);
        return rc;
    } catch (const std::exception& e) {
        xhci.Log().LogMessage(kEventTypeError, "\r\n%s:%d: dwErrorCode %d, what: %s",
                              "TerminationSubTest", 27, files::LastError(), e.what());
        return rc != kOk ? rc : kErrIo;
    }
}

}  // namespace qnl
