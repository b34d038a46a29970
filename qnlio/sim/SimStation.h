// The simulated station: the I/O library over a set of simulated PCI functions.
//
// Calls are routed by bus/device/function (low 8 bits each) to the controllers and the unrelated
// devices of the station. A function that is not there reads all ones and ignores writes; the
// mailbox of an address with no controller never answers (-9). Calls for different controllers
// may come from different threads at once; each controller has its own lock.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "qnlio/IQnlIo.h"
#include "qnlio/sim/SimController.h"
#include "qnlio/sim/StationConfig.h"

namespace qnl::sim {

class SimStation final : public IQnlIo {
  public:
    // Creates missing flash files (erased) and boots every controller. Throws StationError when a
    // flash file cannot be read or created or has the wrong size.
    SimStation(StationConfig config, IClock& clock);
    // Writes back modified flash.
    ~SimStation() override;
    SimStation(const SimStation&) = delete;
    SimStation& operator=(const SimStation&) = delete;

    std::uint32_t LoadQnlIODriver() override;
    void UnloadQnlIODriver() override;

    std::uint32_t PCI_Read_DWORD(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                                 std::uint32_t offset) override;
    std::uint8_t PCI_Read_BYTE(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                               std::uint32_t offset) override;
    void PCI_Write_DWORD(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                         std::uint32_t offset, std::uint32_t value) override;
    void PCI_Write_Byte(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                        std::uint32_t offset, std::uint32_t value) override;

    MappedAddress MapQnlIO(std::uint32_t physicalAddress, std::uint32_t size) override;
    void UnmapQnlIO(MappedAddress address, std::uint32_t size) override;
    std::int32_t ReadMEM(MappedAddress address, std::uint32_t width,
                         std::uint32_t* result) override;
    std::int32_t WriteMEM(MappedAddress address, std::uint32_t width,
                          const std::uint32_t* value) override;

    std::int32_t WriteCmdALL(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                             std::uint32_t command, std::uint32_t space, std::uint32_t length,
                             std::uint32_t address, std::uint32_t dataLow,
                             std::uint32_t dataHigh) override;
    std::int32_t Wait_Write_Ready(std::uint32_t bus, std::uint32_t device,
                                  std::uint32_t function) override;
    std::int32_t Wait_Read_Ready(std::uint32_t bus, std::uint32_t device,
                                 std::uint32_t function) override;
    std::int32_t ReadCMD(std::uint32_t bus, std::uint32_t device, std::uint32_t function,
                         std::uint8_t* reply) override;

    // Inspection and fault injection for tests.
    const StationConfig& Config() const { return config_; }
    std::size_t ControllerCount() const { return controllers_.size(); }
    SimController& Controller(std::size_t index);  // station-file order; throws out_of_range
    bool DriverLoaded() const;
    std::size_t MappingCount() const;  // windows mapped and not yet unmapped

    // Writes every modified flash file now. False when one failed; `error` names it.
    bool WriteBackAll(std::string& error);

    // --- Plugging and unplugging while the station runs ---------------------------------------
    // What sits in root port `xhciPort` (1..4) of controller `controller` now; null when
    // nothing (or no such port). The attachment stays valid as long as the station.
    const UsbAttachment* PortAttachment(std::size_t controller, std::uint32_t xhciPort) const;
    // Plugs `what` into a root port, or pulls out what is there (nullopt). The controller's
    // registers see it at once; the operating system's view (SimUsbTopology made with this
    // station) too; then every plug listener hears of each device that went and came (a hub
    // with what hangs below it; a loop-back plug is not enumerated and makes no event). False,
    // with `error` set, for a port the station does not have.
    bool Plug(std::size_t controller, std::uint32_t xhciPort, std::optional<UsbAttachment> what,
              std::string& error);
    struct PlugEvent {
        bool arrived = false;  // false: removed
        std::size_t controller = 0;
        std::uint32_t xhciPort = 0;
        std::uint16_t vendorId = 0;
        std::uint16_t productId = 0;
    };
    using PlugListener = std::function<void(const PlugEvent&)>;
    // Listeners run on the thread that plugs, after the change; RemovePlugListener returns once
    // the listener is no longer running and will not be called again.
    int AddPlugListener(PlugListener listener);
    void RemovePlugListener(int token);

  private:
    // A present function that is not a controller: fixed identification, no mailbox.
    struct OtherDevice {
        std::array<std::uint8_t, SimController::kConfigBytes> configSpace{};
    };
    struct Mapping {
        std::size_t controller = 0;
        std::uint32_t offset = 0;  // of the window inside the register region
        std::uint32_t size = 0;
    };

    static std::uint32_t Key(std::uint32_t bus, std::uint32_t device, std::uint32_t function);
    SimController* ControllerAt(std::uint32_t bus, std::uint32_t device, std::uint32_t function);
    const OtherDevice* OtherAt(std::uint32_t bus, std::uint32_t device,
                               std::uint32_t function) const;
    // The controller and register offset a mapped address reaches; false for a bad address.
    bool Resolve(MappedAddress address, std::size_t& controller, std::uint32_t& offset) const;

    const StationConfig config_;
    std::vector<std::unique_ptr<SimController>> controllers_;
    std::vector<OtherDevice> others_;
    std::map<std::uint32_t, std::size_t> controllerByKey_;  // fixed after construction
    std::map<std::uint32_t, std::size_t> otherByKey_;

    // Root-port attachments now, per controller (pointers into config_ or plugged_).
    mutable std::mutex plugMutex_;
    std::vector<std::array<const UsbAttachment*, kRootPortCount>> livePorts_;
    std::deque<UsbAttachment> plugged_;  // everything plugged while running, kept for good
    std::recursive_mutex listenersMutex_;
    std::map<int, PlugListener> plugListeners_;
    int nextListener_ = 1;

    mutable std::mutex mutex_;  // guards the two fields below
    bool driverLoaded_ = false;
    std::map<MappedAddress, Mapping> mappings_;  // by handle
    MappedAddress nextHandle_;
};

}  // namespace qnl::sim
