// Upgrade::Firmware_Upgrade: one host's identification and programming under the programming
// lock.
#include <exception>

#include "controller/CInterctl.h"
#include "controller/CUtility.h"
#include "controller/ErrorCodes.h"
#include "firmware/Upgrade.h"
#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "platform/Files.h"
#include "platform/OperatorPrompts.h"
#include "platform/UsbTopology.h"
#include "settings/FileAccess.h"
#include "settings/SetReg.h"
#include "ui/UiTextTable.h"

namespace qnl {

namespace {
constexpr const char* kName = "Upgrade::Firmware_Upgrade";
constexpr std::uint32_t kKind1MinimumCapacity = 0x20000;
}  // namespace

std::int32_t Upgrade::Firmware_Upgrade(std::uint8_t hostIndex, const std::string& imagePath) {
    if (hostIndex >= kMaxHosts) return kErrInvalidParameter;
    CUtility& util = services_.g_Utility;
    UpgradeRunSnapshot run;
    run.image.path = imagePath;
    try {
        // The image is checked and read before the lock is taken: a file that cannot be read
        // touches nothing, and its message never waits for a click under the lock.
        if (!bCheckFileAccess(services_.prompts, imagePath, true)) return kErrFileNotFound;
        const std::int32_t rc = ReadFirmwareBytes(imagePath, run.image.bytes, services_.eventLog);
        if (rc != kOk) {
            services_.eventLog.LogMessage(
                kEventTypeError,
                "\r\n%s:%d:   Open Frimware bin file Failed!!strFwFullName[%s], (%d)\n", kName, 960,
                imagePath.c_str(), rc);
            return rc;
        }
        // The kind the image's own signature names decides the flash size it needs.
        run.image.kind = SignatureKind(run.image.bytes);
    } catch (const std::exception& e) {
        services_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:  dwErrorCode %d, what: %s",
                                      kName, 995, files::LastError(), e.what());
        return kErrIo;
    }
    const std::int32_t result = ProgramHost(run, hostIndex, util.hosts[hostIndex]);
    if (result == kOk) util.hosts[hostIndex].ucFwUpdateResult = 1;
    return result;
}

std::int32_t Upgrade::ProgramHost(const UpgradeRunSnapshot& run, std::uint8_t hostIndex,
                                  const TargetHost& host) {
    if (hostIndex >= kMaxHosts) return kErrInvalidParameter;
    // A worker that was stopped (or given up on) while it waited never gets the lock.
    RecoverableLockGuard lock(m_FWUpgCriticalSection);
    if (!lock.Owns()) return kErrTimeout;
    try {
        // The run's image bytes were read before: nothing here asks the operator anything, so
        // no box ever waits for a click while the other boards wait for this lock.
        if (run.image.bytes.empty()) return kErrDataNotMatch;

        const FlashPart part = services_.interctl.IdentifyFlash(host);
        if (part.IsNone()) {
            services_.eventLog.LogMessage(
                kEventTypeError, "\r\n%s:%d:   ucTargetNumber[%d], SPI -RoM Initial Failed...",
                kName, 972, hostIndex);
            return kErrIo;
        }
        // A second-generation image needs a part of at least 128 KB; nothing is written otherwise.
        if (run.image.kind == 1 && part.CapacityBytes() < kKind1MinimumCapacity) return kErrIo;

        return services_.interctl.Update_Firmware(
            hostIndex, host, part, run.image.bytes.data(),
            static_cast<std::uint32_t>(run.image.bytes.size()));
    } catch (const std::exception& e) {
        services_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:  dwErrorCode %d, what: %s",
                                      kName, 995, files::LastError(), e.what());
        return kErrIo;
    }
}

}  // namespace qnl
