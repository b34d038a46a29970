// The fuzz targets' checked-in corpus, replayed through the same entry functions, so the suite
// runs them without libFuzzer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/FuzzEntries.h"

namespace qnl::test {
namespace {

namespace fs = std::filesystem;

int Replay(const std::string& folder, void (*entry)(const std::uint8_t*, std::size_t)) {
    int count = 0;
    for (const auto& file : fs::directory_iterator(fs::path(QNL_TEST_DATA) / "corpus" / folder)) {
        std::ifstream in(file.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
        SCOPED_TRACE(file.path().string());
        // An exact-size copy, so a read past the end stops the sanitizer.
        auto* copy = new std::uint8_t[bytes.size()];
        std::copy(bytes.begin(), bytes.end(), copy);
        entry(copy, bytes.size());
        delete[] copy;
        ++count;
    }
    return count;
}

TEST(FuzzCorpus, SettingsReader) {
    EXPECT_GE(Replay("settings", fuzz::SettingsReader), 8);
}

TEST(FuzzCorpus, FirmwareFile) {
    EXPECT_GE(Replay("firmware", fuzz::FirmwareFile), 8);
}

TEST(FuzzCorpus, StationDescription) {
    EXPECT_GE(Replay("station", fuzz::StationDescription), 5);
}

TEST(FuzzCorpus, CommandLine) {
    EXPECT_GE(Replay("cmdline", fuzz::CommandLine), 5);
}

TEST(FuzzCorpus, DiagnosticStoreLines) {
    EXPECT_GE(Replay("events", fuzz::DiagnosticStoreLines), 4);
}

}  // namespace
}  // namespace qnl::test
