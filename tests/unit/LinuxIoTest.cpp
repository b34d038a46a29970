// The linux backend against fake PCI trees (sysfs folders and a dump file), never this
// machine's devices.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "qnlio/backends/StationBackends.h"
#include "qnlio/ChipIdTable.h"
#include "qnlio/linux/LinuxIo.h"
#include "support/FakeSysfs.h"
#include "support/ToolFixture.h"

namespace qnl::test {
namespace {

using linuxio::LinuxIo;
using linuxio::LinuxIoSettings;

std::vector<std::uint32_t> TargetIds() {
    std::vector<std::uint32_t> ids;
    for (const ChipId& id : kKind0Ids) ids.push_back(id.ConfigDword0());
    for (const ChipId& id : kKind1Ids) ids.push_back(id.ConfigDword0());
    return ids;
}

class LinuxIoTest : public ::testing::Test {
  protected:
    std::unique_ptr<LinuxIo> Open() {
        LinuxIoSettings settings;
        settings.sysfsPath = tree.PciPath();
        auto io = std::make_unique<LinuxIo>(settings, TargetIds(),
                                            [this](const std::string& m) { log.push_back(m); });
        return io;
    }
    std::size_t LogCount(const std::string& part) const {
        std::size_t n = 0;
        for (const auto& m : log) n += m.find(part) != std::string::npos;
        return n;
    }

