// Upgrade::Firmware_Upgrade: one host's identification and programming under the programming
// lock.
#include <exception>

#include "app/ToolContext.h"
#include "controller/ErrorCodes.h"
#include "firmware/Upgrade.h"
#include "platform/Files.h"
#include "settings/FileAccess.h"

namespace qnl {

namespace {
constexpr const char* kName = "Upgrade::Firmware_Upgrade";
constexpr std::uint32_t kKind1MinimumCapacity = 0x20000;
}  // namespace

std::int32_t Upgrade::Firmware_Upgrade(std::uint8_t hostIndex, const std::string& imagePath,
                                       FWThreadParam* param) {
    if (hostIndex >= kMaxHosts) return kErrInvalidParameter;
    RecoverableLockGuard lock(m_FWUpgCriticalSection);
    if (!lock.Owns()) return kErrTimeout;  // given up on while waiting for the lock
    if (param != nullptr) param->lockTicket = lock.Ticket();
    struct ForgetTicket {
        FWThreadParam* param;
        ~ForgetTicket() {
            if (param != nullptr) param->lockTicket = 0;
        }
    } forget{param};

    try {
        CUtility& util = ctx_.g_Utility;
        if (!bCheckFileAccess(ctx_.prompts, imagePath, true)) return kErrFileNotFound;

        std::vector<std::uint8_t> image(util.m_dwFWFileLength, 0);
        const std::int32_t rc = util.bOpenFWBinFile(imagePath, image);
        if (rc != kOk) {
            ctx_.eventLog.LogMessage(
                kEventTypeError,
                "\r\n%s:%d:   Open Frimware bin file Failed!!strFwFullName[%s], (%d)\n", kName, 960,
                imagePath.c_str(), rc);
            return rc;
        }
        const std::uint32_t length = util.m_dwFWFileLength;

        TargetHost& host = util.hosts[hostIndex];
        const FlashPart part = ctx_.interctl.IdentifyFlash(host);
        if (part.IsNone()) {
            ctx_.eventLog.LogMessage(kEventTypeError,
                                     "\r\n%s:%d:   ucTargetNumber[%d], SPI -RoM Initial Failed...",
                                     kName, 972, hostIndex);
            return kErrIo;
        }
        // A second-generation image needs a part of at least 128 KB; nothing is written otherwise.
        if (util.m_ucFileKind == 1 && part.CapacityBytes() < kKind1MinimumCapacity) return kErrIo;

        const std::int32_t result =
            ctx_.interctl.Update_Firmware(hostIndex, host, part, image.data(), length);
        if (result == kOk) host.ucFwUpdateResult = 1;
        return result;
    } catch (const std::exception&) {
        // Allocation of the image buffer, or anything else unexpected: the host fails.
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:  dwErrorCode %d", kName, 995,
                                 files::LastError());
        return kErrIo;
    }
}

}  // namespace qnl
