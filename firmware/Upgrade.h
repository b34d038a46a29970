// The upgrade run: one prepared image for all hosts, one worker per host that programs its
// host under the programming lock and checks the result.
//
// This class carries the logic and state of the upgrade page; the page's Qt view (later)
// holds a reference to it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "controller/TargetHost.h"
#include "platform/Worker.h"

namespace qnl {

class ToolContext;

// One host's worker parameters. Each run has its own records, so a worker given up on by an
// earlier run never writes into a later one.
struct FWThreadParam {
    std::string strFWFilePath;
    std::uint8_t ucHostIndex = 0;
    std::atomic<std::uint8_t> ucFinished{0};  // 0 running, 1 finished, 2 skipped
    std::uint8_t ucTwoColumn = 0;
    std::uint8_t ucRunFlags = 0;  // 0x10 update, 0x20 check
    // The programming lock while this host's worker holds it (0 otherwise).
    std::atomic<RecoverableLock::Ticket> lockTicket{0};
};

class Upgrade {
public:
    explicit Upgrade(ToolContext& context);
    ~Upgrade();
    Upgrade(const Upgrade&) = delete;
    Upgrade& operator=(const Upgrade&) = delete;

    // --- The run over all hosts (firmware/UpgradeRun.cpp) ----------------------------------
    // True when every host finished within the time limit; false on an early failure (file,
    // version, configuration image) or a time-out.
    bool RunFirmwareUpgrade(std::uint8_t twoColumn, std::uint8_t runFlags);
    // One host's update and check. 1, or 0 after a failed update.
    std::uint32_t FWThreadFun(FWThreadParam& param);
    // True when a USB device is attached below one of the target controllers.
    bool bCheckConnectedUSBDevice();
    // Forgets the last run: its workers, host records and flags.
    void ResetRunState();
    // Waits (in real time, bounded) for workers that are still returning.
    void WaitForWorkers();

    // Set when every host has finished, passed the update, passed the check.
    std::atomic<std::uint8_t> m_ucRunDone{0};
    std::atomic<std::uint8_t> m_ucAllUpdated{0};
    std::atomic<std::uint8_t> m_ucAllChecked{0};
    // The firmware selected in the page's list (used when the page starts the run itself).
    std::string m_strComboFirmware;

    // --- Configuration image (firmware/ConfigRom.cpp) --------------------------------------
    // Builds the image that is programmed from the chosen firmware image and the settings,
    // and writes it as "Config_<version>.rom" in the tool folder. On success g_Utility's file
    // path names that file and its file length is the written length.
    bool vCreateConfigRomFile(const std::uint8_t* image, std::uint32_t length);

    // --- Programming one host (firmware/UpgradeProgramming.cpp) ----------------------------
    // Identifies the flash and programs the image file under the programming lock. 0 on
    // success (the host's firmware-update result is then 1), else nonzero. `param`, when
    // given, records the lock while it is held, so a supervisor that gives up on the worker
    // can release it.
    std::int32_t Firmware_Upgrade(std::uint8_t hostIndex, const std::string& imagePath,
                                  FWThreadParam* param = nullptr);

    // The programming lock: flash identification and programming run one host at a time.
    RecoverableLock m_FWUpgCriticalSection;

private:
    static int UpdateColumn(std::uint8_t twoColumn);
    static int CheckColumn(std::uint8_t twoColumn);
    void FailAllHosts(bool clearCheckResult);
    void ShowItemResult(std::uint8_t index, int column, const char* item, bool passed);
    void Tell(const std::string& boxText, const std::string& consoleText);

    ToolContext& ctx_;
    std::mutex runMutex_;
    std::array<std::shared_ptr<FWThreadParam>, kMaxHosts> m_Params;
    std::array<std::shared_ptr<Worker>, kMaxHosts> m_Workers;
    // Workers given up on at a time-out; they end on their own once stopped.
    std::vector<std::shared_ptr<Worker>> abandoned_;
    std::uint8_t runTwoColumn_ = 0;
};

}  // namespace qnl
