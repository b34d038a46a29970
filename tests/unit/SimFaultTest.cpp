// Injected faults: failed commands, a microcontroller that stops answering, a controller that
// drops off the bus, bits that flip on flash reads, and a driver that does not load.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "support/SimTestHelpers.h"
#include "platform/Cancellation.h"

namespace qnl::sim {
namespace {

using namespace qnl::mailbox;
using simtest::Address;
using simtest::MakeStation;
using simtest::Post;
using simtest::ReadMemory;
using simtest::TempFolder;
using simtest::WriteXdata;

constexpr Address kHost0{1, 0, 0};
constexpr Address kHost1{2, 0, 0};

class SimFault : public ::testing::Test {
  protected:
    void SetUp() override {
        station =
            MakeStation(folder, R"({ "controllers": [ { "bus": 1 }, { "bus": 2 } ] })", clock);
        ASSERT_TRUE(station);
    }
    SimController& Host0() { return station->Controller(0); }

    TempFolder folder;
    ManualClock clock;
    std::unique_ptr<SimStation> station;
};

TEST_F(SimFault, NthCommandFailsOnceWithoutEffect) {
    Host0().FailNthCommand(2);
    EXPECT_EQ(WriteXdata(*station, kHost0, 0x100, {0x11}), 0);
    EXPECT_EQ(WriteXdata(*station, kHost0, 0x101, {0x22}), -1);
    EXPECT_EQ(WriteXdata(*station, kHost0, 0x101, {0x33}), 0);
    EXPECT_EQ(Host0().XdataByte(0x100), 0x11);
    EXPECT_EQ(Host0().XdataByte(0x101), 0x33);
    EXPECT_EQ(WriteXdata(*station, kHost1, 0x101, {0x44}), 0) << "other controllers unaffected";
}

TEST_F(SimFault, CommandAtAddressFailsEveryTime) {
    Host0().FailCommandAt(CMD_MEM_READ, 0x80);
    std::uint8_t out[8];
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ReadMemory(*station, kHost0, SPACE_FWINFO, 0x80, 6, out), -1);
    EXPECT_EQ(ReadMemory(*station, kHost0, SPACE_FWINFO, 0x88, 6, out), 0);
    EXPECT_EQ(WriteXdata(*station, kHost0, 0x80, {1}), 0) << "other command at the address";
    Host0().FailCommandAt(std::nullopt, 0x80);
    EXPECT_EQ(WriteXdata(*station, kHost0, 0x80, {1}), -1);
    Host0().ClearFaults();
    EXPECT_EQ(ReadMemory(*station, kHost0, SPACE_FWINFO, 0x80, 6, out), 0);
}

TEST_F(SimFault, HangBlocksOnlyItsCallerUntilItsStopTokenIsRequested) {
    Host0().HangFromCommand(2);
    std::uint8_t out[8];
    ASSERT_EQ(ReadMemory(*station, kHost0, SPACE_XDATA, 0, 1, out), 0);

    std::stop_source stop;
    auto worker = std::async(std::launch::async, [&] {
        StopTokenScope scope(stop.get_token());
        std::uint8_t data[8];
        return ReadMemory(*station, kHost0, SPACE_XDATA, 0, 1, data);
    });
    EXPECT_EQ(worker.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);

    // Nothing the hung caller holds stands in anyone's way.
    EXPECT_EQ(ReadMemory(*station, kHost1, SPACE_XDATA, 0, 1, out), 0);
    EXPECT_EQ(station->PCI_Read_DWORD(1, 0, 0, 0), 0x73501E73u);
    EXPECT_EQ(Host0().CommandCount(), 2u);

    const auto asked = std::chrono::steady_clock::now();
    stop.request_stop();
    ASSERT_EQ(worker.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(worker.get(), -9);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(1));

    // Still hung for the next caller, until the fault is cleared.
    std::stop_source again;
    again.request_stop();
    StopTokenScope scope(again.get_token());
    EXPECT_EQ(station->Wait_Read_Ready(1, 0, 0), -9);
    Host0().ClearFaults();
    EXPECT_EQ(ReadMemory(*station, kHost0, SPACE_XDATA, 0, 1, out), 0);
}

TEST_F(SimFault, ClearingTheFaultReleasesAHungCallerWithoutAStopToken) {
    Host0().HangFromCommand(1);
    auto worker = std::async(std::launch::async, [&] {
        std::uint8_t data[8];
        return ReadMemory(*station, kHost0, SPACE_XDATA, 0, 1, data);  // no stop token at all
    });
    // The command has arrived (a busy machine may take longer than any fixed wait to get
    // there); clearing the fault before it would let the read pass.
    for (int i = 0; i < 5000 && Host0().CommandCount() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(worker.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);
    Host0().ClearFaults();
    EXPECT_EQ(worker.get(), -9);
}

TEST_F(SimFault, ControllerOffTheBusReadsAllOnesAndNeverAnswers) {
    Host0().DropOffBusAtCommand(2);
    ASSERT_EQ(WriteXdata(*station, kHost0, 0x100, {1}), 0);
    EXPECT_EQ(station->WriteCmdALL(1, 0, 0, CMD_MEM_WRITE, SPACE_XDATA, 1, 0x100, 2, 0), -9);
    EXPECT_EQ(station->PCI_Read_DWORD(1, 0, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(station->PCI_Read_BYTE(1, 0, 0, CFG_MAILBOX_DATA0), 0xFF);
    EXPECT_EQ(station->Wait_Write_Ready(1, 0, 0), -9);
    EXPECT_EQ(station->Wait_Read_Ready(1, 0, 0), -9);
    std::array<std::uint8_t, kReplyRecordBytes> reply{};
    EXPECT_EQ(station->ReadCMD(1, 0, 0, reply.data()), -9);
    EXPECT_EQ(reply[REPLY_DATA_OFFSET], 0xFF);
    EXPECT_FALSE(Host0().OnBus());
    EXPECT_EQ(Host0().XdataByte(0x100), 1) << "the dropped command had no effect";
    EXPECT_EQ(station->PCI_Read_DWORD(2, 0, 0, 0), 0x73501E73u);
}

TEST_F(SimFault, FlippedBitsShowOnReadsCoveringTheAddressOnly) {
    Host0().SetFlashContents(std::vector<std::uint8_t>(64, 0x5A));
    Host0().FlipBitsOnFlashRead(0x10, 0x01, 2);
    std::array<std::uint8_t, 8> out{};
    ASSERT_EQ(ReadMemory(*station, kHost0, SPACE_SPI, 0x00, 8, out.data()), 0);
    EXPECT_EQ(out[0], 0x5A) << "not covering 0x10: no flip used up";
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(ReadMemory(*station, kHost0, SPACE_SPI, 0x0C, 8, out.data()), 0);
        EXPECT_EQ(out[4], 0x5B);
        EXPECT_EQ(out[3], 0x5A);
    }
    ASSERT_EQ(ReadMemory(*station, kHost0, SPACE_SPI, 0x10, 1, out.data()), 0);
    EXPECT_EQ(out[0], 0x5A);
    EXPECT_EQ(Host0().FlashContents()[0x10], 0x5A) << "the flash itself stays right";
}

TEST(SimFaultFromStationFile, FaultsAndDriverFailureComeFromTheFile) {
    TempFolder folder;
    ManualClock clock;
    auto station = MakeStation(folder, R"({ "driver_load_fails": true, "controllers": [
        { "bus": 1, "faults": { "fail_command": 1, "fail_at": [ { "command": "0x23", "address": "0x200" } ],
                                "flip_on_read": [ { "address": "0x3", "mask": "0x80" } ] } },
        { "bus": 2, "faults": { "off_bus_at_command": 0 } } ] })",
                               clock);
    ASSERT_TRUE(station);
    EXPECT_EQ(station->LoadQnlIODriver(), 0u);
    EXPECT_EQ(WriteXdata(*station, kHost0, 0x100, {1}), -1);
    EXPECT_EQ(WriteXdata(*station, kHost0, 0x100, {1}), 0);
    EXPECT_EQ(WriteXdata(*station, kHost0, 0x200, {1}), -1);
    std::uint8_t byte = 0;
    ASSERT_EQ(ReadMemory(*station, kHost0, SPACE_SPI, 0x3, 1, &byte), 0);
    EXPECT_EQ(byte, 0x7F);
    EXPECT_EQ(station->PCI_Read_DWORD(2, 0, 0, 0), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace qnl::sim