    FakeSysfs tree;
    std::vector<std::string> log;
};

TEST_F(LinuxIoTest, DiscoveryFindsControllersInScanOrderAndSkipsTruncatedConfigFiles) {
    tree.AddPci(2, 1, 0, kMakerVendorId, 0x7354, 0xFE200000, 0x10000);  // kind 1
    tree.AddPci(5, 0, 0, kMakerVendorId, 0x7350, 0xFE100000, 0x10000);  // kind 0
    tree.AddPci(1, 0, 1, kMakerVendorId, 0x7351, 0xFE300000, 0x10000);  // function 1: last
    tree.AddPci(0, 2, 0, 0x8086, 0x3E92);                               // not a target
    tree.AddPci(7, 0, 0, kMakerVendorId, 0x7350, 0, 0, 3);              // config cut at 3 bytes
    auto io = Open();
    ASSERT_NE(io->LoadQnlIODriver(), 0u);
    EXPECT_EQ(io->PresentFunctionCount(), 4u);
    EXPECT_EQ(io->TargetControllerCount(), 3u);
    EXPECT_EQ(io->PCI_Read_DWORD(7, 0, 0, 0), 0xFFFFFFFFu);

    ToolUnderTest tool(*io);
    auto& util = tool.context->g_Utility;
    tool.context->interctl.ScanPciBus("");
    ASSERT_EQ(util.ucHostCount, 3);
    // Function before device before bus: bus 5 device 0 precedes bus 2 device 1.
    EXPECT_EQ(util.Host(0).ucBus, 5);
    EXPECT_EQ(util.Host(0).ucKind, 0);
    EXPECT_EQ(util.Host(0).dwMmioBase, 0xFE100000u);
    EXPECT_EQ(util.Host(1).ucBus, 2);
    EXPECT_EQ(util.Host(1).ucDevice, 1);
    EXPECT_EQ(util.Host(1).ucKind, 1);
    EXPECT_EQ(util.Host(2).ucFunction, 1);
    // Device information needs the mailbox: it fails with the backend's code, logged once.
    EXPECT_EQ(util.Host(0).ucChipType, 0xFF);
    EXPECT_EQ(LogCount("needs the maker's I/O library"), 1u);
}

TEST_F(LinuxIoTest, ConfigurationAccessIsBoundsCheckedAndWritesReachOnlyTargets) {
    tree.AddPci(5, 0, 0, kMakerVendorId, 0x7350, 0xFE100000, 0x10000);
    tree.AddPci(0, 2, 0, 0x8086, 0x3E92);
    auto io = Open();
    ASSERT_NE(io->LoadQnlIODriver(), 0u);

    io->PCI_Write_DWORD(5, 0, 0, 0xF0, 0x44332211);
    io->PCI_Write_Byte(5, 0, 0, 0xE0, 0x01);
    EXPECT_EQ(io->PCI_Read_DWORD(5, 0, 0, 0xF0), 0x44332211u);
    EXPECT_EQ(io->PCI_Read_BYTE(5, 0, 0, 0xF2), 0x33);
    EXPECT_EQ(io->PCI_Read_BYTE(5, 0, 0, 0xE0), 0x01);
    const auto config = tree.ReadFile(tree.PciFolder(5, 0, 0) + "/config");
    EXPECT_EQ(config.at(0xF0), 0x11);

    // Another device is never written.
    io->PCI_Write_DWORD(0, 2, 0, 0x40, 0xDEADBEEF);
    EXPECT_EQ(io->PCI_Read_DWORD(0, 2, 0, 0x40), 0u);
    EXPECT_EQ(LogCount("only target controllers are written"), 1u);

    // Out of range and unaligned accesses read as absent hardware; only the low 8 bits of the
    // address count, and device and function beyond 31 and 7 are empty.
    EXPECT_EQ(io->PCI_Read_DWORD(5, 0, 0, 0xF2), 0xFFFFFFFFu);
    EXPECT_EQ(io->PCI_Read_DWORD(5, 0, 0, 0x1000), 0xFFFFFFFFu);
    EXPECT_EQ(io->PCI_Read_BYTE(5, 0, 0, 0x100), 0xFF);  // beyond the 256-byte file
    EXPECT_EQ(io->PCI_Read_DWORD(0x105, 0, 0, 0), 0x73501E73u);
    EXPECT_EQ(io->PCI_Read_DWORD(5, 32, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(io->PCI_Read_DWORD(5, 0, 8, 0), 0xFFFFFFFFu);
}

TEST_F(LinuxIoTest, RegisterWindowIsMappedOnlyInsideBarZeroOfATarget) {
    tree.AddPci(5, 0, 0, kMakerVendorId, 0x7350, 0xFE100000, 0x10000);
    tree.AddPci(0, 3, 0, 0x8086, 0xA36D, 0xFE400000, 0x10000);  // a USB controller of another maker
    auto io = Open();
    ASSERT_NE(io->LoadQnlIODriver(), 0u);

    const MappedAddress window = io->MapQnlIO(0xFE100410, 0x1000);
    ASSERT_NE(window, 0u);
    const std::uint32_t value = 0xA5;
    EXPECT_EQ(io->WriteMEM(window + 3, 1, &value), 0);
    std::uint32_t read = 0;
    EXPECT_EQ(io->ReadMEM(window + 3, 1, &read), 0);
    EXPECT_EQ(read, 0xA5u);
    // Outside the window the call fails with a code instead of touching memory.
    EXPECT_EQ(io->ReadMEM(window + 0x1000, 1, &read), linuxio::kErrRefused);
    EXPECT_EQ(io->ReadMEM(window - 1, 1, &read), linuxio::kErrRefused);
    io->UnmapQnlIO(window, 0x1000);
    EXPECT_EQ(io->ReadMEM(window, 1, &read), linuxio::kErrRefused);
    EXPECT_EQ(io->MappingCount(), 0u);
    // The write went to the register file at BAR0 offset 0x413.
    EXPECT_EQ(tree.ReadFile(tree.PciFolder(5, 0, 0) + "/resource0").at(0x413), 0xA5);

    EXPECT_EQ(io->MapQnlIO(0xFE0FF000, 0x1000), 0u);  // below BAR0
    EXPECT_EQ(io->MapQnlIO(0xFE10F800, 0x1000), 0u);  // runs past the end of BAR0
    EXPECT_EQ(io->MapQnlIO(0xFE400000, 0x1000), 0u);  // BAR0 of a device that is not a target
    EXPECT_EQ(io->MapQnlIO(0x00001000, 0x1000), 0u);  // plain memory
    EXPECT_EQ(io->MapQnlIO(0xFE100000, 0), 0u);
    EXPECT_EQ(LogCount("refused (-10)"), 5u);
    EXPECT_NE(io->MapQnlIO(0xFE10F000, 0x1000), 0u);  // the last page of BAR0 is fine
}

TEST_F(LinuxIoTest, MailboxCallsReturnTheirCodeAndLogOnce) {
    tree.AddPci(5, 0, 0, kMakerVendorId, 0x7350, 0xFE100000, 0x10000);
    auto io = Open();
    ASSERT_NE(io->LoadQnlIODriver(), 0u);
    std::uint8_t reply[kReplyRecordBytes];
    std::memset(reply, 0xCC, sizeof reply);
    EXPECT_EQ(io->WriteCmdALL(5, 0, 0, 0x40, 0x04, 1, 0xF3B4, 0, 0),
              linuxio::kErrMailboxUnsupported);
    EXPECT_EQ(io->Wait_Write_Ready(5, 0, 0), linuxio::kErrMailboxUnsupported);
    EXPECT_EQ(io->Wait_Read_Ready(5, 0, 0), linuxio::kErrMailboxUnsupported);
    EXPECT_EQ(io->ReadCMD(5, 0, 0, reply), linuxio::kErrMailboxUnsupported);
    EXPECT_EQ(reply[12], 0);
    EXPECT_EQ(LogCount("mailbox"), 1u);
}

TEST_F(LinuxIoTest, AMissingTreeOrDumpFileIsADriverThatDoesNotLoad) {
    LinuxIoSettings settings;
    settings.sysfsPath = tree.Root() + "/nothing-here";
    LinuxIo io(settings, TargetIds(), [this](const std::string& m) { log.push_back(m); });
    EXPECT_EQ(io.LoadQnlIODriver(), 0u);
    EXPECT_EQ(io.PCI_Read_DWORD(0, 0, 0, 0), 0xFFFFFFFFu);

    LinuxIoSettings dump;
    dump.method = "dump";
    dump.dumpName = tree.Root() + "/missing.dump";
    LinuxIo io2(dump, TargetIds(), [this](const std::string& m) { log.push_back(m); });
    EXPECT_EQ(io2.LoadQnlIODriver(), 0u);
    EXPECT_EQ(LogCount("LoadQnlIODriver: libpci method"), 2u);
}

TEST_F(LinuxIoTest, DumpFileIsScannedLikeATreeAndIsNeverWritten) {
    LinuxIoSettings settings;
    settings.method = "dump";
    settings.dumpName = std::string(QNL_TEST_DATA) + "/two-controllers.lspci";
    LinuxIo io(settings, TargetIds(), [this](const std::string& m) { log.push_back(m); });
    ASSERT_NE(io.LoadQnlIODriver(), 0u);
    ToolUnderTest tool(io);
    tool.context->interctl.ScanPciBus("");
    auto& util = tool.context->g_Utility;
    ASSERT_EQ(util.ucHostCount, 2);
    EXPECT_EQ(util.Host(0).ucBus, 5);
    EXPECT_EQ(util.Host(0).dwMmioBase, 0xFE100000u);
    EXPECT_EQ(util.Host(1).ucBus, 2);
    EXPECT_EQ(util.Host(1).ucKind, 1);
    // The entry whose dump stops after two bytes is empty.
    EXPECT_EQ(io.PCI_Read_DWORD(3, 0, 0, 0), 0xFFFFFFFFu);
    io.PCI_Write_Byte(5, 0, 0, 0xE0, 1);
    EXPECT_EQ(io.PCI_Read_BYTE(5, 0, 0, 0xE0), 0x00);
    EXPECT_EQ(LogCount("a dump file cannot be written"), 1u);
}

TEST(LinuxBackendChoice, SettingsAreCheckedWhenTheBackendIsChosen) {
    EXPECT_TRUE(ChooseBackend("linux").Is("linux"));
    auto ok = ChooseBackend("linux:sysfs.path=/tmp/x,mem=devmem");
    EXPECT_TRUE(ok.Is("linux"));
    EXPECT_EQ(ok.parameter, "sysfs.path=/tmp/x,mem=devmem");
    for (const char* bad :
         {"linux:colour=blue", "linux:mem=io", "linux:method=dump", "linux:sysfs.path", "linuxx"}) {
        auto choice = ChooseBackend(bad);
        EXPECT_EQ(choice.backend, nullptr) << bad;
        EXPECT_FALSE(choice.error.empty()) << bad;
    }
}

}  // namespace
}  // namespace qnl::test
