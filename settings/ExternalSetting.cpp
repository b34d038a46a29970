#include "settings/ExternalSetting.h"

#include <algorithm>
#include <atomic>
#include <memory>

#include "controller/ErrorCodes.h"
#include "platform/Cancellation.h"
#include "platform/HexText.h"
#include "platform/Worker.h"

namespace qnl {

std::uint8_t ExternalPortByte(const IniSettings& ini) {
    std::uint8_t port = 0;
    if (ini.battery_charge_enable == 1) {
        if (ini.battery_charge_port_a == 1) port |= 0x01;
        if (ini.battery_charge_port_b == 1) port |= 0x02;
    }
    if (ini.disable_port_enable == 1) {
        if (ini.disable_port_a == 1) port |= 0x08;
        if (ini.disable_port_b == 1) port |= 0x10;
    }
    return port;
}

std::uint8_t ExternalDrivingByte(const IniSettings& ini) {
    const std::uint32_t a = ParseHexText(ToUpperAscii(ini.hs_curdriving_a));
    const std::uint32_t b = ParseHexText(ToUpperAscii(ini.hs_curdriving_b));
    return static_cast<std::uint8_t>(((b & 7u) << 3) | (a & 7u));
}

namespace {

// The writes of one host, in order. A write is not started once the caller gave up.
struct HostWrites {
    bool on = false;
    std::uint8_t port = 0;
    std::uint8_t driving = 0;
};

std::int32_t WriteHost(CInterctl& interctl, const TargetHost& host, const HostWrites& w) {
    const auto write = [&](std::uint32_t address, std::uint32_t length,
                           const std::uint8_t* data) -> std::int32_t {
        if (StopRequested()) return kErrTimeout;
        return interctl.WriteMemory(host, address, length, data);
    };
    if (!w.on) return write(kExtMarkerAddress, 4, kExtMarkerOff);
    std::int32_t rc = write(kExtMarkerAddress, 4, kExtMarkerOn);
    if (rc >= 0) rc = write(kExtPortByteAddress, 1, &w.port);
    if (rc >= 0) rc = write(kExtDrivingByteAddress, 1, &w.driving);
    return rc;
}

// Runs one host's writes on a worker and waits for it within the limit. A host that has not
// answered by then is given up on: its worker is asked to stop (the blocked mailbox call
// returns) and writes nothing more.
std::int32_t WriteHostBounded(CInterctl& interctl, const TargetHost& host, const HostWrites& w) {
    auto rc = std::make_shared<std::atomic<std::int32_t>>(kErrTimeout);
    auto record = std::make_shared<TargetHost>(host);
    auto worker =
        Worker::Start([&interctl, record, w, rc] { rc->store(WriteHost(interctl, *record, w)); });
    if (!WaitFinishedWithin(*worker, interctl.Clock(), kExternalWriteAnswerMs,
                            std::chrono::milliseconds(kExternalWriteMinRealMs))) {
        // Kept until it returns: the tool's end waits for it before the chip interface goes.
        interctl.KeepGivenUpWorker(worker);
        interctl.Log().LogMessage(kEventTypeError,
                                  "\r\n%s:%d: Bus=%d, Device=%d, Function=%d does not answer "
                                  "within %d ms, dwErrorCode %d",
                                  "PageDevice::vWriteExternalSetting", 2101, host.ucBus,
                                  host.ucDevice, host.ucFunction,
                                  static_cast<int>(kExternalWriteAnswerMs), kErrTimeout);
        return kErrTimeout;
    }
    return rc->load();
}

}  // namespace

ExternalSettingResult WriteExternalSetting(CInterctl& interctl, IniSettings& ini) {
    ExternalSettingResult result;
    const CUtility& util = interctl.Utility();
    const std::size_t count = std::min<std::size_t>(util.ucHostCount, kMaxHosts);
    if (count == 0) return result;

    HostWrites writes;
    writes.on = ini.ext_setting_enable == 1;
    if (writes.on) {
        writes.port = ExternalPortByte(ini);
        ini.hs_curdriving_enable = 1;
        writes.driving = ExternalDrivingByte(ini);
    }
    int counted = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const TargetHost& host = util.Host(i);
        if (!host.Served() || host.ucKind != 1) continue;
        ++counted;
        const std::int32_t rc = WriteHostBounded(interctl, host, writes);
        if (rc < 0) {
            interctl.Log().LogMessage(kEventTypeError,
                                      "\r\n%s:%d: Set External Register Error!! host %d, "
                                      "dwErrorCode %d",
                                      "PageDevice::vWriteExternalSetting", 2102,
                                      static_cast<int>(i), rc);
            result.outcome = ExternalSettingResult::Outcome::Error;
            return result;
        }
        ++result.hostsWritten;
    }
    if (counted > 0) result.outcome = ExternalSettingResult::Outcome::Success;
    return result;
}

}  // namespace qnl
