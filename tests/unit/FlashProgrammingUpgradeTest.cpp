// Upgrade::Firmware_Upgrade for one host: the programming lock, the file, identification, the
// kind-1 capacity rule and the update, end to end through the simulated station.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>

#include "image/ImageCheck.h"
#include "platform/Cancellation.h"
#include "support/FlashBench.h"
#include "support/SimTestHelpers.h"
#include "support/TestImage.h"

namespace qnl::test {
namespace {

using namespace qnl::mailbox;
using Bytes = std::vector<std::uint8_t>;

const std::array<std::uint8_t, 6> kVersion = {0x17, 0x02, 0x28, 0x00, 0x03, 0x07};

class FirmwareUpgradeTest : public ::testing::Test {
  protected:
    // Writes the image file (a valid image, so that the file is what a run would program).
    std::string PrepareImage(FlashBench& f, const Bytes& image,
                             const std::string& name = "fw.rom") {
        const std::string path = f.bench.Folder() + "/" + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
        EXPECT_EQ(LoadFirmwareFile(name, path, f.bench.tool->context->eventLog).rc, kOk);
        return path;
    }
    Upgrade& upgrade(FlashBench& f) { return f.bench.tool->context->upgrade; }

    static Bytes Image64k(int kind) {
        Bytes image = BuildTestImage(kind, kVersion, {{2, 0xE262, 0x5A5A}});
        image.resize(0x10000, 0xFF);
        return image;
    }
};

TEST_F(FirmwareUpgradeTest, ProgramsTheFileAndTheNextRunFindsIt) {
    auto f = std::make_unique<FlashBench>("C2 20 12");
    const Bytes image = Image64k(0);
    const std::string path = PrepareImage(*f, image);

    ASSERT_EQ(upgrade(*f).Firmware_Upgrade(0, path), kOk);

    EXPECT_EQ(f->host().ucFwUpdateResult, 1);
    EXPECT_TRUE(f->sim().FlashProtected());
    const Bytes file = sim::simtest::ReadFileBytes(f->FlashFile());
    ASSERT_EQ(file.size(), 0x40000u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 0x10000), image);
    EXPECT_EQ(Bytes(file.begin() + 0x10000, file.begin() + 0x20000), image);
    ASSERT_EQ(f->chip().UpdateDeviceInfo(0, "", 0), kOk);
    EXPECT_EQ(f->host().strFWVersion, "170228_00_03_07");
    EXPECT_EQ(f->host().strSSID, "5a5a");

    // A new station over the same flash file boots the programmed firmware.
    const std::string folder = f->bench.Folder();
    f->bench.tool.reset();
    f->bench.station.reset();
    std::string error;
    auto config = sim::ParseStationText(
        R"({ "controllers": [ { "bus": 3, "flash_id": "C2 20 12", "flash": "host0.flash" } ] })",
        folder + "/station.json", error);
    ASSERT_TRUE(config) << error;
    ManualClock clock;
    sim::SimStation again(std::move(*config), clock);
    EXPECT_EQ(again.Controller(0).RunningVersion(), kVersion);
}

TEST_F(FirmwareUpgradeTest, MissingFileShowsTheMessageAndTouchesNothing) {
    FlashBench f("C2 20 12");
    const std::string path = f.bench.Folder() + "/none.rom";
    EXPECT_EQ(upgrade(f).Firmware_Upgrade(0, path), kErrFileNotFound);
    EXPECT_NE(f.bench.tool->console.Text().find(path + " File/Path is not exist"),
              std::string::npos);
    EXPECT_TRUE(f.sim().Commands().empty());
    EXPECT_EQ(f.host().ucFwUpdateResult, 0);
}

TEST_F(FirmwareUpgradeTest, ARunsImageIsProgrammedWithoutAskingAnythingUnderTheLock) {
    // A run's worker programs the bytes the run read at its start: the file may be gone since,
    // and nothing under the programming lock may wait for the operator's click.
    FlashBench f("C2 20 12");
    const Bytes image = Image64k(0);
    const std::string path = PrepareImage(f, image);
    UpgradeRunSnapshot run;
    run.image.path = path;
    run.image.bytes = image;
    std::filesystem::remove(path);
    EXPECT_EQ(upgrade(f).ProgramHost(run, 0, f.host()), kOk);
    EXPECT_EQ(f.bench.tool->console.Text(), "");
    const Bytes file = sim::simtest::ReadFileBytes(f.FlashFile());
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 0x10000), image);
}

