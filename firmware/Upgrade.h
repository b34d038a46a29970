// The upgrade run: one prepared image for all hosts, one worker per host that programs its
// host under the programming lock and checks the result.
//
// This class carries the logic and state of the upgrade page; the page's Qt view (later)
// holds a reference to it.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "controller/RunReporter.h"
#include "controller/TargetHost.h"
#include "image/ImageCheck.h"
#include "platform/Worker.h"
#include "settings/CIni.h"

namespace qnl {

class CEventLog;
class CInterctl;
class CUtility;
class IClock;
class IOperatorPrompts;
class IUsbTopology;
class SET_REG;
struct UiTextTable;

// What the upgrade run uses of the tool: its clock, the operator's messages, the diagnostic log,
// the host table, the chip interface, the USB view, the reporter, the
// texts, the settings (a run takes a copy of their values at its start) and the run flags.
struct UpgradeServices {
    IClock& clock;
    IOperatorPrompts& prompts;
    CEventLog& eventLog;
    CUtility& g_Utility;
    CInterctl& interctl;
    IUsbTopology* usbTopology;
    IRunReporter& reporter;
    const UiTextTable& uiText;
    const IniSettings& ini;
    const SET_REG& setReg;
    const std::atomic<bool>& consoleMode;
    const std::atomic<bool>& runFromMain;
};

// The image a run programs and checks against, as the run built it from the chosen file.
struct ProgrammedImage {
    std::string path;                 // where it was written ("Config_<version>.rom")
    std::vector<std::uint8_t> bytes;  // what is programmed
    std::string version;              // the chosen firmware's version
    std::uint8_t kind = 0;            // the chosen firmware's kind and variant
    std::uint8_t variant = 0;
};

// What one upgrade run works with, taken when it starts. Its workers read nothing else, so the
// settings and the firmware state may change while the run is active (and a worker given up on
// never sees a later run's values).
struct UpgradeRunSnapshot {
    IniSettings settings;
    ResultLayout layout = ResultLayout::Main;
    std::uint8_t runFlags = 0;  // 0x10 update, 0x20 check
    bool consoleMode = false;
    std::string firmwareName;                   // the name chosen (settings or page list)
    ProgrammedImage image;                      // what is programmed and checked against
    std::array<TargetHost, kMaxHosts> hosts{};  // the host records when the run started
    std::uint8_t hostCount = 0;
};

// What an upgrade run did.
struct UpgradeOutcome {
    bool finished = false;    // every host finished within the time limit (false after an early
                              // failure: file, version, configuration image; or a time-out)
    bool allUpdated = false;  // the update is on and every started host passed it
    bool allChecked = false;  // the check is on and every started host passed it
    std::string chosenPath;   // the chosen firmware file, as resolved
    std::optional<ProgrammedImage> image;  // the image, once it was built
};

// Who started an upgrade run and how it talks: the MP run (the settings' firmware name) or
// the page's own button (the list's choice); console lines or not.
struct UpgradeRunMode {
    bool fromMain = true;
    bool console = false;
};

class Upgrade {
  public:
    explicit Upgrade(const UpgradeServices& services);
    ~Upgrade();
    Upgrade(const Upgrade&) = delete;
    Upgrade& operator=(const Upgrade&) = delete;

    // --- The run over all hosts (firmware/UpgradeRun.cpp) ----------------------------------
    // Loads the chosen firmware file once, builds the configuration image, programs and checks
    // every host. `settings`: the values the run uses (taken when it was started); without
    // them, the settings as they are now.
    UpgradeOutcome RunFirmwareUpgrade(std::uint8_t twoColumn, std::uint8_t runFlags);
    UpgradeOutcome RunFirmwareUpgrade(std::uint8_t twoColumn, std::uint8_t runFlags,
                                      const IniSettings& settings, const UpgradeRunMode& mode);
    // One host's update and check. 1, or 0 after a failed update.
    std::uint32_t FWThreadFun(const std::shared_ptr<const UpgradeRunSnapshot>& run,
                              std::uint8_t index);
    // True when a USB device is attached below one of the target controllers.
    bool bCheckConnectedUSBDevice();
    // Forgets the last run: its workers, host records and flags.
    void ResetRunState();
    // Asks every worker (also those given up on) to stop and waits for them, at most `timeout`
    // in real time; false when some are still returning.
    bool WaitForWorkers(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // Set when the run has ended (the page's button waits for it).
    std::atomic<std::uint8_t> m_ucRunDone{0};
    // The firmware selected in the page's list (used when the page starts the run itself).
    std::string m_strComboFirmware;

    // --- Configuration image (firmware/ConfigRom.cpp) --------------------------------------
    // Builds the image that is programmed from a loaded firmware file and a run's settings
    // (BuildConfigImage) and writes it as "Config_<version>.rom" in the tool folder. Nothing
    // when it cannot be built or written (every host's update result is then 0).
    std::optional<ProgrammedImage> vCreateConfigRomFile(const FirmwareFile& firmware,
                                                        const IniSettings& settings);

    // --- Programming one host (firmware/UpgradeProgramming.cpp) ----------------------------
    // Reads the image file, identifies the flash and programs the image under the programming
    // lock (a second-generation image, by its signature, needs a part of 128 KB). 0 on success
    // (the host's firmware-update result is then 1), else nonzero.
    std::int32_t Firmware_Upgrade(std::uint8_t hostIndex, const std::string& imagePath);
    // A run's worker programs its host: the run's image bytes onto `host` (the worker's copy of
    // the record), under the programming lock. 0 on success.
    std::int32_t ProgramHost(const UpgradeRunSnapshot& run, std::uint8_t hostIndex,
                             const TargetHost& host);

    // The programming lock: flash identification and programming run one host at a time.
    RecoverableLock m_FWUpgCriticalSection;

  private:
    // Every host of the table fails the run's items (`runFlags`: 0x10 update, 0x20 check).
    void FailAllHosts(ResultLayout layout, std::uint8_t runFlags, bool clearCheckResult);
    // Shows FAIL for the run's items of one host (an item outside the run stays blank).
    void FailRunItems(ResultLayout layout, std::uint8_t runFlags, std::uint8_t index,
                      std::int32_t errorCode, const std::string& text);
    // With a USB device below a target controller: the window asks the operator to remove it
    // (Retry or Cancel), the console looks every second until the run's limit. True once no
    // device is found; false when the operator cancelled, the limit passed or the run stopped.
    bool WaitUntilNoUsbDevice(bool console);
    void ShowItemResult(const UpgradeRunSnapshot& run, std::uint8_t index, ResultItem item,
                        const char* name, bool passed);
    void Tell(const std::string& boxText, const std::string& consoleText);

    UpgradeServices services_;
    std::mutex runMutex_;
    // The workers of the current run; earlier runs' groups whose workers were given up on.
    std::shared_ptr<WorkerGroup> group_;
    std::vector<std::shared_ptr<WorkerGroup>> abandoned_;
};

}  // namespace qnl
