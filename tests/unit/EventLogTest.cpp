// The diagnostic log call and the file store behind it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/EventLog.h"
#include "platform/Files.h"
#include "platform/Format.h"

namespace qnl {
namespace {

TEST(EventLog, StoresOneEventOfTheToolSourceWithTheFormattedText) {
    ManualClock clock;
    MemoryEventStore store;
    CEventLog log(&store, clock, "operator");
    log.LogMessage(1, "\r\n%s:%d: dwErrorCode %d", "CInterctl::ScanPciBus", 236, 5);
    auto events = store.ReadAll();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].source, "QNLT 735X MP Tool");
    EXPECT_EQ(events[0].eventId, 0x20000001u);
    EXPECT_EQ(events[0].type, 1);
    EXPECT_EQ(events[0].user, "operator");
    EXPECT_EQ(events[0].text, "\r\nCInterctl::ScanPciBus:236: dwErrorCode 5");
}

TEST(EventLog, LongTextsAreCutToTheMessageBuffer) {
    ManualClock clock;
    MemoryEventStore store;
    CEventLog log(&store, clock, "");
    const std::string huge(5000, 'x');
    EXPECT_EQ(log.LogMessage(1, "%s", huge.c_str()), 1023);
    EXPECT_EQ(store.ReadAll().at(0).text.size(), 1023u);
}

TEST(EventLog, WithoutAStoreMessagesAreDropped) {
    ManualClock clock;
    CEventLog log(nullptr, clock, "");
    EXPECT_EQ(log.LogMessage(1, "abc"), 3);
}

TEST(FileEventStore, RoundTripsControlCharactersAndSkipsTornOrForeignLines) {
    const auto dir = std::filesystem::temp_directory_path() / "qnl-eventstore-test";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "log" / "events.log").string();
    FileEventStore store(path);
    EventRecord r;
    r.time = 1765000000;
    r.type = 1;
    r.eventId = 0x20000001;
    r.source = "QNLT 735X MP Tool";
    r.user = "op";
    r.text = "\r\nA:1: tab\there \\ back";
    store.Append(r);
    {
        std::ofstream out(path, std::ios::app);
        out << "garbage line\n";
        out << "QEV1\t1\t1\t20000001\tsrc\tuser";  // torn: no text field and no line end
    }
    auto events = store.ReadAll();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].text, r.text);
    EXPECT_EQ(events[0].time, r.time);
    std::filesystem::remove_all(dir);
}

EventRecord Event(const std::string& text) {
    EventRecord r;
    r.time = 1765000000;
    r.type = 1;
    r.eventId = 0x20000001;
    r.source = "QNLT 735X MP Tool";
    r.text = text;
    return r;
}

class FileEventStoreFiles : public ::testing::Test {
  protected:
    FileEventStoreFiles() {
        dir = std::filesystem::temp_directory_path() /
              ("qnl-eventstore-files-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    ~FileEventStoreFiles() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
};

TEST_F(FileEventStoreFiles, AFullFileBecomesThePreviousOneAndReadingKeepsTheOrder) {
    const std::string path = (dir / "events.log").string();
    const std::size_t lineBytes = FileEventStore::EncodeLine(Event("event 00")).size();
    FileEventStore store(path, lineBytes * 3);  // three events a file
    for (int i = 0; i < 8; ++i) store.Append(Event(Format("event %02d", i)));
    // 0-2, 3-5 (previous), 6-7 (current): the oldest file is gone.
    EXPECT_EQ(*files::Size(path), lineBytes * 2);
    EXPECT_EQ(*files::Size(store.PreviousPath()), lineBytes * 3);
    const auto events = store.ReadAll();
    ASSERT_EQ(events.size(), 5u);
    for (std::size_t i = 0; i < events.size(); ++i)
        EXPECT_EQ(events[i].text, Format("event %02d", static_cast<int>(i + 3)));
    EXPECT_TRUE(store.Problem().empty());
}

TEST_F(FileEventStoreFiles, AFifoIsNeitherWrittenNorReadNorWaitedOn) {
    const std::string path = (dir / "events.log").string();
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    FileEventStore store(path);
    EXPECT_EQ(store.Problem(), path + " is not a regular file: diagnostic events are not kept");
    store.Append(Event("dropped"));  // would block for ever on a FIFO opened for writing
    EXPECT_TRUE(store.ReadAll().empty());
    EXPECT_FALSE(files::ReadAll(path).has_value());
}

}  // namespace
}  // namespace qnl
