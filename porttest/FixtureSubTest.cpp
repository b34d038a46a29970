#include "porttest/FixtureSubTest.h"

#include <exception>

#include "controller/ErrorCodes.h"
#include "platform/Files.h"
#include "porttest/SignalLineSubTest.h"
#include "porttest/UsbDeviceSearch.h"

namespace qnl {

std::int32_t FixtureSubTest(CXhci& xhci, TargetHost& host, IUsbTopology* topology,
                            std::uint32_t speed, std::uint32_t port, std::int32_t timeoutMs) {
    if (!IsTestSpeedAndPort(speed, port)) return kErrInvalidParameter;
    const std::uint32_t x = XhciPortFor(speed, port);
    const std::int32_t t = PortTimeoutMs(timeoutMs);
    std::int32_t rc = kOk;
    try {
        if ((rc = xhci.LoadRegisters(host)) != kOk) return rc;
        if (speed == kTestSpeedUsb31 && (rc = xhci.CheckSuperSpeedPlusLink(host, x)) != kOk)
            return rc;
        if ((rc = xhci.WaitPortEnabled(host, x, t)) != kOk) return rc;
        // The search's answer is this call's own: workers of other hosts search at once.
        std::uint8_t usbDeviceFound = 0;
        SearchConnectedUsbDevice(topology, usbDeviceFound);
        return usbDeviceFound == 1 ? kOk : kErrIo;
    } catch (const std::exception& e) {
        xhci.Log().LogMessage(kEventTypeError, "\r\n%s:%d: dwErrorCode %d, what: %s",
                              "FixtureSubTest", 31, files::LastError(), e.what());
        // The last code obtained, but never a pass for a test that did not finish.
        return rc != kOk ? rc : kErrIo;
    }
}

}  // namespace qnl