TEST_F(FirmwareUpgradeTest, KindOneImageOnAPartBelow128KbFailsWithoutWritingOrLogging) {
    FlashBench f("C2 20 10", 1);  // 64 KB
    const std::string path = PrepareImage(f, BuildTestImage(1, kVersion));
    ASSERT_EQ(SignatureKind(sim::simtest::ReadFileBytes(path)), 1);
    const std::string logBefore = f.LogText();
    f.Forget();
    f.sim().SetFlashContents({1, 2, 3});

    EXPECT_EQ(upgrade(f).Firmware_Upgrade(0, path), kErrIo);

    EXPECT_EQ(f.LogText(), logBefore);
    for (auto command : {CMD_SPI_ERASE, CMD_SECTION_BEGIN, CMD_SECTION_DATA, CMD_END})
        EXPECT_TRUE(f.CommandsOf(command).empty());
    EXPECT_EQ(f.Flash(0, 3), (Bytes{1, 2, 3}));
    EXPECT_EQ(f.host().ucFwUpdateResult, 0);
}

TEST_F(FirmwareUpgradeTest, KindOneImageOnA128KbPartIsProgrammed) {
    FlashBench f("C2 20 11", 1);
    const Bytes image = BuildTestImage(1, kVersion);
    const std::string path = PrepareImage(f, image);
    ASSERT_EQ(upgrade(f).Firmware_Upgrade(0, path), kOk);
    EXPECT_EQ(f.Flash(0, image.size()), image);
    EXPECT_EQ(f.sim().RunningVersion(), kVersion);
}

TEST_F(FirmwareUpgradeTest, UnidentifiedFlashIsLoggedAndFails) {
    FlashBench f("C2 20 12");
    const std::string path = PrepareImage(f, Image64k(0));
    f.sim().FailCommandAt(CMD_MEM_READ, 0);  // every ID read with no address bytes
    EXPECT_EQ(upgrade(f).Firmware_Upgrade(0, path), kErrIo);
    EXPECT_NE(f.LogText().find("Upgrade::Firmware_Upgrade:972:   ucTargetNumber[0], SPI -RoM "
                               "Initial Failed..."),
              std::string::npos);
    EXPECT_TRUE(f.CommandsOf(CMD_SPI_ERASE).empty());
}

TEST_F(FirmwareUpgradeTest, VerifyFailingThreeTimesReportsFailure) {
    FlashBench f("C2 20 12");
    const std::string path = PrepareImage(f, Image64k(0));
    f.sim().FlipBitsOnFlashRead(0x40, 0x02, 9);
    EXPECT_EQ(upgrade(f).Firmware_Upgrade(0, path), kErrNoDevice);
    EXPECT_EQ(f.host().ucFwUpdateResult, 0);
    EXPECT_TRUE(f.sim().FlashProtected());
}

TEST_F(FirmwareUpgradeTest, ControllerOffTheBusMidUpdateFails) {
    FlashBench f("C2 20 12");
    const std::string path = PrepareImage(f, Image64k(0));
    f.sim().DropOffBusAtCommand(3000);
    EXPECT_NE(upgrade(f).Firmware_Upgrade(0, path), kOk);
    EXPECT_EQ(f.host().ucFwUpdateResult, 0);
    EXPECT_FALSE(upgrade(f).m_FWUpgCriticalSection.Held());
}

TEST_F(FirmwareUpgradeTest, WaitsForTheProgrammingLock) {
    FlashBench f("C2 20 12");
    const std::string path = PrepareImage(f, Image64k(0));
    f.Forget();
    const auto ticket = upgrade(f).m_FWUpgCriticalSection.Acquire();
    auto done =
        std::async(std::launch::async, [&] { return upgrade(f).Firmware_Upgrade(0, path); });
    EXPECT_EQ(done.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    EXPECT_TRUE(f.sim().Commands().empty());
    upgrade(f).m_FWUpgCriticalSection.Release(ticket);
    EXPECT_EQ(done.get(), kOk);
}

TEST_F(FirmwareUpgradeTest, HungControllerReleasesTheLockWhenTheWorkerIsStopped) {
    FlashBench f("C2 20 12");
    const std::string path = PrepareImage(f, Image64k(0));
    f.sim().HangFromCommand(40);
    std::stop_source stop;
    auto done = std::async(std::launch::async, [&] {
        StopTokenScope scope(stop.get_token());
        return upgrade(f).Firmware_Upgrade(0, path);
    });
    ASSERT_EQ(done.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    stop.request_stop();
    ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_NE(done.get(), kOk);
    EXPECT_EQ(f.host().ucFwUpdateResult, 0);
    EXPECT_FALSE(upgrade(f).m_FWUpgCriticalSection.Held());
}

}  // namespace
}  // namespace qnl::test
