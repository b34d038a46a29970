#include "porttest/SignalLineSubTest.h"

#include <exception>

#include "controller/ErrorCodes.h"
#include "platform/Files.h"

namespace qnl {

std::int32_t SignalLineSubTest(CXhci& xhci, TargetHost& host, std::uint32_t speed,
                               std::uint32_t port, std::int32_t timeoutMs) {
    if (!IsTestSpeedAndPort(speed, port)) return kErrInvalidParameter;
    const std::uint32_t x = XhciPortFor(speed, port);
    const std::int32_t t = PortTimeoutMs(timeoutMs);
    std::int32_t rc = kOk;
    try {
        if ((rc = xhci.LoadRegisters(host)) != kOk) return rc;
        if ((rc = xhci.ResetHostController(host)) != kOk) return rc;
        if (!xhci.Clock().SleepMs(100)) return kErrTimeout;
        // The port must show power and a connected device.
        if ((rc = xhci.PowerPortAndWaitConnect(host, x, t)) != kOk) return rc;
        xhci.SetMaxSlotsEnabled(host);
        xhci.RunHostController(host);
        if (speed == kTestSpeedUsb31 && (rc = xhci.CheckSuperSpeedPlusLink(host, x)) != kOk) {
            return rc;
        }
        // Both USB 2.0 ports are reset whatever port is under test; only a USB 2.0 test
        // depends on it.
        rc = xhci.ResetPort(host, 3, t);
        if (rc == kOk) rc = xhci.ResetPort(host, 4, t);
        if (rc != kOk && speed == kTestSpeedUsb20) return rc;
        if ((rc = xhci.WaitPortEnabled(host, x, t)) != kOk) return rc;
        return xhci.Chip().RunTestCommand(host, x);
    } catch (const std::exception& e) {
        xhci.Log().LogMessage(kEventTypeError, "\r\n%s:%d: dwErrorCode %d, what: %s",
                              "SignalLineSubTest", 52, files::LastError(), e.what());
        return rc != kOk ? rc : kErrIo;
    }
}

}  // namespace qnl
