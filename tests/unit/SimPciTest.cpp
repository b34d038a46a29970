// Configuration space and the register window of the simulated station.
#include <gtest/gtest.h>

#include "qnlio/ChipIdTable.h"
#include "support/SimTestHelpers.h"

namespace qnl::sim {
namespace {

using namespace qnl::mailbox;
using simtest::MakeStation;
using simtest::TempFolder;

class SimPci : public ::testing::Test {
  protected:
    void SetUp() override {
        station = MakeStation(folder, R"({ "controllers": [
            { "bus": 5, "kind": 0, "model": 2, "bar0": "0xE0000000" },
            { "bus": 6, "device": 1, "function": 3, "kind": 1, "model": 1,
              "default_svid": "1d6a", "default_ssid": "1234" } ],
          "other_devices": [ { "bus": 0, "device": 2, "vendor": "8086", "device_id": "3e92" } ] })",
                              clock);
        ASSERT_TRUE(station);
    }
    TempFolder folder;
    ManualClock clock;
    std::unique_ptr<SimStation> station;
};

TEST_F(SimPci, ControllersIdentifyByTheirKindAndModel) {
    EXPECT_EQ(station->PCI_Read_DWORD(5, 0, 0, 0), kKind0Ids[2].ConfigDword0());
    EXPECT_EQ(station->PCI_Read_DWORD(6, 1, 3, 0), kKind1Ids[1].ConfigDword0());
    EXPECT_EQ(station->PCI_Read_DWORD(5, 0, 0, 0x08) >> 8, SimController::kClassCodeXhci);
    EXPECT_EQ(station->PCI_Read_DWORD(5, 0, 0, CFG_BAR0), 0xE0000000u);
    EXPECT_EQ(station->PCI_Read_DWORD(6, 1, 3, 0x2C), 0x12341D6Au);  // from data memory at boot
    EXPECT_EQ(station->PCI_Read_BYTE(6, 1, 3, 0x2E), 0x34);
    EXPECT_EQ(station->PCI_Read_DWORD(0, 2, 0, 0), 0x3E928086u);
    // Only the low 8 bits of the address count.
    EXPECT_EQ(station->PCI_Read_DWORD(0x105, 0x100, 0x800, 0), kKind0Ids[2].ConfigDword0());
}

TEST_F(SimPci, AbsentFunctionsAndOffsetsPastTheSpaceReadAllOnes) {
    EXPECT_EQ(station->PCI_Read_DWORD(5, 0, 1, 0), 0xFFFFFFFFu);
    EXPECT_EQ(station->PCI_Read_BYTE(7, 0, 0, 0), 0xFF);
    EXPECT_EQ(station->PCI_Read_DWORD(5, 0, 0, 0x100), 0xFFFFFFFFu);
    EXPECT_EQ(station->PCI_Read_BYTE(5, 0, 0, 0x100), 0xFF);
    EXPECT_EQ(station->PCI_Read_DWORD(0, 2, 0, 0x1000), 0xFFFFFFFFu);
    station->PCI_Write_DWORD(7, 0, 0, 0, 0x12345678);  // ignored, no crash
    EXPECT_EQ(station->PCI_Read_DWORD(7, 0, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(station->WriteCmdALL(7, 0, 0, CMD_MEM_READ, SPACE_XDATA, 1, 0, 0, 0), -9);
}

TEST_F(SimPci, IdentificationIsReadOnlyAndBarSizingShows64KB) {
    station->PCI_Write_DWORD(5, 0, 0, 0, 0);
    EXPECT_EQ(station->PCI_Read_DWORD(5, 0, 0, 0), kKind0Ids[2].ConfigDword0());
    station->PCI_Write_DWORD(5, 0, 0, CFG_BAR0, 0xFFFFFFFF);
    EXPECT_EQ(station->PCI_Read_DWORD(5, 0, 0, CFG_BAR0), 0xFFFF0000u);
    station->PCI_Write_DWORD(5, 0, 0, CFG_BAR0, 0xE0000000);
    EXPECT_EQ(station->PCI_Read_DWORD(5, 0, 0, CFG_BAR0), 0xE0000000u);
}

TEST_F(SimPci, RegisterWindowMapsOnlyInsideARegisterRegion) {
    EXPECT_EQ(station->MapQnlIO(0xD0000000, 0x1000), 0u);
    EXPECT_EQ(station->MapQnlIO(0xE000F800, 0x1000), 0u) << "runs past the 64 KB region";
    const MappedAddress window = station->MapQnlIO(0xE0000000, 0x1000);
    ASSERT_NE(window, 0u);
    std::uint32_t value = 0;
    ASSERT_EQ(station->ReadMEM(window, 1, &value), 0);
    EXPECT_EQ(value, 0x20u);  // CAPLENGTH
    ASSERT_EQ(station->ReadMEM(window + 3, 1, &value), 0);
    EXPECT_EQ(value, 0x01u);  // HCIVERSION high byte
    EXPECT_EQ(station->ReadMEM(window, 4, &value), -1) << "only byte access";
    EXPECT_EQ(station->ReadMEM(window + 0x1000, 1, &value), -1) << "past the window";

    const std::uint32_t byte = 0x5A;
    constexpr std::uint32_t kDnctrl = 0x34;  // a plain read/write operational register
    ASSERT_EQ(station->WriteMEM(window + kDnctrl, 1, &byte), 0);
    const MappedAddress second = station->MapQnlIO(0xE0000000, 0x1000);
    ASSERT_EQ(station->ReadMEM(second + kDnctrl, 1, &value), 0);
    EXPECT_EQ(value, 0x5Au) << "two windows over the same registers";
    ASSERT_EQ(station->WriteMEM(second, 1, &byte), 0);
    ASSERT_EQ(station->ReadMEM(second, 1, &value), 0);
    EXPECT_EQ(value, 0x20u) << "capability registers are read-only";

    station->UnmapQnlIO(window, 0x1000);
    EXPECT_EQ(station->ReadMEM(window, 1, &value), -1);
    EXPECT_EQ(station->MappingCount(), 1u);
    station->Controller(0).DropOffBusAtCommand(0);
    ASSERT_EQ(station->ReadMEM(second + kDnctrl, 1, &value), 0);
    EXPECT_EQ(value, 0xFFu);
}

}  // namespace
}  // namespace qnl::sim
