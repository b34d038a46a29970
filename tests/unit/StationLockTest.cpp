// The station lock: advisory locks on lock files, taken all or none.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/StationLock.h"

namespace qnl {
namespace {

namespace fs = std::filesystem;

class StationLockTest : public ::testing::Test {
  protected:
    StationLockTest() {
        folder = (fs::temp_directory_path() / ("qnl-stationlock-" + std::to_string(::getpid())))
                     .string();
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    ~StationLockTest() override { fs::remove_all(folder); }
    std::string File(const std::string& name) const { return folder + "/" + name; }
    std::string folder;
};

TEST_F(StationLockTest, ASecondHolderIsRefusedWithTheFirstOnesProcessUntilItLetsGo) {
    StationLock::Refusal refusal;
    auto first = StationLock::TryAcquire({File("tool.lock"), File("pci-03.lock")}, refusal);
    ASSERT_NE(first, nullptr);
    std::ifstream in(File("tool.lock"));
    std::stringstream pid;
    pid << in.rdbuf();
    EXPECT_EQ(pid.str(), std::to_string(::getpid()) + "\n");

    // flock locks belong to the open file, so a second open in this process is refused as a
    // second process would be.
    EXPECT_EQ(StationLock::TryAcquire({File("other.lock"), File("pci-03.lock")}, refusal), nullptr);
    EXPECT_EQ(refusal.path, File("pci-03.lock"));
    EXPECT_EQ(refusal.holderPid, ::getpid());
    EXPECT_TRUE(refusal.error.empty());
    // A refused attempt keeps none of its locks: "other.lock" is free again.
    auto other = StationLock::TryAcquire({File("other.lock")}, refusal);
    EXPECT_NE(other, nullptr);

    first.reset();
    EXPECT_NE(StationLock::TryAcquire({File("tool.lock"), File("pci-03.lock")}, refusal), nullptr);
}

TEST_F(StationLockTest, ALockFileThatCannotBeMadeIsReported) {
    StationLock::Refusal refusal;
    EXPECT_EQ(StationLock::TryAcquire({File("missing/tool.lock")}, refusal), nullptr);
    EXPECT_EQ(refusal.path, File("missing/tool.lock"));
    EXPECT_EQ(refusal.error, "No such file or directory");
    fs::create_directory(File("folder.lock"));
    EXPECT_EQ(StationLock::TryAcquire({File("folder.lock")}, refusal), nullptr);
    EXPECT_EQ(refusal.error, File("folder.lock") + " is not a regular file");
}

}  // namespace
}  // namespace qnl
