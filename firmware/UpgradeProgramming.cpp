// Upgrade::Firmware_Upgrade: one host's identification and programming, under the programming
// lock so that hosts are programmed one at a time (the retry shift of the chip interface is
// shared by all of them).
#include <algorithm>
#include <exception>
#include <vector>

#include "app/ToolContext.h"
#include "controller/ErrorCodes.h"
#include "firmware/Upgrade.h"
#include "platform/Files.h"

namespace qnl {

namespace {
constexpr const char* kFunction = "Upgrade::Firmware_Upgrade";
// A kind-1 image needs a part of at least this size.
constexpr std::uint32_t kKind1MinCapacity = 0x20000;
constexpr std::uint8_t kKind1 = 1;
}  // namespace

std::int32_t Upgrade::Firmware_Upgrade(std::uint8_t hostIndex, const std::string& imagePath) {
    std::unique_lock lock(m_FWUpgCriticalSection);
    CUtility& utility = ctx_.g_Utility;
    CInterctl& chip = ctx_.interctl;
    try {
        if (hostIndex >= kMaxHosts) return kErrInvalidParameter;

        // The image file must be there, and readable and writable.
        if (!files::IsReadWritableFile(imagePath)) {
            ctx_.prompts.ShowMessage(imagePath + " File/Path is not exist");
            return kErrFileNotFound;
        }

        // The whole file; the reader grows the buffer when the file has grown since its length
        // was taken.
        std::vector<std::uint8_t> image(utility.m_dwFWFileLength, 0);
        std::int32_t rc = utility.bOpenFWBinFile(imagePath, image);
        if (rc != kOk) {
            ctx_.eventLog.LogMessage(
                kEventTypeError,
                "\r\n%s:%d:   Open Frimware bin file Failed!!strFwFullName[%s], (%d)\n", kFunction,
                2581, imagePath.c_str(), rc);
            return rc;
        }
        const auto length = static_cast<std::uint32_t>(
            std::min<std::size_t>(utility.m_dwFWFileLength, image.size()));

        TargetHost& host = utility.Host(hostIndex);
        const FlashPart part = chip.IdentifyFlash(host);
        if (part.IsNone()) {
            ctx_.eventLog.LogMessage(kEventTypeError,
                                     "\r\n%s:%d:   ucTargetNumber[%d], SPI -RoM Initial Failed...",
                                     kFunction, 2594, hostIndex);
            return kErrIo;
        }

        // The file kind is the one the last firmware-file check recorded.
        if (utility.m_ucFileKind == kKind1 && part.CapacityBytes() < kKind1MinCapacity)
            return kErrIo;

        rc = chip.Update_Firmware(hostIndex, host, part, image.data(), length);
        if (rc == kOk) host.ucFwUpdateResult = 1;
        return rc;
    } catch (const std::exception&) {
        ctx_.eventLog.LogMessage(kEventTypeError, "\r\n%s:%d:  dwErrorCode %d", kFunction, 2611,
                                 files::LastError());
        return kErrIo;
    }
}

}  // namespace qnl
